#include "GrayTiff.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "GrayTiffRules.h"
#include "WicTiff.h"

namespace {

// The picture's samples as 8-bit gray: 8-bit gray as it is, 16-bit gray
// scaled, 1-, 2- and 4-bit gray through the imaging component's converter to
// 32-bit colour (the direct way to 8-bit gray it lacks under Wine), whose
// blue is the gray. Colour and palette pictures are refused by their pixel
// format.
void CopyGray(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, bool bigEndian,
              int significantBits, GrayPicture& picture) {
  const UINT width = static_cast<UINT>(picture.width);
  const UINT height = static_cast<UINT>(picture.height);
  unsigned char* out = picture.samples.get();
  WICPixelFormatGUID format;
  Check(frame->GetPixelFormat(&format));
  if (Same(format, GUID_WICPixelFormat8bppGray)) {
    Check(frame->CopyPixels(nullptr, width, width * height, out));
    return;
  }
  if (Same(format, GUID_WICPixelFormat16bppGray)) {
    picture.storedBits = 16;
    const bool swap = bigEndian && SwapsBigEndianSamples();
    // Scaled from the range of the significant bits; larger samples become
    // the largest and are counted.
    const std::uint32_t max =
        significantBits > 8 && significantBits < 16 ? (1u << significantBits) - 1 : 0xFFFF;
    std::vector<std::uint16_t> row(width);
    for (UINT y = 0; y < height; ++y) {
      const WICRect line = {0, static_cast<INT>(y), static_cast<INT>(width), 1};
      Check(frame->CopyPixels(&line, 2 * width, 2 * width, reinterpret_cast<BYTE*>(row.data())));
      for (UINT x = 0; x < width; ++x) {
        std::uint32_t value = swap ? static_cast<std::uint16_t>(row[x] << 8 | row[x] >> 8) : row[x];
        picture.brightestSample = std::max(picture.brightestSample, value);
        if (value > max) {
          ++picture.samplesAboveRange;
          value = max;
        }
        out[std::size_t{y} * width + x] = ScaledSample(value, max);
      }
    }
    return;
  }
  if (Same(format, GUID_WICPixelFormatBlackWhite) || Same(format, GUID_WICPixelFormat2bppGray) ||
      Same(format, GUID_WICPixelFormat4bppGray)) {
    picture.storedBits = Same(format, GUID_WICPixelFormatBlackWhite)
                             ? 1
                             : (Same(format, GUID_WICPixelFormat2bppGray) ? 2 : 4);
    ComPointer<IWICFormatConverter> converter;
    Check(factory->CreateFormatConverter(converter.Receive()));
    Check(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                nullptr, 0.0, WICBitmapPaletteTypeCustom));
    std::vector<unsigned char> row(4 * std::size_t{width});
    for (UINT y = 0; y < height; ++y) {
      const WICRect line = {0, static_cast<INT>(y), static_cast<INT>(width), 1};
      Check(converter->CopyPixels(&line, 4 * width, 4 * width, row.data()));
      for (UINT x = 0; x < width; ++x) {
        out[std::size_t{y} * width + x] = row[4 * std::size_t{x}];
      }
    }
    return;
  }
  if (Same(format, GUID_WICPixelFormat1bppIndexed) ||
      Same(format, GUID_WICPixelFormat2bppIndexed) ||
      Same(format, GUID_WICPixelFormat4bppIndexed) ||
      Same(format, GUID_WICPixelFormat8bppIndexed)) {
    throw TiffError(PaletteTiffRefusal());
  }
  throw TiffError(ColourTiffRefusal(0));
}

// The bytes or 16-bit numbers of one metadata item, as the imaging
// component hands them over; empty when the item is absent.
std::vector<std::uint32_t> MetadataValues(IWICMetadataQueryReader* reader, const wchar_t* name) {
  PROPVARIANT value;
  ::PropVariantInit(&value);
  std::vector<std::uint32_t> values;
  if (SUCCEEDED(reader->GetMetadataByName(name, &value))) {
    if (value.vt == (VT_VECTOR | VT_UI1)) {
      values.assign(value.caub.pElems, value.caub.pElems + value.caub.cElems);
    } else if (value.vt == (VT_VECTOR | VT_UI2)) {
      values.assign(value.caui.pElems, value.caui.pElems + value.caui.cElems);
    } else if (value.vt == VT_BLOB) {
      values.assign(value.blob.pBlobData, value.blob.pBlobData + value.blob.cbSize);
    } else if (value.vt == VT_UI1) {
      values.push_back(value.bVal);
    } else if (value.vt == VT_UI2) {
      values.push_back(value.uiVal);
    }
  }
  ::PropVariantClear(&value);
  return values;
}

std::vector<std::uint8_t> Bytes(const std::vector<std::uint32_t>& values) {
  return std::vector<std::uint8_t>(values.begin(), values.end());
}

}  // namespace

DeclaredPattern PatternOf(const TiffFirstPage& page) {
  // (Under Wine, the imaging component does not come back from such a tag.)
  if (!page.unreadablePattern.empty()) {
    return UnreadablePattern(page.unreadablePattern);
  }
  ComPointer<IWICMetadataQueryReader> reader;
  if (FAILED(page.frame->GetMetadataQueryReader(reader.Receive()))) {
    return {true, "",
            "the imaging component cannot show whether the TIFF declares a colour filter "
            "pattern, so it is not demosaiced"};
  }
  const std::vector<std::uint32_t> dimensions =
      MetadataValues(reader.Get(), L"/ifd/{ushort=33421}");
  const std::vector<std::uint32_t> colours = MetadataValues(reader.Get(), L"/ifd/{ushort=33422}");
  DeclaredPattern tiffEp;
  if (dimensions.size() >= 2) {
    tiffEp = PatternFromCells(dimensions[0], dimensions[1], Bytes(colours));
  } else if (!colours.empty()) {
    tiffEp = PatternFromCells(0, 0, Bytes(colours));
  }
  std::vector<std::uint32_t> exif = MetadataValues(reader.Get(), L"/ifd/{ushort=41730}");
  if (exif.empty()) {
    exif = MetadataValues(reader.Get(), L"/ifd/exif/{ushort=41730}");
  }
  const DeclaredPattern exifPattern =
      exif.empty() ? DeclaredPattern() : PatternFromExif(Bytes(exif), page.bigEndian);
  return CombinedPattern(tiffEp, exifPattern);
}

GrayPicture ReadGrayTiff(const char* path, int significantBits) {
  const ComOnThisThread com;
  TiffFirstPage page;
  OpenTiffFirstPage(path, page);

  GrayPicture picture;
  picture.width = static_cast<int>(page.width);
  picture.height = static_cast<int>(page.height);
  picture.samples = AllocateBlockForOverwrite(picture.ByteCount());
  if (!picture.samples) {
    throw std::bad_alloc();
  }
  CopyGray(page.factory.Get(), page.frame.Get(), page.bigEndian, significantBits, picture);
  UINT pages = 1;
  Check(page.decoder->GetFrameCount(&pages));
  picture.pages = static_cast<int>(std::max<UINT>(pages, 1)) + page.subImages;
  picture.pattern = PatternOf(page);
  picture.levels = page.levels;
  return picture;
}
