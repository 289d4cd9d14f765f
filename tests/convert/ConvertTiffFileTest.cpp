// The per-file conversion that every front end runs, without a dialog.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ClaimSlot.h"
#include "ConvertTiffFile.h"
#include "Demosaic.h"
#include "FileClaims.h"
#include "LibraryLoading.h"
#include "RawTiff.h"
#include "TempFolder.h"
#include "WrittenBmps.h"

namespace {

namespace fs = std::filesystem;

// Answers as told and notes when it was asked, and whether the BMP existed.
class RecordingOptions : public ConversionOptions {
 public:
  RecordingOptions(ConversionMode mode, bool remove, std::string bmp)
      : mode_(mode), remove_(remove), bmp_(std::move(bmp)) {}

  ConversionMode ModeAfterLoading() override {
    asked.push_back(fs::exists(bmp_) ? "mode, BMP written" : "mode");
    return mode_;
  }
  bool RemoveTiffAfterWriting() override {
    asked.push_back(fs::exists(bmp_) ? "remove, BMP written" : "remove");
    return remove_;
  }

  std::vector<std::string> asked;

 private:
  ConversionMode mode_;
  bool remove_;
  std::string bmp_;
};

class ConvertTiffFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(library_, nullptr); }
  void TearDown() override { FreeLibrary(library_); }

  // A 16 x 12 picture whose neighbouring samples differ as a colour
  // sensor's do, or a smooth one.
  std::string Tiff(const std::string& name, bool mosaic) {
    return WriteTiffAt(folder_.File(name), mosaic);
  }
  static std::string WriteTiffAt(const std::string& path, bool mosaic) {
    std::vector<unsigned char> samples;
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 16; ++x) {
        samples.push_back(
            static_cast<unsigned char>(mosaic ? ((x + y) % 2 ? 40 : 220) : 100 + x + y));
      }
    }
    WriteBytes(path, PlainTiff(16, 12, 8, 1, 3, samples));
    return path;
  }
  static std::string WriteMosaicTiff(const std::string& path) { return WriteTiffAt(path, true); }

  bool Convert(const std::string& path, ConversionOptions& options) {
    return ConvertTiffFile(ConversionFilesFor(path.c_str()), {library_, &entry_}, options);
  }

  static int BitsPerPixel(const std::string& bmp) { return ReadBytes(bmp).at(28); }

  // Converts name (in the folder, or a path as given), with Remove TIF on,
  // expecting the file exception that names it with a reason containing
  // `reason`.
  void ExpectRefused(const std::string& name, const std::string& reason) {
    ExpectRefusedAt(folder_.File(name), reason);
  }
  void ExpectRefusedAt(const std::string& path, const std::string& reason) {
    const std::string name = path;
    RecordingOptions options(ConversionMode::kAuto, true, "");
    try {
      Convert(path, options);
      ADD_FAILURE() << name << " was converted";
    } catch (CFileException* error) {
      EXPECT_EQ(error->m_strFileName.Str(), path);
      EXPECT_NE(error->m_strReason.Str().find(reason), std::string::npos)
          << error->m_strReason.Str();
      error->Delete();
    }
    EXPECT_TRUE(options.asked.empty()) << name;
  }

  HMODULE library_ = LoadLibraryA("Vantrel.dll");
  std::atomic<PFN_LOAD_GRAY_TIFF> entry_ = nullptr;
  TempFolder folder_;
};

TEST_F(ConvertTiffFileTest, AsksTheModeAfterLoadingAndRemovalAfterWriting) {
  const std::string tiff = Tiff("mosaic.tif", true);
  RecordingOptions options(ConversionMode::kAuto, true, folder_.File("mosaic.bmp"));
  EXPECT_TRUE(Convert(tiff, options));
  EXPECT_EQ(options.asked, (std::vector<std::string>{"mode", "remove, BMP written"}));
  EXPECT_NE(entry_.load(), nullptr);
  EXPECT_EQ(BitsPerPixel(folder_.File("mosaic.bmp")), 24);  // Auto found a mosaic
  EXPECT_FALSE(fs::exists(tiff));
}

TEST_F(ConvertTiffFileTest, ModesDecideTheBmpAndTheTiffStaysUnlessAsked) {
  const std::string smooth = Tiff("smooth.tif", false);
  RecordingOptions automatic(ConversionMode::kAuto, false, folder_.File("smooth.bmp"));
  Convert(smooth, automatic);
  EXPECT_EQ(BitsPerPixel(folder_.File("smooth.bmp")), 8);
  EXPECT_TRUE(fs::exists(smooth));

  RecordingOptions color(ConversionMode::kColor, false, folder_.File("smooth.bmp"));
  Convert(smooth, color);
  EXPECT_EQ(BitsPerPixel(folder_.File("smooth.bmp")), 24);

  const std::string mosaic = Tiff("mosaic.tif", true);
  RecordingOptions grayscale(ConversionMode::kGrayscale, false, folder_.File("mosaic.bmp"));
  Convert(mosaic, grayscale);
  EXPECT_EQ(BitsPerPixel(folder_.File("mosaic.bmp")), 8);
}

TEST_F(ConvertTiffFileTest, ColourBmpHoldsTheDemosaicedPictureBandAfterBand) {
  // Large enough for bands on every core, with an odd width (padded rows).
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 1101, 701));
  std::vector<unsigned char> samples;
  for (int y = 0; y < 701; ++y) {
    for (int x = 0; x < 1101; ++x) {
      const auto value = static_cast<unsigned char>((x * 13 + y * 7 + (x * y) % 17) % 256);
      gray.Pixel(x, y) = value;
      samples.push_back(value);
    }
  }
  WriteBytes(folder_.File("large.tif"), PlainTiff(1101, 701, 8, 1, 64, samples));
  RecordingOptions color(ConversionMode::kColor, false, folder_.File("large.bmp"));
  Convert(folder_.File("large.tif"), color);

  CVisImage<CVisRGBA<unsigned char>> expected(4, evispixfmtRGBAByte);
  DemosaicImage(gray, expected);
  CVisImage<CVisRGBA<unsigned char>> written(4, evispixfmtRGBAByte);
  written.ReadFile(folder_.File("large.bmp").c_str());
  ASSERT_EQ(written.Rect(), expected.Rect());
  EXPECT_EQ(
      std::memcmp(written.PbPixelMemory(), expected.PbPixelMemory(), expected.CbPixelMemory()), 0);
}

TEST_F(ConvertTiffFileTest, NamesThatWouldLoseAPictureAreRefused) {
  // Different TIFFs whose names differ only in the last three characters
  // share one BMP name: the second would overwrite the first's BMP.
  Tiff("img_001", false);
  const std::string second = Tiff("img_002", true);
  RecordingOptions first(ConversionMode::kAuto, true, folder_.File("img_bmp"));
  Convert(folder_.File("img_001"), first);
  const std::vector<unsigned char> written = ReadBytes(folder_.File("img_bmp"));
  ExpectRefused("img_002", "already written from another TIFF");
  EXPECT_TRUE(fs::exists(second));
  EXPECT_EQ(ReadBytes(folder_.File("img_bmp")), written);

  // A TIFF whose BMP name is its own name, under any spelling.
  const std::string scan = Tiff("scan.bmp", false);
  const std::vector<unsigned char> original = ReadBytes(scan);
  ExpectRefused("scan.bmp", "own name");
  EXPECT_EQ(ReadBytes(scan), original);
#ifndef _WIN32
  fs::rename(scan, folder_.File("link.bmp"));
  fs::create_symlink(folder_.File("link.bmp"), folder_.File("link.tif"));
  ExpectRefused("link.tif", "own name");
  EXPECT_EQ(ReadBytes(folder_.File("link.bmp")), original);
#endif

  // A file name of fewer than three characters: the cut would reach into
  // the folder's name and write beside the folder.
  fs::create_directory(folder_.File("sub"));
  const std::string shortName = Tiff("sub/ab", false);
  ExpectRefused("sub/ab", "too short");
  EXPECT_TRUE(fs::exists(shortName));
  EXPECT_FALSE(fs::exists(folder_.File("subbmp")));
}

// The current folder of the test while it lives.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

TEST_F(ConvertTiffFileTest, OneBmpNameSpelledInTwoWaysIsOneName) {
  const InFolder here(folder_.Path());
  Tiff("img_001", false);
  const std::string second = Tiff("img_002", true);
  RecordingOptions options(ConversionMode::kAuto, true, "");
  EXPECT_TRUE(Convert("img_001", options));
  const std::vector<unsigned char> written = ReadBytes(folder_.File("img_bmp"));
  // The refusal names the TIFF the BMP came from.
  ExpectRefusedAt("./img_002",
                  "already written from another TIFF (" + folder_.File("img_001") + ")");
  EXPECT_TRUE(fs::exists(second));
  EXPECT_EQ(ReadBytes(folder_.File("img_bmp")), written);

  // One TIFF given twice, in two spellings, is converted twice.
  Tiff("t.tif", false);
  RecordingOptions keep(ConversionMode::kAuto, false, "");
  EXPECT_TRUE(Convert("t.tif", keep));
  EXPECT_TRUE(Convert("./t.tif", keep));
  EXPECT_TRUE(Convert(folder_.File("t.tif"), keep));
}

// The record guards the file it wrote; once that file is replaced or gone,
// nothing of it is left to lose.
TEST_F(ConvertTiffFileTest, ABmpReplacedSinceByAnotherProgramIsNoLongerGuarded) {
  Tiff("img_001", false);
  Tiff("img_002", true);
  RecordingOptions options(ConversionMode::kAuto, false, "");
  EXPECT_TRUE(Convert(folder_.File("img_001"), options));
  WriteBytes(folder_.File("img_bmp"), {'o', 't', 'h', 'e', 'r'});
  EXPECT_TRUE(Convert(folder_.File("img_002"), options));
  EXPECT_EQ(BitsPerPixel(folder_.File("img_bmp")), 24);
  fs::remove(folder_.File("img_bmp"));
  EXPECT_TRUE(Convert(folder_.File("img_001"), options));
  EXPECT_EQ(BitsPerPixel(folder_.File("img_bmp")), 8);
}

// A program that saves by writing a new file and renaming it over the old
// one replaces the TIFF while it is converted: the new file is kept, and
// that is said, never deleted unconverted.
class ReplacingOptions : public RecordingOptions {
 public:
  ReplacingOptions(std::string tiff, std::string replacement)
      : RecordingOptions(ConversionMode::kAuto, true, ""),
        tiff_(std::move(tiff)),
        replacement_(std::move(replacement)) {}
  bool RemoveTiffAfterWriting() override {
    fs::rename(replacement_, tiff_);  // after the TIFF was read, before it goes
    return true;
  }
  void TiffNotRemoved(const CString& path, const std::string& reason) override {
    notRemoved = path.Str() + ": " + reason;
  }
  std::string notRemoved;

 private:
  std::string tiff_;
  std::string replacement_;
};

TEST_F(ConvertTiffFileTest, ATiffSavedOverWhileItIsConvertedIsKept) {
  const std::string tiff = Tiff("a.tif", true);
  Tiff("saved.tmp", false);
  const std::vector<unsigned char> saved = ReadBytes(folder_.File("saved.tmp"));
  ReplacingOptions options(tiff, folder_.File("saved.tmp"));
  EXPECT_TRUE(Convert(tiff, options));
  EXPECT_EQ(options.notRemoved, tiff + ": the file changed while it was converted; it was kept");
  EXPECT_EQ(ReadBytes(tiff), saved);
  EXPECT_EQ(BitsPerPixel(folder_.File("a.bmp")), 24);  // from the mosaic that was read
}

// A slot's file grows by an entry a conversion, and the last entry of a BMP
// holds; once the file has grown, the slot is compacted: entries whose BMP
// is replaced, or by folder number gone, go, and at most kSlotEntries
// remain, the newest.
TEST_F(ConvertTiffFileTest, TheRecordKeepsTheLastEntryOfEachLiveBmpAndABoundedNumber) {
  if (LockFolder().empty()) {
    GTEST_SKIP() << "no lock folder: the record lives in the process";
  }
  // Two BMP names of one slot.
  const ConversionFiles first = ConversionFilesFor(folder_.File("a0.tif").c_str());
  std::string other;
  for (int i = 1; other.empty(); ++i) {
    // (Appended, not "a" + a number: GCC 12 warns falsely about that.)
    std::string name = "a";
    name += std::to_string(i) + ".tif";
    if (LockSlotOf(ConversionFilesFor(folder_.File(name).c_str()).outputKey) ==
        LockSlotOf(first.outputKey)) {
      other = folder_.File(name);
    }
  }
  const ConversionFiles second = ConversionFilesFor(other.c_str());
  const std::optional<FileLock> slot = TakeClaimSlot(first.outputKey);
  ASSERT_TRUE(slot);
  const std::string record = WrittenBmps::SlotFileOf(first.outputKey);
  fs::remove(record);
  const auto entries = [&] {
    const std::vector<unsigned char> bytes = ReadBytes(record);
    return std::count(bytes.begin(), bytes.end(), '\0') / 5;
  };
  const auto mentions = [&](const std::string& path) {
    const std::vector<unsigned char> bytes = ReadBytes(record);
    return std::search(bytes.begin(), bytes.end(), path.begin(), path.end()) != bytes.end();
  };
  // The same BMP written again from another TIFF: its last entry holds.
  WriteBytes(first.output.Str(), {'B', 'M'});
  ASSERT_EQ(WrittenBmps::Record(first.outputKey, first.output, second.tiffKey, second.tiff), "");
  fs::remove(first.output.Str());
  WriteBytes(first.output.Str(), {'B', 'M', '2'});
  ASSERT_EQ(WrittenBmps::Record(first.outputKey, first.output, first.tiffKey, first.tiff), "");
  EXPECT_EQ(entries(), 2);
  ASSERT_TRUE(
      WrittenBmps::SourceOf(first.outputKey, IdentityOfFile(first.output)).source.has_value());
  EXPECT_EQ(WrittenBmps::SourceOf(first.outputKey, IdentityOfFile(first.output)).source->tiffKey,
            first.tiffKey);

  // A slot grown with live entries (all of one file here) and then one of a
  // BMP since removed keeps the newest live ones.
  WriteBytes(second.output.Str(), {'B', 'M'});
  fs::remove(first.output.Str());
  const FileIdentity identity = *IdentityOfFile(second.output);
  std::vector<unsigned char> grown;
  const auto add = [&](const std::string& key, const ConversionFiles& files) {
    for (const std::string& field :
         {key, files.output.Str(), files.tiffKey, files.tiff.Str(), IdentityText(identity)}) {
      grown.insert(grown.end(), field.begin(), field.end());
      grown.push_back('\0');
    }
  };
  for (std::size_t i = 0; i < WrittenBmps::kSlotEntries + 10; ++i) {
    add(second.outputKey + "-" + std::to_string(i), second);
  }
  add(first.outputKey, first);
  WriteBytes(record, grown);
  ASSERT_EQ(WrittenBmps::Record(second.outputKey, second.output, second.tiffKey, second.tiff), "");
  EXPECT_EQ(entries(), static_cast<long>(WrittenBmps::kSlotEntries));
#ifdef _WIN32
  // Keys by path keep the entries of files that are gone: a drive may only
  // be away.
  EXPECT_TRUE(mentions(first.output.Str()));
#else
  EXPECT_FALSE(mentions(first.output.Str()));
#endif
  EXPECT_TRUE(
      WrittenBmps::SourceOf(second.outputKey, IdentityOfFile(second.output)).source.has_value());
  EXPECT_FALSE(
      WrittenBmps::SourceOf(first.outputKey, IdentityOfFile(first.output)).source.has_value());
  fs::remove(record);
}

// Entries by path of files that are away stay through compaction, the 32
// newest of them: the parts do not grow past their bound with the entries
// of files deleted for good.
TEST_F(ConvertTiffFileTest, CompactionKeepsTheNewestEntriesOfFilesAway) {
  if (LockFolder().empty()) {
    GTEST_SKIP() << "no lock folder: the record lives in the process";
  }
  const ConversionFiles files = ConversionFilesFor(folder_.File("r.tif").c_str());
  const std::optional<FileLock> slot = TakeClaimSlot(files.outputKey);
  ASSERT_TRUE(slot);
  const std::string record = WrittenBmps::SlotFileOf(files.outputKey);
  const std::string kept = folder_.File("kept-record");
  if (fs::exists(record)) {
    fs::copy_file(record, kept);
  }
  // Far past any bound this process has compacted the part to.
  const std::string gone = (fs::path(folder_.File("gone")) / std::string(180, 'g')).string();
  std::vector<unsigned char> bytes;
  for (int i = 0; i < 6000; ++i) {
    const std::string path = gone + std::to_string(i) + ".bmp";
    for (const std::string& field : {path, path, path + ".tif", path + ".tif", std::string()}) {
      bytes.insert(bytes.end(), field.begin(), field.end());
      bytes.push_back('\0');
    }
  }
  WriteBytes(record, bytes);
  WriteBytes(files.output.Str(), {'B', 'M'});
  ASSERT_EQ(WrittenBmps::Record(files.outputKey, files.output, files.tiffKey, files.tiff), "");
  const std::vector<unsigned char> after = ReadBytes(record);
  const std::string text(after.begin(), after.end());
  EXPECT_EQ(std::count(after.begin(), after.end(), '\0'), (32 + 1) * 5);
  EXPECT_NE(text.find(gone + "5999.bmp"), std::string::npos);
  EXPECT_NE(text.find(gone + "5968.bmp"), std::string::npos);
  EXPECT_EQ(text.find(gone + "5967.bmp"), std::string::npos);
  fs::remove(record);
  if (fs::exists(kept)) {
    fs::copy_file(kept, record);
  }
}

#ifndef _WIN32
// A part of the record that cannot be read whole as ours fails closed: a
// BMP it may protect is not replaced, nothing is recorded in it (so a
// conversion keeps its TIFF), and the part is left exactly as it was, never
// followed, never rewritten. None of them makes a run wait.
TEST_F(ConvertTiffFileTest, ADamagedPartOfTheRecordFailsClosed) {
  if (LockFolder().empty()) {
    GTEST_SKIP() << "no lock folder: the record lives in the process";
  }
  const std::string entry = std::string("@1:2/a.bmp") + '\0' + "/a.bmp" + '\0' + "@1:2/a.tif" +
                            '\0' + "/a.tif" + '\0' + "1:2:3@4" + '\0';
  struct Row {
    const char* name;
    std::function<void(const std::string& record, const std::string& victim)> damage;
    const char* reason;
  };
  const auto bytes = [](const std::string& path, const std::string& text) {
    WriteBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
  };
  const Row rows[] = {
      {"folder",
       [](const std::string& record, const std::string&) { fs::create_directory(record); },
       "not a regular file"},
      {"link",
       [](const std::string& record, const std::string& victim) {
         fs::create_symlink(victim, record);
       },
       "symbolic link"},
      {"pipe", [](const std::string& record, const std::string&) { mkfifo(record.c_str(), 0600); },
       "not a regular file"},
      {"junk before an entry",
       [&](const std::string& record, const std::string&) { bytes(record, "junk" + entry); },
       "other than whole entries"},
      {"a torn entry before a good one",
       [&](const std::string& record, const std::string&) {
         bytes(record, entry.substr(0, 12) + entry);
       },
       "other than whole entries"},
      {"too large",
       [](const std::string& record, const std::string&) {
         WriteBytes(record, {});
         fs::resize_file(record, std::uintmax_t{17} << 20);
       },
       "larger than"},
  };
  for (const Row& row : rows) {
    TempFolder folder;
    WriteBytes(folder.File("r.bmp"), {'B', 'M'});
    WriteBytes(folder.File("victim"), {'v'});
    const ConversionFiles files = ConversionFilesFor(folder.File("r.tif").c_str());
    std::optional<FileLock> slot = TakeClaimSlot(files.outputKey);
    ASSERT_TRUE(slot);
    const std::string record = WrittenBmps::SlotFileOf(files.outputKey);
    const std::string kept = folder.File("kept-record");
    if (fs::exists(record)) {
      fs::copy_file(record, kept);
    }
    fs::remove(record);
    row.damage(record, folder.File("victim"));
    const auto before = fs::symlink_status(record);
    const std::uintmax_t size = fs::is_regular_file(before) ? fs::file_size(record) : 0;

    const WrittenBmps::SourceLookup lookup =
        WrittenBmps::SourceOf(files.outputKey, IdentityOfFile(files.output));
    EXPECT_NE(lookup.unreadable.find(row.reason), std::string::npos)
        << row.name << ": " << lookup.unreadable;
    const std::string failure =
        WrittenBmps::Record(files.outputKey, files.output, files.tiffKey, files.tiff);
    EXPECT_NE(failure.find(record), std::string::npos) << row.name << ": " << failure;
    EXPECT_EQ(fs::symlink_status(record).type(), before.type()) << row.name;
    if (fs::is_regular_file(before)) {
      EXPECT_EQ(fs::file_size(record), size) << row.name;
    }
    EXPECT_EQ(ReadBytes(folder.File("victim")), std::vector<unsigned char>{'v'}) << row.name;
    EXPECT_FALSE(fs::exists(record + ".new")) << row.name;
    slot.reset();

    // A conversion onto the existing BMP is refused and leaves it.
    WriteMosaicTiff(folder.File("r.tif"));
    ExpectRefusedAt(folder.File("r.tif"), "the record of which TIFF it came from cannot be read");
    EXPECT_EQ(ReadBytes(folder.File("r.bmp")), (std::vector<unsigned char>{'B', 'M'})) << row.name;
    fs::remove_all(record);
    if (fs::exists(kept)) {
      fs::copy_file(kept, record);
    }
  }
}

// Compaction drops an entry only when its path still leads to its key and
// the file there is another: after its folder is renamed, or while the file
// is away (a drive unmounted, which numbers its folders anew when it comes
// back), the BMP stays known and a later conversion does not replace it.
TEST_F(ConvertTiffFileTest, CompactionKeepsTheEntriesOfBmpsMovedOrAway) {
  if (LockFolder().empty()) {
    GTEST_SKIP() << "no lock folder: the record lives in the process";
  }
  struct Row {
    const char* name;
    // What happens to shots/img_001.bmp before the record is compacted, and
    // after; returns the folder the BMP is then in.
    std::function<std::string(const std::string& shots)> before;
    std::function<void(const std::string& shots)> after;
  };
  std::vector<unsigned char> away;
  fs::file_time_type awaySince;
  const Row rows[] = {
      {"folder renamed",
       [](const std::string& shots) {
         fs::rename(shots, shots + "_2026");
         return shots + "_2026";
       },
       [](const std::string&) {}},
      {"file away and back",
       [&](const std::string& shots) {
         away = ReadBytes(shots + "/img_001.bmp");
         awaySince = fs::last_write_time(shots + "/img_001.bmp");
         fs::remove(shots + "/img_001.bmp");
         return shots;
       },
       [&](const std::string& shots) {
         WriteBytes(shots + "/img_001.bmp", away);
         fs::last_write_time(shots + "/img_001.bmp", awaySince);
       }},
  };
  for (const Row& row : rows) {
    TempFolder folder;
    const std::string shots = folder.File("shots");
    fs::create_directory(shots);
    RecordingOptions options(ConversionMode::kAuto, false, "");
    ASSERT_TRUE(Convert(WriteMosaicTiff(shots + "/img_001.tif"), options));
    const ConversionFiles files = ConversionFilesFor((shots + "/img_001.tif").c_str());
    const std::string now = row.before(shots);
    // Both parts of the BMP grow past their bound with entries of a live BMP
    // under other keys of their slots, and are compacted.
    WriteBytes(folder.File("other.bmp"), {'B', 'M'});
    for (const std::string& bmpKey : {files.outputKey, files.outputPathKey}) {
      const std::optional<FileLock> slot = TakeClaimSlot(bmpKey);
      ASSERT_TRUE(slot);
      int added = 0;
      for (int i = 0; added < 200; ++i) {
        const std::string key = bmpKey + "-" + std::to_string(i);
        if (LockSlotOf(key) == LockSlotOf(bmpKey)) {
          ASSERT_EQ(
              WrittenBmps::Record(key, folder.File("other.bmp").c_str(), files.tiffKey, files.tiff),
              "");
          ++added;
        }
      }
    }
    row.after(shots);
    const std::vector<unsigned char> written = ReadBytes(now + "/img_001.bmp");
    const std::string other = WriteMosaicTiff(now + "/img_001.tiff");
    ExpectRefusedAt(other, "already written from another TIFF");
    EXPECT_EQ(ReadBytes(now + "/img_001.bmp"), written) << row.name;
  }
}
#endif

#ifdef _WIN32
// Windows names: both slashes and drive letters end a folder's name, and
// letter case makes no other file.
TEST_F(ConvertTiffFileTest, WindowsPathRulesKnowBothSlashesAndLetterCase) {
  fs::create_directory(folder_.File("sub"));
  Tiff("sub\\ab", false);
  ExpectRefused("sub\\ab", "too short");
  EXPECT_FALSE(fs::exists(folder_.File("subbmp")));
  EXPECT_TRUE(fs::exists(folder_.File("sub\\ab")));

  EXPECT_EQ(ConversionFilesFor(folder_.File("A.tif").c_str()).outputKey,
            ConversionFilesFor(folder_.File("a.TIF").c_str()).outputKey);
  Tiff("Img_001", false);
  Tiff("img_002", true);
  RecordingOptions options(ConversionMode::kAuto, true, "");
  EXPECT_TRUE(Convert(folder_.File("Img_001"), options));
  ExpectRefused("img_002", "already written from another TIFF");
  EXPECT_TRUE(fs::exists(folder_.File("img_002")));
}
#endif

// A conversion clears the temporary files that killed writers left in its
// BMP's folder; a BMP that cannot be written is named beside the TIFF.
TEST_F(ConvertTiffFileTest, LeftoversGoAndAFailedWriteNamesBothFiles) {
  const std::string orphan = folder_.File(".tessary-0123abcd.tmp");
  WriteBytes(orphan, {1, 2, 3});
  fs::last_write_time(orphan, fs::last_write_time(orphan) - std::chrono::minutes(2));
  RecordingOptions options(ConversionMode::kAuto, false, "");
  EXPECT_TRUE(Convert(Tiff("a.tif", false), options));
  EXPECT_FALSE(fs::exists(orphan));

  const std::string tiff = Tiff("b.tif", false);
  fs::create_directory(folder_.File("b.bmp"));
  try {
    Convert(tiff, options);
    ADD_FAILURE() << "a folder was written as a BMP";
  } catch (CFileException* error) {
    EXPECT_EQ(error->m_strFileName.Str(), tiff);
    EXPECT_EQ(error->m_strReason.Str(),
              "its BMP \"" + folder_.File("b.bmp") + "\" could not be written: not a regular file");
    error->Delete();
  }
}

#ifndef _WIN32
// In a folder whose absolute name is longer than the system takes, a TIFF
// named from inside it is converted and removed like any other.
TEST_F(ConvertTiffFileTest, FoldersDeeperThanAPathCanNameWork) {
  const InFolder here(folder_.Path());
  const std::string level(200, 'd');
  int depth = 0;
  for (; depth < 25; ++depth) {
    ASSERT_EQ(mkdir(level.c_str(), 0700), 0);
    ASSERT_EQ(chdir(level.c_str()), 0);
  }
  WriteBytes("a.tif", PlainTiff(4, 2, 8, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8}));
  RecordingOptions options(ConversionMode::kGrayscale, true, "");
  try {
    EXPECT_TRUE(Convert("a.tif", options));
  } catch (CFileException* error) {
    ADD_FAILURE() << error->m_strReason.Str();
    error->Delete();
  }
  EXPECT_FALSE(fs::exists("a.tif"));
  EXPECT_TRUE(fs::exists("a.bmp"));
  // The folders are removed from the inside out: no name reaches the deepest.
  unlink("a.tif");
  unlink("a.bmp");
  for (; depth > 0; --depth) {
    ASSERT_EQ(chdir(".."), 0);
    ASSERT_EQ(rmdir(level.c_str()), 0);
  }
}
#endif

// Answers as told, and gives up a wait as soon as it is told of it.
class GivingUpOptions : public RecordingOptions {
 public:
  GivingUpOptions() : RecordingOptions(ConversionMode::kAuto, true, "") {}
  bool StopRequested() override { return stop; }
  void WaitingFor(const CString& path, bool inThisProcess) override {
    waitedFor = path.Str();
    waitedInThisProcess = inThisProcess;
    stop = true;
  }
  std::atomic<bool> stop = false;
  std::string waitedFor;
  bool waitedInThisProcess = true;
};

// Another program holding the TIFF's claim: the wait is reported, naming
// the TIFF, and ends when the user asks; the file is left untouched.
TEST_F(ConvertTiffFileTest, AWaitForAnotherProgramIsReportedAndEndsOnRequest) {
  const std::string tiff = Tiff("held.tif", false);
  const ConversionFiles files = ConversionFilesFor(tiff.c_str());
  std::optional<FileLock> other = TakeClaimSlot(files.tiffKey);
  ASSERT_TRUE(other.has_value());
  GivingUpOptions options;
  auto converted = std::async(std::launch::async, [&] { return Convert(tiff, options); });
  if (converted.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    options.stop = true;
    FAIL() << "the wait did not end";
  }
  EXPECT_FALSE(converted.get());
  EXPECT_EQ(options.waitedFor, tiff);
  EXPECT_FALSE(options.waitedInThisProcess);  // a lock slot: another program
  EXPECT_TRUE(options.asked.empty());
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"held.tif"});
}

TEST_F(ConvertTiffFileTest, WithoutTheLoaderLibraryNothingIsAskedOrWritten) {
  const std::string tiff = Tiff("a.tif", false);
  RecordingOptions options(ConversionMode::kAuto, true, folder_.File("a.bmp"));
  try {
    ConvertTiffFile(ConversionFilesFor(tiff.c_str()), {nullptr, &entry_}, options);
    ADD_FAILURE() << "converted without the loader library";
  } catch (CFileException* error) {
    EXPECT_EQ(error->m_strFileName.Str(), tiff);
    EXPECT_EQ(error->m_cause, CFileException::generic);
    EXPECT_EQ(error->m_lOsError, -1);
    EXPECT_NE(error->m_strReason.Str().find("not loaded"), std::string::npos);
    error->Delete();
  }
  EXPECT_TRUE(options.asked.empty());
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"a.tif"});
}

}  // namespace
