#include "OpenedTiff.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "GrayTiff.h"
#include "GrayTiffRules.h"
#include "StoredDirectory.h"

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
  static constexpr std::size_t kFirstWindowBytes = std::size_t{4} << 10;

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
      // The first window holds the 8-byte header, whose directory mostly
      // lies elsewhere: it is small, so that no picture data is read twice.
      const std::size_t capacity = windowStart_ == 0 && windowBytes_ == 0
                                       ? std::min(windowCapacity_, kFirstWindowBytes)
                                       : windowCapacity_;
      // A window ends where the file did when it was opened, so that no read
      // comes back empty at its end; past that end, one byte shows whether
      // the file has grown.
      const std::uint64_t left = position_ < file_.size ? file_.size - position_ : 1;
      const std::size_t fill = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, left));
      const std::size_t got = direct ? ReadFileAt(file_, position_, out + done, wanted - done)
                                     : ReadFileAt(file_, position_, window_.get(), fill);
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
  if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE &&
      photometric != PHOTOMETRIC_CFA) {
    throw TiffError("unsupported colour model (photometric " + Number(photometric) +
                    "); only gray pictures and colour filter mosaics are converted");
  }
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  if (photometric == PHOTOMETRIC_CFA && compression == COMPRESSION_JPEG) {
    // As many DNGs store their raw: lossless JPEG, which no codec here decodes.
    throw TiffError(
        "a colour filter mosaic in JPEG compression (7), the lossless JPEG of raw "
        "files, which cannot be decoded here");
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
  format.colourFilterArray = photometric == PHOTOMETRIC_CFA;
  CheckPictureSize(format.width, format.height);
  return format;
}

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

// Tells a file that is no TIFF from one whose first directory lies beyond
// its end (cut short) and from one whose directory is damaged.
std::string WhyTiffDoesNotOpen(const OpenedFile& file, const std::string& libtiffSays) {
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
  return "the TIFF header is damaged" + libtiffSays;
}

// Opens the TIFF without mapping it into memory: a file that shrinks while
// it is read then fails cleanly instead of faulting.
std::unique_ptr<TIFF, TiffCloser> OpenTiff(const OpenedFile& file, BufferedFile& reader,
                                           const char* path, LibtiffMessages& messages) {
  const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                             &TIFFOpenOptionsFree);
  if (!options) {
    throw std::bad_alloc();
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &LibtiffMessages::Record, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &IgnoreWarning, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(),
                                      static_cast<tmsize_t>(2 * file.size + kLibtiffSlack));
  std::unique_ptr<TIFF, TiffCloser> tiff(
      TIFFClientOpenExt(path, "rm", &reader, &BufferedFile::ReadProc, &BufferedFile::WriteProc,
                        &BufferedFile::SeekProc, &BufferedFile::CloseProc, &BufferedFile::SizeProc,
                        &BufferedFile::MapProc, &BufferedFile::UnmapProc, options.get()));
  if (!tiff) {
    throw TiffError(WhyTiffDoesNotOpen(file, messages.InParentheses()));
  }
  return tiff;
}

// The values of a tag that libtiff hands over with their count, as a 16-bit
// or a 32-bit count by the tag's kind; none where it does not.
std::pair<const void*, std::uint32_t> CountedValues(TIFF* tiff, ttag_t tag,
                                                    const TIFFField* field) {
  const void* data = nullptr;
  if (!TIFFFieldPassCount(field)) {
    return {nullptr, 0};
  }
  if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
    std::uint32_t count = 0;
    return TIFFGetField(tiff, tag, &count, &data) ? std::pair{data, count}
                                                  : std::pair<const void*, std::uint32_t>{};
  }
  std::uint16_t count = 0;
  return TIFFGetField(tiff, tag, &count, &data) ? std::pair<const void*, std::uint32_t>{data, count}
                                                : std::pair<const void*, std::uint32_t>{};
}

std::vector<std::uint8_t> ByteValues(TIFF* tiff, ttag_t tag) {
  const TIFFField* field = TIFFFindField(tiff, tag, TIFF_ANY);
  if (field == nullptr) {
    return {};
  }
  // As a number: a tag libtiff does not know takes its type from the file,
  // which may be a value that is no TIFFDataType.
  const int type = TIFFFieldDataType(field);
  if (type != TIFF_BYTE && type != TIFF_UNDEFINED) {
    return {};
  }
  const auto [data, count] = CountedValues(tiff, tag, field);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return bytes == nullptr ? std::vector<std::uint8_t>()
                          : std::vector<std::uint8_t>(bytes, bytes + count);
}

// Whether the directory at offset lists tag with bytes for its value (of
// type BYTE or UNDEFINED), as the file itself says: libtiff leaves out such
// a tag whose value lies outside the file.
bool DirectoryLists(const OpenedFile& file, std::uint64_t offset, std::uint16_t tag) {
  const std::optional<StoredHeader> header = ReadStoredHeader(file);
  if (!header) {
    return false;
  }
  const std::vector<StoredEntry> entries = ReadStoredDirectory(file, *header, offset);
  const StoredEntry* entry = FindEntry(entries, tag);
  return entry != nullptr && (entry->type == TIFF_BYTE || entry->type == TIFF_UNDEFINED);
}

// The numbers of a tag of the current directory, whatever their stored type;
// empty when the tag is absent.
std::vector<double> NumberValues(TIFF* tiff, ttag_t tag) {
  const TIFFField* field = TIFFFindField(tiff, tag, TIFF_ANY);
  if (field == nullptr) {
    return {};
  }
  const auto [data, count] = CountedValues(tiff, tag, field);
  std::vector<double> values;
  const int size = TIFFFieldSetGetSize(field);
  const int type = TIFFFieldDataType(field);
  const bool fraction =
      type == TIFF_RATIONAL || type == TIFF_SRATIONAL || type == TIFF_FLOAT || type == TIFF_DOUBLE;
  for (std::uint32_t i = 0; data != nullptr && i < count; ++i) {
    if (fraction && size == 4) {
      values.push_back(static_cast<const float*>(data)[i]);
    } else if (fraction && size == 8) {
      values.push_back(static_cast<const double*>(data)[i]);
    } else if (size == 2) {
      values.push_back(static_cast<const std::uint16_t*>(data)[i]);
    } else if (size == 4) {
      values.push_back(static_cast<const std::uint32_t*>(data)[i]);
    } else {
      return {};
    }
  }
  return values;
}

// TIFF/EP's pattern, in the first directory.
DeclaredPattern TiffEpPattern(TIFF* tiff, const OpenedFile& file) {
  const std::vector<std::uint8_t> colours = ByteValues(tiff, TIFFTAG_CFAPATTERN);
  std::uint16_t* dimensions = nullptr;
  const bool sized = TIFFGetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, &dimensions) && dimensions;
  if (!sized && colours.empty()) {
    return DirectoryLists(file, TIFFCurrentDirOffset(tiff), TIFFTAG_CFAPATTERN)
               ? UnreadablePattern("TIFF/EP's CFAPattern")
               : DeclaredPattern();
  }
  if (!sized) {
    return PatternFromCells(0, 0, colours);
  }
  return PatternFromCells(dimensions[0], dimensions[1], colours);
}

// EXIF's pattern: in the first directory where some writers put it, or in
// its EXIF directory; refused where the tag is there and its value cannot be
// read. Leaves the EXIF directory current.
DeclaredPattern ExifPattern(TIFF* tiff, const OpenedFile& file) {
  const bool bigEndian = TIFFIsBigEndian(tiff) != 0;
  std::vector<std::uint8_t> value = ByteValues(tiff, EXIFTAG_CFAPATTERN);
  if (value.empty() && DirectoryLists(file, TIFFCurrentDirOffset(tiff), EXIFTAG_CFAPATTERN)) {
    return UnreadablePattern("EXIF's CFAPattern");
  }
  std::uint64_t exifDirectory = 0;
  if (value.empty() && TIFFGetField(tiff, TIFFTAG_EXIFIFD, &exifDirectory) &&
      TIFFReadEXIFDirectory(tiff, exifDirectory)) {
    value = ByteValues(tiff, EXIFTAG_CFAPATTERN);
    if (value.empty() && DirectoryLists(file, exifDirectory, EXIFTAG_CFAPATTERN)) {
      return UnreadablePattern("EXIF's CFAPattern");
    }
  }
  return value.empty() ? DeclaredPattern() : PatternFromExif(value, bigEndian);
}

// The SubIFDs the current directory lists.
std::vector<std::uint64_t> SubImageOffsets(TIFF* tiff) {
  std::uint16_t count = 0;
  std::uint64_t* offsets = nullptr;
  if (!TIFFGetField(tiff, TIFFTAG_SUBIFD, &count, &offsets) || offsets == nullptr) {
    return {};
  }
  return std::vector<std::uint64_t>(offsets, offsets + count);
}

// Whether the current directory is a reduced-resolution copy of another
// image (a thumbnail or preview).
bool IsReducedImage(TIFF* tiff) {
  std::uint32_t kind = 0;
  return TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &kind) && (kind & FILETYPE_REDUCEDIMAGE) != 0;
}

}  // namespace

std::uint64_t RawBytes(const Format& format) {
  return (std::uint64_t{format.width} * format.bits + 7) / 8 * format.height;
}

OpenedTiff::OpenedTiff(const char* path)
    : file_(OpenRegularFile(path)), messages_(std::make_unique<LibtiffMessages>()) {
  if (!file_.failure.empty()) {
    throw TiffError(file_.failure);
  }
  try {
    reader_ = std::make_unique<BufferedFile>(file_);
    tiff_ = OpenTiff(file_, *reader_, path, *messages_);
    FindPicture();
    format_ = ReadFormat(tiff_.get());
    chunks_ = StoredChunks(tiff_.get());
    CheckPlausibleSize(format_, chunks_, file_.size);
  } catch (...) {
    tiff_.reset();
    CloseFile(file_);
    throw;
  }
}

OpenedTiff::~OpenedTiff() {
  tiff_.reset();
  CloseFile(file_);
}

std::optional<Tiles> OpenedTiff::TileLayout() const {
  Tiles tiles{0, 0, TIFFTileSize(tiff_.get()), TIFFTileRowSize(tiff_.get())};
  TIFFGetField(tiff_.get(), TIFFTAG_TILEWIDTH, &tiles.width);
  TIFFGetField(tiff_.get(), TIFFTAG_TILELENGTH, &tiles.height);
  if (tiles.width == 0 || tiles.height == 0 || tiles.bytes <= 0 || tiles.rowBytes <= 0) {
    return std::nullopt;
  }
  if (static_cast<std::uint64_t>(tiles.bytes) > kTileAllowance * RawBytes(format_) + kSmallTile) {
    throw TiffError("tiles of " + Number(tiles.width) + " x " + Number(tiles.height) +
                    " pixels are implausible for a picture of " + Number(format_.width) + " x " +
                    Number(format_.height));
  }
  return tiles;
}

std::string OpenedTiff::WhyIncomplete() const {
  if (EndsEarly(chunks_, file_.size)) {
    return "the file ends early";
  }
  return "the picture data is damaged" + messages_->InParentheses();
}

DeclaredPattern OpenedTiff::FirstPagePattern() const {
  const DeclaredPattern tiffEp = TiffEpPattern(tiff_.get(), file_);
  return CombinedPattern(tiffEp, ExifPattern(tiff_.get(), file_));
}

// A DNG's first page is a thumbnail and its raw a full-resolution SubIFD:
// then the raw is the picture. The images counted are the pages and the
// first page's SubIFDs, less the thumbnail and the reduced previews beside
// the raw, which are copies of it.
void OpenedTiff::FindPicture() {
  TIFF* tiff = tiff_.get();
  const int pages = std::max(1, static_cast<int>(TIFFNumberOfDirectories(tiff)));
  const std::vector<std::uint64_t> subImages = SubImageOffsets(tiff);
  imageCount_ = pages + static_cast<int>(subImages.size());
  if (subImages.empty() || !IsReducedImage(tiff)) {
    return;
  }
  firstPageNeutral_ = NumberValues(tiff, TIFFTAG_ASSHOTNEUTRAL);
  std::optional<std::uint64_t> raw;
  int fullImages = 0;
  for (const std::uint64_t offset : subImages) {
    if (TIFFSetSubDirectory(tiff, offset) && !IsReducedImage(tiff)) {
      ++fullImages;
      if (!raw) {
        raw = offset;
      }
    }
  }
  if (!raw || !TIFFSetSubDirectory(tiff, *raw)) {
    // No raw that can be read: the first page stays the picture.
    firstPageNeutral_.clear();
    if (!TIFFSetDirectory(tiff, 0)) {
      throw TiffError(WhyIncomplete());
    }
    return;
  }
  imageCount_ = pages - 1 + fullImages;
}

int OpenedTiff::ImageCount() const {
  return imageCount_;
}

DeclaredLevels OpenedTiff::FirstPageLevels() const {
  TIFF* tiff = tiff_.get();
  DeclaredLevels levels;
  levels.colourFilterArray = format_.colourFilterArray;
  if (const std::vector<double> black = NumberValues(tiff, TIFFTAG_BLACKLEVEL); !black.empty()) {
    double sum = 0;
    for (const double value : black) {
      sum += value;
    }
    levels.black = sum / static_cast<double>(black.size());
  }
  std::uint16_t maxSample = 0;
  if (const std::vector<double> white = NumberValues(tiff, TIFFTAG_WHITELEVEL); !white.empty()) {
    levels.white = white.front();
  } else if (TIFFGetField(tiff, TIFFTAG_MAXSAMPLEVALUE, &maxSample) && maxSample > 0) {
    levels.white = maxSample;
  }
  std::vector<double> neutral = NumberValues(tiff, TIFFTAG_ASSHOTNEUTRAL);
  if (neutral.empty()) {
    neutral = firstPageNeutral_;  // a DNG's, beside its thumbnail
  }
  if (neutral.size() == 3 && neutral[0] > 0 && neutral[1] > 0 && neutral[2] > 0) {
    levels.neutral = std::array<double, 3>{neutral[0], neutral[1], neutral[2]};
  }
  return levels;
}
