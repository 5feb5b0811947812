#include "tests/app/browser_session.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>


namespace testing_support {

bool ListView::marked(int band) const {
  for (int b : markedBands) {
    if (b == band) return true;
  }
  return false;
}

namespace {

struct BandCount {
  int white = 0;
  int red = 0;
  int starInk = 0;  // white or red in the first cell of the line text
};

bool isWhite(int r, int g, int b) { return r >= 200 && g >= 200 && b >= 200; }
bool isRed(int r, int g, int b) { return r >= 200 && g <= 60 && b <= 60; }

// Band k spans window y (from the bottom) anchor + 32k to anchor + 32k + 32.
BandCount countBand(const Screenshot& shot, int width, int height, int k) {
  BandCount count;
  const int anchor = static_cast<int>(static_cast<float>(height) * 0.5f - 20.0f);
  const int bottomY = anchor + 32 * k;
  const int topRow = height - (bottomY + 32);
  const int endRow = height - bottomY;
  for (int row = std::max(topRow, 32); row < std::min(endRow, height); ++row) {
    for (int x = 32; x < std::min(width, shot.width); ++x) {
      int r, g, b;
      shot.pixel(x, row, r, g, b);
      const bool white = isWhite(r, g, b);
      const bool red = isRed(r, g, b);
      count.white += white;
      count.red += red;
      if (x < 64 && (white || red)) ++count.starInk;
    }
  }
  return count;
}

}  // namespace

ListView readListView(const Screenshot& shot, int width, int height) {
  ListView view;
  if (shot.width < width || shot.height < height) return view;
  constexpr int ink = 20;  // pixels: more than stray edges, less than one glyph
  const BandCount anchor = countBand(shot, width, height, 0);
  view.anchorText = anchor.white + anchor.red > ink;
  view.anchorRed = anchor.red > ink;
  if (anchor.starInk > ink) view.markedBands.push_back(0);
  for (int k = 1; 32 * k < height; ++k) {
    const BandCount band = countBand(shot, width, height, k);
    if (band.white <= ink) break;
    ++view.linesAbove;
    if (band.starInk > ink) view.markedBands.push_back(k);
  }
  for (int k = -1; -32 * k < height; --k) {
    const BandCount band = countBand(shot, width, height, k);
    if (band.white <= ink) break;
    ++view.linesBelow;
    if (band.starInk > ink) view.markedBands.push_back(k);
  }
  int r, g, b;
  shot.pixel(width - 8, 8, r, g, b);
  view.titleBar = r <= 3 && std::abs(g - 25) <= 3 && std::abs(b - 51) <= 3;
  return view;
}

std::string describe(const ListView& view) {
  std::ostringstream out;
  out << "title bar " << view.titleBar << ", " << view.linesAbove << " above, "
      << view.linesBelow << " below, anchor text " << view.anchorText << " red "
      << view.anchorRed << ", marked bands:";
  for (int b : view.markedBands) out << " " << b;
  return out.str();
}

void BrowserSession::SetUp() {
  ASSERT_FALSE(temp.path.empty());
  root = temp.path;
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
  std::string number = readLines(fds[0], 1);
  close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  ASSERT_FALSE(number.empty()) << "Xvfb did not report a display";
  display = ":" + number;
}

void BrowserSession::TearDown() {
  killAndReap(browser);
  if (xvfb > 0) {
    kill(xvfb, SIGTERM);
    int status = 0;
    if (!waitForExit(xvfb, status, std::chrono::seconds(5))) killAndReap(xvfb);
  }
}

void BrowserSession::startBrowser(const std::vector<std::string>& arguments,
                                  const std::string& cwd) {
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

  int code = -1;
  const std::string found =
      runTool({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^orchard\\.menu$"},
              environmentWith({"DISPLAY=" + display}, {}), code, std::chrono::seconds(60));
  ASSERT_EQ(0, code) << "no window named orchard.menu appeared";
  windowId = found.substr(0, found.find('\n'));
  ASSERT_FALSE(windowId.empty());
  // No window manager: keys typed through XTEST go to the focused window.
  // Focus fails (BadMatch) until the window is viewable, which on a busy
  // machine can be a moment after it appears, so ask again until it takes.
  ASSERT_TRUE(waitUntil([&] { return xdotool({"windowfocus", "--sync", windowId}); },
                        std::chrono::seconds(20)))
      << "the window never took the focus";
  startupOutput = readLines(child.stdoutFd, 4);
  close(child.stdoutFd);
  ASSERT_TRUE(waitForView([](const ListView& v) { return v.titleBar; }, "the first frame"));
}

bool BrowserSession::xdotool(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {"xdotool"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  int code = -1;
  runTool(argv, environmentWith({"DISPLAY=" + display}, {}), code);
  return code == 0;
}

void BrowserSession::type(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    ASSERT_TRUE(xdotool({"key", key})) << key;
  }
}

::testing::AssertionResult BrowserSession::waitForView(
    const std::function<bool(const ListView&)>& predicate, const std::string& what) {
  ListView last;
  Screenshot shot;
  const bool ok = waitUntil([&] {
    shot = grabScreen(display);
    last = readListView(shot);
    return predicate(last);
  });
  if (ok) return ::testing::AssertionSuccess();
  // Beside the temporary folder, which goes away with the test.
  const std::string saved = root + "-failed-screen.ppm";
  writePpm(shot, saved);
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
