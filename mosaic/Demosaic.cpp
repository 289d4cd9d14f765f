#include "Demosaic.h"

#include <cstdlib>

namespace {

using Rgba = CVisRGBA<unsigned char>;

inline unsigned char Clamp(int v) {
  return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Green at a red or blue sample: the mean of the two green neighbours along
// the direction in which the same-colour samples change least, or of all four
// when both directions change equally.
inline unsigned char GreenAt(const unsigned char* above2, const unsigned char* above,
                             const unsigned char* row, const unsigned char* below,
                             const unsigned char* below2, int x) {
  const int s = row[x];
  const int dH = std::abs((row[x - 2] + row[x + 2]) / 2 - s);
  const int dV = std::abs((above2[x] + below2[x]) / 2 - s);
  const int horizontal = (row[x - 1] + row[x + 1]) / 2;
  const int vertical = (above[x] + below[x]) / 2;
  const int both = (row[x - 1] + row[x + 1] + above[x] + below[x]) / 4;
  const int green = dH < dV ? horizontal : (dV < dH ? vertical : both);
  return static_cast<unsigned char>(green);
}

void GreenStep(const CVisImage<unsigned char>& mosaic, CVisImage<Rgba>& color, int width,
               int height) {
  for (int y = 2; y <= height - 3; ++y) {
    const unsigned char* above2 = mosaic.RowPointer(y - 2);
    const unsigned char* above = mosaic.RowPointer(y - 1);
    const unsigned char* row = mosaic.RowPointer(y);
    const unsigned char* below = mosaic.RowPointer(y + 1);
    const unsigned char* below2 = mosaic.RowPointer(y + 2);
    Rgba* out = color.RowPointer(y);
    // Even x + y is a red or blue sample, odd x + y a green one.
    for (int x = 2; x <= width - 3; ++x) {
      out[x].g = ((x + y) & 1) ? row[x] : GreenAt(above2, above, row, below, below2, x);
    }
  }
}

// Fills one colour channel (red: byte 2, blue: byte 0) around every anchor,
// a sample of that colour at (x, y) with the same-colour samples at x + 2 and
// y + 2: the anchor itself, its right and lower neighbours from two colour
// differences and its diagonal neighbour from four. Values that would need a
// sample beyond the picture are not written.
template <unsigned char Rgba::*Channel>
void ChannelStep(const CVisImage<unsigned char>& mosaic, CVisImage<Rgba>& color, int first,
                 int width, int height) {
  for (int y = first; y < height - 2 + (first & 1); y += 2) {
    const unsigned char* p0 = mosaic.RowPointer(y);
    Rgba* c0 = color.RowPointer(y);
    Rgba* c1 = color.RowPointer(y + 1);
    const bool hasBelow = y + 2 < height;
    const unsigned char* p2 = hasBelow ? mosaic.RowPointer(y + 2) : p0;
    const Rgba* c2 = hasBelow ? color.RowPointer(y + 2) : c0;
    for (int x = first; x < width - 2 + (first & 1); x += 2) {
      const int d1 = p0[x] - c0[x].g;
      c0[x].*Channel = p0[x];
      const bool hasRight = x + 2 < width;
      const int d2 = hasRight ? p0[x + 2] - c0[x + 2].g : 0;
      if (hasRight) {
        c0[x + 1].*Channel = Clamp(c0[x + 1].g + (d1 + d2) / 2);
      }
      if (hasBelow) {
        const int d3 = p2[x] - c2[x].g;
        c1[x].*Channel = Clamp(c1[x].g + (d1 + d3) / 2);
        if (hasRight) {
          const int d4 = p2[x + 2] - c2[x + 2].g;
          c1[x + 1].*Channel = Clamp(c1[x + 1].g + (d1 + d2 + d3 + d4) / 4);
        }
      }
    }
  }
}

void ClearBlueEdges(CVisImage<Rgba>& color, int width, int height) {
  if (height >= 2) {
    Rgba* row = color.RowPointer(height - 2);
    for (int x = 3; x <= width - 2; ++x) {
      row[x].b = 0;
    }
  }
  if (width >= 2) {
    for (int y = 3; y <= height - 2; ++y) {
      color.Pixel(width - 2, y).b = 0;
    }
  }
}

}  // namespace

void DemosaicImage(const CVisImage<unsigned char>& mosaic, CVisImage<Rgba>& color) {
  const int width = mosaic.Width();
  const int height = mosaic.Height();
  const CVisShape shape(0, 0, width, height, 1);
  color.Allocate(shape, shape);

  GreenStep(mosaic, color, width, height);
  ChannelStep<&Rgba::r>(mosaic, color, 2, width, height);
  ChannelStep<&Rgba::b>(mosaic, color, 3, width, height);
  ClearBlueEdges(color, width, height);
}
