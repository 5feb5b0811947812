// The marks file text alone, without files or folders: whatever the input
// holds, reading it keeps one mark per key, writing what was read and
// reading that back gives the same marks and selection and names no entry
// it lacks, and writing again (in pieces of another size) gives the same
// bytes. The first input byte picks how many of a fixed set of keys the
// listing has and the size of the writer's pieces; the rest is the file.
//   scripts/test-fuzz.sh            (about 30 s per target)
//   FUZZ_SECONDS=3600 scripts/test-fuzz.sh
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "browser/marks_format.h"
#include "zub/digest.h"

namespace {

const char* const names[] = {".", "..", "a", "b c", "notes.txt", "\xE9t\xE9", "x\\y", "dir"};

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "marks_format_fuzz: %s\n", what);
  abort();
}

// readMarksFile() over the `size` bytes at `data`.
bool readText(const char* data, size_t size, const std::vector<zub::Digest>& keys,
              std::vector<int32_t>& marks, int32_t& selection) {
  // fmemopen wants a buffer even for an empty file.
  static char none = 0;
  FILE* stream = fmemopen(size == 0 ? &none : const_cast<char*>(data), size == 0 ? 1 : size, "r");
  check(stream != nullptr, "fmemopen failed");
  if (size == 0) std::fgetc(stream);
  const bool unlisted = readMarksFile(stream, keys, marks, selection).othersMarked;
  std::fclose(stream);
  return unlisted;
}

std::string writeText(int32_t selection, const std::vector<zub::Digest>& keys,
                      const std::vector<int32_t>& marks, size_t piece) {
  const std::vector<zub::Digest> noKeys;
  const std::vector<int32_t> noMarks;
  MarksText text{selection, {&keys, &marks}, {&noKeys, &noMarks}};
  std::string out;
  std::vector<char> buffer(piece);
  for (size_t got; (got = fillMarksText(&text, out.size(), buffer.data(), piece)) > 0;) {
    check(got <= piece, "a piece larger than its room");
    out.append(buffer.data(), got);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<zub::Digest> keys;
  const size_t count = data[0] % (std::size(names) + 1);
  for (size_t i = 0; i < count; ++i) keys.push_back(zub::digest(names[i]));
  const size_t piece = 45 + data[0] / 9;
  const char* const file = reinterpret_cast<const char*>(data) + 1;

  std::vector<int32_t> marks(keys.size(), 0);
  int32_t selection = 2;
  readText(file, size - 1, keys, marks, selection);
  check(marks.size() == keys.size(), "one mark per key");

  const std::string written = writeText(selection, keys, marks, piece);
  const std::string lead = std::to_string(count) + "\n" + std::to_string(selection) + "\n";
  check(written.rfind(lead, 0) == 0, "the count and the selection lead the text");
  std::vector<int32_t> again(keys.size(), 7);
  int32_t selectionAgain = -12345;
  check(!readText(written.data(), written.size(), keys, again, selectionAgain),
        "the written text marks an entry it was not given");
  check(again == marks, "marks changed through writing and reading");
  check(selectionAgain == selection, "selection changed through writing and reading");
  check(writeText(selection, keys, marks, 4096) == written,
        "pieces of another size gave other bytes");
  return 0;
}
