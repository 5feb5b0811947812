#include "zub/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/support/support.h"
#include "zub/atomic_file_calls_linux.h"
#include "zub/fs.h"
#include "zub/platform.h"

namespace {

using testing_support::ChildCheck;
using testing_support::namesIn;
using testing_support::readFile;
using testing_support::runUnprivileged;
using testing_support::TempDir;
using testing_support::writeFile;

mode_t modeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode;
}

struct UmaskGuard {
  mode_t old;
  explicit UmaskGuard(mode_t mask) : old(umask(mask)) {}
  ~UmaskGuard() { umask(old); }
};

TEST(ReplaceFile, WritesANewFileWithTheUmaskApplied) {
  TempDir dir;
  for (mode_t mask : {mode_t(022), mode_t(077)}) {
    SCOPED_TRACE(mask);
    UmaskGuard umaskGuard(mask);
    const std::string path = dir / ("new" + std::to_string(mask));
    ASSERT_TRUE(zub::replaceFile(path, std::string("line\n\0\xFF", 7)));
    EXPECT_EQ(readFile(path), std::string("line\n\0\xFF", 7));
    EXPECT_EQ(modeOf(path) & 0777, 0666 & ~mask);
  }
  EXPECT_EQ(namesIn(dir.path), std::vector<std::string>({"new18", "new63"}));
}

TEST(ReplaceFile, ReplacesContentAndKeepsTheMode) {
  TempDir dir;
  const std::string path = dir / "marks";
  for (mode_t mode : {mode_t(0640), mode_t(0755), mode_t(0400)}) {
    SCOPED_TRACE(mode);
    writeFile(path, std::string(5000, 'o'));
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    ASSERT_TRUE(zub::replaceFile(path, "short"));
    EXPECT_EQ(readFile(path), "short");
    EXPECT_EQ(modeOf(path) & 0777, mode);
    ASSERT_TRUE(zub::replaceFile(path, ""));
    EXPECT_EQ(readFile(path), "");
  }
  EXPECT_EQ(namesIn(dir.path), std::vector<std::string>({"marks"}));
}

// Content that a source hands over in pieces of uneven length, each byte
// telling its position: a piece lost, repeated or misplaced shows.
struct Pattern {
  uint64_t size;
  uint64_t produced = 0;
  bool offsetsRight = true;
};

char patternByte(uint64_t position) { return static_cast<char>(position % 251); }

size_t fillPattern(void* context, uint64_t offset, char* out, size_t capacity) {
  Pattern& pattern = *static_cast<Pattern*>(context);
  if (offset == 0) pattern.produced = 0;
  pattern.offsetsRight = pattern.offsetsRight && offset == pattern.produced;
  const size_t n = static_cast<size_t>(
      std::min<uint64_t>(pattern.size - offset, capacity - offset % 1000));
  for (size_t i = 0; i < n; ++i) out[i] = patternByte(offset + i);
  pattern.produced += n;
  return n;
}

std::string patternOf(uint64_t size) {
  std::string text(size, '\0');
  for (uint64_t i = 0; i < size; ++i) text[i] = patternByte(i);
  return text;
}

TEST(ReplaceFile, ContentFromASourceArrivesWholeInAnyNumberOfPieces) {
  TempDir dir;
  const uint64_t piece = zub::contentPieceCapacity;
  for (uint64_t size : {uint64_t(0), uint64_t(1), piece, 3 * piece + 17}) {
    SCOPED_TRACE(size);
    const std::string created = dir / ("created" + std::to_string(size));
    const std::string replaced = dir / ("replaced" + std::to_string(size));
    writeFile(replaced, std::string(5000, 'o'));
    Pattern forCreate{size}, forReplace{size};
    EXPECT_TRUE(zub::createFile(created, zub::ContentSource{fillPattern, &forCreate}));
    EXPECT_TRUE(zub::replaceFile(replaced, zub::ContentSource{fillPattern, &forReplace}));
    EXPECT_EQ(readFile(created), patternOf(size));
    EXPECT_EQ(readFile(replaced), patternOf(size));
    EXPECT_TRUE(forCreate.offsetsRight && forReplace.offsetsRight);
  }
  EXPECT_EQ(namesIn(dir.path).size(), 8u);
}

// Runs in a child process under the file-size limit `limit`; exit 0 when
// replacing with `size` bytes failed and left SIGXFSZ as it found it.
int replaceBeyondTheSizeLimit(const std::string& path, rlim_t limit, uint64_t size) {
  const rlimit limits = {limit, limit};
  if (setrlimit(RLIMIT_FSIZE, &limits) != 0) return 10;
  Pattern pattern{size};
  if (zub::replaceFile(path, zub::ContentSource{fillPattern, &pattern})) return 1;
  struct sigaction now {};
  sigaction(SIGXFSZ, nullptr, &now);
  return now.sa_handler == SIG_DFL ? 0 : 2;
}

TEST(ReplaceFile, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  const std::string path = dir / "marks";
  const std::string old = "3\n2\nold content\n";
  const rlim_t piece = zub::contentPieceCapacity;
  struct Row {
    const char* what;
    rlim_t limit;
    uint64_t size;
  };
  const Row rows[] = {
      {"in the first piece", 100, 10 * 1024},
      {"in a middle piece", piece + 100, 3 * piece},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    writeFile(path, old);
    EXPECT_EXIT(std::exit(replaceBeyondTheSizeLimit(path, row.limit, row.size)),
                ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(namesIn(dir.path), std::vector<std::string>({"marks"}));
  }
}

// Links are resolved by the caller, which trusts only the user's own: a
// link that reaches these functions is left alone, and so is what it
// points to, existing or not.
TEST(ReplaceFile, NeitherWritesThroughALinkNorReplacesIt) {
  TempDir dir;
  writeFile(dir / "elsewhere", "precious");
  ASSERT_EQ(symlink("elsewhere", (dir / "marks").c_str()), 0);
  ASSERT_EQ(symlink("not-yet", (dir / "dangling").c_str()), 0);
  for (const char* name : {"marks", "dangling"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(zub::replaceFile(dir / name, "new"));
    EXPECT_FALSE(zub::createFile(dir / name, "new", 3));
    EXPECT_TRUE(S_ISLNK(modeOf(dir / name)));
  }
  EXPECT_EQ(readFile(dir / "elsewhere"), "precious");
  EXPECT_EQ(namesIn(dir.path), std::vector<std::string>({"dangling", "elsewhere", "marks"}));
}

// In a folder others may write, links planted under the names a save
// gives its temporaries neither redirect the write nor stop it.
TEST(ReplaceFile, PlantedTemporariesDoNotRedirectTheWrite) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path.c_str(), 0777), 0);
  writeFile(dir / "victim", "precious");
  writeFile(dir / "marks", "old");
  const std::string prefix = dir / ("marks.tmp-" + std::to_string(getpid()) + "-");
  for (int n = 0; n < 300; ++n) {
    ASSERT_EQ(symlink((dir / "victim").c_str(), (prefix + std::to_string(n)).c_str()), 0);
  }
  for (const char* content : {"new", "newer"}) {
    ASSERT_TRUE(zub::replaceFile(dir / "marks", content));
    EXPECT_EQ(readFile(dir / "marks"), content);
    EXPECT_TRUE(S_ISREG(modeOf(dir / "marks")));
  }
  EXPECT_EQ(readFile(dir / "victim"), "precious");
}

TEST(CreateFile, NeverOverAnythingThatExists) {
  TempDir dir;
  writeFile(dir / "old", "kept");
  ASSERT_EQ(mkdir((dir / "folder").c_str(), 0700), 0);
  EXPECT_FALSE(zub::createFile(dir / "old", "new", 3));
  EXPECT_FALSE(zub::createFile(dir / "folder", "new", 3));
  EXPECT_TRUE(zub::createFile(dir / "fresh", "new", 3));
  EXPECT_EQ(readFile(dir / "old"), "kept");
  EXPECT_EQ(readFile(dir / "fresh"), "new");
  EXPECT_EQ(namesIn(dir.path), std::vector<std::string>({"folder", "fresh", "old"}));
}

// A process id that no process has: a child that has ended and been reaped.
pid_t deadProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

TEST(ReplaceFile, RemovesTheTemporariesOfWritersThatAreGone) {
  TempDir dir;
  writeFile(dir / "marks", "old");
  const std::string dead = std::to_string(deadProcess());
  const std::string alive = std::to_string(getppid());
  const std::string self = std::to_string(getpid());
  struct Row {
    std::string name;
    bool removed;
  };
  const Row rows[] = {
      {"marks.tmp-" + dead + "-1", true},    // killed in the middle of a save
      {"marks.tmp-" + self + "-7", true},    // ours, from a save that failed
      {"marks.tmp-" + alive + "-1", false},  // a save under way elsewhere
      {"other.tmp-" + dead + "-1", false},   // another file's
      {"marks.tmp-x-1", false},              // not named as we name them
      {"marks.tmp-" + dead, false},
  };
  for (const Row& row : rows) writeFile(dir / row.name, "partial");
  ASSERT_TRUE(zub::replaceFile(dir / "marks", "new"));
  EXPECT_EQ(readFile(dir / "marks"), "new");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(testing_support::pathExists(dir / row.name), !row.removed);
  }
}

size_t fillTooMuch(void*, uint64_t, char*, size_t capacity) { return capacity + 1; }

// The folder is read once per file and run, since a save removes its own
// temporary; a failed save may have left one, so the next save looks again.
TEST(ReplaceFile, SweepsAgainAfterAFailedSave) {
  TempDir dir;
  const std::string path = dir / "marks";
  writeFile(path, "old");
  ASSERT_TRUE(zub::replaceFile(path, "first"));
  const std::string left = dir / ("marks.tmp-" + std::to_string(getpid()) + "-999999");
  writeFile(left, "partial");
  EXPECT_FALSE(zub::replaceFile(path, zub::ContentSource{fillTooMuch, nullptr}));
  EXPECT_EQ(readFile(path), "first");
  ASSERT_TRUE(zub::replaceFile(path, "second"));
  EXPECT_EQ(readFile(path), "second");
  EXPECT_EQ(namesIn(dir.path), std::vector<std::string>({"marks"}));
}

size_t fillNew(void*, uint64_t offset, char* out, size_t) {
  if (offset != 0) return 0;
  out[0] = 'n';
  return 1;
}

// A writer killed while it held the folder's lock leaves its temporary
// under the one fixed name: every later save under the lock removes it,
// also in a run that has swept the folder already. A save without the
// lock never does, since a locked writer may be filling it right now; nor
// does any save remove another user's file that merely has that name.
TEST(ReplaceFile, UnderTheLockAKilledWritersTemporaryGoesAtEverySave) {
  const struct {
    bool locked;
    bool othersFile;
    bool removed;
  } rows[] = {{true, false, true}, {false, false, false}, {true, true, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "locked " << row.locked << ", other's " << row.othersFile);
    TempDir dir;
    const std::string path = dir / "marks";
    writeFile(path, "old");
    ASSERT_TRUE(zub::replaceFile(path, "first"));  // this run's sweep
    writeFile(dir / "marks.tmp-locked", "partial");
    if (row.othersFile && chown((dir / "marks.tmp-locked").c_str(), 4242, 4242) != 0)
      GTEST_SKIP() << "needs root to give a file to another user";
    zub::FolderLock lock = row.locked ? zub::lockFolderOf(path) : zub::FolderLock();
    ASSERT_EQ(lock.handle != -1, row.locked);
    ASSERT_TRUE(zub::replaceFile(path, zub::ContentSource{fillNew, nullptr}, lock));
    EXPECT_EQ(readFile(path), "n");
    EXPECT_EQ(testing_support::pathExists(dir / "marks.tmp-locked"), !row.removed);
  }
}

// The lock keeps a second process waiting, and no longer than a bounded
// time: a holder that never lets go cannot stop a save for ever.
TEST(FolderLock, IsExclusiveBetweenProcessesAndItsWaitIsBounded) {
  TempDir dir;
  const std::string path = dir / "marks";
  zub::FolderLock held = zub::lockFolderOf(path);
  ASSERT_NE(held.handle, -1);
  const pid_t child = fork();
  if (child == 0) {
    zub::FolderLock other = zub::lockFolderOf(path);
    _exit(other.handle == -1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the second lock was taken";
  {
    // The lock moves with its handle and goes with the last owner.
    const zub::FolderLock moved = std::move(held);
    EXPECT_FALSE(held.held());
    EXPECT_TRUE(moved.held());
  }
  const zub::FolderLock again = zub::lockFolderOf(path);
  EXPECT_TRUE(again.held());
}

// What a save synced ("file", "folder") and renamed, in order.
std::vector<std::string> savedSteps;
int recordSync(int fd) {
  struct stat st {};
  savedSteps.push_back(fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? "sync folder" : "sync file");
  return fsync(fd);
}
int recordRename(int fromFolder, const char* from, int toFolder, const char* to) {
  savedSteps.push_back("rename");
  return renameat(fromFolder, from, toFolder, to);
}

// The new content is on disk before any name leads to it, and the folder
// is synced after the name is in place: a crash at any moment leaves the
// old content or the new one, never an empty file.
TEST(ReplaceFile, SyncsTheContentBeforeItsNameAndTheFolderAfter) {
  const struct {
    bool existing;
    std::vector<std::string> steps;
  } rows[] = {{true, {"sync file", "rename", "sync folder"}}, {false, {"sync file", "sync folder"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.existing ? "over a file" : "a new file");
    TempDir dir;
    const std::string path = dir / "marks";
    if (row.existing) {
      ASSERT_TRUE(writeFile(path, "old"));
    }
    savedSteps.clear();
    zub::syncCall = recordSync;
    zub::renameCall = recordRename;
    const bool saved = zub::replaceFile(path, std::string("new"));
    zub::syncCall = fsync;
    zub::renameCall = renameat;
    ASSERT_TRUE(saved);
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(savedSteps, row.steps);
  }
}

// As root the replacement is handed to the replaced file's owner and
// group: a save under sudo with HOME kept leaves the user's file the user's.
TEST(ReplaceFile, KeepsOwnerGroupAndMode) {
  if (geteuid() != 0) GTEST_SKIP() << "handing files to another user needs root";
  TempDir dir;
  const std::string path = dir / "marks";
  writeFile(path, "old");
  ASSERT_EQ(chown(path.c_str(), 4242, 4343), 0);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(zub::replaceFile(path, "new"));
  struct stat st {};
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4242u);
  EXPECT_EQ(st.st_gid, 4343u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(readFile(path), "new");
}

// A folder the user may not write, holding a marks file the user may:
// the file is rewritten where it lies.
TEST(ReplaceFile, RewritesInPlaceWhereTheFolderTakesNoNewFile) {
  TempDir dir;
  const std::string folder = dir / "locked";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string path = folder + "/marks";
  writeFile(path, "the old content, longer than the new");
  if (geteuid() == 0) {
    ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  const ChildCheck check = runUnprivileged([&](std::string& out) {
    out = zub::replaceFile(path, "new") ? "replaced" : "not replaced";
  });
  ASSERT_TRUE(check.ran) << check.output;
  EXPECT_EQ(check.output, "replaced");
  EXPECT_EQ(readFile(path), "new");
  EXPECT_EQ(namesIn(folder), std::vector<std::string>({"marks"}));
}

TEST(ReplaceFile, FailsCleanlyWhereNoFileCanBe) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "folder").c_str(), 0700), 0);
  writeFile(dir / "folder/inside", "kept");
  EXPECT_FALSE(zub::replaceFile(dir / "folder", "x"));
  EXPECT_EQ(readFile(dir / "folder/inside"), "kept");
  EXPECT_FALSE(zub::replaceFile(dir / "missing/marks", "x"));
  EXPECT_FALSE(zub::replaceFile(dir / "folder/inside/below", "x"));
  EXPECT_EQ(namesIn(dir.path), std::vector<std::string>({"folder"}));
  EXPECT_EQ(namesIn(dir / "folder"), std::vector<std::string>({"inside"}));
}

// As "nobody", for whom permission bits count: each wrong answer named.
void checkWritable(const std::string& root, std::string& wrong) {
  const auto expect = [&wrong](bool ok, const char* what) {
    if (!ok) wrong += std::string("wrong: ") + what + "\n";
  };
  expect(zub::isWritableFile((root + "/open").c_str()), "a file all may write");
  expect(!zub::isWritableFile((root + "/locked").c_str()), "a read-only file");
  expect(!zub::isWritableFile((root + "/missing").c_str()), "a missing file");
  expect(!zub::isWritableFile(root.c_str()), "a directory");
}

TEST(IsWritableFile, OnlyExistingRegularFilesTheUserMayWrite) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path.c_str(), 0777), 0);
  writeFile(dir / "open", "x");
  writeFile(dir / "locked", "x");
  ASSERT_EQ(chmod((dir / "open").c_str(), 0666), 0);
  ASSERT_EQ(chmod((dir / "locked").c_str(), 0444), 0);
  const ChildCheck check = runUnprivileged([&](std::string& wrong) { checkWritable(dir.path, wrong); });
  ASSERT_TRUE(check.ran) << check.output;
  EXPECT_EQ(check.output, "");
}

// Set up at start-up, every write of the program past the file-size limit
// fails with EFBIG instead of ending the process by SIGXFSZ.
TEST(PrepareProcess, AWritePastTheFileSizeLimitFailsAndTheProgramLivesOn) {
  TempDir dir;
  const std::string path = dir / "big";
  EXPECT_EXIT(
      {
        zub::platform::prepareProcess();
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 16;
        FILE* file = std::fopen(path.c_str(), "w");
        if (file == nullptr || setrlimit(RLIMIT_FSIZE, &limit) != 0) std::exit(2);
        const char bytes[64] = {};
        std::fwrite(bytes, 1, sizeof bytes, file);
        std::exit(std::fflush(file) != 0 && errno == EFBIG ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
