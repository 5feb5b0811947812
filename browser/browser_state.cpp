#include "browser/browser_state.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "browser/entry_status.h"
#include "zub/path.h"
#include "zub/settings.h"

BrowserState browserState;

namespace {

// How many names ahead a pass in display order asks for: names were moved,
// not copied, into that order, so their characters lie where the listing
// put them.
constexpr size_t kPrefetchAhead = 16;

bool holdsLineFeed(const std::string& text) {
  return std::memchr(text.data(), '\n', text.size()) != nullptr;
}

// ASCII-only folding, so that names in any 8-bit code page sort the same
// way everywhere; bytes 0x80-0xFF keep their value and sort last.
inline unsigned char foldByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
}

// The first eight bytes of `name`, folded, as one big-endian number: most
// comparisons are settled by it without touching the strings. Shorter
// names are padded with zero bytes, which no name contains, so they still
// come first.
uint64_t foldedPrefix(const std::string& name) {
  uint64_t prefix = 0;
  for (size_t i = 0; i < 8; ++i) {
    const unsigned char c = i < name.size() ? foldByte(static_cast<unsigned char>(name[i])) : 0;
    prefix = (prefix << 8) | c;
  }
  return prefix;
}

// Indices of `names` in display order.
std::vector<uint32_t> sortedOrder(const std::vector<std::string>& names,
                                  const std::vector<char>& isDirectory) {
  struct SortKey {
    uint64_t prefix;
    uint32_t index;
    bool isDir;
  };
  std::vector<SortKey> keys(names.size());
  for (size_t i = 0; i < names.size(); ++i)
    keys[i] = SortKey{foldedPrefix(names[i]), static_cast<uint32_t>(i), isDirectory[i] != 0};
  std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
    if (a.isDir != b.isDir) return a.isDir;
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return entryComesBefore(names[a.index], a.isDir, names[b.index], b.isDir);
  });
  std::vector<uint32_t> order(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].index;
  return order;
}

}  // namespace

bool entryComesBefore(const std::string& a, bool aIsDir,
                      const std::string& b, bool bIsDir) {
  if (aIsDir != bIsDir) return aIsDir;
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const unsigned char ca = foldByte(static_cast<unsigned char>(a[i]));
    const unsigned char cb = foldByte(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

bool EntryOrder::operator()(const std::string& a, const std::string& b) const {
  const char sep = zub::nativeSeparator();
  const bool aIsDir = zub::isDir(zub::join(sep, dir.c_str(), a.c_str(), nullptr).c_str());
  const bool bIsDir = zub::isDir(zub::join(sep, dir.c_str(), b.c_str(), nullptr).c_str());
  return entryComesBefore(a, aIsDir, b, bIsDir);
}

EntryOrder entryOrder(std::string dir) { return EntryOrder{std::move(dir)}; }

void buildLinesWith(BrowserState& state, const std::vector<char>& isDirectory) {
  const size_t count = state.entryNames.size();
  state.displayLines.resize(count);
  state.multiRowLines.clear();
  for (size_t i = 0; i < count; ++i) {
    if (i + kPrefetchAhead < count) __builtin_prefetch(state.entryNames[i + kPrefetchAhead].data());
    const std::string& name = state.entryNames[i];
    // The line holds a line feed exactly when the name does; asked while
    // the name is at hand rather than in a second pass over the lines.
    if (holdsLineFeed(name)) state.multiRowLines.push_back(static_cast<uint32_t>(i));
    std::string& line = state.displayLines[i];
    // Rebuilt in place: after a mark change every line keeps its length
    // or nearly, so no line is allocated again.
    line.clear();
    line.reserve(name.size() + 4);
    line += (i < state.marks.size() && state.marks[i] != 0) ? "* " : "  ";
    if (isDirectory[i]) {
      line += '[';
      line += name;
      line += ']';
    } else {
      line += name;
    }
  }
}

void findMultiRowLines(BrowserState& state) {
  state.multiRowLines.clear();
  for (size_t i = 0; i < state.displayLines.size(); ++i)
    if (holdsLineFeed(state.displayLines[i])) state.multiRowLines.push_back(static_cast<uint32_t>(i));
}

void buildLines(BrowserState& state) {
  // Asked afresh, not taken from the listing that opened the directory:
  // an entry may have become a directory, gone, or become unreadable since.
  buildLinesWith(state, zub::entriesAreDirsNow(state.currentDirectory, state.entryNames,
                                               state.listingOrder));
}

uint64_t namesFingerprint(const std::vector<std::string>& names) {
  // Multiply-xorshift over eight bytes at a time; the length goes in
  // first, so that names which concatenate alike still differ.
  const uint64_t k = 0x9E3779B97F4A7C15ull;
  uint64_t h = names.size() * k;
  const auto mix = [&](uint64_t word) {
    h = (h ^ word) * k;
    h ^= h >> 29;
  };
  for (size_t i = 0; i < names.size(); ++i) {
    // Names lie in memory in the order they were listed, not in this one:
    // asking for the next ones early keeps the misses from queueing.
    if (i + kPrefetchAhead < names.size()) __builtin_prefetch(names[i + kPrefetchAhead].data());
    const std::string& name = names[i];
    const char* p = name.data();
    size_t left = name.size();
    mix(left);
    for (; left >= 8; left -= 8, p += 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      mix(word);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, p, left);
    mix(tail);
  }
  return h;
}

void refreshEntryKeys(BrowserState& state) {
  const uint64_t fingerprint = namesFingerprint(state.entryNames);
  if (state.entryDigests.size() == state.entryNames.size() && state.entryDigestsOf == fingerprint)
    return;
  state.entryDigests.resize(state.entryNames.size());
  for (size_t i = 0; i < state.entryNames.size(); ++i)
    state.entryDigests[i] = zub::digest(state.entryNames[i]);
  state.entryDigestsOf = fingerprint;
}

namespace {

// Puts `items` into the order `order` gives (item i becomes the old
// items[order[i]]) by moving each element once along the permutation's
// cycles: no second array, no copy of what the elements own.
template <typename T>
void permute(std::vector<T>& items, const std::vector<uint32_t>& order) {
  std::vector<char> placed(items.size(), 0);
  for (size_t start = 0; start < items.size(); ++start) {
    if (placed[start]) continue;
    T held = std::move(items[start]);
    size_t at = start;
    for (;;) {
      placed[at] = 1;
      const size_t from = order[at];
      if (from == start) break;
      items[at] = std::move(items[from]);
      at = from;
    }
    items[at] = std::move(held);
  }
}

}  // namespace

void openDirectory(const char* path, BrowserState& state) {
  // `path` may point into state.currentDirectory, which changes below.
  std::string target(path ? path : "");

  // On the first open of a run nothing has been shown yet: saving here
  // would overwrite the start directory's stored marks with an empty record.
  if (state.hasOpenedDirectory) saveMarks(state);
  state.hasOpenedDirectory = true;

  state.currentDirectory = zub::normalize(target);
  state.selection = 2;

  // The old directory's names go first, so that two listings never take
  // memory at once.
  std::vector<std::string> names = std::move(state.entryNames);
  state.entryNames = {};
  state.displayLines = {};
  std::vector<zub::EntryKind> kinds;
  zub::listDir(state.currentDirectory.c_str(), names, kinds);

  // Each entry's directory status is found once here and reused by the
  // sort and the display lines, instead of two file-system calls per
  // comparison.
  const size_t count = names.size();
  std::vector<char> isDirectory = zub::entriesAreDirs(state.currentDirectory, names, kinds);
  kinds = {};
  const std::vector<uint32_t> order = sortedOrder(names, isDirectory);

  // Digests are taken in listing order, while the names still lie in
  // memory in the order they were read.
  state.entryDigests.resize(count);
  for (size_t i = 0; i < count; ++i) state.entryDigests[i] = zub::digest(names[i]);

  permute(names, order);
  permute(state.entryDigests, order);
  permute(isDirectory, order);
  state.listingOrder.resize(count);
  for (size_t i = 0; i < count; ++i) state.listingOrder[order[i]] = static_cast<uint32_t>(i);
  state.entryNames = std::move(names);
  state.entryDigestsOf = namesFingerprint(state.entryNames);

  loadMarks(state);
  buildLinesWith(state, isDirectory);
}
