#include "zub/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <optional>

#include "tests/support/support.h"
#include "zub/digest.h"
#include "zub/fs.h"
#include "zub/path.h"

namespace {

using testing_support::EnvGuard;
using testing_support::TempDir;
using Var = std::optional<std::string>;

const char* const profileVars[] = {"APPDATA", "USERPROFILE", "HOME", "HOMEPATH"};

// Sets the four profile variables as given (nullopt: unset).
void setProfile(EnvGuard& env, const Var (&values)[4]) {
  for (int i = 0; i < 4; ++i) {
    if (values[i]) env.set(profileVars[i], *values[i]);
    else env.unset(profileVars[i]);
  }
}

// `path` as the platform writes it: every '/' is its native separator.
std::string native(std::string path) {
  std::replace(path.begin(), path.end(), '/', zub::nativeSeparator());
  return path;
}

std::vector<std::string> nativeForms(std::vector<std::string> paths) {
  for (std::string& path : paths) path = native(path);
  return paths;
}

std::string readAll(FILE* f) {
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  return s;
}

TEST(SettingsCandidates, FollowTheProfileVariablesInOrder) {
  TempDir dir;
  EnvGuard cwd;
  ASSERT_TRUE(cwd.changeDir(dir.path));
  const std::string here = dir.path + "/orchard.menu/F";
  struct {
    Var vars[4];
    std::vector<std::string> expected;
  } rows[] = {
      {{"/d/Users/u/AppData/Roaming", "/d/Users/u", std::nullopt, "/Users/u"},
       {"/d/Users/u/AppData/Roaming/orchard.menu/F", "/d/Users/u/.orchard.menu/F",
        "/Users/u/.orchard.menu/F", "./.orchard.menu/F", here}},
      {{std::nullopt, std::nullopt, std::nullopt, std::nullopt}, {"./.orchard.menu/F", here}},
      {{std::nullopt, "/profile", "/home/u", std::nullopt},
       {"/profile/.orchard.menu/F", "/home/u/.orchard.menu/F", "./.orchard.menu/F", here}},
      {{std::nullopt, std::nullopt, "/home//u/", std::nullopt},
       {"/home/u/.orchard.menu/F", "./.orchard.menu/F", here}},
      // Set to the empty string still counts as set, and gives a rooted path.
      {{"", "", "", ""},
       {"/orchard.menu/F", "/.orchard.menu/F", "/.orchard.menu/F", "/.orchard.menu/F",
        "./.orchard.menu/F", here}},
      {{"rel//app", std::nullopt, std::nullopt, "//srv/u"},
       {"rel/app/orchard.menu/F", "/srv/u/.orchard.menu/F", "./.orchard.menu/F", here}},
      // On this system a backslash is a byte of a folder's name.
      {{"D:\\Users\\u", std::nullopt, "/home/a\\b/", "\\\\srv\\u"},
       {"D:\\Users\\u/orchard.menu/F", "/home/a\\b/.orchard.menu/F",
        "\\\\srv\\u/.orchard.menu/F", "./.orchard.menu/F", here}},
  };
  const bool backslashIsANameByte = zub::nativePathStyle() == zub::PathStyle::posix;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected.front());
    if (!backslashIsANameByte && row.expected.front().find('\\') != std::string::npos) continue;
    if (!testing_support::environmentHoldsEmptyValues() &&
        std::any_of(std::begin(row.vars), std::end(row.vars),
                    [](const Var& v) { return v && v->empty(); }))
      continue;
    EnvGuard env;
    setProfile(env, row.vars);
    EXPECT_EQ(zub::settingsCandidates("orchard.menu", "F"), nativeForms(row.expected));
  }
}

TEST(SettingsCandidates, WindowsFormsOnWindows) {
  if (zub::nativePathStyle() != zub::PathStyle::windows)
    GTEST_SKIP() << "a backslash is a name byte on this system";
  TempDir dir;
  EnvGuard env;
  ASSERT_TRUE(env.changeDir(dir.path));
  setProfile(env, {"D:\\Users\\u\\AppData\\Roaming", "D:\\Users\\u", std::nullopt, "\\Users\\u"});
  EXPECT_EQ(zub::settingsCandidates("orchard.menu", "F"),
            (std::vector<std::string>{"D:\\Users\\u\\AppData\\Roaming\\orchard.menu\\F",
                                      "D:\\Users\\u\\.orchard.menu\\F",
                                      "\\Users\\u\\.orchard.menu\\F", ".\\.orchard.menu\\F",
                                      dir.path + "\\orchard.menu\\F"}));
  setProfile(env, {std::nullopt, "\\\\srv\\u", std::nullopt, std::nullopt});
  EXPECT_EQ(zub::settingsCandidates("orchard.menu", "F").front(), "\\srv\\u\\.orchard.menu\\F");
}

TEST(SettingsCandidates, UnreadableWorkingDirectoryGivesARootedCandidate) {
  if (!testing_support::workingDirectoryCanVanish() ||
      !testing_support::environmentHoldsEmptyValues())
    GTEST_SKIP() << "needs a working directory that can be removed and an empty variable";
  TempDir dir;
  EXPECT_EXIT(
      {
        EnvGuard env;
        setProfile(env, {"", std::nullopt, std::nullopt, std::nullopt});
        const std::string gone = dir / "gone";
        std::error_code ec;
        if (!std::filesystem::create_directory(gone, ec) || !env.changeDir(gone) ||
            !std::filesystem::remove(gone, ec))
          std::exit(2);
        const std::vector<std::string> expected(
            {"/orchard.menu/F", "./.orchard.menu/F", "/orchard.menu/F"});
        std::exit(zub::settingsCandidates("orchard.menu", "F") == expected ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

struct SettingsFixture : ::testing::Test {
  TempDir dir;
  EnvGuard env;
  std::string appData = dir / "appdata/Roaming";
  std::string home = dir / "home";
  void SetUp() override {
    ASSERT_TRUE(env.changeDir(dir.path));
    ASSERT_TRUE(testing_support::makeDir(home));
    setProfile(env, {appData, std::nullopt, home, std::nullopt});
  }
};

TEST_F(SettingsFixture, FindTakesTheFirstCandidateThatIsAReadableFile) {
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), "");

  zub::makeDirs((home + "/.orchard.menu").c_str());
  testing_support::writeFile(home + "/.orchard.menu/F", "home");
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), native(home + "/.orchard.menu/F"));

  // A directory where the file should be is no file: the search goes on.
  zub::makeDirs((appData + "/orchard.menu/F").c_str());
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), native(home + "/.orchard.menu/F"));

  zub::makeDirs(".orchard.menu");
  testing_support::writeFile("./.orchard.menu/G", "dot");
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "G"), native("./.orchard.menu/G"));
}

TEST_F(SettingsFixture, OpenUsesAnExistingFileAtALaterCandidate) {
  zub::makeDirs("orchard.menu");
  testing_support::writeFile(dir / "orchard.menu/F", "3\n2\n");
  FILE* f = zub::openSettingsFile("F", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(readAll(f), "3\n2\n");
  std::fclose(f);
  EXPECT_FALSE(zub::isDir(appData.c_str()));
}

TEST_F(SettingsFixture, OpenCreatesAMissingFileWithItsFoldersAtTheFirstCandidate) {
  FILE* f = zub::openSettingsFile("F", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(readAll(f), "");
  std::fclose(f);
  const std::string made = appData + "/orchard.menu/F";
  EXPECT_TRUE(zub::fileExists(made.c_str()));
  EXPECT_FALSE(zub::isDir((home + "/.orchard.menu").c_str()));

  // Written through one call, read back through the next.
  f = zub::openSettingsFile("F", "w");
  ASSERT_NE(f, nullptr);
  std::fputs("written", f);
  std::fclose(f);
  f = zub::openSettingsFile("F", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(readAll(f), "written");
  std::fclose(f);
}

TEST_F(SettingsFixture, OpenWithoutProfileVariablesUsesTheDotFolderHere) {
  setProfile(env, {std::nullopt, std::nullopt, std::nullopt, std::nullopt});
  FILE* f = zub::openSettingsFile("F", "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(zub::fileExists((dir / ".orchard.menu/F").c_str()));
}

// Only the first candidate takes a new file. When it cannot (a file
// stands where its folder should be, a directory at the file's name), no
// file is made anywhere and the problem names the place; an existing file
// at a later candidate is still used.
TEST_F(SettingsFixture, ANewFileGoesToTheFirstCandidateOrNowhere) {
  testing_support::writeFile(dir / "plain", "data");
  struct Row {
    const char* what;
    std::string appData;
    std::string occupied;  // made a directory first, when not empty
    std::string named;     // in the problem
  };
  const Row rows[] = {
      {"a file where its folder should be", dir / "plain/below", "", dir / "plain"},
      {"a directory at its name", appData, appData + "/orchard.menu/F",
       appData + "/orchard.menu/F"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    setProfile(env, {row.appData, std::nullopt, home, std::nullopt});
    if (!row.occupied.empty()) zub::makeDirs(row.occupied.c_str());
    for (const char* mode : {"w", "a", "r"}) {
      SCOPED_TRACE(mode);
      EXPECT_EQ(zub::openSettingsFile("F", mode), nullptr);
    }
    const zub::SettingsLocation location = zub::locateSettingsFile("F");
    EXPECT_EQ(location.path, "");
    EXPECT_NE(location.problem.find(native(row.named)), std::string::npos) << location.problem;
    for (const std::string& elsewhere :
         {home + "/.orchard.menu", dir / ".orchard.menu", dir / "orchard.menu"}) {
      EXPECT_FALSE(testing_support::pathExists(elsewhere)) << elsewhere;
    }
    EXPECT_EQ(testing_support::readFile(dir / "plain"), "data");

    zub::makeDirs((dir / "orchard.menu").c_str());
    testing_support::writeFile(dir / "orchard.menu/F", "3\n2\n");
    FILE* f = zub::openSettingsFile("F", "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(readAll(f), "3\n2\n");
    std::fclose(f);
    std::filesystem::remove_all(dir / "orchard.menu");
  }
}

// The line that says why marks cannot be saved shows every byte of a name,
// and stays one line whatever control bytes the name holds.
TEST(EscapedLine, ControlBytesAreWrittenAsHex) {
  const struct {
    std::string text, shown;
  } rows[] = {
      {"plain caf\xC3\xA9 \\ name", "plain caf\xC3\xA9 \\ name"},
      {std::string("a\nb\rc\x1B[31md\x7F\0e", 14), "a\\x0Ab\\x0Dc\\x1B[31md\\x7F\\x00e"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shown);
    EXPECT_EQ(zub::escapedLine(row.text), row.shown);
  }
}

TEST(DigestHex, TheTestSuiteOfRfc1321) {
  const struct {
    std::string message, digest;
  } rows[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456"
       "7890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    EXPECT_EQ(zub::digestHex(row.message), row.digest);
  }
}

TEST(DigestHex, NamesAMarksFileByTheExactBytesOfItsPath) {
  EXPECT_EQ(zub::digestHex("D:\\work"), "FE03205A914FC220420187C7D367F08D");
  // Upper case digits, and a path differing only in case is another file.
  EXPECT_NE(zub::digestHex("d:\\work"), zub::digestHex("D:\\work"));
}

}  // namespace

TEST(DigestBytes, HexRoundTripAndStrictParsing) {
  const zub::Digest d = zub::digest("abc");
  EXPECT_EQ(zub::hexOf(d), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(zub::hexOf(d), zub::digestHex("abc"));
  struct Row {
    std::string text;
    bool parses;
  };
  const std::vector<Row> rows = {
      {"900150983CD24FB0D6963F7D28E17F72", true},
      {"00000000000000000000000000000000", true},
      {"900150983cd24fb0d6963f7d28e17f72", false},  // lower case is not what we write
      {"900150983CD24FB0D6963F7D28E17F7", false},   // 31 digits
      {"900150983CD24FB0D6963F7D28E17F720", false}, // 33 digits
      {"900150983CD24FB0D6963F7D28E17FG2", false},
      {"", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    zub::Digest parsed{};
    EXPECT_EQ(zub::parseHex(row.text.data(), row.text.size(), parsed), row.parses);
    if (row.parses) {
      EXPECT_EQ(zub::hexOf(parsed), row.text);
    }
  }
}
