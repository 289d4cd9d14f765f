#pragma once

#include <string>

#include "LoadGrayTiff.h"

// How a file's samples map to levels, and what a person should know of it.

// The significant bits the samples are read with: significantBits (from an
// option; 0: none given) where it is fewer than the stored bits, else the
// stored bits.
int SignificantBitsRead(const GrayTiffFacts& facts, int significantBits);

// What a 16-bit picture's samples suggest: with significantBits given, how
// many samples lay above its range (and became full scale); without, when
// the brightest sample is below 4096, the fewest bits that hold it. Empty
// when there is nothing to say.
std::string WideSampleAdvice(const GrayTiffFacts& facts, int significantBits);
