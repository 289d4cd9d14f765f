// Writing over an existing file: the file keeps what it was (its permission
// bits, its being a symbolic link), a read-only file is refused, and nothing
// is left behind by a writer that dies.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "ReplacingFile.h"
#include "TempFolder.h"
#include "VisError.h"
#include "VisImage.h"

namespace {

namespace fs = std::filesystem;

CVisImage<unsigned char> Picture(unsigned char value) {
  CVisImage<unsigned char> picture(1, evispixfmtGrayByte, CVisRect(0, 0, 3, 2));
  std::fill_n(picture.PbPixelMemory(), picture.CbPixelMemory(), value);
  return picture;
}

unsigned char FirstPixelOf(const std::string& path) {
  CVisImage<unsigned char> read(1, evispixfmtGrayByte);
  read.ReadFile(path.c_str());
  return read.PbPixelMemory()[0];
}

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

TEST(BmpReplace, ReplacedFileKeepsItsPermissionsAndLinks) {
  TempFolder folder;
  const std::string secret = folder.File("secret.bmp");
  Picture(1).WriteFile(secret.c_str());
  chmod(secret.c_str(), 0600);
  Picture(2).WriteFile(secret.c_str());
  EXPECT_EQ(ModeOf(secret), 0600u);
  EXPECT_EQ(FirstPixelOf(secret), 2);

  // The link stays a link; the file it leads to gets the new picture.
  fs::create_directory(folder.File("real"));
  const std::string target = folder.File("real/target.bmp");
  Picture(3).WriteFile(target.c_str());
  fs::create_symlink("real/target.bmp", folder.File("link.bmp"));
  Picture(4).WriteFile(folder.File("link.bmp").c_str());
  EXPECT_TRUE(fs::is_symlink(folder.File("link.bmp")));
  EXPECT_EQ(FirstPixelOf(target), 4);

  EXPECT_EQ(folder.Names().size(), 3u);  // secret.bmp, real, link.bmp: no leftovers
}

TEST(BmpReplace, ReadOnlyFileIsRefusedAndKept) {
  TempFolder folder;
  const std::string kept = folder.File("kept.bmp");
  Picture(5).WriteFile(kept.c_str());
  chmod(kept.c_str(), 0444);
  try {
    Picture(6).WriteFile(kept.c_str());
    ADD_FAILURE() << "a read-only file was replaced";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), kept);
    EXPECT_EQ(error.Reason(), "the file is read-only");
  }
  EXPECT_EQ(FirstPixelOf(kept), 5);
  EXPECT_EQ(ModeOf(kept), 0444u);
}

TEST(BmpReplace, EveryNameTheFolderAcceptsCanBeWritten) {
  TempFolder folder;
  const std::string longest = folder.File(std::string(251, 'n') + ".bmp");
  Picture(7).WriteFile(longest.c_str());
  EXPECT_EQ(FirstPixelOf(longest), 7);
}

TEST(BmpReplace, AWriterThatDiesLeavesNothing) {
  TempFolder folder;
  const pid_t child = fork();
  if (child == 0) {
    ReplacingFile file(folder.File("a.bmp"));
    const std::string data(1 << 20, 'x');
    const bool written = file.Open().empty() && file.Write(data.data(), data.size()).empty();
    _exit(written ? 0 : 1);  // dies as a kill would: no destructor, no commit
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(folder.Names().empty());
}

}  // namespace
