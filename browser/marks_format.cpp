#include "browser/marks_format.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "zub/platform.h"

namespace {

constexpr size_t keyLength = 32;
// "-2147483648": the longest number of a valid file.
constexpr size_t longestNumber = 11;

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(int c) { return c >= '0' && c <= '9'; }

// The zeroBlock bytes at `bytes` are all zero.
constexpr size_t zeroBlock = 64;
bool allZero(const char* bytes) {
  uint64_t words[zeroBlock / sizeof(uint64_t)];
  std::memcpy(words, bytes, sizeof words);
  uint64_t any = 0;
  for (uint64_t word : words) any |= word;
  return any == 0;
}

// What the place of a key in a pair holds.
enum class KeyToken { end, key, other };

// The tokens of a stream through one fixed buffer: whatever the file holds,
// reading it costs no more memory than this.
struct MarksReader {
  FILE* stream;
  size_t pos = 0;
  size_t end = 0;
  bool streamEnded = false;
  uint64_t streamOffset = 0;  // where the stream stands; reads start at 0
  char buffer[1 << 16];

  // Moves what is unread to the front and reads more behind it; false when
  // the stream has nothing more.
  bool refill() {
    if (streamEnded) return false;
    std::memmove(buffer, buffer + pos, end - pos);
    end -= pos;
    pos = 0;
    if (end == sizeof buffer) return false;
    const size_t got = fread(buffer + end, 1, sizeof buffer - end, stream);
    if (got == 0) streamEnded = true;
    streamOffset += got;
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
  // Consumes the rest of the token under way, however long. A sparse
  // file's hole reads as zero bytes, all of one token: it is passed over
  // instead of read.
  void skipToken() {
    for (;;) {
      while (pos < end) {
        // Zero bytes, as a hole reads, go a block at a time.
        if (buffer[pos] == 0 && end - pos >= zeroBlock && allZero(buffer + pos)) {
          pos += zeroBlock;
          continue;
        }
        if (isSpace(static_cast<unsigned char>(buffer[pos]))) return;
        ++pos;
      }
      if (streamEnded) return;
      pos = end = 0;
      if (!zub::platform::skipHole(stream, streamOffset)) streamEnded = true;
      if (!refill()) return;
    }
  }
  // A signed decimal, its digits however many; false, nothing consumed,
  // when there is none. Values beyond 32 bits are clamped.
  bool readInt(int32_t& out) {
    skipSpace();
    const int first = peek(0);
    const size_t sign = first == '+' || first == '-' ? 1 : 0;
    if (!isDigit(peek(sign))) return false;
    pos += sign;
    // Past ten digits the value is clamped anyway; it stops growing there.
    constexpr int64_t beyond = INT64_C(10000000000);
    int64_t value = 0;
    for (int c; isDigit(c = peek(0)); ++pos)
      if (value < beyond) value = value * 10 + (c - '0');
    if (first == '-') value = -value;
    out = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    return true;
  }
  // Consumes the next token: `key` when it is an entry key, exactly 32
  // upper-case hexadecimal digits; `other` for any other token; `end` at
  // the end of the stream.
  KeyToken readKey(zub::Digest& key) {
    skipSpace();
    if (peek(0) < 0) return KeyToken::end;
    // Only a whole token of 32 digits: the byte after it must end it.
    const int after = peek(keyLength);
    if (peek(keyLength - 1) >= 0 && (after < 0 || isSpace(after)) &&
        zub::parseHex(buffer + pos, keyLength, key)) {
      pos += keyLength;
      return KeyToken::key;
    }
    skipToken();
    return KeyToken::other;
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

// A key, a blank, "-2147483648" and a line feed; the first two lines
// together take less.
constexpr size_t longestLine = keyLength + 1 + longestNumber + 1;

}  // namespace

MarksFileRead readMarksFile(FILE* stream, const std::vector<zub::Digest>& keys,
                            std::vector<int32_t>& marks, int32_t& selection,
                            KnownOthers others) {
  // Its buffer is too large for the stack of a callback; reads run one at
  // a time on the event-loop thread.
  static MarksReader readerStorage;
  MarksReader& reader = readerStorage;
  reader.stream = stream;
  reader.pos = reader.end = 0;
  reader.streamEnded = false;
  reader.streamOffset = 0;

  MarksFileRead result;
  int32_t pairCount = 0;
  reader.readInt(pairCount);
  result.selectionRead = reader.readInt(selection);

  // Usually the file was written from this very listing: the keys come in
  // entry order and each settles the next entry. Any other key is looked
  // up.
  const size_t count = keys.size();
  EntryIndex index;
  size_t next = 0;
  size_t nextOther = 0;
  const size_t otherCount = others.keys != nullptr ? others.keys->size() : 0;
  for (int32_t read = 0; read < pairCount; ++read) {
    zub::Digest key;
    const KeyToken token = reader.readKey(key);
    // The pairs still missing would carry an empty key: they change nothing.
    if (token == KeyToken::end) break;
    int32_t mark = 0;
    reader.readInt(mark);
    if (token == KeyToken::other) continue;
    if (next < count && key == keys[next]) {
      marks[next++] = mark;
      continue;
    }
    if (next == count && nextOther < otherCount && key == (*others.keys)[nextOther]) {
      (*others.marks)[nextOther++] = mark;
      result.othersMarked = result.othersMarked || mark != 0;
      continue;
    }
    if (index.slots.empty()) index.build(keys);
    const uint32_t entry = index.find(key, keys);
    if (entry != EntryIndex::empty) marks[entry] = mark;
    else result.othersMarked = result.othersMarked || mark != 0;
  }
  return result;
}

size_t fillMarksText(void* context, uint64_t offset, char* out, size_t capacity) {
  MarksText& text = *static_cast<MarksText*>(context);
  if (offset == 0) text.line = 0;
  if (capacity < longestLine) return 0;
  const size_t first = text.entries.keys->size();
  const size_t count = first + text.more.keys->size();
  char* const start = out;
  char* const end = out + capacity;
  if (text.line == 0) {
    out = writeInt(out, static_cast<int32_t>(count));
    *out++ = '\n';
    out = writeInt(out, text.selection);
    *out++ = '\n';
    text.line = 1;
  }
  for (; text.line <= count && static_cast<size_t>(end - out) >= longestLine; ++text.line) {
    const bool own = text.line <= first;
    const MarksLines& block = own ? text.entries : text.more;
    const size_t i = own ? text.line - 1 : text.line - 1 - first;
    out = zub::writeHex((*block.keys)[i], out);
    *out++ = ' ';
    out = writeInt(out, i < block.marks->size() ? (*block.marks)[i] : 0);
    *out++ = '\n';
  }
  if (text.line == count + 1 && out < end) {
    *out++ = '\n';
    ++text.line;
  }
  return static_cast<size_t>(out - start);
}
