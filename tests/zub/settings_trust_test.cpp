// Settings files that are not the user's own regular files: planted by
// someone else, links, directories, fifos, devices. None of them is read,
// written or replaced, and none blocks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/support.h"
#include "zub/settings.h"

namespace {

using testing_support::EnvGuard;
using testing_support::TempDir;

// A user id that is neither root, nobody, nor anyone running the tests:
// "another local user" for files planted as root.
constexpr uid_t otherUser = 4242;

bool isRoot() { return geteuid() == 0; }

mode_t lmodeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

struct TrustFixture : ::testing::Test {
  TempDir dir;
  EnvGuard env;
  std::string home = dir / "home";
  std::string folder = home + "/.orchard.menu";
  std::string path = folder + "/F";
  void SetUp() override {
    ASSERT_TRUE(testing_support::makeDir(folder));
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    env.useHome(home);
  }
};

// Each row plants something at the settings path; opening it for reading
// or writing gives no stream, returns at all (a fifo must not block), and
// leaves what was planted, and what a link points to, as it was.
TEST_F(TrustFixture, NothingButARegularFileIsOpened) {
  const std::string outside = dir / "outside";
  ASSERT_TRUE(testing_support::makeDir(outside));
  ASSERT_EQ(chmod(outside.c_str(), 0777), 0);  // others may write there
  struct Row {
    const char* what;
    std::function<int()> plant;          // 0 on success
    std::function<bool()> asItWas;
  };
  const Row rows[] = {
      {"a directory", [&] { return mkdir(path.c_str(), 0700); },
       [&] { return S_ISDIR(lmodeOf(path)) && testing_support::namesIn(path).empty(); }},
      {"a fifo", [&] { return mkfifo(path.c_str(), 0600); },
       [&] { return S_ISFIFO(lmodeOf(path)); }},
      {"a link to /dev/zero", [&] { return symlink("/dev/zero", path.c_str()); },
       [&] { return S_ISLNK(lmodeOf(path)) && S_ISCHR(lmodeOf("/dev/zero")); }},
      {"a dangling link", [&] { return symlink((outside + "/made").c_str(), path.c_str()); },
       [&] { return S_ISLNK(lmodeOf(path)) && !testing_support::fileExists(outside + "/made"); }},
      {"a link into a folder others may write",
       [&] {
         return testing_support::writeFile(outside + "/kept", "3\n2\nkept\n")
                    ? symlink((outside + "/kept").c_str(), path.c_str())
                    : -1;
       },
       [&] { return testing_support::readFile(outside + "/kept") == "3\n2\nkept\n"; }},
  };
  for (const Row& row : rows) {
    for (const char* mode : {"r", "w", "a"}) {
      SCOPED_TRACE(std::string(row.what) + ", mode " + mode);
      ASSERT_EQ(row.plant(), 0);
      // In a child: a blocking open ends there, by the alarm, as a failure.
      EXPECT_EXIT(
          {
            alarm(60);
            FILE* stream = zub::openSettingsFile("F", mode);
            std::exit(stream == nullptr ? 0 : 1);
          },
          ::testing::ExitedWithCode(0), "");
      EXPECT_TRUE(row.asItWas());
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
      std::filesystem::remove_all(outside + "/kept", ignored);
    }
  }
}

TEST_F(TrustFixture, AnOwnLinkInAnOwnFolderStandsForItsTarget) {
  const std::string elsewhere = dir / "dotfiles";
  ASSERT_TRUE(testing_support::makeDir(elsewhere));
  ASSERT_EQ(chmod(elsewhere.c_str(), 0700), 0);
  ASSERT_TRUE(testing_support::writeFile(elsewhere + "/F", "0\n5\n\n"));
  ASSERT_EQ(symlink((elsewhere + "/F").c_str(), path.c_str()), 0);

  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), elsewhere + "/F");
  const zub::SettingsLocation location = zub::locateSettingsFile("F");
  EXPECT_TRUE(location.exists);
  EXPECT_EQ(location.path, elsewhere + "/F");
  FILE* stream = zub::openSettingsFile("F", "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("written", stream);
  std::fclose(stream);
  EXPECT_TRUE(S_ISLNK(lmodeOf(path)));
  EXPECT_EQ(testing_support::readFile(elsewhere + "/F"), "written");
}

// The folder test of the candidates: owned by the user, and no one else
// may add, remove or rename files in it.
TEST_F(TrustFixture, FilesInFoldersOthersMayWriteArePassedOver) {
  ASSERT_TRUE(testing_support::writeFile(path, "3\n2\n\n"));
  struct Row {
    mode_t folderMode;
    bool found;
  };
  const Row rows[] = {{0700, true}, {0755, true}, {0707, false}, {0777, false}, {01777, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folderMode);
    ASSERT_EQ(chmod(folder.c_str(), row.folderMode), 0);
    EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), row.found ? path : "");
    // Passed over is as if absent: the file there is the first candidate,
    // which is taken, so nothing can be opened and nothing is changed.
    if (!row.found) {
      EXPECT_EQ(zub::openSettingsFile("F", "w"), nullptr);
    }
    EXPECT_EQ(testing_support::readFile(path), "3\n2\n\n");
  }
}

// As root, files and folders handed to another user id stand for another
// local user's: they are passed over.
TEST_F(TrustFixture, AnotherUsersFilesLinksAndFoldersArePassedOver) {
  if (!isRoot()) GTEST_SKIP() << "planting files as a second user needs root";
  ASSERT_TRUE(testing_support::writeFile(path, "3\n2\n\n"));
  ASSERT_EQ(zub::findSettingsFile("orchard.menu", "F"), path);

  ASSERT_EQ(chown(path.c_str(), otherUser, otherUser), 0);
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), "");
  ASSERT_EQ(chown(path.c_str(), 0, 0), 0);

  ASSERT_EQ(chown(folder.c_str(), otherUser, otherUser), 0);
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), "");
  ASSERT_EQ(chown(folder.c_str(), 0, 0), 0);

  // A group-writable folder is private only for the user's own group.
  ASSERT_EQ(chmod(folder.c_str(), 0770), 0);
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), path);
  ASSERT_EQ(chown(folder.c_str(), 0, otherUser), 0);
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), "");
  ASSERT_EQ(chown(folder.c_str(), 0, 0), 0);

  const std::string target = dir / "target";
  ASSERT_TRUE(testing_support::writeFile(target, "mine"));
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
  ASSERT_EQ(lchown(path.c_str(), otherUser, otherUser), 0);
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), "");
  EXPECT_EQ(zub::openSettingsFile("F", "w"), nullptr);
  EXPECT_EQ(testing_support::readFile(target), "mine");
}

}  // namespace
