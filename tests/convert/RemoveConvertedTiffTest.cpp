// Removing a converted TIFF only after its BMP is on disk, and only the file
// that was read.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

std::string RecordRenameAside(LPCSTR path) {
  calls.push_back(std::string("aside ") + path);
  return std::string(path) + ".aside";
}

BOOL RecordRenameBack(LPCSTR from, LPCSTR to) {
  calls.push_back(std::string("back ") + from + " " + to);
  return TRUE;
}

// The identity of every file as it was read, until changed is set.
bool changed = false;
const FileIdentity kRead{1, 2, 3, 4};
std::optional<FileIdentity> RecordIdentity(LPCSTR path) {
  calls.push_back(std::string("identity ") + path);
  return changed ? FileIdentity{1, 9, 3, 4} : kRead;
}

const TiffRemovalCalls kRecorded{&RecordFlush, &RecordIdentity, &RecordRenameAside, &RecordDelete,
                                 &RecordRenameBack};

TEST(RemoveConvertedTiff, FlushesTheBmpBeforeTheTiffGoesAndKeepsItWhenThatFails) {
  calls.clear();
  flushSucceeds = true;
  changed = false;
  EXPECT_EQ(RemoveConvertedTiff("/p/a.tif", "/p/a.bmp", kRead, kRecorded), "");
  EXPECT_EQ(calls,
            (std::vector<std::string>{"flush /p/a.bmp", "identity /p/a.tif", "aside /p/a.tif",
                                      "identity /p/a.tif.aside", "delete /p/a.tif.aside"}));

  calls.clear();
  flushSucceeds = false;
  try {
    RemoveConvertedTiff("/p/b.tif", "/p/b.bmp", kRead, kRecorded);
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
  calls.clear();
  flushSucceeds = true;
  changed = true;
  EXPECT_EQ(RemoveConvertedTiff("/p/a.tif", "/p/a.bmp", kRead, kRecorded),
            "the file changed while it was converted; it was kept");
  EXPECT_EQ(calls, (std::vector<std::string>{"flush /p/a.bmp", "identity /p/a.tif"}));
  calls.clear();
  EXPECT_NE(RemoveConvertedTiff("/p/a.tif", "/p/a.bmp", std::nullopt, kRecorded), "");
  EXPECT_TRUE(std::find(calls.begin(), calls.end(), "delete /p/a.tif") == calls.end());
  changed = false;
}

// Real files, with another program saving at the TIFF's name at each moment
// of the removal: whatever was saved survives, and only the converted file
// goes.
TEST(RemoveConvertedTiff, AFileSavedAtTheNameAtAnyMomentIsNeverTheOneDeleted) {
  struct Row {
    const char* moment;
    bool beforeTheCheckByName;  // the capture lands before the removal starts
    bool beforeTheRenameAside;  // ... after the check by name, before the rename
    bool afterTheRenameAside;   // ... once the converted file is aside
    std::vector<std::string> names;
    const char* said;
  };
  const Row rows[] = {
      {"never", false, false, false, {"a.bmp"}, ""},
      {"before the removal",
       true,
       false,
       false,
       {"a.bmp", "a.tif"},
       "the file changed while it was converted; it was kept"},
      {"between the check and the rename",
       false,
       true,
       false,
       {"a.bmp", "a.tif"},
       "the file changed while it was converted; it was kept"},
      {"once the file is aside", false, false, true, {"a.bmp", "a.tif"}, ""},
  };
  for (const Row& row : rows) {
    TempFolder folder;
    const std::string tiff = folder.File("a.tif");
    WriteBytes(tiff, {1});
    WriteBytes(folder.File("a.bmp"), {2});
    const std::optional<FileIdentity> read = IdentityOfFile(tiff.c_str());
    const auto capture = [&] {
      std::filesystem::remove(tiff);
      WriteBytes(tiff, {7, 7});
    };
    if (row.beforeTheCheckByName) {
      capture();
    }
    static std::function<void()> onIdentity;
    static std::function<void()> onAside;
    int identities = 0;
    onIdentity = [&] {
      if (row.beforeTheRenameAside && ++identities == 1) {
        capture();
      }
    };
    onAside = [&] {
      if (row.afterTheRenameAside) {
        capture();
      }
    };
    TiffRemovalCalls real;
    real.identityOf = [](LPCSTR path) {
      const std::optional<FileIdentity> identity = IdentityOfFile(path);
      onIdentity();
      return identity;
    };
    real.renameAside = [](LPCSTR path) {
      const std::string aside = RenameAside(path);
      onAside();
      return aside;
    };
    EXPECT_EQ(RemoveConvertedTiff(tiff, folder.File("a.bmp"), read, real), row.said) << row.moment;
    std::vector<std::string> names = folder.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, row.names) << row.moment;
    if (row.beforeTheCheckByName || row.beforeTheRenameAside || row.afterTheRenameAside) {
      EXPECT_EQ(ReadBytes(tiff), (std::vector<unsigned char>{7, 7})) << row.moment;
    }
  }
}

}  // namespace
