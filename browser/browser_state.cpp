#include "browser/browser_state.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "browser/entry_status.h"
#include "zub/path.h"
#include "zub/settings.h"

BrowserState browserState;

namespace {

// ASCII-only folding, so that names in any 8-bit code page sort the same
// way everywhere; bytes 0x80-0xFF keep their value and sort last.
inline unsigned char foldByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
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

bool entryIsDir(const std::string& dir, const std::string& name,
                zub::EntryKind kind) {
  // A regular file, fifo or socket can never be opened as a directory
  // stream; everything else has to be asked, since a directory may be
  // unreadable and a link may lead to one.
  if (kind == zub::EntryKind::other) return false;
  return zub::isDir(
      zub::join(zub::nativeSeparator(), dir.c_str(), name.c_str(), nullptr).c_str());
}

void buildLinesWith(BrowserState& state, const std::vector<char>& isDirectory) {
  const size_t count = state.entryNames.size();
  state.displayLines.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const std::string& name = state.entryNames[i];
    std::string& line = state.displayLines[i];
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

void buildLines(BrowserState& state) {
  const size_t count = state.entryNames.size();
  const bool kindsKnown = state.entryKinds.size() == count;
  std::vector<char> isDirectory(count);
  for (size_t i = 0; i < count; ++i) {
    const zub::EntryKind kind = kindsKnown ? state.entryKinds[i] : zub::EntryKind::unknown;
    isDirectory[i] = entryIsDir(state.currentDirectory, state.entryNames[i], kind);
  }
  buildLinesWith(state, isDirectory);
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

  std::vector<std::string> names;
  std::vector<zub::EntryKind> kinds;
  zub::listDir(state.currentDirectory.c_str(), names, kinds);

  // Each entry's directory status is found once here and reused by the
  // sort and the display lines, instead of two file-system calls per
  // comparison.
  const size_t count = names.size();
  std::vector<char> isDirectory(count);
  for (size_t i = 0; i < count; ++i)
    isDirectory[i] = entryIsDir(state.currentDirectory, names[i], kinds[i]);

  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return entryComesBefore(names[a], isDirectory[a], names[b], isDirectory[b]);
  });

  state.entryNames.clear();
  state.entryNames.reserve(count);
  state.entryKinds.resize(count);
  state.entryKeys.resize(count);
  std::vector<char> sortedIsDirectory(count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t from = order[i];
    state.entryNames.push_back(std::move(names[from]));
    state.entryKinds[i] = kinds[from];
    state.entryKeys[i] = zub::digestHex(state.entryNames[i]);
    sortedIsDirectory[i] = isDirectory[from];
  }

  loadMarks(state);
  buildLinesWith(state, sortedIsDirectory);
}
