#include "BmpReader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BmpFormat.h"
#include "MemoryBlock.h"
#include "RegularFile.h"
#include "VisError.h"
#include "VisRGBA.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

// Pixels an RLE file may claim per byte of compressed data: what its runs
// can really carry (a run of two bytes holds at most 255 pixels), so that a
// small file cannot demand a huge picture; small files may claim
// kRleMinPixelBudget pixels whatever their size.
constexpr std::uint64_t kRlePixelsPerByte = 128;
constexpr std::uint64_t kRleMinPixelBudget = std::uint64_t{1} << 24;

struct Bgr {
  unsigned char b, g, r;
};

// Colour to gray: BT.601 luma, rounded. Equal channels give that value back.
inline unsigned char Luma(unsigned b, unsigned g, unsigned r) {
  return static_cast<unsigned char>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

inline void Store(unsigned char& out, unsigned b, unsigned g, unsigned r) {
  out = Luma(b, g, r);
}
inline void Store(Rgba& out, unsigned b, unsigned g, unsigned r) {
  out = Rgba(static_cast<unsigned char>(r), static_cast<unsigned char>(g),
             static_cast<unsigned char>(b));
}

// One colour channel of a bit-field pixel: where it sits and how to widen it
// to 8 bits.
struct Channel {
  unsigned shift = 0;
  unsigned bits = 0;
  std::uint32_t max = 0;

  unsigned Extract(std::uint32_t pixel) const {
    if (bits == 0) {
      return 0;
    }
    const std::uint32_t v = (pixel >> shift) & max;
    if (bits == 8) {
      return v;
    }
    // Scaled to 0..255 with rounding, narrower and wider fields alike.
    return static_cast<unsigned>((std::uint64_t{v} * 255 + max / 2) / max);
  }
};

struct Layout {
  bool core = false;  // OS/2 1.x header: 16-bit sizes, 3-byte palette entries
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool topDown = false;
  std::uint32_t bitCount = 0;
  std::uint32_t compression = bmp::kCompressionRgb;
  std::uint32_t colorsUsed = 0;
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue
  bool hasMasks = false;
  std::size_t headerEnd = 0;  // first byte after header and separate masks
};

class BmpDecoder {
 public:
  // Reads the whole file and checks its headers, palette and size.
  explicit BmpDecoder(const char* path) : path_(path) {
    Load();
    Parse(size_);
  }

  // Reads the headers and the palette of an uncompressed file that is open,
  // and checks them and its size; LoadPictureRows then reads its rows.
  BmpDecoder(const char* path, const OpenedFile& file) : path_(path), file_(&file) {
    LoadHead();
    Parse(file.size);
  }

  int Width() const { return static_cast<int>(layout_.width); }
  int Height() const { return static_cast<int>(layout_.height); }
  bool RunLengthEncoded() const {
    return layout_.compression == bmp::kCompressionRle8 ||
           layout_.compression == bmp::kCompressionRle4;
  }

  const char* Path() const { return path_; }

  // Reads the file's bytes of picture rows top .. bottom - 1 (0 = the top
  // row), which DecodeColourRows then decodes.
  void LoadPictureRows(int top, int bottom) {
    const std::size_t stride = bmp::RowStride(layout_.width, layout_.bitCount);
    const std::int64_t first = layout_.topDown ? top : layout_.height - bottom;
    const std::size_t rows = static_cast<std::size_t>(bottom - top);
    const std::uint64_t offset = pixelOffset_ + static_cast<std::uint64_t>(first) * stride;
    // The last row's padding may be missing, as in a whole file.
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(rows * stride, file_->size - std::min(file_->size, offset)));
    const std::size_t needed =
        rows == 0 ? 0 : (rows - 1) * stride + (layout_.width * layout_.bitCount + 7) / 8;
    band_.assign(rows * stride, 0);
    if (ReadFileAt(*file_, offset, band_.data(), wanted) < std::max(needed, wanted)) {
      Fail("the file could not be read, or it changed while it was read");
    }
    bandFirstRow_ = first;
  }

  // Decodes the picture into pixels of its size and the wanted type.
  void DecodeInto(const VisPixelRows& pixels) const {
    if (pixels.cbPixel == 1) {
      DecodePixels<unsigned char>(pixels);
    } else {
      DecodePixels<Rgba>(pixels);
    }
  }

  const unsigned char* BgrRow(int y) const {
    if (layout_.bitCount != 24 || RunLengthEncoded()) {
      return nullptr;
    }
    return FileRowBytes(FileRow(y));
  }

  // Fails on the first palette index beyond the palette anywhere in an
  // uncompressed picture, as decoding the whole picture would.
  void CheckPaletteIndexes() const {
    if (layout_.bitCount > 8 || RunLengthEncoded() || palette_.size() >= (1u << layout_.bitCount)) {
      return;
    }
    const unsigned bits = layout_.bitCount;
    const unsigned perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (std::int64_t row = 0; row < layout_.height; ++row) {
      const unsigned char* src = FileRowBytes(row);
      for (std::int64_t x = 0; x < layout_.width; ++x) {
        const unsigned index = (src[x / perByte] >> (8 - bits * (x % perByte + 1))) & mask;
        if (index >= palette_.size()) {
          FailIndex(index, palette_.size());
        }
      }
    }
  }

  // Decodes rows top .. bottom - 1 (0 = the top row) of an uncompressed
  // picture as colour pixels, row after row.
  void DecodeColourRows(int top, int bottom, Rgba* out, const std::vector<Rgba>& table) const {
    for (int y = top; y < bottom; ++y) {
      DecodeRow(FileRow(y), out + static_cast<std::size_t>(y - top) * Width(), table);
    }
  }

  template <class Pixel>
  std::vector<Pixel> PaletteTable() const {
    std::vector<Pixel> table(palette_.size());
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      Store(table[i], palette_[i].b, palette_[i].g, palette_[i].r);
    }
    return table;
  }

 private:
  [[noreturn]] void Fail(const std::string& reason) const { throw CVisError(path_, reason); }

  // Checks the headers, the palette and the size of a file of fileSize
  // bytes, whose first size_ bytes are in data_ (all of them, or the
  // headers and the palette).
  void Parse(std::uint64_t fileSize) {
    layout_ = ParseHeaders();
    pixelOffset_ = U32(10);
    if (pixelOffset_ < layout_.headerEnd || pixelOffset_ > fileSize) {
      Fail("pixel data offset " + std::to_string(pixelOffset_) + " lies outside the file");
    }
    palette_ = ParsePalette(layout_, pixelOffset_);
    if (file_ != nullptr && RunLengthEncoded()) {
      Fail("it is run-length compressed, so its rows cannot be read band by band");
    }
    size_ = static_cast<std::size_t>(fileSize);
    CheckPixelBudget(layout_, pixelOffset_);
    if (layout_.hasMasks) {
      for (int i = 0; i < 3; ++i) {
        channels_[i].shift = layout_.masks[i] ? std::countr_zero(layout_.masks[i]) : 0;
        channels_[i].bits = std::popcount(layout_.masks[i]);
        channels_[i].max = layout_.masks[i] >> channels_[i].shift;
      }
    }
  }

  // The bytes before the pixels: the headers and the palette.
  void LoadHead() {
    unsigned char start[bmp::kFileHeaderSize] = {};
    if (ReadFileAt(*file_, 0, start, sizeof start) < 2 || start[0] != 'B' || start[1] != 'M') {
      Fail("not a BMP file");
    }
    const std::uint64_t pixelOffset =
        start[10] | start[11] << 8 | start[12] << 16 | std::uint64_t{start[13]} << 24;
    size_ = static_cast<std::size_t>(
        std::min(file_->size, std::max<std::uint64_t>(pixelOffset, kHeadBytes)));
    data_ = AllocateBlockForOverwrite(size_);
    if (!data_ || ReadFileAt(*file_, 0, data_.get(), size_) != size_) {
      Fail("the file could not be read");
    }
    if (size_ < bmp::kFileHeaderSize) {
      Fail("not a BMP file");
    }
  }

  void Load() {
    FileContents contents = ReadRegularFile(path_);
    if (!contents.failure.empty()) {
      Fail(contents.failure);
    }
    data_ = std::move(contents.bytes);
    size_ = contents.size;
    if (size_ < bmp::kFileHeaderSize || data_[0] != 'B' || data_[1] != 'M') {
      Fail("not a BMP file");
    }
  }

  void Need(std::size_t offset, std::size_t count, const char* what) const {
    if (offset > size_ || count > size_ - offset) {
      Fail(std::string("file is truncated in the ") + what);
    }
  }
  std::uint32_t U16(std::size_t offset) const {
    return data_[offset] | static_cast<std::uint32_t>(data_[offset + 1]) << 8;
  }
  std::uint32_t U32(std::size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }
  std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }

  Layout ParseHeaders() const {
    Need(bmp::kFileHeaderSize, 4, "header");
    const std::uint32_t headerSize = U32(bmp::kFileHeaderSize);
    const std::size_t h = bmp::kFileHeaderSize;  // start of the info header
    Layout layout;
    if (headerSize == bmp::kCoreHeaderSize) {
      Need(h, headerSize, "header");
      layout.core = true;
      layout.width = U16(h + 4);
      layout.height = U16(h + 6);
      layout.bitCount = U16(h + 10);
    } else if ((headerSize >= bmp::kOs2MinHeaderSize && headerSize <= bmp::kOs2MaxHeaderSize &&
                headerSize % 4 == 0) ||
               headerSize == bmp::kV4HeaderSize || headerSize == bmp::kV5HeaderSize) {
      Need(h, headerSize, "header");
      layout.width = I32(h + 4);
      layout.height = I32(h + 8);
      layout.bitCount = U16(h + 14);
      layout.compression = headerSize >= 20 ? U32(h + 16) : bmp::kCompressionRgb;
      layout.colorsUsed = headerSize >= 36 ? U32(h + 32) : 0;
    } else {
      Fail("unsupported BMP header size " + std::to_string(headerSize));
    }
    layout.headerEnd = h + headerSize;

    const bool windows = headerSize == bmp::kInfoHeaderSize || headerSize == bmp::kV2HeaderSize ||
                         headerSize == bmp::kV3HeaderSize || headerSize >= bmp::kV4HeaderSize;
    const bool os2 = !layout.core && !windows;
    if (os2 && layout.compression > bmp::kCompressionRle4) {
      Fail("unsupported OS/2 compression " + std::to_string(layout.compression));
    }
    if (layout.height < 0) {
      layout.topDown = true;
      layout.height = -layout.height;
    }
    if (layout.width <= 0 || layout.height <= 0) {
      Fail("invalid picture size " + std::to_string(layout.width) + " x " +
           std::to_string(layout.topDown ? -layout.height : layout.height));
    }
    CheckDepth(layout);
    if (layout.compression == bmp::kCompressionBitfields ||
        layout.compression == bmp::kCompressionAlphaBitfields) {
      ReadMasks(layout, headerSize);
    } else if (layout.bitCount == 16) {
      layout.masks[0] = 0x7C00;
      layout.masks[1] = 0x03E0;
      layout.masks[2] = 0x001F;
      layout.hasMasks = true;
    }
    return layout;
  }

  void CheckDepth(const Layout& layout) const {
    const std::uint32_t depth = layout.bitCount;
    bool valid = false;
    switch (layout.compression) {
      case bmp::kCompressionRgb:
        valid = depth == 1 || depth == 4 || depth == 8 || depth == 24 ||
                (!layout.core && (depth == 16 || depth == 32));
        break;
      case bmp::kCompressionRle8:
        valid = depth == 8;
        break;
      case bmp::kCompressionRle4:
        valid = depth == 4;
        break;
      case bmp::kCompressionBitfields:
      case bmp::kCompressionAlphaBitfields:
        valid = depth == 16 || depth == 32;
        break;
      default:
        Fail("unsupported compression " + std::to_string(layout.compression));
    }
    if (!valid) {
      Fail("unsupported bit depth " + std::to_string(depth) + " for compression " +
           std::to_string(layout.compression));
    }
    if (layout.topDown && (layout.compression == bmp::kCompressionRle8 ||
                           layout.compression == bmp::kCompressionRle4)) {
      Fail("a compressed picture cannot be stored top-down");
    }
  }

  void ReadMasks(Layout& layout, std::uint32_t headerSize) const {
    std::size_t at = bmp::kFileHeaderSize + 40;
    if (headerSize == bmp::kInfoHeaderSize) {
      // A plain info header keeps its masks right after itself.
      const std::size_t count = layout.compression == bmp::kCompressionAlphaBitfields ? 4 : 3;
      Need(at, 4 * count, "colour masks");
      layout.headerEnd += 4 * count;
    } else if (headerSize < bmp::kV2HeaderSize) {
      Fail("bit-field compression without colour masks");
    }
    const std::uint32_t limit = layout.bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (int i = 0; i < 3; ++i) {
      const std::uint32_t mask = U32(at + 4 * i);
      if (mask > limit) {
        Fail("colour mask exceeds the pixel's bits");
      }
      if (mask != 0) {
        const std::uint32_t shifted = mask >> std::countr_zero(mask);
        if ((shifted & (shifted + 1)) != 0) {
          Fail("colour mask is not contiguous");
        }
      }
      layout.masks[i] = mask;
    }
    layout.hasMasks = true;
  }

  // The palette lies between the headers and the pixels. Headers without a
  // colour count (and writers that shorten the palette) are common, so the
  // room before the pixels also limits the count.
  std::vector<Bgr> ParsePalette(const Layout& layout, std::size_t pixelOffset) const {
    if (layout.bitCount > 8) {
      return {};
    }
    const std::uint32_t maxEntries = 1u << layout.bitCount;
    const std::size_t entrySize = layout.core ? 3 : 4;
    const std::size_t room = (pixelOffset - layout.headerEnd) / entrySize;
    const std::size_t entries = std::min<std::size_t>(
        room, layout.colorsUsed == 0 ? maxEntries : std::min(layout.colorsUsed, maxEntries));
    if (entries == 0) {
      Fail("the colour palette is missing");
    }
    std::vector<Bgr> palette(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      const unsigned char* p = &data_[layout.headerEnd + i * entrySize];
      palette[i] = Bgr{p[0], p[1], p[2]};
    }
    return palette;
  }

  // The bytes of run-length data up to the end-of-picture marker (or the
  // file's end): bytes after the marker hold no pixels.
  std::size_t RleDataLength(const Layout& layout, std::size_t offset) const {
    const bool four = layout.compression == bmp::kCompressionRle4;
    std::size_t at = offset;
    while (at + 2 <= size_) {
      const unsigned count = data_[at];
      const unsigned value = data_[at + 1];
      at += 2;
      if (count == 0 && value == 1) {
        break;
      }
      if (count == 0 && value == 2) {
        at += 2;
      } else if (count == 0 && value > 2) {
        const std::size_t bytes = four ? (value + 1) / 2 : value;
        at += bytes + bytes % 2;
      }
    }
    return std::min(at, size_) - offset;
  }

  void CheckPixelBudget(const Layout& layout, std::size_t pixelOffset) const {
    const auto width = static_cast<std::uint64_t>(layout.width);
    const auto height = static_cast<std::uint64_t>(layout.height);
    std::size_t available = size_ - pixelOffset;
    if (layout.compression == bmp::kCompressionRle8 ||
        layout.compression == bmp::kCompressionRle4) {
      available = RleDataLength(layout, pixelOffset);
      const std::uint64_t budget = std::max(kRleMinPixelBudget, available * kRlePixelsPerByte);
      if (width > budget / height) {
        Fail("picture size " + std::to_string(width) + " x " + std::to_string(height) +
             " is implausible for " + std::to_string(available) + " bytes of compressed data");
      }
      return;
    }
    // The last row's padding may be missing; every pixel must be there.
    const std::uint64_t stride = bmp::RowStride(width, layout.bitCount);
    const std::uint64_t lastRow = (width * layout.bitCount + 7) / 8;
    if (height - 1 > (available - std::min<std::uint64_t>(available, lastRow)) / stride ||
        lastRow > available) {
      Fail("file holds fewer pixels than its header claims (" + std::to_string(width) + " x " +
           std::to_string(height) + ")");
    }
  }

  // The stored bytes of a row, counted in file order: in the file read
  // whole, or in the band read last.
  const unsigned char* FileRowBytes(std::int64_t row) const {
    const std::size_t stride = bmp::RowStride(layout_.width, layout_.bitCount);
    if (file_ != nullptr) {
      return band_.data() + static_cast<std::size_t>(row - bandFirstRow_) * stride;
    }
    return &data_[pixelOffset_ + static_cast<std::size_t>(row) * stride];
  }

  // The file's row that holds picture row y (0 = top), and back.
  std::int64_t FileRow(std::int64_t y) const {
    return layout_.topDown ? y : layout_.height - 1 - y;
  }

  template <class Pixel>
  Pixel* TargetRow(const VisPixelRows& pixels, std::int64_t fileRow) const {
    return reinterpret_cast<Pixel*>(pixels.rows[FileRow(fileRow)]);
  }

  [[noreturn]] void FailIndex(unsigned index, std::size_t entries) const {
    Fail("palette index " + std::to_string(index) + " out of range (the palette has " +
         std::to_string(entries) + " colours)");
  }

  template <class Pixel>
  void DecodePixels(const VisPixelRows& picture) const {
    const std::vector<Pixel> table = PaletteTable<Pixel>();
    if (RunLengthEncoded()) {
      DecodeRle<Pixel>(picture, table);
      return;
    }
    for (std::int64_t row = 0; row < layout_.height; ++row) {
      DecodeRow(row, TargetRow<Pixel>(picture, row), table);
    }
  }

  // Decodes one row of an uncompressed picture, counted in file order.
  template <class Pixel>
  void DecodeRow(std::int64_t row, Pixel* dst, const std::vector<Pixel>& table) const {
    const std::size_t width = static_cast<std::size_t>(layout_.width);
    const unsigned char* src = FileRowBytes(row);
    const Channel* channels = channels_;
    switch (layout_.bitCount) {
      case 1:
      case 4:
        DecodePackedRow(src, dst, width, layout_.bitCount, table);
        break;
      case 8:
        for (std::size_t x = 0; x < width; ++x) {
          if (src[x] >= table.size()) {
            FailIndex(src[x], table.size());
          }
          dst[x] = table[src[x]];
        }
        break;
      case 24:
        for (std::size_t x = 0; x < width; ++x) {
          Store(dst[x], src[3 * x], src[3 * x + 1], src[3 * x + 2]);
        }
        break;
      case 16:
        for (std::size_t x = 0; x < width; ++x) {
          const std::uint32_t v = src[2 * x] | src[2 * x + 1] << 8;
          Store(dst[x], channels[2].Extract(v), channels[1].Extract(v), channels[0].Extract(v));
        }
        break;
      case 32:
        if (!layout_.hasMasks) {
          for (std::size_t x = 0; x < width; ++x) {
            Store(dst[x], src[4 * x], src[4 * x + 1], src[4 * x + 2]);
          }
        } else {
          for (std::size_t x = 0; x < width; ++x) {
            std::uint32_t v;
            std::memcpy(&v, src + 4 * x, 4);
            v = Le32(v);
            Store(dst[x], channels[2].Extract(v), channels[1].Extract(v), channels[0].Extract(v));
          }
        }
        break;
    }
  }

  static std::uint32_t Le32(std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) {
      return __builtin_bswap32(v);
    }
    return v;
  }

  template <class Pixel>
  void DecodePackedRow(const unsigned char* src, Pixel* dst, std::size_t width, unsigned bits,
                       const std::vector<Pixel>& table) const {
    const unsigned perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (std::size_t x = 0; x < width; ++x) {
      const unsigned shift = 8 - bits * (x % perByte + 1);
      const unsigned index = (src[x / perByte] >> shift) & mask;
      if (index >= table.size()) {
        FailIndex(index, table.size());
      }
      dst[x] = table[index];
    }
  }

  // Run-length encoded pixels (8 or 4 bits). Pixels the data skips stay zero.
  // Pixels past the end of a row are dropped: many encoders pad each row to
  // the stored row's width.
  template <class Pixel>
  void DecodeRle(const VisPixelRows& picture, const std::vector<Pixel>& table) const {
    const bool four = layout_.compression == bmp::kCompressionRle4;
    const std::int64_t width = layout_.width;
    const std::int64_t height = layout_.height;
    std::int64_t x = 0;
    std::int64_t row = 0;
    std::size_t at = pixelOffset_;
    auto put = [&](unsigned index) {
      if (row >= height) {
        Fail("compressed data runs past the picture");
      }
      if (index >= table.size()) {
        FailIndex(index, table.size());
      }
      if (x < width) {
        TargetRow<Pixel>(picture, row)[x] = table[index];
      }
      ++x;
    };
    while (true) {
      if (at + 2 > size_) {
        if (row >= height) {
          return;  // every row ended; the end-of-picture marker is missing
        }
        Fail("compressed data ends before the end of the picture");
      }
      const unsigned count = data_[at];
      const unsigned value = data_[at + 1];
      at += 2;
      if (count > 0) {
        for (unsigned i = 0; i < count; ++i) {
          put(four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
        }
      } else if (value == 0) {
        x = 0;
        ++row;
      } else if (value == 1) {
        return;
      } else if (value == 2) {
        Need(at, 2, "compressed data");
        x = std::min(x, width) + data_[at];
        row += data_[at + 1];
        at += 2;
        if (x > width || row > height || (row == height && x > 0)) {
          Fail("compressed data moves past the picture");
        }
      } else {
        const std::size_t bytes = four ? (value + 1) / 2 : value;
        Need(at, bytes, "compressed data");
        for (unsigned i = 0; i < value; ++i) {
          const unsigned byte = data_[at + (four ? i / 2 : i)];
          put(four ? (i % 2 == 0 ? byte >> 4 : byte & 0x0F) : byte);
        }
        at += bytes + (bytes % 2);
      }
    }
  }

  // The headers read before the pixels of a file read band by band.
  static constexpr std::uint64_t kHeadBytes = 4096;

  const char* path_;
  const OpenedFile* file_ = nullptr;  // read band by band, or null: read whole
  std::vector<unsigned char> band_;
  std::int64_t bandFirstRow_ = 0;
  MemoryBlock data_;
  std::size_t size_ = 0;
  Layout layout_;
  std::size_t pixelOffset_ = 0;
  std::vector<Bgr> palette_;
  Channel channels_[3];
};

}  // namespace

struct BmpFile::State {
  explicit State(const char* file) : path(file), decoder(path.c_str()) {}

  std::string path;
  BmpDecoder decoder;
};

BmpFile::BmpFile(const char* path) : state_(std::make_unique<State>(path)) {}

BmpFile::~BmpFile() = default;

int BmpFile::Width() const {
  return state_->decoder.Width();
}

int BmpFile::Height() const {
  return state_->decoder.Height();
}

bool BmpFile::SkipsPixels() const {
  return state_->decoder.RunLengthEncoded();
}

void BmpFile::DecodeInto(const VisPixelRows& pixels) const {
  state_->decoder.DecodeInto(pixels);
}

struct BmpRows::State {
  explicit State(const char* file) : path(file), decoder(path.c_str()) {}

  std::string path;
  BmpDecoder decoder;
  std::vector<Rgba> table;
  // A run-length encoded picture, decoded whole: its pixels and rows.
  MemoryBlock whole;
  std::vector<unsigned char*> wholeRows;
};

BmpRows::BmpRows(const char* path) : state_(std::make_unique<State>(path)) {
  State& state = *state_;
  if (state.decoder.RunLengthEncoded()) {
    // Skipped pixels stay zero.
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(Width());
    const std::size_t bytes = rowBytes * static_cast<std::size_t>(Height());
    state.whole = AllocateZeroedBlock(bytes);
    if (!state.whole && bytes != 0) {
      throw CVisError(path, "out of memory allocating " + std::to_string(bytes) + " bytes");
    }
    for (int y = 0; y < Height(); ++y) {
      state.wholeRows.push_back(state.whole.get() + static_cast<std::size_t>(y) * rowBytes);
    }
    state.decoder.DecodeInto({Width(), Height(), 4, state.wholeRows.data()});
  } else {
    // The whole file is checked, whichever rows are decoded later.
    state_->decoder.CheckPaletteIndexes();
    state_->table = state_->decoder.PaletteTable<Rgba>();
  }
}

BmpRows::~BmpRows() = default;

int BmpRows::Width() const {
  return state_->decoder.Width();
}

int BmpRows::Height() const {
  return state_->decoder.Height();
}

void BmpRows::DecodeColourRows(int top, int bottom, CVisRGBA<unsigned char>* out) const {
  if (state_->decoder.RunLengthEncoded()) {
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(Width());
    for (int y = top; y < bottom; ++y) {
      std::memcpy(out + static_cast<std::size_t>(y - top) * Width(),
                  state_->wholeRows[static_cast<std::size_t>(y)], rowBytes);
    }
    return;
  }
  state_->decoder.DecodeColourRows(top, bottom, out, state_->table);
}

const unsigned char* BmpRows::BgrRow(int y) const {
  return state_->decoder.BgrRow(y);
}

namespace {

// An open file, closed with its owner, also when the owner's construction
// fails after it.
struct ClosingFile {
  explicit ClosingFile(const std::string& path) : file(OpenRegularFile(path.c_str())) {
    if (!file.failure.empty()) {
      throw CVisError(path, file.failure);
    }
  }
  ~ClosingFile() { CloseFile(file); }
  ClosingFile(const ClosingFile&) = delete;
  ClosingFile& operator=(const ClosingFile&) = delete;

  OpenedFile file;
};

}  // namespace

struct BmpBandReader::State {
  explicit State(const char* name)
      : path(name),
        opened(path),
        decoder(path.c_str(), opened.file),
        table(decoder.PaletteTable<Rgba>()) {}

  std::string path;
  ClosingFile opened;
  BmpDecoder decoder;
  std::vector<Rgba> table;
};

BmpBandReader::BmpBandReader(const char* path) : state_(std::make_unique<State>(path)) {}

BmpBandReader::~BmpBandReader() = default;

int BmpBandReader::Width() const {
  return state_->decoder.Width();
}

int BmpBandReader::Height() const {
  return state_->decoder.Height();
}

void BmpBandReader::DecodeColourRows(int top, int bottom, CVisRGBA<unsigned char>* out) {
  state_->decoder.LoadPictureRows(top, bottom);
  state_->decoder.DecodeColourRows(top, bottom, out, state_->table);
}
