// Fonts as root with another user's HOME (sudo -E): fontconfig reads the
// system's configuration only, so the user's fonts.conf, in the home or
// named by a variable, cannot make root write a cache, or list a folder,
// wherever it names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "render/system_fonts.h"
#include "tests/support/support.h"

namespace {

// Each row asks in a child of its own: fontconfig reads its configuration
// once per process, and this process has not read it.
TEST(SystemFonts, RootForAnotherUserReadsNoConfigurationOfThatUsers) {
  if (geteuid() != 0) GTEST_SKIP() << "root with another user's HOME needs root";
  struct Row {
    uid_t homeOwner;
    bool throughVariable;  // the configuration named by FONTCONFIG_FILE
    bool cacheMade;
  };
  for (const Row& row : {Row{0, false, true}, Row{4242, false, false}, Row{0, true, true},
                         Row{4242, true, false}}) {
    SCOPED_TRACE(std::to_string(row.homeOwner) + (row.throughVariable ? " FONTCONFIG_FILE" : ""));
    testing_support::TempDir dir;
    testing_support::EnvGuard env;
    const std::string home = dir / "home", cache = dir / "cache", listed = dir / "root-only";
    ASSERT_TRUE(testing_support::makeDir(home + "/.config/fontconfig"));
    ASSERT_TRUE(testing_support::makeDir(listed));
    ASSERT_EQ(chmod(listed.c_str(), 0700), 0);
    ASSERT_TRUE(testing_support::writeFile(listed + "/secret-name.ttf", "not a font"));
    ASSERT_TRUE(testing_support::writeFile(
        home + "/.config/fontconfig/fonts.conf",
        "<fontconfig><cachedir>" + cache + "</cachedir><dir>" + listed + "</dir></fontconfig>"));
    ASSERT_EQ(chown(home.c_str(), row.homeOwner, row.homeOwner), 0);
    env.useHome(home);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "FONTCONFIG_FILE"})
      env.unset(name);
    if (row.throughVariable) env.set("FONTCONFIG_FILE", home + "/.config/fontconfig/fonts.conf");
    const pid_t child = fork();
    if (child == 0) {
      keepFontsToTheSystem();
      FontFace face;
      systemFaceFor(0xE9, false, face);
      _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(testing_support::pathExists(cache), row.cacheMade);
  }
}

}  // namespace
