#include "GrayTiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "GrayTiffRules.h"
#include "RegularFile.h"

namespace {

// libtiff reports through process-wide handlers that print to stderr by
// default; the back end reports only through its results.
struct QuietTiff {
  QuietTiff() {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  }
} const quietTiff;

// Compressed data expands by at most this factor (LZW's longest code stands
// for 4096 bytes); a header claiming more pixels than that is refused before
// any memory is taken for them.
constexpr std::uint64_t kMaxExpansion = 4096;
constexpr std::uint64_t kSmallPicture = std::uint64_t{1} << 20;
// A tile may reach past the picture's edges, but not by more than this.
constexpr std::uint64_t kTileAllowance = 4;
constexpr std::uint64_t kSmallTile = std::uint64_t{1} << 24;
// libtiff's own buffers (raw strips, tag arrays) hold file bytes; no single
// one needs more than twice the file, plus room for small files.
constexpr std::uint64_t kLibtiffSlack = std::uint64_t{1} << 26;

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct Format {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bits = 0;
  bool minIsWhite = false;
  // Samples from one pixel's gray sample to the next in a stored row: more
  // than one where extra samples (alpha) are stored beside it.
  std::uint16_t stride = 1;
};

// Turns one stored row of samples into 8-bit gray. Samples of more than 8
// bits are scaled from the range of the significant bits (all of them unless
// fewer are asked for); larger ones become the largest and are counted.
class RowConverter {
 public:
  RowConverter(const Format& format, int significantBits)
      : format_(format),
        wideMax_(significantBits > 8 && significantBits < format.bits ? (1u << significantBits) - 1
                                                                      : (1u << format.bits) - 1) {
    const std::uint32_t max = (1u << format.bits) - 1;
    if (format.bits <= 8) {
      // Small depths go through a table: scaled, rounded, inverted if needed.
      table_.resize(max + 1);
      for (std::uint32_t v = 0; v <= max; ++v) {
        table_[v] = Scale(v, max);
      }
    }
  }

  void Convert(const unsigned char* src, unsigned char* dst, std::uint32_t count) {
    const unsigned bits = format_.bits;
    const std::size_t stride = format_.stride;
    if (bits == 8 && stride == 1 && !format_.minIsWhite) {
      std::memcpy(dst, src, count);
    } else if (bits == 8) {
      for (std::uint32_t x = 0; x < count; ++x) {
        dst[x] = table_[src[x * stride]];
      }
    } else if (bits == 16) {
      for (std::uint32_t x = 0; x < count; ++x) {
        std::uint16_t v;
        std::memcpy(&v, src + 2 * x * stride, 2);  // libtiff has put it in native order
        dst[x] = ScaleWide(v);
      }
    } else {
      // Samples packed most significant bit first; each row starts on a byte.
      std::uint64_t bit = 0;
      for (std::uint32_t x = 0; x < count; ++x, bit += std::uint64_t{bits} * stride) {
        std::uint32_t v = 0;
        for (unsigned k = 0; k < bits; ++k) {
          const std::uint64_t at = bit + k;
          v = v << 1 | ((src[at / 8] >> (7 - at % 8)) & 1);
        }
        dst[x] = bits < 8 ? table_[v] : ScaleWide(v);
      }
    }
  }

  std::uint32_t Brightest() const { return brightest_; }
  std::uint64_t AboveRange() const { return aboveRange_; }

 private:
  unsigned char Scale(std::uint32_t v, std::uint32_t max) const {
    const unsigned char gray = ScaledSample(v, max);
    return format_.minIsWhite ? static_cast<unsigned char>(255 - gray) : gray;
  }

  unsigned char ScaleWide(std::uint32_t v) {
    brightest_ = std::max(brightest_, v);
    if (v > wideMax_) {
      ++aboveRange_;
      v = wideMax_;
    }
    return Scale(v, wideMax_);
  }

  Format format_;
  std::uint32_t wideMax_;
  std::vector<unsigned char> table_;
  std::uint32_t brightest_ = 0;
  std::uint64_t aboveRange_ = 0;
};

std::string Number(std::uint64_t value) {
  return std::to_string(value);
}

Format ReadFormat(TIFF* tiff) {
  Format format;
  std::uint16_t samplesPerPixel = 1;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  std::uint16_t photometric = 0;
  if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &format.width) ||
      !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &format.height)) {
    throw TiffError("the TIFF does not say the picture's size");
  }
  if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) {
    throw TiffError("the TIFF does not say how its samples are to be read (no photometric tag)");
  }
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &format.bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  // A gray sample with extra ones (alpha) beside it is a gray picture; the
  // extra samples are passed over.
  std::uint16_t extraSamples = 0;
  std::uint16_t* extraKinds = nullptr;
  TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraSamples, &extraKinds);
  if (samplesPerPixel != 1 && samplesPerPixel != 1 + extraSamples) {
    throw TiffError(ColourTiffRefusal(samplesPerPixel));
  }
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  // Stored in planes, the gray samples come first, on their own.
  format.stride = planar == PLANARCONFIG_CONTIG ? samplesPerPixel : 1;
  if (photometric == PHOTOMETRIC_PALETTE) {
    throw TiffError(PaletteTiffRefusal());
  }
  if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE) {
    throw TiffError("unsupported colour model (photometric " + Number(photometric) +
                    "); only gray pictures are converted");
  }
  if (sampleFormat != SAMPLEFORMAT_UINT) {
    throw TiffError(sampleFormat == SAMPLEFORMAT_IEEEFP
                        ? "floating-point samples; only whole-number samples are read"
                        : "signed or complex samples; only unsigned samples are read");
  }
  if (format.bits < 1 || format.bits > 16) {
    throw TiffError(Number(format.bits) + "-bit samples; 1 to 16 bits per sample are read");
  }
  format.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
  CheckPictureSize(format.width, format.height);
  return format;
}

// The bytes of the picture in its stored depth, rows starting on a byte.
std::uint64_t RawBytes(const Format& format) {
  return (std::uint64_t{format.width} * format.bits + 7) / 8 * format.height;
}

// The strips or tiles as stored: where each starts and how long it claims
// to be.
struct Chunk {
  std::uint64_t offset;
  std::uint64_t count;
};

std::vector<Chunk> StoredChunks(TIFF* tiff) {
  const std::uint32_t chunks =
      TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  std::vector<Chunk> stored(chunks);
  for (std::uint32_t i = 0; i < chunks; ++i) {
    stored[i] = {TIFFGetStrileOffset(tiff, i), TIFFGetStrileByteCount(tiff, i)};
  }
  return stored;
}

// The number of distinct file bytes the chunks really cover: claims past the
// end of the file count only up to it, and chunks that share bytes count
// them once, so that no claim can be inflated.
std::uint64_t DistinctBytes(std::vector<Chunk> chunks, std::uint64_t fileSize) {
  std::sort(chunks.begin(), chunks.end(),
            [](const Chunk& a, const Chunk& b) { return a.offset < b.offset; });
  std::uint64_t covered = 0;
  std::uint64_t reached = 0;
  for (const Chunk& chunk : chunks) {
    const std::uint64_t start = std::min(chunk.offset, fileSize);
    const std::uint64_t end = start + std::min(chunk.count, fileSize - start);
    const std::uint64_t begin = std::max(start, reached);
    if (end > begin) {
      covered += end - begin;
      reached = end;
    }
  }
  return covered;
}

bool EndsEarly(const std::vector<Chunk>& chunks, std::uint64_t fileSize) {
  return std::any_of(chunks.begin(), chunks.end(), [&](const Chunk& chunk) {
    return chunk.offset > fileSize || chunk.count > fileSize - chunk.offset;
  });
}

void CheckPlausibleSize(const Format& format, const std::vector<Chunk>& chunks,
                        std::uint64_t fileSize) {
  const std::uint64_t raw = RawBytes(format);
  const std::uint64_t stored = DistinctBytes(chunks, fileSize);
  if (raw > kSmallPicture && raw / kMaxExpansion > stored) {
    throw TiffError("the file is far too small for a picture of " + Number(format.width) + " x " +
                    Number(format.height) + " pixels (" + Number(stored) +
                    " bytes of picture data)");
  }
}

// Whether the picture lies in the file as plain 8-bit rows, each strip
// exactly the bytes of its rows and right after the one before: then it is
// read with one call, straight into out. Anything else, a strip shorter or
// longer than its rows among them, goes the general way.
bool StoredAsPlainRows(TIFF* tiff, const Format& format, const std::vector<Chunk>& chunks) {
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t fillOrder = FILLORDER_MSB2LSB;
  std::uint32_t rowsPerStrip = format.height;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_FILLORDER, &fillOrder);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  // (libtiff reverses the bits of bytes stored least significant bit first.)
  if (TIFFIsTiled(tiff) || compression != COMPRESSION_NONE || fillOrder != FILLORDER_MSB2LSB ||
      format.bits != 8 || format.minIsWhite || format.stride != 1 || rowsPerStrip == 0) {
    return false;
  }
  rowsPerStrip = std::min(rowsPerStrip, format.height);
  if (chunks.size() != (std::uint64_t{format.height} + rowsPerStrip - 1) / rowsPerStrip) {
    return false;
  }
  std::uint64_t next = chunks.front().offset;
  std::uint32_t top = 0;
  for (const Chunk& chunk : chunks) {
    const std::uint32_t rows = std::min(rowsPerStrip, format.height - top);
    if (chunk.offset != next || chunk.count != std::uint64_t{rows} * format.width) {
      return false;
    }
    next += chunk.count;
    top += rows;
  }
  return true;
}

bool ReadPlainRows(const OpenedFile& file, const std::vector<Chunk>& chunks, const Format& format,
                   unsigned char* out) {
  const std::uint64_t bytes = RawBytes(format);
  std::uint64_t done = 0;
  while (done < bytes) {
    const std::size_t got = ReadFileAt(file, chunks.front().offset + done, out + done,
                                       static_cast<std::size_t>(bytes - done));
    if (got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

bool ReadStrips(TIFF* tiff, const Format& format, RowConverter& converter, unsigned char* out) {
  std::uint32_t rowsPerStrip = format.height;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, format.height);
  const tmsize_t rowBytes = TIFFScanlineSize(tiff);
  if (rowBytes <= 0) {
    return false;
  }
  const bool direct = format.bits == 8 && !format.minIsWhite && format.stride == 1;
  // Every byte of a strip buffer is decoded into before it is read.
  const std::size_t stripBytes = direct ? 0 : static_cast<std::size_t>(rowBytes) * rowsPerStrip;
  const auto strip = std::make_unique_for_overwrite<unsigned char[]>(stripBytes);
  for (std::uint32_t top = 0; top < format.height; top += rowsPerStrip) {
    const std::uint32_t rows = std::min(rowsPerStrip, format.height - top);
    const tmsize_t wanted = rowBytes * rows;
    unsigned char* target = direct ? out + std::size_t{top} * format.width : strip.get();
    const tstrip_t index = TIFFComputeStrip(tiff, top, 0);
    if (TIFFReadEncodedStrip(tiff, index, target, wanted) != wanted) {
      return false;
    }
    if (!direct) {
      for (std::uint32_t r = 0; r < rows; ++r) {
        converter.Convert(strip.get() + r * rowBytes, out + std::size_t{top + r} * format.width,
                          format.width);
      }
    }
  }
  return true;
}

bool ReadTiles(TIFF* tiff, const Format& format, RowConverter& converter, unsigned char* out) {
  std::uint32_t tileWidth = 0;
  std::uint32_t tileHeight = 0;
  TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
  const tmsize_t tileBytes = TIFFTileSize(tiff);
  const tmsize_t rowBytes = TIFFTileRowSize(tiff);
  if (tileWidth == 0 || tileHeight == 0 || tileBytes <= 0 || rowBytes <= 0) {
    return false;
  }
  if (static_cast<std::uint64_t>(tileBytes) > kTileAllowance * RawBytes(format) + kSmallTile) {
    throw TiffError("tiles of " + Number(tileWidth) + " x " + Number(tileHeight) +
                    " pixels are implausible for a picture of " + Number(format.width) + " x " +
                    Number(format.height));
  }
  const auto tile = std::make_unique_for_overwrite<unsigned char[]>(tileBytes);
  for (std::uint32_t top = 0; top < format.height; top += tileHeight) {
    for (std::uint32_t left = 0; left < format.width; left += tileWidth) {
      const ttile_t index = TIFFComputeTile(tiff, left, top, 0, 0);
      if (TIFFReadEncodedTile(tiff, index, tile.get(), tileBytes) != tileBytes) {
        return false;
      }
      const std::uint32_t rows = std::min(tileHeight, format.height - top);
      const std::uint32_t columns = std::min(tileWidth, format.width - left);
      for (std::uint32_t r = 0; r < rows; ++r) {
        converter.Convert(tile.get() + r * rowBytes,
                          out + std::size_t{top + r} * format.width + left, columns);
      }
    }
  }
  return true;
}

// The file as libtiff reads it, through a window of kWindowBytes (or the
// file's size, when smaller): the strips of a picture lie one after another,
// often a few rows each, and then take one system call per window instead of
// a seek and a read each. A window is small: the header and the strip
// table are read through it, while pictures stored as one run of strips go
// straight into their memory; and a small buffer comes from the heap again
// for every file, where a large one would be fresh pages each time.
class BufferedFile {
 public:
  static constexpr std::size_t kWindowBytes = std::size_t{64} << 10;

  explicit BufferedFile(const OpenedFile& file)
      : file_(file),
        windowCapacity_(
            static_cast<std::size_t>(std::clamp<std::uint64_t>(file.size, 1, kWindowBytes))),
        window_(std::make_unique_for_overwrite<unsigned char[]>(windowCapacity_)) {}

  tmsize_t Read(void* buffer, tmsize_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    const auto wanted = static_cast<std::size_t>(std::max<tmsize_t>(size, 0));
    while (done < wanted) {
      if (position_ >= windowStart_ && position_ < windowStart_ + windowBytes_) {
        const std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>(wanted - done, windowStart_ + windowBytes_ - position_));
        std::memcpy(out + done, window_.get() + (position_ - windowStart_), count);
        done += count;
        position_ += count;
        continue;
      }
      // A long read goes straight into the caller's buffer.
      const bool direct = wanted - done >= windowCapacity_;
      const std::size_t got = direct ? ReadFileAt(file_, position_, out + done, wanted - done)
                                     : ReadFileAt(file_, position_, window_.get(), windowCapacity_);
      if (got == 0) {
        break;  // the end of the file, or a read error: libtiff sees a short read
      }
      if (direct) {
        done += got;
        position_ += got;
      } else {
        windowStart_ = position_;
        windowBytes_ = got;
      }
    }
    return static_cast<tmsize_t>(done);
  }

  toff_t Seek(toff_t offset, int whence) {
    const std::uint64_t base =
        whence == SEEK_CUR ? position_ : (whence == SEEK_END ? file_.size : 0);
    position_ = base + offset;
    return position_;
  }

  toff_t Size() const { return file_.size; }

  static tmsize_t ReadProc(thandle_t self, void* buffer, tmsize_t size) {
    return static_cast<BufferedFile*>(self)->Read(buffer, size);
  }
  static tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }
  static toff_t SeekProc(thandle_t self, toff_t offset, int whence) {
    return static_cast<BufferedFile*>(self)->Seek(offset, whence);
  }
  static int CloseProc(thandle_t) { return 0; }
  static toff_t SizeProc(thandle_t self) { return static_cast<BufferedFile*>(self)->Size(); }
  static int MapProc(thandle_t, void**, toff_t*) { return 0; }
  static void UnmapProc(thandle_t, void*, toff_t) {}

 private:
  const OpenedFile& file_;
  std::size_t windowCapacity_;
  std::unique_ptr<unsigned char[]> window_;
  std::uint64_t windowStart_ = 0;
  std::uint64_t windowBytes_ = 0;
  std::uint64_t position_ = 0;
};

// The last error libtiff reported about one file.
class LibtiffMessages {
 public:
  static int Record(TIFF*, void* self, const char* module, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    static_cast<LibtiffMessages*>(self)->last_ =
        std::string(module != nullptr ? module : "") + (module != nullptr ? ": " : "") + text;
    return 1;  // handled: nothing reaches libtiff's process-wide handler
  }

  std::string InParentheses() const { return last_.empty() ? "" : " (" + last_ + ")"; }
  const std::string& Last() const { return last_; }

 private:
  std::string last_;
};

// Tells a file that is no TIFF from one whose first directory lies beyond
// its end (cut short) and from one whose directory is damaged.
std::string WhyTiffDoesNotOpen(const OpenedFile& file, const LibtiffMessages& messages) {
  unsigned char header[8] = {};
  if (ReadFileAt(file, 0, header, sizeof header) != sizeof header) {
    return "not a TIFF file";
  }
  const bool little = header[0] == 'I' && header[1] == 'I';
  const bool big = header[0] == 'M' && header[1] == 'M';
  const unsigned version = little ? header[2] | header[3] << 8 : header[2] << 8 | header[3];
  if ((!little && !big) || (version != 42 && version != 43)) {
    return "not a TIFF file";
  }
  if (version == 42) {
    std::uint32_t directory = 0;
    for (int i = 0; i < 4; ++i) {
      directory |= std::uint32_t{header[little ? 4 + i : 7 - i]} << (8 * i);
    }
    if (directory >= file.size) {
      return "the file ends early";
    }
  }
  return "the TIFF header is damaged" + messages.InParentheses();
}

// Opens the TIFF without mapping it into memory: a file that shrinks while
// it is read then fails cleanly instead of faulting.
TiffHandle OpenTiff(const OpenedFile& file, BufferedFile& reader, const char* path,
                    LibtiffMessages& messages) {
  const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                             &TIFFOpenOptionsFree);
  if (!options) {
    throw std::bad_alloc();
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &LibtiffMessages::Record, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &IgnoreWarning, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(),
                                      static_cast<tmsize_t>(2 * file.size + kLibtiffSlack));
  TiffHandle tiff(
      TIFFClientOpenExt(path, "rm", &reader, &BufferedFile::ReadProc, &BufferedFile::WriteProc,
                        &BufferedFile::SeekProc, &BufferedFile::CloseProc, &BufferedFile::SizeProc,
                        &BufferedFile::MapProc, &BufferedFile::UnmapProc, options.get()));
  if (!tiff) {
    throw TiffError(WhyTiffDoesNotOpen(file, messages));
  }
  return tiff;
}

// The values of a tag of the current directory, whichever way libtiff hands
// them over (with a count or without, of bytes or 16-bit numbers); empty when
// the tag is absent or of another kind.
std::vector<std::uint8_t> ByteValues(TIFF* tiff, ttag_t tag) {
  const TIFFField* field = TIFFFindField(tiff, tag, TIFF_ANY);
  if (field == nullptr) {
    return {};
  }
  const TIFFDataType type = TIFFFieldDataType(field);
  if (type != TIFF_BYTE && type != TIFF_UNDEFINED) {
    return {};
  }
  const std::uint8_t* data = nullptr;
  std::uint32_t count = 0;
  if (!TIFFFieldPassCount(field)) {
    return {};
  }
  if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
    if (!TIFFGetField(tiff, tag, &count, &data)) {
      return {};
    }
  } else {
    std::uint16_t shortCount = 0;
    if (!TIFFGetField(tiff, tag, &shortCount, &data)) {
      return {};
    }
    count = shortCount;
  }
  return data == nullptr ? std::vector<std::uint8_t>()
                         : std::vector<std::uint8_t>(data, data + count);
}

// TIFF/EP's pattern, in the first directory.
DeclaredPattern TiffEpPattern(TIFF* tiff) {
  const std::vector<std::uint8_t> colours = ByteValues(tiff, TIFFTAG_CFAPATTERN);
  std::uint16_t* dimensions = nullptr;
  const bool sized = TIFFGetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, &dimensions) && dimensions;
  if (!sized && colours.empty()) {
    return {};
  }
  if (!sized) {
    return PatternFromCells(0, 0, colours);
  }
  return PatternFromCells(dimensions[0], dimensions[1], colours);
}

// EXIF's pattern: in the first directory where some writers put it, or in
// its EXIF directory. Leaves the EXIF directory current.
DeclaredPattern ExifPattern(TIFF* tiff) {
  const bool bigEndian = TIFFIsBigEndian(tiff) != 0;
  std::vector<std::uint8_t> value = ByteValues(tiff, EXIFTAG_CFAPATTERN);
  std::uint64_t exifDirectory = 0;
  if (value.empty() && TIFFGetField(tiff, TIFFTAG_EXIFIFD, &exifDirectory) &&
      TIFFReadEXIFDirectory(tiff, exifDirectory)) {
    value = ByteValues(tiff, EXIFTAG_CFAPATTERN);
  }
  return value.empty() ? DeclaredPattern() : PatternFromExif(value, bigEndian);
}

}  // namespace

GrayPicture ReadGrayTiff(const char* path, int significantBits) {
  const OpenedFile file = OpenRegularFile(path);
  if (!file.failure.empty()) {
    throw TiffError(file.failure);
  }
  const std::unique_ptr<const OpenedFile, void (*)(const OpenedFile*)> closer(
      &file, [](const OpenedFile* opened) { CloseFile(*opened); });
  BufferedFile reader(file);
  LibtiffMessages messages;
  TiffHandle tiff = OpenTiff(file, reader, path, messages);
  const Format format = ReadFormat(tiff.get());
  const std::vector<Chunk> chunks = StoredChunks(tiff.get());
  CheckPlausibleSize(format, chunks, file.size);

  GrayPicture picture;
  picture.width = static_cast<int>(format.width);
  picture.height = static_cast<int>(format.height);
  picture.samples = AllocateBlockForOverwrite(picture.ByteCount());
  if (!picture.samples) {
    throw std::bad_alloc();
  }
  RowConverter converter(format, significantBits);
  bool complete;
  if (StoredAsPlainRows(tiff.get(), format, chunks)) {
    complete = ReadPlainRows(file, chunks, format, picture.samples.get());
  } else if (TIFFIsTiled(tiff.get())) {
    complete = ReadTiles(tiff.get(), format, converter, picture.samples.get());
  } else {
    complete = ReadStrips(tiff.get(), format, converter, picture.samples.get());
  }
  if (!complete) {
    if (EndsEarly(chunks, file.size)) {
      throw TiffError("the file ends early");
    }
    throw TiffError("the picture data is damaged" + messages.InParentheses());
  }
  picture.storedBits = format.bits;
  picture.brightestSample = converter.Brightest();
  picture.samplesAboveRange = converter.AboveRange();
  picture.pages = std::max(1, static_cast<int>(TIFFNumberOfDirectories(tiff.get())));
  const DeclaredPattern tiffEp = TiffEpPattern(tiff.get());
  picture.pattern = CombinedPattern(tiffEp, ExifPattern(tiff.get()));
  return picture;
}
