#pragma once

#include <cstdint>

// The truncated quotient sum / n, for one n and many sums. Sums of 16 bits
// are divided by a multiplication, which the compiler runs in vector
// registers: with m the least whole number not below 2^32 / n,
// (sum x m) >> 32 is the quotient for every sum below 2^16 and every n from
// 1 to 2^16 (m x n - 2^32 is below n, so the error sum x (m x n - 2^32) / n
// stays below 2^32 / n, less than one step of the quotient).
class TruncatingDivider {
 public:
  explicit TruncatingDivider(std::uint32_t n)
      : n_(n), multiplier_(((std::uint64_t{1} << 32) + n - 1) / n) {}

  std::uint32_t operator()(std::uint16_t sum) const {
    return static_cast<std::uint32_t>(sum * multiplier_ >> 32);
  }
  std::uint32_t operator()(std::uint32_t sum) const { return sum / n_; }

 private:
  std::uint32_t n_;
  std::uint64_t multiplier_;
};
