// The per-directory marks file: entry count, selection, one "KEY mark" line
// per entry (KEY is the MD5 of the entry's name), then an empty line.
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <string>
#include <cstring>
#include <utility>
#include <vector>

#include "browser/browser_state.h"
#include "browser/entry_status.h"
#include "zub/atomic_file.h"
#include "zub/fs.h"
#include "zub/path.h"
#include "zub/settings.h"

namespace {

// Keys longer than this in a damaged file are cut to it.
constexpr size_t maxKeyLength = 255;

// Reads the whole file the way formatted input would ("%d", "%d", then
// "%s %d" pairs): tokens separated by any white space, numbers that do not
// parse left unconsumed so their text becomes the next key.
struct MarksReader {
  const std::string& text;
  size_t pos = 0;

  static bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }
  void skipSpace() {
    while (pos < text.size() && isSpace(text[pos])) ++pos;
  }
  bool atEnd() {
    skipSpace();
    return pos >= text.size();
  }
  // A signed decimal; false (nothing consumed) when there is none. Values
  // beyond 32 bits are clamped rather than wrapped.
  bool readInt(int32_t& out) {
    skipSpace();
    size_t p = pos;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
    const size_t digitsStart = p;
    int64_t value = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
      if (value <= INT64_C(1) << 40) value = value * 10 + (text[p] - '0');
      ++p;
    }
    if (p == digitsStart) return false;
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    out = static_cast<int32_t>(value);
    pos = p;
    return true;
  }
  // The next run of non-space bytes, at most maxKeyLength of them kept;
  // returns where it starts and how long the kept part is.
  std::pair<size_t, size_t> readKey() {
    skipSpace();
    const size_t start = pos;
    while (pos < text.size() && !isSpace(text[pos])) ++pos;
    return {start, std::min(pos - start, maxKeyLength)};
  }
};

// The stored marks by key. Only keys of 32 upper-case hexadecimal digits
// can equal an entry's key, so only those are kept, as their 16 bytes, in
// an open-addressing table: MD5 bytes are already evenly spread.
class StoredMarks {
 public:
  explicit StoredMarks(size_t expected) {
    size_t capacity = 16;
    while (capacity < expected * 2) capacity *= 2;
    slots.resize(capacity);
  }
  // A later pair with the same key replaces the earlier one.
  void put(const zub::Digest& key, int32_t mark) {
    Slot& slot = find(key);
    if (!slot.used) {
      if (++used * 2 > slots.size()) {
        grow();
        return put(key, mark);
      }
      slot.used = true;
      slot.key = key;
    }
    slot.mark = mark;
  }
  int32_t get(const zub::Digest& key) {
    const Slot& slot = find(key);
    return slot.used ? slot.mark : 0;
  }

 private:
  struct Slot {
    zub::Digest key{};
    int32_t mark = 0;
    bool used = false;
  };
  Slot& find(const zub::Digest& key) {
    uint64_t hash;
    memcpy(&hash, key.data(), sizeof hash);
    const size_t maskBits = slots.size() - 1;
    for (size_t i = hash & maskBits;; i = (i + 1) & maskBits)
      if (!slots[i].used || slots[i].key == key) return slots[i];
  }
  void grow() {
    std::vector<Slot> old(slots.size() * 2);
    old.swap(slots);
    used = 0;
    for (const Slot& slot : old)
      if (slot.used) put(slot.key, slot.mark);
  }
  std::vector<Slot> slots;
  size_t used = 0;
};

// Reads the rest of `stream` into `text`, which is reused from call to
// call so that large marks files do not cost fresh pages at every load.
void readAll(FILE* stream, std::string& text) {
  text.clear();
  // One read of the whole file when its size is known; the loop still
  // takes whatever a growing or unseekable file really holds.
  if (fseek(stream, 0, SEEK_END) == 0) {
    const long size = ftell(stream);
    if (size > 0) text.reserve(static_cast<size_t>(size) + 1);
    rewind(stream);
  }
  char buffer[1 << 16];
  if (text.capacity() > sizeof buffer) {
    text.resize(text.capacity());
    text.resize(fread(text.data(), 1, text.size(), stream));
  }
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, got);
}

// Where the marks file of `key` is, or would be created.
std::string marksPath(const std::string& key) {
  std::string path = zub::findSettingsFile(zub::settingsFolder, key);
  if (!path.empty()) return path;
  path = zub::settingsCandidates(zub::settingsFolder, key).front();
  zub::makeDirs(zub::dirName(path.c_str()).c_str());
  return path;
}

}  // namespace

void saveMarks(BrowserState& state) {
  if (state.currentDirectory.empty()) return;
  refreshEntryKeys(state);

  const std::string path = marksPath(zub::digestHex(state.currentDirectory));
  // A marks file the user may not write stays as it is; the load that
  // follows a change then shows what the file still says.
  if (zub::fileExists(path.c_str()) && !zub::isWritableFile(path.c_str())) return;

  const size_t count = state.entryNames.size();
  std::string content;
  content.reserve(24 + count * 36);
  char number[32];
  snprintf(number, sizeof number, "%d\n%d\n", static_cast<int>(count), static_cast<int>(state.selection));
  content += number;
  for (size_t i = 0; i < count; ++i) {
    content += zub::hexOf(state.entryDigests[i]);
    const int32_t mark = i < state.marks.size() ? state.marks[i] : 0;
    snprintf(number, sizeof number, " %d\n", static_cast<int>(mark));
    content += number;
  }
  content += '\n';

  // Written beside the old file and renamed over it, so a crash, a kill or
  // a full disk leaves the previous marks whole.
  zub::replaceFile(path, content);
}

void loadMarks(BrowserState& state) {
  refreshEntryKeys(state);
  const size_t count = state.entryNames.size();

  struct Pair {
    zub::Digest key;
    int32_t mark;
  };
  std::vector<Pair> pairs;
  FILE* stream = zub::openSettingsFile(zub::digestHex(state.currentDirectory).c_str(), "r");
  if (stream) {
    static std::string text;
    readAll(stream, text);
    fclose(stream);

    MarksReader reader{text};
    int32_t pairCount = 0;
    reader.readInt(pairCount);
    reader.readInt(state.selection);
    // A line holds at least a 32-digit key, a blank and a digit.
    pairs.reserve(std::min<size_t>(pairCount > 0 ? pairCount : 0, text.size() / 34 + 1));
    // The count is only a hint: a damaged one must not keep us reading
    // past the end of the file.
    for (int32_t read = 0; read < pairCount && !reader.atEnd(); ++read) {
      const auto [start, length] = reader.readKey();
      int32_t mark = 0;
      reader.readInt(mark);
      zub::Digest key;
      if (zub::parseHex(text.data() + start, length, key)) pairs.push_back(Pair{key, mark});
    }
  }

  state.marks.assign(count, 0);
  if (pairs.empty()) return;

  // Usually the file was written from this very listing: the same keys in
  // the same order. Names in a directory differ, so their keys do too and
  // no later pair can then override an earlier one.
  bool sameOrder = pairs.size() == count;
  for (size_t i = 0; sameOrder && i < count; ++i) sameOrder = pairs[i].key == state.entryDigests[i];
  if (sameOrder) {
    for (size_t i = 0; i < count; ++i) state.marks[i] = pairs[i].mark;
    return;
  }
  StoredMarks stored(pairs.size());
  for (const Pair& pair : pairs) stored.put(pair.key, pair.mark);
  for (size_t i = 0; i < count; ++i) state.marks[i] = stored.get(state.entryDigests[i]);
}
