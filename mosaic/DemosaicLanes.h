#pragma once

// The demosaicer's helpers for the compiler's 32-byte vectors: sixteen
// pairs of columns at a time. Defines TESSARY_HAVE_LANES where the compiler
// has them (GCC and clang on little-endian machines); elsewhere the
// demosaicer runs its scalar loops alone.

#include <cstdint>
#include <cstring>

#include "VectorTypes.h"

#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define TESSARY_HAVE_LANES 1
// Sixteen pairs at a time in the compiler's portable vector types, each
// shuffle one that the processor's 32-byte vectors do in one step: 16-bit
// lanes hold every intermediate value (at most 4 x 255 in size). The helpers
// are always inlined: a 32-byte vector passed to a call between the AVX2
// clone and code built without AVX would cross two calling conventions.
#define TESSARY_LANE_HELPER inline __attribute__((always_inline))

namespace demosaic_lanes {

using Lanes = vectors::I16x16;
using Words = vectors::U16x16;
using Dwords = vectors::U32x8;
using Bytes = vectors::U8x32;
using Bytes16 = vectors::U8x16;
using Bytes8 = vectors::U8x8;
using Bytes4 = vectors::U8x4;
constexpr int kLanes = 16;

// The samples of sixteen pairs of columns from p on, in 16-bit lanes.
struct PairLanes {
  Lanes even;
  Lanes odd;
};
TESSARY_LANE_HELPER PairLanes LoadPairs(const unsigned char* p) {
  Words words;
  std::memcpy(&words, p, sizeof words);
  return {reinterpret_cast<Lanes>(words & 0xFF), reinterpret_cast<Lanes>(words >> 8)};
}
TESSARY_LANE_HELPER Lanes LoadLanes(const std::int16_t* p) {
  Lanes lanes;
  std::memcpy(&lanes, p, sizeof lanes);
  return lanes;
}
TESSARY_LANE_HELPER Lanes Abs(Lanes v) {
  return v < 0 ? -v : v;
}
// Division by 2 and by 4 truncating toward zero, as for int: negative
// values are raised by the divisor less one first. (The sign comes from a
// comparison, not a shift: shifts compete with the shuffles for the same
// execution units.)
TESSARY_LANE_HELPER Lanes Half(Lanes v) {
  const Lanes zero = {};
  return (v - (v < zero)) >> 1;
}
TESSARY_LANE_HELPER Lanes Quarter(Lanes v) {
  const Lanes zero = {};
  return (v + ((v < zero) & 3)) >> 2;
}
TESSARY_LANE_HELPER Lanes ClampToByte(Lanes v) {
  const Lanes zero = {};
  const Lanes top = zero + 255;
  v = v < zero ? zero : v;
  return v > top ? top : v;
}

// Each half's four pixels of four bytes as 12 bytes of blue, green and red
// at its start.
TESSARY_LANE_HELPER Bytes DropAlphas(Dwords pixels) {
  const auto bytes = reinterpret_cast<Bytes>(pixels);
  return __builtin_shufflevector(bytes, bytes, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15, 15, 15,
                                 15, 16, 17, 18, 20, 21, 22, 24, 25, 26, 28, 29, 30, 31, 31, 31,
                                 31);
}

// Stores the 16 bytes of v from byte first (0 or 16) on.
TESSARY_LANE_HELPER void StoreHalf(unsigned char* out, Bytes v, int first) {
  const Bytes16 half = first == 0 ? __builtin_shufflevector(v, v, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                                            11, 12, 13, 14, 15)
                                  : __builtin_shufflevector(v, v, 16, 17, 18, 19, 20, 21, 22, 23,
                                                            24, 25, 26, 27, 28, 29, 30, 31);
  std::memcpy(out, &half, sizeof half);
}

// Stores the 32 pixels of sixteen pairs, given each channel of the even and
// of the odd columns (every value within a byte).
template <int kPixelBytes>
TESSARY_LANE_HELPER void StorePairs(unsigned char* out, Lanes blueEven, Lanes greenEven,
                                    Lanes redEven, Lanes blueOdd, Lanes greenOdd, Lanes redOdd) {
  // Blue and green share one 16-bit lane, red and the zero alpha the next.
  const Lanes blueGreenEven = blueEven | greenEven << 8;
  const Lanes blueGreenOdd = blueOdd | greenOdd << 8;
  // The pixels of the even and the odd columns as 32-bit words: pairs
  // 0-3 and 8-11 in the low words, 4-7 and 12-15 in the high ones.
  const auto even0 = reinterpret_cast<Dwords>(__builtin_shufflevector(
      blueGreenEven, redEven, 0, 16, 1, 17, 2, 18, 3, 19, 8, 24, 9, 25, 10, 26, 11, 27));
  const auto even1 = reinterpret_cast<Dwords>(__builtin_shufflevector(
      blueGreenEven, redEven, 4, 20, 5, 21, 6, 22, 7, 23, 12, 28, 13, 29, 14, 30, 15, 31));
  const auto odd0 = reinterpret_cast<Dwords>(__builtin_shufflevector(
      blueGreenOdd, redOdd, 0, 16, 1, 17, 2, 18, 3, 19, 8, 24, 9, 25, 10, 26, 11, 27));
  const auto odd1 = reinterpret_cast<Dwords>(__builtin_shufflevector(
      blueGreenOdd, redOdd, 4, 20, 5, 21, 6, 22, 7, 23, 12, 28, 13, 29, 14, 30, 15, 31));
  // Even and odd side by side: pairs 0, 1 | 8, 9 and so on.
  const Dwords q0 = __builtin_shufflevector(even0, odd0, 0, 8, 1, 9, 4, 12, 5, 13);
  const Dwords q1 = __builtin_shufflevector(even0, odd0, 2, 10, 3, 11, 6, 14, 7, 15);
  const Dwords q2 = __builtin_shufflevector(even1, odd1, 0, 8, 1, 9, 4, 12, 5, 13);
  const Dwords q3 = __builtin_shufflevector(even1, odd1, 2, 10, 3, 11, 6, 14, 7, 15);
  if constexpr (kPixelBytes == 4) {
    // Eight pixels each, in order, stored one by one: an array of them would
    // go through memory.
    const Dwords pixels0 = __builtin_shufflevector(q0, q1, 0, 1, 2, 3, 8, 9, 10, 11);
    const Dwords pixels1 = __builtin_shufflevector(q2, q3, 0, 1, 2, 3, 8, 9, 10, 11);
    const Dwords pixels2 = __builtin_shufflevector(q0, q1, 4, 5, 6, 7, 12, 13, 14, 15);
    const Dwords pixels3 = __builtin_shufflevector(q2, q3, 4, 5, 6, 7, 12, 13, 14, 15);
    std::memcpy(out, &pixels0, sizeof pixels0);
    std::memcpy(out + 32, &pixels1, sizeof pixels1);
    std::memcpy(out + 64, &pixels2, sizeof pixels2);
    std::memcpy(out + 96, &pixels3, sizeof pixels3);
  } else {
    // The alphas dropped within each half: four pixels in its first 12
    // bytes. The halves are stored in the pixels' order, 16 bytes each, so
    // that each store's last 4 bytes are overwritten by the next one; the
    // last stores its 12 bytes alone.
    const Bytes c0 = DropAlphas(q0);
    const Bytes c1 = DropAlphas(q1);
    const Bytes c2 = DropAlphas(q2);
    const Bytes c3 = DropAlphas(q3);
    StoreHalf(out, c0, 0);
    StoreHalf(out + 12, c1, 0);
    StoreHalf(out + 24, c2, 0);
    StoreHalf(out + 36, c3, 0);
    StoreHalf(out + 48, c0, 16);
    StoreHalf(out + 60, c1, 16);
    StoreHalf(out + 72, c2, 16);
    const Bytes last = c3;
    const Bytes8 first8 = __builtin_shufflevector(last, last, 16, 17, 18, 19, 20, 21, 22, 23);
    const Bytes4 next4 = __builtin_shufflevector(last, last, 24, 25, 26, 27);
    std::memcpy(out + 84, &first8, sizeof first8);
    std::memcpy(out + 92, &next4, sizeof next4);
  }
}
}  // namespace demosaic_lanes
#endif
