// The directory stream's contract on real folders, the same on every
// platform: POSIX wraps opendir/readdir/closedir, Windows realises them over
// the file search.
#include "zub/dir_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "tests/support/support.h"
#include "zub/fs.h"
#include "zub/path.h"

namespace {

using testing_support::TempDir;

// Every name of a listing, in the order read, and the kind of each.
std::vector<std::pair<std::string, zub::EntryKind>> readAll(zub::DirStream* stream) {
  std::vector<std::pair<std::string, zub::EntryKind>> names;
  while (const zub::DirEntry* entry = zub::readDir(stream))
    names.emplace_back(entry->name, zub::entryKind(*stream));
  return names;
}

TEST(DirStream, ReadsEveryNameOnceFromTheFirstMatchOn) {
  TempDir dir;
  ASSERT_TRUE(testing_support::makeDir(dir / "sub"));
  ASSERT_TRUE(testing_support::writeFile(dir / "file", "x"));
  const std::string withSeparator = dir.path + zub::nativeSeparator();
  for (const std::string& name : {dir.path, withSeparator}) {
    SCOPED_TRACE(name);
    zub::DirStream* stream = zub::openDir(name.c_str());
    ASSERT_NE(stream, nullptr) << errno;
    auto names = readAll(stream);
    EXPECT_EQ(zub::closeDir(stream), 0);
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0].first, ".");
    EXPECT_EQ(names[1].first, "..");
    EXPECT_EQ(names[2], std::make_pair(std::string("file"), zub::EntryKind::other));
    EXPECT_EQ(names[3].first, "sub");
    EXPECT_NE(names[3].second, zub::EntryKind::other);
  }
}

TEST(DirStream, FailuresSetErrno) {
  TempDir dir;
  ASSERT_TRUE(testing_support::writeFile(dir / "file", "x"));
  const std::string tooLong = dir.path + "/" + std::string(300, 'n');
  EXPECT_EQ(zub::openDir(nullptr), nullptr);
  EXPECT_EQ(errno, EINVAL);
  const struct {
    std::string name;
    std::set<int> errnos;
  } rows[] = {
      {"", {EINVAL}},
      {dir / "missing", {ENOENT}},
      {dir / "missing/deeper", {ENOENT}},
      {dir / "file", {ENOTDIR, ENOENT}},
      {tooLong, {ENAMETOOLONG, ENOENT}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    errno = 0;
    EXPECT_EQ(zub::openDir(row.name.c_str()), nullptr);
    EXPECT_EQ(row.errnos.count(errno), 1u) << errno;
  }

  errno = 0;
  EXPECT_EQ(zub::readDir(nullptr), nullptr);
  EXPECT_EQ(errno, EBADF);
  errno = 0;
  EXPECT_EQ(zub::closeDir(nullptr), -1);
  EXPECT_EQ(errno, EBADF);

  std::vector<std::string> entries = {"stale"};
  EXPECT_FALSE(zub::listDir(tooLong.c_str(), entries));
  EXPECT_TRUE(entries.empty());
}

TEST(DirStream, TheRootOpens) {
  for (const char* root : {"/"}) {
    SCOPED_TRACE(root);
    zub::DirStream* stream = zub::openDir(root);
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(readAll(stream).empty());
    EXPECT_EQ(zub::closeDir(stream), 0);
  }
}

}  // namespace
