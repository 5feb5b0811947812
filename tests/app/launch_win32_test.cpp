// launchFile on Windows (run under wine): each hostile name goes to the
// application registered for its type, byte for byte, and nothing in a
// name runs as a command. The application is launch_recorder.exe, which
// sits beside this test.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include <windows.h>

#include "app/launch.h"
#include "tests/support/launch_recorder.h"
#include "tests/support/support.h"
#include "zub/fs.h"
#include "zub/path.h"
#include "zub/wide_win32.h"

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
      EXPECT_FALSE(pathExists(dir + "\\" + leftover)) << dir << "\\" << leftover;
}

TEST_F(LaunchWindowsTest, NothingHappensForPathsThatCannotBeOpened) {
  // No application, no file, a NUL inside, a name that came from an
  // unpaired surrogate and so is not UTF-8: each returns at once, shows
  // nothing and starts nothing, not even the file whose name has U+FFFD
  // where the surrogate was.
  ASSERT_TRUE(writeFile(files + "\\lone\xef\xbf\xbd" + fileType, ""));
  launchFile(files + "\\lone\xed\xa0\x80" + fileType);
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

// Every name a Windows user has launches exactly itself, in its own
// folder: each file holds its own name, so whatever path reaches the
// application (the plain path, or the short alias where the shell's old
// rules would change the name) must read back as this file and no
// neighbour. A row that may not run at all (trailing dots and blanks,
// whose type the shell cannot tell) still must not reach its neighbour.
TEST_F(LaunchWindowsTest, EveryNameLaunchesExactlyItselfInItsOwnFolder) {
  const std::string deep = files + "\\" + std::string(100, 'd') + "\\" + std::string(100, 'e') +
                           "\\" + std::string(60, 'f');
  ASSERT_TRUE(makeDir(deep));
  ASSERT_TRUE(writeFile(files + "\\report.orchtest", "the neighbour"));
  ASSERT_TRUE(writeFile(temp.path + "\\outside.orchtest", "the neighbour"));
  struct Row {
    std::string path;
    bool mustRun;
  };
  // The rows that may not run come first: a late run of their neighbour
  // would still show while the later rows wait for their own runs.
  const Row rows[] = {
      {files + "\\report.orchtest.", false},
      {files + "\\report.orchtest ", false},
      {files + "\\\xe6\x97\xa5\xe6\x9c\xac.orchtest", true},                    // 日本
      {files + "\\\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.orchtest", true},  // Привет
      {files + "\\\xf0\x9f\x98\x80.orchtest", true},                            // 😀
      {files + "\\caf\xc3\xa9.orchtest", true},
      {files + "\\..\xef\xbc\xbcoutside.orchtest", true},  // a fullwidth backslash
      // Wine's shell expands %VAR% in any path it is handed; Windows'
      // does not unless asked. Under wine the name then names nothing.
      {files + "\\%PATH%.orchtest", !runsUnderWine()},
      {deep + "\\long.orchtest", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const HANDLE made = CreateFileW(zub::wide::filePath(row.path).c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(made, row.path.data(), static_cast<DWORD>(row.path.size()), &written, nullptr);
    CloseHandle(made);
  }
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.path);
    launchFile(row.path);
    // A probe launched after it: a row that must run waits for its own
    // run, one that may not for the probe's.
    const std::string probe = files + "\\probe-" + std::to_string(i) + fileType;
    ASSERT_TRUE(writeFile(probe, "probe"));
    launchFile(probe);
    size_t ran = 0;
    const auto count = [&] {
      ran = 0;
      bool probeRan = false;
      for (const LaunchRecord& record : recorder.records()) {
        EXPECT_EQ(record.arguments.size(), 1u);
        if (record.arguments.empty()) continue;
        const std::string content = readFile(record.arguments[0]);
        EXPECT_NE(content, "the neighbour") << record.arguments[0];
        probeRan = probeRan || record.arguments[0] == probe;
        if (content != row.path) continue;
        ++ran;
        // The application starts in the folder that holds the file.
        if (record.arguments[0] == row.path) {
          EXPECT_EQ(record.workingDirectory, row.path.substr(0, row.path.rfind('\\')));
        }
      }
      return probeRan && (ran > 0 || !row.mustRun);
    };
    EXPECT_TRUE(waitUntil(count));
    EXPECT_EQ(ran, row.mustRun ? 1u : 0u);
  }
}

// A script starts in its own folder, not in the browser's.
TEST_F(LaunchWindowsTest, AScriptReportsItsOwnFolder) {
  // The script writes into its working folder; cmd.exe writes the
  // folder's name in the console's code page, so the name is ASCII here.
  const std::string folder = files + "\\scripts here";
  ASSERT_TRUE(makeDir(folder));
  ASSERT_TRUE(writeFile(folder + "\\where.bat", "@cd > where.txt\r\n"));
  launchFile(folder + "\\where.bat");
  std::string where;
  ASSERT_TRUE(waitUntil([&] {
    where = readFile(folder + "\\where.txt");
    return where.find('\n') != std::string::npos;
  }));
  EXPECT_EQ(where.substr(0, where.find_first_of("\r\n")), folder);
  EXPECT_EQ(zub::currentDir(), work);
}

}  // namespace
