#pragma once

#include <optional>

#include "VisImage.h"

// Tells a plain gray picture from a colour filter mosaic. With S the sum of
// all samples and T the sum of the absolute differences of every sample from
// each of its (up to four) direct neighbours, the picture is gray when
// T < 0.4 S. Equality, an empty picture and an all-black one count as mosaics.
bool IsGrayImage(const CVisImage<unsigned char>& image);

// T / S, the share that IsGrayImage compares with 0.4, so that a person can
// see why it decided as it did; nullopt for an empty or all-black picture.
// It is the same whatever the mosaic's Bayer layout.
std::optional<double> MosaicScore(const CVisImage<unsigned char>& image);
