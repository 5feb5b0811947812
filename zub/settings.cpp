#include "zub/settings.h"

#include <cstring>

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
  const SettingsUserScope user;
  if (user.failed) return std::string();
  for (const std::string& candidate : settingsCandidates(folder, file)) {
    const SettingsLocation usable = usableSettingsFile(candidate);
    if (!usable.path.empty()) return usable.path;
  }
  return std::string();
}

SettingsLocation locateSettingsFile(const char* file) {
  const SettingsUserScope user;
  if (user.failed) {
    SettingsLocation none;
    none.problem = "the rights of the owner of HOME cannot be taken";
    return none;
  }
  const std::vector<std::string> candidates = settingsCandidates(settingsFolder, file);
  for (const std::string& candidate : candidates) {
    SettingsLocation usable = usableSettingsFile(candidate);
    if (!usable.path.empty()) return usable;
  }
  // Only the first place takes a new file: one made anywhere else would be
  // found only from the same working directory, or hidden by a later one.
  return makeSettingsFile(candidates.front());
}

FILE* openSettingsFile(const char* file, const char* mode) {
  const SettingsLocation location = locateSettingsFile(file);
  return openSettingsFile(location, mode);
}

FILE* openSettingsFile(const SettingsLocation& location, const char* mode) {
  const SettingsUserScope user;
  if (user.failed || location.path.empty()) return nullptr;
  return openSettingsFileAt(location, mode);
}

FolderLock lockSettingsFolder(const SettingsLocation& location) {
  const SettingsUserScope user;
  if (user.failed || location.path.empty()) return FolderLock();
  return lockFolder(location.folder.handle, location.folder.path, location.name);
}

FileStamp settingsFileStamp(const SettingsLocation& location) {
  const SettingsUserScope user;
  if (user.failed || location.path.empty()) return FileStamp();
  return stampIn(location.folder.handle, location.folder.path, location.name);
}

bool mayReplaceSettingsFile(const SettingsLocation& location, std::string& problem) {
  const SettingsUserScope user;
  int error = 0;
  if (!user.failed && !location.path.empty() && replaceableSettingsFile(location, error))
    return true;
  problem = location.path + ": " + (error != 0 ? std::strerror(error) : "may not be written");
  return false;
}

bool replaceSettingsFile(const SettingsLocation& location, const ContentSource& source,
                         const FolderLock& lock, std::string& problem) {
  const SettingsUserScope user;
  int error = 0;
  if (!user.failed && !location.path.empty() &&
      replaceFileIn(location.folder.handle, location.folder.path, location.name, source, lock,
                    &error))
    return true;
  problem = "writing " + location.path + " failed" +
            (error != 0 ? std::string(": ") + std::strerror(error) : std::string());
  return false;
}

std::string escapedLine(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
      continue;
    }
    static const char hex[] = "0123456789ABCDEF";
    shown += "\\x";
    shown += hex[byte >> 4];
    shown += hex[byte & 0x0F];
  }
  return shown;
}

}  // namespace zub
