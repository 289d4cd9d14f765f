#pragma once

// Plainly written versions of the mosaic operations, step by step as the
// method reads, to check the fast ones against.

#include <cstdlib>
#include <random>

#include "VisImage.h"

using Rgba = CVisRGBA<unsigned char>;

inline void ReferenceDemosaic(const CVisImage<unsigned char>& mosaic, CVisImage<Rgba>& color) {
  const int w = mosaic.Width();
  const int h = mosaic.Height();
  const CVisShape shape(0, 0, w, h);
  color.Allocate(shape, shape);
  auto P = [&](int x, int y) { return static_cast<int>(mosaic.Pixel(x, y)); };
  auto G = [&](int x, int y) { return static_cast<int>(color.Pixel(x, y).g); };
  auto D = [&](int x, int y) { return P(x, y) - G(x, y); };
  auto clamp = [](int v) { return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v)); };

  for (int x = 2; x <= w - 3; ++x) {
    for (int y = 2; y <= h - 3; ++y) {
      int g;
      if ((x + y) % 2 == 1) {
        g = P(x, y);
      } else {
        const int s = P(x, y);
        const int dH = std::abs((P(x - 2, y) + P(x + 2, y)) / 2 - s);
        const int dV = std::abs((P(x, y - 2) + P(x, y + 2)) / 2 - s);
        if (dH < dV) {
          g = (P(x - 1, y) + P(x + 1, y)) / 2;
        } else if (dV < dH) {
          g = (P(x, y - 1) + P(x, y + 1)) / 2;
        } else {
          g = (P(x - 1, y) + P(x + 1, y) + P(x, y - 1) + P(x, y + 1)) / 4;
        }
      }
      color.Pixel(x, y).g = static_cast<unsigned char>(g);
    }
  }
  for (int y = 2; y < h - 2; y += 2) {
    for (int x = 2; x < w - 2; x += 2) {
      color.Pixel(x, y).r = static_cast<unsigned char>(P(x, y));
      color.Pixel(x + 1, y).r = clamp(G(x + 1, y) + (D(x, y) + D(x + 2, y)) / 2);
      color.Pixel(x, y + 1).r = clamp(G(x, y + 1) + (D(x, y) + D(x, y + 2)) / 2);
      color.Pixel(x + 1, y + 1).r =
          clamp(G(x + 1, y + 1) + (D(x, y) + D(x + 2, y) + D(x, y + 2) + D(x + 2, y + 2)) / 4);
    }
  }
  // Blue values that would need a sample beyond the picture are skipped.
  for (int y = 3; y < h - 1; y += 2) {
    for (int x = 3; x < w - 1; x += 2) {
      color.Pixel(x, y).b = static_cast<unsigned char>(P(x, y));
      if (x + 2 < w) {
        color.Pixel(x + 1, y).b = clamp(G(x + 1, y) + (D(x, y) + D(x + 2, y)) / 2);
      }
      if (y + 2 < h) {
        color.Pixel(x, y + 1).b = clamp(G(x, y + 1) + (D(x, y) + D(x, y + 2)) / 2);
      }
      if (x + 2 < w && y + 2 < h) {
        color.Pixel(x + 1, y + 1).b =
            clamp(G(x + 1, y + 1) + (D(x, y) + D(x + 2, y) + D(x, y + 2) + D(x + 2, y + 2)) / 4);
      }
    }
  }
  for (int x = 3; x <= w - 2 && h >= 2; ++x) {
    color.Pixel(x, h - 2).b = 0;
  }
  for (int y = 3; y <= h - 2 && w >= 2; ++y) {
    color.Pixel(w - 2, y).b = 0;
  }
}

inline bool ReferenceIsGray(const CVisImage<unsigned char>& image) {
  const int w = image.Width();
  const int h = image.Height();
  double s = 0;
  double t = 0;
  auto P = [&](int x, int y) { return static_cast<int>(image.Pixel(x, y)); };
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      const int v = P(x, y);
      s += v;
      if (x >= 1)
        t += std::abs(v - P(x - 1, y));
      if (y >= 1)
        t += std::abs(v - P(x, y - 1));
      if (x + 1 < w)
        t += std::abs(v - P(x + 1, y));
      if (y + 1 < h)
        t += std::abs(v - P(x, y + 1));
    }
  }
  return t < 0.4 * s;
}

inline CVisImage<unsigned char> MakeGray(int width, int height) {
  return CVisImage<unsigned char>(1, evispixfmtGrayByte, CVisRect(0, 0, width, height));
}

template <class Fill>
void FillGray(CVisImage<unsigned char>& image, Fill fill) {
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      image.Pixel(x, y) = static_cast<unsigned char>(fill(x, y));
    }
  }
}
