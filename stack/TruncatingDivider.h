#pragma once

#include <algorithm>
#include <cstdint>

// The truncated quotient sum / n (n at least 1), for one n and many sums.
// Sums of 16 bits are divided by a multiplication, which the compiler runs in
// vector registers: with m the least whole number not below 2^31 / n (which
// fits 32 bits), (sum x m) >> 31 is the quotient for every sum below 2^16 and
// every n up to 2^15. For sum = q x n + r it is q + r / n + d, where
// d = sum x (m x n - 2^31) / (n x 2^31); m x n - 2^31 is below n, so d stays
// below 1 / n and cannot reach the next whole number.
class TruncatingDivider {
 public:
  explicit TruncatingDivider(std::uint32_t n)
      : n_(std::max<std::uint32_t>(n, 1)),
        multiplier_(static_cast<std::uint32_t>(((std::uint64_t{1} << 31) + n_ - 1) / n_)) {}

  std::uint32_t operator()(std::uint16_t sum) const {
    return static_cast<std::uint32_t>(std::uint64_t{sum} * multiplier_ >> 31);
  }
  std::uint32_t operator()(std::uint32_t sum) const { return sum / n_; }

 private:
  std::uint32_t n_;
  std::uint32_t multiplier_;
};
