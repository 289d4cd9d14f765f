#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

// How the values of one pixel's channel across a stack of frames become one
// value, and the sorting that the median and the sigma-clipped mean need.

enum class StackMethod { kMean, kMedian, kSigmaClip };

// Every method's name ("mean", "median", "sigma-clip"), in the order of the
// enumeration.
std::span<const char* const> StackMethodNames();

// The method named by name; nullopt for any other text.
std::optional<StackMethod> ParseStackMethod(std::string_view name);

// The pairs (a, b), a < b, of a sorting network for count values: after
// putting the smaller of values a and b at a and the larger at b, pair after
// pair, any count values are sorted (Batcher's odd-even merge sort, for any
// count).
std::vector<std::pair<int, int>> SortingNetwork(int count);

// The mean of count values (at least 1) whose sum is sum, truncated toward
// zero, as every mean of a stack is.
inline std::uint16_t TruncatedMean(std::uint64_t sum, int count) {
  return static_cast<std::uint16_t>(sum / static_cast<std::uint64_t>(count));
}

// The middle value of count sorted values, the i-th of them valueAt(i); for
// an even count, the mean of the two middle values.
template <class ValueAt>
double ExactMedianOfSorted(int count, const ValueAt& valueAt) {
  if (count % 2 == 1) {
    return valueAt(count / 2);
  }
  return (static_cast<double>(valueAt(count / 2 - 1)) + valueAt(count / 2)) / 2;
}

// The same, truncated.
template <class ValueAt>
std::uint16_t MedianOfSorted(int count, const ValueAt& valueAt) {
  if (count % 2 == 1) {
    return valueAt(count / 2);
  }
  return static_cast<std::uint16_t>((unsigned{valueAt(count / 2 - 1)} + valueAt(count / 2)) / 2);
}

// Sigma clipping of count sorted values: every
// value further than kappa standard deviations (population) from the mean of
// the values kept is dropped, and that is repeated until none is dropped, at
// most kSigmaClipRounds rounds; a round that would drop every value is not
// taken. In double precision, with the sums kept exactly. The values kept:
// their sum and how many they are (whose quotient is the exact
// sigma-clipped mean, and TruncatedMean of them a stack's).
struct KeptValues {
  std::uint64_t sum;
  int count;
};
KeptValues SigmaClippedValuesOfSorted(const std::uint16_t* sorted, int count, double kappa);

// The same of values that need not be whole (frames calibrated one by one):
// the sigma-clipped mean, its sums in double precision.
double SigmaClippedMeanOfSorted(const float* sorted, int count, double kappa);

inline constexpr int kSigmaClipRounds = 10;
inline constexpr double kDefaultKappa = 3.0;
