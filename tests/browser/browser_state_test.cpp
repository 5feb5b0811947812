#include <algorithm>
#include <string>
#include <vector>

#include "browser/browser_state.h"
#include "tests/browser/browser_fixture.h"
#include "zub/path.h"

namespace {

using Names = std::vector<std::string>;

TEST(EntryOrderTest, ComparesBothWays) {
  struct Row {
    std::string a;
    bool aDir;
    std::string b;
    bool bDir;
    bool aFirst;  // expected order(a, b); order(b, a) must then be false
  };
  const std::vector<Row> rows = {
      {"zeta", true, "alpha", false, true},     // directories before files
      {"alpha", false, "Beta", false, true},    // case folded
      {"README", false, "a.txt", false, false},
      {".", true, "..", true, true},            // shorter prefix first
      {"-old", true, ".", true, true},          // '-' is below '.'
      {"z", false, "\xC3\xA9", false, true},    // 0x80-0xFF after ASCII
      {"\xC9", false, "\xE0", false, true},     // Latin-1 capitals are not folded
      {"[x", false, "Zx", false, true},         // '[' 0x5B below the folded 'z'
      {"_", false, "a", false, true},           // '_' 0x5F stays below 'a'
      {"", false, "a", false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.a + " vs " + row.b);
    EXPECT_EQ(entryComesBefore(row.a, row.aDir, row.b, row.bDir), row.aFirst);
    EXPECT_EQ(entryComesBefore(row.b, row.bDir, row.a, row.aDir), !row.aFirst);
  }
}

TEST(EntryOrderTest, NamesEqualButForCaseAreEquivalent) {
  EXPECT_FALSE(entryComesBefore("Readme", false, "README", false));
  EXPECT_FALSE(entryComesBefore("README", false, "Readme", false));
}

class OpenDirectoryTest : public BrowserFixture {};

TEST_F(OpenDirectoryTest, OrdersDirectoriesFirstThenFoldedNames) {
  makeDir("d");
  for (const char* dir : {"d/Zeta", "d/alpha", "d/-old"}) makeDir(dir);
  for (const char* file : {"d/b.txt", "d/README", "d/a.txt"}) makeFile(file);

  BrowserState state;
  openDirectory(at("d").c_str(), state);

  EXPECT_EQ(state.currentDirectory, at("d"));
  EXPECT_EQ(state.entryNames,
            (Names{"-old", ".", "..", "alpha", "Zeta", "a.txt", "b.txt", "README"}));
  EXPECT_EQ(state.displayLines,
            (Names{"  [-old]", "  [.]", "  [..]", "  [alpha]", "  [Zeta]", "  a.txt",
                   "  b.txt", "  README"}));
  EXPECT_EQ(state.selection, 2);
  EXPECT_EQ(state.entryNames[state.selection], "..");
  EXPECT_EQ(state.marks, std::vector<int32_t>(8, 0));

  // The comparison object that asks the file system itself agrees.
  Names listed;
  ASSERT_TRUE(zub::listDir(at("d").c_str(), listed));
  std::sort(listed.begin(), listed.end(), entryOrder(at("d")));
  EXPECT_EQ(listed, state.entryNames);
}

TEST_F(OpenDirectoryTest, EmptyDirectoryListsOnlyDotEntries) {
  makeDir("empty");
  BrowserState state;
  openDirectory(at("empty").c_str(), state);
  EXPECT_EQ(state.entryNames, (Names{".", ".."}));
  EXPECT_EQ(state.displayLines, (Names{"  [.]", "  [..]"}));
  EXPECT_EQ(state.selection, 2);  // one past the end: nothing highlighted
}

TEST_F(OpenDirectoryTest, PathFormsNormaliseToOneDirectory) {
  makeDir("d");
  makeDir("d/sub");
  const std::vector<std::string> forms = {at("d"), at("d") + "/", at("d/sub/.."),
                                          at("d/./sub/../"), at("d") + "//"};
  for (const std::string& form : forms) {
    SCOPED_TRACE(form);
    BrowserState state;
    openDirectory(form.c_str(), state);
    EXPECT_EQ(state.currentDirectory, at("d"));
    EXPECT_EQ(state.entryNames, (Names{".", "..", "sub"}));
  }
}

TEST_F(OpenDirectoryTest, RelativePathResolvesAgainstWorkingDirectory) {
  makeDir("d");
  makeDir("d/inner");
  ASSERT_TRUE(env.changeDir(at("d")));
  BrowserState state;
  openDirectory(state.currentDirectory.c_str(), state);  // start-up passes its own "."
  const std::string dot = state.currentDirectory;
  openDirectory("inner", state);
  const std::string inner = state.currentDirectory;
  EXPECT_EQ(dot, at("d"));
  EXPECT_EQ(inner, at("d/inner"));
}

TEST_F(OpenDirectoryTest, MissingDirectoryShowsEmptyList) {
  BrowserState state;
  openDirectory(at("nowhere/at/all").c_str(), state);
  EXPECT_EQ(state.currentDirectory, at("nowhere/at/all"));
  EXPECT_TRUE(state.entryNames.empty());
  EXPECT_TRUE(state.displayLines.empty());
  EXPECT_TRUE(state.marks.empty());
  EXPECT_EQ(state.selection, 2);  // the fresh one: nothing stored to bring into range
}

TEST_F(OpenDirectoryTest, OddNamesAreListedAndShownUnchanged) {
  makeDir("d");
  Names files = {"my file.txt", "quote\"d", "it's", "new\nline", "caf\xC3\xA9",
                 "\xFF\xFE", ".hidden", "$(touch pwned)", "back`tick`", "semi;colon",
                 "tab\there", "back\\slash", "cafz", "a&b %PATH% ^(x)"};
  files.erase(std::remove_if(files.begin(), files.end(),
                             [](const std::string& name) { return !testing_support::nameAllowed(name); }),
              files.end());
  for (const std::string& name : files) makeFile("d/" + name);
  makeDir("d/dir with blanks");

  BrowserState state;
  openDirectory(at("d").c_str(), state);
  ASSERT_EQ(state.entryNames.size(), files.size() + 3);
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    const int i = indexOf(state, name);
    ASSERT_GE(i, 0);
    EXPECT_EQ(state.displayLines[i], "  " + name);
  }
  const int dir = indexOf(state, "dir with blanks");
  ASSERT_GE(dir, 0);
  EXPECT_EQ(state.displayLines[dir], "  [dir with blanks]");
  EXPECT_LT(dir, indexOf(state, ".hidden"));
  // Bytes 0x80-0xFF sort after every ASCII byte.
  EXPECT_LT(indexOf(state, "cafz"), indexOf(state, "caf\xC3\xA9"));
  // Bytes that are no UTF-8 name no file on Windows.
  if (testing_support::nameAllowed("\xFF\xFE")) {
    EXPECT_EQ(state.entryNames[state.entryNames.size() - 1], "\xFF\xFE");
  }
}

TEST_F(OpenDirectoryTest, BuildLinesPrefixesMarksAndTestsDirectoriesAfresh) {
  makeDir("d");
  makeDir("d/games");
  makeFile("d/readme.txt");
  BrowserState state;
  openDirectory(at("d").c_str(), state);
  const int games = indexOf(state, "games");
  const int readme = indexOf(state, "readme.txt");
  state.marks[games] = 1;
  const int dot = indexOf(state, ".");
  state.marks[readme] = 5;  // any non-zero value counts as marked
  state.marks[dot] = -1;    // negative ones too
  buildLines(state);
  EXPECT_EQ(state.displayLines[games], "* [games]");
  EXPECT_EQ(state.displayLines[readme], "* readme.txt");
  EXPECT_EQ(state.displayLines[dot], "* [.]");

  // The directory vanishes and the file becomes a directory: the next
  // rebuild asks the directory again rather than recalling the listing.
  ASSERT_EQ(rmdir(at("d/games").c_str()), 0);
  ASSERT_EQ(unlink(at("d/readme.txt").c_str()), 0);
  makeDir("d/readme.txt");
  makeFile("d/new.txt");  // listed now, not an entry: changes nothing
  buildLines(state);
  EXPECT_EQ(state.displayLines[games], "* games");
  EXPECT_EQ(state.displayLines[readme], "* [readme.txt]");
}

}  // namespace
