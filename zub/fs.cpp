#include "zub/fs.h"

#include <cstring>

#include "zub/dir_checks.h"
#include "zub/dir_stream.h"
#include "zub/path.h"
#include "zub/platform.h"

namespace zub {

bool listDir(const char* path, std::vector<std::string>& entries) {
  entries.clear();
  const DirStreamHandle dir(openDir(path));
  if (!dir) return false;
  while (const DirEntry* entry = readDir(dir.get())) entries.emplace_back(entry->name);
  return true;
}

bool listDir(const char* path, StringList& entries, std::vector<EntryKind>& kinds) {
  entries.clear();
  kinds.clear();
  const DirStreamHandle dir(openDir(path));
  if (!dir) return false;
  while (const DirEntry* entry = readDir(dir.get())) {
    entries.push_back(entry->name);
    kinds.push_back(entryKind(*dir));
  }
  return true;
}

namespace {

// The kind of each of `names` as one pass over `dir` finds it; unknown for
// an entry the pass does not meet, and for all when `dir` cannot be listed.
std::vector<EntryKind> kindsByListing(const std::string& dir, const StringList& names,
                                      const std::vector<uint32_t>& listingOrder) {
  std::vector<EntryKind> kinds(names.size(), EntryKind::unknown);
  const DirStreamHandle stream(openDir(dir.c_str()));
  if (!stream) return kinds;
  // The listing is walked beside the order it had before. A name that was
  // deleted since is stepped over by looking a few names ahead; a name
  // that is new, or one met out of order, matches nothing and is skipped,
  // and whatever was not met is then asked on its own. So a changed
  // directory costs file-system calls, never a wrong answer.
  constexpr size_t lookAhead = 8;
  const size_t expected = listingOrder.size() == names.size() ? names.size() : 0;
  size_t next = 0;
  while (const DirEntry* entry = readDir(stream.get())) {
    // The names are kept in display order, so the one expected next lies
    // anywhere: ask for it a little ahead of time.
    if (next + 32 < expected) names.prefetchSlot(listingOrder[next + 32]);
    if (next + 16 < expected) names.prefetch(listingOrder[next + 16]);
    for (size_t k = next; k < expected && k < next + lookAhead; ++k) {
      if (listingOrder[k] >= names.size()) break;
      // Element data is NUL-terminated: one comparison settles it.
      if (std::strcmp(names[listingOrder[k]].data(), entry->name) != 0) continue;
      kinds[listingOrder[k]] = entryKind(*stream);
      next = k + 1;
      break;
    }
  }
  return kinds;
}

}  // namespace

std::vector<char> entriesAreDirs(const std::string& dir, const StringList& names,
                                 const std::vector<EntryKind>& kinds) {
  return finishDirChecks(*startDirChecks(dir, names, {}), kinds);
}

std::vector<char> entriesAreDirsNow(const std::string& dir, const StringList& names,
                                    const std::vector<uint32_t>& listingOrder,
                                    const std::vector<char>& likelyDirs) {
  // The entries that were directories last time are asked about while the
  // pass lists the directory; the pass then tells which of them still are,
  // and which others need asking.
  const DirChecksHandle checks = startDirChecks(dir, names, likelyDirs);
  return finishDirChecks(*checks, kindsByListing(dir, names, listingOrder));
}

bool isDir(const char* path) { return DirStreamHandle(openDir(path)) != nullptr; }

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
