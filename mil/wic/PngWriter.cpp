#include "PngWriter.h"

#include <array>
#include <cstring>

#include "ReplacingFile.h"
#include "WicWriter.h"

namespace {

// The PNG signature and the header chunk, after which the sRGB chunk goes.
constexpr std::size_t kHeaderEnd = 8 + 4 + 4 + 13 + 4;

// The sRGB chunk of the perceptual intent: its length, type, intent and CRC.
// The component writes it only through a metadata writer that not every
// implementation has, so it is put in here, a constant.
constexpr std::array<unsigned char, 13> kSrgbChunk = {0x00, 0x00, 0x00, 0x01, 's',  'R', 'G',
                                                      'B',  0x00, 0xAE, 0xCE, 0x1C, 0xE9};

}  // namespace

// Each row less the one above ("up"), as the Linux form writes them.
std::string WritePng(const char* path, int width, int height, int channels, int bits,
                     const void* samples, bool srgb, bool replaceExisting) {
  std::vector<unsigned char> encoded;
  if (std::string failure = EncodeWithImagingComponent(
          GUID_ContainerFormatPng, "PNG", {width, height, channels, bits, samples}, L"FilterOption",
          WICPngFilterUp, {}, encoded);
      !failure.empty()) {
    return failure;
  }
  if (encoded.size() < kHeaderEnd || std::memcmp(encoded.data() + 12, "IHDR", 4) != 0) {
    return "the PNG could not be made: the imaging component wrote no PNG header";
  }
  const std::array<FilePiece, 3> pieces = {
      FilePiece{encoded.data(), kHeaderEnd},
      FilePiece{kSrgbChunk.data(), srgb ? kSrgbChunk.size() : 0},
      FilePiece{encoded.data() + kHeaderEnd, encoded.size() - kHeaderEnd}};
  ReplacingFile file(path, replaceExisting);
  std::string failure = file.Open();
  if (failure.empty()) {
    failure = file.Write(pieces);
  }
  return failure.empty() ? file.Commit() : failure;
}
