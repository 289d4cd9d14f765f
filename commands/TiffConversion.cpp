#include "TiffConversion.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>

#include "AfxException.h"
#include "BmpWriter.h"
#include "Demosaic.h"
#include "FileClaims.h"
#include "MemoryBlock.h"
#include "VisError.h"

namespace {

// The BMPs this process has written, each with the TIFF it came from, by
// their claim keys.
class WrittenBmps {
 public:
  static WrittenBmps& Process() {
    static WrittenBmps written;
    return written;
  }

  bool FromOtherTiff(const std::string& bmp, const std::string& tiff) {
    std::lock_guard lock(mutex_);
    const auto it = sources_.find(bmp);
    return it != sources_.end() && it->second != tiff;
  }

  void Record(const std::string& bmp, const std::string& tiff) {
    std::lock_guard lock(mutex_);
    sources_[bmp] = tiff;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> sources_;
};

bool SameFile(const CString& a, const CString& b) {
  std::error_code error;
  return ClaimKey(a) == ClaimKey(b) ||
         std::filesystem::equivalent(static_cast<LPCSTR>(a), static_cast<LPCSTR>(b), error);
}

// The length of the path's last component.
int FileNameLength(const CString& path) {
  const std::size_t slash = path.Str().find_last_of('/');
  return static_cast<int>(slash == std::string::npos ? path.Str().size()
                                                     : path.Str().size() - slash - 1);
}

[[noreturn]] void Refuse(const CString& tiffPath, const std::string& reason) {
  AfxThrowFileException(CFileException::generic, -1, tiffPath, reason.c_str());
}

}  // namespace

CString BmpPathFor(const CString& tiffPath) {
  return tiffPath.Left(tiffPath.GetLength() - 3) + "bmp";
}

void CheckConversionNames(const CString& tiffPath, const CString& outputPath) {
  if (FileNameLength(tiffPath) < 3) {
    Refuse(tiffPath,
           "the file name is too short to put \"bmp\" in place of its last three "
           "characters");
  }
  if (SameFile(tiffPath, outputPath)) {
    Refuse(tiffPath, "its BMP would have the file's own name and replace it");
  }
  if (WrittenBmps::Process().FromOtherTiff(ClaimKey(outputPath), ClaimKey(tiffPath))) {
    Refuse(tiffPath, "\"" + outputPath.Str() +
                         "\" was already written from another TIFF and would be replaced");
  }
}

void RecordConversion(const CString& tiffPath, const CString& outputPath) {
  WrittenBmps::Process().Record(ClaimKey(outputPath), ClaimKey(tiffPath));
}

void WriteConvertedImage(const CVisImage<unsigned char>& gray, bool demosaic,
                         const CString& outputPath) {
  if (demosaic) {
    // The file is opened (and a picture too large for a BMP refused) before
    // any demosaicing. The colour rows are made in the file's form and each
    // band is written as it is as soon as it is finished.
    BmpBandWriter writer(outputPath, gray.Width(), gray.Height(), 4);
    const MemoryBlock rows =
        AllocateBlockForOverwrite(writer.RowBytes() * static_cast<std::size_t>(gray.Height()));
    if (!rows) {
      throw CVisError(outputPath.Str(), "out of memory for the colour picture");
    }
    DemosaicToBmpRows(gray, rows.get(), writer.RowBytes(),
                      [&](int top, int bottom) { writer.WriteFileRows(rows.get(), top, bottom); });
    writer.Commit();
  } else {
    gray.WriteFile(outputPath, nullptr);
  }
}

void RemoveConvertedTiff(const CString& tiffPath, const CString& outputPath,
                         const TiffRemovalCalls& calls) {
  if (!calls.flushFileToDisk(outputPath)) {
    Refuse(tiffPath, "its BMP could not be flushed to disk, so the TIFF was kept");
  }
  calls.deleteFile(tiffPath);
}
