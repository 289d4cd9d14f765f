#include "FitsWriter.h"

#include <fitsio.h>

#include <cctype>
#include <cstdlib>

#include "ReplacingFile.h"

namespace {

// The FITS file is made in memory by CFITSIO, then written as any other
// output, so that no part of it is ever seen under its name.
class MemoryFits {
 public:
  MemoryFits() { fits_create_memfile(&fits_, &memory_, &size_, 2880, std::realloc, &status_); }
  ~MemoryFits() {
    if (fits_ != nullptr) {
      int ignored = 0;
      fits_close_file(fits_, &ignored);
    }
    std::free(memory_);
  }
  MemoryFits(const MemoryFits&) = delete;
  MemoryFits& operator=(const MemoryFits&) = delete;

  fitsfile* File() const { return fits_; }
  int* Status() { return &status_; }
  // Closes the file: its bytes are then complete.
  void Close() {
    fits_close_file(fits_, &status_);
    fits_ = nullptr;
  }
  const void* Bytes() const { return memory_; }
  std::size_t Size() const { return size_; }
  std::string Failure() const {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status_, text);
    return std::string("the FITS file could not be made (") + text + ")";
  }
  bool Failed() const { return status_ != 0; }

 private:
  fitsfile* fits_ = nullptr;
  void* memory_ = nullptr;
  std::size_t size_ = 0;
  int status_ = 0;
};

}  // namespace

std::string WriteFits(const char* path, int width, int height, int planes, const float* values,
                      const std::string& bayerLayout, bool replaceExisting) {
  ReplacingFile file(path, replaceExisting);
  if (std::string failure = file.Open(); !failure.empty()) {
    return failure;
  }
  MemoryFits fits;
  long axes[3] = {width, height, planes};
  fits_create_img(fits.File(), FLOAT_IMG, planes == 1 ? 2 : 3, axes, fits.Status());
  char rowOrder[] = "TOP-DOWN";
  char rowOrderComment[] = "the first row is the picture's top";
  fits_update_key(fits.File(), TSTRING, "ROWORDER", rowOrder, rowOrderComment, fits.Status());
  if (!bayerLayout.empty()) {
    std::string pattern;
    for (const char c : bayerLayout) {
      pattern += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    char comment[] = "colour filter pattern from the top-left pixel";
    fits_update_key(fits.File(), TSTRING, "BAYERPAT", pattern.data(), comment, fits.Status());
  }
  fits_write_img(fits.File(), TFLOAT, 1, static_cast<LONGLONG>(width) * height * planes,
                 const_cast<float*>(values), fits.Status());
  if (fits.Failed()) {
    return fits.Failure();
  }
  fits.Close();
  if (fits.Failed()) {
    return fits.Failure();
  }
  if (std::string failure = file.Write(fits.Bytes(), fits.Size()); !failure.empty()) {
    return failure;
  }
  return file.Commit();
}
