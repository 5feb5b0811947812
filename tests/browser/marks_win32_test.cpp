// Marks files on Windows are keyed as an ANSI build of the program keyed
// them: by the bytes of a name in the system's ANSI code page wherever the
// name has them, so every such file stays the one file of its folder.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/browser/marks_fixture.h"
#include "zub/digest.h"

namespace {

UINT systemAnsiCodePage() {
  DWORD codePage = 0;
  GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                 reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR));
  return codePage;
}

// The key an ANSI build gave `ansiBytes`.
std::string ansiKey(const std::string& ansiBytes) { return zub::hexOf(zub::digest(ansiBytes)); }

TEST(KeyBytes, TheAnsiBytesWhereTheNameConvertsThereAndBack) {
  if (systemAnsiCodePage() != 1252) GTEST_SKIP() << "the ANSI code page is not 1252";
  struct Row {
    const char* what;
    std::string name, bytes;
  };
  const Row rows[] = {
      {"ASCII", "plain.txt", "plain.txt"},
      {"e acute", "n\xc3\xa9.txt", "n\xe9.txt"},
      {"euro sign, 0x80 in 1252", "\xe2\x82\xac", "\x80"},
      {"L with stroke, not in 1252", "\xc5\x81" "ad", "\xc5\x81" "ad"},
      {"a macron, best fit only", "\xc4\x81", "\xc4\x81"},
      {"Japanese", "\xe6\x97\xa5\xe6\x9c\xac", "\xe6\x97\xa5\xe6\x9c\xac"},
      {"one character of 1252 beside one outside it", "\xc3\xa9\xc5\x81", "\xc3\xa9\xc5\x81"},
      {"not UTF-8", "\xe9", "\xe9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(zub::keyBytes(row.name), row.bytes);
    EXPECT_EQ(zub::keyDigest(row.name), zub::digest(row.bytes));
  }
}

// A file an ANSI build wrote, for a folder with an ASCII path and for
// "café": its marks and selection come back, and a save writes that same
// file again, the only one of its folder.
TEST_F(MarksTest, AFileKeyedByAnsiBytesIsTheOneFileOfItsFolder) {
  if (systemAnsiCodePage() != 1252) GTEST_SKIP() << "the ANSI code page is not 1252";
  struct Row {
    const char* what;
    std::string folder;      // under root, UTF-8
    std::string ansiFolder;  // the same in code page 1252
  };
  const Row rows[] = {{"ASCII folder", "docs", "docs"},
                      {"non-ASCII folder", "caf\xc3\xa9", "caf\xe9"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    makeDir(row.folder);
    makeFile(row.folder + "/caf\xc3\xa9.txt");
    makeFile(row.folder + "/plain.txt");
    makeFile(row.folder + "/\xe6\x97\xa5.txt");
    const std::string path =
        testing_support::marksFolder(home) + "/" + ansiKey(root + "\\" + row.ansiFolder);
    // ".", "..", "café.txt", "plain.txt", "日.txt"; the last one no ANSI
    // build could show: keyed by its UTF-8 bytes.
    const std::string stored = "5\r\n3\r\n" + ansiKey(".") + " 0\r\n" + ansiKey("..") + " 0\r\n" +
                               ansiKey("caf\xe9.txt") + " 5\r\n" + ansiKey("plain.txt") + " 1\r\n" +
                               ansiKey("\xe6\x97\xa5.txt") + " 1\r\n\r\n";
    ASSERT_TRUE(testing_support::makeDir(testing_support::marksFolder(home)));
    ASSERT_TRUE(testing_support::writeFile(path, stored));

    BrowserState state;
    openDirectory(at(row.folder).c_str(), state);
    EXPECT_EQ(state.marks, (Marks{0, 0, 5, 1, 1}));
    EXPECT_EQ(state.selection, 3);
    toggle(state, "plain.txt");
    toggle(state, "plain.txt");
    EXPECT_EQ(testing_support::readFile(path), stored);
    EXPECT_EQ(testing_support::namesIn(testing_support::marksFolder(home)),
              std::vector<std::string>{path.substr(path.size() - 32)});
    std::filesystem::remove(std::filesystem::u8path(path));
  }
}

}  // namespace
