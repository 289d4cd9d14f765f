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

// Looks the export milLoadGrayTIFF up in the loader library afresh and keeps
// it in the binding's slot; the file exception, naming path and saying why,
// when the library is not loaded or has no such export.
PFN_LOAD_GRAY_TIFF BindLoaderExport(const CString& path, const LoaderBinding& loader);

// The same for the export that also tells the file's facts.
PFN_LOAD_GRAY_TIFF_WITH_FACTS BindFactsExport(const CString& path, const LoaderBinding& loader);

// The loader's entry points for one file, looked up afresh (both, so that a
// library without them fails before any file is touched).
class TiffLoader {
 public:
  TiffLoader(const CString& path, const LoaderBinding& loader);

  // Reads the file's first page into gray, samples of more than 8 bits
  // scaled from their significantBits lowest bits (0: all), and returns
  // what the file says. Fails as milLoadGrayTIFF does.
  GrayTiffFacts Load(const CString& path, int significantBits,
                     CVisImage<unsigned char>& gray) const;

 private:
  PFN_LOAD_GRAY_TIFF_WITH_FACTS load_;
};
