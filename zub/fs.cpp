#include "zub/fs.h"

#include "zub/dir_stream.h"
#include "zub/path.h"
#include "zub/platform.h"

namespace zub {
namespace {

bool readNames(const char* path, std::vector<std::string>& entries,
               std::vector<EntryKind>* kinds) {
  entries.clear();
  if (kinds) kinds->clear();
  DirStream* dir = openDir(path);
  if (dir == nullptr) return false;
  while (const DirEntry* entry = readDir(dir)) {
    entries.emplace_back(entry->name);
    if (kinds) kinds->push_back(entryKind(*dir));
  }
  closeDir(dir);
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
  DirStream* dir = openDir(path);
  if (dir == nullptr) return false;
  closeDir(dir);
  return true;
}

bool isFile(const char* path) { return !isDir(path); }

bool fileExists(const char* path) { return platform::readableFile(path); }

void makeDirs(const char* path) {
  // Prefixes are built with '/', which every platform accepts, so that a
  // network path's doubled separator collapses like any other run.
  std::string prefix = isSeparator(path[0]) ? "/" : "";
  bool first = true;
  for (const std::string& token : tokenize(path, "/\\")) {
    if (!first) prefix += '/';
    first = false;
    prefix += token;
    if (platform::pathExists(prefix.c_str())) continue;
    if (prefix.back() == ':') continue;  // a bare drive such as "D:"
    platform::makeDirectory(prefix.c_str());
  }
}

}  // namespace zub
