#pragma once

#include <atomic>

#include "AfxString.h"
#include "LoadGrayTiff.h"
#include "WinTypes.h"

// One TIFF converted to a BMP beside it: the sequence every front end runs
// for every file. It knows nothing of windows; what the user chose is asked
// through ConversionOptions at the moments the conversion needs it.

enum class ConversionMode {
  kAuto,       // the mosaic test decides
  kColor,      // always demosaiced
  kGrayscale,  // always written gray
};

class ConversionOptions {
 public:
  virtual ~ConversionOptions() = default;
  // Asked once the file is loaded.
  virtual ConversionMode ModeAfterLoading() = 0;
  // Asked once the BMP is written.
  virtual bool RemoveTiffAfterWriting() = 0;
};

// The loader library and the place where the looked-up export is kept.
struct LoaderBinding {
  HMODULE library;
  std::atomic<PFN_LOAD_GRAY_TIFF>* entry;
};

// Looks the export up in the loader library afresh and keeps it in the
// binding's slot; the file exception, naming path and saying why, when the
// library is not loaded or has no such export.
PFN_LOAD_GRAY_TIFF BindLoaderExport(const CString& path, const LoaderBinding& loader);

// Converts the TIFF at path, in this order: looks the export up in the
// loader library (afresh for every file), claims the TIFF and its BMP
// against other conversions, refuses names that would lose a picture, loads
// the file, asks the mode, writes the BMP (demosaiced or gray), asks whether
// to remove the TIFF and removes it once the BMP is on disk. Every failure
// is an exception; the file exception names the TIFF and says why.
void ConvertTiffFile(const CString& path, const LoaderBinding& loader, ConversionOptions& options);
