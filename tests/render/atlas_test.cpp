// The built-in atlas, checked on the data alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "render/text.h"
#include "tests/support/support.h"

namespace {

int inkAt(int code, int tx, int ty) { return testing_support::atlasInk(fontImage, code, tx, ty); }

struct Extent {
  int top = 16, bottom = -1, left = 16, right = -1;  // texels above the threshold
};

Extent inkExtent(int code, int threshold) {
  Extent e;
  for (int ty = 0; ty < 16; ++ty)
    for (int tx = 0; tx < 16; ++tx)
      if (inkAt(code, tx, ty) > threshold) {
        e.top = std::min(e.top, ty);
        e.bottom = std::max(e.bottom, ty);
        e.left = std::min(e.left, tx);
        e.right = std::max(e.right, tx);
      }
  return e;
}

TEST(Atlas, ColourChannelsAreWhiteEverywhere) {
  for (int i = 0; i < 256 * 256; ++i) {
    ASSERT_EQ(fontImage[i * 4 + 0], 255) << "texel " << i;
    ASSERT_EQ(fontImage[i * 4 + 1], 255) << "texel " << i;
    ASSERT_EQ(fontImage[i * 4 + 2], 255) << "texel " << i;
  }
}

TEST(Atlas, ExactlyTheTwelveListedCellsStayInvisible) {
  const std::set<int> empty = {5, 12, 22, 32, 132, 137, 138, 140, 157, 158, 159, 160};
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE(code);
    int most = 0;
    for (int ty = 0; ty < 16; ++ty)
      for (int tx = 0; tx < 16; ++tx) most = std::max(most, inkAt(code, tx, ty));
    if (empty.count(code))
      EXPECT_LE(most, 63);
    else
      EXPECT_GT(most, 63);
  }
}

// Linear filtering reads up to a cell's border, so ink on the outer ring
// would show at the edge of the neighbouring cell. Only the underscore may
// run to the edges, so that underscores join up.
TEST(Atlas, InkStaysOffTheOuterRingButForTheUnderscore) {
  for (int code = 0; code < 256; ++code) {
    if (code == '_') continue;
    SCOPED_TRACE(code);
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(inkAt(code, i, 0), 0) << "top, column " << i;
      EXPECT_EQ(inkAt(code, i, 15), 0) << "bottom, column " << i;
      EXPECT_EQ(inkAt(code, 0, i), 0) << "left, row " << i;
      EXPECT_EQ(inkAt(code, 15, i), 0) << "right, row " << i;
    }
  }
}

TEST(Atlas, UnderscoreIsAFullWidthBarOnRows12And13) {
  for (int ty = 0; ty < 16; ++ty)
    for (int tx = 0; tx < 16; ++tx) {
      SCOPED_TRACE(testing::Message() << tx << "," << ty);
      EXPECT_EQ(inkAt('_', tx, ty), (ty == 12 || ty == 13) ? 255 : 0);
    }
}

TEST(Atlas, LettersSitOnTheirRows) {
  struct Row {
    const char* letters;
    int top;     // first row with solid ink
    int bottom;  // last row with solid ink
  };
  // Solid: above half alpha. Round letters' overshoot stays fainter.
  const Row rows[] = {
      {"EFHIKLMNTXZ", 2, 13},  // flat capitals: rows 2-13 exactly
      {"xzvw", 5, 13},         // x-height from row 5
      {"gjpqy", -1, 14},       // descenders end at row 14
      {"aceos", 4, 13},        // round, may overshoot by a row upward
  };
  for (const Row& row : rows)
    for (const char* p = row.letters; *p; ++p) {
      SCOPED_TRACE(*p);
      const Extent e = inkExtent(static_cast<unsigned char>(*p), 127);
      if (row.top >= 0) {
        EXPECT_GE(e.top, row.top);
        EXPECT_LE(e.top, row.top + 1);
      }
      EXPECT_EQ(e.bottom, row.bottom);
    }
}

TEST(Atlas, CapitalsKeepToColumns2To14AndNothingPassesRow14) {
  // Visible ink: what the alpha test lets through.
  for (int code = 'A'; code <= 'Z'; ++code) {
    SCOPED_TRACE(static_cast<char>(code));
    const Extent e = inkExtent(code, 63);
    EXPECT_GE(e.left, 2);
    EXPECT_LE(e.right, 14);
    EXPECT_GE(e.top, 2);
  }
  for (int code = 32; code < 127; ++code) {
    SCOPED_TRACE(code);
    EXPECT_LE(inkExtent(code, 0).bottom, 14);
  }
}

TEST(Atlas, BlockyFaceStaysInItsAlphaBand) {
  for (int code = 144; code <= 223; ++code) {
    SCOPED_TRACE(code);
    for (int ty = 0; ty < 16; ++ty)
      for (int tx = 0; tx < 16; ++tx) {
        const int a = inkAt(code, tx, ty);
        if (a != 0) {
          EXPECT_GE(a, 130);
          EXPECT_LE(a, 165);
        }
      }
  }
}

TEST(Atlas, BlockyFaceIsMadeOf2x2Steps) {
  for (int code = 144; code <= 223; ++code) {
    SCOPED_TRACE(code);
    for (int ty = 0; ty < 16; ++ty)
      for (int tx = 0; tx < 16; ++tx) {
        if (inkAt(code, tx, ty) == 0) continue;
        // Every dot is a whole block starting at column 3 + 2n, row 1 + 2n.
        const int bx = tx - (tx - 3) % 2, by = ty - (ty - 1) % 2;
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) EXPECT_NE(inkAt(code, bx + dx, by + dy), 0);
      }
  }
}

TEST(Atlas, UpperHalfRepeatsItsMirrorCellsBesideTheSmallCapitals) {
  // 224 and 251-255 are the cells 128 below; 225-250 are the small
  // capitals, no copy of the lower-case letters, at full alpha, x-height
  // tall.
  const int copies[] = {224, 251, 252, 253, 254, 255};
  for (int code : copies) {
    SCOPED_TRACE(code);
    for (int ty = 0; ty < 16; ++ty)
      for (int tx = 0; tx < 16; ++tx) ASSERT_EQ(inkAt(code, tx, ty), inkAt(code - 128, tx, ty));
  }
  for (int code = 225; code <= 250; ++code) {
    SCOPED_TRACE(code);
    const Extent e = inkExtent(code, 127);
    EXPECT_GE(e.top, 5);
    EXPECT_LE(e.top, 6);
    EXPECT_GE(e.bottom, 12);
    EXPECT_LE(e.bottom, 14);
    EXPECT_EQ(inkExtent(code, 254).bottom >= 0, true) << "no full-alpha ink";
    bool same = true;
    for (int ty = 0; ty < 16 && same; ++ty)
      for (int tx = 0; tx < 16 && same; ++tx) same = inkAt(code, tx, ty) == inkAt(code - 128, tx, ty);
    EXPECT_FALSE(same);
  }
}

}  // namespace
