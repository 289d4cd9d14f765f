#pragma once

#include <cstddef>
#include <functional>

#include "BayerLayout.h"
#include "VisImage.h"

// Reconstructs a colour picture from a Bayer mosaic held in a gray image:
// red where x and y are both even, blue where both are odd, green elsewhere.
//
// Green is interpolated along the direction of least change, then red and
// blue as colour differences against that green, in integer arithmetic with
// division truncating toward zero. color is allocated afresh to the mosaic's
// size and every byte of it written: the two-pixel outer band, alpha, and
// every value left out below are zero. Large pictures are worked on every
// processor the process may use, in threads of the caller's priority; the
// result does not depend on it.
//
// Where each channel has values, with W and H the picture's size:
// - green: columns 2 .. W-3 of rows 2 .. H-3;
// - red: columns 2 .. RedEnd(W) of rows 2 .. RedEnd(H), where RedEnd(n) is
//   n-3 for even n and n-2 for odd n (the last red anchor is the last even
//   n' < n-2, and it fills n' and n'+1);
// - blue: columns 3 .. W-3 of rows 3 .. H-3; the anchor step reaches column
//   W-2 and row H-2, which the edge clearing then zeroes. For an odd width
//   (height) the blue values of column W-1 (row H-1) would need samples
//   beyond the picture, so they stay zero.
//
// The conversion writes its BMPs through DemosaicToBmpRows below, which gives
// the same pixels without a colour picture; this form serves callers that
// want the picture itself (the benchmarks, and the tests that hold the BMP
// rows against it).
void DemosaicImage(const CVisImage<unsigned char>& mosaic,
                   CVisImage<CVisRGBA<unsigned char>>& color);

// The same for a mosaic of any Bayer layout. The part of the picture from
// the layout's first red sample on (RedColumn, RedRow) is demosaiced as an
// rggb mosaic and lands where it lies; the one column (grbg, bggr) or row
// (gbrg, bggr) before it is black. So each layout has its own dark frame:
// the rggb frame, one column further right and one row further down as the
// layout's first red sample is. kRggb gives DemosaicImage's picture.
void DemosaicImage(const CVisImage<unsigned char>& mosaic,
                   CVisImage<CVisRGBA<unsigned char>>& color, BayerLayout layout);

// Receives rows top .. bottom - 1 of the colour picture, finished, in the
// order of a BMP file: row bottom - 1 at rows, each row above it stride
// bytes after the one below, so that the band goes to the file in one
// piece. The rows are the demosaicer's and valid during the call only.
using DemosaicBandDone = std::function<void(const unsigned char* rows, int top, int bottom)>;

// The same picture as DemosaicImage, without alpha, in rows as a 24-bit BMP
// file stores them: blue, green and red of each pixel, then zeros up to the
// row's stride, which is at least 3 x the mosaic's width.
//
// The rows are handed to bandDone band by band on the calling thread as soon
// as each band is finished, the bottom band first and each band right above
// the one before, while the other cores go on with the bands above: a BMP
// file, which stores the bottom row first, is written meanwhile. The bands
// are about a megabyte each (a small picture's rows make one band) and live
// in a small ring of buffers, never the whole picture: they are still in the
// processor's caches when bandDone copies them out. An exception from
// bandDone ends the work and passes on.
//
// processors: how many processors the work may keep busy, the calling
// thread's included; 0 for every one the process may use. (Conversions side
// by side each take their share, so that no thread waits its turn.)
// layout: as for DemosaicImage.
void DemosaicToBmpRows(const CVisImage<unsigned char>& mosaic, std::size_t stride,
                       const DemosaicBandDone& bandDone, int processors = 0,
                       BayerLayout layout = BayerLayout::kRggb);
