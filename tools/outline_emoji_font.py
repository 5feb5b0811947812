#!/usr/bin/python3
"""Writes the emoji font of the Windows tests: Noto Color Emoji's characters
and its substitutions (ZWJ sequences, flags, keycaps, skin tones, tag
sequences form one glyph, as in the emoji font of a Windows desktop) with
every colour bitmap replaced by a filled square outline, which a FreeType
without a PNG decoder draws. Glyphs without a bitmap (joiners, selectors,
tags) stay empty. The letter A is added, so that a test can see that the
emoji font is asked first even for a character every font has.

Usage: outline_emoji_font.py NotoColorEmoji.ttf OUT.ttf   (python3-fonttools)
"""
import sys

from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont, newTable


def square(size, top):
    pen = TTGlyphPen(None)
    low, high = size // 16, size * 15 // 16
    pen.moveTo((low, 0))
    pen.lineTo((low, top))
    pen.lineTo((high, top))
    pen.lineTo((high, 0))
    pen.closePath()
    return pen.glyph()


def main(source, out):
    font = TTFont(source)
    order = font.getGlyphOrder()
    pictured = set()
    for strike in font["CBDT"].strikeData:
        pictured.update(strike.keys())
    size = font["head"].unitsPerEm
    top = min(font["hhea"].ascent, size * 15 // 16)

    glyf = newTable("glyf")
    glyf.glyphOrder = order + ["A"]
    glyf.glyphs = {name: square(size, top) if name in pictured else TTGlyphPen(None).glyph()
                   for name in order}
    glyf.glyphs["A"] = square(size, top)
    font.setGlyphOrder(glyf.glyphOrder)
    font["glyf"] = glyf
    font["loca"] = newTable("loca")
    font["hmtx"].metrics["A"] = (size, size // 16)
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap[ord("A")] = "A"

    # TrueType outlines want the long form of maxp; its counts are worked
    # out again when the font is saved.
    maxp = font["maxp"]
    maxp.tableVersion = 0x00010000
    for field in ("maxPoints", "maxContours", "maxCompositePoints", "maxCompositeContours",
                  "maxTwilightPoints", "maxStorage", "maxFunctionDefs", "maxInstructionDefs",
                  "maxStackElements", "maxSizeOfInstructions", "maxComponentElements",
                  "maxComponentDepth"):
        setattr(maxp, field, 0)
    maxp.maxZones = 1
    font["head"].glyphDataFormat = 0
    font["post"].formatType = 3.0
    for tag in ("CBDT", "CBLC", "vhea", "vmtx"):
        if tag in font:
            del font[tag]
    for record in font["name"].names:
        if record.nameID in (1, 3, 4, 6, 16):
            record.string = "Orchard Test Emoji" if record.nameID != 6 else "OrchardTestEmoji"
    font.save(out)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
