// The Windows directory stream on drive roots: the search pattern is the
// name and "*" after a trailing separator, "/*" otherwise.
#include <gtest/gtest.h>

#include <algorithm>

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
