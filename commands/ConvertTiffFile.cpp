#include "ConvertTiffFile.h"

#include <string>

#include "AfxException.h"
#include "FileClaims.h"
#include "MosaicDetection.h"
#include "Platform.h"
#include "TiffConversion.h"
#include "VisImage.h"

PFN_LOAD_GRAY_TIFF BindLoaderExport(const CString& path, const LoaderBinding& loader) {
  if (loader.library == nullptr) {
    const std::string failure = LibraryLoadFailure();
    const CString reason =
        "the TIFF reader Vantrel is not loaded" + (failure.empty() ? "" : ": " + failure);
    AfxThrowFileException(CFileException::generic, -1, path, reason);
  }
  *loader.entry =
      // Through void*: the system's generic function type is another on each system.
      reinterpret_cast<PFN_LOAD_GRAY_TIFF>(
          reinterpret_cast<void*>(GetProcAddress(loader.library, "milLoadGrayTIFF")));
  const PFN_LOAD_GRAY_TIFF load = *loader.entry;
  if (load == nullptr) {
    AfxThrowFileException(CFileException::generic, -1, path,
                          "the TIFF reader Vantrel has no entry milLoadGrayTIFF");
  }
  return load;
}

void ConvertTiffFile(const CString& path, const LoaderBinding& loader, ConversionOptions& options) {
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  const PFN_LOAD_GRAY_TIFF load = BindLoaderExport(path, loader);

  const CString outputPath = BmpPathFor(path);
  // No other conversion reads, writes or deletes these files meanwhile.
  const FileClaims::Claim claim(FileClaims::Process(), {ClaimKey(path), ClaimKey(outputPath)});
  CheckConversionNames(path, outputPath);
  load(path, &gray);

  bool demosaic = false;
  switch (options.ModeAfterLoading()) {
    case ConversionMode::kAuto:
      demosaic = !IsGrayImage(gray);
      break;
    case ConversionMode::kColor:
      demosaic = true;
      break;
    case ConversionMode::kGrayscale:
      break;
  }

  // The BMP is complete (written unseen and renamed into place) before the
  // TIFF can go, and flushed to disk before it does.
  WriteConvertedImage(gray, demosaic, outputPath);
  RecordConversion(path, outputPath);
  if (options.RemoveTiffAfterWriting()) {
    RemoveConvertedTiff(path, outputPath);
  }
}
