// The cross-built HarfBuzz and FriBidi as linked into the Windows program,
// under wine with the fonts scripts/test-windows.sh installs: their
// character tables came through the cross build (HarfBuzz has no glib or
// ICU here, only its own), FriBidi's static entry points link, and
// HarfBuzz shapes through FreeType (hb-ft) with the face the system's
// fallback names.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <fribidi.h>
#include <hb-ft.h>
#include <hb.h>

#include <string>
#include <vector>

#include "render/system_fonts.h"

namespace {

// The line in display order, by the algorithm alone: no Arabic shaping
// (fribidi_log2vis would swap letters for presentation forms).
std::u32string visualOrder(const std::u32string& logical) {
  std::vector<FriBidiChar> text(logical.begin(), logical.end());
  const auto length = static_cast<FriBidiStrIndex>(text.size());
  std::vector<FriBidiCharType> types(text.size());
  std::vector<FriBidiBracketType> brackets(text.size());
  std::vector<FriBidiLevel> levels(text.size());
  fribidi_get_bidi_types(text.data(), length, types.data());
  fribidi_get_bracket_types(text.data(), length, types.data(), brackets.data());
  FriBidiParType direction = FRIBIDI_PAR_LTR;
  if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), length, &direction,
                                           levels.data()) ||
      !fribidi_reorder_line(FRIBIDI_FLAGS_DEFAULT, types.data(), length, 0, direction, levels.data(),
                            text.data(), nullptr))
    return U"(failed)";
  return std::u32string(text.begin(), text.end());
}

TEST(TextLibrariesWindows, FriBidiOrdersALeftToRightParagraph) {
  struct Row {
    std::u32string logical;
    std::u32string visual;
  };
  const Row rows[] = {
      {U"abc.txt", U"abc.txt"},
      {U"\u05e9\u05dc\u05d5\u05dd", U"\u05dd\u05d5\u05dc\u05e9"},  // שלום
      {U"a \u05d0\u05d1 b", U"a \u05d1\u05d0 b"},
      // Numbers after Hebrew stay in their own order inside the run.
      {U"\u05d0\u05d1 12", U"12 \u05d1\u05d0"},
      {U"\u0645\u0631\u062d\u0628\u0627.txt", U"\u0627\u0628\u062d\u0631\u0645.txt"},  // مرحبا.txt
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << (&row - rows));
    EXPECT_TRUE(visualOrder(row.logical) == row.visual);
  }
}

TEST(TextLibrariesWindows, HarfBuzzKnowsScriptAndDirection) {
  struct Row {
    const char* text;
    hb_script_t script;
    hb_direction_t direction;
  };
  const Row rows[] = {
      {"abc", HB_SCRIPT_LATIN, HB_DIRECTION_LTR},
      {"\u0645\u0631\u062d\u0628\u0627", HB_SCRIPT_ARABIC, HB_DIRECTION_RTL},
      {"\u05e9\u05dc\u05d5\u05dd", HB_SCRIPT_HEBREW, HB_DIRECTION_RTL},
      {"\u0928\u092e\u0938\u094d\u0924\u0947", HB_SCRIPT_DEVANAGARI, HB_DIRECTION_LTR},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf8(buffer, row.text, -1, 0, -1);
    hb_buffer_guess_segment_properties(buffer);
    EXPECT_EQ(hb_buffer_get_script(buffer), row.script);
    EXPECT_EQ(hb_buffer_get_direction(buffer), row.direction);
    hb_buffer_destroy(buffer);
  }
}

// Glyph count and the cluster (byte offset) of the first glyph out: a
// right-to-left run comes out last character first.
TEST(TextLibrariesWindows, HarfBuzzShapesThroughFreeType) {
  struct Row {
    const char* text;
    char32_t fontFor;
    unsigned glyphs;
    unsigned firstCluster;
  };
  const Row rows[] = {
      {"\u0644\u0627", U'\u0644', 1, 0},                     // lam alef: one ligature
      {"\u05e9\u05dc\u05d5\u05dd", U'\u05e9', 4, 6},         // שלום: ם first
      {"\u0915\u094d\u0937", U'\u0915', 1, 0},               // क्ष: one conjunct
  };
  FT_Library library;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    FontFace face;
    ASSERT_TRUE(systemFaceFor(row.fontFor, false, face));
    FT_Face opened;
    ASSERT_EQ(FT_New_Face(library, face.path.c_str(), face.index, &opened), 0) << face.path;
    FT_Set_Pixel_Sizes(opened, 0, 32);
    hb_font_t* font = hb_ft_font_create_referenced(opened);
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf8(buffer, row.text, -1, 0, -1);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* glyphs = hb_buffer_get_glyph_infos(buffer, &count);
    EXPECT_EQ(count, row.glyphs) << face.path;
    ASSERT_GT(count, 0u);
    EXPECT_EQ(glyphs[0].cluster, row.firstCluster) << face.path;
    EXPECT_NE(glyphs[0].codepoint, 0u) << face.path << " has no glyph";
    hb_buffer_destroy(buffer);
    hb_font_destroy(font);
    FT_Done_Face(opened);
  }
  FT_Done_FreeType(library);
}

}  // namespace
