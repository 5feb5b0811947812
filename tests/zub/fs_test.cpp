#include "zub/fs.h"
#include "zub/path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "tests/support/support.h"

namespace {

using testing_support::ChildCheck;
using testing_support::runUnprivileged;
using testing_support::TempDir;
using testing_support::writeFile;

// Appends `what` to `wrong` unless `ok`: the unprivileged checks report
// every wrong answer, and the test expects none.
void expectIn(std::string& wrong, bool ok, const std::string& what) {
  if (!ok) wrong += "wrong: " + what + "\n";
}

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(ListDir, GivesEveryNameTheDirectoryHolds) {
  TempDir dir;
  const std::vector<std::string> names = {"a", "b", "with blank", "quo\"te'", "new\nline",
                                          "\xE9t\xE9\xFF", ".hidden", "sub"};
  for (const std::string& name : names)
    if (name == "sub") mkdir((dir / name).c_str(), 0700);
    else writeFile(dir / name, "x");

  std::vector<std::string> entries = {"stale"};
  ASSERT_TRUE(zub::listDir(dir.path.c_str(), entries));
  std::vector<std::string> expected = names;
  expected.push_back(".");
  expected.push_back("..");
  EXPECT_EQ(sorted(entries), sorted(expected));
}

TEST(ListDir, FailsWithAnEmptyListOnAFileOrMissingPath) {
  TempDir dir;
  writeFile(dir / "file", "x");
  for (const std::string& path : {dir / "file", dir / "missing", std::string()}) {
    SCOPED_TRACE(path);
    std::vector<std::string> entries = {"left", "over"};
    std::vector<zub::EntryKind> kinds = {zub::EntryKind::other};
    EXPECT_FALSE(zub::listDir(path.c_str(), entries));
    EXPECT_TRUE(entries.empty());
    zub::StringList block = {"left"};
    EXPECT_FALSE(zub::listDir(path.c_str(), block, kinds));
    EXPECT_TRUE(block.empty());
    EXPECT_TRUE(kinds.empty());
  }
}

TEST(ListDir, ReportsWhatEachEntryIs) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "d").c_str(), 0700), 0);
  writeFile(dir / "f", "x");
  ASSERT_EQ(symlink("d", (dir / "l").c_str()), 0);
  ASSERT_EQ(symlink("missing", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "p").c_str(), 0600), 0);

  zub::StringList entries;
  std::vector<zub::EntryKind> kinds;
  ASSERT_TRUE(zub::listDir(dir.path.c_str(), entries, kinds));
  ASSERT_EQ(entries.size(), kinds.size());
  std::map<std::string, zub::EntryKind> got;
  for (size_t i = 0; i < entries.size(); ++i) got[std::string(entries[i])] = kinds[i];

  const std::map<std::string, zub::EntryKind> expected = {
      {".", zub::EntryKind::directory}, {"..", zub::EntryKind::directory},
      {"d", zub::EntryKind::directory}, {"f", zub::EntryKind::other},
      {"l", zub::EntryKind::link},      {"dangling", zub::EntryKind::link},
      {"p", zub::EntryKind::other},
  };
  EXPECT_EQ(got, expected);
}

TEST(IsDirIsFile, TellDirectoriesFromEverythingElse) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "d").c_str(), 0700), 0);
  writeFile(dir / "f", "x");
  ASSERT_EQ(symlink("d", (dir / "to-dir").c_str()), 0);
  ASSERT_EQ(symlink("f", (dir / "to-file").c_str()), 0);
  ASSERT_EQ(symlink("missing", (dir / "dangling").c_str()), 0);
  struct {
    std::string path;
    bool dir;
  } rows[] = {
      {dir.path, true},          {dir / "d", true},         {dir / "d/", true},
      {dir / "to-dir", true},    {dir / "f", false},        {dir / "to-file", false},
      {dir / "dangling", false}, {dir / "missing", false},  {"", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(zub::isDir(row.path.c_str()), row.dir);
    EXPECT_EQ(zub::isFile(row.path.c_str()), !row.dir);
  }
}

TEST(FileExists, OnlyForFilesThatCanBeRead) {
  TempDir dir;
  writeFile(dir / "f", "x");
  writeFile(dir / "empty", "");
  ASSERT_EQ(mkdir((dir / "d").c_str(), 0700), 0);
  ASSERT_EQ(symlink("f", (dir / "to-file").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "p").c_str(), 0600), 0);
  struct {
    std::string path;
    bool exists;
  } rows[] = {
      {dir / "f", true},    {dir / "empty", true},   {dir / "to-file", true},
      {dir / "d", false},   {dir / "missing", false}, {dir / "f/x", false},
      {dir / "p", false},   {"", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(zub::fileExists(row.path.c_str()), row.exists);
  }
}

// As "nobody", for whom permission bits count.
void checkUnreadable(const std::string& root, std::string& wrong) {
  const std::string closed = root + "/closed";
  const std::string secret = root + "/secret";
  std::vector<std::string> entries = {"stale"};
  expectIn(wrong, !zub::listDir(closed.c_str(), entries), "listDir of an unreadable dir");
  expectIn(wrong, entries.empty(), "entries emptied");
  expectIn(wrong, !zub::isDir(closed.c_str()), "isDir of an unreadable dir");
  expectIn(wrong, zub::isFile(closed.c_str()), "isFile of an unreadable dir");
  expectIn(wrong, !zub::fileExists(secret.c_str()), "fileExists of an unreadable file");
  expectIn(wrong, zub::listDir(root.c_str(), entries) && entries.size() == 4, "readable parent");
}

TEST(Permissions, UnreadableDirectoriesAndFilesCountAsAbsent) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "closed").c_str(), 0700), 0);
  writeFile(dir / "closed/inner", "x");
  ASSERT_EQ(chmod((dir / "closed").c_str(), 0), 0);
  writeFile(dir / "secret", "x");
  ASSERT_EQ(chmod((dir / "secret").c_str(), 0), 0);
  const ChildCheck check =
      runUnprivileged([&](std::string& wrong) { checkUnreadable(dir.path, wrong); });
  ASSERT_TRUE(check.ran) << check.output;
  EXPECT_EQ(check.output, "");
}

TEST(MakeDirs, CreatesTheMissingChainAtTheNativeSeparators) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "have").c_str(), 0700), 0);
  writeFile(dir / "have/keep", "kept");
  const bool windows = zub::nativePathStyle() == zub::PathStyle::windows;
  zub::makeDirs((dir.path + "/have/new\\deeper//deepest/").c_str());
  // In the Windows style both bytes separate; in the POSIX style the
  // backslash is part of the name "new\deeper".
  EXPECT_TRUE(zub::isDir((dir / (windows ? "have/new/deeper/deepest" : "have/new\\deeper/deepest")).c_str()));
  EXPECT_EQ(zub::isDir((dir / "have/new").c_str()), windows);
  EXPECT_EQ(testing_support::readFile(dir / "have/keep"), "kept");

  // A doubled leading separator is one root.
  zub::makeDirs(("/" + dir.path + "/two").c_str());
  EXPECT_TRUE(zub::isDir((dir / "two").c_str()));
}

TEST(MakeDirs, RelativeBareDriveAndBlockedPaths) {
  TempDir dir;
  testing_support::EnvGuard cwd;
  ASSERT_TRUE(cwd.changeDir(dir.path));
  const bool windows = zub::nativePathStyle() == zub::PathStyle::windows;

  zub::makeDirs("rel/a b/\xE9");
  EXPECT_TRUE(zub::isDir((dir / "rel/a b/\xE9").c_str()));

  // A bare drive is never created, and nothing below it can be; in the
  // POSIX style "D:" is an ordinary name.
  zub::makeDirs("D:/Users/u");
  struct stat st;
  EXPECT_EQ(stat("D:", &st) == 0, !windows);

  // A regular file in the way stops the chain without harm.
  writeFile(dir / "plain", "data");
  zub::makeDirs((dir / "plain/sub/x").c_str());
  EXPECT_EQ(testing_support::readFile(dir / "plain"), "data");
  EXPECT_FALSE(zub::isDir((dir / "plain/sub").c_str()));

  zub::makeDirs("");
  std::vector<std::string> entries;
  ASSERT_TRUE(zub::listDir(".", entries));
  std::vector<std::string> expected = {".", "..", "rel", "plain"};
  if (!windows) expected.push_back("D:");
  EXPECT_EQ(sorted(entries), sorted(expected));
}

// As "nobody": the batch answers must equal isDir() for every kind of
// entry, with and without the listing's kinds, and through a directory
// that may be searched but not listed.
void checkBatchAgreesWithIsDir(const std::string& root, std::string& wrong) {
  zub::StringList names;
  std::vector<zub::EntryKind> kinds;
  if (!zub::listDir(root.c_str(), names, kinds)) return expectIn(wrong, false, "listing");
  names.push_back("vanished");
  kinds.push_back(zub::EntryKind::unknown);
  for (const auto& givenKinds : {kinds, std::vector<zub::EntryKind>{}}) {
    const std::vector<char> batch = zub::entriesAreDirs(root, names, givenKinds);
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string name(names[i]);
      const bool single = zub::isDir((root + "/" + name).c_str());
      expectIn(wrong, (batch[i] != 0) == single, name);
    }
  }
  // The pass over the directory now, with names in display order (here
  // reversed) and the listing order right, missing, or wrong throughout.
  const size_t count = names.size();
  std::vector<std::string> reversed(names.begin(), names.end());
  std::reverse(reversed.begin(), reversed.end());
  const zub::StringList display(reversed);
  std::vector<uint32_t> right(count - 1), wrongOrder(count - 1);  // "vanished" is not listed
  for (size_t k = 0; k + 1 < count; ++k) {
    right[k] = static_cast<uint32_t>(count - 1 - k);
    wrongOrder[k] = static_cast<uint32_t>(k);
  }
  right.push_back(0);
  wrongOrder.push_back(static_cast<uint32_t>(count - 1));
  const struct {
    const char* what;
    std::vector<uint32_t> listingOrder;
  } orders[] = {{"listing order known", right}, {"no listing order", {}}, {"listing order wrong", wrongOrder}};
  // The hints of which entries were directories last time may be missing,
  // all set, or wrong for every entry: the answers must not follow them.
  std::vector<char> truth(count), opposite(count);
  for (size_t i = 0; i < count; ++i) {
    truth[i] = zub::isDir((root + "/" + reversed[i]).c_str());
    opposite[i] = !truth[i];
  }
  const struct {
    const char* what;
    std::vector<char> likelyDirs;
  } hints[] = {{"no hints", {}}, {"all hinted", std::vector<char>(count, 1)}, {"hints wrong", opposite}};
  for (const auto& order : orders) {
    for (const auto& hint : hints) {
      const std::vector<char> now =
          zub::entriesAreDirsNow(root, display, order.listingOrder, hint.likelyDirs);
      for (size_t i = 0; i < count; ++i)
        expectIn(wrong, (now[i] != 0) == (truth[i] != 0),
                 std::string(order.what) + ", " + hint.what + ": " + reversed[i]);
    }
  }
  const std::string searchOnly = root + "/search-only";
  const std::vector<char> inside = zub::entriesAreDirs(searchOnly, {"sub", "file"}, {});
  expectIn(wrong, inside == std::vector<char>{1, 0}, "entries of a search-only directory");
  const std::vector<char> insideNow = zub::entriesAreDirsNow(searchOnly, {"sub", "file"}, {0, 1});
  expectIn(wrong, insideNow == std::vector<char>{1, 0}, "entries of a search-only directory, now");
}

TEST(EntriesAreDirs, AgreesWithIsDirForEveryKindOfEntry) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
  for (const char* sub : {"open", "closed", "search-only", "search-only/sub"})
    ASSERT_EQ(mkdir((dir / sub).c_str(), 0755), 0) << sub;
  writeFile(dir / "plain", "x");
  writeFile(dir / "search-only/file", "x");
  ASSERT_EQ(symlink((dir / "open").c_str(), (dir / "link-dir").c_str()), 0);
  ASSERT_EQ(symlink((dir / "plain").c_str(), (dir / "link-file").c_str()), 0);
  ASSERT_EQ(symlink((dir / "closed").c_str(), (dir / "link-closed").c_str()), 0);
  ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  // Enough directories that the questions are shared with a second thread;
  // one in three may not be listed.
  for (int i = 0; i < 1500; ++i) {
    const std::string many = dir / ("many-" + std::to_string(i));
    ASSERT_EQ(mkdir(many.c_str(), i % 3 == 0 ? 0 : 0755), 0);
  }
  ASSERT_EQ(chmod((dir / "closed").c_str(), 0), 0);
  ASSERT_EQ(chmod((dir / "search-only").c_str(), 0111), 0);
  const ChildCheck check =
      runUnprivileged([&](std::string& wrong) { checkBatchAgreesWithIsDir(dir.path, wrong); });
  ASSERT_TRUE(check.ran) << check.output;
  EXPECT_EQ(check.output, "");
}

}  // namespace
