#include "zub/fs.h"

#include <cstring>

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

std::vector<char> entriesAreDirsNow(const std::string& dir,
                                    const std::vector<std::string>& names,
                                    const std::vector<uint32_t>& listingOrder) {
  // An entry the pass does not find stays unknown: asked on its own.
  std::vector<EntryKind> kinds(names.size(), EntryKind::unknown);
  DirStream* stream = openDir(dir.c_str());
  if (stream == nullptr) return entriesAreDirs(dir, names, {});
  // The listing is walked beside the order it had before. A name that was
  // deleted since is stepped over by looking a few names ahead; a name
  // that is new, or one met out of order, matches nothing and is skipped,
  // and whatever was not met is then asked on its own. So a changed
  // directory costs file-system calls, never a wrong answer.
  constexpr size_t lookAhead = 8;
  const size_t expected = listingOrder.size() == names.size() ? names.size() : 0;
  const auto expectedName = [&](size_t k) -> const std::string& {
    return names[listingOrder[k]];
  };
  size_t next = 0;
  while (const DirEntry* entry = readDir(stream)) {
    // The names are kept in display order, so the one expected next lies
    // anywhere: ask for it a little ahead of time.
    if (next + 16 < expected) __builtin_prefetch(&names[listingOrder[next + 16]]);
    for (size_t k = next; k < expected && k < next + lookAhead; ++k) {
      if (listingOrder[k] >= names.size()) break;
      if (std::strcmp(expectedName(k).c_str(), entry->name) != 0) continue;
      kinds[listingOrder[k]] = entryKind(*stream);
      next = k + 1;
      break;
    }
  }
  closeDir(stream);
  return entriesAreDirs(dir, names, kinds);
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
