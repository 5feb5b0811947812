// Which installed font the Windows fallback names, under wine with the
// fonts scripts/test-windows.sh installs: DejaVu Sans Bold and Noto Sans
// CJK Bold in the Fonts folder (registered by bare file name), Noto Color
// Emoji (colour bitmaps only, which this build cannot draw), and, as the
// user's own font under the emoji font's name, DejaVu Sans, which is not
// bold. Each face named is opened with FreeType and must really have the
// character.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

#include "render/system_fonts.h"

namespace {

struct Row {
  char32_t codePoint;
  bool emoji;
  bool found;
  bool bold;
  const char* file;  // the face's file name, when the row names one
};

std::string fileName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

TEST(SystemFacesWindows, TheFallbackNamesAFaceThatHasTheCharacter) {
  FT_Library library;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  const Row rows[] = {
      {U'A', false, true, true, nullptr},
      {U'\u00e9', false, true, true, nullptr},               // é
      {U'\u0414', false, true, true, nullptr},               // Д
      {U'\u03bb', false, true, true, nullptr},               // λ
      {U'\u65e5', false, true, true, "NotoSansCJK-Bold.ttc"},  // 日
      {U'\uac00', false, true, true, "NotoSansCJK-Bold.ttc"},  // 가
      // The emoji font is asked first for emoji, the bold faces otherwise;
      // the colour bitmap font never.
      {U'\U0001f600', true, true, false, "orchard-emoji.ttf"},
      {U'\U0001f600', false, true, true, nullptr},
      {U'A', true, true, false, "orchard-emoji.ttf"},
      {U'\U0010fffd', false, false, false, nullptr},
      {U'\U0010fffd', true, false, false, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(row.codePoint)
                                    << (row.emoji ? " as emoji" : ""));
    FontFace face;
    ASSERT_EQ(systemFaceFor(row.codePoint, row.emoji, face), row.found) << face.path;
    if (!row.found) continue;
    if (row.file) {
      EXPECT_EQ(fileName(face.path), row.file) << face.path;
    }
    FT_Face opened;
    ASSERT_EQ(FT_New_Face(library, face.path.c_str(), face.index, &opened), 0) << face.path;
    EXPECT_NE(FT_Get_Char_Index(opened, row.codePoint), 0u) << face.path << " #" << face.index;
    EXPECT_EQ((opened->style_flags & FT_STYLE_FLAG_BOLD) != 0, row.bold) << face.path << " #" << face.index;
    FT_Done_Face(opened);
  }
  FT_Done_FreeType(library);
}

}  // namespace
