// Crash consistency: the real program on a directory of 1,000 entries,
// bursts of mark toggles, SIGKILL at moments picked three ways (as soon as
// a temporary file appears, after a random number of completed saves, and
// at once after the keys are sent). After every kill the marks file is one
// complete version the program wrote, and the next save leaves no
// temporary of a dead writer behind.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/app/browser_session.h"

using namespace testing_support;

namespace {

// Events in the marks folder, read as they come.
struct FolderWatch {
  int fd = -1;
  explicit FolderWatch(const std::string& folder) {
    fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd >= 0) inotify_add_watch(fd, folder.c_str(), IN_CREATE | IN_MOVED_TO);
  }
  ~FolderWatch() {
    if (fd >= 0) close(fd);
  }
  // Waits up to `limit` for the next event and returns the name it
  // concerns, with '+' in front for a creation, '>' for a move into the
  // folder; empty on time-out.
  std::string next(std::chrono::milliseconds limit) {
    if (!pending.empty()) {
      std::string name = pending.front();
      pending.erase(pending.begin());
      return name;
    }
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(limit.count())) <= 0) return std::string();
    alignas(inotify_event) char buffer[64 * 1024];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0) pending.push_back(((event->mask & IN_CREATE) ? "+" : ">") + std::string(event->name));
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    return next(std::chrono::milliseconds(0));
  }
  std::vector<std::string> pending;
};

bool isTemporaryOf(const std::string& name, const std::string& key) {
  return name.compare(0, key.size() + 5, key + ".tmp-") == 0;
}

class CrashTest : public BrowserSession {};

TEST_F(CrashTest, AKilledSaveLeavesAWholeFileAndNoLastingTemporary) {
  const std::string dir = root + "/many";
  ASSERT_TRUE(makeDir(dir));
  std::vector<std::string> names = {".", ".."};
  for (int i = 0; i < 998; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "entry-%04d", i);
    names.push_back(name);
    ASSERT_TRUE(writeFile(dir + "/" + name, ""));
  }
  const std::string folder = marksFolder(home);
  ASSERT_TRUE(makeDir(folder));
  const std::string path = marksPath(dir);
  const std::string key = path.substr(folder.size() + 1);
  // The selection stays on the first file, so every save writes one of two
  // versions: that file marked or not.
  std::vector<int> marks(names.size(), 0);
  const std::string unmarked = marksText(names, 2, marks);
  marks[2] = 1;
  const std::string marked = marksText(names, 2, marks);
  const auto isAVersion = [&](const std::string& text) {
    return text == unmarked || text == marked;
  };

  // Until a save has completed, the one version is the empty file that the
  // start-up load made.
  bool everWritten = false;
  const auto isWhole = [&](const std::string& text) {
    everWritten = everWritten || !text.empty();
    return isAVersion(text) || (!everWritten && text.empty());
  };

  std::mt19937 random(20261207);
  const int rounds = 50;
  int killedRightAfterATemporary = 0;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    FolderWatch watch(folder);
    ASSERT_GE(watch.fd, 0);
    startBrowser({dir});
    ASSERT_GT(browser, 0);
    const std::string atStart = readFile(path);
    ASSERT_TRUE(isWhole(atStart)) << atStart.size() << " bytes at start";

    const int burst = 2 + static_cast<int>(random() % 7);
    type(std::vector<std::string>(static_cast<size_t>(burst), "t"));

    const int way = round % 3;
    const int savesBeforeKill = 1 + static_cast<int>(random() % burst);
    int saves = 0;
    bool sawTemporary = false;
    bool checkedFolder = false;
    // Waits for evidence, each step bounded; the kill comes at the latest
    // when the burst is over.
    while (way != 2) {
      const std::string event = watch.next(std::chrono::seconds(30));
      ASSERT_FALSE(event.empty()) << "no save within 30 s after " << saves << " saves";
      const std::string name = event.substr(1);
      if (isTemporaryOf(name, key) && event[0] == '+') sawTemporary = true;
      if (event[0] == '>' && name == key) {
        ++saves;
        if (!checkedFolder) {
          // The first save of a run removed the temporaries of dead ones;
          // what remains is this run's: a save under the folder's lock
          // names its temporary ".tmp-locked", any other by its pid.
          checkedFolder = true;
          const std::string mine = key + ".tmp-" + std::to_string(browser) + "-";
          for (const std::string& present : namesIn(folder)) {
            EXPECT_TRUE(present == key || present == key + ".tmp-locked" ||
                        present.compare(0, mine.size(), mine) == 0)
                << "left behind: " << present;
          }
        }
      }
      if (way == 0 && sawTemporary) {
        ++killedRightAfterATemporary;
        break;
      }
      if ((way == 1 && saves >= savesBeforeKill) || saves >= burst) break;
    }
    ASSERT_EQ(0, kill(browser, SIGKILL));
    ASSERT_NE(-1, waitForBrowserExit());
    browser = -1;
    const std::string afterKill = readFile(path);
    EXPECT_TRUE(isWhole(afterKill)) << afterKill.size() << " bytes after a kill";
  }
  EXPECT_GT(killedRightAfterATemporary, 0);

  // One more run that saves and quits: nothing but the marks file remains.
  startBrowser({dir});
  type({"t", "Escape"});
  EXPECT_EQ(0, waitForBrowserExit());
  EXPECT_TRUE(isAVersion(readFile(path)));
  EXPECT_EQ(namesIn(folder), std::vector<std::string>({key}));
}

// Stops by signal in a row, as a script would stop the program: start,
// Down Down, a signal, sometimes before the keys have been handled. Each
// one saves and ends the program by that signal.
TEST_F(CrashTest, AStopSignalSavesEveryTime) {
  if (const char* asan = std::getenv("ASAN_OPTIONS")) {
    extraEnvironment.push_back(std::string("ASAN_OPTIONS=") + asan + ":detect_leaks=0");
  }
  const std::string dir = root + "/few";
  ASSERT_TRUE(makeDir(dir + "/sub"));
  for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(writeFile(dir + "/" + name, ""));
  const std::vector<std::string> names = {".", "..", "sub", "a", "b", "c"};
  const int signals[] = {SIGTERM, SIGHUP, SIGINT};
  for (int round = 0; round < 30; ++round) {
    const int signal = signals[round % 3];
    const bool waitForKeys = round % 2 == 0;
    SCOPED_TRACE("round " + std::to_string(round) + ", signal " + std::to_string(signal));
    unlink(marksPath(dir).c_str());
    startBrowser({dir});
    type({"Down", "Down"});
    if (waitForKeys) {
      ASSERT_TRUE(waitForSelection(4, 1));
    }
    ASSERT_EQ(0, kill(browser, signal));
    const int status = waitForBrowserExit();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "wait status " << status;
    // The selection as far as the keys got before the stop.
    const std::string saved = readFile(marksPath(dir));
    bool whole = false;
    for (int selection = waitForKeys ? 4 : 2; selection <= 4; ++selection)
      whole = whole || saved == marksText(names, selection, std::vector<int>(names.size(), 0));
    ASSERT_TRUE(whole) << saved;
  }
}

}  // namespace
