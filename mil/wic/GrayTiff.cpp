#include "GrayTiff.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "GrayTiffRules.h"
#include "RegularFile.h"
#include "WinTypes.h"

// After windows.h: the imaging component's interfaces.
#include <wincodec.h>

namespace {

// Releases a COM interface when it goes.
template <class Interface>
class ComPointer {
 public:
  ComPointer() = default;
  ~ComPointer() {
    if (pointer_ != nullptr) {
      pointer_->Release();
    }
  }
  ComPointer(const ComPointer&) = delete;
  ComPointer& operator=(const ComPointer&) = delete;

  Interface** Receive() { return &pointer_; }
  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }

 private:
  Interface* pointer_ = nullptr;
};

// COM on the calling thread for one read. A thread that already runs COM,
// in whatever mode, keeps it.
class ComOnThisThread {
 public:
  ComOnThisThread() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~ComOnThisThread() {
    if (initialised_) {
      ::CoUninitialize();
    }
  }
  ComOnThisThread(const ComOnThisThread&) = delete;
  ComOnThisThread& operator=(const ComOnThisThread&) = delete;

 private:
  bool initialised_;
};

// Why the imaging component refused, in the words of the Linux back end
// where it is the same fault.
std::string Reason(HRESULT result) {
  switch (result) {
    case WINCODEC_ERR_COMPONENTNOTFOUND:
    case WINCODEC_ERR_UNKNOWNIMAGEFORMAT:
      return "not a TIFF file";
    case WINCODEC_ERR_BADHEADER:
      return "the TIFF header is damaged";
    case WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT:
      return "a sample depth the imaging component does not read (it reads 1, 2, 4, 8 and 16 "
             "bits)";
    case WINCODEC_ERR_STREAMREAD:
    case WINCODEC_ERR_STREAMNOTAVAILABLE:
      return "the file ends early";
    case E_OUTOFMEMORY:
      return "there is not enough memory for the picture";
    default: {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
      return std::string("the picture data is damaged (imaging component error ") + code + ")";
    }
  }
}

void Check(HRESULT result) {
  if (FAILED(result)) {
    throw TiffError(Reason(result));
  }
}

bool Same(const WICPixelFormatGUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Wine's imaging component hands 16-bit samples of a big-endian file over
// with their bytes swapped (measured against known pictures); Windows does
// not.
bool SwapsBigEndianSamples() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

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

// The colour filter pattern the first page declares. Where the imaging
// component cannot show the page's tags, that is said, and the page is not
// demosaiced: a layout it might declare is never guessed.
DeclaredPattern PatternOf(IWICBitmapFrameDecode* frame, bool bigEndian) {
  ComPointer<IWICMetadataQueryReader> reader;
  if (FAILED(frame->GetMetadataQueryReader(reader.Receive()))) {
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
      exif.empty() ? DeclaredPattern() : PatternFromExif(Bytes(exif), bigEndian);
  return CombinedPattern(tiffEp, exifPattern);
}

std::wstring Wide(const char* path) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
  return wide;
}

}  // namespace

GrayPicture ReadGrayTiff(const char* path, int significantBits) {
  // Only regular files: the imaging component would wait on a pipe.
  const OpenedFile file = OpenRegularFile(path);
  if (!file.failure.empty()) {
    throw TiffError(file.failure);
  }
  char byteOrder[2] = {};
  const bool bigEndian = ReadFileAt(file, 0, byteOrder, sizeof byteOrder) == sizeof byteOrder &&
                         byteOrder[0] == 'M' && byteOrder[1] == 'M';
  CloseFile(file);

  const ComOnThisThread com;
  ComPointer<IWICImagingFactory> factory;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Receive())))) {
    throw TiffError("the imaging component is not available");
  }
  ComPointer<IWICBitmapDecoder> decoder;
  Check(factory->CreateDecoderFromFilename(Wide(path).c_str(), nullptr, GENERIC_READ,
                                           WICDecodeMetadataCacheOnDemand, decoder.Receive()));
  GUID container;
  Check(decoder->GetContainerFormat(&container));
  if (std::memcmp(&container, &GUID_ContainerFormatTiff, sizeof container) != 0) {
    throw TiffError("not a TIFF file");
  }
  ComPointer<IWICBitmapFrameDecode> frame;
  Check(decoder->GetFrame(0, frame.Receive()));
  UINT width = 0;
  UINT height = 0;
  Check(frame->GetSize(&width, &height));
  CheckPictureSize(width, height);

  GrayPicture picture;
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  picture.samples = AllocateBlockForOverwrite(picture.ByteCount());
  if (!picture.samples) {
    throw std::bad_alloc();
  }
  CopyGray(factory.Get(), frame.Get(), bigEndian, significantBits, picture);
  UINT pages = 1;
  Check(decoder->GetFrameCount(&pages));
  picture.pages = static_cast<int>(std::max<UINT>(pages, 1));
  picture.pattern = PatternOf(frame.Get(), bigEndian);
  return picture;
}
