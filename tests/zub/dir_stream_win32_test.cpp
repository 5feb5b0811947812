// The Windows directory stream and file calls: drive roots in every form,
// and names in any script, reached through the wide-character calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/support/support.h"
#include "zub/atomic_file.h"
#include "zub/platform.h"
#include "zub/settings.h"
#include "zub/wide_win32.h"

#include "zub/dir_stream.h"
#include "zub/fs.h"
#include "zub/path.h"

namespace {

TEST(DirStreamWindows, DriveRootsInEveryForm) {
  for (const char* root : {"C:\\", "C:/", "C:", "c:\\", "C:\\windows\\..\\"}) {
    SCOPED_TRACE(root);
    std::vector<std::string> names;
    ASSERT_TRUE(zub::listDir(root, names));
    for (std::string& name : names) name = zub::toLower(name);
    EXPECT_NE(std::find(names.begin(), names.end(), "windows"), names.end());
  }
}

TEST(Normalize, RealDrivePaths) {
  EXPECT_TRUE(zub::isAbsolute(zub::currentDir()));
  EXPECT_EQ(zub::normalize("C:\\windows\\system32\\.."), "C:\\windows");
  EXPECT_EQ(zub::normalize("c:/windows/./x/"), "c:/windows/x");
}

}  // namespace

namespace {

// Names in any script, lookalikes of separators and dots, trailing dots
// and blanks, and a path beyond 260 characters: each lists as itself, a
// folder is a folder, a file is a file that opens, and none is taken for
// its neighbour.
TEST(WideNames, EveryNameListsAndOpensAsItself) {
  testing_support::TempDir temp;
  ASSERT_FALSE(temp.path.empty());
  const std::string deep = std::string(100, 'd') + "\\" + std::string(100, 'e') + "\\" +
                           std::string(60, 'f');
  struct Row {
    std::string name;
    bool directory;
  };
  const Row rows[] = {
      {"\xe6\x97\xa5\xe6\x9c\xac", true},                          // 日本
      {"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.rec", false},  // Привет.rec
      {"\xf0\x9f\x98\x80.rec", false},                              // 😀.rec
      {"caf\xc3\xa9", true},
      {"..\xef\xbc\xbc" "outside.rec", false},                      // ..＼outside.rec
      {"report.rec", false},
      {"report.rec.", false},
      {"report.rec ", false},
      {"con.txt", false},
      {"%PATH%.rec", false},
      {deep, true},
      {deep + "\\long.rec", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = temp.path + "\\" + row.name;
    if (row.directory) {
      zub::makeDirs(path.c_str());
    } else {
      // Written through the program's own wide calls: the test support's
      // streams would trim the name as the old rules do.
      ASSERT_TRUE(zub::createFile(path, row.name.data(), row.name.size()));
    }
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = temp.path + "\\" + row.name;
    const std::string folder = zub::dirName(path.c_str());
    std::vector<std::string> names;
    ASSERT_TRUE(zub::listDir(folder.c_str(), names));
    EXPECT_NE(std::find(names.begin(), names.end(), zub::baseName(path.c_str())), names.end());
    EXPECT_EQ(zub::isDir(path.c_str()), row.directory);
    EXPECT_EQ(zub::fileExists(path.c_str()), !row.directory);
    if (row.directory) continue;
    FILE* file = zub::platform::openRegularFile(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    char content[512] = {};
    std::fread(content, 1, sizeof content - 1, file);
    std::fclose(file);
    EXPECT_EQ(content, row.name);
  }
  EXPECT_GT(temp.path.size() + deep.size(), 260u);
  // The test support's clean-up goes by the old rules, for which this name
  // is the console device: it would wait on it.
  EXPECT_TRUE(DeleteFileW(zub::wide::filePath(temp.path + "\\con.txt").c_str()));
}

// An NTFS name may hold a UTF-16 surrogate without its pair: it lists as
// bytes no UTF-8 name has, distinct from the name with U+FFFD in its
// place, and no call on the listed name reaches either file.
TEST(WideNames, AnUnpairedSurrogateListsApartAndReachesNothing) {
  const std::string lone = "lone\xed\xa0\x80.rec";
  const std::string replaced = "lone\xef\xbf\xbd.rec";
  EXPECT_EQ(zub::wide::toUtf8(std::wstring(L"lone\xD800.rec")), lone);
  EXPECT_EQ(zub::wide::toUtf8(std::wstring(L"lone\xFFFD.rec")), replaced);
  std::wstring back;
  EXPECT_FALSE(zub::wide::fromUtf8(lone, back));
  EXPECT_TRUE(zub::wide::filePath(lone).empty());

  testing_support::TempDir temp;
  ASSERT_FALSE(temp.path.empty());
  const std::wstring folder = zub::wide::filePath(temp.path);
  for (const wchar_t* name : {L"lone\xFFFD.rec", L"lone\xD800.rec"}) {
    const HANDLE file = CreateFileW((folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    // Wine keeps names as UTF-8 on the host and refuses this one.
    if (file == INVALID_HANDLE_VALUE) GTEST_SKIP() << "the file system takes no unpaired surrogate";
    CloseHandle(file);
  }
  std::vector<std::string> names;
  ASSERT_TRUE(zub::listDir(temp.path.c_str(), names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", lone, replaced}));
  EXPECT_FALSE(zub::fileExists((temp.path + "\\" + lone).c_str()));
  EXPECT_FALSE(zub::isDir((temp.path + "\\" + lone).c_str()));
  EXPECT_TRUE(zub::fileExists((temp.path + "\\" + replaced).c_str()));
}

// A settings folder under a user name in any script.
TEST(WideNames, SettingsLiveUnderACyrillicAppData) {
  testing_support::TempDir temp;
  testing_support::EnvGuard env;
  ASSERT_FALSE(temp.path.empty());
  const std::string appData =
      temp.path + "\\\xd0\xa1\xd0\xb5\xd1\x80\xd0\xb3\xd0\xb5\xd0\xb9\\AppData\\Roaming";  // Сергей
  env.useHome(temp.path + "\\home");
  env.set("APPDATA", appData);
  FILE* file = zub::openSettingsFile("ABC", "w");
  ASSERT_NE(file, nullptr);
  std::fputs("saved\n", file);
  std::fclose(file);
  EXPECT_EQ(testing_support::readFile(appData + "\\orchard.menu\\ABC"), "saved\r\n");
}

}  // namespace
