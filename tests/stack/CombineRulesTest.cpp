// The rules that combine one pixel's values across a stack of frames,
// against references written here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "CombineRules.h"

namespace {

// The truncated sigma-clipped mean, as a stack of whole values takes it.
std::uint16_t SigmaClippedMeanOfSorted(const std::uint16_t* sorted, int count, double kappa) {
  const KeptValues kept = SigmaClippedValuesOfSorted(sorted, count, kappa);
  return TruncatedMean(kept.sum, kept.count);
}

using Values = std::vector<std::uint16_t>;

Values SortedByNetwork(Values values) {
  for (const auto& [low, high] : SortingNetwork(static_cast<int>(values.size()))) {
    if (values[low] > values[high]) {
      std::swap(values[low], values[high]);
    }
  }
  return values;
}

std::uint16_t Median(const Values& sorted) {
  return MedianOfSorted(static_cast<int>(sorted.size()),
                        [&](int i) { return sorted[static_cast<std::size_t>(i)]; });
}

// Sigma clipping as it reads: the mean and the population deviation of the
// values kept, each in its own pass, over the values as given.
std::uint16_t ReferenceSigmaClip(const Values& values, double kappa) {
  std::vector<double> kept(values.begin(), values.end());
  for (int round = 0; round < 10; ++round) {
    double mean = 0;
    for (const double v : kept) {
      mean += v;
    }
    mean /= static_cast<double>(kept.size());
    double variance = 0;
    for (const double v : kept) {
      variance += (v - mean) * (v - mean);
    }
    const double deviation = std::sqrt(variance / static_cast<double>(kept.size()));
    std::vector<double> next;
    for (const double v : kept) {
      if (!(std::fabs(v - mean) > kappa * deviation)) {
        next.push_back(v);
      }
    }
    if (next.size() == kept.size() || next.empty()) {
      break;
    }
    kept = next;
  }
  double sum = 0;
  for (const double v : kept) {
    sum += v;
  }
  return static_cast<std::uint16_t>(std::floor(sum / static_cast<double>(kept.size())));
}

TEST(CombineRules, TheNetworkSortsEveryCount) {
  // Every input of zeros and ones sorted means every input is (the 0-1
  // principle).
  for (int count = 1; count <= 14; ++count) {
    for (unsigned bits = 0; bits < (1u << count); ++bits) {
      Values values;
      for (int i = 0; i < count; ++i) {
        values.push_back(static_cast<std::uint16_t>((bits >> i) & 1));
      }
      const Values sorted = SortedByNetwork(values);
      ASSERT_TRUE(std::is_sorted(sorted.begin(), sorted.end())) << count << " " << bits;
    }
  }
  std::mt19937 random(7);
  for (int count = 15; count <= 70; ++count) {
    Values values;
    for (int i = 0; i < count; ++i) {
      values.push_back(static_cast<std::uint16_t>(random() % 300));
    }
    Values expected = values;
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(SortedByNetwork(values), expected) << count;
  }
}

TEST(CombineRules, TheMedianIsTheMiddleOrTheTruncatedMeanOfTheTwoMiddleOnes) {
  EXPECT_EQ(Median({42}), 42);
  EXPECT_EQ(Median({3, 9, 200}), 9);
  EXPECT_EQ(Median({3, 8, 9, 200}), 8);  // 17 / 2
  EXPECT_EQ(Median({5, 5, 5, 7}), 5);
  EXPECT_EQ(Median({0, 65534, 65535, 65535}), 65534);  // no overflow
  EXPECT_EQ(Median({7, 7, 7, 7, 7}), 7);
}

TEST(CombineRules, SigmaClippingDropsOutliersAndKeepsEqualValues) {
  EXPECT_EQ(SigmaClippedMeanOfSorted(Values{77}.data(), 1, 3.0), 77);
  EXPECT_EQ(SigmaClippedMeanOfSorted(Values(9, 12).data(), 9, 0.1), 12);  // no deviation
  // Fifteen values of 100 and a trail of 255: the trail goes, then nothing.
  Values trail(15, 100);
  trail.push_back(255);
  EXPECT_EQ(SigmaClippedMeanOfSorted(trail.data(), 16, 3.0), 100);
  // One outlier of seven lies 2.27 deviations out at most: K = 3 keeps it.
  const Values seven = {10, 10, 10, 10, 10, 10, 80};
  EXPECT_EQ(SigmaClippedMeanOfSorted(seven.data(), 7, 3.0), 20);
  EXPECT_EQ(SigmaClippedMeanOfSorted(seven.data(), 7, 2.0), 10);
  // Two values: both lie one deviation out, and a round that would drop
  // every value is not taken.
  const Values two = {0, 10};
  EXPECT_EQ(SigmaClippedMeanOfSorted(two.data(), 2, 0.5), 5);
}

TEST(CombineRules, SigmaClippingAgreesWithTheRuleAsWritten) {
  std::mt19937 random(3);
  for (int round = 0; round < 4000; ++round) {
    const int count = 1 + static_cast<int>(random() % 40);
    Values values;
    for (int i = 0; i < count; ++i) {
      // Mostly near a level, now and then far off (hot pixels, trails).
      const int level = 1000 + static_cast<int>(random() % 50);
      values.push_back(static_cast<std::uint16_t>(random() % 8 == 0 ? random() % 65536 : level));
    }
    const double kappa = 1.0 + (random() % 300) / 100.0;
    const Values sorted = SortedByNetwork(values);
    ASSERT_EQ(SigmaClippedMeanOfSorted(sorted.data(), count, kappa),
              ReferenceSigmaClip(values, kappa))
        << "round " << round << ", kappa " << kappa;
  }
}

TEST(CombineRules, MethodsHaveTheirNames) {
  EXPECT_EQ(ParseStackMethod("mean"), StackMethod::kMean);
  EXPECT_EQ(ParseStackMethod("median"), StackMethod::kMedian);
  EXPECT_EQ(ParseStackMethod("sigma-clip"), StackMethod::kSigmaClip);
  EXPECT_FALSE(ParseStackMethod("Median").has_value());
  EXPECT_FALSE(ParseStackMethod("").has_value());
}

}  // namespace
