#include "Mil.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

#include "GrayTiff.h"
#include "GrayTiffRows.h"

namespace {

thread_local std::string lastReadError;
std::atomic<MilId> nextId{1};

MilId NewId() {
  return nextId.fetch_add(1);
}

class BufferTable {
 public:
  MilId Add(GrayPicture picture) {
    const MilId id = NewId();
    std::lock_guard lock(mutex_);
    buffers_.emplace(id, std::move(picture));
    return id;
  }

  std::intptr_t Inquire(MilId id, std::int64_t item) {
    std::lock_guard lock(mutex_);
    const auto it = buffers_.find(id);
    if (it == buffers_.end()) {
      return 0;
    }
    const GrayPicture& picture = it->second;
    switch (item) {
      case kMilByteCount:
        return static_cast<std::intptr_t>(picture.ByteCount());
      case kMilWidth:
        return picture.width;
      case kMilHeight:
        return picture.height;
      case kMilHostAddress:
        return reinterpret_cast<std::intptr_t>(picture.samples.get());
      case kMilPages:
        return picture.pages;
      case kMilStoredBits:
        return picture.storedBits;
      case kMilBrightestSample:
        return static_cast<std::intptr_t>(picture.brightestSample);
      case kMilSamplesAboveRange:
        return static_cast<std::intptr_t>(picture.samplesAboveRange);
      case kMilCfaLayout:
        return reinterpret_cast<std::intptr_t>(picture.pattern.layout.c_str());
      case kMilCfaRefusal:
        return reinterpret_cast<std::intptr_t>(picture.pattern.refusal.c_str());
      case kMilDeclaresLevels:
        return picture.levels.black || picture.levels.white || picture.levels.colourFilterArray ? 1
                                                                                                : 0;
      default:
        return 0;
    }
  }

  void Remove(MilId id) {
    GrayPicture released;  // freed outside the lock
    std::lock_guard lock(mutex_);
    const auto it = buffers_.find(id);
    if (it != buffers_.end()) {
      released = std::move(it->second);
      buffers_.erase(it);
    }
  }

 private:
  std::mutex mutex_;
  std::unordered_map<MilId, GrayPicture> buffers_;
};

BufferTable& Buffers() {
  static BufferTable table;
  return table;
}

// The open row readers. A reader is used outside the table's lock, by one
// thread at a time.
class RowReaderTable {
 public:
  MilId Add(std::shared_ptr<GrayTiffRows> reader) {
    const MilId id = NewId();
    std::lock_guard lock(mutex_);
    readers_.emplace(id, std::move(reader));
    return id;
  }

  std::shared_ptr<GrayTiffRows> Find(MilId id) {
    std::lock_guard lock(mutex_);
    const auto it = readers_.find(id);
    return it == readers_.end() ? nullptr : it->second;
  }

  void Remove(MilId id) {
    std::shared_ptr<GrayTiffRows> released;  // closed outside the lock
    std::lock_guard lock(mutex_);
    const auto it = readers_.find(id);
    if (it != readers_.end()) {
      released = std::move(it->second);
      readers_.erase(it);
    }
  }

 private:
  std::mutex mutex_;
  std::unordered_map<MilId, std::shared_ptr<GrayTiffRows>> readers_;
};

RowReaderTable& RowReaders() {
  static RowReaderTable table;
  return table;
}

std::intptr_t InquireRowReader(const GrayTiffRows& reader, std::int64_t item) {
  switch (item) {
    case kMilWidth:
      return reader.Width();
    case kMilHeight:
      return reader.Height();
    case kMilStoredBits:
      return reader.StoredBits();
    case kMilPages:
      return reader.Pages();
    case kMilCfaLayout:
      return reinterpret_cast<std::intptr_t>(reader.Pattern().layout.c_str());
    case kMilCfaRefusal:
      return reinterpret_cast<std::intptr_t>(reader.Pattern().refusal.c_str());
    default:
      return 0;
  }
}

}  // namespace

extern "C" {

MilId MilAllocateApplication(std::int64_t, MilId* application) {
  const MilId id = NewId();
  if (application != nullptr) {
    *application = id;
  }
  return id;
}

void MilFreeApplication(MilId) {}

MilId MilReadImageFile(const char* path, std::int64_t, MilId* buffer) {
  return MilReadImageFileBits(path, 0, buffer);
}

MilId MilReadImageFileBits(const char* path, std::int64_t significantBits, MilId* buffer) {
  lastReadError.clear();
  if (path == nullptr || buffer == nullptr) {
    lastReadError = "no file name";
    return 0;
  }
  try {
    *buffer = Buffers().Add(ReadGrayTiff(path, static_cast<int>(significantBits)));
    return *buffer;
  } catch (const TiffError& error) {
    lastReadError = error.what();
  } catch (const std::bad_alloc&) {
    lastReadError = "there is not enough memory for the picture";
  }
  return 0;
}

const char* MilGetLastReadError() {
  return lastReadError.c_str();
}

std::intptr_t MilInquireBuffer(MilId buffer, std::int64_t item, void*) {
  if (const std::shared_ptr<GrayTiffRows> reader = RowReaders().Find(buffer)) {
    return InquireRowReader(*reader, item);
  }
  return Buffers().Inquire(buffer, item);
}

void MilFreeBuffer(MilId buffer) {
  Buffers().Remove(buffer);
  RowReaders().Remove(buffer);
}

MilId MilOpenImageRows(const char* path, std::int64_t significantBits, MilId* rows) {
  lastReadError.clear();
  if (path == nullptr || rows == nullptr) {
    lastReadError = "no file name";
    return 0;
  }
  try {
    *rows =
        RowReaders().Add(std::make_shared<GrayTiffRows>(path, static_cast<int>(significantBits)));
    return *rows;
  } catch (const TiffError& error) {
    lastReadError = error.what();
  } catch (const std::bad_alloc&) {
    lastReadError = "there is not enough memory for the picture";
  }
  return 0;
}

std::int32_t MilReadImageRows(MilId rows, std::int32_t top, std::int32_t bottom,
                              std::uint16_t scaleMax, std::uint16_t* values) {
  lastReadError.clear();
  const std::shared_ptr<GrayTiffRows> reader = RowReaders().Find(rows);
  if (!reader || values == nullptr || scaleMax == 0) {
    lastReadError = "no such row reader";
    return 0;
  }
  try {
    reader->ReadRows(top, bottom, scaleMax, values);
    return 1;
  } catch (const TiffError& error) {
    lastReadError = error.what();
  } catch (const std::bad_alloc&) {
    lastReadError = "there is not enough memory for the picture";
  }
  return 0;
}
}
