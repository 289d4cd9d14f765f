#include <gtest/gtest.h>

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
  ProgressLine line(1000, true, out);
  for (int i = 0; i < 999; ++i) {
    line.FileDone();  // far faster than ten a second: drawn once
  }
  line.FileDone();  // the last file is always drawn
  line.Finish();
  std::fclose(out);
  const std::string written = buffer;
  std::size_t draws = 0;
  for (std::size_t at = written.find("files"); at != std::string::npos;
       at = written.find("files", at + 1)) {
    ++draws;
  }
  EXPECT_GE(draws, 2u) << written;
  EXPECT_LT(draws, 10u) << written;  // not one per file
  EXPECT_NE(written.find("1000 of 1000 files"), std::string::npos);

  char silent[64] = {};
  std::FILE* quiet = fmemopen(silent, sizeof silent, "w");
  ProgressLine disabled(3, false, quiet);
  disabled.FileDone();
  disabled.Finish();
  std::fclose(quiet);
  EXPECT_STREQ(silent, "");
}

}  // namespace
