// Commands whose evidence only POSIX gives: the opener is started for a
// path that no longer exists (Windows hands nothing to an application
// then), and a death test that forks with the fixture already set up
// (Windows runs the program again, in a fresh temporary folder).
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/app/commands_fixture.h"

using namespace testing_support;

namespace {

TEST_F(CommandsTest, AVanishedEntryCountsAsAFile) {
  open(dir);
  browserState.selection = 3;  // beta/, removed behind the browser's back
  ASSERT_EQ(0, rmdir((dir + "/beta").c_str()));
  runCommand(Command::activate);
  EXPECT_EQ(dir, browserState.currentDirectory);
  ASSERT_TRUE(holdsEntry(3));
  EXPECT_EQ(1, browserState.marks[3]);
  std::vector<LaunchRecord> records;
  ASSERT_TRUE(waitUntil([&] {
    records = recorder.records();
    return !records.empty();
  }));
  EXPECT_EQ(std::vector<std::string>{dir + "/beta"}, records[0].arguments);
}

TEST_F(CommandsTest, QuitSavesTheSelectionAndExitsWithZero) {
  open(dir);
  browserState.selection = 6;
  ASSERT_TRUE(holdsEntry(4));
  browserState.marks[4] = 1;  // in memory only until a save
  EXPECT_EXIT(runCommand(Command::quit), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(marksText(dirNames, 6, {0, 0, 0, 0, 1, 0, 0}), marksFileOf(dir));
}

}  // namespace
