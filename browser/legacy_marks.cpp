#include "browser/legacy_marks.h"

#include <string>

#include "zub/digest.h"
#include "zub/platform.h"
#include "zub/settings.h"

FILE* openMarksForReading(const BrowserState& state, std::vector<zub::Digest>& entryKeys) {
  entryKeys.clear();
  const std::string key = zub::digestHex(state.currentDirectory);
  const std::string legacyPath = zub::platform::legacyBytes(state.currentDirectory);
  if (!legacyPath.empty() && zub::findSettingsFile(zub::settingsFolder, key).empty()) {
    const std::string legacyFile =
        zub::findSettingsFile(zub::settingsFolder, zub::digestHex(legacyPath));
    if (!legacyFile.empty()) {
      if (FILE* stream = zub::platform::openRegularFile(legacyFile.c_str(), "r")) {
        entryKeys = state.entryDigests;
        for (size_t i = 0; i < entryKeys.size(); ++i) {
          const std::string legacyName = zub::platform::legacyBytes(std::string(state.entryNames[i]));
          if (!legacyName.empty()) entryKeys[i] = zub::digest(legacyName);
        }
        return stream;
      }
    }
  }
  return zub::openSettingsFile(key.c_str(), "r");
}
