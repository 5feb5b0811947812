// The text of a per-directory marks file, apart from where it lives: the
// entry count, the selection, one "KEY mark" line per entry (KEY is the
// MD5 of the entry's name, zub::keyDigest()), then an empty line. Any run
// of white space separates tokens, so CR LF files read alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "zub/digest.h"

// What readMarksFile() found beside the marks.
struct MarksFileRead {
  bool selectionRead = false;  // the selection parsed (and was stored)
  bool othersMarked = false;   // a pair whose key is not among the keys marks
};

// Keys a file is expected to hold after those of the entries, in this
// order (the entries not listed whose lines a save wrote last), and the
// marks read for them; both empty pointers for none.
struct KnownOthers {
  const std::vector<zub::Digest>* keys = nullptr;
  std::vector<int32_t>* marks = nullptr;  // one element per key
};

// Reads the marks file open as `stream`, from its start: the count, the
// selection into `selection` (left as it was when it does not parse), then
// up to count pairs, to the end of the file. The mark of a pair whose key
// is keys[i] goes into marks[i] (one element per key; a later pair with the
// same key wins); what no pair names is left as it was. A damaged file
// never ends the read: a mark that does not parse counts 0 and its text is
// read as the next key; a key token that is not exactly 32 upper-case
// hexadecimal digits (lower case, too long, any junk) is consumed whole and
// names no entry. A number of any length is clamped to 32 bits. Every pair
// consumes at least one token, so the read costs at most one pass over the
// file, and a hole of a sparse file is passed over without being read.
// othersMarked says that a pair whose key is not among `keys` holds a
// non-zero mark (an entry this listing lacks). The pairs of `others` that
// come in its order, after the entries' own, set others.marks and are not
// looked up among `keys`, which a file of a large folder would otherwise
// cost at every read.
MarksFileRead readMarksFile(FILE* stream, const std::vector<zub::Digest>& keys,
                            std::vector<int32_t>& marks, int32_t& selection,
                            KnownOthers others = {});

// One block of "KEY mark" lines: keys[i] with marks[i], 0 past the end of
// `marks`.
struct MarksLines {
  const std::vector<zub::Digest>* keys;
  const std::vector<int32_t>* marks;
};

// A whole marks file, produced a piece at a time through fillMarksText():
// the number of lines of both blocks, `selection`, the lines of `entries`
// then those of `more`, and the empty line. `line` is the writer's own
// place; it starts over whenever the offset is 0.
struct MarksText {
  int32_t selection;
  MarksLines entries;
  MarksLines more;
  size_t line = 0;
};

// The zub::ContentSource fill function of a MarksText (`context`): at most
// `capacity` bytes of it (whole lines only; the capacity must hold the
// longest line, 45 bytes), 0 once it is complete.
size_t fillMarksText(void* context, uint64_t offset, char* out, size_t capacity);
