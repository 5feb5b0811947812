// A real temporary directory tree with HOME pointed into it, so that marks
// files land in <root>/home/.orchard.menu and nowhere else.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "browser/browser_state.h"

class BrowserFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Absolute path of `relative` under the temporary root.
  std::string at(const std::string& relative) const;
  void makeDir(const std::string& relative);
  void makeFile(const std::string& relative, const std::string& content = "");
  // The marks file of directory `absolute` (normalised form), read whole;
  // empty when it does not exist.
  std::string marksFileOf(const std::string& absolute) const;
  std::string marksPathOf(const std::string& absolute) const;
  void writeMarksFile(const std::string& absolute, const std::string& content);

  std::string root;
  std::string home;

 private:
  std::vector<std::pair<std::string, std::string>> savedEnv;
  std::vector<std::string> unsetEnv;
};

// The index of `name` in state.entryNames, or -1.
int indexOf(const BrowserState& state, const std::string& name);

// Runs `body` in a forked child as the unprivileged user "nobody" (when the
// tests run as root; otherwise as the current user) and returns what it
// wrote to the string it is given. Permission bits only mean something to
// an unprivileged user.
std::string runUnprivileged(const std::function<void(std::string&)>& body);
