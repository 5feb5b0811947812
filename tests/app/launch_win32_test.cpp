// launchFile on Windows (run under wine): each hostile name goes to the
// application registered for its type, byte for byte, and nothing in a
// name runs as a command. The application is launch_recorder.exe, which
// sits beside this test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/launch.h"
#include "tests/support/support.h"
#include "zub/fs.h"

using namespace testing_support;

namespace {

const char fileType[] = ".orchtest";
const char progId[] = "orchard.test.document";

// This program's own folder, with a trailing backslash.
std::string ownFolder() {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, length < sizeof self ? length : 0);
  return path.substr(0, path.find_last_of('\\') + 1);
}

bool setDefaultValue(const std::string& key, const std::string& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG result = RegSetValueExA(handle, nullptr, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

class LaunchWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.path.empty());
    files = temp.path + "\\files";
    work = temp.path + "\\work";
    ASSERT_TRUE(makeDir(files));
    ASSERT_TRUE(makeDir(work));
    const std::string recorder = temp.path + "\\launch_recorder.exe";
    ASSERT_TRUE(CopyFileA((ownFolder() + "launch_recorder.exe").c_str(), recorder.c_str(), FALSE));
    ASSERT_TRUE(setDefaultValue(fileType, progId));
    ASSERT_TRUE(setDefaultValue(std::string(progId) + "\\shell\\open\\command",
                                "\"" + recorder + "\" \"%1\""));
    ASSERT_TRUE(env.changeDir(work));
  }

  // The records written so far, each the arguments of one run.
  std::vector<std::string> records() {
    std::vector<std::string> contents;
    for (const std::string& name : namesIn(temp.path + "\\records"))
      if (name.find('.') == std::string::npos)
        contents.push_back(readFile(temp.path + "\\records\\" + name));
    return contents;
  }

  TempDir temp;
  EnvGuard env;
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
    std::vector<std::string> got;
    ASSERT_TRUE(waitUntil([&] {
      got = records();
      return got.size() >= runs;
    })) << "no run of the application";
    bool found = false;
    for (const std::string& record : got) found = found || record == path + "\n";
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
  EXPECT_EQ(records(), std::vector<std::string>{probe + "\n"});
}

}  // namespace
