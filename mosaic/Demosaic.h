#pragma once

#include "VisImage.h"

// Reconstructs a colour picture from a Bayer mosaic held in a gray image:
// red where x and y are both even, blue where both are odd, green elsewhere.
//
// Green is interpolated along the direction of least change, then red and
// blue as colour differences against that green, in integer arithmetic with
// division truncating toward zero. color is allocated afresh to the mosaic's
// size (zero-filled); the two-pixel outer band, alpha, and every value left
// out below keep that zero.
//
// - green and red: columns 2 .. W-3 of rows 2 .. H-3;
// - blue: columns 3 .. W-3 of rows 3 .. H-3, with column W-2 and row H-2
//   cleared to zero;
// - for an odd width (height) the blue values of column W-1 (row H-1) would
//   need samples beyond the picture, so they are not written.
void DemosaicImage(const CVisImage<unsigned char>& mosaic,
                   CVisImage<CVisRGBA<unsigned char>>& color);
