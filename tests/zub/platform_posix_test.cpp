#include "zub/platform_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "tests/support/support.h"

namespace {

// Only an existing regular file opens, in any mode; whatever else lies at
// the name is turned away without blocking, and "w" empties only a file
// that the caller's check took.
TEST(OpenRegularFileAt, OpensOnlyRegularFilesAndEmptiesOnlyWhatItTook) {
  testing_support::TempDir dir;
  const std::string name = dir / "f", target = dir / "target";
  const int folder = open(dir.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folder, 0);
  // "f" as a second name of "target", so that emptying it shows there.
  const auto regular = [&] { return link(target.c_str(), name.c_str()); };
  const struct {
    const char* what;
    std::function<int()> plant;  // 0 on success
    zub::platform::OpenedFileCheck accept;
    int readError, writeError;  // errno for "r" and for the other modes, 0: opens
  } rows[] = {
      {"a regular file", regular, nullptr, 0, 0},
      {"one the check takes to read only", regular, [](int, const struct stat&, bool writes) { return !writes; },
       0, EACCES},
      {"a link to it", [&] { return symlink(target.c_str(), name.c_str()); }, nullptr, ELOOP, ELOOP},
      {"a fifo", [&] { return mkfifo(name.c_str(), 0600); }, nullptr, ENXIO, ENXIO},
      {"a folder", [&] { return mkdir(name.c_str(), 0700); }, nullptr, EISDIR, EISDIR},
  };
  for (const auto& row : rows)
    for (const std::string mode : {"r", "r+", "w", "w+", "a", "a+b"}) {
      SCOPED_TRACE(std::string(row.what) + ", mode " + mode);
      ASSERT_TRUE(testing_support::writeFile(target, "kept"));
      ASSERT_EQ(row.plant(), 0);
      errno = 0;
      FILE* stream = zub::platform::openRegularFileAt(folder, "f", mode.c_str(), row.accept);
      const bool opened = stream != nullptr;
      EXPECT_EQ(opened ? 0 : errno, mode == "r" ? row.readError : row.writeError);
      if (opened) {
        EXPECT_NE(fcntl(fileno(stream), F_GETFD) & FD_CLOEXEC, 0);
        std::fclose(stream);
      }
      EXPECT_EQ(testing_support::readFile(target), opened && mode[0] == 'w' ? "" : "kept");
      std::remove(name.c_str());
    }
  close(folder);
}

}  // namespace
