#include "SampleLevels.h"

int SignificantBitsRead(const GrayTiffFacts& facts, int significantBits) {
  return significantBits > 0 && significantBits < facts.storedBits ? significantBits
                                                                   : facts.storedBits;
}

std::string WideSampleAdvice(const GrayTiffFacts& facts, int significantBits) {
  if (facts.storedBits != 16) {
    return {};
  }
  if (significantBits > 0 && facts.samplesAboveRange > 0) {
    const bool one = facts.samplesAboveRange == 1;
    return std::to_string(facts.samplesAboveRange) +
           (one ? " sample was above " : " samples were above ") +
           std::to_string((1u << significantBits) - 1) + " (" + std::to_string(significantBits) +
           " bits) and became 255";
  }
  if (significantBits == 0 && facts.brightestSample < 4096) {
    int bits = 9;
    while (bits < 12 && facts.brightestSample >= (1u << bits)) {
      ++bits;
    }
    return "the brightest sample is " + std::to_string(facts.brightestSample) +
           " of 65535; if the camera gives " + std::to_string(bits) + " bits, use --bits " +
           std::to_string(bits);
  }
  return {};
}
