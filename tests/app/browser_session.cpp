#include "tests/app/browser_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace testing_support {

bool ListView::marked(int band) const {
  return std::find(markedBands.begin(), markedBands.end(), band) != markedBands.end();
}

namespace {

// Lines start in the second cell column; their first sixteen cells show
// whether a line has text, and the first of them holds the "*" of a mark.
constexpr int kTextLeft = 32;
constexpr int kTextRight = kTextLeft + 16 * 32;
constexpr int kTitleBarHeight = 32;

struct BandCount {
  int white = 0;
  int red = 0;
  int starInk = 0;  // white or red in the first cell of the line text
};

bool isWhite(int r, int g, int b) { return r >= 200 && g >= 200 && b >= 200; }
bool isRed(int r, int g, int b) { return r >= 200 && g <= 60 && b <= 60; }

// Band k spans window y (from the bottom) anchor + 32k to anchor + 32k + 32;
// the part under the title bar is fetched from the screen.
BandCount countBand(XClient& client, int width, int height, int k) {
  BandCount count;
  const int anchor = static_cast<int>(static_cast<float>(height) * 0.5f - 20.0f);
  const int bottomY = anchor + 32 * k;
  const int topRow = std::max(height - (bottomY + 32), kTitleBarHeight);
  const int endRow = std::min(height - bottomY, height);
  const int right = std::min(width, kTextRight);
  if (endRow <= topRow || right <= kTextLeft) return count;
  const Screenshot shot = grabRect(client, kTextLeft, topRow, right - kTextLeft, endRow - topRow);
  for (int row = topRow; row < endRow; ++row) {
    for (int x = kTextLeft; x < right; ++x) {
      int r = 0, g = 0, b = 0;
      if (!shot.pixel(x, row, r, g, b)) continue;
      const bool white = isWhite(r, g, b);
      const bool red = isRed(r, g, b);
      count.white += white;
      count.red += red;
      if (x < kTextLeft + 32 && (white || red)) ++count.starInk;
    }
  }
  return count;
}

// A process outside the test's own process tree, which CTest's time-out
// kills as a whole: once the test process has gone, however it went, it
// kills what the session started (the pids it was told, one a line) unless
// it was told "done", and removes the session's folder. Returns the write
// end of its pipe, -1 when there is none.
int startKeeper(const std::string& folder) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  const pid_t middle = fork();
  if (middle == 0) {
    setsid();
    if (fork() != 0) _exit(0);
    dup2(fds[0], STDIN_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    execl("/bin/sh", "sh", "-c",
          "pids=; while read -r line; do pids=\"$pids $line\"; done;"
          " case \"$pids\" in *done*) ;; *) [ -n \"$pids\" ] && kill -9 $pids ;; esac;"
          " chmod -R u+rwx \"$1\"; rm -rf \"$1\"",
          "keeper", folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  int status = 0;
  if (middle < 0 || waitpid(middle, &status, 0) != middle) {
    close(fds[1]);
    return -1;
  }
  return fds[1];
}

void tellKeeper(int keeper, const std::string& line) {
  if (keeper < 0) return;
  const std::string text = line + "\n";
  const ssize_t ignored = write(keeper, text.data(), text.size());
  (void)ignored;
}

}  // namespace

ListView readListView(XClient& client, int width, int height) {
  ListView view;
  constexpr int ink = 20;  // pixels: more than stray edges, less than one glyph
  const BandCount anchor = countBand(client, width, height, 0);
  view.anchorText = anchor.white + anchor.red > ink;
  view.anchorRed = anchor.red > ink;
  if (anchor.starInk > ink) view.markedBands.push_back(0);
  for (int k = 1; 32 * k < height; ++k) {
    const BandCount band = countBand(client, width, height, k);
    if (band.white <= ink) break;
    ++view.linesAbove;
    if (band.starInk > ink) view.markedBands.push_back(k);
  }
  for (int k = -1; -32 * k < height; --k) {
    const BandCount band = countBand(client, width, height, k);
    if (band.white <= ink) break;
    ++view.linesBelow;
    if (band.starInk > ink) view.markedBands.push_back(k);
  }
  // The bar's top row: the title's glyphs keep their top texel row empty,
  // and even the shadow, half a pixel higher, only reaches row 1; any
  // other row shows the title wherever its text (the directory) is long.
  int& r = view.barPixel[0];
  int& g = view.barPixel[1];
  int& b = view.barPixel[2];
  view.titleBar = grabRect(client, width - 8, 0, 1, 1).pixel(width - 8, 0, r, g, b) && r <= 3 &&
                  std::abs(g - 25) <= 3 && std::abs(b - 51) <= 3;
  return view;
}

std::string describe(const ListView& view) {
  std::ostringstream out;
  out << "title bar " << view.titleBar << " (" << view.barPixel[0] << " " << view.barPixel[1] << " "
      << view.barPixel[2] << "), " << view.linesAbove << " above, "
      << view.linesBelow << " below, anchor text " << view.anchorText << " red "
      << view.anchorRed << ", marked bands:";
  for (int b : view.markedBands) out << " " << b;
  return out.str();
}

void BrowserSession::SetUp() {
  ASSERT_FALSE(temp.path.empty());
  root = temp.path;
  keeper = startKeeper(root);
  ASSERT_GE(keeper, 0) << "no process to clean up after the test";
  home = root + "/home";
  work = root + "/work";
  bin = root + "/bin";
  record = root + "/record";
  for (const std::string& d : {home, work, bin, record}) ASSERT_TRUE(makeDir(d));
  ASSERT_TRUE(writeExecutable(bin + "/xdg-open", recorderScript(false)));

  // A display of our own: tests run in parallel and never see each
  // other's windows or keys.
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  SpawnOptions options;
  options.argv = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                  "1920x1080x24", "-nolisten", "tcp", "-noreset"};
  options.keepFd = fds[1];
  options.silenceStderr = true;
  xvfb = spawn(options).pid;
  close(fds[1]);
  ASSERT_GT(xvfb, 0);
  tellKeeper(keeper, std::to_string(xvfb));
  std::string number = readLines(fds[0], 1);
  close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  ASSERT_FALSE(number.empty()) << "Xvfb did not report a display";
  display = ":" + number;
  std::string why;
  ASSERT_TRUE(connectTo(x, display, why)) << why;
}

void BrowserSession::TearDown() {
  killAndReap(browser);
  if (browserStdout >= 0) close(browserStdout);
  // The connection goes before its server, which Xlib would not survive.
  disconnect(x);
  if (xvfb > 0) {
    kill(xvfb, SIGTERM);
    int status = 0;
    if (!waitForExit(xvfb, status, std::chrono::seconds(5))) killAndReap(xvfb);
  }
  // Everything is reaped: the keeper only removes the folder (which the
  // TempDir does too).
  tellKeeper(keeper, "done");
  if (keeper >= 0) close(keeper);
}

void BrowserSession::spawnBrowser(const std::vector<std::string>& arguments,
                                  const std::string& cwd) {
  if (HasFailure()) FAIL() << "not started: the test has failed already";
  SpawnOptions options;
  options.argv = {programPath};
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  const char* path = std::getenv("PATH");
  std::vector<std::string> set = {"DISPLAY=" + display, "HOME=" + home, "LAUNCH_RECORD=" + record,
                                  "PATH=" + bin + ":" + (path ? path : "/usr/bin:/bin")};
  set.insert(set.end(), extraEnvironment.begin(), extraEnvironment.end());
  options.environment = environmentWith(set, {"APPDATA", "USERPROFILE", "HOMEPATH"});
  options.workingDirectory = cwd.empty() ? work : cwd;
  options.captureStdout = true;
  const Child child = spawn(options);
  ASSERT_GT(child.pid, 0);
  browser = child.pid;
  tellKeeper(keeper, std::to_string(browser));
  if (browserStdout >= 0) close(browserStdout);
  browserStdout = child.stdoutFd;
}

void BrowserSession::startBrowser(const std::vector<std::string>& arguments,
                                  const std::string& cwd) {
  spawnBrowser(arguments, cwd);
  if (HasFailure()) return;
  window = 0;
  waitUntil([&] { return (window = findViewableWindow(x, "orchard.menu")) != 0; },
            std::chrono::seconds(60));
  ASSERT_NE(0u, window) << "no viewable window named orchard.menu appeared";
  // No window manager: keys go to the focused window, and a key sent
  // before the focus is taken would go elsewhere.
  ASSERT_TRUE(waitUntil([&] { return focusWindow(x, window); })) << "the window never took the focus";
  startupOutput = readLines(browserStdout, 4);
  close(browserStdout);
  browserStdout = -1;
  ASSERT_TRUE(waitForView([](const ListView& v) { return v.titleBar; }, "the first frame"));
}

void BrowserSession::type(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    ASSERT_TRUE(pressKey(x, key)) << key;
  }
}

::testing::AssertionResult BrowserSession::waitForView(
    const std::function<bool(const ListView&)>& predicate, const std::string& what, int width,
    int height) {
  if (HasFailure()) return ::testing::AssertionFailure() << "not waited for " << what << ": the test has failed already";
  ListView last;
  if (waitUntil([&] {
        last = readListView(x, width, height);
        return predicate(last);
      })) {
    return ::testing::AssertionSuccess();
  }
  // Beside the temporary folder, which goes away with the test.
  const std::string saved = root + "-failed-screen.ppm";
  writePpm(grabRect(x, 0, 0, 1920, 1080), saved);
  return ::testing::AssertionFailure() << "waiting for " << what << ", the screen shows "
                                       << describe(last) << " (saved as " << saved << ")";
}

::testing::AssertionResult BrowserSession::waitForSelection(int above, int below) {
  return waitForView(
      [&](const ListView& v) {
        return v.anchorRed && v.linesAbove == above && v.linesBelow == below;
      },
      "the red line with " + std::to_string(above) + " lines above and " +
          std::to_string(below) + " below");
}

::testing::AssertionResult BrowserSession::waitForFile(const std::string& path,
                                                       const std::string& content) {
  if (HasFailure()) return ::testing::AssertionFailure() << "not waited for " << path << ": the test has failed already";
  std::string last;
  if (waitUntil([&] {
        last = readFile(path);
        return last == content;
      })) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << path << " holds\n" << last << "\ninstead of\n" << content;
}

int BrowserSession::waitForBrowserExit() {
  if (HasFailure()) return -1;
  int status = 0;
  if (!waitForExit(browser, status)) return -1;
  browser = -1;
  return status;
}

bool BrowserSession::browserRunning() {
  int status = 0;
  return browser > 0 && waitpid(browser, &status, WNOHANG) == 0;
}

}  // namespace testing_support
