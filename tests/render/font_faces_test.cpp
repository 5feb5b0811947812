// Which open face draws a character, from the test fonts
// (testing_support::useTestFonts), and that each file is opened once
// whoever asks. No display needed.
#include <gtest/gtest.h>

#include <string>

#include "render/font_faces.h"
#include "tests/support/support.h"

namespace {

TEST(FontFacesTest, TheFirstFontWhoseOwnMapHasTheCharacterDrawsIt) {
  std::string why;
  if (!testing_support::useTestFonts(why)) GTEST_SKIP() << why;
  struct Row {
    const char* what;
    char32_t c;
    bool emoji;
    const char* file;  // the end of its path; nullptr: no font
  };
  const Row rows[] = {
      {"the first font's letter", U'\u00E9', false, "/DejaVuSans-Bold.ttf"},
      {"a mark of the same font", U'\u0301', false, "/DejaVuSans-Bold.ttf"},
      {"claimed by the first font, drawn by a later one", testing_support::kClaimedButMissing, false,
       "/NotoSansCJK-Bold.ttc"},
      {"a script only a later font has", U'\u0915', false, "/NotoSansDevanagari-Bold.ttf"},
      {"an emoji", U'\U0001F600', true, "/NotoColorEmoji.ttf"},
      {"a character no font has", U'\U0010FFFD', false, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const int index = faceFor(row.c, row.emoji);
    if (row.file == nullptr) {
      EXPECT_EQ(index, -1);
      continue;
    }
    ASSERT_GE(index, 0);
    const OpenFace& open = faceAt(index);
    const std::string& path = open.file.path;
    const std::string file = row.file;
    EXPECT_TRUE(path.size() >= file.size() && path.compare(path.size() - file.size(), file.size(), file) == 0)
        << path;
    EXPECT_NE(FT_Get_Char_Index(open.face, row.c), 0u);
    EXPECT_EQ(openFace(open.file), index);  // the file is not opened again
    EXPECT_EQ(faceFor(row.c, row.emoji), index);
  }
}

}  // namespace
