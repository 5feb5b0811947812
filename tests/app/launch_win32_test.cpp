// launchFile on Windows (run under wine): each hostile name goes to the
// application registered for its type, byte for byte, and nothing in a
// name runs as a command. The application is launch_recorder.exe, which
// sits beside this test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/launch.h"
#include "tests/support/launch_recorder.h"
#include "tests/support/support.h"
#include "zub/fs.h"

using namespace testing_support;

namespace {

const char fileType[] = ".orchtest";

class LaunchWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.path.empty());
    files = temp.path + "\\files";
    work = temp.path + "\\work";
    ASSERT_TRUE(makeDir(files));
    ASSERT_TRUE(makeDir(work));
    ASSERT_TRUE(recorder.install(temp.path + "\\recorder", fileType, env));
    ASSERT_TRUE(env.changeDir(work));
  }

  // The records written so far, each the arguments of one run.
  std::vector<std::vector<std::string>> records() {
    std::vector<std::vector<std::string>> arguments;
    for (const LaunchRecord& record : recorder.records()) arguments.push_back(record.arguments);
    return arguments;
  }

  TempDir temp;
  EnvGuard env;
  LaunchRecorder recorder;
  std::string files, work;
};

TEST_F(LaunchWindowsTest, EachNameReachesTheRegisteredApplicationExactly) {
  size_t runs = 0;
  for (const std::string& hostile : hostileNames()) {
    if (!nameAllowed(hostile)) continue;
    SCOPED_TRACE(hostile);
    const std::string path = files + "\\" + hostile + fileType;
    ASSERT_TRUE(writeFile(path, "document"));
    launchFile(path);
    ++runs;
    std::vector<std::vector<std::string>> got;
    ASSERT_TRUE(waitUntil([&] {
      got = records();
      return got.size() >= runs;
    })) << "no run of the application";
    bool found = false;
    for (const auto& record : got) found = found || record == std::vector<std::string>{path};
    EXPECT_TRUE(found);
  }
  EXPECT_GT(runs, 5u);
  for (const std::string& dir : {files, work, temp.path})
    for (const char* leftover : {"pwned-amp", "pwned-semicolon", "pwned-subst"})
      EXPECT_FALSE(fileExists(dir + "\\" + leftover)) << dir << "\\" << leftover;
}

TEST_F(LaunchWindowsTest, NothingHappensForPathsThatCannotBeOpened) {
  // No application, no file, a NUL inside: each returns at once, shows
  // nothing and starts nothing.
  launchFile("");
  launchFile(std::string("C:\\a\0b.orchtest", 16));
  launchFile(files + "\\missing.orchtest");
  launchFile(files + "\\no-handler.unregistered-type");
  const std::string probe = files + "\\probe" + fileType;
  ASSERT_TRUE(writeFile(probe, ""));
  launchFile(probe);
  // The probe's run comes after all of the above; it must be the only one.
  ASSERT_TRUE(waitUntil([&] { return !records().empty(); }));
  EXPECT_EQ(records(), std::vector<std::vector<std::string>>{{probe}});
}

}  // namespace
