#include "zub/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "tests/support/support.h"
#include "zub/fs.h"

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
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected.front());
    EnvGuard env;
    setProfile(env, row.vars);
    EXPECT_EQ(zub::settingsCandidates("orchard.menu", "F"), row.expected);
  }
}

TEST(SettingsCandidates, UnreadableWorkingDirectoryGivesARootedCandidate) {
  TempDir dir;
  EXPECT_EXIT(
      {
        EnvGuard env;
        setProfile(env, {"", std::nullopt, std::nullopt, std::nullopt});
        const std::string gone = dir / "gone";
        if (mkdir(gone.c_str(), 0700) != 0 || chdir(gone.c_str()) != 0 ||
            rmdir(gone.c_str()) != 0)
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
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    setProfile(env, {appData, std::nullopt, home, std::nullopt});
  }
};

TEST_F(SettingsFixture, FindTakesTheFirstCandidateThatIsAReadableFile) {
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), "");

  zub::makeDirs((home + "/.orchard.menu").c_str());
  testing_support::writeFile(home + "/.orchard.menu/F", "home");
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), home + "/.orchard.menu/F");

  // A directory where the file should be is no file: the search goes on.
  zub::makeDirs((appData + "/orchard.menu/F").c_str());
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), home + "/.orchard.menu/F");

  zub::makeDirs(".orchard.menu");
  testing_support::writeFile("./.orchard.menu/G", "dot");
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "G"), "./.orchard.menu/G");
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

TEST_F(SettingsFixture, NoStreamWhenTheFolderCannotBeMade) {
  testing_support::writeFile(dir / "plain", "data");
  setProfile(env, {dir / "plain/below", std::nullopt, std::nullopt, std::nullopt});
  for (const char* mode : {"r", "w", "a"}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(zub::openSettingsFile("F", mode), nullptr);
  }
  EXPECT_EQ(testing_support::readFile(dir / "plain"), "data");
  EXPECT_FALSE(zub::isDir((dir / ".orchard.menu").c_str()));
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
