#pragma once

// One colour pixel, laid out in memory as blue, green, red, alpha.
template <class T>
struct CVisRGBA {
  T b{};
  T g{};
  T r{};
  T a{};

  CVisRGBA() = default;
  CVisRGBA(T red, T green, T blue, T alpha = T{}) : b(blue), g(green), r(red), a(alpha) {}

  friend bool operator==(const CVisRGBA&, const CVisRGBA&) = default;
};

static_assert(sizeof(CVisRGBA<unsigned char>) == 4);
