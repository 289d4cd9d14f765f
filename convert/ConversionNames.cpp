#include "ConversionNames.h"

#include <array>
#include <filesystem>

#include "ClaimKeys.h"
#include "FileNames.h"

namespace {

// What ends a folder's name in a path: on Windows both slashes and the
// colon of a drive letter ("C:ab").
#ifdef _WIN32
constexpr const char* kFolderEnds = "/\\:";
#else
constexpr const char* kFolderEnds = "/";
#endif

constexpr std::array<const char*, 3> kFormatNames = {"bmp", "png", "tiff"};
constexpr std::array<const char*, 3> kFormatEndings = {"bmp", "png", "tif"};
constexpr std::array<const char*, 3> kFormatKinds = {"BMP", "PNG", "TIFF"};

CString OutputPathFor(const CString& tiffPath, OutputFormat format) {
  const bool tiff = TiffEndingLength(tiffPath.Str()) == 5;
  return tiffPath.Left(tiffPath.GetLength() - (tiff ? 4 : 3)) +
         kFormatEndings[static_cast<std::size_t>(format)];
}

}  // namespace

std::span<const char* const> OutputFormatNames() {
  return kFormatNames;
}

std::optional<OutputFormat> ParseOutputFormat(std::string_view text) {
  for (std::size_t i = 0; i < kFormatNames.size(); ++i) {
    if (text == kFormatNames[i]) {
      return static_cast<OutputFormat>(i);
    }
  }
  return std::nullopt;
}

ConversionFiles ConversionFilesFor(const CString& tiffPath, const std::string& outputFolder,
                                   OutputFormat format) {
  CString output = OutputPathFor(tiffPath, format);
  if (!outputFolder.empty()) {
    output = (std::filesystem::path(outputFolder) / std::filesystem::path(output.Str()).filename())
                 .string()
                 .c_str();
  }
  return {tiffPath,
          output,
          ClaimKey(tiffPath),
          ClaimKey(output),
          PathKey(tiffPath),
          PathKey(output),
          format,
          kFormatKinds[static_cast<std::size_t>(format)]};
}

int FileNameLength(const CString& path) {
  const std::size_t end = path.Str().find_last_of(kFolderEnds);
  return static_cast<int>(end == std::string::npos ? path.Str().size()
                                                   : path.Str().size() - end - 1);
}
