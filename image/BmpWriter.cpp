#include "BmpWriter.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "BmpFormat.h"
#include "ReplacingFile.h"
#include "VisError.h"
#include "VisImageBase.h"

namespace {

// Rows are encoded into a buffer that stays in the cache, then written.
constexpr std::size_t kChunkBytes = std::size_t{1} << 16;
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
std::vector<unsigned char> Headers(const CVisImageBase& picture, std::uint32_t bitCount,
                                   std::uint64_t imageBytes, const char* path) {
  const std::uint64_t offset = PixelOffset(bitCount);
  const std::uint64_t fileSize = offset + imageBytes;
  if (!FitsInBmpFile(picture.Width(), picture.Height(), picture.CbPixel())) {
    throw CVisError(path, "picture is too large for a BMP file");
  }
  std::vector<unsigned char> out;
  out.reserve(offset);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(fileSize));
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(offset));
  Put32(out, bmp::kInfoHeaderSize);
  Put32(out, static_cast<std::uint32_t>(picture.Width()));
  Put32(out, static_cast<std::uint32_t>(picture.Height()));  // positive: bottom-up rows
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

// Stores one picture row in file form (gray as is, colour as blue, green,
// red) followed by its zero padding.
void EncodeRow(const unsigned char* src, unsigned char* dst, std::size_t width, bool gray,
               std::size_t stride) {
  std::size_t end;
  if (gray) {
    std::memcpy(dst, src, width);
    end = width;
  } else {
    std::size_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
      // Four pixels (16 bytes) become 12 bytes at a time.
      for (; x + 4 <= width; x += 4) {
        std::uint64_t low;
        std::uint64_t high;
        std::memcpy(&low, src + 4 * x, sizeof low);
        std::memcpy(&high, src + 4 * x + 8, sizeof high);
        const std::uint64_t first = (low & 0xFFFFFF) | ((low >> 8) & 0xFFFFFF000000) | high << 48;
        const std::uint32_t second =
            static_cast<std::uint32_t>(((high >> 16) & 0xFF) | ((high >> 24) & 0xFFFFFF00));
        std::memcpy(dst + 3 * x, &first, sizeof first);
        std::memcpy(dst + 3 * x + 8, &second, sizeof second);
      }
    }
    for (; x < width; ++x) {
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

}  // namespace

bool FitsInBmpFile(int width, int height, int cbPixel) {
  const std::uint32_t bitCount = cbPixel == 1 ? 8 : 24;
  return width >= 0 && height >= 0 &&
         FileSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height),
                  bitCount) <= std::numeric_limits<std::uint32_t>::max();
}

void WriteBmpFile(const char* path, const CVisImageBase& picture) {
  const bool gray = picture.CbPixel() == 1;
  const std::uint32_t bitCount = gray ? 8 : 24;
  const std::size_t width = static_cast<std::size_t>(picture.Width());
  const std::size_t height = static_cast<std::size_t>(picture.Height());
  const std::size_t stride = bmp::RowStride(width, bitCount);
  const std::vector<unsigned char> headers =
      Headers(picture, bitCount, static_cast<std::uint64_t>(stride) * height, path);

  ReplacingFile file(path);
  Check(path, file.Open());
  Check(path, file.Write(headers.data(), headers.size()));
  const std::size_t rowsPerChunk =
      std::max<std::size_t>(1, kChunkBytes / std::max<std::size_t>(stride, 1));
  std::vector<unsigned char> chunk(std::min(rowsPerChunk, std::max<std::size_t>(height, 1)) *
                                   stride);
  std::size_t filled = 0;
  for (std::size_t i = 0; i < height; ++i) {
    const int row = static_cast<int>(height - 1 - i);  // bottom row first
    EncodeRow(picture.PbFirstPixelInRow(row), chunk.data() + filled, width, gray, stride);
    filled += stride;
    if (filled == chunk.size() || i + 1 == height) {
      Check(path, file.Write(chunk.data(), filled));
      filled = 0;
    }
  }
  Check(path, file.Commit());
}
