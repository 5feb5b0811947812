#include "zub/settings.h"

#include <cstdlib>

#include "zub/atomic_file.h"
#include "zub/fs.h"
#include "zub/path.h"
#include "zub/platform.h"

namespace zub {

std::vector<std::string> settingsCandidates(const std::string& folder,
                                            const std::string& file) {
  std::vector<std::string> candidates;
  const auto add = [&](const std::string& base, const char* dot) {
    candidates.push_back(toNative(base + "/" + dot + folder + "/" + file));
  };
  if (const char* appData = std::getenv("APPDATA")) add(appData, "");
  for (const char* name : {"USERPROFILE", "HOME", "HOMEPATH"})
    if (const char* home = std::getenv(name)) add(home, ".");
  add(".", ".");
  add(currentDir(), "");
  return candidates;
}

std::string findSettingsFile(const std::string& folder,
                             const std::string& file) {
  for (const std::string& candidate : settingsCandidates(folder, file)) {
    std::string usable = platform::usableSettingsFile(candidate);
    if (!usable.empty()) return usable;
  }
  return std::string();
}

namespace {

// The folder of candidate `path`, without a trailing separator.
std::string folderOf(const std::string& path) {
  std::string folder = dirName(path.c_str());
  if (folder.size() > 1 && isSeparator(folder.back())) folder.pop_back();
  return folder;
}

// Makes what is missing of the folder of candidate `path`: the folders
// above it as any others, the settings folder itself for the user alone.
void makeFoldersOf(const std::string& path) {
  const std::string folder = folderOf(path);
  if (platform::pathExists(folder.c_str())) return;
  makeDirs(folderOf(folder).c_str());
  platform::makeSettingsFolder(folder.c_str());
}

}  // namespace

SettingsLocation locateSettingsFile(const char* file) {
  SettingsLocation location;
  location.path = findSettingsFile(settingsFolder, file);
  if (!location.path.empty()) return location;
  // Whatever occupies a candidate without being usable (another user's
  // file, a dangling link, a fifo) is left alone; the next one is tried.
  for (const std::string& candidate : settingsCandidates(settingsFolder, file)) {
    makeFoldersOf(candidate);
    std::string problem;
    const std::string place = platform::newSettingsFilePath(candidate, problem);
    if (!place.empty() && createFile(place, "", 0)) {
      location.path = place;
      location.problem.clear();
      return location;
    }
    if (!place.empty()) problem = place + ": no new file can be made there";
    if (location.problem.empty()) location.problem = problem;
  }
  return location;
}

FILE* openSettingsFile(const char* file, const char* mode) {
  const SettingsLocation location = locateSettingsFile(file);
  if (location.path.empty()) return nullptr;
  return platform::openRegularFile(location.path.c_str(), mode);
}

std::string hexOf(const Digest& d) {
  static const char hex[] = "0123456789ABCDEF";
  std::string result(d.size() * 2, '0');
  for (size_t i = 0; i < d.size(); ++i) {
    result[2 * i] = hex[d[i] >> 4];
    result[2 * i + 1] = hex[d[i] & 0x0F];
  }
  return result;
}

bool parseHex(const char* text, size_t length, Digest& out) {
  // Value of each upper-case hexadecimal digit, 0xFF for every other byte;
  // marks files hold one key per entry, so this runs often.
  static const std::array<unsigned char, 256> digitValue = [] {
    std::array<unsigned char, 256> table;
    table.fill(0xFF);
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<unsigned char>(c - 'A' + 10);
    return table;
  }();
  if (length != out.size() * 2) return false;
  unsigned char bad = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char high = digitValue[static_cast<unsigned char>(text[2 * i])];
    const unsigned char low = digitValue[static_cast<unsigned char>(text[2 * i + 1])];
    bad |= high | low;
    out[i] = static_cast<unsigned char>((high << 4) | (low & 0x0F));
  }
  return (bad & 0xF0) == 0;
}

std::string digestHex(const std::string& s) { return hexOf(digest(s)); }

}  // namespace zub
