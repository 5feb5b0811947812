#include "zub/settings.h"

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

}  // namespace zub
