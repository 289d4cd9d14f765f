// Stacks of frames combined band by band, against arithmetic written here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "AfxException.h"
#include "BandedStack.h"
#include "BmpFixture.h"
#include "ColorPicture.h"
#include "TempFolder.h"
#include "VisError.h"
#include "VisImage.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

class BandedStackTest : public ::testing::Test {
 protected:
  std::string Frame(const std::string& name, int width, int height,
                    const std::function<Rgba(int, int)>& fill) {
    return WriteColorPicture(folder_.File(name), width, height, fill);
  }

  // Combines the frames (with a band of a row when bandBudget is 1).
  std::string Stack(StackMethod method, const std::vector<std::string>& frames,
                    const std::string& dark = "", double kappa = 3.0,
                    std::size_t bandBudget = BandedStack::kBandBudget) {
    BandedStack stack(method, kappa, 0, bandBudget);
    if (!dark.empty()) {
      stack.SetDark(dark.c_str());
    }
    for (const std::string& frame : frames) {
      stack.Add(frame.c_str());
    }
    const std::string output = folder_.File("stacked.bmp");
    stack.Write(output.c_str(), true);
    return output;
  }

  static CVisImage<Rgba> Read(const std::string& path) {
    CVisImage<Rgba> image(4, evispixfmtRGBAByte);
    image.ReadFile(path.c_str());
    return image;
  }

  static int BitsPerPixel(const std::string& path) { return ReadBytes(path).at(28); }

  TempFolder folder_;
};

// Noisy frames of one scene: each channel's values at each pixel, as the
// frames hold them.
struct Scene {
  int width;
  int height;
  std::vector<std::vector<Rgba>> frames;  // [frame][y * width + x]
};

Scene NoisyScene(int width, int height, int count, unsigned seed) {
  std::mt19937 random(seed);
  Scene scene{width, height, {}};
  for (int f = 0; f < count; ++f) {
    std::vector<Rgba> pixels;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const auto noisy = [&](int level) {
          return static_cast<unsigned char>(
              std::clamp(level + static_cast<int>(random() % 21) - 10, 0, 255));
        };
        pixels.emplace_back(noisy(40 + 3 * x), noisy(90 + 2 * y), noisy(200 - x - y));
      }
    }
    scene.frames.push_back(pixels);
  }
  return scene;
}

TEST_F(BandedStackTest, MediansOfOddAndEvenCountsInEveryBandSize) {
  // 37 rows: a band is decoded in pieces of fewer rows.
  for (const int count : {1, 4, 5}) {
    const Scene scene = NoisyScene(13, 37, count, static_cast<unsigned>(count));
    std::vector<std::string> frames;
    for (int f = 0; f < count; ++f) {
      frames.push_back(
          Frame("f" + std::to_string(f) + ".bmp", scene.width, scene.height, [&](int x, int y) {
            return scene
                .frames[static_cast<std::size_t>(f)][static_cast<std::size_t>(y * scene.width + x)];
          }));
    }
    for (const std::size_t budget : {std::size_t{1}, BandedStack::kBandBudget}) {
      const CVisImage<Rgba> median = Read(Stack(StackMethod::kMedian, frames, "", 3.0, budget));
      for (int y = 0; y < scene.height; ++y) {
        for (int x = 0; x < scene.width; ++x) {
          unsigned char expected[3];
          for (int c = 0; c < 3; ++c) {
            std::vector<int> values;
            for (const auto& frame : scene.frames) {
              const Rgba& p = frame[static_cast<std::size_t>(y * scene.width + x)];
              values.push_back(c == 0 ? p.r : c == 1 ? p.g : p.b);
            }
            std::sort(values.begin(), values.end());
            const std::size_t n = values.size();
            expected[c] = static_cast<unsigned char>(
                n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
          }
          ASSERT_EQ(median.Pixel(x, y), Rgba(expected[0], expected[1], expected[2], 0))
              << count << " frames, band budget " << budget << ", at " << x << "," << y;
        }
      }
    }
  }
}

TEST_F(BandedStackTest, ATrailAndHotPixelsAreRemovedWhereTheMeanKeepsThem) {
  // Sixteen frames of a flat gray 100; frame 3 has a bright trail across
  // row 2, frame 9 a hot pixel.
  std::vector<std::string> frames;
  for (int f = 0; f < 16; ++f) {
    frames.push_back(Frame("f" + std::to_string(f) + ".bmp", 8, 6, [f](int x, int y) {
      if ((f == 3 && y == 2) || (f == 9 && x == 5 && y == 4)) {
        return Rgba(255, 255, 255);
      }
      return Rgba(100, 100, 100);
    }));
  }
  for (const StackMethod method : {StackMethod::kMedian, StackMethod::kSigmaClip}) {
    const std::string output = Stack(method, frames);
    EXPECT_EQ(BitsPerPixel(output), 8);  // gray
    const CVisImage<Rgba> result = Read(output);
    EXPECT_EQ(result.Pixel(3, 2), Rgba(100, 100, 100));
    EXPECT_EQ(result.Pixel(5, 4), Rgba(100, 100, 100));
  }
  const CVisImage<Rgba> mean = Read(Stack(StackMethod::kMean, frames));
  EXPECT_EQ(mean.Pixel(3, 2), Rgba(109, 109, 109));  // (15 x 100 + 255) / 16
}

// The dark frame comes off every frame without flooring each: only the
// result is floored at 0, so a faint signal below the dark's level in some
// frames is not biased up.
TEST_F(BandedStackTest, DarkFramesAreSubtractedAndOnlyTheResultFloored) {
  const std::string a = Frame("a.bmp", 5, 4, [](int x, int) { return Rgba(60, 61, 62 + x); });
  const std::string b = Frame("b.bmp", 5, 4, [](int x, int) { return Rgba(70, 71, 72 + x); });
  // Brighter than the signal on the left, between a's and b's in column 2,
  // darker on the right.
  const std::string dark = Frame("dark.bmp", 5, 4, [](int x, int) {
    return x < 2 ? Rgba(90, 90, 90) : x == 2 ? Rgba(63, 64, 66) : Rgba(5, 6, 7);
  });
  for (const StackMethod method :
       {StackMethod::kMean, StackMethod::kMedian, StackMethod::kSigmaClip}) {
    const CVisImage<Rgba> result = Read(Stack(method, {a, b}, dark));
    EXPECT_EQ(result.Pixel(0, 1), Rgba(0, 0, 0));
    EXPECT_EQ(result.Pixel(1, 3), Rgba(0, 0, 0));
    // Red ((60 - 63) + (70 - 63)) / 2 = 2, not (0 + 7) / 2 = 3; green
    // ((61 - 64) + (71 - 64)) / 2 = 2; blue ((64 - 66) + (74 - 66)) / 2 = 3.
    EXPECT_EQ(result.Pixel(2, 0), Rgba(2, 2, 3));
    // Red ((60 - 5) + (70 - 5)) / 2, green the same, blue ((65 - 7) + (75 - 7)) / 2.
    EXPECT_EQ(result.Pixel(3, 0), Rgba(60, 60, 63));
  }
}

TEST_F(BandedStackTest, FramesOfTheWrongSizeOrKindAreRefusedNamingThem) {
  const std::string a = Frame("a.bmp", 6, 5, [](int, int) { return Rgba(1, 2, 3); });
  const std::string small = Frame("small.bmp", 6, 4, [](int, int) { return Rgba(1, 2, 3); });
  BandedStack stack(StackMethod::kMedian, 3.0);
  stack.Add(a.c_str());
  try {
    stack.Add(small.c_str());
    ADD_FAILURE() << "a smaller frame was added";
  } catch (CFileException* error) {
    EXPECT_NE(error->m_strReason.Str().find("smaller than the first picture"), std::string::npos);
    error->Delete();
  }

  BmpLayout rle;
  rle.bitCount = 8;
  rle.compression = 1;
  rle.palette = {{0, 0, 0}, {255, 0, 0}};
  const std::string compressed = folder_.File("rle.bmp");
  WriteBytes(compressed,
             BmpFixture::Make(Picture(5, std::vector<Color>(6, Color{255, 0, 0})), rle));
  try {
    stack.Add(compressed.c_str());
    ADD_FAILURE() << "a run-length compressed frame was added";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), compressed);
    EXPECT_NE(error.Reason().find("run-length compressed"), std::string::npos);
  }

  stack.SetDark(small.c_str());
  try {
    stack.Write(folder_.File("out.bmp").c_str(), true);
    ADD_FAILURE() << "a dark frame of another size was used";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), small);
    EXPECT_NE(error.Reason().find("not the size of the pictures"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.File("out.bmp")));
}

TEST_F(BandedStackTest, AnExistingOutputIsKeptUnlessReplacingIsAllowed) {
  const std::string a = Frame("a.bmp", 3, 3, [](int, int) { return Rgba(9, 8, 7); });
  const std::string output = folder_.File("kept.bmp");
  WriteBytes(output, {'k'});
  BandedStack stack(StackMethod::kMedian, 3.0);
  stack.Add(a.c_str());
  EXPECT_THROW(stack.Write(output.c_str(), false), CVisError);
  EXPECT_EQ(ReadBytes(output), std::vector<unsigned char>{'k'});
  stack.Write(output.c_str(), true);
  EXPECT_EQ(Read(output).Pixel(1, 1), Rgba(9, 8, 7));
}

}  // namespace
