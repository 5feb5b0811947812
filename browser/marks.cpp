// The per-directory marks file: entry count, selection, one "KEY mark" line
// per entry (KEY is the MD5 of the entry's name), then an empty line.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "browser/browser_state.h"
#include "browser/legacy_marks.h"
#include "zub/atomic_file.h"
#include "zub/digest.h"
#include "zub/fs.h"
#include "zub/path.h"
#include "zub/settings.h"

namespace {

// Keys longer than this in a damaged file are consumed whole; only keys
// of exactly 32 digits can match an entry anyway.
constexpr size_t entryKeyLength = 32;

// Formatted input ("%d", "%d", then "%s %d" pairs) over a stream, through
// one fixed buffer: whatever the file holds, reading it costs no more
// memory than this. Tokens are separated by any white space; a number that
// does not parse is left unconsumed, so its text becomes the next key.
struct MarksReader {
  FILE* stream;
  size_t pos = 0;
  size_t end = 0;
  bool streamEnded = false;
  uint64_t budget = 0;  // bytes the stream may still give
  char buffer[1 << 16];

  static bool isSpace(int c) {
    return c <= ' ' && (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
  }
  static bool isDigit(int c) { return c >= '0' && c <= '9'; }

  // Moves what is unread to the front and reads more behind it; false when
  // the stream has nothing more.
  bool refill() {
    if (streamEnded) return false;
    std::memmove(buffer, buffer + pos, end - pos);
    end -= pos;
    pos = 0;
    const size_t room = static_cast<size_t>(std::min<uint64_t>(sizeof buffer - end, budget));
    const size_t got = room == 0 ? 0 : fread(buffer + end, 1, room, stream);
    if (got == 0) streamEnded = true;
    budget -= got;
    end += got;
    return got > 0;
  }
  // The byte `offset` places ahead, or -1 past the end of the stream.
  int peek(size_t offset) {
    while (end - pos <= offset)
      if (!refill()) return -1;
    return static_cast<unsigned char>(buffer[pos + offset]);
  }
  void skipSpace() {
    do {
      while (pos < end && isSpace(static_cast<unsigned char>(buffer[pos]))) ++pos;
    } while (pos == end && refill());
  }
  bool atEnd() {
    skipSpace();
    return pos == end;
  }
  // A signed decimal; false (nothing consumed) when there is none. Values
  // beyond 32 bits are clamped rather than wrapped.
  bool readInt(int32_t& out) {
    skipSpace();
    const int first = peek(0);
    const bool signed_ = first == '+' || first == '-';
    if (!isDigit(peek(signed_ ? 1 : 0))) return false;
    const bool negative = first == '-';
    pos += signed_ ? 1 : 0;
    int64_t value = 0;
    do {
      for (; pos < end && isDigit(buffer[pos]); ++pos)
        if (value <= INT64_C(1) << 40) value = value * 10 + (buffer[pos] - '0');
    } while (pos == end && refill());
    if (negative) value = -value;
    out = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    return true;
  }
  // Consumes the next run of non-space bytes; true, with `key`, when it is
  // an entry key: exactly 32 upper-case hexadecimal digits.
  bool readKey(zub::Digest& key) {
    skipSpace();
    // The usual token: 32 digits and a blank, all in the buffer. Digits
    // hold no white space, so a parse that succeeds spans the whole token.
    if (end - pos > entryKeyLength &&
        isSpace(static_cast<unsigned char>(buffer[pos + entryKeyLength])) &&
        zub::parseHex(buffer + pos, entryKeyLength, key)) {
      pos += entryKeyLength;
      return true;
    }
    char text[entryKeyLength];
    size_t length = 0;
    do {
      for (; pos < end && !isSpace(static_cast<unsigned char>(buffer[pos])); ++pos) {
        if (length < entryKeyLength) text[length] = buffer[pos];
        ++length;
      }
    } while (pos == end && refill());
    return length == entryKeyLength && zub::parseHex(text, length, key);
  }
};

// The entries by key, for pairs that are not in listing order. Only the
// entries' own keys go in, and they are hashed over all 16 bytes, so keys
// crafted in a marks file can neither grow the table nor crowd one slot.
struct EntryIndex {
  static constexpr uint32_t empty = UINT32_MAX;
  std::vector<uint32_t> slots;
  size_t mask = 0;

  static uint64_t hashOf(const zub::Digest& key) {
    uint64_t low, high;
    std::memcpy(&low, key.data(), sizeof low);
    std::memcpy(&high, key.data() + sizeof low, sizeof high);
    uint64_t h = low ^ (high * UINT64_C(0x9E3779B97F4A7C15));
    h ^= h >> 32;
    h *= UINT64_C(0xD6E8FEB86659FD93);
    return h ^ (h >> 32);
  }
  void build(const std::vector<zub::Digest>& keys) {
    size_t capacity = 16;
    while (capacity < keys.size() * 2) capacity *= 2;
    slots.assign(capacity, empty);
    mask = capacity - 1;
    for (size_t i = 0; i < keys.size(); ++i) {
      size_t slot = hashOf(keys[i]) & mask;
      while (slots[slot] != empty) slot = (slot + 1) & mask;
      slots[slot] = static_cast<uint32_t>(i);
    }
  }
  // The index of the entry with `key`; `empty` when there is none.
  uint32_t find(const zub::Digest& key, const std::vector<zub::Digest>& keys) const {
    for (size_t slot = hashOf(key) & mask;; slot = (slot + 1) & mask)
      if (slots[slot] == empty || keys[slots[slot]] == key) return slots[slot];
  }
};

// The most a valid marks file for `entries` entries can hold: both
// numbers and every mark as long as they can be, every line end CR LF.
// Reading stops there, so a huge or sparse file costs no more than a
// valid one. Small directories are read as far as one of this many
// entries would be: one that lost most of its entries since its file was
// written keeps the marks of those left, wherever their lines lie.
constexpr size_t entriesAlwaysRead = 4096;
uint64_t validFileBytes(size_t entries) {
  constexpr uint64_t numberLine = 11 + 2;          // "-2147483648\r\n"
  constexpr uint64_t entryLine = 32 + 1 + 11 + 2;  // key, blank, mark, "\r\n"
  return 2 * numberLine + std::max(entries, entriesAlwaysRead) * entryLine + 2;
}

// Reads the marks file open as `stream` for the entries whose keys are
// `keys`: the mark of each entry found goes into `marks` (one per key), the
// stored selection into `selection`; what is not found is left as it was.
void readMarks(FILE* stream, const std::vector<zub::Digest>& keys, std::vector<int32_t>& marks,
               int32_t& selection) {
  const size_t count = keys.size();
  // Its buffer is too large for the stack of a callback; reads run one at
  // a time on the event-loop thread.
  static MarksReader readerStorage;
  MarksReader* const reader = &readerStorage;
  reader->stream = stream;
  reader->pos = reader->end = 0;
  reader->streamEnded = false;
  reader->budget = validFileBytes(count);

  int32_t pairCount = 0;
  reader->readInt(pairCount);
  reader->readInt(selection);

  // Usually the file was written from this very listing: the keys come in
  // entry order and each settles the next entry. Any other key is looked
  // up; a later pair with the same key overrides an earlier one.
  EntryIndex index;
  size_t next = 0;
  for (int32_t read = 0; read < pairCount && !reader->atEnd(); ++read) {
    zub::Digest key;
    const bool isKey = reader->readKey(key);
    int32_t mark = 0;
    reader->readInt(mark);
    if (!isKey) continue;
    if (next < count && key == keys[next]) {
      marks[next++] = mark;
      continue;
    }
    if (index.slots.empty()) index.build(keys);
    const uint32_t entry = index.find(key, keys);
    if (entry != EntryIndex::empty) marks[entry] = mark;
  }
}

// When another instance has written the file of `location` since this one
// last read or wrote it, takes its marks for every entry this instance
// has not changed since then; the last writer wins only on one entry.
void takeOthersMarks(BrowserState& state, const zub::SettingsLocation& location) {
  if (zub::settingsFileStamp(location) == state.marksFileStamp) return;
  FILE* stream = zub::openSettingsFile(location, "r");
  if (stream == nullptr) return;
  const size_t count = state.entryNames.size();
  std::vector<int32_t> theirs(count, 0);
  int32_t theirSelection = 0;
  const zub::FileStamp read = zub::stampOf(stream);
  readMarks(stream, state.entryDigests, theirs, theirSelection);
  fclose(stream);
  // Without a record of what was read (a state never loaded) every mark
  // counts as this instance's.
  if (state.marksOnDisk.size() == count) {
    for (size_t i = 0; i < count; ++i)
      if (state.marks[i] == state.marksOnDisk[i]) state.marks[i] = theirs[i];
  }
  state.marksOnDisk = std::move(theirs);
  state.marksFileStamp = read;
}

// `value` in decimal at `out`; returns the end of what was written.
char* writeInt(char* out, int32_t value) {
  char digits[12];
  int n = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *out++ = '-';
  while (n > 0) *out++ = digits[--n];
  return out;
}

char* writeKey(char* out, const zub::Digest& key) {
  static const char hex[] = "0123456789ABCDEF";
  for (unsigned char byte : key) {
    *out++ = hex[byte >> 4];
    *out++ = hex[byte & 0x0F];
  }
  return out;
}

// The lines of a marks file, produced for zub::ContentSource.
struct MarksContent {
  const BrowserState* state;
  size_t count;  // entries
  size_t line;   // the next to write: 0 both counts, 1..count the entries, count + 1 the last
};

// The longest line: a key, a blank, "-2147483648" and a line feed; the two
// numbers of the first lines together take less.
constexpr size_t longestLine = entryKeyLength + 13;
static_assert(zub::contentPieceCapacity >= longestLine, "a piece holds a whole line");

size_t fillMarks(void* context, uint64_t offset, char* out, size_t capacity) {
  MarksContent& content = *static_cast<MarksContent*>(context);
  if (offset == 0) content.line = 0;
  const BrowserState& state = *content.state;
  char* const start = out;
  char* const end = out + capacity;
  if (content.line == 0) {
    out = writeInt(out, static_cast<int32_t>(content.count));
    *out++ = '\n';
    out = writeInt(out, state.selection);
    *out++ = '\n';
    content.line = 1;
  }
  for (; content.line <= content.count && static_cast<size_t>(end - out) >= longestLine;
       ++content.line) {
    const size_t i = content.line - 1;
    out = writeKey(out, state.entryDigests[i]);
    *out++ = ' ';
    out = writeInt(out, i < state.marks.size() ? state.marks[i] : 0);
    *out++ = '\n';
  }
  if (content.line == content.count + 1 && out < end) {
    *out++ = '\n';
    ++content.line;
  }
  return static_cast<size_t>(out - start);
}

// Says on standard error, once per directory and run, that the marks of
// `directory` are not saved and why: the screen keeps showing them, so
// this line is the only sign that they will be gone next time. Control
// bytes are written as \xHH, so that a name cannot make it two lines.
void tellNotSaved(const std::string& directory, const std::string& reason) {
  static std::unordered_set<std::string> told;
  if (!told.insert(directory).second) return;
  const std::string line = "orchard-menu: the marks of " + directory + " cannot be saved: " + reason;
  std::fprintf(stderr, "%s\n", zub::escapedLine(line).c_str());
}

}  // namespace

void saveMarks(BrowserState& state) {
  if (state.currentDirectory.empty()) return;
  state.marks.resize(state.entryNames.size(), 0);

  const std::string fileKey = zub::digestHex(state.currentDirectory);
  const zub::SettingsLocation location = zub::locateSettingsFile(fileKey.c_str());
  if (location.path.empty()) return tellNotSaved(state.currentDirectory, location.problem);
  // A marks file the user may not write stays as it is; the load that
  // follows a change then shows what the file still says.
  std::string problem;
  if (!zub::mayReplaceSettingsFile(location, problem))
    return tellNotSaved(state.currentDirectory, problem);

  // Read, merge and write take turns with other instances.
  const zub::FolderLock lock = zub::lockSettingsFolder(location);
  takeOthersMarks(state, location);

  // Written whole beside the old file and moved over it, so a crash, a
  // kill or a full disk leaves the previous marks whole. The lines are
  // formatted a piece at a time into the writer's buffer: a save in the
  // largest directory costs no more memory than one in the smallest.
  MarksContent content{&state, state.entryNames.size(), 0};
  const zub::ContentSource source{fillMarks, &content};
  if (zub::replaceSettingsFile(location, source, lock, problem)) {
    state.marksOnDisk = state.marks;
    state.marksFileStamp = zub::settingsFileStamp(location);
  } else {
    tellNotSaved(state.currentDirectory, problem);
  }
}

void loadMarks(BrowserState& state) {
  const size_t count = state.entryNames.size();
  state.marks.assign(count, 0);

  std::vector<zub::Digest> legacyKeys;
  FILE* stream = openMarksForReading(state, legacyKeys);
  const bool legacy = !legacyKeys.empty();
  state.marksFileStamp = legacy ? zub::FileStamp() : zub::stampOf(stream);
  if (stream != nullptr) {
    readMarks(stream, legacy ? legacyKeys : state.entryDigests, state.marks, state.selection);
    fclose(stream);
  }
  // Marks read from a file under the old key are not in the file this
  // instance writes yet: they count as its own changes, so the first save
  // carries them over whatever that file holds by then.
  if (legacy) state.marksOnDisk.assign(count, 0);
  else state.marksOnDisk = state.marks;

  // Whatever the file says (it may be older than the listing, or damaged),
  // the selection lands on an entry, so the keys that act on it work.
  const int64_t last = static_cast<int64_t>(count) - 1;
  state.selection = static_cast<int32_t>(std::clamp<int64_t>(state.selection, 0, std::max<int64_t>(last, 0)));
}
