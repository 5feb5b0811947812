// The fixture of the marks-file tests: a folder "d" holding notes.txt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "browser/browser_state.h"
#include "tests/browser/browser_fixture.h"
#include "zub/digest.h"

using Marks = std::vector<int32_t>;

inline std::string key(const std::string& name) { return zub::hexOf(zub::keyDigest(name)); }

class MarksTest : public BrowserFixture {
 protected:
  void SetUp() override {
    BrowserFixture::SetUp();
    makeDir("d");
    makeFile("d/notes.txt");
    dir = at("d");
  }
  // Toggles entry `name` the way the keyboard command does.
  static void toggle(BrowserState& state, const std::string& name) {
    const int i = indexOf(state, name);
    ASSERT_GE(i, 0) << name;
    state.marks[i] = state.marks[i] == 0 ? 1 : 0;
    saveMarks(state);
    loadMarks(state);
    buildLines(state);
  }
  std::string dir;
};
