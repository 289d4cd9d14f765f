// Runs the program as a person would start it, and watches what it does.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "RunCommand.h"
#include "TempFolder.h"

namespace {

// The program ends once its dialog closes: a run that has not ended 10 s
// after it started is killed (status -1), so a hang at the end fails.
TEST(Program, LoadsTheLibraryBeforeTheDialogAndReleasesItBeforeTheApplication) {
  const Outcome outcome = RunCommand(
      "QT_QPA_PLATFORM=offscreen '" + (BinaryFolder() / "shell_probe").string() + "'", 10);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.output,
            "dialog open: loaded=1 allocated=1 freed=0\n"
            "status=Ready. auto=1 remove=0\n"
            "dialog destroyed: loaded=1 allocated=1 freed=0\n"
            "application destroyed: loaded=1 allocated=1 freed=1\n");
}

TEST(Program, StartsWithoutTheLoaderLibrary) {
  // The program and its libraries, less the loader, in a folder of their own.
  TempFolder folder;
  for (const auto& entry : std::filesystem::directory_iterator(BinaryFolder())) {
    const std::string name = entry.path().filename().string();
    if (name == "shell_probe" || (name.ends_with(".so") && name != "libVantrel.so")) {
      std::filesystem::copy(entry.path(), folder.Path() / name);
    }
  }
  const Outcome outcome =
      RunCommand("QT_QPA_PLATFORM=offscreen '" + folder.File("shell_probe") + "'", 10);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.output,
            "dialog open: loaded=0 allocated=0 freed=0\n"
            "status=Ready. auto=1 remove=0\n"
            "dialog destroyed: loaded=0 allocated=0 freed=0\n"
            "application destroyed: loaded=0 allocated=0 freed=0\n");
}

TEST(Program, WithoutADisplaySaysSoInOneLine) {
  const Outcome outcome = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" +
                                     (BinaryFolder() / "Tessary").string() + "'");
  EXPECT_NE(outcome.status, 0);
  EXPECT_NE(outcome.status, -1);  // an exit, not a signal
  EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), '\n'), 1) << outcome.output;
  EXPECT_NE(outcome.output.find("cannot open a display"), std::string::npos) << outcome.output;
}

}  // namespace
