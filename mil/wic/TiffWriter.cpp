#include "TiffWriter.h"

#include "ReplacingFile.h"
#include "WicWriter.h"

namespace {

// TIFF/EP's colour of each site of a 2 x 2 layout: 0 red, 1 green, 2 blue.
std::vector<unsigned> PatternColours(const std::string& layout) {
  std::vector<unsigned> colours;
  for (const char site : layout) {
    colours.push_back(site == 'r' ? 0 : site == 'g' ? 1 : 2);
  }
  return colours;
}

}  // namespace

// Uncompressed; a mosaic's layout in TIFF/EP's CFARepeatPatternDim and
// CFAPattern tags, through the component's TIFF metadata writer. Where the
// component writes no such tags, or no 16-bit gray pictures (Wine's does
// neither), the file fails with that reason: a mosaic without its layout
// would be demosaiced in another.
std::string WriteTiff(const char* path, int width, int height, int samplesPerPixel, int bits,
                      const void* samples, const std::string& cfaLayout, bool replaceExisting) {
  std::vector<EncodedMetadata> metadata;
  if (!cfaLayout.empty()) {
    metadata.push_back({L"/ifd/{ushort=33421}", {2, 2}, false});
    metadata.push_back({L"/ifd/{ushort=33422}", PatternColours(cfaLayout), true});
  }
  std::vector<unsigned char> encoded;
  if (std::string failure = EncodeWithImagingComponent(
          GUID_ContainerFormatTiff, "TIFF", {width, height, samplesPerPixel, bits, samples},
          L"TiffCompressionMethod", WICTiffCompressionNone, metadata, encoded);
      !failure.empty()) {
    return failure;
  }
  ReplacingFile file(path, replaceExisting);
  std::string failure = file.Open();
  if (failure.empty()) {
    failure = file.Write(encoded.data(), encoded.size());
  }
  return failure.empty() ? file.Commit() : failure;
}
