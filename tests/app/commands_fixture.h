// The fixture of the command tests: the real browser state without a
// window, real directories, HOME in a temporary folder and the launch
// recorder standing in for the application that opens files.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "app/commands.h"
#include "browser/browser_state.h"
#include "tests/browser/browser_fixture.h"
#include "tests/support/launch_recorder.h"

// dir holds ".", "..", alpha/, beta/, a.txt, b.txt, c.txt, in that order.
class CommandsTest : public BrowserFixture {
 protected:
  void SetUp() override {
    BrowserFixture::SetUp();
    top = at("top");
    dir = at("top/dir");
    makeDir("top/dir/alpha");
    makeDir("top/dir/beta");
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) makeFile(std::string("top/dir/") + name, name);
    // The opener records the marks file of dir as it finds it.
    ASSERT_TRUE(recorder.install(at("launches"), ".txt", env, marksPathOf(dir)));
    browserState = BrowserState{};
  }

  void open(const std::string& path) { openDirectory(path.c_str(), browserState); }
  // What indexing entry `index` of the lists needs, asserted before it is
  // done: a failed check then fails the test instead of crashing it.
  static ::testing::AssertionResult holdsEntry(std::size_t index) {
    const BrowserState& s = browserState;
    if (index < s.entryNames.size() && index < s.marks.size() && index < s.displayLines.size())
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no entry " << index << ": " << s.entryNames.size()
                                         << " names, " << s.marks.size() << " marks, "
                                         << s.displayLines.size() << " lines";
  }
  void removeMarksFile(const std::string& directory) const {
    std::error_code ignored;
    std::filesystem::remove(marksPathOf(directory), ignored);
  }

  const std::vector<std::string> dirNames = {".", "..", "alpha", "beta",
                                             "a.txt", "b.txt", "c.txt"};

  testing_support::LaunchRecorder recorder;
  std::string top, dir;
};
