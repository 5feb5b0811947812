// Marks-file tests that need POSIX: a child process and a file-size
// limit, fifos, links, other users, backslashes as name bytes.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "browser/browser_state.h"
#include "tests/browser/marks_fixture.h"
#include "zub/digest.h"

namespace {

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

// Opens `dir` and expects what the marks files of these tests say of its
// three entries: notes.txt marked, selection 1. `read` gets the bytes the
// process read meanwhile.
void expectNotesMarkedAfterOpen(const std::string& dir, long long& read) {
  BrowserState state;
  const long long before = bytesRead();
  openDirectory(dir.c_str(), state);
  read = bytesRead() - before;
  EXPECT_EQ(state.marks, (Marks{0, 0, 1}));
  EXPECT_EQ(state.selection, 1);
  ASSERT_GE(before, 0) << "no /proc/self/io";
}

// Opens `dir` and toggles its file; exit status 0 when nothing was loaded
// and the toggle was kept, or undone when `kept` is false (nowhere to save
// it). An alarm ends a run that blocks.
int openAndToggle(const std::string& dir, bool kept) {
  alarm(120);
  BrowserState state;
  openDirectory(dir.c_str(), state);
  const bool nothingLoaded = state.marks == Marks({0, 0, 0}) && state.selection == 2;
  state.marks[2] = 1;
  saveMarks(state);
  loadMarks(state);
  return nothingLoaded && (state.marks[2] == 1) == kept ? 0 : 1;
}

// What sits at the marks path is neither read as marks nor written over:
// the open and a toggle complete (a fifo must not block, a huge or endless
// file must not take memory), nothing is loaded, and no file is made at
// the next candidate: only the user's own regular file keeps the toggle.
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
       [&] { return S_ISLNK(lmodeOf(marks)) && !testing_support::pathExists(at("made-by-a-save")); }},
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
    const bool used = S_ISREG(lmodeOf(marks));
    // In a child: a crash or a blocking open fails this row alone (the
    // alarm ends a hang), instead of the whole suite.
    EXPECT_EXIT(std::exit(openAndToggle(dir, used)), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(row.asItWas());
    EXPECT_FALSE(testing_support::pathExists(testing_support::marksPath(root, dir)));
    std::error_code ignored;
    std::filesystem::remove_all(marks, ignored);
    std::filesystem::remove_all(testing_support::marksFolder(root), ignored);
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

  long long read = 0;
  expectNotesMarkedAfterOpen(dir, read);
  EXPECT_LT(read, 2 * 1024 * 1024) << "bytes read for three pairs";
}

// Files of 10 GB that are mostly holes (sparse: no disk used) are read no
// further than the data they store: zero bytes after the pair, and a
// token of zero bytes (holes and a stored block of zeros inside it) before
// the pair, which is passed over.
TEST_F(MarksTest, AHugeSparseFileIsReadNoFurtherThanItsData) {
  ASSERT_TRUE(testing_support::makeDir(testing_support::marksFolder(home)));
  const std::string marks = marksPathOf(dir);
  const std::string notes = zub::digestHex("notes.txt");
  const std::vector<std::vector<std::pair<off_t, std::string>>> rows = {
      {{0, "2147483647\n1\n" + notes + " 1\n"}, {(10LL << 30) - 1, std::string(1, '\0')}},
      {{0, "2\n1\nX"}, {5LL << 30, std::string(1, '\0')}, {10LL << 30, " 5 " + notes + " 1\n"}},
  };
  for (const auto& pieces : rows) {
    SCOPED_TRACE(pieces.size());
    const int fd = open(marks.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    for (const auto& [at, text] : pieces)
      ASSERT_EQ(pwrite(fd, text.data(), text.size(), at), static_cast<ssize_t>(text.size()));
    close(fd);
    long long read = 0;
    expectNotesMarkedAfterOpen(dir, read);
    EXPECT_LT(read, 1024 * 1024) << "bytes read of a 10 GB file";
  }
}

// The loader reads through a buffer of 64 KiB: a file several times that
// size, with runs of white space of every length between its tokens, puts
// keys, marks and blanks across every kind of boundary.
TEST_F(MarksTest, LargeFilesLoadWholeAcrossTheReadBuffer) {
  BrowserState state;
  state.currentDirectory = at("large");
  std::string content = "4000 \t\r\n  -7\n";
  Marks expected;
  std::vector<std::string> names;
  for (int i = 0; i < 4000; ++i) {
    const std::string name = "entry-" + std::to_string(i);
    names.push_back(name);
    const int32_t mark = (i * 7919) % 100003 - 50000;
    expected.push_back(mark);
    content += zub::digestHex(name) + std::string(1 + i % 5, ' ') + std::to_string(mark) +
               std::string(1 + i % 3, '\n');
  }
  // Stored in reverse: every pair is looked up, none is in listing order.
  std::reverse(names.begin(), names.end());
  setEntries(state, names);
  std::reverse(expected.begin(), expected.end());
  ASSERT_GT(content.size(), 2u * 64 * 1024);
  writeMarksFile(state.currentDirectory, content);
  loadMarks(state);
  EXPECT_EQ(state.selection, 0);  // -7, brought to the first entry
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

// "uid:gid mode" of what is at `path`, the mode in octal.
std::string ownerAndMode(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "missing";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(st.st_mode & 07777));
  return std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " + mode;
}

// Every candidate of two directories is taken by something that is no
// marks file: their marks cannot be saved, and standard error says so once
// for each directory, however often it is saved.
TEST_F(MarksTest, MarksThatCannotBeSavedAnywhereAreToldOncePerDirectory) {
  makeDir("e");
  const std::vector<std::string> dirs = {dir, at("e")};
  for (const std::string& d : dirs) {
    for (const std::string& taken : {testing_support::marksPath(home, d),
                                     testing_support::marksPath(root, d),
                                     root + "/orchard.menu/" + zub::digestHex(d)}) {
      ASSERT_TRUE(testing_support::makeDir(taken));
    }
  }
  testing::internal::CaptureStderr();
  for (int round = 0; round < 2; ++round) {
    for (const std::string& d : dirs) {
      BrowserState state;
      openDirectory(d.c_str(), state);
      state.marks[0] = 1;
      saveMarks(state);
      saveMarks(state);
    }
  }
  const std::string told = testing::internal::GetCapturedStderr();
  const size_t firstEnd = told.find('\n');
  ASSERT_NE(firstEnd, std::string::npos) << told;
  EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 2) << told;
  EXPECT_NE(told.substr(0, firstEnd).find(dir), std::string::npos) << told;
  EXPECT_NE(told.substr(firstEnd).find(at("e")), std::string::npos) << told;
}

// Run as root with another user's HOME (sudo -E), the browser works on
// that user's marks as the user would: it reads them, replaces them keeping
// owner, group and mode, makes the folder and new files as that user, and
// follows no link of the user's. Nothing of root's is left among them.
TEST_F(MarksTest, RootWithAUsersHomeWorksAsThatUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string user = "4242:4343";
  ASSERT_EQ(chown(home.c_str(), 4242, 4343), 0);
  const std::string folder = testing_support::marksFolder(home);

  makeDir("e");
  BrowserState fresh;
  openDirectory(at("e").c_str(), fresh);
  fresh.marks[0] = 1;
  saveMarks(fresh);
  EXPECT_EQ(ownerAndMode(folder), user + " 700");
  EXPECT_EQ(ownerAndMode(marksPathOf(at("e"))).substr(0, user.size()), user);

  const std::vector<std::string> names = {".", "..", "notes.txt"};
  writeMarksFile(dir, testing_support::marksText(names, 1, {0, 0, 1}));
  ASSERT_EQ(chown(marksPathOf(dir).c_str(), 4242, 4343), 0);
  ASSERT_EQ(chmod(marksPathOf(dir).c_str(), 0640), 0);
  BrowserState state;
  openDirectory(dir.c_str(), state);
  EXPECT_EQ(state.marks, Marks({0, 0, 1}));
  EXPECT_EQ(state.selection, 1);
  toggle(state, "notes.txt");
  EXPECT_EQ(state.marks[2], 0);
  EXPECT_EQ(marksFileOf(dir), testing_support::marksText(names, 1, {0, 0, 0}));
  EXPECT_EQ(ownerAndMode(marksPathOf(dir)), user + " 640");

  makeDir("f");
  const std::string target = at("target");
  ASSERT_TRUE(testing_support::writeFile(target, "root's"));
  ASSERT_EQ(symlink(target.c_str(), marksPathOf(at("f")).c_str()), 0);
  ASSERT_EQ(lchown(marksPathOf(at("f")).c_str(), 4242, 4343), 0);
  BrowserState linked;
  openDirectory(at("f").c_str(), linked);
  linked.marks[0] = 1;
  saveMarks(linked);
  EXPECT_EQ(testing_support::readFile(target), "root's");

  for (const std::string& name : testing_support::namesIn(folder)) {
    EXPECT_EQ(ownerAndMode(folder + "/" + name).substr(0, user.size()), user) << name;
  }
}

// A marks file of root's in the user's own settings folder (left by an
// earlier run as root) is loaded, and the next toggle, as root with the
// user's HOME, replaces it with a file of the user's, keeping its mode.
TEST_F(MarksTest, RootsMarksFileInTheUsersFolderIsReplacedAsTheUsers) {
  if (geteuid() != 0) GTEST_SKIP() << "a file of root's in a user's folder needs root";
  const std::vector<std::string> names = {".", "..", "notes.txt"};
  writeMarksFile(dir, testing_support::marksText(names, 1, {0, 0, 1}));
  ASSERT_EQ(chmod(marksPathOf(dir).c_str(), 0644), 0);
  for (const std::string& mine : {home, testing_support::marksFolder(home)})
    ASSERT_EQ(chown(mine.c_str(), 4242, 4343), 0);
  BrowserState state;
  openDirectory(dir.c_str(), state);
  EXPECT_EQ(state.marks, Marks({0, 0, 1}));
  toggle(state, "notes.txt");
  EXPECT_EQ(marksFileOf(dir), testing_support::marksText(names, 1, {0, 0, 0}));
  EXPECT_EQ(ownerAndMode(marksPathOf(dir)), "4242:4343 644");
}

// A marks file that is a link of the user's to a file elsewhere is saved
// through; the folder the link leads to is not the program's own, and
// keeps its mode.
TEST_F(MarksTest, TheFolderAMarksLinkLeadsToKeepsItsMode) {
  const std::string folder = testing_support::marksFolder(home);
  const std::string elsewhere = at("dotfiles");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  ASSERT_EQ(chmod(elsewhere.c_str(), 0755), 0);
  ASSERT_TRUE(testing_support::writeFile(elsewhere + "/marks", ""));
  ASSERT_EQ(symlink((elsewhere + "/marks").c_str(), marksPathOf(dir).c_str()), 0);
  BrowserState state;
  openDirectory(dir.c_str(), state);
  toggle(state, "notes.txt");
  EXPECT_EQ(testing_support::readFile(elsewhere + "/marks"),
            testing_support::marksText({".", "..", "notes.txt"}, 2, {0, 0, 1}));
  EXPECT_TRUE(S_ISLNK(lmodeOf(marksPathOf(dir))));
  EXPECT_EQ(lmodeOf(elsewhere) & 07777, 0755u);
}

// Why marks cannot be saved, on standard error: a file of another user's
// is in the way, or the user's own file may not be written.
TEST_F(MarksTest, TheCauseOfAMarksFileThatCannotBeSavedIsSaid) {
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root";
  const std::string folder = testing_support::marksFolder(home);
  const struct {
    const char* what;
    uid_t homeOwner;  // 0: root's own HOME; else root works for that user
    uid_t fileOwner;
    mode_t fileMode;
    const char* cause;
  } rows[] = {{"another user's file", 0, 4242, 0644, ": occupied by a file of another user"},
              {"the user's read-only file", 4242, 4242, 0444, ": Permission denied"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    makeDir(row.what);
    const std::string d = at(row.what);
    writeMarksFile(d, testing_support::marksText({".", ".."}, 2, {0, 0}));
    for (const std::string& mine : {home, folder})
      ASSERT_EQ(chown(mine.c_str(), row.homeOwner, row.homeOwner), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    ASSERT_EQ(chown(marksPathOf(d).c_str(), row.fileOwner, row.fileOwner), 0);
    ASSERT_EQ(chmod(marksPathOf(d).c_str(), row.fileMode), 0);
    testing::internal::CaptureStderr();
    BrowserState state;
    openDirectory(d.c_str(), state);
    state.marks[0] = 1;
    saveMarks(state);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find(marksPathOf(d) + row.cause), std::string::npos) << told;
    EXPECT_EQ(marksFileOf(d), testing_support::marksText({".", ".."}, 2, {0, 0}));
  }
}

// A marks file of a group the user is not in: the replacement keeps owner
// and mode, takes the user's group, and the save goes through.
TEST_F(MarksTest, AGroupThatCannotBeKeptDoesNotStopTheSave) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file a group its owner is not in needs root";
  const std::vector<std::string> names = {".", "..", "notes.txt"};
  writeMarksFile(dir, testing_support::marksText(names, 2, {0, 0, 1}));
  ASSERT_TRUE(testing_support::giveToCheckUser(testing_support::marksFolder(home)));
  ASSERT_EQ(chown(marksPathOf(dir).c_str(), 65534, 4343), 0);
  ASSERT_EQ(chmod(marksPathOf(dir).c_str(), 0644), 0);
  const std::string d = dir;
  const testing_support::ChildCheck check = testing_support::runUnprivileged([&](std::string& out) {
    BrowserState state;
    openDirectory(d.c_str(), state);
    out = std::to_string(state.marks[2]);
    state.marks[2] = 0;
    saveMarks(state);
    loadMarks(state);
    out += " " + std::to_string(state.marks[2]);
  });
  ASSERT_TRUE(check.ran) << check.output;
  EXPECT_EQ(check.output, "1 0");
  EXPECT_EQ(marksFileOf(dir), testing_support::marksText(names, 2, {0, 0, 0}));
  EXPECT_EQ(ownerAndMode(marksPathOf(dir)), "65534:65534 644");
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
