#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "browser/browser_state.h"
#include "tests/browser/marks_fixture.h"
#include "zub/atomic_file.h"
#include "zub/settings.h"

namespace {

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
  saveMarks(state);
  EXPECT_EQ(marksFileOf(at("gone")), "0\n2\n\n");
  state.selection = 7;
  saveMarks(state);
  EXPECT_EQ(marksFileOf(at("gone")), "0\n7\n\n");
}

// A file of several of the writer's pieces: lines cut at a piece's end,
// lost or repeated would show in the bytes.
TEST_F(MarksTest, LargeDirectoryFileIsWrittenWhole) {
  makeDir("big");
  const int files = 8000;  // 35 bytes a line: more than one piece
  ASSERT_GT(files * 35, static_cast<int>(zub::contentPieceCapacity));
  char name[16];
  std::string expected = std::to_string(files + 2) + "\n-17\n" + key(".") + " 0\n" + key("..") +
                         " -2147483648\n";
  for (int i = 0; i < files; ++i) {
    std::snprintf(name, sizeof name, "f%05d", i);
    makeFile(std::string("big/") + name);
    expected += key(name) + (i % 3 == 0 ? " 1\n" : " 0\n");
  }
  expected += "\n";
  BrowserState state;
  openDirectory(at("big").c_str(), state);
  ASSERT_EQ(state.marks.size(), static_cast<size_t>(files + 2));
  state.marks[1] = INT32_MIN;
  for (int i = 0; i < files; i += 3) state.marks[i + 2] = 1;
  state.selection = -17;
  saveMarks(state);
  EXPECT_EQ(marksFileOf(at("big")), expected);
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
    EXPECT_EQ(state.selection, 2);  // one past its two entries, kept
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

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(MarksTest, DamagedFilesLoadWhatCanBeRead) {
  const std::string dot = key("."), up = key(".."), notes = key("notes.txt");
  struct Row {
    std::string what;
    std::string content;
    Marks marks;  // for ".", "..", "notes.txt"
    int32_t selection;
  };
  // Written when the folder held 8,003 entries; notes.txt, marked, last.
  std::vector<std::string> before;
  for (int i = 0; i < 8002; ++i) before.push_back("gone-" + std::to_string(i));
  before.push_back("notes.txt");
  std::vector<int> beforeMarks(before.size(), 0);
  beforeMarks.back() = 1;
  const std::vector<Row> rows = {
      {"empty", "", {0, 0, 0}, 2},
      {"a folder that shrank from 8,003 entries",
       testing_support::marksText(before, 1, beforeMarks), {0, 0, 1}, 1},
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
      // A token no valid file holds is passed over; the pairs after it count.
      {"key of 1000 bytes", "3\n0\n" + up + " 1\n" + std::string(1000, 'K') + " 1\n" + notes +
       " 1\n", {0, 1, 1}, 0},
      {"key of 33 digits", "2\n0\n" + notes + "5 1\n" + up + " 1\n", {0, 1, 0}, 0},
      {"lower-case key", "2\n0\n" + lower(up) + " 1\n" + notes + " 1\n", {0, 0, 1}, 0},
      {"mark of 12 digits", "2\n0\n" + up + " 100000000000\n" + notes + " 1\n",
       {0, INT32_MAX, 1}, 0},
      {"a key of 100,000 bytes", "2\n0\n" + std::string(100000, '\0') + " 1\n" + notes + " 1\n",
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

// The stored selection from -1 up to the number of entries comes back as
// it was; one beyond becomes the nearer end entry (0 with none), so the
// user sees where the selection is.
TEST_F(MarksTest, LoadedSelectionLiesWithinTheEntries) {
  struct Row {
    std::string what;
    size_t entries;
    std::string content;  // none: no marks file
    int32_t selection;
  };
  const std::vector<Row> rows = {
      {"last of 20 selected, 19 deleted since", 3, "20\n19\n\n", 2},
      {"far past the end", 3, "3\n2147483647\n\n", 2},
      {"damaged: the smallest integer", 3, "3\n-2147483648\n\n", 0},
      {"none selected, kept", 3, "3\n-1\n\n", -1},
      {"one past the last entry, kept", 3, "3\n3\n\n", 3},
      {"two below the start", 3, "3\n-2\n\n", 0},
      {"within the list, kept", 3, "3\n1\n\n", 1},
      {"new directory, default 2 kept", 3, "", 2},
      {"new directory of one entry, kept too", 1, "", 2},
      {"a folder that cannot be listed", 0, "", 2},
      {"no entries", 0, "0\n5\n\n", 0},
      {"a stored 2, whatever the entries", 0, "0\n2\n\n", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    BrowserState state;
    state.currentDirectory = at("listed-" + std::to_string(&row - rows.data()));
    std::vector<std::string> names;
    for (size_t i = 0; i < row.entries; ++i) names.push_back("entry-" + std::to_string(i));
    setEntries(state, names);
    state.selection = 2;  // as openDirectory sets it
    if (!row.content.empty()) writeMarksFile(state.currentDirectory, row.content);
    loadMarks(state);
    EXPECT_EQ(state.selection, row.selection);
  }
}

// Two instances on one directory: each save keeps the marks the other
// saved, and takes only the entries this instance changed; the selection
// stored is the saving instance's own.
TEST_F(MarksTest, TwoInstancesKeepEachOthersMarks) {
  makeFile("d/a");
  makeFile("d/b");
  BrowserState first, second;
  openDirectory(dir.c_str(), first);
  openDirectory(dir.c_str(), second);
  struct Row {
    const char* what;
    BrowserState* instance;
    const char* entry;  // toggled; nullptr: every mark cleared
    int32_t selection;
    Marks file;  // ".", "..", "a", "b", "notes.txt" afterwards
  };
  const Row rows[] = {
      {"first marks a", &first, "a", 2, {0, 0, 1, 0, 0}},
      {"second marks b, keeps a", &second, "b", 3, {0, 0, 1, 1, 0}},
      {"first marks notes.txt, keeps b", &first, "notes.txt", 4, {0, 0, 1, 1, 1}},
      {"second unmarks a, which it saw marked", &second, "a", 1, {0, 0, 0, 1, 1}},
      {"second marks ., which first has not seen", &second, ".", 1, {1, 0, 0, 1, 1}},
      {"first clears all, the other's new mark too", &first, nullptr, 0, {0, 0, 0, 0, 0}},
      {"second marks a again", &second, "a", 2, {0, 0, 1, 0, 0}},
  };
  const std::vector<std::string> names = {".", "..", "a", "b", "notes.txt"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    BrowserState& state = *row.instance;
    state.selection = row.selection;
    if (row.entry != nullptr) {
      toggle(state, row.entry);
    } else {
      clearMarks(state);
      saveMarks(state);
      loadMarks(state);
    }
    EXPECT_EQ(marksFileOf(dir), testing_support::marksText(names, row.selection, row.file));
    EXPECT_EQ(state.marks, row.file);
  }
}

// The other instance listed and marked entries this one has not: a save
// keeps the marks of those that still exist, the next save too.
TEST_F(MarksTest, MarksOfEntriesThisInstanceHasNotListedAreKept) {
  BrowserState first, second;
  openDirectory(dir.c_str(), first);
  makeFile("d/new");
  makeFile("d/gone");
  openDirectory(dir.c_str(), second);
  toggle(second, "new");
  toggle(second, "gone");
  ASSERT_EQ(unlink(at("d/gone").c_str()), 0);
  const std::vector<std::string> names = {".", "..", "notes.txt", "new"};
  toggle(first, "notes.txt");
  EXPECT_EQ(marksFileOf(dir), testing_support::marksText(names, 2, {0, 0, 1, 1}));
  toggle(first, "notes.txt");
  EXPECT_EQ(marksFileOf(dir), testing_support::marksText(names, 2, {0, 0, 0, 1}));
  loadMarks(second);
  EXPECT_EQ(second.marks[indexOf(second, "new")], 1);
  // The other instance unmarks it: the next save knows.
  toggle(second, "new");
  toggle(first, "notes.txt");
  const std::vector<std::string> own = {".", "..", "notes.txt"};
  EXPECT_EQ(marksFileOf(dir), testing_support::marksText(own, 2, {0, 0, 1}));
  // Marked again there, cleared here: c clears what it has not listed too.
  toggle(second, "new");
  clearMarks(first);
  saveMarks(first);
  EXPECT_EQ(marksFileOf(dir), testing_support::marksText(own, 2, {0, 0, 0}));
}

// A key of an entry that is gone, first in the file, makes the load look
// the entries up, also at the sizes that fill a table without room to
// spare. In a thread, so that a load that never ends fails after a
// generous bound instead of stopping the suite.
TEST_F(MarksTest, ALoadLookingUpAGoneEntryEnds) {
  for (size_t entries : {16, 32}) {
    SCOPED_TRACE(entries);
    auto state = std::make_shared<BrowserState>();
    state->currentDirectory = at("sized-" + std::to_string(entries));
    std::vector<std::string> names;
    for (size_t i = 0; i < entries; ++i) names.push_back("entry-" + std::to_string(i));
    setEntries(*state, names);
    writeMarksFile(state->currentDirectory, "2\n0\n" + key("gone") + " 1\n" + key(names[5]) + " 1\n");
    auto loaded = std::make_shared<std::promise<void>>();
    std::future<void> done = loaded->get_future();
    std::thread([state, loaded] { loadMarks(*state); loaded->set_value(); }).detach();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    Marks expected(entries, 0);
    expected[5] = 1;
    EXPECT_EQ(state->marks, expected);
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
  ASSERT_TRUE(testing_support::giveToCheckUser(testing_support::marksFolder(home)));
  ASSERT_TRUE(testing_support::giveToCheckUser(marksPathOf(dir)));
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
  EXPECT_TRUE(testing_support::pathExists(testing_support::marksPath(at("work"), dir)));
}

}  // namespace
