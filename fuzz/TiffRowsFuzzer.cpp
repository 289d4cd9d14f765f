// Reads arbitrary bytes as a TIFF band by band through the imaging back
// end's row reader, as stacking reads raw frames: either every band comes
// back or the reason does, and no reader stays behind.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzInput.h"
#include "Mil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = WriteFuzzInput(".tif", data, size);
  MilId rows = 0;
  if (MilOpenImageRows(path.c_str(), 12, &rows) == 0) {
    if (rows != 0 || *MilGetLastReadError() == '\0') {
      std::abort();
    }
    return 0;
  }
  constexpr int kBandRows = 7;
  const auto width = static_cast<std::size_t>(MilInquireBuffer(rows, kMilWidth, nullptr));
  const auto height = static_cast<int>(MilInquireBuffer(rows, kMilHeight, nullptr));
  std::vector<std::uint16_t> band(width * kBandRows);
  for (int top = 0; top < height; top += kBandRows) {
    if (MilReadImageRows(rows, top, std::min(height, top + kBandRows), 65535, band.data()) == 0) {
      if (*MilGetLastReadError() == '\0') {
        std::abort();
      }
      break;
    }
  }
  MilFreeBuffer(rows);
  if (MilInquireBuffer(rows, kMilWidth, nullptr) != 0) {
    std::abort();
  }
  return 0;
}
