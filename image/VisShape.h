#pragma once

// Rectangles and shapes of images: left and top inclusive, right and bottom
// exclusive, so width = right - left and height = bottom - top.

struct CVisRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  CVisRect() = default;
  CVisRect(int leftEdge, int topEdge, int rightEdge, int bottomEdge)
      : left(leftEdge), top(topEdge), right(rightEdge), bottom(bottomEdge) {}

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const CVisRect&, const CVisRect&) = default;
};

// A rectangle together with the number of bands per pixel.
struct CVisShape : CVisRect {
  int nbands = 1;

  CVisShape() = default;
  CVisShape(int leftEdge, int topEdge, int rightEdge, int bottomEdge, int bands = 1)
      : CVisRect(leftEdge, topEdge, rightEdge, bottomEdge), nbands(bands) {}
  CVisShape(const CVisRect& rect, int bands = 1) : CVisRect(rect), nbands(bands) {}

  int NBands() const { return nbands; }
  friend bool operator==(const CVisShape&, const CVisShape&) = default;
};
