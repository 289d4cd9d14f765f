// Stacks of raw frames that drift, aligned to the first: star fields made
// here with a known truth.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BandedStack.h"
#include "FitsFile.h"
#include "StarField.h"
#include "TempFolder.h"
#include "TiffFixture.h"
#include "VisError.h"

namespace {

constexpr double kSky = 100;
constexpr double kSigma = 1.4;  // a star's width: a FWHM of 3.3 pixels

struct Drift {
  double dx;
  double dy;
};

class AlignedStackTest : public ::testing::Test {
 protected:
  // A 16-bit rggb frame of width x height whose sample at (x, y) is
  // value(x, y), rounded.
  template <class Value>
  std::string Frame(const std::string& name, int width, int height, const Value& value) {
    TiffLayout layout;
    layout.width = width;
    layout.height = height;
    layout.bits = 16;
    layout.cfaDimensions = {2, 2};
    layout.cfaColours = {0, 1, 1, 2};
    std::vector<std::uint32_t> samples;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        samples.push_back(static_cast<std::uint32_t>(std::lround(value(x, y))));
      }
    }
    const std::string path = folder_.File(name);
    EXPECT_TRUE(WriteTiff(path, layout, samples));
    return path;
  }

  // The aligned stack of frames as a FITS image; the frames left out in
  // leftOut.
  FitsPicture Stack(StackMethod method, const std::vector<std::string>& frames,
                    std::vector<std::string>* leftOut = nullptr) {
    BandedStack stack(method, 3.0);
    for (const std::string& frame : frames) {
      stack.Add(frame.c_str());
    }
    stack.Align([&](const std::string& path, const std::string&) {
      if (leftOut) {
        leftOut->push_back(path);
      }
    });
    const std::string output = folder_.File("stack.fits");
    stack.Write(output.c_str(), true);
    return ReadFits(output);
  }

  TempFolder folder_;
};

// The width at half maximum of the star at (x, y), from the second moments
// of the light above the sky within 6 pixels.
double StarWidth(const std::vector<float>& values, int width, double x, double y) {
  double sum = 0;
  double sx = 0;
  double sy = 0;
  double sxx = 0;
  for (int py = static_cast<int>(y) - 6; py <= static_cast<int>(y) + 6; ++py) {
    for (int px = static_cast<int>(x) - 6; px <= static_cast<int>(x) + 6; ++px) {
      const double light = std::max(0.0, values[static_cast<std::size_t>(py) * width + px] - kSky);
      sum += light;
      sx += light * px;
      sy += light * py;
      sxx += light * (px * px + py * py);
    }
  }
  const double variance = (sxx - (sx * sx + sy * sy) / sum) / sum / 2;
  return 2.3548 * std::sqrt(variance);
}

TEST_F(AlignedStackTest, DriftingStarsStackAsSharpAsOneFrameAndTheMedianKeepsThem) {
  constexpr int kWidth = 320;
  constexpr int kHeight = 240;
  const std::vector<Star> stars = MakeStars(144, kWidth, kHeight, 20, 40, 2000, 11);
  std::mt19937 random(5);
  std::uniform_real_distribution<double> drift(-12, 12);
  std::normal_distribution<double> noise(0, 3);
  std::vector<std::string> frames;
  std::vector<float> first;
  for (int f = 0; f < 12; ++f) {
    const Drift by = f == 0 ? Drift{0, 0} : Drift{drift(random), drift(random)};
    frames.push_back(
        Frame("light" + std::to_string(f) + ".tif", kWidth, kHeight, [&](int x, int y) {
          const double value = kSky + StarLight(stars, kSigma, x, y, by.dx, by.dy) + noise(random);
          if (f == 0) {
            first.push_back(static_cast<float>(std::lround(value)));
          }
          return value;
        }));
  }
  const FitsPicture mean = Stack(StackMethod::kMean, frames);
  const FitsPicture median = Stack(StackMethod::kMedian, frames);
  ASSERT_EQ(mean.width, kWidth);
  ASSERT_EQ(median.width, kWidth);
  double oneFrame = 0;
  double stacked = 0;
  int bright = 0;
  int kept = 0;
  for (const Star& star : stars) {
    if (star.peak >= 300) {
      oneFrame += StarWidth(first, kWidth, star.x, star.y);
      stacked += StarWidth(mean.values, kWidth, star.x, star.y);
      ++bright;
    }
    // Kept: at least half its peak above the sky, within a pixel and a half.
    double peak = 0;
    for (int y = static_cast<int>(star.y) - 1; y <= static_cast<int>(star.y) + 2; ++y) {
      for (int x = static_cast<int>(star.x) - 1; x <= static_cast<int>(star.x) + 2; ++x) {
        peak = std::max<double>(peak, median.values[static_cast<std::size_t>(y) * kWidth + x]);
      }
    }
    kept += peak - kSky >= star.peak / 2;
  }
  ASSERT_GT(bright, 20);
  EXPECT_LE(stacked / oneFrame, 1.15)
      << "one frame " << oneFrame / bright << ", stacked " << stacked / bright;
  EXPECT_GE(kept, 0.9 * stars.size());
}

// Two frames of stars, the second moved by an odd step, with a pattern that
// stays on the sensor's sites: red sites 500 brighter.
TEST_F(AlignedStackTest, RawFramesMoveByEvenStepsAndEdgesKeepTheFramesThatCoverThem) {
  constexpr int kWidth = 64;
  constexpr int kHeight = 48;
  const std::vector<Star> stars = MakeStars(12, kWidth, kHeight, 6, 200, 2000, 3);
  const auto frame = [&](Drift by) {
    return [&stars, by](int x, int y) {
      return kSky + StarLight(stars, kSigma, x, y, by.dx, by.dy) +
             (x % 2 == 0 && y % 2 == 0 ? 500 : 0);
    };
  };
  const std::vector<std::string> frames = {Frame("a.tif", kWidth, kHeight, frame({0, 0})),
                                           Frame("b.tif", kWidth, kHeight, frame({5, 3}))};
  const FitsPicture mean = Stack(StackMethod::kMean, frames);
  ASSERT_EQ(mean.width, kWidth);
  double red = 0;
  double green = 0;
  for (int y = 0; y < kHeight - 6; y += 2) {
    for (int x = 0; x < kWidth - 6; x += 2) {
      red += mean.values[static_cast<std::size_t>(y) * kWidth + x];
      green += mean.values[static_cast<std::size_t>(y) * kWidth + x + 1];
    }
  }
  // Sites that mixed would hold half the pattern.
  EXPECT_NEAR((red - green) / ((kHeight - 6) / 2 * ((kWidth - 6) / 2)), 500, 20);
  // The last 4 columns lie beyond the moved frame: the first alone.
  for (int y = 0; y < kHeight; ++y) {
    for (int x = kWidth - 4; x < kWidth; ++x) {
      ASSERT_EQ(mean.values[static_cast<std::size_t>(y) * kWidth + x],
                std::lround(frame({0, 0})(x, y)))
          << x << ", " << y;
    }
  }
}

// Hot pixels in clusters, and dust motes, that stay on the sensor and stand
// out more than the stars that move: the master takes them out of the
// frames' brightness before they are registered, and out of each frame where
// it lies before it moves.
TEST_F(AlignedStackTest, EachFrameIsCalibratedWhereItLiesBeforeItMoves) {
  constexpr int kWidth = 96;
  constexpr int kHeight = 64;
  const std::vector<Star> stars = MakeStars(20, kWidth, kHeight, 10, 60, 300, 6);
  const auto spots = [](int x, int y) { return (x / 4 * 7 + y / 4 * 5) % 11 == 0; };
  const auto dark = [&](int x, int y) { return 1000.0 + (spots(x, y) ? 3000 : 0); };
  const auto gain = [&](int x, int y) { return spots(x, y) ? 0.4 : 1.0; };
  const auto scene = [&](Drift by, int x, int y) {
    return std::round(4 * kSky + StarLight(stars, kSigma, x, y, by.dx, by.dy));
  };
  const double meanGain = [&] {
    double sum = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        sum += gain(x, y);
      }
    }
    return sum / (kWidth * kHeight);
  }();
  struct Master {
    bool dark;  // else a flat
    std::function<double(Drift, int, int)> frame;
    std::function<double(int, int)> master;
    double tolerance;
  };
  for (const Master& row :
       {Master{true, [&](Drift by, int x, int y) { return scene(by, x, y) + dark(x, y); }, dark, 0},
        // The site means of the flat are near its mean: the result is
        // scene * meanGain within the frames' rounding.
        Master{false, [&](Drift by, int x, int y) { return scene(by, x, y) * gain(x, y); },
               [&](int x, int y) { return 20000 * gain(x, y); }, 0.02 * 4 * kSky}}) {
    SCOPED_TRACE(row.dark ? "dark" : "flat");
    const auto frame = [&](Drift by) {
      return [&, by](int x, int y) { return row.frame(by, x, y); };
    };
    BandedStack stack(StackMethod::kMean, 3.0);
    const std::string master = Frame("master.tif", kWidth, kHeight, row.master);
    (row.dark ? stack.SetDark(master.c_str()) : stack.SetFlat(master.c_str()));
    stack.Add(Frame("a.tif", kWidth, kHeight, frame({0, 0})).c_str());
    stack.Add(Frame("b.tif", kWidth, kHeight, frame({6, 4})).c_str());
    stack.Align([](const std::string&, const std::string&) {});
    const std::string output = folder_.File("stack.fits");
    stack.Write(output.c_str(), true);
    const FitsPicture mean = ReadFits(output);
    ASSERT_EQ(mean.width, kWidth);
    for (int y = 0; y < kHeight - 4; ++y) {
      for (int x = 0; x < kWidth - 6; ++x) {
        ASSERT_NEAR(mean.values[static_cast<std::size_t>(y) * kWidth + x],
                    scene({0, 0}, x, y) * (row.dark ? 1 : meanGain), row.tolerance)
            << x << ", " << y;
      }
    }
  }
}

TEST_F(AlignedStackTest, FramesThatMatchNowhereAreLeftOutOrFailTheStack) {
  constexpr int kWidth = 96;
  constexpr int kHeight = 64;
  const std::vector<Star> stars = MakeStars(20, kWidth, kHeight, 6, 200, 2000, 4);
  std::mt19937 random(9);
  std::normal_distribution<double> noise(0, 3);
  const std::string starry = Frame("stars.tif", kWidth, kHeight, [&](int x, int y) {
    return kSky + StarLight(stars, kSigma, x, y, 0, 0) + noise(random);
  });
  const std::string moved = Frame("moved.tif", kWidth, kHeight, [&](int x, int y) {
    return kSky + StarLight(stars, kSigma, x, y, 4, -2) + noise(random);
  });
  const std::string cloud =
      Frame("cloud.tif", kWidth, kHeight, [&](int, int) { return kSky + 50 + noise(random); });
  const std::string even = Frame("even.tif", kWidth, kHeight, [](int, int) { return kSky; });
  std::vector<std::string> leftOut;
  EXPECT_EQ(Stack(StackMethod::kMedian, {starry, cloud, moved}, &leftOut).width, kWidth);
  EXPECT_EQ(leftOut, std::vector<std::string>{cloud});
  struct Refusal {
    std::vector<std::string> frames;
    const char* reason;
  };
  for (const Refusal& refusal : {Refusal{{even, starry}, "of one brightness"},
                                 Refusal{{starry, cloud, cloud}, "no other frame matches it"}}) {
    try {
      Stack(StackMethod::kMean, refusal.frames);
      ADD_FAILURE() << refusal.reason;
    } catch (const CVisError& error) {
      EXPECT_EQ(error.FileName(), refusal.frames.front());
      EXPECT_NE(error.Reason().find(refusal.reason), std::string::npos) << error.Reason();
    }
  }
}

}  // namespace
