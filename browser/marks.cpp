// The per-directory marks file: entry count, selection, one "KEY mark" line
// per entry (KEY is the MD5 of the entry's name), then an empty line.
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <string>
#include <unordered_map>

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
  // The next run of non-space bytes, at most maxKeyLength of them kept.
  std::string readKey() {
    skipSpace();
    const size_t start = pos;
    while (pos < text.size() && !isSpace(text[pos])) ++pos;
    return text.substr(start, std::min(pos - start, maxKeyLength));
  }
};

std::string readAll(FILE* stream) {
  std::string text;
  char buffer[1 << 16];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, got);
  return text;
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

void refreshEntryKeys(BrowserState& state) {
  if (state.entryKeys.size() == state.entryNames.size()) return;
  state.entryKeys.resize(state.entryNames.size());
  for (size_t i = 0; i < state.entryNames.size(); ++i)
    state.entryKeys[i] = zub::digestHex(state.entryNames[i]);
}

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
    content += state.entryKeys[i];
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

  std::unordered_map<std::string, int32_t> stored;
  FILE* stream = zub::openSettingsFile(zub::digestHex(state.currentDirectory).c_str(), "r");
  if (stream) {
    const std::string text = readAll(stream);
    fclose(stream);

    MarksReader reader{text};
    int32_t pairCount = 0;
    reader.readInt(pairCount);
    reader.readInt(state.selection);
    stored.reserve(pairCount > 0 ? std::min<size_t>(pairCount, count + 16) : 0);
    // The count is only a hint: a damaged one must not keep us reading
    // past the end of the file.
    for (int32_t pairs = 0; pairs < pairCount && !reader.atEnd(); ++pairs) {
      std::string key = reader.readKey();
      int32_t mark = 0;
      reader.readInt(mark);
      stored[std::move(key)] = mark;
    }
  }

  state.marks.assign(count, 0);
  if (stored.empty()) return;
  for (size_t i = 0; i < count; ++i) {
    const auto found = stored.find(state.entryKeys[i]);
    if (found != stored.end()) state.marks[i] = found->second;
  }
}
