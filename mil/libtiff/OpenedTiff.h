#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DeclaredLevels.h"
#include "DeclaredPattern.h"
#include "RegularFile.h"

// A gray TIFF file opened for reading with libtiff: what both ways of
// reading it (whole, or band by band) share.

struct Format {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bits = 0;
  bool minIsWhite = false;
  bool colourFilterArray = false;  // PhotometricInterpretation 32803
  // Samples from one pixel's gray sample to the next in a stored row: more
  // than one where extra samples (alpha) are stored beside it.
  std::uint16_t stride = 1;
};

// The strips or tiles as stored: where each starts and how long it claims
// to be.
struct Chunk {
  std::uint64_t offset;
  std::uint64_t count;
};

// The tiles of a tiled picture as libtiff decodes them.
struct Tiles {
  std::uint32_t width;
  std::uint32_t height;
  tmsize_t bytes;     // of a decoded tile
  tmsize_t rowBytes;  // of one of its rows
};

class BufferedFile;
class LibtiffMessages;

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// The file's picture: its first page, or where that is a DNG's thumbnail,
// the raw in its SubIFD. Checked to be a gray picture of 1 to 16 unsigned
// bits that the file's bytes can really hold. libtiff reads it through the
// file without mapping it, so that a file that shrinks while it is read
// fails cleanly instead of faulting. Throws TiffError when it cannot be read
// so, with the reason.
class OpenedTiff {
 public:
  explicit OpenedTiff(const char* path);
  ~OpenedTiff();

  OpenedTiff(const OpenedTiff&) = delete;
  OpenedTiff& operator=(const OpenedTiff&) = delete;

  TIFF* Tiff() const { return tiff_.get(); }
  const OpenedFile& File() const { return file_; }
  const Format& PictureFormat() const { return format_; }
  const std::vector<Chunk>& Chunks() const { return chunks_; }

  // The tiles of a tiled picture; nullopt where their tags are unusable.
  // Throws TiffError for tiles that no picture of this size needs.
  std::optional<Tiles> TileLayout() const;

  // The colour filter pattern the first page declares (TIFF/EP's or
  // EXIF's). May leave the EXIF directory current: the last read of a file.
  DeclaredPattern FirstPagePattern() const;

  // Why the picture data could not be read: the file ends early, or the
  // data is damaged (with libtiff's last word on it).
  std::string WhyIncomplete() const;

  // The levels the picture declares (a DNG's white balance beside its
  // thumbnail). Ask it while the picture's directory is current.
  DeclaredLevels FirstPageLevels() const;

  // The images in the file: its pages, and the images its first page holds
  // in SubIFDs; of a DNG, its raw and other full-resolution images only.
  int ImageCount() const;

 private:
  void FindPicture();

  OpenedFile file_;
  std::unique_ptr<BufferedFile> reader_;
  std::unique_ptr<LibtiffMessages> messages_;
  std::unique_ptr<TIFF, TiffCloser> tiff_;
  Format format_;
  std::vector<Chunk> chunks_;
  int imageCount_ = 1;
  std::vector<double> firstPageNeutral_;  // where the picture is a DNG's raw
};

// The bytes of the picture in its stored depth, rows starting on a byte.
std::uint64_t RawBytes(const Format& format);
