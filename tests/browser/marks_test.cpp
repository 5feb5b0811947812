#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "browser/browser_state.h"
#include "tests/browser/browser_fixture.h"
#include "zub/settings.h"

namespace {

using Marks = std::vector<int32_t>;

std::string key(const std::string& name) { return zub::digestHex(name); }

class MarksTest : public BrowserFixture {
 protected:
  void SetUp() override {
    BrowserFixture::SetUp();
    makeDir("d");
    makeFile("d/notes.txt");
    dir = at("d");
  }
  // Toggles entry `name` the way the keyboard command does.
  static void toggle(BrowserState& state, const std::string& name) {
    const int i = indexOf(state, name);
    ASSERT_GE(i, 0) << name;
    state.marks[i] = state.marks[i] == 0 ? 1 : 0;
    saveMarks(state);
    loadMarks(state);
    buildLines(state);
  }
  std::string dir;
};

TEST_F(MarksTest, FileHoldsCountSelectionAndOneLinePerEntry) {
  BrowserState state;
  openDirectory(dir.c_str(), state);
  toggle(state, "notes.txt");
  EXPECT_EQ(marksFileOf(dir), "3\n2\n" + key(".") + " 0\n" + key("..") + " 0\n" +
                                  key("notes.txt") + " 1\n\n");
  EXPECT_EQ(state.displayLines[2], "* notes.txt");
}

TEST_F(MarksTest, DirectoryWithNoEntriesStillGetsItsFile) {
  BrowserState state;
  openDirectory(at("gone").c_str(), state);
  state.selection = 7;
  saveMarks(state);
  EXPECT_EQ(marksFileOf(at("gone")), "0\n7\n\n");
}

TEST_F(MarksTest, FirstOpenOfARunNeverOverwritesStoredMarks) {
  const std::string stored = "3\n1\n" + key("notes.txt") + " 1\n" + key(".") + " 0\n" +
                             key("..") + " 0\n\n";
  writeMarksFile(dir, stored);
  BrowserState state;
  state.currentDirectory = dir;  // the start path, already in normal form
  openDirectory(state.currentDirectory.c_str(), state);
  EXPECT_EQ(marksFileOf(dir), stored);
  EXPECT_EQ(state.selection, 1);
  EXPECT_EQ(state.marks, (Marks{0, 0, 1}));
}

TEST_F(MarksTest, MarksAndSelectionComeBackAfterLeavingAndInANewRun) {
  makeDir("d/sub");
  makeFile("d/my file.txt");
  {
    BrowserState state;
    openDirectory(dir.c_str(), state);
    toggle(state, "my file.txt");
    state.selection = 4;
    openDirectory((dir + "/sub").c_str(), state);
    EXPECT_EQ(state.selection, 2);
    openDirectory((state.currentDirectory + "/..").c_str(), state);
    EXPECT_EQ(state.currentDirectory, dir);
    EXPECT_EQ(state.selection, 4);
    EXPECT_EQ(state.displayLines[indexOf(state, "my file.txt")], "* my file.txt");
    state.selection = 3;
    saveMarks(state);  // as the quit command does
  }
  BrowserState nextRun;
  openDirectory(dir.c_str(), nextRun);
  EXPECT_EQ(nextRun.selection, 3);
  EXPECT_EQ(nextRun.marks[indexOf(nextRun, "my file.txt")], 1);
  EXPECT_EQ(nextRun.marks[indexOf(nextRun, "notes.txt")], 0);
}

TEST_F(MarksTest, ReopeningTheCurrentDirectoryKeepsEverything) {
  BrowserState state;
  openDirectory(dir.c_str(), state);
  toggle(state, "notes.txt");
  state.selection = 0;
  makeFile("d/added");
  openDirectory((dir + "/.").c_str(), state);
  EXPECT_EQ(state.selection, 0);
  EXPECT_EQ(state.marks[indexOf(state, "notes.txt")], 1);
  EXPECT_EQ(state.marks[indexOf(state, "added")], 0);
}

TEST_F(MarksTest, MarksFollowNamesNotPositions) {
  makeFile("d/b");
  BrowserState state;
  openDirectory(dir.c_str(), state);
  toggle(state, "b");
  openDirectory(at("").c_str(), state);
  makeFile("d/a");  // shifts b one place down
  ASSERT_EQ(unlink(at("d/notes.txt").c_str()), 0);
  openDirectory(dir.c_str(), state);
  EXPECT_EQ(state.marks[indexOf(state, "b")], 1);
  EXPECT_EQ(state.marks[indexOf(state, "a")], 0);
  toggle(state, "a");
  EXPECT_EQ(marksFileOf(dir).find(key("notes.txt")), std::string::npos);
}

TEST_F(MarksTest, DamagedFilesLoadWhatCanBeRead) {
  const std::string dot = key("."), up = key(".."), notes = key("notes.txt");
  struct Row {
    std::string what;
    std::string content;
    Marks marks;  // for ".", "..", "notes.txt"
    int32_t selection;
  };
  const std::vector<Row> rows = {
      {"empty", "", {0, 0, 0}, 2},
      {"garbage", "lorem ipsum\n\x01\x02\xFF\n", {0, 0, 0}, 2},
      {"count only", "3\n", {0, 0, 0}, 2},
      {"negative selection", "0\n-1\n\n", {0, 0, 0}, -1},
      {"short", "5\n0\n" + notes + " 1\n", {0, 0, 1}, 0},
      {"duplicate keys, later wins", "2\n1\n" + notes + " 1\n" + notes + " 0\n", {0, 0, 0}, 1},
      {"duplicate keys other way", "2\n1\n" + notes + " 0\n" + notes + " 1\n", {0, 0, 1}, 1},
      {"mark of five", "1\n2\n" + notes + " 5\n", {0, 0, 5}, 2},
      {"any order, CR LF", "3\r\n2\r\n" + notes + " 1\r\n" + up + " 1\r\n" + dot + " 0\r\n\r\n",
       {0, 1, 1}, 2},
      {"huge count", "2000000000\n1\n" + notes + " 1\n", {0, 0, 1}, 1},
      {"count too small", "1\n0\n" + dot + " 1\n" + notes + " 1\n", {1, 0, 0}, 0},
      {"negative count", "-4\n0\n" + notes + " 1\n", {0, 0, 0}, 0},
      {"mark does not parse", "2\n0\n" + notes + " x\n" + up + " 1\n", {0, 0, 0}, 0},
      {"key of 1000 bytes", "2\n0\n" + std::string(1000, 'K') + " 1\n" + notes + " 1\n",
       {0, 0, 1}, 0},
      {"key cut to 255 bytes matches nothing", "1\n0\n" + notes + std::string(300, 'X') + " 1\n",
       {0, 0, 0}, 0},
      {"mark beyond 32 bits", "1\n0\n" + notes + " 99999999999\n", {0, 0, INT32_MAX}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    writeMarksFile(dir, row.content);
    BrowserState state;
    openDirectory(dir.c_str(), state);
    EXPECT_EQ(state.marks, row.marks);
    EXPECT_EQ(state.selection, row.selection);
    EXPECT_EQ(state.displayLines.size(), 3u);
  }
}

TEST_F(MarksTest, HandWrittenMarkSurvivesUntilToggled) {
  writeMarksFile(dir, "1\n2\n" + key("notes.txt") + " 5\n\n");
  BrowserState state;
  openDirectory(dir.c_str(), state);
  EXPECT_EQ(state.displayLines[2], "* notes.txt");
  saveMarks(state);
  EXPECT_NE(marksFileOf(dir).find(key("notes.txt") + " 5\n"), std::string::npos);
  toggle(state, "notes.txt");
  EXPECT_EQ(state.marks[2], 0);
  toggle(state, "notes.txt");
  EXPECT_EQ(state.marks[2], 1);
}

TEST_F(MarksTest, ReadOnlyMarksFileUndoesAChange) {
  const std::string stored = "3\n2\n" + key("notes.txt") + " 1\n\n";
  writeMarksFile(dir, stored);
  chmod(marksPathOf(dir).c_str(), 0444);
  // Only the user's own marks file in the user's own folder is read: as
  // root, both go to the user the check runs as.
  if (geteuid() == 0) {
    ASSERT_EQ(chown(testing_support::marksFolder(home).c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(marksPathOf(dir).c_str(), 65534, 65534), 0);
  }
  const std::string d = dir;
  const testing_support::ChildCheck result = testing_support::runUnprivileged([&](std::string& out) {
    BrowserState state;
    openDirectory(d.c_str(), state);
    const int notes = indexOf(state, "notes.txt");
    state.marks[notes] = 0;
    saveMarks(state);
    loadMarks(state);
    buildLines(state);
    out = state.displayLines[notes];
  });
  ASSERT_TRUE(result.ran) << result.output;
  EXPECT_EQ(result.output, "* notes.txt");
  EXPECT_EQ(marksFileOf(dir), stored);
}

TEST_F(MarksTest, SaveThatFailsHalfWayKeepsThePreviousFile) {
  for (int i = 0; i < 200; ++i) makeFile("d/file-" + std::to_string(i));
  BrowserState state;
  openDirectory(dir.c_str(), state);
  toggle(state, "notes.txt");
  const std::string before = marksFileOf(dir);
  ASSERT_GT(before.size(), 4096u);

  const pid_t child = fork();
  if (child == 0) {
    // Writes past 1 KiB now fail (EFBIG) instead of killing the process.
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    for (auto& mark : state.marks) mark = 1;
    saveMarks(state);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(marksFileOf(dir), before);

  // Nothing half-written is left beside the marks file.
  EXPECT_EQ(testing_support::namesIn(testing_support::marksFolder(home)),
            std::vector<std::string>{zub::digestHex(dir)});
}

}  // namespace

namespace {

TEST_F(MarksTest, WithoutHomeTheMarksLiveBesideTheWorkingDirectory) {
  env.unset("HOME");
  makeDir("work");
  ASSERT_TRUE(env.changeDir(at("work")));
  {
    BrowserState state;
    openDirectory(dir.c_str(), state);
    toggle(state, "notes.txt");
  }
  BrowserState nextRun;
  openDirectory(dir.c_str(), nextRun);
  EXPECT_EQ(nextRun.marks[indexOf(nextRun, "notes.txt")], 1);
  EXPECT_TRUE(testing_support::fileExists(testing_support::marksPath(at("work"), dir)));
}

}  // namespace

// Marks files as an adversary leaves them: not regular files, huge,
// longer than they say, planted in a shared folder by another user; and
// directories whose names hold backslashes.
namespace {

mode_t lmodeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Bytes this process has read through read() and friends so far.
long long bytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = -1;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

// Opens `dir` and toggles its file; exit status 0 when nothing was loaded.
// An alarm ends a run that blocks.
int openAndToggle(const std::string& dir) {
  alarm(120);
  BrowserState state;
  openDirectory(dir.c_str(), state);
  const bool nothingLoaded = state.marks == Marks({0, 0, 0}) && state.selection == 2;
  state.marks[2] = 1;
  saveMarks(state);
  loadMarks(state);
  return nothingLoaded ? 0 : 1;
}

// What sits at the marks path is neither read as marks nor written over:
// the open and a toggle complete (a fifo must not block, a huge or endless
// file must not take memory), marks stay 0 and the selection 2.
TEST_F(MarksTest, WhatIsNoSmallRegularFileNeitherCrashesNorHangs) {
  ASSERT_TRUE(testing_support::makeDir(testing_support::marksFolder(home)));
  const std::string marks = marksPathOf(dir);
  struct Row {
    const char* what;
    std::function<int()> plant;  // 0 on success
    std::function<bool()> asItWas;
  };
  const Row rows[] = {
      {"a directory", [&] { return mkdir(marks.c_str(), 0700); },
       [&] { return S_ISDIR(lmodeOf(marks)); }},
      {"a fifo", [&] { return mkfifo(marks.c_str(), 0600); },
       [&] { return S_ISFIFO(lmodeOf(marks)); }},
      {"a link to /dev/zero", [&] { return symlink("/dev/zero", marks.c_str()); },
       [&] { return S_ISLNK(lmodeOf(marks)); }},
      {"a dangling link", [&] { return symlink(at("made-by-a-save").c_str(), marks.c_str()); },
       [&] { return S_ISLNK(lmodeOf(marks)) && !testing_support::fileExists(at("made-by-a-save")); }},
      // An own regular file: sparse, 100 GB of zero bytes, no disk used. It
      // is the user's own marks file, so the save may replace it.
      {"a sparse 100 GB file",
       [&] {
         const int fd = open(marks.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
         const int result = fd >= 0 ? ftruncate(fd, 100LL << 30) : -1;
         if (fd >= 0) close(fd);
         return result;
       },
       [&] { return S_ISREG(lmodeOf(marks)); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(row.plant(), 0);
    // In a child: a crash or a blocking open fails this row alone (the
    // alarm ends a hang), instead of the whole suite.
    EXPECT_EXIT(std::exit(openAndToggle(dir)), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(row.asItWas());
    std::error_code ignored;
    std::filesystem::remove_all(marks, ignored);
  }
}

// A file that announces three pairs is read for three pairs, not to its
// end, whatever follows them.
TEST_F(MarksTest, LoadingReadsNoFurtherThanTheAnnouncedPairs) {
  std::string content = testing_support::marksText({".", "..", "notes.txt"}, 1, {0, 0, 1});
  content.pop_back();  // the empty last line: more pairs follow
  std::string more;
  for (int i = 0; i < 1000; ++i) more += zub::digestHex(std::to_string(i)) + " 1\n";
  content.reserve(content.size() + 20 * 1024 * 1024);
  while (content.size() < 20u * 1024 * 1024) content += more;
  writeMarksFile(dir, content);

  BrowserState state;
  const long long before = bytesRead();
  openDirectory(dir.c_str(), state);
  const long long read = bytesRead() - before;
  EXPECT_EQ(state.marks, (Marks{0, 0, 1}));
  EXPECT_EQ(state.selection, 1);
  ASSERT_GE(before, 0) << "no /proc/self/io";
  EXPECT_LT(read, 2 * 1024 * 1024) << "bytes read for three pairs";
}

// The loader reads through a buffer of 64 KiB: a file several times that
// size, with runs of white space of every length between its tokens, puts
// keys, marks and blanks across every kind of boundary.
TEST_F(MarksTest, LargeFilesLoadWholeAcrossTheReadBuffer) {
  BrowserState state;
  state.currentDirectory = at("large");
  std::string content = "4000 \t\r\n  -7\n";
  Marks expected;
  for (int i = 0; i < 4000; ++i) {
    const std::string name = "entry-" + std::to_string(i);
    state.entryNames.push_back(name);
    const int32_t mark = (i * 7919) % 100003 - 50000;
    expected.push_back(mark);
    content += zub::digestHex(name) + std::string(1 + i % 5, ' ') + std::to_string(mark) +
               std::string(1 + i % 3, '\n');
  }
  // Stored in reverse: every pair is looked up, none is in listing order.
  std::reverse(state.entryNames.begin(), state.entryNames.end());
  std::reverse(expected.begin(), expected.end());
  ASSERT_GT(content.size(), 2u * 64 * 1024);
  writeMarksFile(state.currentDirectory, content);
  loadMarks(state);
  EXPECT_EQ(state.selection, -7);
  EXPECT_EQ(state.marks, expected);
}

// Another local user plants marks in a shared working directory (mode
// 1777): the browser, run by a second user with its own HOME, neither
// loads them nor saves into them.
TEST_F(MarksTest, MarksPlantedInASharedFolderByAnotherUserAreIgnored) {
  if (geteuid() != 0) GTEST_SKIP() << "planting files as a second user needs root";
  constexpr uid_t planter = 4242;  // another local user; the check runs as nobody
  const std::string shared = at("shared");
  makeDir("shared");
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string planted = shared + "/.orchard.menu";
  ASSERT_EQ(mkdir(planted.c_str(), 0755), 0);
  const std::string plantedFile = planted + "/" + zub::digestHex(dir);
  const std::string plantedText =
      testing_support::marksText({".", "..", "notes.txt"}, 0, {1, 1, 1});
  ASSERT_TRUE(testing_support::writeFile(plantedFile, plantedText));
  ASSERT_EQ(chmod(plantedFile.c_str(), 0666), 0);
  ASSERT_EQ(chown(plantedFile.c_str(), planter, planter), 0);
  ASSERT_EQ(chown(planted.c_str(), planter, planter), 0);
  // The second user's own HOME.
  const std::string userHome = at("user");
  makeDir("user");
  ASSERT_EQ(chown(userHome.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(userHome.c_str(), 0755), 0);

  const std::string d = dir;
  const testing_support::ChildCheck check = testing_support::runUnprivileged([&](std::string& out) {
    setenv("HOME", userHome.c_str(), 1);
    if (chdir(shared.c_str()) != 0) return;
    BrowserState state;
    openDirectory(d.c_str(), state);
    out += "selection " + std::to_string(state.selection) + " marks";
    for (int32_t mark : state.marks) out += " " + std::to_string(mark);
    state.marks[2] = 1;
    saveMarks(state);
  });
  ASSERT_TRUE(check.ran) << check.output;
  EXPECT_EQ(check.output, "selection 2 marks 0 0 0");
  EXPECT_EQ(testing_support::readFile(plantedFile), plantedText);
  EXPECT_EQ(testing_support::readFile(testing_support::marksPath(userHome, dir)),
            testing_support::marksText({".", "..", "notes.txt"}, 2, {0, 0, 1}));
}

// On Linux a backslash is part of a name: such a directory opens as
// itself, never as the path its backslashes would spell on Windows.
TEST_F(MarksTest, BackslashesInDirectoryNamesAreNameBytes) {
  makeDir("d/..\\..\\etc");
  makeFile("d/..\\..\\etc/inside");
  makeDir("d/back\\slash");
  makeFile("d/back\\slash/x");
  struct Row {
    std::string name, entry;
  };
  const Row rows[] = {{"..\\..\\etc", "inside"}, {"back\\slash", "x"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BrowserState state;
    const std::string path = dir + "/" + row.name;
    openDirectory(path.c_str(), state);
    EXPECT_EQ(state.currentDirectory, path);
    EXPECT_NE(indexOf(state, row.entry), -1);
    state.marks[indexOf(state, row.entry)] = 1;
    saveMarks(state);
    EXPECT_NE(marksFileOf(path).find(zub::digestHex(row.entry) + " 1\n"), std::string::npos);
  }
}

}  // namespace
