// Writes the fuzzers' starting files: small BMPs of every variant and small
// TIFFs of the layouts the loader reads, made by the tests' generators, and
// TIFFs that once made the loader misbehave.

#include <filesystem>
#include <string>

#include "BmpFixture.h"
#include "RawTiff.h"
#include "TempFolder.h"
#include "TiffFixture.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    return 2;
  }
  const std::filesystem::path bmps = argv[1];
  const std::filesystem::path tiffs = argv[2];
  std::filesystem::create_directories(bmps);
  std::filesystem::create_directories(tiffs);

  Picture picture(5, std::vector<Color>(7, Color{200, 10, 10}));
  for (int x = 0; x < 7; ++x) {
    picture[x % 5][x] = {0, 255, 0};
  }
  const std::vector<Color> palette = {{200, 10, 10}, {0, 255, 0}};
  struct Variant {
    std::uint32_t header;
    std::uint16_t bits;
    std::uint32_t compression;
  };
  int n = 0;
  for (const Variant& v : {Variant{40, 24, 0}, Variant{40, 8, 0}, Variant{40, 8, 1},
                           Variant{40, 4, 2}, Variant{40, 1, 0}, Variant{40, 16, 3},
                           Variant{40, 32, 0}, Variant{12, 24, 0}, Variant{124, 32, 3}}) {
    BmpLayout layout;
    layout.headerSize = v.header;
    layout.bitCount = v.bits;
    layout.compression = v.compression;
    if (v.bits <= 8) {
      layout.palette = palette;
    }
    WriteBytes((bmps / ("seed" + std::to_string(n++) + ".bmp")).string(),
               BmpFixture::Make(picture, layout));
  }

  std::vector<std::uint32_t> samples(9 * 6);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = (i * 37) % 256;
  }
  n = 0;
  for (const std::uint16_t compression :
       {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS}) {
    for (const std::uint32_t tile : {0u, 16u}) {
      TiffLayout layout;
      layout.width = 9;
      layout.height = 6;
      layout.compression = compression;
      layout.rowsPerStrip = 2;
      layout.tileSize = tile;
      layout.bigEndian = n % 2 == 1;
      WriteTiff((tiffs / ("seed" + std::to_string(n++) + ".tif")).string(), layout, samples);
    }
  }
  TiffLayout deep;
  deep.width = 9;
  deep.height = 6;
  deep.bits = 16;
  std::vector<std::uint32_t> wide(samples.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wide[i] = samples[i] * 257;
  }
  WriteTiff((tiffs / "deep.tif").string(), deep, wide);

  // EXIF's colour filter pattern, in a type that no TIFF has.
  const std::vector<unsigned char> bytes(samples.begin(), samples.end());
  WriteBytes((tiffs / "pattern-of-no-type.tif").string(),
             PlainTiff(9, 6, 8, 1, 6, bytes, 1, false,
                       {RawTiffEntry{41730, 60872, {2, 0, 2, 0, 2, 1, 1, 0}}}));
  return 0;
}
