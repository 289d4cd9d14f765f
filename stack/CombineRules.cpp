#include "CombineRules.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr std::array<const char*, 3> kMethodNames = {"mean", "median", "sigma-clip"};

}  // namespace

std::span<const char* const> StackMethodNames() {
  return kMethodNames;
}

std::optional<StackMethod> ParseStackMethod(std::string_view name) {
  for (std::size_t i = 0; i < kMethodNames.size(); ++i) {
    if (name == kMethodNames[i]) {
      return static_cast<StackMethod>(i);
    }
  }
  return std::nullopt;
}

std::vector<std::pair<int, int>> SortingNetwork(int count) {
  std::vector<std::pair<int, int>> pairs;
  for (int p = 1; p < count; p *= 2) {
    for (int k = p; k >= 1; k /= 2) {
      for (int j = k % p; j + k < count; j += 2 * k) {
        for (int i = 0; i < k && i + j + k < count; ++i) {
          if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) {
            pairs.emplace_back(i + j, i + j + k);
          }
        }
      }
    }
  }
  return pairs;
}

namespace {

// kept * squares - sum * sum of the values kept: exactly for whole values (no
// cancellation in the variance), and for others of values near 0.
double Spread(std::uint64_t kept, std::uint64_t sum, std::uint64_t squares) {
  return static_cast<double>(static_cast<unsigned __int128>(kept) * squares -
                             static_cast<unsigned __int128>(sum) * sum);
}

double Spread(double kept, double sum, double squares) {
  return std::max(0.0, kept * squares - sum * sum);
}

// Sigma clipping of count sorted values, their sums kept as Sum of the values
// less shift. Returns the sums of the values kept and how many they are.
template <class Sum, class Value>
std::pair<Sum, int> ClipSorted(const Value* sorted, int count, double kappa, Sum shift) {
  // The values kept are always a run of the sorted ones, [low, high): what
  // lies furthest from the mean lies at the ends.
  int low = 0;
  int high = count;
  Sum sum = 0;
  Sum squares = 0;
  const auto term = [&](int i) { return static_cast<Sum>(sorted[i]) - shift; };
  for (int i = 0; i < count; ++i) {
    sum += term(i);
    squares += term(i) * term(i);
  }
  for (int round = 0; round < kSigmaClipRounds; ++round) {
    const auto kept = static_cast<Sum>(high - low);
    const double mean =
        static_cast<double>(shift) + static_cast<double>(sum) / static_cast<double>(kept);
    const double limit = kappa * std::sqrt(Spread(kept, sum, squares)) / static_cast<double>(kept);
    int newLow = low;
    int newHigh = high;
    while (newLow < newHigh && std::fabs(sorted[newLow] - mean) > limit) {
      ++newLow;
    }
    while (newHigh > newLow && std::fabs(sorted[newHigh - 1] - mean) > limit) {
      --newHigh;
    }
    if ((newLow == low && newHigh == high) || newLow == newHigh) {
      break;
    }
    for (int i = low; i < newLow; ++i) {
      sum -= term(i);
      squares -= term(i) * term(i);
    }
    for (int i = newHigh; i < high; ++i) {
      sum -= term(i);
      squares -= term(i) * term(i);
    }
    low = newLow;
    high = newHigh;
  }
  return {sum, high - low};
}

}  // namespace

KeptValues SigmaClippedValuesOfSorted(const std::uint16_t* sorted, int count, double kappa) {
  const auto [sum, kept] = ClipSorted<std::uint64_t>(sorted, count, kappa, 0);
  return {sum, kept};
}

double SigmaClippedMeanOfSorted(const float* sorted, int count, double kappa) {
  // Sums of the values less their middle one keep their precision.
  const double middle = sorted[count / 2];
  const auto [sum, kept] = ClipSorted<double>(sorted, count, kappa, middle);
  return middle + sum / kept;
}
