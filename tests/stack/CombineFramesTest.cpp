// The entry point of stacking: which engine a request runs on, and the two
// engines of the mean held against each other.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ColorPicture.h"
#include "CombineFrames.h"
#include "TempFolder.h"
#include "VisError.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

// The name of frame i: "f0.bmp", ... (appended, not "f" + a number: GCC 12
// warns falsely about that).
std::string FrameName(int i) {
  std::string name = "f";
  name += std::to_string(i) + ".bmp";
  return name;
}

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
      request.frames.push_back(WriteColorPicture(
          folder.File(FrameName(i)), row.widths[i], row.heights[i], [&](int x, int y) {
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

// A stop before a frame, or (for the banded stack) while the frames are
// combined, writes nothing.
TEST(CombineFrames, AStopWritesNothing) {
  struct Row {
    StackMethod method;
    int stopAt;  // the frames read when the stop comes
    bool written;
  };
  const Row rows[] = {
      {StackMethod::kMean, 2, false},
      {StackMethod::kMedian, 2, false},
      {StackMethod::kMedian, 3, false},  // while combining
      {StackMethod::kMean, 3, true},     // the running mean is written at once
  };
  for (const Row& row : rows) {
    TempFolder folder;
    StackRequest request;
    request.method = row.method;
    for (int i = 0; i < 3; ++i) {
      request.frames.push_back(WriteColorPicture(folder.File(FrameName(i)), 4, 4,
                                                 [](int, int) { return Rgba(1, 2, 3); }));
    }
    request.output = folder.File("out.bmp");
    CountingEvents events(row.stopAt);
    EXPECT_EQ(CombineFrames(request, events), row.written) << row.stopAt;
    EXPECT_EQ(events.read, row.stopAt);
    EXPECT_EQ(folder.Names().size(), row.written ? 4u : 3u) << row.stopAt;
  }
}

// The output is never one of the pictures it is made of, by any name, even
// where replacing is asked for.
TEST(CombineFrames, TheOutputIsNeverOneOfItsInputs) {
  struct Row {
    const char* name;
    std::string (*output)(TempFolder& folder);
    std::string StackRequest::*master;  // the master frame written as "master.bmp"; or null
  };
  const Row rows[] = {
      {"a frame", [](TempFolder& folder) { return folder.File("f1.bmp"); }, nullptr},
      {"another spelling",
       [](TempFolder& folder) { return (folder.Path() / "." / "f0.bmp").string(); }, nullptr},
#ifndef _WIN32
      {"a link to a frame",
       [](TempFolder& folder) {
         std::filesystem::create_symlink(folder.File("f2.bmp"), folder.File("link.bmp"));
         return folder.File("link.bmp");
       },
       nullptr},
#endif
      {"the dark frame", [](TempFolder& folder) { return folder.File("master.bmp"); },
       &StackRequest::dark},
      {"the bias frame", [](TempFolder& folder) { return folder.File("master.bmp"); },
       &StackRequest::bias},
      {"the flat frame", [](TempFolder& folder) { return folder.File("master.bmp"); },
       &StackRequest::flat},
  };
  for (const Row& row : rows) {
    TempFolder folder;
    StackRequest request;
    for (int i = 0; i < 3; ++i) {
      request.frames.push_back(WriteColorPicture(folder.File(FrameName(i)), 4, 4,
                                                 [&](int, int) { return Rgba(9, 8, i); }));
    }
    if (row.master != nullptr) {
      request.*row.master = WriteColorPicture(folder.File("master.bmp"), 4, 4,
                                              [](int, int) { return Rgba(0, 0, 0); });
    }
    request.output = row.output(folder);
    request.replaceExisting = true;
    const std::vector<unsigned char> before = ReadBytes(request.output);
    CountingEvents events(-1);
    try {
      CombineFrames(request, events);
      ADD_FAILURE() << row.name << " was replaced";
    } catch (CFileException* error) {
      EXPECT_EQ(error->m_strFileName.Str(), request.output) << row.name;
      error->Delete();
    }
    EXPECT_EQ(ReadBytes(request.output), before) << row.name;
    EXPECT_EQ(events.read, 0) << row.name;
  }
}

// A file named as a FITS frame that cannot be read as one (on Windows none
// can) fails, naming it, and nothing is written.
TEST(CombineFrames, AFitsFrameThatCannotBeReadFailsNamingIt) {
  TempFolder folder;
  const std::string frame = folder.File("frame.fits");
  WriteBytes(frame, std::vector<unsigned char>(2880, ' '));
  StackRequest request;
  request.frames = {frame};
  request.output = folder.File("out.tif");
  CountingEvents events(-1);
  try {
    CombineFrames(request, events);
    ADD_FAILURE() << "a file of spaces was stacked";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), frame);
  }
  EXPECT_FALSE(std::filesystem::exists(request.output));
}

}  // namespace
