#include "CombineRules.h"

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

KeptValues SigmaClippedValuesOfSorted(const std::uint16_t* sorted, int count, double kappa) {
  // The values kept are always a run of the sorted ones, [low, high): what
  // lies furthest from the mean lies at the ends.
  int low = 0;
  int high = count;
  std::uint64_t sum = 0;
  std::uint64_t squares = 0;
  for (int i = 0; i < count; ++i) {
    sum += sorted[i];
    squares += std::uint64_t{sorted[i]} * sorted[i];
  }
  for (int round = 0; round < kSigmaClipRounds; ++round) {
    const auto kept = static_cast<std::uint64_t>(high - low);
    const double mean = static_cast<double>(sum) / static_cast<double>(kept);
    // kept * squares - sum * sum, exactly: no cancellation in the variance.
    const unsigned __int128 spread =
        static_cast<unsigned __int128>(kept) * squares - static_cast<unsigned __int128>(sum) * sum;
    const double limit = kappa * std::sqrt(static_cast<double>(spread)) / static_cast<double>(kept);
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
      sum -= sorted[i];
      squares -= std::uint64_t{sorted[i]} * sorted[i];
    }
    for (int i = newHigh; i < high; ++i) {
      sum -= sorted[i];
      squares -= std::uint64_t{sorted[i]} * sorted[i];
    }
    low = newLow;
    high = newHigh;
  }
  return {sum, high - low};
}
