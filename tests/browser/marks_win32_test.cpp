// Marks files of folders with non-ASCII names on Windows: names are UTF-8
// now; the files written before were keyed by the ANSI code page bytes.
#include <windows.h>

#include <string>

#include "tests/browser/marks_fixture.h"

namespace {

// "café" and "né.txt" in code page 1252, the bytes the old keys hashed.
TEST_F(MarksTest, AnOldAnsiKeyedFileOfACafeFolderBringsItsMarksBack) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
  makeDir("caf\xc3\xa9");
  makeFile("caf\xc3\xa9/n\xc3\xa9.txt");
  makeFile("caf\xc3\xa9/plain.txt");
  const std::string cafe = at("caf\xc3\xa9");
  const std::string oldPath = root + "\\caf\xe9";  // the temporary root is ASCII
  const std::string oldFile = testing_support::marksPath(home, oldPath);
  ASSERT_TRUE(testing_support::writeMarks(
      home, oldPath,
      testing_support::marksText({".", "..", "n\xe9.txt", "plain.txt"}, 3, {0, 0, 5, 1})));

  BrowserState state;
  openDirectory(cafe.c_str(), state);
  EXPECT_EQ(state.marks, (Marks{0, 0, 5, 1}));
  EXPECT_EQ(state.selection, 3);

  // The next save writes the UTF-8-keyed file, leaves the old one, and
  // from then on that file is the one read.
  toggle(state, "plain.txt");
  EXPECT_EQ(marksFileOf(cafe), "4\n3\n" + key(".") + " 0\n" + key("..") + " 0\n" +
                                   key("n\xc3\xa9.txt") + " 5\n" + key("plain.txt") + " 0\n\n");
  EXPECT_TRUE(testing_support::pathExists(oldFile));
  BrowserState again;
  openDirectory(cafe.c_str(), again);
  EXPECT_EQ(again.marks, (Marks{0, 0, 5, 0}));
}

}  // namespace
