// The real orchard-menu binary on a virtual X display of its own, typed at
// through XTEST and read back through the screen rows a check needs and
// its marks files.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/app/x_client.h"
#include "tests/support/process.h"
#include "tests/support/support.h"

namespace testing_support {

// What the screen shows of the list around the anchor line. Band k is the
// 32-pixel line k steps above the anchor (k < 0: below it).
struct ListView {
  int linesAbove = 0;      // text bands directly above the anchor line
  int linesBelow = 0;      // text bands directly below it
  bool anchorText = false; // anything (white or red) on the anchor line
  bool anchorRed = false;  // the selected line is drawn there
  bool titleBar = false;   // the title bar colour along the top
  int barPixel[3] = {-1, -1, -1};  // where titleBar was read
  std::vector<int> markedBands;  // bands whose first cell shows the "*"
  bool marked(int band) const;
};

// The browser frame in a window of `width` x `height` at the screen's
// top-left corner, read band by band outward from the anchor line: only
// the rows up to the first empty band on each side are fetched.
ListView readListView(XClient& client, int width = 1920, int height = 1080);
std::string describe(const ListView& view);

class BrowserSession : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the browser with `arguments` in working directory `cwd` (default
  // `work`), waits until its window is viewable and holds the focus and
  // its first frame is drawn, and reads its four start-up lines.
  void startBrowser(const std::vector<std::string>& arguments,
                    const std::string& cwd = std::string());
  // Only starts the browser process (as startBrowser()), waiting for
  // nothing; its standard output is not read.
  void spawnBrowser(const std::vector<std::string>& arguments,
                    const std::string& cwd = std::string());

  // Types keys (X key names, "ctrl+j" style) one after the other.
  void type(const std::vector<std::string>& keys);

  // Every wait below gives up at once, failing, when the test has failed
  // already: the first failed wait ends a test, instead of each later one
  // running into its time limit.

  // Polls the screen until `predicate` holds for its ListView (read for a
  // window of `width` x `height`); on time-out a failure that shows the
  // last view and keeps a picture of the screen.
  ::testing::AssertionResult waitForView(const std::function<bool(const ListView&)>& predicate,
                                         const std::string& what, int width = 1920,
                                         int height = 1080);
  // The common case: `above` lines above the red anchor line, `below` under it.
  ::testing::AssertionResult waitForSelection(int above, int below);

  // The marks file of `directory` (absolute, normalised) under `home`.
  std::string marksPath(const std::string& directory) const {
    return testing_support::marksPath(home, directory);
  }
  // Polls until file `path` holds exactly `content`.
  ::testing::AssertionResult waitForFile(const std::string& path, const std::string& content);

  // Waits for the browser to end; its raw wait status, or -1 on time-out
  // (and at once when the test has failed already).
  int waitForBrowserExit();
  bool browserRunning();

  // How the browser is started: argv[0], looked up on the browser's PATH
  // when it has no slash.
  std::string programPath = ORCHARD_BINARY;
  // NAME=value entries added to the browser's environment.
  std::vector<std::string> extraEnvironment;

  TempDir temp;
  // The write end of the keeper's pipe (browser_session.cpp): the pids
  // this session starts go there.
  int keeper = -1;
  int browserStdout = -1;  // read end of the browser's standard output
  std::string root, home, work, bin, record;
  std::string display;
  XClient x;
  int xvfb = -1;
  int browser = -1;
  unsigned long window = 0;
  std::string startupOutput;
};

}  // namespace testing_support
