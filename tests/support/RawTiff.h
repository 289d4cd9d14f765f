#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// A TIFF assembled byte by byte, for files no writer would make. The data
// comes right after the header, at offset 8; the directory follows it. The
// numbers are stored little-endian ("II") or big-endian ("MM"); the data as
// given.
struct RawTiffEntry {
  std::uint16_t tag;
  std::uint16_t type;  // 1 BYTE, 3 SHORT, 4 LONG, 5 RATIONAL (values in pairs), 7 UNDEFINED
  std::vector<std::uint32_t> values;
};

inline std::vector<unsigned char> RawTiff(const std::vector<RawTiffEntry>& entries,
                                          const std::vector<unsigned char>& data,
                                          bool bigEndian = false) {
  std::vector<unsigned char> out;
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      out.push_back(static_cast<unsigned char>(v >> (8 * (bigEndian ? bytes - 1 - i : i))));
    }
  };
  out = bigEndian ? std::vector<unsigned char>{'M', 'M'} : std::vector<unsigned char>{'I', 'I'};
  put(42, 2);
  const std::uint32_t directory = static_cast<std::uint32_t>(8 + data.size());
  put(directory, 4);
  out.insert(out.end(), data.begin(), data.end());
  std::uint32_t overflow = directory + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
  std::vector<unsigned char> arrays;
  put(static_cast<std::uint32_t>(entries.size()), 2);
  for (const RawTiffEntry& entry : entries) {
    const int size = entry.type == 3 ? 2 : (entry.type == 1 || entry.type == 7 ? 1 : 4);
    // A RATIONAL is two numbers: its numerator and denominator.
    const std::size_t count = entry.type == 5 ? entry.values.size() / 2 : entry.values.size();
    put(entry.tag, 2);
    put(entry.type, 2);
    put(static_cast<std::uint32_t>(count), 4);
    if (entry.values.size() * size <= 4) {
      for (std::uint32_t v : entry.values) {
        put(v, size);
      }
      for (std::size_t i = entry.values.size() * size; i < 4; ++i) {
        out.push_back(0);
      }
    } else {
      put(overflow + static_cast<std::uint32_t>(arrays.size()), 4);
      for (std::uint32_t v : entry.values) {
        for (int i = 0; i < size; ++i) {
          arrays.push_back(static_cast<unsigned char>(v >> (8 * (bigEndian ? size - 1 - i : i))));
        }
      }
    }
  }
  put(0, 4);
  out.insert(out.end(), arrays.begin(), arrays.end());
  return out;
}

inline constexpr std::uint16_t kTiffByte = 1;
inline constexpr std::uint16_t kTiffShort = 3;
inline constexpr std::uint16_t kTiffLong = 4;
inline constexpr std::uint16_t kTiffRational = 5;
inline constexpr std::uint16_t kTiffUndefined = 7;

// An uncompressed TIFF of one sample per pixel (or samplesPerPixel), in
// strips of rowsPerStrip rows, the samples as given right after the header;
// rows of whole bytes.
// extra: further entries, in ascending order of their tags after 279.
inline std::vector<unsigned char> PlainTiff(std::uint32_t width, std::uint32_t height,
                                            std::uint16_t bits, std::uint16_t photometric,
                                            std::uint32_t rowsPerStrip,
                                            const std::vector<unsigned char>& samples,
                                            std::uint16_t samplesPerPixel = 1,
                                            bool bigEndian = false,
                                            const std::vector<RawTiffEntry>& extra = {}) {
  const std::uint32_t rowBytes = width * samplesPerPixel * bits / 8;
  std::vector<std::uint32_t> offsets;
  std::vector<std::uint32_t> counts;
  for (std::uint32_t top = 0; top < height; top += rowsPerStrip) {
    offsets.push_back(8 + top * rowBytes);
    counts.push_back(std::min(rowsPerStrip, height - top) * rowBytes);
  }
  std::vector<std::uint32_t> depth(samplesPerPixel, bits);
  std::vector<RawTiffEntry> entries = {{256, kTiffLong, {width}},
                                       {257, kTiffLong, {height}},
                                       {258, kTiffShort, depth},
                                       {259, kTiffShort, {1}},
                                       {262, kTiffShort, {photometric}},
                                       {273, kTiffLong, offsets},
                                       {277, kTiffShort, {samplesPerPixel}},
                                       {278, kTiffLong, {rowsPerStrip}},
                                       {279, kTiffLong, counts}};
  entries.insert(entries.end(), extra.begin(), extra.end());
  return RawTiff(entries, samples, bigEndian);
}
