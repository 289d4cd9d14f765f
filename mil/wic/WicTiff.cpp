#include "WicTiff.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <vector>

#include "GrayTiff.h"
#include "GrayTiffRules.h"
#include "RegularFile.h"
#include "StoredDirectory.h"

namespace {

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

std::wstring Wide(const char* path) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
  return wide;
}

// The levels the directory declares: DNG's BlackLevel (the mean of its
// values), WhiteLevel (else TIFF's MaxSampleValue) and AsShotNeutral, and
// PhotometricInterpretation 32803.
DeclaredLevels StoredLevels(const OpenedFile& file, const StoredHeader& header,
                            const std::vector<StoredEntry>& entries) {
  // Enough values for a black level per site of a large repeat pattern.
  constexpr std::size_t kMostValues = 256;
  const auto numbers = [&](std::uint16_t tag) {
    const StoredEntry* entry = FindEntry(entries, tag);
    return entry != nullptr ? StoredNumbers(file, header, *entry, kMostValues)
                            : std::vector<double>{};
  };
  DeclaredLevels levels;
  const std::vector<double> photometric = numbers(262);
  levels.colourFilterArray = !photometric.empty() && photometric.front() == 32803;
  if (const std::vector<double> black = numbers(50714); !black.empty()) {
    levels.black =
        std::accumulate(black.begin(), black.end(), 0.0) / static_cast<double>(black.size());
  }
  if (const std::vector<double> white = numbers(50717); !white.empty()) {
    levels.white = white.front();
  } else if (const std::vector<double> maxSample = numbers(281);
             !maxSample.empty() && maxSample.front() > 0) {
    levels.white = maxSample.front();
  }
  if (const std::vector<double> neutral = numbers(50728);
      neutral.size() == 3 && neutral[0] > 0 && neutral[1] > 0 && neutral[2] > 0) {
    levels.neutral = std::array<double, 3>{neutral[0], neutral[1], neutral[2]};
  }
  return levels;
}

// What the first directory stores of SubIFDs, pattern tags and levels.
void ReadStoredFacts(const OpenedFile& file, const StoredHeader& header, TiffFirstPage& page) {
  const std::vector<StoredEntry> first = ReadStoredDirectory(file, header, header.firstDirectory);
  page.levels = StoredLevels(file, header, first);
  if (const StoredEntry* subImages = FindEntry(first, 330)) {
    page.subImages = static_cast<int>(std::min<std::uint64_t>(subImages->count, 65535));
  }
  const auto damaged = [&](const std::vector<StoredEntry>& entries, std::uint16_t tag) {
    const StoredEntry* entry = FindEntry(entries, tag);
    return entry != nullptr && !ValueInFile(file, *entry);
  };
  if (damaged(first, 33422)) {
    page.unreadablePattern = "TIFF/EP's CFAPattern";
  } else if (damaged(first, 41730)) {
    page.unreadablePattern = "EXIF's CFAPattern";
  } else if (const StoredEntry* exif = FindEntry(first, 34665)) {
    const std::optional<std::uint64_t> offset = FirstNumber(file, header, *exif);
    if (offset && damaged(ReadStoredDirectory(file, header, *offset), 41730)) {
      page.unreadablePattern = "EXIF's CFAPattern";
    }
  }
}

}  // namespace

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

void OpenTiffFirstPage(const char* path, TiffFirstPage& page) {
  const OpenedFile file = OpenRegularFile(path);
  if (!file.failure.empty()) {
    throw TiffError(file.failure);
  }
  if (const std::optional<StoredHeader> header = ReadStoredHeader(file)) {
    page.bigEndian = header->bigEndian;
    ReadStoredFacts(file, *header, page);
  }
  CloseFile(file);

  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory,
                                reinterpret_cast<void**>(page.factory.Receive())))) {
    throw TiffError("the imaging component is not available");
  }
  Check(page.factory->CreateDecoderFromFilename(Wide(path).c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand,
                                                page.decoder.Receive()));
  GUID container;
  Check(page.decoder->GetContainerFormat(&container));
  if (std::memcmp(&container, &GUID_ContainerFormatTiff, sizeof container) != 0) {
    throw TiffError("not a TIFF file");
  }
  Check(page.decoder->GetFrame(0, page.frame.Receive()));
  Check(page.frame->GetSize(&page.width, &page.height));
  CheckPictureSize(page.width, page.height);
}
