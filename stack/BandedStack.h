#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CombineRules.h"
#include "FrameRegistration.h"

class FrameReader;
class StackResult;

// A stack of frames combined channel by channel into one picture: by their
// mean, their median or their sigma-clipped mean (see CombineRules.h), of the
// frames calibrated by the master frames given, per pixel in floating point:
//  - less the dark frame (which holds the bias, as a master dark of the
//    frames' exposure does), or, without one, less the bias frame;
//  - divided by the flat frame less the bias frame, normalised by its mean
//    in each colour (each channel of colour pictures, each site of the 2 x 2
//    cell of raw frames), so that it does not tint; a pixel where the flat
//    is at or below the bias is left undivided.
// The calibration moves each pixel of every frame by the same amount and
// scale, so the frames are combined first and the result calibrated: they
// are not floored at 0 each (a faint sky below the dark's level would come
// out too bright), only the result is, and truncated to a whole value as the
// mean is. A constant flat changes nothing.
//
// The frames are all BMP pictures (colour) or all raw frames: gray TIFF files
// (as ReadGrayTiff reads them, of one page) and FITS images (as FitsRows
// reads them), told apart by their names (NamesARawFrame); the master
// frames are of the same kind. Raw frames must
// declare one colour filter pattern, or none, which a TIFF result declares
// in turn. The first frame fixes the size; each later one gives its top-left part of that size and
// must be at least as large; the master frames must be of that size. The
// frames are read band by band, all of them open at once: memory holds a
// band of rows of every frame and the result, never the frames whole. Only
// uncompressed BMPs can be read so.
//
// An output named as a TIFF gets a 16-bit TIFF, and one named ".png" of raw
// frames a 16-bit PNG, on the scale 0 .. 65535: a frame's value v whose
// largest value is m counts as (v * 65535 + m / 2) / m (an 8-bit one as
// v * 257). Any other output gets an 8-bit BMP (or PNG, by its name): a
// deeper sample counts as (v * 255 + m / 2) / m, as the conversion of the
// TIFF would make it. An output named as a FITS file (NamesAFits) gets
// 32-bit floating-point values on the first frame's own scale (0 .. its
// largest value), neither floored nor truncated. Each is written in colour
// when any pixel's channels differ, otherwise as a gray picture.
//
// Faults in a frame throw the framework's file exception naming it (when it
// is added) or a CVisError naming it (when it is read).
class BandedStack {
 public:
  // About the most memory a band of every frame takes.
  static constexpr std::size_t kBandBudget = std::size_t{16} << 20;

  // significantBits: as for ReadGrayTiff, for TIFF frames of more than 8
  // bits (0: all of the stored bits).
  BandedStack(StackMethod method, double kappa, int significantBits = 0,
              std::size_t bandBudget = kBandBudget);
  ~BandedStack();

  BandedStack(const BandedStack&) = delete;
  BandedStack& operator=(const BandedStack&) = delete;

  void SetDark(const char* path);
  void SetBias(const char* path);
  void SetFlat(const char* path);
  void Add(const char* path);

  // Told of a frame left out of an aligned stack, and why.
  using LeftOut = std::function<void(const std::string& path, const std::string& reason)>;

  // Registers the frames to the first before they are combined, by
  // translation in whole pixels (FrameRegistration.h), from their brightness
  // less the dark (or bias) frame's and divided by the flat's; a raw frame's
  // 2 x 2 cells are summed into one value, so that it moves by even steps
  // and no colour lands on another's site. Each frame is moved by its
  // offset and calibrated on its own (the masters stay where they are on
  // the sensor), and each pixel of the result combines the frames that
  // cover it. A frame that matches the first nowhere is left out, leftOut
  // told; the write fails naming the first frame when it is of one
  // brightness or no other frame matches it.
  void Align(LeftOut leftOut);

  // Combines the frames into the picture at outputPath, replacing a file
  // there, or with replaceExisting false only where no file is (one that
  // appears meanwhile is kept, and the write fails naming the output).
  // stopRequested is asked before each band, and before each frame is
  // registered (from any thread): true stops, nothing written, and Write
  // returns false.
  bool Write(const char* outputPath, bool replaceExisting,
             const std::function<bool()>& stopRequested = {}) const;

 private:
  // Opens a frame or a master frame, of the stack's kind.
  std::unique_ptr<FrameReader> Open(const char* path);
  // Opens a frame by its name's kind: FITS, TIFF or BMP.
  std::unique_ptr<FrameReader> OpenFrame(const char* path) const;

  // A master frame: a reader and its file.
  struct Master {
    std::unique_ptr<FrameReader> reader;
    std::string path;
  };

  // Rows top .. bottom - 1 of every frame on the scale 0 .. scaleMax, each
  // frame's channels (blue, green, red, or gray) in values[frame], row after
  // row; each master frame's in masters[master], where there is one.
  void ReadBand(int top, int bottom, std::uint16_t scaleMax,
                std::vector<std::vector<std::uint16_t>>& values,
                std::array<std::vector<std::uint16_t>, 3>& masters) const;

  // The mean of the flat frame less the bias frame in each colour (channel,
  // or site of the 2 x 2 cell), read from the files afresh.
  std::array<double, 4> FlatMeans(std::uint16_t scaleMax) const;

  // The colour of value i of row y for the flat's means: the channel of
  // colour pictures, the site of the 2 x 2 cell of raw frames.
  int ColourOf(int y, std::size_t i) const;

  // Row y's combined values calibrated by the master frames' values at them.
  void Calibrate(int y, const std::array<const std::uint16_t*, 3>& masters,
                 const std::array<double, 4>& flatMeans, double* combined) const;

  // Reads rows top .. bottom - 1 of the result into band (a frame's values
  // after another's), and the masters' values there into masters where the
  // combined values are calibrated.
  template <class Value>
  using BandReader = std::function<void(int top, int bottom, std::vector<std::vector<Value>>& band,
                                        std::array<std::vector<std::uint16_t>, 3>& masters)>;
  // Gives how many frames cover each pixel of row y.
  using RowCounts = std::function<void(int y, std::vector<int>& counts)>;

  // Combines the bands readBand reads, of bandFrames frames each, into
  // result row by row, calibrated by the masters with flatMeans where given;
  // colour becomes true where a pixel's channels differ. False when stopped.
  template <class Value>
  bool CombineBands(const BandReader<Value>& readBand, const RowCounts& countsOfRow,
                    std::size_t bandFrames, const std::array<double, 4>* flatMeans,
                    StackResult& result, std::atomic<bool>& colour,
                    const std::function<bool()>& stopRequested) const;

  // A frame of an aligned stack and its offset: its pixel (x + dx, y + dy)
  // is the result's (x, y).
  struct FramePlace {
    std::size_t frame;
    int dx;
    int dy;
  };

  // The frames that match the first and their offsets, the first among them
  // (see Align); nullopt when stopped.
  std::optional<std::vector<FramePlace>> PlaceFrames(
      std::uint16_t scaleMax, const std::function<bool()>& stopRequested) const;

  // One value a pixel: the sum of a colour picture's channels, of a raw
  // frame's 2 x 2 cell.
  RegistrationPicture Brightness(FrameReader& frame, std::uint16_t scaleMax) const;

  // Rows top .. bottom - 1 of the result from each placed frame, moved by
  // its offset and calibrated (Value a floating-point type then), into
  // values[place]; missing where it shows nothing.
  template <class Value>
  void ReadPlacedBand(int top, int bottom, std::uint16_t scaleMax,
                      const std::array<double, 4>& flatMeans, const std::vector<FramePlace>& places,
                      Value missing, std::vector<std::vector<Value>>& values) const;

  // How many placed frames cover each pixel of the result's row y.
  void CountPlacedFrames(const std::vector<FramePlace>& places, int y,
                         std::vector<int>& counts) const;

  StackMethod method_;
  double kappa_;
  int significantBits_;
  std::size_t bandBudget_;
  int width_ = 0;
  int height_ = 0;
  int channels_ = 0;        // 3 for BMP frames, 1 for TIFF frames; 0 before the first
  std::string cfaLayout_;   // the frames' declared Bayer layout; empty: none
  std::string cfaRefusal_;  // why the pattern they declare is of no Bayer layout
  std::vector<std::unique_ptr<FrameReader>> frames_;
  std::vector<std::string> framePaths_;
  LeftOut leftOut_;  // set: the frames are aligned
  // The dark, bias and flat frames, in that order.
  std::array<Master, 3> masters_;
};
