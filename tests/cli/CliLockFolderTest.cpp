// tessary-cli and the user's lock folder: one record for every run, locks the
// system refuses, an unsafe folder, a folder through two mount points.

#include "CliTool.h"

namespace {

// Every run of the user shares the claims and the record, whatever its
// environment: a desktop's runtime folder or none (cron, ssh, su).
TEST_F(CliTool, EveryRunOfTheUserKeepsOneRecordWhateverItsEnvironment) {
  Tiff("img_001", false, 1);
  Tiff("img_002", true, 2);
  fs::create_directories(folder_.File("run"));
  const Outcome desktop = RunCommand(
      InFolder(folder_.Path(), "env XDG_RUNTIME_DIR='" + folder_.File("run") + "' " + Cli(),
               "convert --remove-tif img_001"));
  EXPECT_EQ(desktop.status, 0) << desktop.output;
  const std::vector<unsigned char> written = ReadBytes(folder_.File("img_bmp"));
  const Outcome cron = RunCommand(
      InFolder(folder_.Path(), "env -u XDG_RUNTIME_DIR " + Cli(), "convert --remove-tif img_002"));
  EXPECT_EQ(cron.status, 1);
  EXPECT_NE(cron.output.find("was already written from another TIFF (" + folder_.File("img_001")),
            std::string::npos)
      << cron.output;
  EXPECT_TRUE(fs::exists(folder_.File("img_002")));
  EXPECT_EQ(ReadBytes(folder_.File("img_bmp")), written);
}

// A lock the system refuses (here: no file descriptor left for the second
// of a conversion's two locks) is an error naming the lock and why, never a
// claim.
TEST_F(CliTool, ALockTheSystemRefusesIsAnError) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' run time needs more descriptors than the limit leaves";
#endif
  Tiff("a.tif", true, 1);
  // (The limit is set in a shell of its own, which first closes what it
  // inherited: the shell that redirects the output needs descriptors beyond
  // the limit.)
  const std::string script =
      "for fd in $(ls /proc/$$/fd); do if [ \"$fd\" -gt 2 ]; then eval \"exec $fd>&-\"; fi; done\n"
      "ulimit -n 4\nexec " +
      Cli() + " convert --jobs 1 a.tif\n";
  WriteBytes(folder_.File("limited.sh"), std::vector<unsigned char>(script.begin(), script.end()));
  const Outcome outcome = RunCommand(InFolder(folder_.Path(), "bash", "limited.sh"));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.output.find("a.tif: cannot open the lock "), std::string::npos)
      << outcome.output;
  EXPECT_NE(outcome.output.find("Too many open files"), std::string::npos);
  EXPECT_FALSE(fs::exists(folder_.File("a.bmp")));
}

// Runs script with sh in a mount namespace of its own (root only), so that
// it may mount without touching the machine; nullopt where that is not
// allowed.
std::optional<Outcome> InOwnMounts(const TempFolder& folder, const std::string& script) {
  if (RunCommand("unshare --mount --propagation private true").status != 0) {
    return std::nullopt;
  }
  WriteBytes(folder.File("script.sh"), std::vector<unsigned char>(script.begin(), script.end()));
  return RunCommand("unshare --mount --propagation private sh '" + folder.File("script.sh") + "'");
}

// A lock folder that another user made first (or that others may write) is
// said to be unsafe, and what needs its protection is refused: deleting a
// TIFF, replacing a BMP. A new BMP is still written.
TEST_F(CliTool, AnUnsafeLockFolderIsSaidAndRiskyStepsAreRefused) {
  Tiff("a.tif", true, 1);
  Tiff("b.tif", true, 2);
  Tiff("c.tif", false, 3);
  WriteBytes(folder_.File("b.bmp"), {'o', 'l', 'd'});
  const std::string locks = "/tmp/tessary-locks-" + std::to_string(getuid());
  fs::create_directories(folder_.File("squat"));
  const std::optional<Outcome> outcome = InOwnMounts(
      folder_, "cd '" + folder_.Path().string() + "' && mkdir -p -m 0700 " + locks +
                   " && chown 1234 squat && chmod 1777 squat && mount --bind squat " + locks +
                   " || exit 9\n" + Cli() + " convert --remove-tif a.tif; echo \"status $?\"\n" +
                   Cli() + " convert b.tif; echo \"status $?\"\n" + Cli() +
                   " convert c.tif; echo \"status $?\"\n");
  if (!outcome) {
    GTEST_SKIP() << "no mount namespace here (root only)";
  }
  const std::string why = "(the lock folder " + locks + " belongs to another user (1234))";
  EXPECT_NE(outcome->output.find("a.tif: without a claim against other programs the TIFF is not "
                                 "deleted " +
                                 why + "; it was kept\nstatus 1"),
            std::string::npos)
      << outcome->output;
  EXPECT_NE(outcome->output.find("\"b.bmp\" exists, and without a claim against other programs it "
                                 "is not replaced " +
                                 why + "\nstatus 1"),
            std::string::npos)
      << outcome->output;
  EXPECT_NE(outcome->output.find("\nstatus 0\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(folder_.File("a.tif")));
  EXPECT_TRUE(fs::exists(folder_.File("a.bmp")));
  EXPECT_EQ(ReadBytes(folder_.File("b.bmp")), (std::vector<unsigned char>{'o', 'l', 'd'}));
  EXPECT_TRUE(fs::exists(folder_.File("c.bmp")));
}

// One folder reached through two mount points is one folder: two TIFFs of
// one BMP name there are a pair, whichever way each is named.
TEST_F(CliTool, OneFolderThroughTwoMountPointsIsOneFolder) {
  fs::create_directories(folder_.File("real"));
  fs::create_directories(folder_.File("view"));
  Tiff("real/img_001", false, 1);
  Tiff("real/img_002", true, 2);
  const std::optional<Outcome> outcome = InOwnMounts(
      folder_, "cd '" + folder_.Path().string() + "' && mount --bind real view || exit 9\n" +
                   Cli() + " convert --jobs 1 --remove-tif real/img_001 view/img_002\n");
  if (!outcome) {
    GTEST_SKIP() << "no mount namespace here (root only)";
  }
  EXPECT_EQ(outcome->status, 1) << outcome->output;
  EXPECT_NE(outcome->output.find("view/img_002: \"view/img_bmp\" was already written from "
                                 "another TIFF ("),
            std::string::npos)
      << outcome->output;
  EXPECT_TRUE(fs::exists(folder_.File("real/img_002")));
  EXPECT_FALSE(fs::exists(folder_.File("real/img_001")));
  EXPECT_EQ(ReadBytes(folder_.File("real/img_bmp")).at(28), 8);  // img_001's, gray
}

// Runs script in the folder with an exFAT camera card, through FUSE, mounted
// at "card" (its loop device in $loop); nullopt where that is not allowed.
std::optional<Outcome> OnACameraCard(const TempFolder& folder, const std::string& script) {
  const std::optional<Outcome> outcome =
      InOwnMounts(folder, "cd '" + folder.Path().string() +
                              "' && truncate -s 16M card.img && mkfs.exfat card.img >/dev/null && "
                              "mkdir card && loop=$(losetup -f --show card.img) || exit 77\n"
                              "trap 'umount card 2>/dev/null; losetup -d $loop' EXIT\n"
                              "mount.exfat-fuse $loop card >/dev/null 2>&1 || exit 77\n" +
                              script);
  return outcome && outcome->status != 77 ? outcome : std::nullopt;
}

constexpr const char* kNoCameraCard =
    "no mount namespace, loop device or FUSE exFAT here (root, exfat-fuse, exfatprogs)";

// A camera card (exFAT, through FUSE) folds letter case: names that differ
// only in case are one file there, so they are one BMP, refused as a
// colliding pair whether the TIFFs come from other folders into an output
// folder on the card, or lie on the card themselves.
TEST_F(CliTool, NamesThatDifferOnlyInCaseAreOneFileOnACameraCard) {
  fs::create_directories(folder_.File("cam1"));
  fs::create_directories(folder_.File("cam2"));
  Tiff("cam1/IMG_0001.tif", true, 1);
  Tiff("cam2/img_0001.tif", true, 2);
  const std::optional<Outcome> outcome =
      OnACameraCard(folder_,
                    "mkdir card/out card/shots && cp cam1/IMG_0001.tif card/shots/img_001 && "
                    "cp cam2/img_0001.tif card/shots/IMG_002\n" +
                        Cli() +
                        " convert --jobs 1 --remove-tif --output-dir card/out cam1/IMG_0001.tif "
                        "cam2/img_0001.tif; echo \"status $?\"\n" +
                        Cli() +
                        " convert --jobs 1 --remove-tif card/shots/img_001 card/shots/IMG_002; "
                        "echo \"status $?\"\nls card/out card/shots\n");
  if (!outcome) {
    GTEST_SKIP() << kNoCameraCard;
  }
  EXPECT_NE(outcome->output.find("cam2/img_0001.tif: \"card/out/img_0001.bmp\" was already "
                                 "written from another TIFF"),
            std::string::npos)
      << outcome->output;
  EXPECT_NE(outcome->output.find("card/shots/IMG_002: \"card/shots/IMG_bmp\" was already "
                                 "written from another TIFF"),
            std::string::npos)
      << outcome->output;
  EXPECT_EQ(outcome->output.find("status 0"), std::string::npos) << outcome->output;
  EXPECT_FALSE(fs::exists(folder_.File("cam1/IMG_0001.tif")));
  EXPECT_TRUE(fs::exists(folder_.File("cam2/img_0001.tif")));
  EXPECT_NE(outcome->output.find("IMG_002\n"), std::string::npos) << outcome->output;
}

// A card mounted again numbers its folders anew (here: another folder is
// looked up first); the BMP written there from one TIFF is still known, and
// not replaced from another.
TEST_F(CliTool, ACameraCardMountedAgainStillKnowsItsBmps) {
  Tiff("img_001", false, 1);
  Tiff("img_002", true, 2);
  const std::optional<Outcome> outcome = OnACameraCard(
      folder_, "mkdir card/shots card/other && cp img_001 img_002 card/shots/\n" + Cli() +
                   " convert --jobs 1 --remove-tif card/shots/img_001 || exit 9\n"
                   "echo \"folder $(stat -c %i card/shots)\" && cp card/shots/img_bmp kept\n"
                   "umount card && mount.exfat-fuse $loop card >/dev/null 2>&1 || exit 9\n"
                   "ls card/other >/dev/null && echo \"folder $(stat -c %i card/shots)\"\n" +
                   Cli() +
                   " convert --jobs 1 --remove-tif card/shots/img_002; echo \"status $?\"\n"
                   "cmp kept card/shots/img_bmp && ls card/shots\n");
  if (!outcome) {
    GTEST_SKIP() << kNoCameraCard;
  }
  const std::size_t first = outcome->output.find("folder ");
  const std::size_t second = outcome->output.find("folder ", first + 1);
  ASSERT_NE(second, std::string::npos) << outcome->output;
  EXPECT_NE(outcome->output.substr(first, second - first),
            outcome->output.substr(second, second - first))
      << "the folder kept its number: " << outcome->output;
  EXPECT_NE(outcome->output.find("card/shots/img_002: \"card/shots/img_bmp\" was already written "
                                 "from another TIFF"),
            std::string::npos)
      << outcome->output;
  EXPECT_NE(outcome->output.find("status 1\nimg_002\nimg_bmp\n"), std::string::npos)
      << outcome->output;
}

}  // namespace
