#include "TiffConversion.h"

#include <filesystem>
#include <system_error>

#include "Demosaic.h"
#include "Platform.h"

CString BmpPathFor(const CString& tiffPath) {
  return tiffPath.Left(tiffPath.GetLength() - 3) + "bmp";
}

void WriteConvertedImage(const CVisImage<unsigned char>& gray, bool demosaic,
                         const CString& outputPath) {
  if (demosaic) {
    CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte);
    DemosaicImage(gray, color);
    color.WriteFile(outputPath, nullptr);
  } else {
    gray.WriteFile(outputPath, nullptr);
  }
}

void RemoveConvertedTiff(const CString& tiffPath, const CString& outputPath) {
  // A TIFF named like its BMP has just been replaced by it: deleting it would
  // delete the BMP.
  std::error_code error;
  if (tiffPath == outputPath ||
      std::filesystem::equivalent(static_cast<LPCSTR>(tiffPath), static_cast<LPCSTR>(outputPath),
                                  error)) {
    return;
  }
  DeleteFileA(tiffPath);
}
