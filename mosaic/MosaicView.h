#pragma once

#include <algorithm>
#include <cstddef>

#include "BayerLayout.h"
#include "VisImage.h"

// The part of a mosaic that is demosaiced as an rggb mosaic: from the
// layout's first red sample on, to the picture's right and bottom edges. It
// lands in the output at the same place, one column (row) in where the
// layout starts on a green or blue column (row).
struct MosaicView {
  MosaicView(const CVisImage<unsigned char>& mosaic, BayerLayout layout)
      : column(RedColumn(layout)),
        row(RedRow(layout)),
        width(std::max(0, mosaic.Width() - column)),
        height(std::max(0, mosaic.Height() - row)),
        stride(static_cast<std::size_t>(mosaic.Width())),
        origin(width > 0 && height > 0 ? mosaic.RowPointer(row) + column : nullptr) {}

  // Rows of a gray image lie back to back.
  const unsigned char* RowPointer(int y) const {
    return origin + static_cast<std::size_t>(y) * stride;
  }
  int Pixel(int x, int y) const { return RowPointer(y)[x]; }
  bool Empty() const { return width == 0 || height == 0; }

  int column;
  int row;
  int width;
  int height;
  std::size_t stride;
  const unsigned char* origin;
};
