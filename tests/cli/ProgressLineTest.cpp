#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "ProgressLine.h"

namespace {

TEST(ProgressLine, SaysFilesDoneRateAndTimeLeft) {
  EXPECT_EQ(ProgressLine::Text(0, 20, 0.0), "0 of 20 files");
  EXPECT_EQ(ProgressLine::Text(5, 20, 2.0), "5 of 20 files, 2.5 pictures/s, 0:06 left");
  EXPECT_EQ(ProgressLine::Text(1, 200, 1.0), "1 of 200 files, 1.0 pictures/s, 3:19 left");
}

TEST(ProgressLine, DrawsAtMostTenTimesASecondAndNothingWhenDisabled) {
  char buffer[4096] = {};
  std::FILE* out = fmemopen(buffer, sizeof buffer, "w");
  // A file every 30 ms of the line's own clock, for 3 s.
  ProgressLine::Clock::time_point now{};
  ProgressLine line(100, true, out, [&] { return now; });
  for (int i = 0; i < 100; ++i) {
    now += std::chrono::milliseconds(30);
    line.FileDone();
  }
  line.Finish();
  std::fclose(out);
  const std::string written = buffer;
  std::size_t draws = 0;
  for (std::size_t at = written.find("files"); at != std::string::npos;
       at = written.find("files", at + 1)) {
    ++draws;
  }
  // The first file, then one every 120 ms (four files), and the last.
  EXPECT_EQ(draws, 26u) << written;
  EXPECT_NE(written.find("100 of 100 files, 33.3 pictures/s, 0:00 left"), std::string::npos)
      << written;

  // A terminal that takes no escape sequences gets none.
  char plainBuffer[1024] = {};
  std::FILE* plainOut = fmemopen(plainBuffer, sizeof plainBuffer, "w");
  ProgressLine plain(
      3, true, plainOut, [&] { return now; }, true);
  plain.FileDone();
  plain.Print("a.tif: not a TIFF file");
  plain.FileDone();
  plain.Finish();
  std::fclose(plainOut);
  const std::string plainText = plainBuffer;
  EXPECT_EQ(plainText.find('\033'), std::string::npos) << plainText;
  EXPECT_NE(plainText.find("a.tif: not a TIFF file\n"), std::string::npos) << plainText;
  EXPECT_EQ(ProgressLine::Summary(20, "converted", 1, 3.14), "20 converted, 1 failed in 3.1 s");

  char silent[64] = {};
  std::FILE* quiet = fmemopen(silent, sizeof silent, "w");
  ProgressLine disabled(3, false, quiet);
  disabled.FileDone();
  disabled.Finish();
  std::fclose(quiet);
  EXPECT_STREQ(silent, "");
}

}  // namespace
