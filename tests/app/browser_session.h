// The real orchard-menu binary on a virtual X display of its own, driven
// with xdotool and read back through screenshots and its marks files.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/x11_helper.h"
#include "tests/support/process.h"
#include "tests/support/support.h"

namespace testing_support {

// What one screenshot shows of the list around the anchor line. Band k is
// the 32-pixel line k steps above the anchor (k < 0: below it).
struct ListView {
  int linesAbove = 0;      // text bands directly above the anchor line
  int linesBelow = 0;      // text bands directly below it
  bool anchorText = false; // anything (white or red) on the anchor line
  bool anchorRed = false;  // the selected line is drawn there
  bool titleBar = false;   // the title bar colour along the top
  std::vector<int> markedBands;  // bands whose first cell shows the "*"
  bool marked(int band) const;
};

// `shot` read as a browser frame in a window of `width` x `height` at the
// screen's top-left corner.
ListView readListView(const Screenshot& shot, int width = 1920, int height = 1080);
std::string describe(const ListView& view);

class BrowserSession : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the browser with `arguments` in working directory `cwd` (default
  // `work`), waits for its window and first frame, reads its four lines.
  void startBrowser(const std::vector<std::string>& arguments,
                    const std::string& cwd = std::string());

  // Types X key names (xdotool syntax), one after the other.
  void type(const std::vector<std::string>& keys);
  // xdotool with the session's display; true when it exits with 0.
  bool xdotool(const std::vector<std::string>& arguments);

  // Polls the screen until `predicate` holds for its ListView; on time-out
  // a failure that shows the last view (and keeps a PPM of it).
  ::testing::AssertionResult waitForView(const std::function<bool(const ListView&)>& predicate,
                                         const std::string& what);
  // The common case: `above` lines above the red anchor line, `below` under it.
  ::testing::AssertionResult waitForSelection(int above, int below);

  // The marks file of `directory` (absolute, normalised) under `home`.
  std::string marksPath(const std::string& directory) const {
    return testing_support::marksPath(home, directory);
  }
  ::testing::AssertionResult waitForFile(const std::string& path, const std::string& content);

  // Waits for the browser to end; its raw wait status, or -1 on time-out.
  int waitForBrowserExit();
  bool browserRunning();

  // How the browser is started: argv[0], looked up on the browser's PATH
  // when it has no slash.
  std::string programPath = ORCHARD_BINARY;
  // NAME=value entries added to the browser's environment.
  std::vector<std::string> extraEnvironment;

  TempDir temp;
  std::string root, home, work, bin, record;
  std::string display;
  int xvfb = -1;
  int browser = -1;
  std::string windowId;
  std::string startupOutput;
};

}  // namespace testing_support
