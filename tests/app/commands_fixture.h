// The fixture of the command tests: the real browser state without a
// window, real directories, HOME in a temporary folder and the launch
// recorder standing in for the application that opens files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/commands.h"
#include "browser/browser_state.h"
#include "tests/support/launch_recorder.h"
#include "tests/support/support.h"
#include "zub/path.h"

// dir holds ".", "..", alpha/, beta/, a.txt, b.txt, c.txt, in that order.
class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.path.empty());
    root = temp.path;
    home = at("home");
    top = at("top");
    dir = at("top/dir");
    ASSERT_TRUE(testing_support::makeDir(testing_support::marksFolder(home)));
    ASSERT_TRUE(testing_support::makeDir(at("top/dir/alpha")));
    ASSERT_TRUE(testing_support::makeDir(at("top/dir/beta")));
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
      ASSERT_TRUE(testing_support::writeFile(dir + zub::nativeSeparator() + name, name));
    }
    env.useHome(home);
    // The opener records the marks file of dir as it finds it.
    ASSERT_TRUE(recorder.install(at("launches"), ".txt", env, marksPath(dir)));
    ASSERT_TRUE(env.changeDir(root));
    browserState = BrowserState{};
  }

  // Absolute path of `relative` under the root, with the platform's
  // separator, as the browser shows it.
  std::string at(const std::string& relative) const {
    std::string native = relative;
    std::replace(native.begin(), native.end(), '/', zub::nativeSeparator());
    return root + zub::nativeSeparator() + native;
  }
  void open(const std::string& path) { openDirectory(path.c_str(), browserState); }
  std::string marksPath(const std::string& directory) const {
    return testing_support::marksPath(home, directory);
  }
  // The marks file of `directory`, read whole as text (Windows' CR LF line
  // ends come back as "\n"); empty when there is none.
  std::string marksFile(const std::string& directory) const {
    std::ifstream in(marksPath(directory));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void removeMarksFile(const std::string& directory) const {
    std::error_code ignored;
    std::filesystem::remove(marksPath(directory), ignored);
  }

  const std::vector<std::string> dirNames = {".", "..", "alpha", "beta",
                                             "a.txt", "b.txt", "c.txt"};

  testing_support::TempDir temp;
  testing_support::EnvGuard env;
  testing_support::LaunchRecorder recorder;
  std::string root, home, top, dir;
};
