#include "MirroredMosaic.h"

#include <algorithm>

int MirroredIndex(int i, int n) {
  if (n == 1) {
    return 0;
  }
  const int period = 2 * (n - 1);
  i = ((i % period) + period) % period;
  return i < n ? i : period - i;
}

CVisImage<unsigned char> MirroredMosaic(const CVisImage<unsigned char>& mosaic, int margin) {
  const int width = mosaic.Width();
  const int height = mosaic.Height();
  CVisImage<unsigned char> padded(1, evispixfmtGrayByte);
  padded.AllocateForOverwrite(CVisShape(0, 0, width + 2 * margin, height + 2 * margin, 1));
  for (int y = 0; y < height + 2 * margin; ++y) {
    const unsigned char* in = mosaic.RowPointer(MirroredIndex(y - margin, height));
    unsigned char* out = padded.RowPointer(y);
    for (int x = 0; x < margin; ++x) {
      out[x] = in[MirroredIndex(x - margin, width)];
      out[width + margin + x] = in[MirroredIndex(width + x, width)];
    }
    std::copy(in, in + width, out + margin);
  }
  return padded;
}
