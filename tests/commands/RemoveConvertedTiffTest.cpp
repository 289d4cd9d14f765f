// Removing a converted TIFF only after its BMP is on disk.

#include <gtest/gtest.h>

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

TEST(RemoveConvertedTiff, FlushesTheBmpBeforeTheTiffGoesAndKeepsItWhenThatFails) {
  const TiffRemovalCalls recorded{&RecordFlush, &RecordDelete};
  calls.clear();
  flushSucceeds = true;
  RemoveConvertedTiff("/p/a.tif", "/p/a.bmp", recorded);
  EXPECT_EQ(calls, (std::vector<std::string>{"flush /p/a.bmp", "delete /p/a.tif"}));

  calls.clear();
  flushSucceeds = false;
  try {
    RemoveConvertedTiff("/p/b.tif", "/p/b.bmp", recorded);
    ADD_FAILURE() << "a failed flush went unreported";
  } catch (CFileException* error) {
    EXPECT_EQ(error->m_strFileName.Str(), "/p/b.tif");
    EXPECT_NE(error->m_strReason.Str().find("flushed"), std::string::npos);
    error->Delete();
  }
  EXPECT_EQ(calls, std::vector<std::string>{"flush /p/b.bmp"});
}

TEST(RemoveConvertedTiff, RealFilesGoInOrder) {
  TempFolder folder;
  WriteBytes(folder.File("a.tif"), {1});
  WriteBytes(folder.File("a.bmp"), {2});
  RemoveConvertedTiff(folder.File("a.tif"), folder.File("a.bmp"));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"a.bmp"});
}

}  // namespace
