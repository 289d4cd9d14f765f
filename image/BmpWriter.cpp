#include "BmpWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "BmpFormat.h"
#include "MemoryBlock.h"
#include "ReplacingFile.h"
#include "VectorTypes.h"
#include "VisError.h"

namespace {

// Rows are encoded into a buffer that stays in the second-level cache, then
// written: few enough system calls, each large enough to cost little.
constexpr std::size_t kChunkBytes = std::size_t{1} << 19;
constexpr std::uint32_t kPaletteEntries = 256;

void Put16(std::vector<unsigned char>& out, std::uint32_t v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::uint64_t PixelOffset(std::uint32_t bitCount) {
  const std::uint32_t paletteBytes = bitCount == 8 ? kPaletteEntries * 4 : 0;
  return bmp::kFileHeaderSize + bmp::kInfoHeaderSize + paletteBytes;
}

std::uint64_t FileSize(std::uint64_t width, std::uint64_t height, std::uint32_t bitCount) {
  return PixelOffset(bitCount) + bmp::RowStride(width, bitCount) * height;
}

// File header, info header and (for gray) the gray palette.
std::vector<unsigned char> Headers(std::uint32_t width, std::uint32_t height,
                                   std::uint32_t bitCount, std::uint64_t imageBytes) {
  const std::uint64_t offset = PixelOffset(bitCount);
  const std::uint64_t fileSize = offset + imageBytes;
  std::vector<unsigned char> out;
  out.reserve(offset);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(fileSize));
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(offset));
  Put32(out, bmp::kInfoHeaderSize);
  Put32(out, width);
  Put32(out, height);  // positive: bottom-up rows
  Put16(out, 1);
  Put16(out, bitCount);
  Put32(out, bmp::kCompressionRgb);
  Put32(out, static_cast<std::uint32_t>(imageBytes));
  Put32(out, 2835);  // 72 dots per inch, in dots per metre
  Put32(out, 2835);
  Put32(out, bitCount == 8 ? kPaletteEntries : 0);
  Put32(out, 0);
  if (bitCount == 8) {
    for (std::uint32_t i = 0; i < kPaletteEntries; ++i) {
      const auto v = static_cast<unsigned char>(i);
      out.insert(out.end(), {v, v, v, 0});
    }
  }
  return out;
}

// Four colour pixels (16 bytes: blue, green, red, alpha) become 12 bytes at
// a time, in vector registers.
#if defined(TESSARY_HAVE_VECTOR_TYPES)
using ByteVector = vectors::U8x16;

TESSARY_VECTOR_CLONES std::size_t EncodeColourGroups(const unsigned char* src, unsigned char* dst,
                                                     std::size_t width) {
  std::size_t x = 0;
  // Each store writes 16 bytes, 4 beyond the group: the next group's place,
  // so the last group stops 6 pixels before the row's end.
  for (; x + 6 <= width; x += 4) {
    ByteVector pixels;
    std::memcpy(&pixels, src + 4 * x, sizeof pixels);
    const ByteVector packed =
        __builtin_shufflevector(pixels, pixels, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0, 0, 0, 0);
    std::memcpy(dst + 3 * x, &packed, sizeof packed);
  }
  return x;
}
#else
std::size_t EncodeColourGroups(const unsigned char*, unsigned char*, std::size_t) {
  return 0;
}
#endif

// Stores one picture row in file form (gray as is, colour as blue, green,
// red) followed by its zero padding.
void EncodeRow(const unsigned char* src, unsigned char* dst, std::size_t width, bool gray,
               std::size_t stride) {
  std::size_t end;
  if (gray) {
    std::memcpy(dst, src, width);
    end = width;
  } else {
    for (std::size_t x = EncodeColourGroups(src, dst, width); x < width; ++x) {
      dst[3 * x] = src[4 * x];
      dst[3 * x + 1] = src[4 * x + 1];
      dst[3 * x + 2] = src[4 * x + 2];
    }
    end = 3 * width;
  }
  std::fill(dst + end, dst + stride, 0);
}

void Check(const char* path, const std::string& failure) {
  if (!failure.empty()) {
    throw CVisError(path, failure);
  }
}

// Whether a picture of this size, with cbPixel bytes per pixel in memory (1
// gray, 4 colour), fits in a BMP file, whose size field has 32 bits.
bool FitsInBmpFile(int width, int height, int cbPixel) {
  const std::uint32_t bitCount = cbPixel == 1 ? 8 : 24;
  return width >= 0 && height >= 0 &&
         FileSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height),
                  bitCount) <= std::numeric_limits<std::uint32_t>::max();
}

}  // namespace

std::size_t BmpRowBytes(int width, int cbPixel) {
  return bmp::RowStride(static_cast<std::size_t>(std::max(width, 0)), cbPixel == 1 ? 8 : 24);
}

struct BmpBandWriter::State {
  State(const char* target, int pictureWidth, int pictureHeight, int pixelBytes,
        bool replaceExisting)
      : path(target),
        width(pictureWidth),
        height(pictureHeight),
        cbPixel(pixelBytes),
        stride(bmp::RowStride(static_cast<std::size_t>(pictureWidth), pixelBytes == 1 ? 8 : 24)),
        nextBottom(pictureHeight),
        file(target, replaceExisting) {}

  std::string path;
  int width;
  int height;
  int cbPixel;
  std::size_t stride;
  int nextBottom;  // the rows below it are written
  ReplacingFile file;
  MemoryBlock chunk;  // made at the first band that needs encoding
  std::size_t chunkBytes = 0;
  // Until the first rows go out with them: one system call fewer a file.
  std::vector<unsigned char> unsentHeaders;

  // Writes the pieces, after the headers if they are still unsent.
  std::string Send(std::vector<FilePiece>& pieces) {
    if (!unsentHeaders.empty()) {
      pieces.insert(pieces.begin(), FilePiece{unsentHeaders.data(), unsentHeaders.size()});
    }
    std::string failure = file.Write(pieces);
    unsentHeaders.clear();
    return failure;
  }
};

BmpBandWriter::BmpBandWriter(const char* path, int width, int height, int cbPixel,
                             bool replaceExisting) {
  if (!FitsInBmpFile(width, height, cbPixel)) {
    throw CVisError(path, "picture is too large for a BMP file");
  }
  state_ = std::make_unique<State>(path, width, height, cbPixel, replaceExisting);
  const std::uint32_t bitCount = cbPixel == 1 ? 8 : 24;
  state_->unsentHeaders =
      Headers(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), bitCount,
              static_cast<std::uint64_t>(state_->stride) * static_cast<std::uint64_t>(height));
  Check(path, state_->file.Open());
}

BmpBandWriter::~BmpBandWriter() = default;

void BmpBandWriter::WriteBand(const VisPixelRows& picture, int top, int bottom) {
  State& state = *state_;
  if (picture.width != state.width || picture.height != state.height ||
      picture.cbPixel != state.cbPixel) {
    throw CVisError(state.path, "the picture handed to the BMP writer has another size or type");
  }
  const bool gray = state.cbPixel == 1;
  const std::size_t width = static_cast<std::size_t>(state.width);
  const bool backToBack =
      picture.height == 0 ||
      picture.rows[picture.height - 1] ==
          picture.rows[0] + static_cast<std::size_t>(picture.height - 1) * width * state.cbPixel;
  if (gray && state.stride == width && backToBack) {
    WriteFileRows(picture.rows[top], top, bottom);  // already in the file's form
    return;
  }
  CheckBand(top, bottom);
  const char* path = state.path.c_str();
  if (!state.chunk) {
    const std::size_t rowsPerChunk =
        std::max<std::size_t>(1, kChunkBytes / std::max<std::size_t>(state.stride, 1));
    state.chunkBytes =
        std::min(rowsPerChunk, std::max<std::size_t>(static_cast<std::size_t>(state.height), 1)) *
        state.stride;
    state.chunk = AllocateBlockForOverwrite(state.chunkBytes);
    if (!state.chunk) {
      throw CVisError(path, "out of memory for the rows being written");
    }
  }
  std::size_t filled = 0;
  for (int row = bottom - 1; row >= top; --row) {
    EncodeRow(picture.rows[row], state.chunk.get() + filled, width, gray, state.stride);
    filled += state.stride;
    if (filled == state.chunkBytes || row == top) {
      std::vector<FilePiece> pieces{{state.chunk.get(), filled}};
      Check(path, state.Send(pieces));
      filled = 0;
    }
  }
  state.nextBottom = top;
}

void BmpBandWriter::WriteFileRows(const unsigned char* rows, int top, int bottom) {
  State& state = *state_;
  CheckBand(top, bottom);
  // The rows go out as they are, bottom row first, with no copy.
  std::vector<FilePiece> pieces;
  pieces.reserve(static_cast<std::size_t>(bottom - top) + 1);
  for (int row = bottom - 1; row >= top; --row) {
    pieces.push_back({rows + static_cast<std::size_t>(row - top) * state.stride, state.stride});
  }
  Check(state.path.c_str(), state.Send(pieces));
  state.nextBottom = top;
}

void BmpBandWriter::WriteFileBand(const unsigned char* band, int top, int bottom) {
  State& state = *state_;
  CheckBand(top, bottom);
  std::vector<FilePiece> pieces{{band, static_cast<std::size_t>(bottom - top) * state.stride}};
  Check(state.path.c_str(), state.Send(pieces));
  state.nextBottom = top;
}

std::size_t BmpBandWriter::RowBytes() const {
  return state_->stride;
}

void BmpBandWriter::CheckBand(int top, int bottom) const {
  if (bottom != state_->nextBottom || top < 0 || top > bottom) {
    throw CVisError(state_->path, "rows handed to the BMP writer do not follow the rows written");
  }
}

void BmpBandWriter::Commit() {
  if (state_->nextBottom != 0) {
    throw CVisError(state_->path, "the BMP file would be incomplete: rows are missing");
  }
  if (!state_->unsentHeaders.empty()) {
    std::vector<FilePiece> none;
    Check(state_->path.c_str(), state_->Send(none));
  }
  Check(state_->path.c_str(), state_->file.Commit());
}

void WriteBmpFile(const char* path, const VisPixelRows& picture) {
  BmpBandWriter writer(path, picture.width, picture.height, picture.cbPixel);
  writer.WriteBand(picture, 0, picture.height);
  writer.Commit();
}
