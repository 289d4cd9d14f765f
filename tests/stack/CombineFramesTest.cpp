// The entry point of stacking: which engine a request runs on, and the two
// engines of the mean held against each other.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ColorPicture.h"
#include "CombineFrames.h"
#include "TempFolder.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

TEST(CombineFrames, ThePlainMeanOfBmpsRunsAsTheRunningMean) {
  struct Row {
    std::vector<std::string> frames;
    std::string output;
    StackMethod method;
    std::string dark;
    bool runningMean;
  };
  const Row rows[] = {
      {{"a.bmp", "b.bmp"}, "m.bmp", StackMethod::kMean, "", true},
      {{"a.bmp"}, "m", StackMethod::kMean, "", true},  // a name without ending gets a BMP
      {{"a.bmp"}, "m.bmp", StackMethod::kMedian, "", false},
      {{"a.bmp"}, "m.bmp", StackMethod::kSigmaClip, "", false},
      {{"a.bmp"}, "m.bmp", StackMethod::kMean, "d.bmp", false},
      {{"a.bmp"}, "m.TIFF", StackMethod::kMean, "", false},
      {{"a.Tif"}, "m.bmp", StackMethod::kMean, "", false},
  };
  for (const Row& row : rows) {
    StackRequest request;
    request.frames = row.frames;
    request.output = row.output;
    request.method = row.method;
    request.dark = row.dark;
    EXPECT_EQ(RunsAsRunningMean(request), row.runningMean) << row.frames[0] << " " << row.output;
  }
}

// Counts what it is told and stops before the frame numbered stopAt.
class CountingEvents : public StackEvents {
 public:
  explicit CountingEvents(int stopAt) : stopAt_(stopAt) {}
  bool StopRequested() override { return read == stopAt_; }
  void FrameRead() override { ++read; }
  void Writing(const std::string& path) override { written = path; }

  int read = 0;
  std::string written;

 private:
  int stopAt_;
};

// The running mean and the banded stack's mean of the same BMP pictures
// give the same file, byte for byte: gray, colour, and later pictures larger
// than the first.
TEST(CombineFrames, BothEnginesOfTheMeanGiveTheSameFile) {
  struct Row {
    const char* name;
    int widths[3];
    int heights[3];
    bool gray;
  };
  const Row rows[] = {
      {"gray", {5, 5, 5}, {3, 3, 3}, true},
      {"colour", {7, 7, 7}, {4, 4, 4}, false},
      {"larger later", {6, 9, 8}, {5, 6, 5}, false},
      {"one row", {13, 13, 13}, {1, 1, 1}, false},
  };
  for (const Row& row : rows) {
    TempFolder folder;
    StackRequest request;
    for (int i = 0; i < 3; ++i) {
      request.frames.push_back(
          WriteColorPicture(folder.File("f" + std::to_string(i) + ".bmp"), row.widths[i],
                            row.heights[i], [&](int x, int y) {
                              const auto v = static_cast<unsigned char>(x * 37 + y * 11 + i * 101);
                              return row.gray ? Rgba(v, v, v)
                                              : Rgba(v, static_cast<unsigned char>(v * 3),
                                                     static_cast<unsigned char>(255 - v));
                            }));
    }
    request.output = folder.File("running.bmp");
    CountingEvents running(-1);
    ASSERT_TRUE(CombineFrames(request, running)) << row.name;
    EXPECT_EQ(running.read, 3);
    EXPECT_EQ(running.written, request.output);

    // A dark frame of zeros changes no value, but takes the banded stack.
    request.dark = WriteColorPicture(folder.File("dark.bmp"), row.widths[0], row.heights[0],
                                     [](int, int) { return Rgba(0, 0, 0); });
    request.output = folder.File("banded.bmp");
    ASSERT_FALSE(RunsAsRunningMean(request));
    CountingEvents banded(-1);
    ASSERT_TRUE(CombineFrames(request, banded)) << row.name;
    EXPECT_EQ(ReadBytes(folder.File("banded.bmp")), ReadBytes(folder.File("running.bmp")))
        << row.name;
  }
}

TEST(CombineFrames, AStopBeforeAFrameWritesNothing) {
  for (const StackMethod method : {StackMethod::kMean, StackMethod::kMedian}) {
    TempFolder folder;
    StackRequest request;
    request.method = method;
    for (int i = 0; i < 3; ++i) {
      request.frames.push_back(WriteColorPicture(folder.File("f" + std::to_string(i) + ".bmp"), 4,
                                                 4, [](int, int) { return Rgba(1, 2, 3); }));
    }
    request.output = folder.File("out.bmp");
    CountingEvents events(2);
    EXPECT_FALSE(CombineFrames(request, events));
    EXPECT_EQ(events.read, 2);
    EXPECT_TRUE(events.written.empty());
    EXPECT_EQ(folder.Names().size(), 3u);
  }
}

}  // namespace
