// Browser-state tests that need POSIX links and permissions.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "browser/browser_state.h"
#include "tests/browser/browser_fixture.h"

namespace {

using Names = std::vector<std::string>;

class OpenDirectoryPosixTest : public BrowserFixture {};

TEST_F(OpenDirectoryPosixTest, LinksSortByWhatTheyLeadTo) {
  makeDir("d");
  makeDir("d/target");
  makeFile("d/plain");
  ASSERT_EQ(symlink(at("d/target").c_str(), at("d/zlink-dir").c_str()), 0);
  ASSERT_EQ(symlink(at("d/plain").c_str(), at("d/alink-file").c_str()), 0);
  ASSERT_EQ(symlink(at("d/missing").c_str(), at("d/dangling").c_str()), 0);
  BrowserState state;
  openDirectory(at("d").c_str(), state);
  EXPECT_EQ(state.entryNames,
            (Names{".", "..", "target", "zlink-dir", "alink-file", "dangling", "plain"}));
  EXPECT_EQ(state.displayLines[3], "  [zlink-dir]");
  EXPECT_EQ(state.displayLines[5], "  dangling");
}

TEST_F(OpenDirectoryPosixTest, UnreadableDirectorySortsAndShowsAsFile) {
  makeDir("d");
  makeDir("d/aaa-locked");
  makeDir("d/open");
  makeFile("d/b.txt");
  chmod(at("d/aaa-locked").c_str(), 0);
  const std::string dir = at("d");
  const testing_support::ChildCheck lines = testing_support::runUnprivileged([&](std::string& out) {
    BrowserState state;
    openDirectory(dir.c_str(), state);
    for (std::string_view line : state.displayLines) (out += line) += "|";
  });
  ASSERT_TRUE(lines.ran) << lines.output;
  EXPECT_EQ(lines.output, "  [.]|  [..]|  [open]|  aaa-locked|  b.txt|");
}

}  // namespace
