#include "VisImageBase.h"

#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include "BmpReader.h"
#include "BmpWriter.h"
#include "MemoryBlock.h"
#include "VisError.h"

namespace {

void CheckPixelPair(int cbPixel, EVisPixFmt pixfmt) {
  const bool gray = cbPixel == 1 && pixfmt == evispixfmtGrayByte;
  const bool colour = cbPixel == 4 && pixfmt == evispixfmtRGBAByte;
  if (!gray && !colour) {
    throw CVisError("", "unsupported pixel type (" + std::to_string(cbPixel) + " bytes, format " +
                            std::to_string(pixfmt) + ")");
  }
}

}  // namespace

CVisImageBase::CVisImageBase(int cbPixel, EVisPixFmt pixfmt) : cbPixel_(cbPixel), pixfmt_(pixfmt) {
  CheckPixelPair(cbPixel, pixfmt);
}

CVisImageBase::CVisImageBase(int cbPixel, EVisPixFmt pixfmt, const CVisRect& rect, int nbands,
                             int options, void* memory)
    : CVisImageBase(cbPixel, pixfmt) {
  if (options != 0 || memory != nullptr) {
    throw CVisError("", "image options and external pixel memory are not supported");
  }
  const CVisShape shape(rect, nbands);
  Allocate(shape, shape);
}

CVisImageBase::CVisImageBase(CVisImageBase&& other) noexcept
    : cbPixel_(other.cbPixel_), pixfmt_(other.pixfmt_) {
  Swap(other);
}

CVisImageBase::~CVisImageBase() = default;

void CVisImageBase::FreeMemory::operator()(unsigned char* block) const noexcept {
  MemoryBlockRelease{bytes}(block);
}

void CVisImageBase::Allocate(const CVisShape& shape, const CVisShape& memoryShape) {
  if (!(shape == memoryShape)) {
    throw CVisError("", "the memory shape must equal the image shape");
  }
  Reshape(shape, true);
}

void CVisImageBase::AllocateForOverwrite(const CVisShape& shape) {
  Reshape(shape, false);
}

void CVisImageBase::Reshape(const CVisShape& shape, bool zeroed) {
  if (shape.nbands != 1) {
    throw CVisError("", "only single-band images are supported");
  }
  const long long width = static_cast<long long>(shape.right) - shape.left;
  const long long height = static_cast<long long>(shape.bottom) - shape.top;
  if (width < 0 || height < 0 || width > std::numeric_limits<int>::max() ||
      height > std::numeric_limits<int>::max()) {
    throw CVisError("",
                    "invalid image size " + std::to_string(width) + " x " + std::to_string(height));
  }
  const std::size_t stride = static_cast<std::size_t>(width) * cbPixel_;
  if (height != 0 && stride > std::numeric_limits<std::size_t>::max() / height) {
    throw CVisError("", "image size overflows memory");
  }
  const std::size_t cbMemory = stride * static_cast<std::size_t>(height);

  std::unique_ptr<unsigned char, FreeMemory> memory;
  std::vector<unsigned char*> rows;
  if (cbMemory != 0) {
    // Zero pages come lazily from the system, so a large picture costs no
    // extra pass.
    MemoryBlock block =
        zeroed ? AllocateZeroedBlock(cbMemory) : AllocateBlockForOverwrite(cbMemory);
    if (!block) {
      throw CVisError("", "out of memory allocating " + std::to_string(cbMemory) + " bytes");
    }
    memory = std::unique_ptr<unsigned char, FreeMemory>(block.release(), FreeMemory{cbMemory});
  }
  try {
    rows.resize(static_cast<std::size_t>(height));
  } catch (const std::bad_alloc&) {
    throw CVisError("", "out of memory allocating the row table");
  }
  for (std::size_t r = 0; r < rows.size(); ++r) {
    rows[r] = memory.get() + r * stride;
  }

  rect_ = shape;
  nbands_ = shape.nbands;
  memory_ = std::move(memory);
  cbMemory_ = cbMemory;
  rows_ = std::move(rows);
}

// Every file is a BMP file, read and written here and nowhere else.
void CVisImageBase::ReadFile(const char* path) {
  const BmpFile file(path);
  CVisImageBase picture(cbPixel_, pixfmt_);
  const CVisShape shape(0, 0, file.Width(), file.Height());
  try {
    // Pixels a file may leave out read as zero; otherwise every pixel is
    // decoded and needs no zeros first.
    if (file.SkipsPixels()) {
      picture.Allocate(shape, shape);
    } else {
      picture.AllocateForOverwrite(shape);
    }
  } catch (const CVisError& error) {
    throw CVisError(path, error.Reason());
  }
  file.DecodeInto(picture.PixelRows());
  Swap(picture);
}

void CVisImageBase::WriteFile(const char* path, const char* format) const {
  if (format != nullptr && std::strcmp(format, "bmp") != 0 && std::strcmp(format, "BMP") != 0) {
    throw CVisError(path, std::string("unsupported file format \"") + format + "\"");
  }
  WriteBmpFile(path, PixelRows());
}

VisPixelRows CVisImageBase::PixelRows() const {
  return {Width(), Height(), cbPixel_, rows_.data()};
}

void CVisImageBase::Swap(CVisImageBase& other) noexcept {
  std::swap(rect_, other.rect_);
  std::swap(nbands_, other.nbands_);
  std::swap(memory_, other.memory_);
  std::swap(cbMemory_, other.cbMemory_);
  std::swap(rows_, other.rows_);
}
