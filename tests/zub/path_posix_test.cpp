// zub path tests that need POSIX processes and directories.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/support.h"
#include "zub/path.h"

namespace {

TEST(CurrentDir, ReportsAWorkingDirectoryOfManyKilobytes) {
  // Deeper than 1024 bytes and than PATH_MAX; the child process walks in
  // step by step and removes its chain again on the way out.
  testing_support::TempDir dir;
  EXPECT_EXIT(
      {
        if (chdir(dir.path.c_str()) != 0) std::exit(2);
        const std::string name(200, 'd');
        std::string expected = dir.path;
        for (int i = 0; i < 30; ++i) {
          if (mkdir(name.c_str(), 0700) != 0 || chdir(name.c_str()) != 0) std::exit(3);
          expected += "/" + name;
        }
        const std::string got = zub::currentDir();
        for (int i = 0; i < 30; ++i)
          if (chdir("..") != 0 || rmdir(name.c_str()) != 0) std::exit(4);
        if (got != expected) {
          std::fprintf(stderr, "got %zu bytes, expected %zu\n", got.size(), expected.size());
          std::exit(1);
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(CurrentDir, EmptyWhenTheWorkingDirectoryIsGone) {
  testing_support::TempDir dir;
  EXPECT_EXIT(
      {
        const std::string gone = dir / "gone";
        if (mkdir(gone.c_str(), 0700) != 0 || chdir(gone.c_str()) != 0 ||
            rmdir(gone.c_str()) != 0)
          std::exit(2);
        std::exit(zub::currentDir().empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
