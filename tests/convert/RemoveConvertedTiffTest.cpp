// Removing a converted TIFF only after its BMP is on disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ConvertTiffFile.h"
#include "TempFolder.h"

namespace {

std::vector<std::string> calls;
bool flushSucceeds = true;

BOOL RecordFlush(LPCSTR path) {
  calls.push_back(std::string("flush ") + path);
  return flushSucceeds ? TRUE : FALSE;
}

BOOL RecordDelete(LPCSTR path) {
  calls.push_back(std::string("delete ") + path);
  return TRUE;
}

// The identity of every file as it was read, until changed is set.
bool changed = false;
const FileIdentity kRead{1, 2, 3, 4};
std::optional<FileIdentity> RecordIdentity(LPCSTR path) {
  calls.push_back(std::string("identity ") + path);
  return changed ? FileIdentity{1, 9, 3, 4} : kRead;
}

TEST(RemoveConvertedTiff, FlushesTheBmpBeforeTheTiffGoesAndKeepsItWhenThatFails) {
  const TiffRemovalCalls recorded{&RecordFlush, &RecordIdentity, &RecordDelete};
  calls.clear();
  flushSucceeds = true;
  changed = false;
  EXPECT_EQ(RemoveConvertedTiff("/p/a.tif", "/p/a.bmp", kRead, recorded), "");
  EXPECT_EQ(calls,
            (std::vector<std::string>{"flush /p/a.bmp", "identity /p/a.tif", "delete /p/a.tif"}));

  calls.clear();
  flushSucceeds = false;
  try {
    RemoveConvertedTiff("/p/b.tif", "/p/b.bmp", kRead, recorded);
    ADD_FAILURE() << "a failed flush went unreported";
  } catch (CFileException* error) {
    EXPECT_EQ(error->m_strFileName.Str(), "/p/b.tif");
    EXPECT_NE(error->m_strReason.Str().find("flushed"), std::string::npos);
    error->Delete();
  }
  EXPECT_EQ(calls, std::vector<std::string>{"flush /p/b.bmp"});
}

// A file saved over the TIFF while it was converted (another file at its
// name, found right before the deletion) is kept, and that is said.
TEST(RemoveConvertedTiff, AFileSavedOverTheTiffMeanwhileIsKept) {
  const TiffRemovalCalls recorded{&RecordFlush, &RecordIdentity, &RecordDelete};
  calls.clear();
  flushSucceeds = true;
  changed = true;
  EXPECT_EQ(RemoveConvertedTiff("/p/a.tif", "/p/a.bmp", kRead, recorded),
            "the file changed while it was converted; it was kept");
  EXPECT_EQ(calls, (std::vector<std::string>{"flush /p/a.bmp", "identity /p/a.tif"}));
  calls.clear();
  EXPECT_NE(RemoveConvertedTiff("/p/a.tif", "/p/a.bmp", std::nullopt, recorded), "");
  EXPECT_TRUE(std::find(calls.begin(), calls.end(), "delete /p/a.tif") == calls.end());
  changed = false;
}

TEST(RemoveConvertedTiff, RealFilesGoInOrder) {
  TempFolder folder;
  WriteBytes(folder.File("a.tif"), {1});
  WriteBytes(folder.File("a.bmp"), {2});
  RemoveConvertedTiff(folder.File("a.tif"), folder.File("a.bmp"),
                      IdentityOfFile(folder.File("a.tif").c_str()));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"a.bmp"});
}

}  // namespace
