#pragma once

#include "VisRGBA.h"

// Pixel formats. Bytes per pixel and format always go together:
// (1, gray byte) and (4, RGBA byte).
enum EVisPixFmt {
  evispixfmtGrayByte = 449,  // 0x1C1
  evispixfmtRGBAByte = 705,  // 0x2C1
};

template <class TPixel>
struct VisPixFmtOf;

template <>
struct VisPixFmtOf<unsigned char> {
  static constexpr EVisPixFmt value = evispixfmtGrayByte;
};

template <>
struct VisPixFmtOf<CVisRGBA<unsigned char>> {
  static constexpr EVisPixFmt value = evispixfmtRGBAByte;
};
