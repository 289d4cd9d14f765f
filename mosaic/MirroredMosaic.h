#pragma once

#include "VisImage.h"

// The mosaic with margin more samples at each edge, mirrored about its
// outer rows and columns (sample -1 is sample 1, -2 is 2, W is W - 2, and on
// for a margin wider than the picture): every sample keeps its site's
// colour, so the mosaic keeps its layout for an even margin. Demosaicing it
// and cropping the margin gives every pixel of the picture a value from its
// neighbourhood: a constant mosaic stays that constant at every pixel.
CVisImage<unsigned char> MirroredMosaic(const CVisImage<unsigned char>& mosaic, int margin);

// The sample index that i mirrors to in a row (or column) of n samples.
// Mirroring about 0 and about n - 1 keeps an index's parity.
int MirroredIndex(int i, int n);

// The margin that leaves no pixel of the cropped picture in the
// demosaicer's dark frame, in every layout.
inline constexpr int kMirrorMargin = 4;
