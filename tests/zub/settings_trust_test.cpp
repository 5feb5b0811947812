// Settings files that are not the user's own regular files: planted by
// someone else, links, directories, fifos, devices. None of them is read,
// written or replaced, and none blocks; no new file is made anywhere else
// instead. The user's own files are used wherever they lie.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
// A group that neither nobody nor the user running the tests is in.
constexpr gid_t otherGroup = 4343;

bool isRoot() { return geteuid() == 0; }

mode_t lmodeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// True when `stream` is open on the file at `path`.
bool isOpenOn(FILE* stream, const std::string& path) {
  struct stat open {}, named {};
  return stream != nullptr && fstat(fileno(stream), &open) == 0 &&
         lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// "uid mode" of what is at `path` (the link itself), the mode in octal.
std::string ownerAndMode(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "missing";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(st.st_mode & 07777));
  return std::to_string(st.st_uid) + " " + mode;
}

// Replaces the settings file of `location` with `text`, as a save does:
// under the folder's lock.
bool save(const zub::SettingsLocation& location, const std::string& text) {
  const auto fill = [](void* context, uint64_t offset, char* out, size_t capacity) -> size_t {
    const std::string& content = *static_cast<const std::string*>(context);
    if (offset >= content.size()) return 0;
    const size_t n = std::min<size_t>(content.size() - offset, capacity);
    content.copy(out, n, offset);
    return n;
  };
  std::string content = text;
  const zub::FolderLock lock = zub::lockSettingsFolder(location);
  std::string problem;
  return zub::replaceSettingsFile(location, zub::ContentSource{fill, &content}, lock, problem);
}

std::string readStream(FILE* stream) {
  std::string text;
  if (stream == nullptr) return "no stream";
  for (int c; (c = std::fgetc(stream)) != EOF;) text += static_cast<char>(c);
  std::fclose(stream);
  return text;
}

struct UmaskGuard {
  mode_t old;
  explicit UmaskGuard(mode_t mask) : old(umask(mask)) {}
  ~UmaskGuard() { umask(old); }
};

// HOME is <dir>/home and the working directory <dir>, so the candidates
// are <dir>/home/.orchard.menu/F, then fallback = <dir>/.orchard.menu/F.
struct TrustFixture : ::testing::Test {
  TempDir dir;
  EnvGuard env;
  std::string home = dir / "home";
  std::string folder = home + "/.orchard.menu";
  std::string path = folder + "/F";
  std::string fallback = dir / ".orchard.menu/F";
  void SetUp() override {
    ASSERT_TRUE(testing_support::makeDir(folder));
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);  // for checks run as nobody
    ASSERT_TRUE(env.changeDir(dir.path));
    env.useHome(home);
  }
  void removeFallback() {
    std::error_code ignored;
    std::filesystem::remove_all(dir / ".orchard.menu", ignored);
  }
};

// Each row plants something at the first candidate; opening it for
// reading or writing returns at all (a fifo must not block) with no
// stream and no file at the next candidate, says what is in the way, and
// leaves what was planted, and what a link points to, as it was.
TEST_F(TrustFixture, NothingButARegularFileIsOpened) {
  const std::string outside = dir / "outside";
  ASSERT_TRUE(testing_support::makeDir(outside));
  struct Row {
    const char* what;
    std::function<int()> plant;          // 0 on success
    std::function<bool()> asItWas;
    const char* cause;                   // in the problem
  };
  const Row rows[] = {
      {"a directory", [&] { return mkdir(path.c_str(), 0700); },
       [&] { return S_ISDIR(lmodeOf(path)) && testing_support::namesIn(path).empty(); },
       "occupied by a directory"},
      {"a fifo", [&] { return mkfifo(path.c_str(), 0600); },
       [&] { return S_ISFIFO(lmodeOf(path)); }, "occupied by a FIFO"},
      {"a link to /dev/zero", [&] { return symlink("/dev/zero", path.c_str()); },
       [&] { return S_ISLNK(lmodeOf(path)) && S_ISCHR(lmodeOf("/dev/zero")); },
       "occupied by a link"},
      {"a link to /", [&] { return symlink("/", path.c_str()); },
       [&] { return S_ISLNK(lmodeOf(path)); }, "occupied by a link"},
      {"a dangling link", [&] { return symlink((outside + "/made").c_str(), path.c_str()); },
       [&] { return S_ISLNK(lmodeOf(path)) && !testing_support::pathExists(outside + "/made"); },
       "occupied by a link"},
  };
  for (const Row& row : rows) {
    for (const char* mode : {"r", "w", "a"}) {
      SCOPED_TRACE(std::string(row.what) + ", mode " + mode);
      ASSERT_EQ(row.plant(), 0);
      // In a child: a blocking open ends there, by the alarm, as a failure.
      EXPECT_EXIT(
          {
            alarm(60);
            std::exit(zub::openSettingsFile("F", mode) == nullptr ? 0 : 1);
          },
          ::testing::ExitedWithCode(0), "");
      EXPECT_TRUE(row.asItWas());
      EXPECT_FALSE(testing_support::pathExists(fallback));
      const std::string problem = zub::locateSettingsFile("F").problem;
      EXPECT_NE(problem.find(path + ": " + row.cause), std::string::npos) << problem;
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
      removeFallback();
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
  EXPECT_EQ(zub::locateSettingsFile("F").path, elsewhere + "/F");
  FILE* stream = zub::openSettingsFile("F", "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("written", stream);
  std::fclose(stream);
  EXPECT_TRUE(S_ISLNK(lmodeOf(path)));
  EXPECT_EQ(testing_support::readFile(elsewhere + "/F"), "written");
}

// A settings file reached through links: every link on the way, the links
// to folders included, must be the user's own and lie in a folder no one
// else may write; the file at the end must be the user's own. Otherwise
// the chain is passed over and a new file is made at the next candidate.
TEST_F(TrustFixture, EveryLinkOfAChainIsChecked) {
  const std::string mine = dir / "mine";      // the user's, 0700
  const std::string shared = dir / "shared";  // everyone may write, not sticky
  const std::string victim = mine + "/bashrc";
  for (const std::string& made : {mine, shared}) {
    ASSERT_TRUE(testing_support::makeDir(made));
  }
  ASSERT_EQ(chmod(mine.c_str(), 0700), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  const auto link = [](const std::string& to, const std::string& at) {
    return symlink(to.c_str(), at.c_str()) == 0;
  };
  const auto othersLink = [&](const std::string& to, const std::string& at) {
    return link(to, at) && lchown(at.c_str(), otherUser, otherUser) == 0;
  };
  struct Row {
    const char* what;
    bool needsRoot;
    std::function<bool()> plant;
    std::string usedFile;  // empty: passed over
  };
  const Row rows[] = {
      {"own link → own link in an own folder → own file", false,
       [&] { return link(victim, mine + "/l") && link(mine + "/l", path); }, victim},
      {"own link, relative, through an own link to a folder", false,
       [&] { return link(".", mine + "/here") && link("../../mine/here/bashrc", path); },
       victim},
      {"twenty own links", false,
       [&] {
         bool ok = link(victim, mine + "/l0");
         for (int i = 1; i < 20; ++i)
           ok = ok && link(mine + "/l" + std::to_string(i - 1), mine + "/l" + std::to_string(i));
         return ok && link(mine + "/l19", path);
       },
       victim},
      {"own link → own file in a folder others may write", false,
       [&] {
         return testing_support::writeFile(shared + "/kept", "victim\n") &&
                link(shared + "/kept", path);
       },
       shared + "/kept"},
      {"own link → own link in a folder others may write → own file", false,
       [&] { return link(victim, shared + "/l") && link(shared + "/l", path); }, ""},
      {"own link through an own link to a folder, in a folder others may write", false,
       [&] { return link(mine, shared + "/d") && link(shared + "/d/bashrc", path); }, ""},
      {"a loop of own links", false,
       [&] {
         return link(mine + "/b", mine + "/a") && link(mine + "/a", mine + "/b") &&
                link(mine + "/a", path);
       },
       ""},
      {"own link → another user's link in a shared folder → own file", true,
       [&] { return othersLink(victim, shared + "/l") && link(shared + "/l", path); }, ""},
      {"own link → another user's link in an own folder → own file", true,
       [&] { return othersLink(victim, mine + "/l") && link(mine + "/l", path); }, ""},
      {"own link through another user's link to a folder", true,
       [&] { return othersLink(mine, mine + "/d") && link(mine + "/d/bashrc", path); }, ""},
      {"own link → own link in a folder a foreign group may write → own file", true,
       [&] {
         return chown(shared.c_str(), 0, otherGroup) == 0 && chmod(shared.c_str(), 0775) == 0 &&
                link(victim, shared + "/l") && link(shared + "/l", path);
       },
       ""},
      {"own link → another user's file", true,
       [&] {
         return testing_support::writeFile(mine + "/theirs", "victim\n") &&
                chown((mine + "/theirs").c_str(), otherUser, otherUser) == 0 &&
                link(mine + "/theirs", path);
       },
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.needsRoot && !isRoot()) continue;  // planting as a second user needs root
    ASSERT_TRUE(testing_support::writeFile(victim, "victim\n"));
    ASSERT_TRUE(row.plant());
    EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), row.usedFile);
    FILE* stream = zub::openSettingsFile("F", "w");
    if (row.usedFile.empty()) EXPECT_EQ(stream, nullptr);
    else EXPECT_TRUE(isOpenOn(stream, row.usedFile));
    EXPECT_FALSE(testing_support::pathExists(fallback));
    if (stream != nullptr) {
      std::fputs("marks\n", stream);
      std::fclose(stream);
    }
    const std::string used = row.usedFile.empty() ? victim : row.usedFile;
    EXPECT_EQ(testing_support::readFile(used), row.usedFile.empty() ? "victim\n" : "marks\n");
    EXPECT_TRUE(S_ISLNK(lmodeOf(path)));
    for (const std::string& emptied : {mine, shared}) {
      for (const std::string& name : testing_support::namesIn(emptied)) {
        ASSERT_EQ(unlink((emptied + "/" + name).c_str()), 0);
      }
    }
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  }
}

// The user's own file is used whatever the permission bits of its folder:
// it is checked on the open descriptor, and a replacement only ever goes
// over it by rename.
TEST_F(TrustFixture, OwnFilesAreUsedWhateverTheFolderBits) {
  for (mode_t folderMode : {0700, 0755, 0770, 0707, 0777, 01777, 02775}) {
    SCOPED_TRACE(folderMode);
    ASSERT_TRUE(testing_support::writeFile(path, "3\n2\n\n"));
    ASSERT_EQ(chmod(folder.c_str(), folderMode), 0);
    EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), path);
    FILE* stream = zub::openSettingsFile("F", "a");
    EXPECT_TRUE(isOpenOn(stream, path));
    if (stream != nullptr) std::fclose(stream);
  }
}

// The settings folder the program makes is the user's alone whatever the
// umask, also in a setgid home that a group may write, and the file made
// in it is found again. One that exists with wider rights is made the
// user's alone too: no one else may then hold its lock.
TEST_F(TrustFixture, TheSettingsFolderIsMadeForTheUserAlone) {
  struct Row {
    mode_t mask;
    bool setgidGroupHome;  // home: mode 2775, a group not the user's own
    mode_t existing;       // the folder's mode before; 0: no folder
  };
  const Row rows[] = {{0, false, 0},     {022, false, 0},     {077, false, 0},
                      {002, true, 0},    {022, false, 0755},  {0, false, 0777},
                      {002, false, 0770}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.mask) + (row.setgidGroupHome ? ", setgid home" : "") +
                 ", existing " + std::to_string(row.existing));
    if (row.setgidGroupHome && !isRoot()) continue;  // chgrp to another group needs root
    std::filesystem::remove_all(folder);
    if (row.existing != 0) {
      ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
      ASSERT_EQ(chmod(folder.c_str(), row.existing), 0);
      ASSERT_TRUE(testing_support::giveToCheckUser(folder));
    }
    ASSERT_TRUE(testing_support::giveToCheckUser(home));
    if (row.setgidGroupHome) {
      ASSERT_EQ(chown(home.c_str(), 65534, otherGroup), 0);
    }
    ASSERT_EQ(chmod(home.c_str(), row.setgidGroupHome ? 02775 : 0755), 0);
    const std::string made = path;
    const testing_support::ChildCheck check =
        testing_support::runUnprivileged([&](std::string& out) {
          umask(row.mask);
          FILE* stream = zub::openSettingsFile("F", "w");
          if (stream == nullptr) return;
          std::fputs("marks\n", stream);
          std::fclose(stream);
          struct stat st {};
          stat(made.substr(0, made.rfind('/')).c_str(), &st);
          char mode[16];
          std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(st.st_mode & 07777));
          out = mode;
          out += zub::findSettingsFile("orchard.menu", "F") == made ? " found" : " lost";
        });
    ASSERT_TRUE(check.ran) << check.output;
    EXPECT_EQ(check.output, "700 found");
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
  EXPECT_EQ(zub::openSettingsFile("F", "w"), nullptr);
  EXPECT_EQ(testing_support::readFile(path), "3\n2\n\n");
  ASSERT_EQ(chown(path.c_str(), 0, 0), 0);

  ASSERT_EQ(chown(folder.c_str(), otherUser, otherUser), 0);
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), "");
  ASSERT_EQ(chown(folder.c_str(), 0, 0), 0);

  const std::string target = dir / "target";
  ASSERT_TRUE(testing_support::writeFile(target, "mine"));
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
  ASSERT_EQ(lchown(path.c_str(), otherUser, otherUser), 0);
  EXPECT_EQ(zub::findSettingsFile("orchard.menu", "F"), "");
  EXPECT_EQ(zub::openSettingsFile("F", "w"), nullptr);
  EXPECT_FALSE(testing_support::pathExists(fallback));
  EXPECT_EQ(testing_support::readFile(target), "mine");
}

// A file of root's left in the user's own settings folder (by an earlier
// run as root) is read like the user's own, and the user's next save
// replaces it with a file of the user's, keeping its mode.
TEST_F(TrustFixture, RootsFileInTheUsersFolderIsReadAndReplacedAsTheUsers) {
  if (!isRoot()) GTEST_SKIP() << "a file of root's in a user's folder needs root";
  for (const bool sudo : {true, false}) {
    SCOPED_TRACE(sudo ? "as root with the user's HOME" : "as the user");
    ASSERT_TRUE(testing_support::writeFile(path, "3\n2\n\n"));
    ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    const std::string file = path;
    const auto readAndSave = [file](std::string& out) {
      const zub::SettingsLocation location = zub::locateSettingsFile("F");
      out = location.path == file ? readStream(zub::openSettingsFile(location, "r")) : "not found";
      out += save(location, "saved") ? "saved" : "not saved";
    };
    std::string output;
    std::string user;
    if (sudo) {
      for (const std::string& mine : {home, folder})
        ASSERT_EQ(chown(mine.c_str(), otherUser, otherGroup), 0);
      readAndSave(output);
      user = std::to_string(otherUser);
    } else {
      for (const std::string& mine : {home, folder})
        ASSERT_TRUE(testing_support::giveToCheckUser(mine));
      const testing_support::ChildCheck check = testing_support::runUnprivileged(readAndSave);
      ASSERT_TRUE(check.ran) << check.output;
      output = check.output;
      struct stat st {};
      ASSERT_EQ(stat(home.c_str(), &st), 0);
      user = std::to_string(st.st_uid);
    }
    EXPECT_EQ(output, "3\n2\n\nsaved");
    EXPECT_EQ(ownerAndMode(path), user + " 644");
    EXPECT_EQ(testing_support::readFile(path), "saved");
  }
}

// A HOME the user may not write: no file is made in the working directory
// or anywhere else, and the problem gives the true cause.
TEST_F(TrustFixture, AHomeThatTakesNoFolderIsSaidSoAndNothingIsMadeElsewhere) {
  if (!isRoot()) GTEST_SKIP() << "a home of someone else's needs root";
  std::filesystem::remove_all(folder);
  ASSERT_EQ(chmod(home.c_str(), 0755), 0);
  ASSERT_TRUE(testing_support::giveToCheckUser(dir.path));  // the working directory
  const testing_support::ChildCheck check = testing_support::runUnprivileged([](std::string& out) {
    out = zub::openSettingsFile("F", "w") == nullptr ? "" : "opened; ";
    out += zub::locateSettingsFile("F").problem;
  });
  ASSERT_TRUE(check.ran) << check.output;
  EXPECT_EQ(check.output, folder + ": Permission denied");
  EXPECT_EQ(testing_support::namesIn(dir.path), std::vector<std::string>{"home"});
}

// Root saves with a user's HOME while the user swaps the settings folder,
// in a tight loop, with a link of the user's to a folder of root's. The
// folder checked is the folder written, with the user's rights: nothing
// of root's changes, nothing of the user's appears among root's files, and
// once the swapping stops the user's own folder takes the save again.
TEST(SettingsRace, ASwappedFolderNeverTakesRootsSavesOutOfTheUsersFiles) {
  if (!isRoot()) GTEST_SKIP() << "root's saves with another user's HOME need root";
  TempDir dir;
  EnvGuard env;
  const std::string home = dir / "home";
  const std::string folder = home + "/.orchard.menu";
  const std::string swap = home + "/swap";
  const std::string roots = dir / "roots";
  ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(roots.c_str(), 0755), 0);
  for (const std::string& mine : {home, folder})
    ASSERT_EQ(chown(mine.c_str(), otherUser, otherGroup), 0);
  ASSERT_TRUE(testing_support::writeFile(roots + "/F", "root's\n"));
  ASSERT_EQ(chmod((roots + "/F").c_str(), 0600), 0);
  ASSERT_EQ(symlink(roots.c_str(), swap.c_str()), 0);
  ASSERT_EQ(lchown(swap.c_str(), otherUser, otherGroup), 0);
  ASSERT_TRUE(env.changeDir(dir.path));
  env.useHome(home);

  const pid_t swapper = fork();
  if (swapper == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(otherGroup) != 0 || setuid(otherUser) != 0) _exit(3);
    for (;;) renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE);
  }
  ASSERT_GT(swapper, 0);
  for (int round = 0; round < 400; ++round) {
    const zub::SettingsLocation location = zub::locateSettingsFile("F");
    readStream(zub::openSettingsFile(location, "r"));
    save(location, "marks " + std::to_string(round) + "\n");
  }
  kill(swapper, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(swapper, &status, 0), swapper);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the swapper ended by itself: " << status;

  EXPECT_EQ(testing_support::namesIn(roots), std::vector<std::string>{"F"});
  EXPECT_EQ(ownerAndMode(roots), "0 755");
  EXPECT_EQ(ownerAndMode(roots + "/F"), "0 600");
  EXPECT_EQ(testing_support::readFile(roots + "/F"), "root's\n");
  if (S_ISLNK(lmodeOf(folder))) {
    ASSERT_EQ(renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE), 0);
  }
  const zub::SettingsLocation location = zub::locateSettingsFile("F");
  EXPECT_EQ(location.path, folder + "/F") << location.problem;
  EXPECT_TRUE(save(location, "last\n"));
  EXPECT_EQ(testing_support::readFile(folder + "/F"), "last\n");
  EXPECT_EQ(ownerAndMode(folder + "/F").substr(0, 5), std::to_string(otherUser) + " ");
}


// Once HOME has been opened, exchanging it for a link to a folder of
// root's changes nothing: whose settings these are, and where they go,
// were taken from the folder first opened.
TEST(SettingsRace, AHomeSwappedAfterTheFirstLookupChangesNothing) {
  if (!isRoot()) GTEST_SKIP() << "root's saves with another user's HOME need root";
  TempDir dir;
  EnvGuard env;
  const std::string home = dir / "u", roots = dir / "roots";
  for (const std::string& made : {home, roots}) ASSERT_EQ(mkdir(made.c_str(), 0755), 0);
  ASSERT_EQ(chown(home.c_str(), otherUser, otherGroup), 0);
  ASSERT_TRUE(env.changeDir(roots));
  env.useHome(home);
  ASSERT_TRUE(save(zub::locateSettingsFile("F"), "before\n"));
  ASSERT_EQ(rename(home.c_str(), (dir / "moved").c_str()), 0);
  ASSERT_EQ(symlink(roots.c_str(), home.c_str()), 0);

  EXPECT_TRUE(save(zub::locateSettingsFile("F"), "after\n"));
  EXPECT_EQ(testing_support::readFile(dir / "moved/.orchard.menu/F"), "after\n");
  EXPECT_EQ(ownerAndMode(dir / "moved/.orchard.menu/F").substr(0, 5), std::to_string(otherUser) + " ");
  EXPECT_EQ(testing_support::namesIn(roots), std::vector<std::string>{});
}

// Root works for a user with all of that user's groups: a file of root's
// that the user may read through a supplementary group only is found, one
// of a group the user is not in is not. Skipped where the user database
// has no user in a supplementary group.
TEST_F(TrustFixture, RootForAUserHasTheUsersSupplementaryGroups) {
  const passwd* user = nullptr;
  gid_t groups[64];
  int count = 0;
  for (setpwent(); isRoot() && (user = getpwent()) != nullptr;) {
    count = 64;
    if (user->pw_uid != 0 && getgrouplist(user->pw_name, user->pw_gid, groups, &count) >= 0 &&
        count > 1)
      break;
  }
  if (user == nullptr) GTEST_SKIP() << "needs root and a user in a supplementary group";
  const gid_t primary = user->pw_gid;
  const gid_t extra = groups[0] == primary ? groups[1] : groups[0];
  for (const std::string& mine : {home, folder})
    ASSERT_EQ(chown(mine.c_str(), user->pw_uid, primary), 0);
  endpwent();
  for (const auto& [group, found] : {std::pair{primary, true}, {extra, true}, {otherGroup, false}}) {
    SCOPED_TRACE(group);
    ASSERT_TRUE(testing_support::writeFile(path, "3\n2\n\n"));
    ASSERT_EQ(chown(path.c_str(), 0, group), 0);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    EXPECT_EQ(readStream(zub::openSettingsFile("F", "r")), found ? "3\n2\n\n" : "no stream");
  }
}

// Only who may write the settings file can hold up its save: not another
// user who opened the folder while it was open to everyone and holds its
// flock; but the user's own second instance does.
TEST_F(TrustFixture, OnlyTheUserCanHoldUpASave) {
  if (!isRoot()) GTEST_SKIP() << "locks held by another user need root";
  for (const std::string& mine : {home, folder})
    ASSERT_EQ(chown(mine.c_str(), otherUser, otherGroup), 0);
  ASSERT_TRUE(testing_support::writeFile(path, "3\n2\n\n"));
  ASSERT_EQ(chown(path.c_str(), otherUser, otherGroup), 0);
  for (const auto& [holder, saveLocked] : {std::pair{uid_t(65534), true}, {otherUser, false}}) {
    SCOPED_TRACE(holder);
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
      struct flock lock {};
      lock.l_type = F_WRLCK;
      const bool locked =
          setgroups(0, nullptr) == 0 && setgid(holder) == 0 && setuid(holder) == 0 &&
          (holder == otherUser ? fcntl(open(path.c_str(), O_RDWR), F_OFD_SETLK, &lock) == 0
                               : flock(open(folder.c_str(), O_RDONLY), LOCK_EX) == 0);
      if (!locked || write(ready[1], "x", 1) != 1) _exit(4);
      pause();
    }
    close(ready[1]);
    char byte = 0;
    const bool holding = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (holding) {
      EXPECT_EQ(zub::lockSettingsFolder(zub::locateSettingsFile("F")).held(), saveLocked);
    }
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    ASSERT_TRUE(holding) << "the holder did not take its lock";
  }
}

}  // namespace
