// Fonts as root with another user's HOME (sudo -E): fontconfig reads the
// system's configuration only, so the user's fonts.conf cannot make root
// write a cache, or list a folder, wherever it names.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/system_fonts.h"
#include "tests/support/support.h"

namespace {

using testing_support::EnvGuard;
using testing_support::TempDir;

// Each row asks for a face in a child of its own: fontconfig reads its
// configuration once per process, and this process has not read it.
TEST(SystemFonts, RootForAnotherUserReadsNoConfigurationOfThatUsers) {
  if (geteuid() != 0) GTEST_SKIP() << "root with another user's HOME needs root";
  const struct {
    const char* what;
    uid_t homeOwner;
    bool usersConfigurationRead;
  } rows[] = {{"root's own HOME", 0, true}, {"another user's HOME", 4242, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    EnvGuard env;
    const std::string home = dir / "home";
    const std::string cache = dir / "planted-cache";
    ASSERT_TRUE(testing_support::makeDir(home + "/.config/fontconfig"));
    ASSERT_TRUE(testing_support::makeDir(dir / "root-only"));
    ASSERT_EQ(chmod((dir / "root-only").c_str(), 0700), 0);
    ASSERT_TRUE(testing_support::writeFile(dir / "root-only/secret-name.ttf", "not a font"));
    ASSERT_TRUE(testing_support::writeFile(
        home + "/.config/fontconfig/fonts.conf",
        "<?xml version=\"1.0\"?>\n<fontconfig>\n<cachedir>" + cache + "</cachedir>\n<dir>" +
            (dir / "root-only") + "</dir>\n</fontconfig>\n"));
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home, ignored))
      ASSERT_EQ(lchown(entry.path().c_str(), row.homeOwner, row.homeOwner), 0);
    ASSERT_EQ(chown(home.c_str(), row.homeOwner, row.homeOwner), 0);
    env.useHome(home);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "FONTCONFIG_FILE", "FONTCONFIG_PATH"})
      env.unset(name);

    const pid_t child = fork();
    if (child == 0) {
      FontFace face;
      systemFaceFor(0xE9, false, face);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(testing_support::pathExists(cache), row.usersConfigurationRead);
    // Nothing of root's in the user's tree: no cache of fontconfig's either.
    std::vector<std::string> roots;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home, ignored)) {
      struct stat st {};
      if (lstat(entry.path().c_str(), &st) == 0 && st.st_uid != row.homeOwner)
        roots.push_back(entry.path());
    }
    EXPECT_EQ(roots, std::vector<std::string>{});
  }
}

}  // namespace
