// Marks-file tests that need a POSIX child process and file-size limit.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "browser/browser_state.h"
#include "tests/browser/marks_fixture.h"
#include "zub/settings.h"

namespace {

TEST_F(MarksTest, SaveThatFailsHalfWayKeepsThePreviousFile) {
  for (int i = 0; i < 200; ++i) makeFile("d/file-" + std::to_string(i));
  BrowserState state;
  openDirectory(dir.c_str(), state);
  toggle(state, "notes.txt");
  const std::string before = marksFileOf(dir);
  ASSERT_GT(before.size(), 4096u);

  const pid_t child = fork();
  if (child == 0) {
    // Writes past 1 KiB now fail (EFBIG) instead of killing the process.
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    for (auto& mark : state.marks) mark = 1;
    saveMarks(state);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(marksFileOf(dir), before);

  // Nothing half-written is left beside the marks file.
  EXPECT_EQ(testing_support::namesIn(testing_support::marksFolder(home)),
            std::vector<std::string>{zub::digestHex(dir)});
}

}  // namespace
