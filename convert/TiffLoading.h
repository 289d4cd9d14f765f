#pragma once

#include <atomic>

#include "AfxString.h"
#include "LoadGrayTiff.h"
#include "VisImage.h"
#include "WinTypes.h"

// A TIFF read through the loader library, bound by name at run time, with
// what the file says beyond its pixels: the one way conversion and
// detection load a file.

// The loader library and the place where the looked-up export is kept.
struct LoaderBinding {
  HMODULE library;
  std::atomic<PFN_LOAD_GRAY_TIFF>* entry;
};

// The loader's entry points for one file, looked up afresh: milLoadGrayTIFF,
// which every loader library has (kept in the binding's slot; the file
// exception, naming path and saying why, when the library is not loaded or
// has no such export), and milLoadGrayTIFFWithFacts where the library has it.
class TiffLoader {
 public:
  TiffLoader(const CString& path, const LoaderBinding& loader);

  // Whether the library tells what a file says beyond its pixels.
  bool TellsFacts() const { return loadWithFacts_ != nullptr; }

  // Reads the file's first page into gray, samples of more than 8 bits
  // scaled from their significantBits lowest bits (0: all), and returns
  // what the file says. Where the library tells nothing (TellsFacts), the
  // facts say 0 pages and 0 stored bits (unknown) and no layout, and fewer
  // significant bits cannot be asked for (the file exception says so).
  // Fails as milLoadGrayTIFF does.
  GrayTiffFacts Load(const CString& path, int significantBits,
                     CVisImage<unsigned char>& gray) const;

 private:
  PFN_LOAD_GRAY_TIFF load_;
  PFN_LOAD_GRAY_TIFF_WITH_FACTS loadWithFacts_;
};

// What a person is told of a file read by a loader library that tells
// nothing beyond the pixels.
inline constexpr const char* kLoaderTellsNoFacts =
    "the TIFF reader Vantrel has no entry milLoadGrayTIFFWithFacts, so the pages and the colour "
    "filter pattern the file declares are unknown (demosaiced as rggb)";
