#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the tiny TrueType fixtures the font tests install and delete.

Run with Debian's python3-fonttools:  /usr/bin/python3 make_test_fonts.py
The generated .ttf files are kept in the tree so the tests need no Python.
"""
import os

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

HERE = os.path.dirname(os.path.abspath(__file__))

# file name -> family the font declares
FONTS = {
    "kelvo_test_one.ttf": "KelvoTestOne",
    "kelvo_test_two.ttf": "KelvoTestTwo",
    # A second file claiming an already installed family.
    "kelvo_test_one_again.ttf": "KelvoTestOne",
    # A file claiming the embedded notation font's family.
    "kelvo_default_family.ttf": "Kelvo工尺谱字体",
}


def box(width, height):
    pen = TTGlyphPen(None)
    pen.moveTo((50, 0))
    pen.lineTo((50, height))
    pen.lineTo((width - 50, height))
    pen.lineTo((width - 50, 0))
    pen.closePath()
    return pen.glyph()


def build(path, family):
    fb = FontBuilder(1000, isTTF=True)
    glyphs = [".notdef", "space", "sym"]
    fb.setupGlyphOrder(glyphs)
    # One Latin letter and one notation code point, so the font is usable.
    fb.setupCharacterMap({0x20: "space", 0x41: "sym", 0xF0000: "sym"})
    fb.setupGlyf({".notdef": box(500, 700), "space": TTGlyphPen(None).glyph(), "sym": box(900, 800)})
    fb.setupHorizontalMetrics({".notdef": (500, 50), "space": (500, 0), "sym": (1000, 50)})
    fb.setupHorizontalHeader(ascent=880, descent=-120)
    fb.setupNameTable({
        "familyName": family,
        "styleName": "Regular",
        "uniqueFontIdentifier": family + " Regular test",
        "fullName": family + " Regular",
        "psName": "KelvoFixture-" + os.path.splitext(os.path.basename(path))[0],
        "version": "Version 1.000",
    })
    fb.setupOS2(sTypoAscender=880, sTypoDescender=-120, usWinAscent=880, usWinDescent=120)
    fb.setupPost()
    # Fixed timestamps keep regenerated files byte-identical.
    fb.font.recalcTimestamp = False
    fb.font["head"].created = fb.font["head"].modified = 3600 * 24 * 365 * 90
    fb.save(path)


def main():
    for name, family in FONTS.items():
        build(os.path.join(HERE, name), family)
        print("wrote", name, "->", family)


if __name__ == "__main__":
    main()
