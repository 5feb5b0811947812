#include "render/bidi_order.h"

#include <fribidi.h>

#include <algorithm>

bool resolveLevels(std::u32string_view text, std::vector<unsigned char>& levels) {
  levels.clear();
  if (text.empty()) return true;
  const auto length = static_cast<FriBidiStrIndex>(text.size());
  const auto* chars = reinterpret_cast<const FriBidiChar*>(text.data());
  std::vector<FriBidiCharType> types(text.size());
  std::vector<FriBidiBracketType> brackets(text.size());
  std::vector<FriBidiLevel> resolved(text.size());
  fribidi_get_bidi_types(chars, length, types.data());
  fribidi_get_bracket_types(chars, length, types.data(), brackets.data());
  FriBidiParType direction = FRIBIDI_PAR_LTR;
  if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), length, &direction, resolved.data()) == 0)
    return false;
  // The last part of rule L1 (whitespace at the end of the line) is
  // applied by the reordering; no flags, so that nothing else (L3, mirroring)
  // is done, and no map, so that nothing is moved.
  if (fribidi_reorder_line(0, types.data(), length, 0, direction, resolved.data(), nullptr, nullptr) == 0)
    return false;
  levels.assign(resolved.begin(), resolved.end());
  return true;
}

void visualOrder(const std::vector<unsigned char>& levels, std::vector<std::size_t>& order) {
  order.resize(levels.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (levels.empty()) return;
  const unsigned char highest = *std::max_element(levels.begin(), levels.end());
  unsigned char lowestOdd = 255;
  for (unsigned char level : levels)
    if (level % 2 == 1) lowestOdd = std::min(lowestOdd, level);
  // From the highest level down to the lowest odd one, every maximal run
  // at that level or higher is reversed; `order` holds the items as they
  // stand after the reversals so far.
  for (int level = highest; level >= lowestOdd && level > 0; --level)
    for (std::size_t i = 0; i < order.size();) {
      if (levels[order[i]] < level) {
        ++i;
        continue;
      }
      std::size_t end = i;
      while (end < order.size() && levels[order[end]] >= level) ++end;
      std::reverse(order.begin() + static_cast<std::ptrdiff_t>(i), order.begin() + static_cast<std::ptrdiff_t>(end));
      i = end;
    }
}

bool isDirectionalControl(char32_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
         c == 0x061C;
}

bool turnsRightToLeft(char32_t c) {
  if (c < 0x0590) return false;
  const FriBidiCharType type = fribidi_get_bidi_type(c);
  return type == FRIBIDI_TYPE_RTL || type == FRIBIDI_TYPE_AL || type == FRIBIDI_TYPE_AN;
}

bool isSeparator(char32_t c) {
  const FriBidiCharType type = fribidi_get_bidi_type(c);
  return type == FRIBIDI_TYPE_BS || type == FRIBIDI_TYPE_SS;
}

char32_t mirroredCharacter(char32_t c) {
  FriBidiChar mirrored = c;
  return fribidi_get_mirror_char(c, &mirrored) ? mirrored : c;
}
