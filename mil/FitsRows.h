#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// Why a FITS file cannot be read as a frame, in words a person can read.
class FitsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The first image of a FITS file (CFITSIO), as a capture program writes a
// raw frame: two axes of 8- or 16-bit integers (BZERO honoured: 16-bit
// numbers with BZERO 32768 are 0 .. 65535), read band by band. Rows are
// given from the picture's top: as stored where the header says ROWORDER =
// 'TOP-DOWN', otherwise in FITS's own order, the first stored row at the
// bottom. BAYERPAT names the colour filter pattern from the first stored
// pixel, and is turned with the rows.
class FitsRows {
 public:
  // Opens the file and checks its first image; throws FitsError with the
  // reason when it is no frame that can be read. significantBits N between 9
  // and the stored depth makes 2^N - 1 the largest value of deeper samples;
  // otherwise the stored depth's largest value is.
  FitsRows(const char* path, int significantBits);
  ~FitsRows();

  FitsRows(const FitsRows&) = delete;
  FitsRows& operator=(const FitsRows&) = delete;

  int Width() const;
  int Height() const;
  // The largest value of its samples.
  std::uint16_t Largest() const;
  // The Bayer layout ("rggb") from the picture's top-left pixel, and why
  // a BAYERPAT is of no Bayer layout; both empty where it declares none.
  const std::string& Layout() const;
  const std::string& LayoutRefusal() const;

  // Rows top .. bottom - 1 into out, Width() values a row, on the scale 0 ..
  // scaleMax: a sample v whose largest value is m becomes
  // (v * scaleMax + m / 2) / m. Throws FitsError when the rows cannot be
  // read, and for a sample above the largest value.
  void ReadRows(int top, int bottom, std::uint16_t scaleMax, std::uint16_t* out);

 private:
  struct Reader;
  std::unique_ptr<Reader> reader_;
};
