#include "zub/path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/support/support.h"

namespace {

struct Row {
  std::string input;
  std::string expected;
};

TEST(Normalize, WindowsPathsAgainstADriveWorkingDirectory) {
  const Row rows[] = {
      {"", "D:\\work\\sub"},
      {".", "D:\\work\\sub"},
      {"..", "D:\\work"},
      {"foo", "D:\\work\\sub\\foo"},
      {"foo/bar", "D:/work/sub/foo/bar"},
      {"a/b/../c", "D:/work/sub/a/c"},
      {"D:", "D:\\work\\sub\\D:"},
      {"D:x", "D:\\work\\sub\\D:x"},
      {"D:\\", "D:"},
      {"D:/", "D:"},
      {"D:\\a\\..", "D:"},
      {"d:\\a\\..\\..\\b", "d:\\b"},
      {"D:\\a\\.\\b\\", "D:\\a\\b"},
      {"D:\\a/b\\c", "D:\\a\\b\\c"},
      {"D:\\x\\.hidden", "D:\\x\\.hidden"},
      {"/", "/"},
      {"\\", "\\"},
      {"\\\\", "\\"},
      {"\\\\srv\\share\\x", "\\\\srv\\share\\x"},
      {"\\\\srv\\..\\..\\x", "\\\\x"},
      {"//srv/x", "/srv/x"},
      {"/home//u/./x/", "/home/u/x"},
      {"/a\\b/c", "/a/b/c"},
      {"/../../a", "/a"},
      // Names that merely start with dots are names.
      {"D:\\a\\..x", "D:\\a\\..x"},
      {"D:\\a\\...", "D:\\a\\..."},
      {"D:\\a\\...\\..", "D:\\a"},
      {"D:\\a\\..x\\..\\y", "D:\\a\\y"},
      {"..x", "D:\\work\\sub\\..x"},
      {"D:\\a\\.x.", "D:\\a\\.x."},
      {"D:\\a b\\\xE9t\xE9", "D:\\a b\\\xE9t\xE9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    EXPECT_EQ(zub::normalizeAt(row.input, "D:\\work\\sub", '\\', zub::PathStyle::windows),
              row.expected);
  }
}

TEST(Normalize, PosixPathsAgainstAPosixWorkingDirectory) {
  struct {
    std::string input, workingDir, expected;
  } rows[] = {
      {"", "/home/u", "/home/u"},
      {"x/./y/", "/home/u", "/home/u/x/y"},
      {"../../../..", "/home/u", "/"},
      {"", "/", "/"},
      {"..", "/", "/"},
      // A backslash is a name byte: no separator, no drive, no network path.
      {"a\\b", "/home", "/home/a\\b"},
      {"/tmp/h/..\\..\\etc", "/", "/tmp/h/..\\..\\etc"},
      {"back\\slash/..", "/tmp/h", "/tmp/h"},
      {"\\\\srv\\x", "/w", "/w/\\\\srv\\x"},
      {"D:/x", "/w", "/w/D:/x"},
      {"D:\\", "/w", "/w/D:\\"},
      // An unknown working directory leaves a rooted path.
      {"a", "", "/a"},
      {"", "", "/"},
      // A path that starts with none of separator, '.' or letter is left alone.
      {"a/./b", "~u", "~u/a/./b"},
      {"a", "\xE9t\xE9", "\xE9t\xE9/a"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.input + " in " + row.workingDir);
    EXPECT_EQ(zub::normalizeAt(row.input, row.workingDir, '/', zub::PathStyle::posix),
              row.expected);
    // A backslash fallback cannot stand for a separator where it is none.
    EXPECT_EQ(zub::normalizeAt(row.input, row.workingDir, '\\', zub::PathStyle::posix),
              row.expected);
  }
}

TEST(Normalize, ANetworkWorkingDirectoryKeepsItsBackslashes) {
  const Row rows[] = {
      {"a/b", "\\\\srv\\share\\a\\b"},
      {"a/../..", "\\\\srv"},
      {"", "\\\\srv\\share"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    EXPECT_EQ(zub::normalizeAt(row.input, "\\\\srv\\share", '/', zub::PathStyle::windows),
              row.expected);
  }
}

TEST(Normalize, UsesTheProcessWorkingDirectory) {
  testing_support::TempDir dir;
  testing_support::EnvGuard cwd;
  ASSERT_TRUE(cwd.changeDir(dir.path));
  EXPECT_EQ(zub::normalize("."), dir.path);
  // The separator of the argument is used throughout.
  std::string slashed = dir.path;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  EXPECT_EQ(zub::normalize("x/../y/"), slashed + "/y");
  EXPECT_EQ(zub::normalize("/etc/./x"), "/etc/x");
}

TEST(DetectSeparator, FirstSeparatorElseFallback) {
  struct {
    std::string path;
    char fallback, windows, posix;
  } rows[] = {
      {"a\\b/c", '/', '\\', '/'}, {"a/b\\c", '\\', '/', '/'}, {"abc", '\\', '\\', '\\'},
      {"abc", '/', '/', '/'},       {"", '\\', '\\', '\\'},      {"D:", '/', '/', '/'},
      {"a\\b", '/', '\\', '/'},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(zub::detectSeparator(row.path, row.fallback, zub::PathStyle::windows), row.windows);
    EXPECT_EQ(zub::detectSeparator(row.path, row.fallback, zub::PathStyle::posix), row.posix);
    if (row.fallback == zub::nativeSeparator()) {
      EXPECT_EQ(zub::detectSeparator(row.path),
                zub::nativePathStyle() == zub::PathStyle::windows ? row.windows : row.posix);
    }
  }
}

TEST(IsAbsolute, DrivePrefixOrLeadingSeparator) {
  struct {
    std::string path;
    bool windows, posix;
  } rows[] = {
      {"\\\\srv\\x", true, false}, {"/x", true, true},     {"\\x", true, false},
      {"D:/x", true, false},       {"z:\\", true, false},    {"/", true, true},
      {"D:", false, false},        {"D:x", false, false},    {"x/y", false, false},
      {"", false, false},          {"\xE9:\\", false, false}, {"1:\\x", false, false},
      {":\\x", false, false},      {"DD:\\x", false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(zub::isAbsolute(row.path, zub::PathStyle::windows), row.windows);
    EXPECT_EQ(zub::isAbsolute(row.path, zub::PathStyle::posix), row.posix);
  }
}

TEST(RootOf, NamesWhereAPathStarts) {
  using zub::RootKind;
  struct {
    std::string path;
    RootKind kind;
    size_t length;
    std::string server, share;
    RootKind posix;
  } rows[] = {
      {"x/y", RootKind::none, 0, "", "", RootKind::none},
      {"/x", RootKind::separator, 1, "", "", RootKind::separator},
      {"\\x", RootKind::separator, 1, "", "", RootKind::none},
      {"d:/", RootKind::drive, 3, "", "", RootKind::none},
      {"D:", RootKind::driveRelative, 2, "", "", RootKind::none},
      {"1:\\x", RootKind::driveRelative, 2, "", "", RootKind::none},
      {"\xC3\xA9:x", RootKind::driveRelative, 3, "", "", RootKind::none},
      {"\xF0\x9F\x8D\x8E:x", RootKind::none, 0, "", "", RootKind::none},
      {"\\\\srv\\share\\x", RootKind::network, 12, "srv", "share", RootKind::none},
      {"//srv/share", RootKind::network, 11, "srv", "share", RootKind::separator},
      {"\\\\srv", RootKind::network, 5, "srv", "", RootKind::none},
      {"//./pipe", RootKind::verbatim, 4, "", "", RootKind::separator},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    const zub::PathRoot root = zub::rootOf(row.path, zub::PathStyle::windows);
    EXPECT_EQ(root.kind, row.kind);
    EXPECT_EQ(root.length, row.length);
    EXPECT_EQ(root.server, row.server);
    EXPECT_EQ(root.share, row.share);
    EXPECT_EQ(zub::rootOf(row.path, zub::PathStyle::posix).kind, row.posix);
  }
}

TEST(FolderOfAndComponents, SplitAtTheSeparatorsOfTheStyle) {
  struct {
    std::string path, windows, posix;
  } folders[] = {
      {"a/b/c", "a/b", "a/b"}, {"/x", "/", "/"},    {"x", ".", "."},
      {"//x", "/", "/"},       {"D:\\x", "D:\\", "."}, {"\\\\srv\\share\\x", "\\\\srv\\share", "."},
  };
  for (const auto& row : folders) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(zub::folderOf(row.path, zub::PathStyle::windows), row.windows);
    EXPECT_EQ(zub::folderOf(row.path, zub::PathStyle::posix), row.posix);
  }
  using Parts = std::vector<std::string>;
  EXPECT_EQ(zub::resolvedComponents("../a/./b/../../c//..x/...", zub::PathStyle::posix),
            (Parts{"c", "..x", "..."}));
  EXPECT_EQ(zub::resolvedComponents("a\\..\\b", zub::PathStyle::windows), Parts{"b"});
  EXPECT_EQ(zub::resolvedComponents("a\\..\\b", zub::PathStyle::posix), Parts{"a\\..\\b"});
}

// What Windows' ordinary rules would change; the POSIX style keeps all.
TEST(KeepsName, TrailingDotsBlanksAndDevicesChangeOnWindows) {
  struct {
    std::string name;
    bool windows;
  } rows[] = {
      {"a.txt", true},  {"a.", false},       {"a ", false},        {"", false},
      {"..", false},    {"CON", false},      {"nul.txt", false},   {"Com1 .log", false},
      {"lpt9", false},  {"com10", true},     {"conout$.x", false}, {"console", true},
      {"x.con", true},  {"\xC3\xA9", true},  {" con", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(zub::keepsName(row.name, zub::PathStyle::windows), row.windows);
    EXPECT_TRUE(zub::keepsName(row.name, zub::PathStyle::posix));
  }
  EXPECT_TRUE(zub::keepsAllNames("\\\\s\\x\\..\\.\\y", zub::PathStyle::windows));
  EXPECT_FALSE(zub::keepsAllNames("C:\\dir.\\a.txt", zub::PathStyle::windows));
  EXPECT_TRUE(zub::keepsAllNames("/dir./nul", zub::PathStyle::posix));
}

TEST(ExactPath, TheVerbatimFormOnWindowsThePathItselfOnPosix) {
  const Row rows[] = {
      {"c:/a/./b/../c.", "\\\\?\\c:\\a\\c."},
      {"C:\\..\\..", "\\\\?\\C:\\"},
      {"\\\\srv\\share\\x\\..\\y", "\\\\?\\UNC\\srv\\share\\y"},
      {"//srv/share", "\\\\?\\UNC\\srv\\share\\"},
      {"rel/x", "\\\\?\\D:\\work\\rel\\x"},
      {"..\\..\\..", "\\\\?\\D:\\"},
      // Left to the system's own rules.
      {"\\\\?\\C:\\a\\..", "\\\\?\\C:\\a\\.."},
      {"\\x\\..", "\\x\\.."},
      {"C:x", "C:x"},
      {"\\\\srv\\", "\\\\srv\\"},
      {"\\\\\\share", "\\\\\\share"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    EXPECT_EQ(zub::exactPath(row.input, "D:\\work", zub::PathStyle::windows), row.expected);
    EXPECT_EQ(zub::exactPath(row.input, "/w", zub::PathStyle::posix), row.input);
  }
  EXPECT_EQ(zub::exactPath("rel", "", zub::PathStyle::windows), "rel");
  EXPECT_EQ(zub::plainPath("\\\\?\\UNC\\srv\\x", zub::PathStyle::windows), "\\\\srv\\x");
  EXPECT_EQ(zub::plainPath("\\\\?\\C:\\x", zub::PathStyle::windows), "C:\\x");
  EXPECT_EQ(zub::plainPath("\\\\.\\pipe", zub::PathStyle::windows), "\\\\.\\pipe");
  EXPECT_EQ(zub::plainPath("\\\\?\\C:\\x", zub::PathStyle::posix), "\\\\?\\C:\\x");
}

TEST(Join, ListForm) {
  struct {
    std::vector<std::string> parts;
    std::string expected;
  } rows[] = {
      {{"a", "b"}, "a/b"},   {{"a/", "b"}, "a/b"},         {{"", "a"}, "a"},
      {{"a", "", "b"}, "a/b"}, {{"a", "/b"}, "a//b"},       {{}, ""},
      {{"a\\", "b"}, "a\\/b"}, {{"", ""}, ""},              {{"/", "x"}, "/x"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    EXPECT_EQ(zub::join('/', row.parts), row.expected);
  }
  EXPECT_EQ(zub::join('\\', {"D:", "work", "x"}), "D:\\work\\x");
}

TEST(Join, ArgumentForm) {
  EXPECT_EQ(zub::join('/', "dir", "name", nullptr), "dir/name");
  EXPECT_EQ(zub::join('\\', "D:\\x\\", "name", nullptr), "D:\\x\\name");
  EXPECT_EQ(zub::join('/', static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(zub::join('/', "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12",
                      "13", "14", "15", "16", "17", "18", "19", "20", nullptr),
            "1/2/3/4/5/6/7/8/9/10/11/12/13/14/15/16/17/18/19/20");
}

TEST(JoinDeathTest, TwentyOneStringsWithoutTerminatorEndTheProcess) {
  // The message goes to standard output, which the death test does not
  // see; send it to standard error in the child to match it.
  EXPECT_EXIT(
      {
        dup2(2, 1);
        zub::join('/', "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13",
                  "14", "15", "16", "17", "18", "19", "20", "21", nullptr);
      },
      // exit(-1): POSIX keeps the low byte of the status, Windows all of it.
      [](int status) {
        return ::testing::ExitedWithCode(255)(status) || ::testing::ExitedWithCode(-1)(status);
      },
      "^zub::join\\(\\.\\.\\.\\):  hmmmmm, did you null terminate\\?\n$");
}

TEST(Tokenize, MaximalRunsOfNonDelimiters) {
  struct {
    std::string s, delimiters;
    std::vector<std::string> expected;
  } rows[] = {
      {"", "/\\", {}},
      {"/", "/\\", {}},
      {"/\\//", "/\\", {}},
      {"/a//b/", "/\\", {"a", "b"}},
      {"D:\\x/y", "/\\", {"D:", "x", "y"}},
      {"a b", "", {"a b"}},
      {"", "", {}},
      {"a,b;;c,", ",;", {"a", "b", "c"}},
      {"\xE9 \xFF", " ", {"\xE9", "\xFF"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.s);
    EXPECT_EQ(zub::tokenize(row.s, row.delimiters), row.expected);
  }
}

TEST(DirNameAndBaseName, SplitAtTheLastSeparator) {
  struct Split {
    std::string dir, base;
  };
  struct {
    const char* path;
    Split windows, posix;
  } rows[] = {
      {"a/b/c", {"a/b/", "c"}, {"a/b/", "c"}},
      {"/x", {"/", "x"}, {"/", "x"}},
      {"a/", {"a/", ""}, {"a/", ""}},
      {"foo", {"foo", "foo"}, {"foo", "foo"}},
      {"", {"", ""}, {"", ""}},
      {"D:\\x/y\\z", {"D:\\x/y\\", "z"}, {"D:\\x/", "y\\z"}},
      {"\\\\srv", {"\\\\", "srv"}, {"\\\\srv", "\\\\srv"}},
      {"a b/c\nd", {"a b/", "c\nd"}, {"a b/", "c\nd"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(zub::dirName(row.path, zub::PathStyle::windows), row.windows.dir);
    EXPECT_EQ(zub::baseName(row.path, zub::PathStyle::windows), row.windows.base);
    EXPECT_EQ(zub::dirName(row.path, zub::PathStyle::posix), row.posix.dir);
    EXPECT_EQ(zub::baseName(row.path, zub::PathStyle::posix), row.posix.base);
  }
}

TEST(WithSeparator, RebuildsWithOneSeparator) {
  struct {
    std::string path, backslash, slash, posixSlash;
  } rows[] = {
      {"", "", "", ""},
      {"/", "\\", "/", "/"},
      {"D:/Users/x/", "D:\\Users\\x", "D:/Users/x", "D:/Users/x"},
      {"/a//b/", "\\a\\b", "/a/b", "/a/b"},
      {"\\\\srv\\share", "\\srv\\share", "/srv/share", "\\\\srv\\share"},
      {"./.d/f", ".\\.d\\f", "./.d/f", "./.d/f"},
      {"a", "a", "a", "a"},
      {"/a\\b//c", "\\a\\b\\c", "/a/b/c", "/a\\b/c"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(zub::withSeparator(row.path, '\\', zub::PathStyle::windows), row.backslash);
    EXPECT_EQ(zub::withSeparator(row.path, '/', zub::PathStyle::windows), row.slash);
    EXPECT_EQ(zub::withSeparator(row.path, '/', zub::PathStyle::posix), row.posixSlash);
    EXPECT_EQ(zub::toNative(row.path),
              zub::nativePathStyle() == zub::PathStyle::posix ? row.posixSlash : row.backslash);
  }
}

TEST(ToLower, OnlyAsciiCapitalsChange) {
  const Row rows[] = {
      {"ABC.Txt", "abc.txt"},
      // The neighbours of 'A'..'Z' and capitals above 0x7F stay.
      {"@AZ[`az{", "@az[`az{"},
      {"\xC0\xC9\xDE\xFF", "\xC0\xC9\xDE\xFF"},
      {std::string("A\0B", 3), std::string("a\0b", 3)},
      {"", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    EXPECT_EQ(zub::toLower(row.input), row.expected);
  }
}

}  // namespace
