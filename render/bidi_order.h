// Right-to-left text in reading order: the embedding levels of the Unicode
// Bidirectional Algorithm for one left-to-right paragraph (computed by
// FriBidi) and the reordering of a line by them. Pure functions over code
// points; no graphics, no shared state, callable from any thread.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// Replaces `levels` by the resolved embedding level of each code point of
// `text`, taken as one paragraph whose direction is left to right, after
// rule L1 (so as for a line that is the whole paragraph). Directional
// formatting characters in `text` are applied; a character that rule X9
// removes gets some level that callers must not use. False, with
// `levels` empty, when FriBidi fails (out of memory).
bool resolveLevels(std::u32string_view text, std::vector<unsigned char>& levels);

// Replaces `order` by the visual order of items with embedding levels
// `levels` (rule L2): order[k] is the index of the item shown k-th from
// the left. Items keep their order within each level run that is not
// reversed.
void visualOrder(const std::vector<unsigned char>& levels, std::vector<std::size_t>& order);

// The characters that change direction explicitly (LRE, RLE, LRO, RLO,
// PDF, LRI, RLI, FSI, PDI, LRM, RLM, ALM).
bool isDirectionalControl(char32_t c);

// Bidirectional class R, AL or AN: a character that can raise a level in a
// left-to-right paragraph without explicit controls. Text without any
// keeps its order.
bool turnsRightToLeft(char32_t c);

// Bidirectional class B or S: paragraph and segment separators (line
// feed, carriage return, tab, ...).
bool isSeparator(char32_t c);

// The mirrored glyph's character of `c` for a right-to-left run (rule
// L4): ')' for '('; `c` itself when it has none.
char32_t mirroredCharacter(char32_t c);
