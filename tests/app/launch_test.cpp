// launchFile on POSIX, without a display: real files, a stand-in opener on
// PATH and real processes.
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "app/launch.h"
#include "tests/support/process.h"
#include "tests/support/support.h"
#include "zub/path.h"

using namespace testing_support;

namespace {

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.path.empty());
    root = temp.path;
    ASSERT_TRUE(makeDir(root + "/bin"));
    ASSERT_TRUE(makeDir(root + "/files"));
    ASSERT_TRUE(makeDir(root + "/work"));
    ASSERT_TRUE(makeDir(root + "/record"));
    ASSERT_TRUE(makeDir(root + "/empty"));
    ASSERT_TRUE(writeExecutable(root + "/bin/xdg-open", recorderScript(false)));
    env.set("LAUNCH_RECORD", root + "/record");
    env.set("PATH", root + "/bin:/usr/bin:/bin");
    ASSERT_TRUE(env.changeDir(root + "/work"));
  }

  // Waits until `count` runs have been recorded in all.
  std::vector<LaunchRecord> waitForRuns(std::size_t count) {
    std::vector<LaunchRecord> records;
    waitUntil([&] {
      records = readLaunchRecords(root + "/record");
      return records.size() >= count;
    });
    return records;
  }

  // What a shell would leave behind had it seen one of the names.
  void expectNoCommandRan() {
    for (const char* dir : {"/work", "/files", "/bin", ""}) {
      for (const char* name : {"pwned-subst", "pwned-tick", "pwned-semicolon",
                               "pwned-newline", "pwned-amp"}) {
        EXPECT_FALSE(pathExists(root + dir + "/" + name)) << dir << "/" << name;
      }
    }
  }

  // The launcher reaps its own helper at once and the program is not its
  // child: nothing is left to wait for.
  static void expectNoChildLeft() {
    int status = 0;
    errno = 0;
    EXPECT_EQ(-1, waitpid(-1, &status, WNOHANG));
    EXPECT_EQ(ECHILD, errno);
  }

  // Launches a file that `make` writes under each hostile name: exactly
  // its full path must reach the program that runs, and nothing in a name
  // may run as a command.
  void expectEachNameArrivesExactly(const std::function<bool(const std::string&)>& make) {
    std::size_t runs = 0;
    for (const std::string& name : hostileNames()) {
      SCOPED_TRACE(name);
      const std::string path = root + "/files/" + name;
      ASSERT_TRUE(make(path));
      launchAndExpectArrival(path, runs);
    }
    expectNoCommandRan();
  }
  // Launches `path`, the `runs`-th launch of the test, and expects one
  // more recorded run, started with `path` as its one argument in the
  // folder that holds it, while the browser stays where it was.
  void launchAndExpectArrival(const std::string& path, std::size_t& runs) {
    launchFile(path);
    expectNoChildLeft();
    const auto records = waitForRuns(++runs);
    ASSERT_EQ(runs, records.size());
    bool found = false;
    for (const auto& record : records) {
      found = found || (record.arguments == std::vector<std::string>{path} &&
                        record.workingDirectory == path.substr(0, path.rfind('/')));
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(root + "/work", zub::currentDir());
  }

  TempDir temp;
  EnvGuard env;
  std::string root;
};

TEST_F(LaunchTest, HandsEveryNameToTheOpenerAsOneExactArgument) {
  expectEachNameArrivesExactly(
      [](const std::string& path) { return writeFile(path, "some text\n"); });
}

TEST_F(LaunchTest, RunsExecutableFilesDirectlyWithThePathAsProgramName) {
  expectEachNameArrivesExactly(
      [](const std::string& path) { return writeExecutable(path, recorderScript(true)); });
}

TEST_F(LaunchTest, DirectoriesAndNonExecutableFilesGoToTheOpener) {
  struct Row {
    std::string name;
    bool directory;
    mode_t mode;
  };
  const Row rows[] = {
      {"a directory", true, 0755},         // x bits, but no program
      {"data.bin", false, 0644},
      {"no-x-for-anyone.sh", false, 0600},
  };
  std::size_t runs = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = root + "/files/" + row.name;
    if (row.directory) {
      ASSERT_TRUE(makeDir(path));
    } else {
      ASSERT_TRUE(writeFile(path, recorderScript(true)));
    }
    ASSERT_EQ(0, chmod(path.c_str(), row.mode));
    launchAndExpectArrival(path, runs);
  }
}

// The executable bit alone makes no program (every file on a vfat, ntfs
// or smb mount has it): what is neither a script nor an executable goes
// to the opener, and so does a program whose direct run cannot start.
TEST_F(LaunchTest, FilesWithTheExecutableBitThatAreNoProgramsGoToTheOpener) {
  struct Row {
    const char* name;
    std::string content;
  };
  const Row rows[] = {
      {"report.pdf", "%PDF-1.4 a document\n"},
      {"script-without-hash-bang.sh", "touch pwned-script\n"},
      {"empty", ""},
      {"elf-header-only", std::string("\x7f" "ELF garbage", 12)},
      {"missing-interpreter.sh", "#!/nonexistent/interpreter\ntouch pwned-script\n"},
  };
  std::size_t runs = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = root + "/files/" + row.name;
    ASSERT_TRUE(writeExecutable(path, row.content));
    // None of these files records a run: a record is the opener's.
    launchAndExpectArrival(path, runs);
  }
  EXPECT_FALSE(pathExists(root + "/work/pwned-script"));
}

TEST_F(LaunchTest, TheProgramIsDetachedFromTheBrowser) {
  // A descriptor without close-on-exec, as the toolkit's X connection is.
  const std::string sentinel = root + "/sentinel-descriptor";
  ASSERT_TRUE(writeFile(sentinel, ""));
  const int held = open(sentinel.c_str(), O_RDONLY);
  ASSERT_GE(held, 0);

  // Signals as the browser holds them: SIGXFSZ ignored by the browser
  // itself, SIGHUP by nohup, the stop signals blocked.
  struct sigaction ignore {}, xfsz, hup;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &xfsz);
  sigaction(SIGHUP, &ignore, &hup);
  sigset_t stops, mask;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stops, &mask);

  const std::string path = root + "/files/readme.txt";
  ASSERT_TRUE(writeFile(path, "x"));
  launchFile(path);
  pthread_sigmask(SIG_SETMASK, &mask, nullptr);
  sigaction(SIGXFSZ, &xfsz, nullptr);
  sigaction(SIGHUP, &hup, nullptr);
  expectNoChildLeft();
  const auto records = waitForRuns(1);
  close(held);
  ASSERT_EQ(1u, records.size());
  const LaunchRecord& record = records[0];

  EXPECT_NE(getsid(0), record.session);
  EXPECT_EQ(record.session, record.processGroup);
  ASSERT_GE(record.standardStreams.size(), 3u);
  for (int fd = 0; fd < 3; ++fd) {
    EXPECT_EQ("/dev/null", record.standardStreams[static_cast<std::size_t>(fd)]) << "fd " << fd;
  }
  for (const std::string& target : record.openFiles) EXPECT_NE(sentinel, target);
  EXPECT_EQ(root + "/files", record.workingDirectory);
  EXPECT_EQ("SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n", record.signals);
}

TEST_F(LaunchTest, FailuresShowNothingAndLeaveNoProcessBehind) {
  const std::string executable = root + "/files/not-a-program";
  ASSERT_TRUE(writeExecutable(executable, std::string("\x7f" "ELF garbage", 12)));
  const std::string plain = root + "/files/plain.txt";
  ASSERT_TRUE(writeFile(plain, "x"));

  struct Row {
    const char* what;
    std::string path;
    bool openerOnPath;
  };
  const Row rows[] = {
      {"no opener on PATH", plain, false},
      {"vanished file, no opener", root + "/files/gone", false},
      {"exec fails, no opener", executable, false},
      {"NUL inside the path", plain + std::string(1, '\0') + "x", true},
      {"empty path", "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    env.set("PATH", root + (row.openerOnPath ? "/bin" : "/empty"));
    launchFile(row.path);
    expectNoChildLeft();
  }
  // One run that does get through: only its record may appear.
  env.set("PATH", root + "/bin");
  launchFile(plain);
  const auto records = waitForRuns(1);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(std::vector<std::string>{plain}, records[0].arguments);
}

// Run as root with another user's HOME (sudo -E), the opener gets root's
// own environment: HOME from the user database, none of the user's XDG_*
// or other variables, no folder of the user's on PATH (so no opener of the
// user's), the display with its authority named. With root's
// own HOME it gets the browser's environment as it is.
TEST_F(LaunchTest, RootForAnotherUserLaunchesWithRootsOwnEnvironment) {
  const passwd* account = getpwuid(geteuid());
  if (geteuid() != 0 || account == nullptr) GTEST_SKIP() << "needs root";
  const std::string home = root + "/home", plain = root + "/files/notes.txt";
  ASSERT_TRUE(makeDir(home));
  ASSERT_TRUE(writeFile(plain, "x"));
  env.set("HOME", home);
  env.set("DISPLAY", ":42");
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "BROWSER"}) env.set(name, "/u");
  // A folder of the user's first on PATH, with an opener of the user's.
  const std::string userBin = root + "/userbin";
  ASSERT_TRUE(makeDir(userBin));
  ASSERT_EQ(chown(userBin.c_str(), 4242, 4242), 0);
  env.set("PATH", userBin + ":" + root + "/bin:/usr/bin:/bin");
  struct Row {
    uid_t homeOwner;
    const char* xauthority;  // nullptr: unset
    std::vector<std::string> present, absent;  // entries; names
  };
  const Row rows[] = {
      {0, nullptr, {"HOME=" + home, "XDG_CONFIG_HOME=/u", "BROWSER=/u", "OPENER=user"}, {"XAUTHORITY"}},
      {4242, nullptr,
       {"HOME=" + std::string(account->pw_dir), "DISPLAY=:42", "XAUTHORITY=" + home + "/.Xauthority",
        "PATH=" + root + "/bin:/usr/bin:/bin"},
       {"XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "BROWSER", "LAUNCH_RECORD", "OPENER"}},
      {4242, "/srv/auth", {"XAUTHORITY=/srv/auth"}, {"XDG_CONFIG_HOME", "OPENER"}},
  };
  for (const Row& row : rows) {
    const std::string recorded = root + "/environment-" + std::to_string(&row - rows);
    SCOPED_TRACE(recorded);
    for (const std::string& opener : {root + "/bin", userBin}) {
      const std::string mark = opener == userBin ? "echo OPENER=user; " : "";
      ASSERT_TRUE(writeExecutable(opener + "/xdg-open", "#!/bin/sh\n{ env; " + mark + "} > " +
                                                            recorded + ".tmp && mv " + recorded +
                                                            ".tmp " + recorded + "\n"));
    }
    ASSERT_EQ(chown(home.c_str(), row.homeOwner, row.homeOwner), 0);
    if (row.xauthority != nullptr) env.set("XAUTHORITY", row.xauthority);
    else env.unset("XAUTHORITY");
    launchFile(plain);
    ASSERT_TRUE(waitUntil([&] { return pathExists(recorded); }));
    const std::string entries = "\n" + readFile(recorded);
    for (const std::string& entry : row.present)
      EXPECT_NE(entries.find("\n" + entry + "\n"), std::string::npos) << entry;
    for (const std::string& name : row.absent)
      EXPECT_EQ(entries.find("\n" + name + "="), std::string::npos) << name;
  }
}

}  // namespace
