#include "zub/fs.h"

// On POSIX the platform's own directory streams; a Windows build supplies
// opendir/readdir/closedir of its own over the file search functions.
#include <dirent.h>

#include "zub/path.h"
#include "zub/platform.h"

namespace zub {
namespace {

bool readNames(const char* path, std::vector<std::string>& entries,
               std::vector<EntryKind>* kinds) {
  entries.clear();
  if (kinds) kinds->clear();
  DIR* dir = opendir(path);
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    entries.emplace_back(entry->d_name);
    if (kinds) kinds->push_back(platform::entryKind(*entry));
  }
  closedir(dir);
  return true;
}

}  // namespace

bool listDir(const char* path, std::vector<std::string>& entries) {
  return readNames(path, entries, nullptr);
}

bool listDir(const char* path, std::vector<std::string>& entries,
             std::vector<EntryKind>& kinds) {
  return readNames(path, entries, &kinds);
}

bool isDir(const char* path) {
  DIR* dir = opendir(path);
  if (dir == nullptr) return false;
  closedir(dir);
  return true;
}

bool isFile(const char* path) { return !isDir(path); }

bool fileExists(const char* path) { return platform::readableFile(path); }

void makeDirs(const char* path) {
  // Prefixes are built with '/', which every platform accepts, so that a
  // network path's doubled separator collapses like any other run.
  // In the POSIX style '\\' and ':' are name bytes like any other.
  const bool windows = nativePathStyle() == PathStyle::windows;
  std::string prefix = isSeparator(path[0]) ? "/" : "";
  bool first = true;
  for (const std::string& token : tokenize(path, windows ? "/\\" : "/")) {
    if (!first) prefix += '/';
    first = false;
    prefix += token;
    if (platform::pathExists(prefix.c_str())) continue;
    if (windows && prefix.back() == ':') continue;  // a bare drive such as "D:"
    platform::makeDirectory(prefix.c_str());
  }
}

}  // namespace zub
