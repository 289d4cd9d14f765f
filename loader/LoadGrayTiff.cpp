#include "LoadGrayTiff.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "AfxException.h"
#include "Mil.h"
#include "VisImageBase.h"

#ifdef _WIN32
#define TESSARY_EXPORT __declspec(dllexport)
#else
#define TESSARY_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// The imaging application context lives from the library's load to its
// unload, whatever the back end answers.
MilId milApplication = 0;

struct MilApplicationLifetime {
  MilApplicationLifetime() { MilAllocateApplication(kMilDefault, &milApplication); }
  ~MilApplicationLifetime() {
    if (milApplication != 0) {
      MilFreeApplication(milApplication);
    }
  }
} const milApplicationLifetime;

// Frees the call's buffer on every way out, exceptions included.
class BufferGuard {
 public:
  explicit BufferGuard(MilId buffer) : buffer_(buffer) {}
  ~BufferGuard() { MilFreeBuffer(buffer_); }
  BufferGuard(const BufferGuard&) = delete;
  BufferGuard& operator=(const BufferGuard&) = delete;

 private:
  MilId buffer_;
};

// Reads the file into image through one imaging buffer; fills facts when
// asked for them.
void Load(const char* path, CVisImageBase* image, int significantBits, GrayTiffFacts* facts) {
  // The file's own depth through the plain read (path, the default
  // system, the buffer); fewer significant bits through its variant.
  MilId buffer = 0;
  if (significantBits == 0) {
    MilReadImageFile(path, kMilDefault, &buffer);
  } else {
    MilReadImageFileBits(path, significantBits, &buffer);
  }
  if (buffer == 0) {
    AfxThrowFileException(CFileException::generic, -1, path, MilGetLastReadError());
  }
  const BufferGuard guard(buffer);

  const auto byteCount =
      static_cast<std::uint32_t>(MilInquireBuffer(buffer, kMilByteCount, nullptr));
  const auto width = static_cast<std::int32_t>(MilInquireBuffer(buffer, kMilWidth, nullptr));
  const auto height = static_cast<std::int32_t>(MilInquireBuffer(buffer, kMilHeight, nullptr));
  // A buffer that is not exactly width x height bytes would make the single
  // copy below run past the image or leave it partly unfilled.
  if (width <= 0 || height <= 0 ||
      byteCount != static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height)) {
    AfxThrowFileException(CFileException::generic, -1, path,
                          "the imaging library gave a buffer of an unusable size");
  }
  const auto* source =
      reinterpret_cast<const unsigned char*>(MilInquireBuffer(buffer, kMilHostAddress, nullptr));
  if (source == nullptr) {
    AfxThrowFileException(CFileException::generic, -1, path,
                          "the imaging library gave a buffer without pixels");
  }
  if (facts != nullptr) {
    const auto text = [&](std::int64_t item) {
      const auto* value = reinterpret_cast<const char*>(MilInquireBuffer(buffer, item, nullptr));
      return value != nullptr ? value : "";
    };
    facts->pages = static_cast<int>(MilInquireBuffer(buffer, kMilPages, nullptr));
    facts->storedBits = static_cast<int>(MilInquireBuffer(buffer, kMilStoredBits, nullptr));
    facts->brightestSample =
        static_cast<unsigned>(MilInquireBuffer(buffer, kMilBrightestSample, nullptr));
    facts->samplesAboveRange =
        static_cast<unsigned long long>(MilInquireBuffer(buffer, kMilSamplesAboveRange, nullptr));
    std::snprintf(facts->layout, sizeof facts->layout, "%s", text(kMilCfaLayout));
    std::snprintf(facts->layoutRefusal, sizeof facts->layoutRefusal, "%s", text(kMilCfaRefusal));
    facts->declaresLevels = static_cast<int>(MilInquireBuffer(buffer, kMilDeclaresLevels, nullptr));
  }

  // Every byte is copied in, so the memory needs no zeros first.
  image->AllocateForOverwrite(CVisShape(0, 0, width, height, 1));
  std::memcpy(image->PbPixelMemory(), source, byteCount);
}

}  // namespace

extern "C" TESSARY_EXPORT void milLoadGrayTIFF(const char* path, CVisImageBase* image) {
  Load(path, image, 0, nullptr);
}

extern "C" TESSARY_EXPORT void milLoadGrayTIFFWithFacts(const char* path, CVisImageBase* image,
                                                        int significantBits, GrayTiffFacts* facts) {
  Load(path, image, significantBits, facts);
}
