#include "FitsRows.h"

// The Windows form reads no FITS files (there is no CFITSIO built for it).
struct FitsRows::Reader {};

FitsRows::FitsRows(const char*, int) {
  throw FitsError("FITS files are not read on Windows");
}

FitsRows::~FitsRows() = default;

int FitsRows::Width() const {
  return 0;
}

int FitsRows::Height() const {
  return 0;
}

std::uint16_t FitsRows::Largest() const {
  return 0;
}

const std::string& FitsRows::Layout() const {
  static const std::string kNone;
  return kNone;
}

const std::string& FitsRows::LayoutRefusal() const {
  return Layout();
}

void FitsRows::ReadRows(int, int, std::uint16_t, std::uint16_t*) {}
