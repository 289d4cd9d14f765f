#include "TiffWriter.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "ReplacingFile.h"

namespace {

// The file's bytes, made in memory: libtiff seeks back to finish its header,
// and the replacing write takes the whole file at once.
class MemoryFile {
 public:
  static tmsize_t Read(thandle_t self, void* buffer, tmsize_t size) {
    MemoryFile& file = *static_cast<MemoryFile*>(self);
    const std::size_t count =
        std::min<std::size_t>(static_cast<std::size_t>(size),
                              file.bytes_.size() - std::min(file.at_, file.bytes_.size()));
    std::memcpy(buffer, file.bytes_.data() + file.at_, count);
    file.at_ += count;
    return static_cast<tmsize_t>(count);
  }
  static tmsize_t Write(thandle_t self, void* buffer, tmsize_t size) {
    MemoryFile& file = *static_cast<MemoryFile*>(self);
    const auto count = static_cast<std::size_t>(size);
    if (file.bytes_.size() < file.at_ + count) {
      file.bytes_.resize(file.at_ + count);
    }
    std::memcpy(file.bytes_.data() + file.at_, buffer, count);
    file.at_ += count;
    return size;
  }
  static toff_t Seek(thandle_t self, toff_t offset, int whence) {
    MemoryFile& file = *static_cast<MemoryFile*>(self);
    const std::size_t base =
        whence == SEEK_CUR ? file.at_ : (whence == SEEK_END ? file.bytes_.size() : 0);
    file.at_ = base + static_cast<std::size_t>(offset);
    return file.at_;
  }
  static int Close(thandle_t) { return 0; }
  static toff_t Size(thandle_t self) { return static_cast<MemoryFile*>(self)->bytes_.size(); }
  static int Map(thandle_t, void**, toff_t*) { return 0; }
  static void Unmap(thandle_t, void*, toff_t) {}

  const std::vector<unsigned char>& Bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
  std::size_t at_ = 0;
};

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// Puts the rows into file as a TIFF file's bytes; false when libtiff fails.
bool Encode(MemoryFile& file, int width, int height, int samplesPerPixel, int bits,
            const unsigned char* samples, const std::vector<std::uint8_t>& cfaColours) {
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpen(
      "output", "wl", &file, &MemoryFile::Read, &MemoryFile::Write, &MemoryFile::Seek,
      &MemoryFile::Close, &MemoryFile::Size, &MemoryFile::Map, &MemoryFile::Unmap));
  if (!tiff) {
    return false;
  }
  TIFF* t = tiff.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samplesPerPixel);
  TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
               samplesPerPixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  if (!cfaColours.empty()) {
    const std::uint16_t dimensions[2] = {2, 2};
    TIFFSetField(t, TIFFTAG_CFAREPEATPATTERNDIM, dimensions);
    TIFFSetField(t, TIFFTAG_CFAPATTERN, static_cast<int>(cfaColours.size()), cfaColours.data());
  }
  const std::size_t rowBytes =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(samplesPerPixel) * (bits / 8);
  std::vector<unsigned char> row(rowBytes);
  for (int y = 0; y < height; ++y) {
    // libtiff may swap the row's bytes in place.
    std::copy_n(samples + static_cast<std::size_t>(y) * rowBytes, rowBytes, row.begin());
    if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) != 1) {
      return false;
    }
  }
  return TIFFWriteDirectory(t) == 1;
}

}  // namespace

std::string WriteTiff(const char* path, int width, int height, int samplesPerPixel, int bits,
                      const void* samples, const std::string& cfaLayout, bool replaceExisting) {
  // The layout's letters as TIFF/EP's colours: 0 red, 1 green, 2 blue.
  std::vector<std::uint8_t> cfaColours;
  for (const char letter : cfaLayout) {
    const std::size_t colour = std::string_view("rgb").find(letter);
    if (colour == std::string_view::npos || cfaLayout.size() != 4) {
      return "\"" + cfaLayout + "\" is no colour filter layout";
    }
    cfaColours.push_back(static_cast<std::uint8_t>(colour));
  }
  MemoryFile file;
  if (!Encode(file, width, height, samplesPerPixel, bits,
              static_cast<const unsigned char*>(samples), cfaColours)) {
    return "the TIFF could not be made";
  }
  ReplacingFile output(path, replaceExisting);
  std::string failure = output.Open();
  if (failure.empty()) {
    failure = output.Write(file.Bytes().data(), file.Bytes().size());
  }
  if (failure.empty()) {
    failure = output.Commit();
  }
  return failure;
}
