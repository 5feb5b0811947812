// The real program on a virtual display: keys typed through XTEST, the
// screen read back, the marks files on disk checked.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/app/browser_session.h"
#include "zub/digest.h"

using namespace testing_support;

namespace {

// A socket on the TCP port of X display `number` (picked from those free)
// that takes connections and never answers: a program connecting to it
// waits in its start-up for ever. -1 when no port is free.
int silentXServer(int& number) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  for (number = 100; fd >= 0 && number < 200; ++number) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(6000 + number));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 8) == 0)
      return fd;
  }
  if (fd >= 0) close(fd);
  return -1;
}

// dir holds ".", "..", alpha/, beta/, a.txt, b.txt, c.txt, shown in that
// order; a fresh directory starts with the selection on alpha (index 2).
class BrowserTest : public BrowserSession {
 protected:
  void SetUp() override {
    BrowserSession::SetUp();
    top = root + "/top";
    dir = top + "/dir";
    ASSERT_TRUE(makeDir(dir + "/alpha"));
    ASSERT_TRUE(makeDir(dir + "/beta"));
    ASSERT_TRUE(makeDir(top + "/other"));
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) ASSERT_TRUE(writeFile(dir + "/" + name, name));
    const std::string marks = marksPath(dir);
    ASSERT_TRUE(makeDir(marks.substr(0, marks.rfind('/'))));
  }

  std::string marksOf(int selection, const std::vector<int>& marks) const {
    return marksText(dirNames, selection, marks);
  }

  const std::vector<std::string> dirNames = {".", "..", "alpha", "beta", "a.txt", "b.txt", "c.txt"};
  // top holds ".", "..", dir/, other/.
  const std::vector<std::string> topNames = {".", "..", "dir", "other"};
  std::string top, dir;
};

TEST_F(BrowserTest, StartsOnTheWorkingDirectoryAndPrintsFourLines) {
  // Started by its full path and by its bare name found on PATH: the
  // banner shows the file name alone either way.
  ASSERT_EQ(0, symlink(ORCHARD_BINARY, (bin + "/orchard-menu").c_str()));
  struct Row {
    std::string program;
    RunsOn where;
  };
  const Row rows[] = {{programPath, {}}, {"orchard-menu", linuxOnly("a bare name looked up on PATH")}};
  for (const Row& row : rows) {
    if (!runsHere(row.where)) continue;
    SCOPED_TRACE(row.program);
    programPath = row.program;
    startBrowser({}, dir);
    EXPECT_EQ(banner(), startupOutput);
    EXPECT_TRUE(windowHasIcon(x, window));
    EXPECT_TRUE(waitForSelection(2, 4));
    // Opening the directory made its (empty) marks file; quitting fills it.
    type({"q"});
    EXPECT_EQ(0, waitForBrowserExit());
    EXPECT_EQ(marksOf(2, {0, 0, 0, 0, 0, 0, 0}), readFile(marksPath(dir)));
  }
}

TEST_F(BrowserTest, ArrowsMoveTheSelectionAndStopAtBothEnds) {
  startBrowser({dir});
  ASSERT_TRUE(waitForSelection(2, 4));
  type({"Down"});
  ASSERT_TRUE(waitForSelection(3, 3));
  type({"Up", "Up", "Up", "Up", "Up"});
  ASSERT_TRUE(waitForSelection(0, 6));
  // Had Up wrapped at the top, Down would not land on the second line.
  type({"Down"});
  ASSERT_TRUE(waitForSelection(1, 5));
  type({"Down", "Down", "Down", "Down", "Down", "Down", "Down"});
  ASSERT_TRUE(waitForSelection(6, 0));
  type({"Up"});
  ASSERT_TRUE(waitForSelection(5, 1));
  type({"Escape"});
  EXPECT_EQ(0, waitForBrowserExit());
  EXPECT_EQ(marksOf(5, {0, 0, 0, 0, 0, 0, 0}), readFile(marksPath(dir)));
}

// A name that would start a new row under the list's last entry if its
// line feed broke the line: five rows below the selection, not six.
TEST_F(BrowserTest, ANameWithALineFeedKeepsToItsOwnRow) {
  SKIP_UNLESS_RUNS_HERE(linuxOnly("Windows names hold no line feed"));
  ASSERT_TRUE(writeFile(dir + "/d\n[Documents]", "d"));
  startBrowser({dir});
  EXPECT_TRUE(waitForSelection(2, 5));
}

TEST_F(BrowserTest, TAndBothSideArrowsToggleTheMarkAndSaveItAtOnce) {
  startBrowser({dir});
  ASSERT_TRUE(waitForSelection(2, 4));
  const std::string marks = marksPath(dir);
  struct Row {
    const char* key;
    int mark;
  };
  // Each key once: what a toggle does to every stored value is the
  // command tests' job; only here do the toolkit's key codes meet the table.
  for (const Row& row : {Row{"t", 1}, Row{"Right", 0}, Row{"Left", 1}}) {
    SCOPED_TRACE(row.key);
    type({row.key});
    std::vector<int> expected(7, 0);
    expected[2] = row.mark;
    EXPECT_TRUE(waitForFile(marks, marksOf(2, expected)));
    EXPECT_TRUE(waitForView([&](const ListView& v) { return v.marked(0) == (row.mark == 1); },
                            "the mark on the selected line"));
  }
  // The side arrows never moved the selection.
  type({"Down", "t"});
  EXPECT_TRUE(waitForFile(marks, marksOf(3, {0, 0, 1, 1, 0, 0, 0})));
  EXPECT_TRUE(waitForView(
      [](const ListView& v) { return v.anchorRed && v.linesAbove == 3 && v.marked(0) && v.marked(1); },
      "two marked lines at and above the selection"));
}

TEST_F(BrowserTest, CClearsEveryMarkAndRewritesTheFile) {
  const std::string marks = marksPath(dir);
  ASSERT_TRUE(writeFile(marks, marksOf(4, {0, 0, 1, 0, 5, 0, 1})));
  startBrowser({dir});
  ASSERT_TRUE(waitForView(
      [](const ListView& v) {
        return v.anchorRed && v.linesAbove == 4 && v.linesBelow == 2 &&
               v.markedBands == std::vector<int>{0, 2, -2};
      },
      "the stored selection and marks"));
  type({"c"});
  EXPECT_TRUE(waitForFile(marks, marksOf(4, {0, 0, 0, 0, 0, 0, 0})));
  EXPECT_TRUE(waitForView([](const ListView& v) { return v.anchorRed && v.markedBands.empty(); },
                          "no marked line"));
}

TEST_F(BrowserTest, BackspaceDeleteAndDotDotGoUpAndComingBackRestoresTheDirectory) {
  startBrowser({dir});
  ASSERT_TRUE(waitForSelection(2, 4));
  type({"Down", "Down", "Down", "t"});  // mark b.txt, selection 5
  ASSERT_TRUE(waitForFile(marksPath(dir), marksOf(5, {0, 0, 0, 0, 0, 1, 0})));
  type({"BackSpace"});
  ASSERT_TRUE(waitForSelection(2, 1));  // top, on "dir"
  type({"Return"});
  ASSERT_TRUE(waitForView(
      [](const ListView& v) {
        return v.anchorRed && v.linesAbove == 5 && v.linesBelow == 1 && v.markedBands == std::vector<int>{0};
      },
      "dir again with b.txt selected and marked"));
  type({"Up", "Up", "Up", "Up"});
  ASSERT_TRUE(waitForSelection(1, 5));  // on ".."
  type({"ctrl+j"});                     // line feed activates like Enter
  ASSERT_TRUE(waitForSelection(2, 1));
  type({"Return"});
  ASSERT_TRUE(waitForView(
      [](const ListView& v) {
        return v.anchorRed && v.linesAbove == 1 && v.linesBelow == 5 && v.markedBands == std::vector<int>{-4};
      },
      "dir with the selection on \"..\" and b.txt still marked"));
  type({"Delete"});
  ASSERT_TRUE(waitForSelection(2, 1));
  type({"q"});
  EXPECT_EQ(0, waitForBrowserExit());
  EXPECT_EQ(marksText(topNames, 2, {0, 0, 0, 0}), readFile(marksPath(top)));
  EXPECT_EQ(marksOf(1, {0, 0, 0, 0, 0, 1, 0}), readFile(marksPath(dir)));
}

TEST_F(BrowserTest, UpperCaseLettersAndTheMouseDoNothing) {
  const std::string stored = marksOf(2, {0, 0, 0, 0, 1, 0, 0});
  ASSERT_TRUE(writeFile(marksPath(dir), stored));
  startBrowser({dir});
  ASSERT_TRUE(waitForSelection(2, 4));
  type({"Q", "C", "T"});
  const Place where = place();
  ASSERT_TRUE(clickAt(x, where.left + 200, where.top + 300, 1));
  ASSERT_TRUE(clickAt(x, where.left + 900, where.top + 500, 3));
  // Keys are handled in order: once Down shows, the others have been seen.
  type({"Down"});
  ASSERT_TRUE(waitForView(
      [](const ListView& v) {
        return v.anchorRed && v.linesAbove == 3 && v.markedBands == std::vector<int>{-1};
      },
      "the selection one down and a.txt still marked"));
  EXPECT_TRUE(browserRunning());
  EXPECT_EQ(stored, readFile(marksPath(dir)));
}

TEST_F(BrowserTest, AHeldKeyGivesOneCommand) {
  startBrowser({dir});
  ASSERT_TRUE(waitForSelection(2, 4));
  const std::string marked = marksOf(3, {0, 0, 0, 1, 0, 0, 0});
  ASSERT_TRUE(holdKey(x, window, "Down", 2));
  // The toolkit tells a repeat from a new press by asking whether the key
  // is still down, so it stays down until the browser has handled every
  // repeat: pressing t ends the repeating, and t's mark shows that the
  // browser got that far.
  type({"t"});
  EXPECT_TRUE(waitForFile(marksPath(dir), marked));
  ASSERT_TRUE(releaseKey(x, "Down"));
  type({"q"});
  EXPECT_EQ(0, waitForBrowserExit());
  EXPECT_EQ(marked, readFile(marksPath(dir)));
}

// Every way the program is told to stop saves as the quit key does: the
// selection moved since the last save is stored. The window's close exits
// with status 0; a stop signal ends the program by that signal, so that a
// script running it sees it was stopped.
TEST_F(BrowserTest, ClosingTheWindowAndStopSignalsSaveAndExit) {
  // On these paths the toolkit may close the display, and Mesa unload its
  // driver, before any exit handler of ours could run the leak check; the
  // driver's allocations could then no longer be told apart. Leaks are
  // checked on the quit key's path and in the in-process tests.
  if (const char* asan = std::getenv("ASAN_OPTIONS")) {
    extraEnvironment.push_back(std::string("ASAN_OPTIONS=") + asan + ":detect_leaks=0");
  }
  struct Row {
    const char* what;
    std::function<bool()> stop;
    int signal;  // 0: exits with `status`
    int status = 0;
    int selection = 4;                // stored when it has ended
    const char* ignored = nullptr;    // a signal it starts with ignored (sh's trap name)
    std::string program = "";         // empty: the program under test
    RunsOn where = linuxOnly("POSIX signals and an X server of the test's own");
  };
  const std::string tested = programPath;
  const auto send = [&](int number) { return kill(browser, number) == 0; };
  const Row rows[] = {
      {"the window manager's close", [&] { return sendCloseRequest(x, window); }, 0, 0, 4, nullptr,
       "", {}},
      // Wine's window goes under it without a word to the program.
      {"the window destroyed", [&] { return destroyWindow(x, window); }, 0, 0, 4, nullptr, "",
       linuxOnly("wine does not tell a program its X window went")},
      {"SIGTERM", [&] { return send(SIGTERM); }, SIGTERM},
      {"SIGHUP", [&] { return send(SIGHUP); }, SIGHUP},
      {"SIGINT", [&] { return send(SIGINT); }, SIGINT},
      // Started so (nohup, a script's background job), it stays ignored.
      {"SIGINT ignored, then SIGTERM", [&] { return send(SIGINT) && send(SIGTERM); }, SIGTERM,
       0, 4, "INT"},
      {"SIGHUP ignored, then SIGTERM", [&] { return send(SIGHUP) && send(SIGTERM); }, SIGTERM,
       0, 4, "HUP"},
      // Its own thread starts all fail: a handler notes the signal.
      {"SIGTERM without threads", [&] { return send(SIGTERM); }, SIGTERM, 0, 4, nullptr,
       ORCHARD_THREADLESS_BINARY},
      // The close message never reaches a loop whose X server is stopped:
      // it ends by the signal anyway, with the marks of the last change.
      {"SIGTERM, the event loop stuck",
       [&] { return kill(xvfb, SIGSTOP) == 0 && send(SIGTERM); }, SIGTERM, 0, 2},
      // Last: the display is gone after it. The test's own connection goes
      // first, since Xlib would not survive the loss.
      {"the X server lost", [&] { disconnect(x); return kill(xvfb, SIGKILL) == 0; }, 0, 1},
  };
  for (const Row& row : rows) {
    if (!runsHere(row.where)) continue;
    SCOPED_TRACE(row.what);
    unlink(marksPath(dir).c_str());  // each row starts on a directory never shown
    const std::string program = row.program.empty() ? tested : row.program;
    programPath = row.ignored ? "/bin/sh" : program;
    if (row.ignored) {
      startBrowser({"-c", std::string("trap '' ") + row.ignored + "; exec \"$0\" \"$@\"",
                    program, dir});
    } else {
      startBrowser({dir});
    }
    ASSERT_TRUE(waitForSelection(2, 4));
    type({"t"});
    ASSERT_TRUE(waitForFile(marksPath(dir), marksOf(2, {0, 0, 1, 0, 0, 0, 0})));
    type({"Down", "Down"});
    ASSERT_TRUE(waitForSelection(4, 2));
    ASSERT_TRUE(row.stop());
    const int status = waitForBrowserExit();
    if (xvfb > 0) kill(xvfb, SIGCONT);
    if (row.signal == 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status) << "wait status " << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == row.signal) << "wait status " << status;
    }
    EXPECT_EQ(marksOf(row.selection, {0, 0, 1, 0, 0, 0, 0}), readFile(marksPath(dir)));
  }
}

// A stop signal that comes while the program is still starting (its
// first directory open, its window not yet there: the X server it talks
// to never answers) ends it at once by that signal. Nothing has been
// shown, so nothing is saved over the marks file the first load made.
TEST_F(BrowserTest, AStopSignalDuringStartUpEndsTheProgramAtOnce) {
  SKIP_UNLESS_RUNS_HERE(linuxOnly("POSIX signals and an X server of the test's own"));
  if (const char* asan = std::getenv("ASAN_OPTIONS")) {
    extraEnvironment.push_back(std::string("ASAN_OPTIONS=") + asan + ":detect_leaks=0");
  }
  int number = 0;
  const int server = silentXServer(number);
  ASSERT_GE(server, 0) << "no free port for a silent X server";
  const std::string realDisplay = display;
  display = "127.0.0.1:" + std::to_string(number);
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    unlink(marksPath(dir).c_str());
    spawnBrowser({dir});
    ASSERT_TRUE(waitUntil([&] { return pathExists(marksPath(dir)); }));
    ASSERT_EQ(0, kill(browser, signal));
    const int status = waitForBrowserExit();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "wait status " << status;
    EXPECT_EQ("", readFile(marksPath(dir)));
  }
  display = realDisplay;
  close(server);
}

// The last cell of the selected line's name (cell 0 is its first) in the
// window at `place` that shows red ink brighter than the placeholder's
// faint block: where the "#" that ends each name below stands once every
// cell has its picture. The selected line ends (height / 2 - 20) rows up
// the window; names start in its fourth cell.
int lastInkedCell(XClient& x, const Place& place) {
  const int anchor = static_cast<int>(static_cast<float>(place.height) * 0.5f - 20.0f);
  const Screenshot strip =
      grabRect(x, place.left + 96, place.top + place.height - anchor - 32, 32 * 24, 32);
  int last = -1;
  for (int i = 0; i + 2 < static_cast<int>(strip.rgb.size()); i += 3)
    if (strip.rgb[i] > 180) last = std::max(last, (i / 3) % strip.width / 32);
  return last;
}

// Names of each kind through the real window, as the line under the
// selection: where the "#" after the name lands says how many cells the
// name took. Shaped text takes fewer cells than its characters drew one to
// a cell; an emoji sequence takes one; a right-to-left override takes its
// own cell and hides nothing.
TEST_F(BrowserTest, NamesTakeTheCellsTheirScriptsNeed) {
  struct Row {
    const char* what;
    std::string name;
    int unshaped;  // cells one per character (the "#" cell's index then)
    bool fewer;    // else: exactly one cell for the sequence
  };
  const Row rows[] = {
      {"Arabic", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7#", 5, true},
      {"Devanagari", "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87#", 4, true},
      {"family", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7#", 5, false},
      {"flag", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7#", 2, false},
      {"keycap", "1\xEF\xB8\x8F\xE2\x83\xA3#", 3, false},
      {"skin tone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD#", 2, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string folder = root + "/" + row.what;
    ASSERT_TRUE(makeDir(folder));
    ASSERT_TRUE(writeFile(folder + "/" + row.name, ""));
    startBrowser({folder});
    ASSERT_TRUE(waitForSelection(2, 0));
    int last = -1;
    EXPECT_TRUE(waitUntil([&] {
      last = lastInkedCell(x, place());
      return row.fewer ? last >= 1 && last < row.unshaped : last == 1;
    })) << "the \"#\" stands in cell " << last << ", " << row.unshaped << " drawn one to a cell";
    type({"q"});
    EXPECT_EQ(0, waitForBrowserExit());
  }
}

// The cell of the second character of the line under the selection: the
// anchor line ends 520 rows up a 1080-row window, names start in the
// fourth cell.
std::vector<uint8_t> cellUnderSelection(XClient& x) { return grabRect(x, 32 * 4, 560, 32, 32).rgb; }

// Whether anything shows in the cell: a pixel unlike its corner, which no
// glyph and no placeholder reaches.
bool shows(const std::vector<uint8_t>& rgb) {
  for (std::size_t i = 3; i + 2 < rgb.size(); i += 3)
    if (!std::equal(rgb.begin(), rgb.begin() + 3, rgb.begin() + static_cast<std::ptrdiff_t>(i))) return true;
  return false;
}

// A FIFO among the user's fonts: fontconfig's scan opens it and waits for
// a writer that never comes, so the font worker never returns. The first
// frame still draws, the ASCII names in it and the placeholder in the
// glyph's cell, and every way to stop ends the program as it should,
// saved. Without the FIFO the glyph replaces the placeholder, with no key
// pressed: the program redraws when the worker is done.
TEST_F(BrowserTest, AFontFileThatNeverOpensHoldsNeitherTheFrameNorAStop) {
  SKIP_UNLESS_RUNS_HERE(linuxOnly("fontconfig and POSIX signals"));
  if (const char* asan = std::getenv("ASAN_OPTIONS")) {
    extraEnvironment.push_back(std::string("ASAN_OPTIONS=") + asan + ":detect_leaks=0");
  }
  const std::string names = root + "/names";
  ASSERT_TRUE(makeDir(names));
  ASSERT_TRUE(writeFile(names + "/a.txt", "a"));
  ASSERT_TRUE(writeFile(names + "/b\xD0\x96.txt", "b"));
  const std::vector<std::string> shown = {".", "..", "a.txt", "b\xD0\x96.txt"};
  const std::string fifo = home + "/.fonts/x.ttf";
  ASSERT_TRUE(makeDir(home + "/.fonts"));
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
  struct Row {
    const char* what;
    std::function<bool()> stop;
    int signal;  // 0: exits with status 0
  };
  const Row rows[] = {
      {"the quit key", [&] { return pressKey(x, "q"); }, 0},
      {"the window manager's close", [&] { return sendCloseRequest(x, window); }, 0},
      {"SIGTERM", [&] { return kill(browser, SIGTERM) == 0; }, SIGTERM},
  };
  std::vector<uint8_t> placeholder;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    unlink(marksPath(names).c_str());
    startBrowser({names});
    ASSERT_TRUE(waitForSelection(2, 1));
    const std::vector<uint8_t> cell = cellUnderSelection(x);
    if (placeholder.empty()) placeholder = cell;
    EXPECT_TRUE(shows(cell));
    EXPECT_EQ(cell, placeholder);
    type({"Down"});
    ASSERT_TRUE(waitForSelection(3, 0));
    ASSERT_TRUE(row.stop());
    const int status = waitForBrowserExit();
    EXPECT_TRUE(row.signal ? WIFSIGNALED(status) && WTERMSIG(status) == row.signal
                           : WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_EQ(marksText(shown, 3, {0, 0, 0, 0}), readFile(marksPath(names)));
  }
  ASSERT_EQ(0, unlink(fifo.c_str()));
  unlink(marksPath(names).c_str());  // the same line under the selection
  startBrowser({names});
  ASSERT_TRUE(waitForSelection(2, 1));
  EXPECT_TRUE(waitUntil([&] {
    const std::vector<uint8_t> cell = cellUnderSelection(x);
    return shows(cell) && cell != placeholder;
  })) << "the glyph never replaced the placeholder";
  type({"q"});
  EXPECT_EQ(0, waitForBrowserExit());
}

TEST_F(BrowserTest, AFirstArgumentThatIsAlsoAToolkitOptionIsTheDirectory) {
  SKIP_UNLESS_RUNS_HERE(linuxOnly("the X toolkit's options"));
  const std::string optionDir = work + "/-sync";
  ASSERT_TRUE(makeDir(optionDir));
  ASSERT_TRUE(writeFile(optionDir + "/f", ""));
  startBrowser({"-sync", dir}, work);  // the second argument is ignored
  ASSERT_TRUE(waitForSelection(2, 0));
  type({"q"});
  EXPECT_EQ(0, waitForBrowserExit());
  EXPECT_EQ(marksText({".", "..", "f"}, 2, {0, 0, 0}), readFile(marksPath(optionDir)));
}

TEST_F(BrowserTest, ResizingRedrawsAtOnceAtTheNewSize) {
  startBrowser({dir});
  ASSERT_TRUE(waitForSelection(2, 4));
  ASSERT_TRUE(resizeWindow(x, window, 800, 600));
  EXPECT_TRUE(waitForView(
      [](const ListView& v) {
        return v.width == 800 && v.height == 600 && v.titleBar && v.anchorRed &&
               v.linesAbove == 2 && v.linesBelow == 4;
      },
      "the list laid out for 800 x 600"));
}

// Anything named "pwned..." (in any case) at most `depth` levels under
// `folder`: what running a piece of a hostile name as a command leaves.
std::vector<std::string> pwnedUnder(const std::string& folder, int depth) {
  std::vector<std::string> found;
  std::error_code error;
  namespace fs = std::filesystem;
  for (auto it = fs::recursive_directory_iterator(folder, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string name = it->path().filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (name.compare(0, 5, "pwned") == 0) found.push_back(it->path().string());
    if (it.depth() + 1 >= depth) it.disable_recursion_pending();
  }
  return found;
}

// Names a command interpreter would act on (a shell's metacharacters on
// Linux, cmd's & ^ ( ) % on Windows); the program must hand them over
// untouched, marked on disk before the application starts. On Linux a
// second one is a program, run directly.
TEST_F(BrowserTest, EnterLaunchesFilesWithTheirExactPathAfterMarkingThem) {
  const std::string launchDir = root + "/launch";
  ASSERT_TRUE(makeDir(launchDir));
  const std::string document =
      target().windows ? "z&mkdir PWNED&y ^(x) 100%.orchtest"
                       : "z it's \"quoted\" $(touch pwned1) `touch pwned2`; touch pwned3\nnext";
  const std::string program =
      target().windows ? "" : "zz $(touch pwned4) `touch pwned5`; touch pwned6\n'x' \xe9";
  const std::string marks = marksPath(launchDir);
  for (const std::string& name : {std::string("a.txt"), std::string("b.txt"), document})
    ASSERT_TRUE(writeFile(launchDir + "/" + name, "text"));
  std::vector<std::string> names = {".", "..", "a.txt", "b.txt", document};
  if (!program.empty()) {
    ASSERT_TRUE(writeExecutable(launchDir + "/" + program, recorderScript(true, marks)));
    names.push_back(program);
  }
  installRecorder(marks);

  startBrowser({launchDir});
  // A name's line feed starts a second text line, so only the lines above
  // the red one are counted.
  ASSERT_TRUE(waitForView([](const ListView& v) { return v.anchorRed && v.linesAbove == 2; },
                          "the first file selected"));
  type({"Down", "t"});
  EXPECT_TRUE(waitForFile(marks, marksText(names, 3, {0, 0, 0, 1, 0, 0})));
  type({"Down", "Return"});
  std::vector<LaunchRecord> records;
  ASSERT_TRUE(waitUntil([&] { return (records = launchRecords()).size() == 1; }));
  EXPECT_EQ(std::vector<std::string>{seen(launchDir + "/" + document)}, records[0].arguments);
  // The mark was on disk before the application started.
  EXPECT_EQ(marksText(names, 4, {0, 0, 0, 1, 1, 0}), records[0].copiedFile);
  EXPECT_TRUE(waitForFile(marks, marksText(names, 4, {0, 0, 0, 1, 1, 0})));
  int selection = 4;
  if (!program.empty()) {
    type({"Down", "Return"});
    selection = 5;
    ASSERT_TRUE(waitUntil([&] { return (records = launchRecords()).size() == 2; }));
    bool ranDirectly = false;
    for (const auto& r : records) {
      ranDirectly = ranDirectly || (r.arguments == std::vector<std::string>{launchDir + "/" + program} &&
                                    r.copiedFile == marksText(names, 5, {0, 0, 0, 1, 1, 1}));
    }
    EXPECT_TRUE(ranDirectly);
    EXPECT_TRUE(waitForFile(marks, marksText(names, 5, {0, 0, 0, 1, 1, 1})));
  }
  EXPECT_TRUE(waitForView(
      [&](const ListView& v) { return v.anchorRed && v.linesAbove == selection && v.marked(0); },
      "the launched file selected and marked"));

  EXPECT_EQ(std::vector<std::string>{}, pwnedUnder(root, 8));
  if (target().windows) {
    EXPECT_EQ(std::vector<std::string>{}, pwnedUnder(target().prefix + "/drive_c", 3));
  }
  for (const ProcessInfo& child : childrenOf(browser)) {
    EXPECT_NE('Z', child.state) << "zombie child " << child.pid;
  }
  type({"Escape"});
  EXPECT_EQ(0, waitForBrowserExit());
  EXPECT_EQ(marksText(names, selection, {0, 0, 0, 1, 1, 1}), readFile(marks));
}

// Characters, not bytes, of UTF-8 `text`.
int characters(const std::string& text) {
  return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Names in any script, from a folder of the program's own that also holds
// a planted glu32.dll, with %APPDATA% under a Cyrillic user name: the
// start folder "café" has a marks file keyed by its code page 1252 bytes,
// as an ANSI build wrote it, whose marks and selection come back; Enter
// hands a Cyrillic document to its application exactly; "日本" and a
// folder beyond 260 characters inside it open, and a document there
// launches; back in "café" a script runs in its own folder; the planted
// DLL never runs.
TEST_F(BrowserTest, NamesInAnyScriptOpenAndLaunchExactly) {
  SKIP_UNLESS_RUNS_HERE(windowsOnly("code page 1252 keys, cmd scripts and the DLL search order"));
  const std::string app = root + "/app", cafe = root + "/caf\xC3\xA9";
  const std::string japan = cafe + "/\xE6\x97\xA5\xE6\x9C\xAC", deep = japan + "/" + std::string(250, 'd');
  const std::string document = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.orchtest";
  ASSERT_TRUE(makeDir(app));
  ASSERT_TRUE(makeDir(deep));
  namespace fs = std::filesystem;
  for (const std::string file : {"/app/orchard-menu.exe", "/tests/app/planted/glu32.dll"}) {
    ASSERT_TRUE(fs::copy_file(target().build + file, app + file.substr(file.rfind('/'))));
  }
  programPath = app + "/orchard-menu.exe";
  ASSERT_TRUE(writeFile(cafe + "/n\xC3\xA9.txt", ""));
  ASSERT_TRUE(writeFile(cafe + "/where.bat", "@cd > where.txt\r\n"));
  ASSERT_TRUE(writeFile(cafe + "/" + document, document));
  ASSERT_TRUE(writeFile(deep + "/long.orchtest", "long"));
  EXPECT_GT(characters(seen(deep)) + 14, 300) << "the deep path is too short";
  appdata = root + "/\xD0\xA1\xD0\xB5\xD1\x80\xD0\xB3\xD0\xB5\xD0\xB9/AppData/Roaming";
  const std::vector<std::string> names = {".", "..", "\xE6\x97\xA5\xE6\x9C\xAC", "n\xC3\xA9.txt",
                                          "where.bat", document};
  // What an ANSI build wrote: né.txt marked, the document selected.
  const std::string marks = marksPath(cafe);
  ASSERT_TRUE(makeDir(appdata + "/orchard.menu"));
  ASSERT_TRUE(writeFile(marks, marksText({".", "..", "n\xC3\xA9.txt"}, 5, {0, 0, 7})));

  // Wine sets %APPDATA% from this value for every program it starts; once
  // the program has its environment the next ones get wine's own again.
  setRegistry("HKCU\\Volatile Environment", "APPDATA", seen(appdata));
  ASSERT_TRUE(savedRegistry.back().had) << "no APPDATA in HKCU\\Volatile Environment";
  startBrowser({cafe});
  restoreRegistry();
  EXPECT_FALSE(pathExists(app + "/planted-dll-ran"));
  installRecorder();

  type({"Return"});
  std::vector<LaunchRecord> records;
  ASSERT_TRUE(waitUntil([&] { return (records = launchRecords()).size() == 1; }, std::chrono::seconds(60)));
  EXPECT_EQ(std::vector<std::string>{seen(cafe + "/" + document)}, records[0].arguments);
  fs::remove_all(recorder + "/records");

  // Leaving "café" saves into the file it came from, né.txt's mark kept.
  type({"Up", "Up", "Up", "Return"});
  EXPECT_TRUE(waitForFile(marks, marksText(names, 2, {0, 0, 0, 7, 0, 1})));
  EXPECT_FALSE(pathExists(appdata + "/orchard.menu/" + zub::hexOf(zub::digest(seen(cafe)))))
      << "a second marks file for caf\xC3\xA9";
  type({"Return"});
  EXPECT_TRUE(waitForFile(marksPath(japan), marksText({".", "..", std::string(250, 'd')}, 2, {0, 0, 0})));
  type({"Return"});
  ASSERT_TRUE(waitUntil([&] { return (records = launchRecords()).size() == 1; }, std::chrono::seconds(60)));
  std::string shown;
  EXPECT_TRUE(records[0].arguments.size() == 1 &&
              runInPrefix({"cmd", "/c", "type", records[0].arguments[0]}, &shown) == 0 &&
              shown == "long")
      << "the application got " << ::testing::PrintToString(records[0].arguments)
      << ", which reads \"" << shown << "\"";

  // Back in "café", on 日本 again, down to the script.
  type({"BackSpace"});
  EXPECT_TRUE(waitForFile(marksPath(deep), marksText({".", "..", "long.orchtest"}, 2, {0, 0, 1})));
  type({"BackSpace"});
  EXPECT_TRUE(waitForSelection(2, 3));
  type({"Down", "Down", "Return"});
  EXPECT_TRUE(waitUntil([&] { return !readFile(cafe + "/where.txt").empty(); }, std::chrono::seconds(60)))
      << "the script did not run in its own folder";
  type({"Escape"});
  EXPECT_EQ(0, waitForBrowserExit());
  EXPECT_EQ(marksText(names, 4, {0, 0, 0, 7, 1, 1}), readFile(marks));
  EXPECT_FALSE(pathExists(app + "/planted-dll-ran"));
}

}  // namespace
