#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "AfxString.h"

// What a conversion writes: the BMP, or a PNG or TIFF of the same picture.
enum class OutputFormat { kBmp, kPng, kTiff };

// Every format's name ("bmp", "png", "tiff"), in the order of the
// enumeration, and the format named by text (nullopt for any other text).
std::span<const char* const> OutputFormatNames();
std::optional<OutputFormat> ParseOutputFormat(std::string_view text);

// The two files of one conversion, each worked out once: the TIFF's path as
// given and its output's, and their keys (ClaimKey), under which they are
// grouped, claimed and recorded; and their keys by path (PathKey), under
// which they are recorded too, so that an output on a drive mounted again is
// still known. kind names the output's format in messages ("BMP").
struct ConversionFiles {
  CString tiff;
  CString output;
  std::string tiffKey;
  std::string outputKey;
  std::string tiffPathKey;
  std::string outputPathKey;
  OutputFormat format = OutputFormat::kBmp;
  std::string kind = "BMP";
};

// The files of converting tiffPath: its output beside it, or in
// outputFolder under the same name when one is given. The output's name is
// the TIFF's less its last three characters, plus the format's ending
// ("bmp", "png", "tif"): "a.tif" gives "a.bmp"; a name ending in ".tiff", in
// any letter case, loses all four ("a.tiff" gives "a.bmp").
ConversionFiles ConversionFilesFor(const CString& tiffPath, const std::string& outputFolder = {},
                                   OutputFormat format = OutputFormat::kBmp);

// The length of the path's last component, the file's own name.
int FileNameLength(const CString& path);
