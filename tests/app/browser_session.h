// The real program on an X display, typed at through XTEST and read back
// through the screen rows a check needs, its marks files and the records
// of what it launched. The program is the Linux one, on a virtual display
// of each test's own, or, when the environment names a Windows build
// (ORCHARD_E2E_WINDOWS_BUILD, with ORCHARD_E2E_WINE_RUN the wine runner),
// orchard-menu.exe under wine on the display in DISPLAY, one test at a
// time. Where the two differ the session holds it as data: how the program
// starts, the paths it sees, its marks folder and their key bytes, line
// ends, and how a launch is recorded.
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
  int width = 0;           // the size of the window it was read from
  int height = 0;
  int linesAbove = 0;      // text bands directly above the anchor line
  int linesBelow = 0;      // text bands directly below it
  bool anchorText = false; // anything (white or red) on the anchor line
  bool anchorRed = false;  // the selected line is drawn there
  bool titleBar = false;   // the title bar colour along the top
  int barPixel[3] = {-1, -1, -1};  // where titleBar was read
  std::vector<int> markedBands;  // bands whose first cell shows the "*"
  bool marked(int band) const;
};

// The browser frame in a window at `place`, read band by band outward
// from the anchor line: only the rows up to the first empty band on each
// side are fetched.
ListView readListView(XClient& client, const Place& place);
std::string describe(const ListView& view);

// The program under test, read once from the environment.
struct Target {
  bool windows = false;
  std::string build;    // the Windows build folder
  std::string wineRun;  // tests/windows/wine_run.sh
  std::string prefix;   // build/wineprefix
  std::string appdata;  // the prefix's own %APPDATA%, as a Linux path
};
const Target& target();

// Where a test or a row runs: on both targets, or on one only, for a
// reason.
struct RunsOn {
  bool onLinux = true;
  bool onWindows = true;
  const char* why = "";
};
constexpr RunsOn linuxOnly(const char* why) { return {true, false, why}; }
constexpr RunsOn windowsOnly(const char* why) { return {false, true, why}; }
// Whether `where` includes the target under test.
bool runsHere(const RunsOn& where);
// Ends a test as skipped, with the reason, on a target `where` leaves out.
#define SKIP_UNLESS_RUNS_HERE(where) \
  if (!::testing_support::runsHere(where)) GTEST_SKIP() << (where).why

// Runs a program of the Windows target's prefix to its end (wine_run.sh
// PREFIX arguments...); its exit status, -1 when it did not end, and its
// standard output into `output`.
int runInPrefix(const std::vector<std::string>& arguments, std::string* output = nullptr);

// The bytes the Windows program keys `name` by: its code page 1252 bytes
// when it converts there and back exactly, else its UTF-8 bytes.
std::string windowsKeyBytes(const std::string& name);

class BrowserSession : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the browser with `arguments` in working directory `cwd` (default
  // `work`), waits until its window is viewable and holds the focus and
  // its first frame is drawn, and reads its four start-up lines. Absolute
  // paths among the arguments are handed over as the program sees them
  // (seen()).
  void startBrowser(const std::vector<std::string>& arguments,
                    const std::string& cwd = std::string());
  // Only starts the browser process (as startBrowser()), waiting for
  // nothing; its standard output is not read.
  void spawnBrowser(const std::vector<std::string>& arguments,
                    const std::string& cwd = std::string());

  // Types keys (X key names, "ctrl+j" style) one after the other. Under
  // wine the window is first given the focus again (focus()): a program
  // it launched may have taken it.
  void type(const std::vector<std::string>& keys);
  // Gives the window the keyboard focus and waits until it holds it; under
  // wine also until wine has made it its active window (browser_session.cpp).
  void focus();

  // Absolute Linux path `path` as the program sees it (Windows: "Z:" and
  // back-slashes).
  std::string seen(const std::string& path) const;
  // Where the window is now, or an empty Place.
  Place place();

  // Every wait below gives up at once, failing, when the test has failed
  // already: the first failed wait ends a test, instead of each later one
  // running into its time limit.

  // Polls the screen until `predicate` holds for its ListView (read where
  // the window is at the time); on time-out a failure that shows the last
  // view and keeps a picture of the screen.
  ::testing::AssertionResult waitForView(const std::function<bool(const ListView&)>& predicate,
                                         const std::string& what);
  // The common case: `above` lines above the red anchor line, `below` under it.
  ::testing::AssertionResult waitForSelection(int above, int below);

  // The marks file of `directory` (absolute, normalised Linux path) as the
  // program under test names it: under `home` on Linux, under `appdata`
  // keyed by the Windows path's key bytes under wine.
  std::string marksPath(const std::string& directory) const;
  // A marks file as the program under test writes it (see the free
  // marksText()); under wine keyed by windowsKeyBytes(), lines ending in
  // CR LF. Hides the free function in the tests.
  std::string marksText(const std::vector<std::string>& names, int selection,
                        const std::vector<int>& marks) const;
  // The program's four start-up lines.
  std::string banner() const;

  // Makes the launch recorder the application files are opened with (an
  // xdg-open first on PATH; under wine launch_recorder.exe registered for
  // ".orchtest"); with `copyFile` each run also records that file's
  // content as it was at the start. The registry is put back in TearDown.
  void installRecorder(const std::string& copyFile = "");
  // Every finished run of the recorder so far, arguments without CRs.
  std::vector<LaunchRecord> launchRecords() const;

  // Under wine: sets registry value `name` (empty: the default value) of
  // `key` to `data`, remembering what was there for restoreRegistry().
  void setRegistry(const std::string& key, const std::string& name, const std::string& data);
  // Puts back, latest first, what setRegistry() changed.
  void restoreRegistry();
  // Polls until file `path` holds exactly `content`.
  ::testing::AssertionResult waitForFile(const std::string& path, const std::string& content);

  // Waits for the browser to end; its raw wait status, or -1 on time-out
  // (and at once when the test has failed already).
  int waitForBrowserExit();
  bool browserRunning();

  // How the browser is started: argv[0], looked up on the browser's PATH
  // when it has no slash (under wine: the .exe's Linux path).
  std::string programPath;
  // NAME=value entries added to the browser's environment.
  std::vector<std::string> extraEnvironment;

  TempDir temp;
  // The write end of the keeper's pipe (browser_session.cpp): the pids
  // this session starts go there.
  int keeper = -1;
  int browserStdout = -1;  // read end of the browser's standard output
  std::string root, home, work, bin, record;
  // The Windows program's %APPDATA% (Linux path) and the recorder's folder.
  std::string appdata, recorder;
  struct SavedValue {
    std::string key, name;
    bool had = false;       // the value was there, holding `old`
    std::string old;
    std::string addedKey;   // the topmost key setRegistry() made, if any
  };
  std::vector<SavedValue> savedRegistry;
  std::string display;
  XClient x;
  int xvfb = -1;
  int browser = -1;
  unsigned long window = 0;
  std::string startupOutput;
};

}  // namespace testing_support
