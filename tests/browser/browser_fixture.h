// A real temporary tree with HOME pointed into it, so that marks files
// land in <root>/home/.orchard.menu and nowhere else. Root and home are
// open to everyone, so that a check run as "nobody" can work in them too.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "browser/browser_state.h"
#include "tests/support/support.h"
#include "zub/digest.h"
#include "zub/path.h"

class BrowserFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.path.empty());
    root = temp.path;
    home = root + "/home";
    makeDir("");
    makeDir("home");
    env.useHome(home);
    // Marks that find no place in HOME go to the working directory next.
    ASSERT_TRUE(env.changeDir(root));
  }

  // Absolute path of `relative` under the root ("" is the root), with the
  // platform's separator, as the browser shows it.
  std::string at(const std::string& relative) const {
    if (relative.empty()) return root;
    std::string native = relative;
    std::replace(native.begin(), native.end(), '/', zub::nativeSeparator());
    return root + zub::nativeSeparator() + native;
  }
  // Makes a folder everyone may write.
  void makeDir(const std::string& relative) {
    ASSERT_TRUE(testing_support::makeDir(at(relative))) << relative;
    std::filesystem::permissions(std::filesystem::u8path(at(relative)), std::filesystem::perms::all);
  }
  void makeFile(const std::string& relative, const std::string& content = "") {
    ASSERT_TRUE(testing_support::writeFile(at(relative), content)) << relative;
  }
  std::string marksPathOf(const std::string& directory) const {
    return testing_support::marksPath(home, directory);
  }
  // The marks file of `directory`, read whole as text (Windows' CR LF line
  // ends come back as "\n"); empty when there is none.
  std::string marksFileOf(const std::string& directory) const {
    std::ifstream in(marksPathOf(directory));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void writeMarksFile(const std::string& directory, const std::string& content) {
    // The folder keeps its default mode: one that others may write is
    // passed over by the settings lookup.
    ASSERT_TRUE(testing_support::writeMarks(home, directory, content));
  }

  testing_support::TempDir temp;
  testing_support::EnvGuard env;
  std::string root;
  std::string home;
};

// The index of `name` in state.entryNames, or -1.
inline int indexOf(const BrowserState& state, const std::string& name) {
  for (size_t i = 0; i < state.entryNames.size(); ++i)
    if (state.entryNames[i] == name) return static_cast<int>(i);
  return -1;
}

// Gives `state` the entries `names` (never listed: the names are given),
// with their marks keys, as openDirectory sets both.
inline void setEntries(BrowserState& state, const std::vector<std::string>& names) {
  state.entryNames = zub::StringList(names);
  state.entryDigests.clear();
  for (const std::string& name : names) state.entryDigests.push_back(zub::keyDigest(name));
}
