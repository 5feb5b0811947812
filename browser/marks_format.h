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

// Reads the marks file open as `stream`, from its start: the count, the
// selection into `selection` (left as it was when it does not parse), then
// up to count pairs, to the end of the file. The mark of a pair whose key
// is keys[i] goes into marks[i] (one element per key; a later pair with the
// same key wins); what no pair names is left as it was. A mark that does
// not parse counts 0 and its text is read as the next key. The read ends,
// keeping what was read, at the first key token that is not exactly 32
// upper-case hexadecimal digits and at a number of more than 11 bytes: no
// valid file holds either, so a damaged, huge or sparse file costs no more
// than the valid pairs it starts with. Returns true when a pair whose key
// is not among `keys` holds a non-zero mark (an entry this listing lacks).
bool readMarksFile(FILE* stream, const std::vector<zub::Digest>& keys, std::vector<int32_t>& marks,
                   int32_t& selection);

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
