// The render tests' own font configuration: fontconfig reads the file
// named by FONTCONFIG_FILE when it first starts, so the tests see only the
// fonts named here, whatever else the machine has installed.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/support.h"

namespace testing_support {

namespace {

// Installed by scripts/deps.sh (fonts-dejavu-core, fonts-noto-cjk,
// fonts-noto-color-emoji, fonts-noto-core).
const char* const kTestFontFiles[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc",
    "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Bold.ttf",
    "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf",
};

std::string hex(char32_t c) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (int shift = 20; shift >= 0; shift -= 4) out += digits[(c >> shift) & 0xF];
  return out;
}

std::string configuration(const std::string& folder) {
  return "<?xml version=\"1.0\"?>\n"
         "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
         "<fontconfig>\n"
         "  <dir>" + folder + "/fonts</dir>\n"
         "  <cachedir>" + folder + "/cache</cachedir>\n"
         "  <alias binding=\"same\"><family>sans-serif</family>\n"
         "    <prefer><family>DejaVu Sans</family><family>Noto Sans CJK SC</family></prefer></alias>\n"
         "  <alias binding=\"same\"><family>emoji</family>\n"
         "    <prefer><family>Noto Color Emoji</family></prefer></alias>\n"
         // The stale list: the bold face claims a character it has no glyph for.
         "  <match target=\"scan\">\n"
         "    <test name=\"family\"><string>DejaVu Sans</string></test>\n"
         "    <test name=\"weight\" compare=\"more_eq\"><const>bold</const></test>\n"
         "    <edit name=\"charset\" mode=\"assign\"><plus><name>charset</name>\n"
         "      <charset><int>0x" + hex(kClaimedButMissing) + "</int></charset></plus></edit>\n"
         "  </match>\n"
         "</fontconfig>\n";
}

}  // namespace

bool useTestFonts(std::string& why) {
  static TempDir folder;
  static bool done = false;
  static std::string reason;
  if (!done) {
    done = true;
    if (folder.path.empty()) reason = "no temporary folder for the font configuration";
    if (reason.empty() && !makeDir(folder / "fonts")) reason = "cannot make " + (folder / "fonts");
    for (const char* file : kTestFontFiles) {
      if (!reason.empty()) break;
      if (access(file, R_OK) != 0) {
        reason = std::string(file) + " is missing: run scripts/deps.sh";
        break;
      }
      const std::string name = std::string(file).substr(std::string(file).rfind('/') + 1);
      if (symlink(file, (folder / ("fonts/" + name)).c_str()) != 0) reason = "cannot link " + name;
    }
    if (reason.empty() && !writeFile(folder / "fonts.conf", configuration(folder.path)))
      reason = "cannot write the font configuration";
    if (reason.empty()) setenv("FONTCONFIG_FILE", (folder / "fonts.conf").c_str(), 1);
  }
  why = reason;
  return reason.empty();
}

}  // namespace testing_support
