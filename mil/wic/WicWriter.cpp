#include "WicWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "WicTiff.h"

namespace {

// What failed, with the imaging component's code.
std::string Failed(const char* kind, const char* step, HRESULT result) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  return std::string("the ") + kind + " could not be made: " + step +
         " failed (imaging component error " + code + ")";
}

// The pixel format the samples are handed over in, and the samples in it:
// the component takes 8-bit colour as blue, green, red.
GUID PixelFormatOf(const EncodedPicture& picture) {
  if (picture.channels == 1) {
    return picture.bits == 16 ? GUID_WICPixelFormat16bppGray : GUID_WICPixelFormat8bppGray;
  }
  return picture.bits == 16 ? GUID_WICPixelFormat48bppRGB : GUID_WICPixelFormat24bppBGR;
}

std::vector<unsigned char> SamplesIn(const EncodedPicture& picture) {
  const std::size_t bytes = static_cast<std::size_t>(picture.width) * picture.height *
                            picture.channels * (picture.bits / 8);
  const auto* samples = static_cast<const unsigned char*>(picture.samples);
  std::vector<unsigned char> handed(samples, samples + bytes);
  if (picture.channels == 3 && picture.bits == 8) {
    for (std::size_t i = 0; i + 2 < handed.size(); i += 3) {
      std::swap(handed[i], handed[i + 2]);
    }
  }
  return handed;
}

// Sets the encoder option `name` to a byte.
HRESULT SetOption(IPropertyBag2* options, const wchar_t* name, unsigned char value) {
  PROPBAG2 option{};
  option.pstrName = const_cast<LPOLESTR>(name);
  VARIANT variant;
  ::VariantInit(&variant);
  variant.vt = VT_UI1;
  variant.bVal = value;
  return options->Write(1, &option, &variant);
}

HRESULT SetMetadata(IWICMetadataQueryWriter* writer, const EncodedMetadata& metadata) {
  PROPVARIANT value;
  ::PropVariantInit(&value);
  std::vector<unsigned char> bytes(metadata.values.begin(), metadata.values.end());
  std::vector<USHORT> numbers(metadata.values.begin(), metadata.values.end());
  if (metadata.bytes) {
    value.vt = VT_VECTOR | VT_UI1;
    value.caub.cElems = static_cast<ULONG>(bytes.size());
    value.caub.pElems = bytes.data();
  } else {
    value.vt = VT_VECTOR | VT_UI2;
    value.caui.cElems = static_cast<ULONG>(numbers.size());
    value.caui.pElems = numbers.data();
  }
  return writer->SetMetadataByName(metadata.name, &value);
}

// Encodes picture into stream; an empty string or what failed.
std::string Encode(IWICImagingFactory* factory, IStream* stream, const GUID& container,
                   const char* kind, const EncodedPicture& picture, const wchar_t* option,
                   unsigned char optionValue, const std::vector<EncodedMetadata>& metadata) {
  ComPointer<IWICBitmapEncoder> encoder;
  HRESULT result = factory->CreateEncoder(container, nullptr, encoder.Receive());
  if (SUCCEEDED(result)) {
    result = encoder->Initialize(stream, WICBitmapEncoderNoCache);
  }
  ComPointer<IWICBitmapFrameEncode> frame;
  ComPointer<IPropertyBag2> options;
  if (SUCCEEDED(result)) {
    result = encoder->CreateNewFrame(frame.Receive(), options.Receive());
  }
  if (FAILED(result)) {
    return Failed(kind, "starting the encoder", result);
  }
  if (FAILED(result = SetOption(options.Get(), option, optionValue)) ||
      FAILED(result = frame->Initialize(options.Get())) ||
      FAILED(result = frame->SetSize(static_cast<UINT>(picture.width),
                                     static_cast<UINT>(picture.height)))) {
    return Failed(kind, "setting up the picture", result);
  }
  const GUID wanted = PixelFormatOf(picture);
  WICPixelFormatGUID format = wanted;
  if (FAILED(result = frame->SetPixelFormat(&format))) {
    return Failed(kind, "choosing the pixel format", result);
  }
  if (!Same(format, wanted)) {
    return std::string("the ") + kind + " could not be made: the imaging component writes no " +
           std::to_string(picture.bits) + "-bit " + (picture.channels == 3 ? "colour" : "gray") +
           " pictures";
  }
  if (!metadata.empty()) {
    ComPointer<IWICMetadataQueryWriter> writer;
    result = frame->GetMetadataQueryWriter(writer.Receive());
    for (const EncodedMetadata& entry : metadata) {
      if (SUCCEEDED(result)) {
        result = SetMetadata(writer.Get(), entry);
      }
    }
    if (FAILED(result)) {
      return Failed(kind, "writing its tags", result);
    }
  }
  std::vector<unsigned char> samples = SamplesIn(picture);
  const UINT stride = static_cast<UINT>(picture.width * picture.channels * (picture.bits / 8));
  if (FAILED(result = frame->WritePixels(static_cast<UINT>(picture.height), stride,
                                         static_cast<UINT>(samples.size()), samples.data())) ||
      FAILED(result = frame->Commit()) || FAILED(result = encoder->Commit())) {
    return Failed(kind, "encoding the pixels", result);
  }
  return {};
}

// An empty string where the component's decoder gives back, from what its
// encoder made of a small picture of this kind, the very samples it was
// handed; otherwise the failure that every picture of this kind gets, as
// the files would hold other values (Wine's PNG encoder swaps the bytes of
// some 16-bit samples). Checked once a process for each kind.
std::string CheckRoundTrip(IWICImagingFactory* factory, const GUID& container, const char* kind,
                           int channels, int bits, const wchar_t* option,
                           unsigned char optionValue) {
  static std::mutex mutex;
  static std::map<std::tuple<unsigned long, int, int>, std::string> checked;
  const std::lock_guard lock(mutex);
  const auto key = std::make_tuple(static_cast<unsigned long>(container.Data1), channels, bits);
  if (const auto found = checked.find(key); found != checked.end()) {
    return found->second;
  }
  constexpr int kWidth = 5;
  constexpr int kHeight = 3;
  std::vector<unsigned char> samples(static_cast<std::size_t>(kWidth) * kHeight * channels *
                                     (bits / 8));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<unsigned char>(i * 37 + 11);
  }
  const EncodedPicture probe{kWidth, kHeight, channels, bits, samples.data()};
  ComPointer<IStream> stream;
  HRESULT result = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive());
  std::string failure = FAILED(result) ? Failed(kind, "checking the encoder", result)
                                       : Encode(factory, stream.Get(), container, kind, probe,
                                                option, optionValue, {});
  if (failure.empty()) {
    const std::vector<unsigned char> handed = SamplesIn(probe);
    std::vector<unsigned char> decoded(handed.size());
    ComPointer<IWICBitmapDecoder> decoder;
    ComPointer<IWICBitmapFrameDecode> frame;
    WICPixelFormatGUID format{};
    const LARGE_INTEGER start{};
    const UINT stride = static_cast<UINT>(kWidth * channels * (bits / 8));
    if (FAILED(result = stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
        FAILED(result = factory->CreateDecoderFromStream(
                   stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Receive())) ||
        FAILED(result = decoder->GetFrame(0, frame.Receive())) ||
        FAILED(result = frame->GetPixelFormat(&format)) ||
        FAILED(result = frame->CopyPixels(nullptr, stride, static_cast<UINT>(decoded.size()),
                                          decoded.data()))) {
      failure = Failed(kind, "checking the encoder", result);
    } else if (!Same(format, PixelFormatOf(probe)) || decoded != handed) {
      failure = std::string("the ") + kind +
                " could not be made: this imaging component does not keep the samples of " +
                std::to_string(bits) + "-bit " + (channels == 3 ? "colour" : "gray") +
                " pictures (it writes other values)";
    }
  }
  checked.emplace(key, failure);
  return failure;
}

}  // namespace

std::string EncodeWithImagingComponent(const GUID& container, const char* kind,
                                       const EncodedPicture& picture, const wchar_t* option,
                                       unsigned char optionValue,
                                       const std::vector<EncodedMetadata>& metadata,
                                       std::vector<unsigned char>& encoded) {
  ComOnThisThread com;
  ComPointer<IWICImagingFactory> factory;
  ComPointer<IStream> stream;
  HRESULT result =
      ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Receive()));
  if (SUCCEEDED(result)) {
    result = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive());
  }
  if (FAILED(result)) {
    return Failed(kind, "starting the imaging component", result);
  }
  if (std::string failure = CheckRoundTrip(factory.Get(), container, kind, picture.channels,
                                           picture.bits, option, optionValue);
      !failure.empty()) {
    return failure;
  }
  if (std::string failure = Encode(factory.Get(), stream.Get(), container, kind, picture, option,
                                   optionValue, metadata);
      !failure.empty()) {
    return failure;
  }
  STATSTG facts{};
  HGLOBAL memory = nullptr;
  if (FAILED(result = stream->Stat(&facts, STATFLAG_NONAME)) ||
      FAILED(result = ::GetHGlobalFromStream(stream.Get(), &memory))) {
    return Failed(kind, "reading the encoded file", result);
  }
  const auto* bytes = static_cast<const unsigned char*>(::GlobalLock(memory));
  encoded.assign(bytes, bytes + facts.cbSize.QuadPart);
  ::GlobalUnlock(memory);
  return {};
}
