#include "browser/browser_state.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "zub/digest.h"
#include "zub/path.h"

BrowserState browserState;

namespace {

// How many elements ahead a pass in display order asks for the names:
// their characters lie in listing order, far apart.
constexpr size_t kPrefetchAhead = 16;

// Bytes compare unsigned, so 0x80-0xFF sort after every ASCII byte.
inline unsigned char foldByte(char c) { return static_cast<unsigned char>(zub::lowerAscii(c)); }

// The first eight bytes of `name`, folded, as one big-endian number: most
// comparisons are settled by it without touching the strings again.
// Shorter names are padded with zero bytes, which no name contains, so
// they still come first.
uint64_t foldedPrefix(std::string_view name) {
  uint64_t prefix = 0;
  for (size_t i = 0; i < 8; ++i) {
    const unsigned char c = i < name.size() ? foldByte(name[i]) : 0;
    prefix = (prefix << 8) | c;
  }
  return prefix;
}

// An entry as the order sees it; the sort makes one per name, once.
struct OrderKey {
  uint64_t prefix;  // foldedPrefix() of the name
  bool isDir;
};

OrderKey orderKey(std::string_view name, bool isDir) { return OrderKey{foldedPrefix(name), isDir}; }

// The entry order, the one implementation of it: directories first, then
// the folded names byte by byte, a shorter one first when it is a prefix.
bool comesBefore(const OrderKey& a, std::string_view aName, const OrderKey& b,
                 std::string_view bName) {
  if (a.isDir != b.isDir) return a.isDir;
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  const size_t common = std::min(aName.size(), bName.size());
  for (size_t i = 8; i < common; ++i) {
    const unsigned char ca = foldByte(aName[i]);
    const unsigned char cb = foldByte(bName[i]);
    if (ca != cb) return ca < cb;
  }
  return aName.size() < bName.size();
}

// Indices of `names` in display order.
std::vector<uint32_t> sortedOrder(const zub::StringList& names,
                                  const std::vector<char>& isDirectory) {
  struct SortKey {
    OrderKey key;
    uint32_t index;
  };
  std::vector<SortKey> keys(names.size());
  for (size_t i = 0; i < names.size(); ++i)
    keys[i] = SortKey{orderKey(names[i], isDirectory[i] != 0), static_cast<uint32_t>(i)};
  std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
    return comesBefore(a.key, names[a.index], b.key, names[b.index]);
  });
  std::vector<uint32_t> order(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].index;
  return order;
}

}  // namespace

bool entryComesBefore(std::string_view a, bool aIsDir, std::string_view b, bool bIsDir) {
  return comesBefore(orderKey(a, aIsDir), a, orderKey(b, bIsDir), b);
}

bool EntryOrder::operator()(const std::string& a, const std::string& b) const {
  const char sep = zub::nativeSeparator();
  const bool aIsDir = zub::isDir(zub::join(sep, dir.c_str(), a.c_str(), nullptr).c_str());
  const bool bIsDir = zub::isDir(zub::join(sep, dir.c_str(), b.c_str(), nullptr).c_str());
  return entryComesBefore(a, aIsDir, b, bIsDir);
}

EntryOrder entryOrder(std::string dir) { return EntryOrder{std::move(dir)}; }

namespace {

// buildLines() with each entry's directory status already known.
void buildLinesWith(BrowserState& state, std::vector<char> isDirectory) {
  const size_t count = state.entryNames.size();
  // Refilled in place: after a mark change the lines take the same room
  // again, so nothing is allocated.
  state.displayLines.clear();
  state.displayLines.reserve(count, state.entryNames.characters() + 4 * count);
  for (size_t i = 0; i < count; ++i) {
    if (i + kPrefetchAhead < count) state.entryNames.prefetch(i + kPrefetchAhead);
    const std::string_view name = state.entryNames[i];
    const std::string_view mark = (i < state.marks.size() && state.marks[i] != 0) ? "* " : "  ";
    if (isDirectory[i])
      state.displayLines.pushJoined({mark, "[", name, "]"});
    else
      state.displayLines.pushJoined({mark, name});
  }
  state.entryWasDirectory = std::move(isDirectory);
}

}  // namespace

void buildLines(BrowserState& state) {
  // Asked afresh, not taken from the listing that opened the directory:
  // an entry may have become a directory, gone, or become unreadable since.
  buildLinesWith(state, zub::entriesAreDirsNow(state.currentDirectory, state.entryNames,
                                               state.listingOrder, state.entryWasDirectory));
}

void openDirectory(const char* path, BrowserState& state) {
  // `path` may point into state.currentDirectory, which changes below.
  std::string target(path ? path : "");

  // On the first open of a run nothing has been shown yet: saving here
  // would overwrite the start directory's stored marks with an empty record.
  if (state.hasOpenedDirectory) saveMarks(state);
  state.hasOpenedDirectory = true;

  state.currentDirectory = zub::normalize(target);
  state.selection = 2;

  // The old directory's lines go first, and its block of names is reused
  // for the new listing, so that two listings never take memory at once.
  zub::StringList names = std::move(state.entryNames);
  state.displayLines.release();
  state.entryWasDirectory = {};
  std::vector<zub::EntryKind> kinds;
  zub::listDir(state.currentDirectory.c_str(), names, kinds);

  // Each entry's directory status is found once here and reused by the
  // sort and the display lines, instead of two file-system calls per
  // comparison.
  const size_t count = names.size();
  std::vector<char> isDirectory = zub::entriesAreDirs(state.currentDirectory, names, kinds);
  kinds = {};
  const std::vector<uint32_t> order = sortedOrder(names, isDirectory);

  // Everything is gathered into display order: independent reads, which
  // the processor overlaps, rather than moves along the permutation's
  // cycles, each waiting for the one before.
  names.permute(order);
  std::vector<char> sortedIsDirectory(count);
  for (size_t i = 0; i < count; ++i) sortedIsDirectory[i] = isDirectory[order[i]];
  isDirectory = {};
  state.entryDigests.resize(count);
  for (size_t i = 0; i < count; ++i) {
    if (i + kPrefetchAhead < count) names.prefetch(i + kPrefetchAhead);
    state.entryDigests[i] = zub::keyDigest(names[i]);
  }
  state.listingOrder.resize(count);
  for (size_t i = 0; i < count; ++i) state.listingOrder[order[i]] = static_cast<uint32_t>(i);
  state.entryNames = std::move(names);
  // What the last directory's file held of entries it did not list.
  state.unlisted = {};

  loadMarks(state);
  buildLinesWith(state, std::move(sortedIsDirectory));
}
