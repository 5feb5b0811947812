#include "zub/settings.h"

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
  std::string value;
  if (platform::environmentVariable("APPDATA", value)) add(value, "");
  for (const char* name : {"USERPROFILE", "HOME", "HOMEPATH"})
    if (platform::environmentVariable(name, value)) add(value, ".");
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

SettingsLocation locateSettingsFile(const char* file) {
  SettingsLocation location;
  location.path = findSettingsFile(settingsFolder, file);
  location.exists = !location.path.empty();
  if (!location.exists) {
    location.path = settingsCandidates(settingsFolder, file).front();
    makeDirs(dirName(location.path.c_str()).c_str());
  }
  return location;
}

FILE* openSettingsFile(const char* file, const char* mode) {
  const SettingsLocation location = locateSettingsFile(file);
  // Whatever already occupies the first candidate without being usable
  // (another user's file, a dangling link, a fifo) is not opened.
  if (!location.exists && !platform::createEmptyFile(location.path.c_str())) return nullptr;
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
