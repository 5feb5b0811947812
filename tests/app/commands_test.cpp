// The key tables and the commands on the real browser state, without a
// window: real directories, HOME in a temporary folder, a stand-in opener.
// Cases that only POSIX can show are in commands_posix_test.cpp.
#include <climits>
#include <cstdint>

#include <gtest/gtest.h>

#include "tests/app/commands_fixture.h"

using namespace testing_support;

namespace {

// Every bound key through the lookup the callbacks use, by the codes the
// toolkit reports, and a few unbound ones beside them.
TEST(KeyBindings, EachKeyRunsItsCommand) {
  struct Row {
    int key;
    bool special;  // a special-key code (arrows), else a character
    Command command;
  };
  const Row rows[] = {
      {8, false, Command::goToParent},   {127, false, Command::goToParent},
      {10, false, Command::activate},    {13, false, Command::activate},
      {27, false, Command::quit},        {'q', false, Command::quit},
      {'c', false, Command::clearMarks}, {'t', false, Command::toggleMark},
      {100, true, Command::toggleMark},  {101, true, Command::moveUp},
      {102, true, Command::toggleMark},  {103, true, Command::moveDown},
      {'Q', false, Command::none},       {'C', false, Command::none},
      {'T', false, Command::none},       {0, false, Command::none},
      {9, false, Command::none},         {255, false, Command::none},
      {104, true, Command::none},        {1, true, Command::none},
      {'t', true, Command::none},        {101, false, Command::none},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.key) + (row.special ? " special" : ""));
    EXPECT_EQ(row.special ? commandForSpecialKey(row.key)
                          : commandForKey(static_cast<unsigned char>(row.key)),
              row.command);
  }
}

TEST_F(CommandsTest, ArrowsMoveTheSelectionWithinTheListWithoutWrapping) {
  struct Row {
    bool listable;  // false: a path with no entries at all
    int start;
    Command command;
    int expected;
  };
  const Row rows[] = {
      {true, 0, Command::moveUp, 0},         {true, 6, Command::moveDown, 6},
      {true, 3, Command::moveUp, 2},         {true, 3, Command::moveDown, 4},
      {true, -1, Command::moveDown, 0},      {true, -1, Command::moveUp, -1},
      {true, 100, Command::moveUp, 99},      {true, 100, Command::moveDown, 100},
      {true, INT_MIN, Command::moveUp, INT_MIN}, {true, INT_MAX, Command::moveDown, INT_MAX},
      {false, 2, Command::moveDown, 2},      {false, 2, Command::moveUp, 1},
      {false, 0, Command::moveUp, 0},        {false, -1, Command::moveDown, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.start) + (row.listable ? " in dir" : " in nothing"));
    browserState = BrowserState{};
    open(row.listable ? dir : at("missing"));
    ASSERT_EQ(row.listable ? 7u : 0u, browserState.entryNames.size());
    browserState.selection = row.start;
    const std::string before = marksFileOf(browserState.currentDirectory);
    runCommand(row.command);
    EXPECT_EQ(row.expected, browserState.selection);
    // Moving saves nothing.
    EXPECT_EQ(before, marksFileOf(browserState.currentDirectory));
  }
}

TEST_F(CommandsTest, ToggleFlipsTheSelectedMarkAndTheFileFollows) {
  struct Row {
    int stored;
    int expected;
  };
  const Row rows[] = {{0, 1}, {1, 0}, {5, 0}, {-3, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stored);
    std::vector<int> marks(7, 0);
    marks[5] = row.stored;
    writeMarksFile(dir, marksText(dirNames, 5, marks));
    browserState = BrowserState{};
    open(dir);
    ASSERT_EQ(5, browserState.selection);
    ASSERT_TRUE(holdsEntry(5));
    ASSERT_EQ(row.stored, browserState.marks[5]);

    runCommand(Command::toggleMark);
    marks[5] = row.expected;
    EXPECT_EQ(marksText(dirNames, 5, marks), marksFileOf(dir));
    ASSERT_TRUE(holdsEntry(5));
    EXPECT_EQ(row.expected, browserState.marks[5]);
    EXPECT_EQ(row.expected ? "* b.txt" : "  b.txt", browserState.displayLines[5]);
    EXPECT_EQ(5, browserState.selection);
  }
}

// Loading brings the selection into the list; should it ever lie outside
// all the same, the commands on the selected entry check first.
TEST_F(CommandsTest, SelectedEntryCommandsDoNothingOutsideTheList) {
  std::vector<int> marks(7, 0);
  marks[4] = 1;
  for (int selection : {-1, 7, 8, 1000, INT_MIN, INT_MAX}) {
    for (Command command : {Command::toggleMark, Command::activate}) {
      SCOPED_TRACE(std::to_string(selection) + (command == Command::activate ? " activate" : " toggle"));
      writeMarksFile(dir, marksText(dirNames, selection, marks));
      browserState = BrowserState{};
      open(dir);
      browserState.selection = selection;
      const BrowserState before = browserState;
      runCommand(command);
      EXPECT_EQ(before.currentDirectory, browserState.currentDirectory);
      EXPECT_EQ(before.marks, browserState.marks);
      EXPECT_EQ(before.displayLines, browserState.displayLines);
      EXPECT_EQ(selection, browserState.selection);
      EXPECT_EQ(marksText(dirNames, selection, marks), marksFileOf(dir));
    }
  }
  EXPECT_TRUE(recorder.records().empty());
}

TEST_F(CommandsTest, ClearMarksRewritesTheFileEvenWhenNothingIsMarked) {
  struct Row {
    const char* what;
    std::string path;
    std::vector<int> stored;  // empty: no marks file before
  };
  const Row rows[] = {
      {"marks set", dir, {1, 0, 5, 0, 1, 1, -2}},
      {"nothing marked", dir, {0, 0, 0, 0, 0, 0, 0}},
      {"no marks file", dir, {}},
      {"nothing listed", at("missing"), {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const bool listed = row.path == dir;
    const std::vector<std::string> names = listed ? dirNames : std::vector<std::string>{};
    removeMarksFile(row.path);
    if (!row.stored.empty()) {
      writeMarksFile(row.path, marksText(names, 3, row.stored));
    }
    browserState = BrowserState{};
    open(row.path);
    removeMarksFile(row.path);
    runCommand(Command::clearMarks);
    // 2 for a new file, even where nothing is listed.
    const int selection = !row.stored.empty() ? 3 : 2;
    EXPECT_EQ(marksText(names, selection, std::vector<int>(names.size(), 0)),
              marksFileOf(row.path));
    for (std::string_view line : browserState.displayLines) {
      ASSERT_FALSE(line.empty());
      EXPECT_EQ(' ', line[0]) << line;
    }
  }
}

TEST_F(CommandsTest, ActivatingAFileMarksItInTheFileBeforeItIsLaunched) {
  // b.txt selected; stored mark 0, 1 and 5 all end as 1 (set, not toggled).
  std::size_t runs = 0;
  for (int stored : {0, 1, 5}) {
    SCOPED_TRACE(stored);
    std::vector<int> marks(7, 0);
    marks[5] = stored;
    writeMarksFile(dir, marksText(dirNames, 5, marks));
    browserState = BrowserState{};
    open(dir);
    runCommand(Command::activate);
    marks[5] = 1;
    const std::string expected = marksText(dirNames, 5, marks);
    EXPECT_EQ(expected, marksFileOf(dir));
    ASSERT_TRUE(holdsEntry(5));
    EXPECT_EQ("* b.txt", browserState.displayLines[5]);
    EXPECT_EQ(dir, browserState.currentDirectory);

    std::vector<LaunchRecord> records;
    ASSERT_TRUE(waitUntil([&] {
      records = recorder.records();
      return records.size() == runs + 1;
    }));
    ++runs;
    bool seen = false;
    for (const auto& record : records) {
      // What the opener found in the marks file when it started.
      seen = seen || (record.arguments == std::vector<std::string>{at("top/dir/b.txt")} &&
                      record.copiedFile == expected);
    }
    EXPECT_TRUE(seen);
  }
}

TEST_F(CommandsTest, ActivatingDirectoriesOpensThem) {
  struct Row {
    int selection;
    std::string expectedDirectory;
  };
  const Row rows[] = {
      {0, dir},             // "." opens the same directory afresh
      {1, top},             // ".." is the parent
      {2, at("top/dir/alpha")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.selection);
    std::vector<int> marks = {0, 1, 0, 1, 0, 5, 0};
    writeMarksFile(dir, marksText(dirNames, row.selection, marks));
    browserState = BrowserState{};
    open(dir);
    runCommand(Command::activate);
    EXPECT_EQ(row.expectedDirectory, browserState.currentDirectory);
    // Leaving saved the marks unchanged; no launch happened.
    EXPECT_EQ(marksText(dirNames, row.selection, marks), marksFileOf(dir));
    if (row.expectedDirectory == dir) {
      EXPECT_EQ(row.selection, browserState.selection);
      EXPECT_EQ(std::vector<int32_t>(marks.begin(), marks.end()), browserState.marks);
    }
  }
  EXPECT_TRUE(recorder.records().empty());
}

TEST_F(CommandsTest, TheParentOfTheRootIsTheRoot) {
  open("/");
  runCommand(Command::goToParent);
  EXPECT_EQ("/", browserState.currentDirectory);
}

}  // namespace
