#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "BayerLayout.h"
#include "DeepDemosaic.h"
#include "Demosaic.h"

// Demosaicing for the best picture rather than the fastest: directional
// linear minimum mean square-error estimation (Zhang and Wu, "Color
// demosaicking via directional linear minimum mean square-error
// estimation", IEEE Transactions on Image Processing 14(12), 2005), without
// the paper's median refinement. In floating point at the samples' full
// precision:
//  1. along each row and each column, the difference of green and the other
//     colour at every sample is estimated from the mosaic itself (the
//     missing colour by the filter [-1 2 2 2 -1] / 4);
//  2. each direction's difference, taken as a noisy observation, is
//     smoothed (Gaussian, sigma 2) and estimated from the mean and the
//     variances of signal and noise over the nine samples around it;
//  3. the two estimates are joined, each weighted by the other's error
//     variance, and green is the sample plus the joined difference;
//  4. red and blue follow as differences to green: at blue (red) sites the
//     mean of the four diagonal neighbours', at green sites the mean of the
//     four nearest.
// The edges are part of the method: the mosaic is mirrored about its outer
// rows and columns (each sample keeps its colour), so every pixel gets a
// value, and a constant mosaic gives that constant everywhere. Any of the
// four layouts is read as it lies, with no column or row left out.
//
// The work goes in bands of rows, each from the mosaic's rows around it, so
// that memory does not grow with the picture beyond the output's rows; the
// bands run on up to processors threads (0: every processor the process may
// use; small pictures stay on the calling one). The result does not depend
// on it.

// The picture of the mosaic (samples 0 .. largest) as DemosaicToBmpRows
// hands it over: 24-bit BMP rows, blue, green and red, each round(255 v /
// largest), band by band, the bottom band first.
void DemosaicQualityToBmpRows(const DeepMosaic& mosaic, int largest, std::size_t stride,
                              const DemosaicBandDone& bandDone, int processors, BayerLayout layout);

// The picture as DemosaicDeep gives it: red, green and blue of each pixel,
// 0 .. largest, row by row, top row first.
std::vector<std::uint16_t> DemosaicQualityDeep(const DeepMosaic& mosaic, BayerLayout layout,
                                               int largest = 65535, int processors = 1);
