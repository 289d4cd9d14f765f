#include "ConversionNames.h"

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

CString BmpPathFor(const CString& tiffPath) {
  const bool tiff = TiffEndingLength(tiffPath.Str()) == 5;
  return tiffPath.Left(tiffPath.GetLength() - (tiff ? 4 : 3)) + "bmp";
}

}  // namespace

ConversionFiles ConversionFilesFor(const CString& tiffPath, const std::string& outputFolder) {
  CString bmp = BmpPathFor(tiffPath);
  if (!outputFolder.empty()) {
    bmp = (std::filesystem::path(outputFolder) / std::filesystem::path(bmp.Str()).filename())
              .string()
              .c_str();
  }
  return {tiffPath, bmp, ClaimKey(tiffPath), ClaimKey(bmp), PathKey(tiffPath), PathKey(bmp)};
}

int FileNameLength(const CString& path) {
  const std::size_t end = path.Str().find_last_of(kFolderEnds);
  return static_cast<int>(end == std::string::npos ? path.Str().size()
                                                   : path.Str().size() - end - 1);
}
