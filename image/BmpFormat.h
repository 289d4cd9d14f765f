#pragma once

#include <cstddef>
#include <cstdint>

// Constants of the BMP file format shared by the reader and the writer.
namespace bmp {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kV2HeaderSize = 52;
constexpr std::uint32_t kV3HeaderSize = 56;
constexpr std::uint32_t kV4HeaderSize = 108;
constexpr std::uint32_t kV5HeaderSize = 124;
constexpr std::uint32_t kOs2MinHeaderSize = 16;
constexpr std::uint32_t kOs2MaxHeaderSize = 64;

constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitfields = 3;
constexpr std::uint32_t kCompressionAlphaBitfields = 6;

// Bytes in one stored row of width pixels: rows are padded to 4 bytes.
constexpr std::uint64_t RowStride(std::uint64_t width, std::uint32_t bitCount) {
  return (width * bitCount + 31) / 32 * 4;
}

}  // namespace bmp
