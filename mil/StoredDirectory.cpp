#include "StoredDirectory.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint64_t Number(const unsigned char* bytes, int size, bool bigEndian) {
  std::uint64_t value = 0;
  for (int i = 0; i < size; ++i) {
    value |= std::uint64_t{bytes[bigEndian ? size - 1 - i : i]} << (8 * i);
  }
  return value;
}

// The bytes of one value of each type TIFF defines; 0 for any other.
std::uint64_t TypeBytes(std::uint16_t type) {
  constexpr std::uint8_t kBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
  return type < sizeof kBytes ? kBytes[type] : 0;
}

constexpr std::uint64_t kMostEntries = 4096;

}  // namespace

std::optional<StoredHeader> ReadStoredHeader(const OpenedFile& file) {
  unsigned char bytes[16] = {};
  if (ReadFileAt(file, 0, bytes, 8) != 8 || bytes[0] != bytes[1] ||
      (bytes[0] != 'I' && bytes[0] != 'M')) {
    return std::nullopt;
  }
  StoredHeader header;
  header.bigEndian = bytes[0] == 'M';
  const std::uint64_t version = Number(bytes + 2, 2, header.bigEndian);
  if (version == 42) {
    header.firstDirectory = Number(bytes + 4, 4, header.bigEndian);
    return header;
  }
  if (version != 43 || ReadFileAt(file, 8, bytes + 8, 8) != 8) {
    return std::nullopt;
  }
  header.bigTiff = true;
  header.firstDirectory = Number(bytes + 8, 8, header.bigEndian);
  return header;
}

std::vector<StoredEntry> ReadStoredDirectory(const OpenedFile& file, const StoredHeader& header,
                                             std::uint64_t offset) {
  const int countSize = header.bigTiff ? 8 : 2;
  const int numberSize = header.bigTiff ? 8 : 4;
  const std::uint64_t entrySize = header.bigTiff ? 20 : 12;
  unsigned char countBytes[8] = {};
  if (ReadFileAt(file, offset, countBytes, countSize) != static_cast<std::size_t>(countSize)) {
    return {};
  }
  const std::uint64_t count =
      std::min(Number(countBytes, countSize, header.bigEndian), kMostEntries);
  std::vector<StoredEntry> entries;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t at = offset + countSize + i * entrySize;
    unsigned char bytes[20] = {};
    if (ReadFileAt(file, at, bytes, entrySize) != entrySize) {
      break;
    }
    StoredEntry entry;
    entry.tag = static_cast<std::uint16_t>(Number(bytes, 2, header.bigEndian));
    entry.type = static_cast<std::uint16_t>(Number(bytes + 2, 2, header.bigEndian));
    entry.count = Number(bytes + 4, numberSize, header.bigEndian);
    const std::uint64_t size = TypeBytes(entry.type);
    // (A count too large to multiply is beyond any file.)
    entry.valueBytes = size == 0                         ? 0
                       : entry.count > UINT64_MAX / size ? UINT64_MAX
                                                         : entry.count * size;
    const std::uint64_t field = at + 4 + numberSize;
    entry.valueOffset = entry.valueBytes <= static_cast<std::uint64_t>(numberSize)
                            ? field
                            : Number(bytes + 4 + numberSize, numberSize, header.bigEndian);
    entries.push_back(entry);
  }
  return entries;
}

std::optional<std::uint64_t> FirstNumber(const OpenedFile& file, const StoredHeader& header,
                                         const StoredEntry& entry) {
  const int size = entry.type == 3                        ? 2
                   : entry.type == 4 || entry.type == 13  ? 4
                   : entry.type == 16 || entry.type == 18 ? 8
                                                          : 0;
  unsigned char bytes[8] = {};
  if (size == 0 || entry.count == 0 ||
      ReadFileAt(file, entry.valueOffset, bytes, static_cast<std::size_t>(size)) !=
          static_cast<std::size_t>(size)) {
    return std::nullopt;
  }
  return Number(bytes, size, header.bigEndian);
}

std::vector<double> StoredNumbers(const OpenedFile& file, const StoredHeader& header,
                                  const StoredEntry& entry, std::size_t most) {
  const std::uint64_t size = TypeBytes(entry.type);
  const bool numeric = entry.type != 2 && entry.type != 7 && size > 0;
  const std::uint64_t count = std::min<std::uint64_t>(entry.count, most);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(count * size));
  if (!numeric || !ValueInFile(file, entry) ||
      ReadFileAt(file, entry.valueOffset, bytes.data(), bytes.size()) != bytes.size()) {
    return {};
  }
  const bool bigEndian = header.bigEndian;
  const auto number = [&](std::size_t at, int width) {
    return Number(bytes.data() + at, width, bigEndian);
  };
  // The two's complement value of an unsigned number of width bytes.
  const auto signedNumber = [&](std::size_t at, int width) {
    const std::uint64_t value = number(at, width);
    const std::uint64_t sign = std::uint64_t{1} << (8 * width - 1);
    return width == 8 ? static_cast<double>(static_cast<std::int64_t>(value))
                      : static_cast<double>(static_cast<std::int64_t>(value ^ sign) -
                                            static_cast<std::int64_t>(sign));
  };
  std::vector<double> values;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = i * size;
    switch (entry.type) {
      case 5:     // RATIONAL
      case 10: {  // SRATIONAL
        const double numerator = entry.type == 5 ? number(at, 4) : signedNumber(at, 4);
        const double denominator = entry.type == 5 ? number(at + 4, 4) : signedNumber(at + 4, 4);
        values.push_back(denominator != 0 ? numerator / denominator : 0);
        break;
      }
      case 11: {  // FLOAT
        const auto bits = static_cast<std::uint32_t>(number(at, 4));
        float value;
        std::memcpy(&value, &bits, 4);
        values.push_back(value);
        break;
      }
      case 12: {  // DOUBLE
        const std::uint64_t bits = number(at, 8);
        double value;
        std::memcpy(&value, &bits, 8);
        values.push_back(value);
        break;
      }
      case 6:   // SBYTE
      case 8:   // SSHORT
      case 9:   // SLONG
      case 17:  // SLONG8
        values.push_back(signedNumber(at, static_cast<int>(size)));
        break;
      default:
        values.push_back(static_cast<double>(number(at, static_cast<int>(size))));
    }
  }
  return values;
}

bool ValueInFile(const OpenedFile& file, const StoredEntry& entry) {
  return entry.valueOffset <= file.size && entry.valueBytes <= file.size - entry.valueOffset;
}

const StoredEntry* FindEntry(const std::vector<StoredEntry>& entries, std::uint16_t tag) {
  const auto it = std::find_if(entries.begin(), entries.end(),
                               [&](const StoredEntry& entry) { return entry.tag == tag; });
  return it == entries.end() ? nullptr : &*it;
}
