// The operating-system layer itself, on every system it is built for.

#include <gtest/gtest.h>

#ifdef _WIN32
#include "WinTypes.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sched.h>
#include <sys/inotify.h>
#endif

#include <atomic>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FileCalls.h"
#include "FileLock.h"
#include "MemoryBlock.h"
#include "PrivateFile.h"
#include "Processors.h"
#include "RegularFile.h"
#include "ReplacingFile.h"
#include "TempFolder.h"
#include "TemporaryName.h"

namespace {

namespace fs = std::filesystem;

// Under AddressSanitizer every block comes from the heap, and none is kept.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kBlocksFromTheHeap = true;
#else
constexpr bool kBlocksFromTheHeap = false;
#endif

std::string Replace(const std::string& path, const std::string& text) {
  ReplacingFile file(path);
  std::string failure = file.Open();
  if (failure.empty()) {
    const FilePiece pieces[] = {{text.data(), text.size() / 2},
                                {text.data() + text.size() / 2, text.size() - text.size() / 2}};
    failure = file.Write(pieces);
  }
  return failure.empty() ? file.Commit() : failure;
}

std::string Text(const std::string& path) {
  const std::vector<unsigned char> bytes = ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

TEST(ReplacingFile, WritesNewFilesReplacesOldOnesAndLeavesNothingElse) {
  TempFolder folder;
  const std::string path = folder.File("picture.bmp");
  EXPECT_EQ(Replace(path, "first version"), "");
  EXPECT_EQ(Text(path), "first version");
  EXPECT_EQ(Replace(path, "second"), "");
  EXPECT_EQ(Text(path), "second");
  {
    ReplacingFile dropped(path);
    ASSERT_EQ(dropped.Open(), "");
    ASSERT_EQ(dropped.Write("never seen", 10), "");
  }
  EXPECT_EQ(Text(path), "second");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"picture.bmp"});
}

TEST(ReplacingFile, ReadOnlyFilesAndFoldersAreRefusedAndKept) {
  TempFolder folder;
  const std::string path = folder.File("kept.bmp");
  WriteBytes(path, {'o', 'l', 'd'});
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(Replace(path, "new"), "the file is read-only");
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(Text(path), "old");

  fs::create_directory(folder.File("folder.bmp"));
  EXPECT_EQ(Replace(folder.File("folder.bmp"), "new"), "not a regular file");
  EXPECT_TRUE(fs::is_directory(folder.File("folder.bmp")));
  EXPECT_EQ(folder.Names().size(), 2u);
}

// A writer of new files only: an existing file is refused at once, and one
// that appears while the new one is written is kept, mode and all.
TEST(ReplacingFile, ANewFileOnlyKeepsAFileThatAppearsMeanwhile) {
  TempFolder folder;
  const std::string path = folder.File("mean.bmp");
  WriteBytes(path, {'o', 'l', 'd'});
  EXPECT_EQ(ReplacingFile(path, false).Open(), "the file exists");
  fs::remove(path);

  ReplacingFile file(path, false);
  ASSERT_EQ(file.Open(), "");
  ASSERT_EQ(file.Write("new", 3), "");
  WriteBytes(path, {'t', 'h', 'e', 'i', 'r', 's'});
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(file.Commit(), "a file of that name appeared meanwhile; it was kept");
  EXPECT_EQ(Text(path), "theirs");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::owner_write, fs::perms::none);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"mean.bmp"});

  const std::string fresh = folder.File("fresh.bmp");
  ReplacingFile created(fresh, false);
  ASSERT_EQ(created.Open(), "");
  ASSERT_EQ(created.Write("made", 4), "");
  EXPECT_EQ(created.Commit(), "");
  EXPECT_EQ(Text(fresh), "made");
  EXPECT_EQ(folder.Names().size(), 2u);
}

#ifdef __linux__
// A new file appears under its own name only: a writer killed at any moment
// leaves no temporary name behind. Replacing goes through one.
TEST(ReplacingFile, ANewFileIsLinkedStraightToItsName) {
  TempFolder folder;
  const int watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, folder.Path().c_str(), IN_CREATE | IN_MOVED_TO), 0);
  EXPECT_EQ(Replace(folder.File("new.bmp"), "picture"), "");
  EXPECT_EQ(Replace(folder.File("new.bmp"), "replaced"), "");
  std::vector<std::string> appeared;
  alignas(inotify_event) char events[4096];
  const ssize_t length = read(watch, events, sizeof events);
  for (ssize_t at = 0; at < length;) {
    const auto* event = reinterpret_cast<const inotify_event*>(events + at);
    appeared.push_back(event->name);
    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
  }
  close(watch);
  ASSERT_EQ(appeared.size(), 3u);
  EXPECT_EQ(appeared[0], "new.bmp");
  EXPECT_TRUE(IsTemporaryName(appeared[1].c_str())) << appeared[1];
  EXPECT_EQ(appeared[2], "new.bmp");
  EXPECT_EQ(Text(folder.File("new.bmp")), "replaced");
}
#endif

// Holds a temporary file as a replacing writer does while it works.
class HeldAsWriter {
 public:
  explicit HeldAsWriter(const std::string& path) {
#ifdef _WIN32
    file_ = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    file_ = ::open(path.c_str(), O_WRONLY);
    ::flock(file_, LOCK_EX);
#endif
  }
  ~HeldAsWriter() {
#ifdef _WIN32
    ::CloseHandle(file_);
#else
    ::close(file_);
#endif
  }
  HeldAsWriter(const HeldAsWriter&) = delete;
  HeldAsWriter& operator=(const HeldAsWriter&) = delete;

 private:
#ifdef _WIN32
  HANDLE file_;
#else
  int file_;
#endif
};

// Temporary files of killed writers go; those of living writers, those
// just written and other files stay.
TEST(ReplacingFile, OrphanedTemporaryFilesAreRemovedAndOthersKept) {
  TempFolder folder;
  const std::string orphan = folder.File(".tessary-0123abcd.tmp");
  const std::string fresh = folder.File(".tessary-89abcdef.tmp");
  const std::string alike = folder.File(".tessary-notours1.tmp");
  const std::string picture = folder.File("a.bmp");
  for (const std::string& file : {orphan, fresh, alike, picture}) {
    WriteBytes(file, {1});
  }
  const auto old = fs::last_write_time(fresh) - std::chrono::seconds(2 * kOrphanAgeSeconds);
  for (const std::string& file : {orphan, alike, picture}) {
    fs::last_write_time(file, old);
  }
  // A writer still at work holds its file, however old.
  const std::string held = folder.File(".tessary-fedcba98.tmp");
  WriteBytes(held, {2});
  fs::last_write_time(held, old);
  {
    const HeldAsWriter writer(held);
    EXPECT_EQ(RemoveOrphanedTemporaryFiles(folder.Path().string()), 1);
    EXPECT_FALSE(fs::exists(orphan));
    for (const std::string& file : {fresh, alike, picture, held}) {
      EXPECT_TRUE(fs::exists(file)) << file;
    }
  }
  EXPECT_EQ(RemoveOrphanedTemporaryFiles(folder.Path().string()), 1);
  EXPECT_FALSE(fs::exists(held));
}

TEST(TemporaryName, OnlyOurFormIsRecognised) {
  const std::string made = TemporaryNameIn("dir", '/');
  EXPECT_TRUE(IsTemporaryName(made.substr(4).c_str())) << made;
  EXPECT_FALSE(IsTemporaryName(".tessary-0123abc.tmp"));
  EXPECT_FALSE(IsTemporaryName(".tessary-0123abcd.tmpx"));
  EXPECT_FALSE(IsTemporaryName("tessary-0123abcd.tmp"));
  EXPECT_FALSE(IsTemporaryName(".tessary-0123ABCD.tmp"));
}

TEST(RegularFile, ReadsWholeFilesAndAtOffsets) {
  TempFolder folder;
  const std::string path = folder.File("data.bin");
  WriteBytes(path, {1, 2, 3, 4, 5, 6, 7});
  const FileContents contents = ReadRegularFile(path.c_str());
  ASSERT_EQ(contents.failure, "");
  ASSERT_EQ(contents.size, 7u);
  EXPECT_EQ(contents.bytes[6], 7);
  EXPECT_EQ(contents.bytes[7], 0);  // the terminating zero past the end

  const OpenedFile file = OpenRegularFile(path.c_str());
  ASSERT_EQ(file.failure, "");
  unsigned char middle[4] = {};
  EXPECT_EQ(ReadFileAt(file, 2, middle, sizeof middle), 4u);
  EXPECT_EQ(middle[0], 3);
  EXPECT_EQ(ReadFileAt(file, 5, middle, sizeof middle), 2u);  // the file ends
  CloseFile(file);

  EXPECT_NE(ReadRegularFile(folder.File("missing.bin").c_str()).failure, "");
  EXPECT_NE(OpenRegularFile(folder.Path().string().c_str()).failure, "");
}

#ifndef _WIN32
// The lock folder is one for every run of the user, whatever the
// environment, and it must be the user's alone: a folder, not a link, the
// user's own, and closed to everyone else.
TEST(FileLock, TheLockFolderIsTheUsersAloneOrRefusedWithTheReason) {
  EXPECT_EQ(LockFolder(), "/tmp/tessary-locks-" + std::to_string(getuid()));
  EXPECT_EQ(LockFolderFault(LockFolder()), "");
  TempFolder folder;
  const std::string good = folder.File("good");
  ASSERT_EQ(mkdir(good.c_str(), 0700), 0);
  EXPECT_EQ(LockFolderFault(good), "");
  const std::string open = folder.File("open");
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 01777), 0);
  EXPECT_EQ(LockFolderFault(open), "may be written or read by others (mode 1777, not 0700)");
  ASSERT_EQ(chmod(open.c_str(), 0750), 0);
  EXPECT_NE(LockFolderFault(open).find("mode 0750"), std::string::npos);
  const std::string link = folder.File("link");
  fs::create_directory_symlink(good, link);
  EXPECT_EQ(LockFolderFault(link), "is a symbolic link");
  WriteBytes(folder.File("file"), {'x'});
  EXPECT_EQ(LockFolderFault(folder.File("file")), "is not a folder");
  EXPECT_NE(LockFolderFault(folder.File("missing")).find("cannot be made"), std::string::npos);
  if (getuid() == 0) {
    const std::string theirs = folder.File("theirs");
    ASSERT_EQ(mkdir(theirs.c_str(), 0700), 0);
    ASSERT_EQ(chown(theirs.c_str(), 1234, 1234), 0);
    EXPECT_EQ(LockFolderFault(theirs), "belongs to another user (1234)");
  }
}
#endif

TEST(FileLock, ASecondTakerGetsTheLockOnlyAfterTheFirstLetsGo) {
  TempFolder folder;
  const std::string name = "test-" + folder.Path().filename().string();
  std::optional<FileLock> first = FileLock::TryNamed(name);
  ASSERT_TRUE(first.has_value());
  // Another taker, in another thread as in another process, is kept out.
  std::thread([&] { EXPECT_FALSE(FileLock::TryNamed(name).has_value()); }).join();
  first.reset();
  std::thread([&] {
    const std::optional<FileLock> second = FileLock::TryNamed(name);
    EXPECT_TRUE(second.has_value());
  }).join();
  EXPECT_FALSE(LockFolder().empty());
  std::filesystem::remove(LockFolder() + "/" + name);
}

// A name of the lock folder for one test, removed again when the test ends.
class LockFolderName {
 public:
  explicit LockFolderName(const std::string& stem)
      : name_(stem + "-" + std::to_string(std::random_device()())) {
    fs::remove(Path());
  }
  ~LockFolderName() { fs::remove(Path()); }
  const std::string& Name() const { return name_; }
  std::string Path() const { return LockFolder() + "/" + name_; }

 private:
  std::string name_;
};

TEST(PrivateFile, AppendsGrowTheFileAndNeverFollowALink) {
  ASSERT_FALSE(LockFolder().empty()) << LockFolderProblem();
  const LockFolderName record("test-record");
  std::uint64_t size = 0;
  EXPECT_EQ(AppendPrivateFile(record.Name(), "one", size), "");
  EXPECT_EQ(AppendPrivateFile(record.Name(), "two", size), "");
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(ReadPrivateFile(record.Name(), 100).bytes, "onetwo");
#ifndef _WIN32
  EXPECT_EQ(fs::status(record.Path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  TempFolder folder;
  WriteBytes(folder.File("victim"), {'v'});
  fs::remove(record.Path());
  fs::create_symlink(folder.File("victim"), record.Path());
  EXPECT_NE(AppendPrivateFile(record.Name(), "three", size), "");
  EXPECT_EQ(Text(folder.File("victim")), "v");
#endif
}

#ifndef _WIN32
// A write cut short (here by the limit on file sizes) is taken back whole.
TEST(PrivateFile, AnAppendCutShortIsUndone) {
  ASSERT_FALSE(LockFolder().empty()) << LockFolderProblem();
  const LockFolderName record("test-record-cut");
  std::uint64_t size = 0;
  ASSERT_EQ(AppendPrivateFile(record.Name(), "whole entry", size), "");
  std::string failure;
  std::thread([&] {
    // In a thread of its own, so that the signal and the limit touch no
    // other test; the limit is the process's, and is restored at once.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before {};
    sigaction(SIGXFSZ, &ignore, &before);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{size + 4, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    failure = AppendPrivateFile(record.Name(), "another entry", size);
    setrlimit(RLIMIT_FSIZE, &limit);
    sigaction(SIGXFSZ, &before, nullptr);
  }).join();
  EXPECT_NE(failure.find("could not be written"), std::string::npos) << failure;
  EXPECT_EQ(ReadPrivateFile(record.Name(), 100).bytes, "whole entry");
}

// The lock folder is held from its check on: a folder put at its name
// afterwards (here: mounted over it, in a mount namespace of a child
// process, as another user's open folder) gets no lock and no record; they
// go to the folder that was checked.
TEST(LockFolder, AFolderPutAtItsNameLaterIsNeverUsed) {
  ASSERT_FALSE(LockFolder().empty()) << LockFolderProblem();
  const LockFolderName lock("test-swap-lock");
  const LockFolderName record("test-swap-record");
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", LockFolder().c_str(), "tmpfs", 0, "mode=0777") != 0) {
      _exit(77);  // no mount namespace here
    }
    std::uint64_t size = 0;
    const bool locked = FileLock::TryNamed(lock.Name()).has_value();
    const bool recorded = AppendPrivateFile(record.Name(), "entry", size).empty();
    const bool inSwapped = fs::exists(lock.Path()) || fs::exists(record.Path());
    _exit(locked && recorded && !inSwapped ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "no mount namespace for this test here";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(fs::exists(lock.Path()));
  EXPECT_EQ(Text(record.Path()), "entry");
}
#endif

TEST(MemoryBlock, KeptBlocksServeTheNextPictureZeroedWhenAsked) {
  constexpr std::size_t kBytes = std::size_t{8} << 20;
  const MemoryBlockReuse reuse;
  const unsigned char* first = nullptr;
  {
    MemoryBlock block = AllocateZeroedBlock(kBytes);
    ASSERT_TRUE(block);
    EXPECT_EQ(block[kBytes - 1], 0);
    std::memset(block.get(), 0x5A, kBytes);
    first = block.get();
  }
  MemoryBlock again = AllocateZeroedBlock(kBytes);
  ASSERT_TRUE(again);
  for (std::size_t i = 0; i < kBytes; i += 4093) {
    ASSERT_EQ(again[i], 0) << i;
  }
  if (!kBlocksFromTheHeap) {
    EXPECT_EQ(again.get(), first);
  }
}

TEST(Platform, FlushReportsWhetherTheFileReachedTheDisk) {
  TempFolder folder;
  const std::string path = folder.File("written.bmp");
  WriteBytes(path, {'b', 'm'});
  EXPECT_TRUE(FlushFileToDisk(path.c_str()));
  EXPECT_FALSE(FlushFileToDisk(folder.File("missing.bmp").c_str()));
}

#ifdef __linux__
// A process started with taskset, or in a container with a CPU set, shares
// its work among the processors it may use, not among all the machine has.
TEST(Platform, OnlyTheProcessorsOfTheAffinityMaskCount) {
  EXPECT_GE(UsableProcessorCount(), 1);
  int narrowed = 0;
  std::thread([&] {
    cpu_set_t one;
    CPU_ZERO(&one);
    ASSERT_EQ(sched_getaffinity(0, sizeof one, &one), 0);
    int first = 0;
    while (!CPU_ISSET(first, &one)) {
      ++first;
    }
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    narrowed = UsableProcessorCount();
  }).join();
  EXPECT_EQ(narrowed, 1);
}
#endif

}  // namespace
