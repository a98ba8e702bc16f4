#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Builds tandelkx.ttf, the notation font of the gongche editor.

Every notation symbol is a private-use code point (U+F0000..U+F000D marks,
U+F0020..U+F009B pitch glyphs) that only this font draws. The outlines are
taken from AR PL UKai (a brush/kai font under the Arphic Public License) and
combined with fontTools pens: whole characters for the pitches, components
cut out of ready characters (the 亻 of 仩, the 彳 of 很) for the octave
forms, single strokes (丶 丿 ㇄ ...) for the marks.

Run with Debian's python3 and python3-fonttools:

    /usr/bin/python3 resources/fonts/generate_font.py [SOURCE.ttc] [OUT.ttf]

The output is deterministic (fixed timestamps), so re-running it gives the
same bytes; the .ttf is kept in the repository and building the program
needs no Python.
"""

import math
import os
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.misc.transform import Transform
from fontTools.pens.boundsPen import ControlBoundsPen
from fontTools.pens.recordingPen import DecomposingRecordingPen, RecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables._c_m_a_p import cmap_format_4, cmap_format_12

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = "/usr/share/fonts/truetype/arphic/ukai.ttc"
OUTPUT = os.path.join(HERE, "tandelkx.ttf")

UPM = 1024
ASCENT = 901   # 880/1000 of the em, as CJK ideographic fonts use
DESCENT = 123
CENTER_X = UPM / 2
CENTER_Y = 390  # centre of the ideographic em box of the source font
TIMESTAMP = 3786825600  # 2024-01-01 00:00:00 in seconds since 1904

FAMILY = "Kelvo工尺谱字体"
STYLE = "Regular"
PS_NAME = "KelvoGongche-Regular"
VERSION = "Version 1.000"
COPYRIGHT = (
    "Outlines derived from AR PL UKai CN, (c) Copyright 1994-1999 Arphic "
    "Technology Co., Ltd., with modifications (c) 2003-2007 Arne Goetje. "
    "Distributed under the Arphic Public License."
)
LICENSE = (
    "This font is distributed under the ARPHIC PUBLIC LICENSE; see "
    "LICENSE-ArphicPL.txt that accompanies it. It is a derivative of AR PL "
    "UKai CN; glyphs were combined and transformed for gongche notation."
)

PITCHES = "合四一上尺工凡六五乙"
# Within a pitch block: offsets 0-6 low, 7-16 middle, 17-23 high,
# 24-30 double high.
OCTAVE_PITCHES = [
    ("low", "合四一上尺工凡"),
    ("middle", "合四一上尺工凡六五乙"),
    ("high", "上尺工凡六五乙"),
    ("doublehigh", "上尺工凡六五乙"),
]
# Ready-made high-octave characters (亻 + pitch). ukai's 㐲 is drawn like
# 伏 rather than 亻 + 六, so 六 is composed like 凡.
HIGH_READY = {"上": "仩", "尺": "伬", "工": "仜", "五": "伍", "乙": "亿"}

SMALL_SCALE = 0.6


# ---------------------------------------------------------------- shapes

class Shape:
    """A list of closed contours, each the recorded pen calls of one
    contour, in font units."""

    def __init__(self, contours=None):
        self.contours = list(contours or [])

    def __add__(self, other):
        return Shape(self.contours + other.contours)

    def bounds(self):
        # The control box, as TrueType and FreeType measure glyphs.
        pen = ControlBoundsPen(None)
        self.draw(pen)
        return pen.bounds

    def draw(self, pen):
        for contour in self.contours:
            for op, args in contour:
                getattr(pen, op)(*args)

    def transform(self, t):
        rec = RecordingPen()
        self.draw(TransformPen(rec, t))
        return Shape(split_contours(rec.value))

    def subset(self, predicate):
        """Keeps the contours whose bounding box satisfies predicate."""
        keep = []
        for c in self.contours:
            s = Shape([c])
            if predicate(s.bounds()):
                keep.append(c)
        return Shape(keep)

    def width(self):
        b = self.bounds()
        return b[2] - b[0]

    def height(self):
        b = self.bounds()
        return b[3] - b[1]

    def center(self):
        b = self.bounds()
        return ((b[0] + b[2]) / 2, (b[1] + b[3]) / 2)

    def scaled(self, sx, sy=None, origin=None):
        sy = sx if sy is None else sy
        ox, oy = origin if origin else self.center()
        t = Transform().translate(ox, oy).scale(sx, sy).translate(-ox, -oy)
        return self.transform(t)

    def moved(self, dx, dy):
        return self.transform(Transform().translate(dx, dy))

    def centered_at(self, x, y):
        cx, cy = self.center()
        return self.moved(x - cx, y - cy)

    def fit(self, x0, y0, x1, y1):
        """Scaled uniformly to fit the box and centred in it."""
        s = min((x1 - x0) / self.width(), (y1 - y0) / self.height())
        return self.scaled(s).centered_at((x0 + x1) / 2, (y0 + y1) / 2)

    def rotated(self, degrees):
        cx, cy = self.center()
        t = (Transform().translate(cx, cy).rotate(math.radians(degrees))
             .translate(-cx, -cy))
        return self.transform(t)

    def embolden(self, dx, dy=None):
        """Moves every point outwards from the ink by dx horizontally and dy
        vertically (mitred at corners). With outer contours clockwise and
        holes counter-clockwise (the TrueType rule) the left normal of the
        direction of travel points away from the ink."""
        dy = dx if dy is None else dy
        # Some source outlines run the other way round; the sign of the
        # total area tells on which side the ink lies.
        area = 0.0
        for contour in self.contours:
            pts = [p for _, args in contour for p in args if p is not None]
            for i in range(len(pts)):
                (x0, y0), (x1, y1) = pts[i - 1], pts[i]
                area += x0 * y1 - x1 * y0
        if area > 0:
            dx, dy = -dx, -dy
        out = []
        for contour in self.contours:
            pts = [p for _, args in contour for p in args if p is not None]
            n = len(pts)
            moved = []
            for i, p in enumerate(pts):
                j = (i - 1) % n
                while pts[j] == p and j != i:
                    j = (j - 1) % n
                k = (i + 1) % n
                while pts[k] == p and k != i:
                    k = (k + 1) % n
                n1 = _left_normal(pts[j], p)
                n2 = _left_normal(p, pts[k])
                den = max(1 + n1[0] * n2[0] + n1[1] * n2[1], 0.35)
                vx = (n1[0] + n2[0]) / den
                vy = (n1[1] + n2[1]) / den
                moved.append((p[0] + vx * dx, p[1] + vy * dy))
            it = iter(moved)
            new = []
            for op, args in contour:
                new.append((op, tuple(None if a is None else next(it) for a in args)))
            out.append(new)
        return Shape(out)


def _left_normal(a, b):
    ex, ey = b[0] - a[0], b[1] - a[1]
    length = math.hypot(ex, ey) or 1.0
    return (-ey / length, ex / length)


def split_contours(value):
    contours, cur = [], []
    for op, args in value:
        cur.append((op, tuple(args)))
        if op in ("closePath", "endPath"):
            contours.append(cur)
            cur = []
    return contours


class Source:
    def __init__(self, path):
        self.font = TTFont(path, fontNumber=0)
        self.cmap = self.font.getBestCmap()
        self.glyphs = self.font.getGlyphSet()

    def shape(self, ch):
        name = self.cmap.get(ord(ch))
        if name is None:
            raise SystemExit("source font lacks %r (U+%04X)" % (ch, ord(ch)))
        pen = DecomposingRecordingPen(self.glyphs)
        self.glyphs[name].draw(pen)
        return Shape(split_contours(pen.value))


# ---------------------------------------------------------------- design

class Designer:
    def __init__(self, src):
        self.src = src
        # The 亻 of 仩 and the 彳 of 很 are already drawn narrow, matched in
        # weight to a right-hand component.
        self.ren = src.shape("仩").subset(lambda b: b[2] < 420)
        self.chi = src.shape("很").subset(lambda b: b[2] < 390)
        dot = src.shape("丶")
        # The breath tick: a brush dot leaning like a check mark.
        self.tick = dot.scaled(0.62).embolden(6)
        self.tail = src.shape("丿")

    # -- pitches

    def pitch(self, ch):
        """Middle octave: the character itself, evened out so all ten share
        one visual size (四 is drawn small in the source)."""
        s = self.src.shape(ch)
        w, h = s.width(), s.height()
        k = min(870 / w, 800 / h)
        k = max(0.9, min(k, 1.1))
        return s.scaled(k).centered_at(CENTER_X, CENTER_Y)

    def side_pitch(self, side, ch, left):
        """A narrow component on the left and the pitch compressed on the
        right, as in 仩."""
        p = self.src.shape(ch)
        w, h = p.width(), p.height()
        sx = 610 / w
        sy = min(700 / h, sx * 1.35)
        # Compressing thins the vertical strokes; give them back some width.
        p = p.scaled(sx, sy).embolden(7, 1)
        b = side.bounds()
        p = p.centered_at(left + 305, (b[1] + b[3]) / 2 + 10)
        return (side + p).centered_at(CENTER_X, CENTER_Y)

    def high(self, ch):
        if ch in HIGH_READY:
            s = self.src.shape(HIGH_READY[ch])
            return s.centered_at(CENTER_X, CENTER_Y)
        return self.side_pitch(self.ren, ch, self.ren.bounds()[2] - 50)

    def double_high(self, ch):
        return self.side_pitch(self.chi, ch, self.chi.bounds()[2] + 8)

    def low(self, ch):
        """The pitch lifted and reduced, with a 丿 tail hanging from its
        lower right, the way printed scores mark the lower octave."""
        p = self.pitch(ch)
        w, h = p.width(), p.height()
        k = min(1.0, 620 / h)
        p = p.scaled(min(1.0, k * 1.12), k)
        b = p.bounds()
        p = p.moved(CENTER_X - (b[0] + b[2]) / 2, CENTER_Y + 420 - b[3])
        b = p.bounds()
        tail = self.tail.scaled(0.5, 0.36).embolden(10)
        tb = tail.bounds()
        # The tail grows out of the bottom right of the character and sweeps
        # down to the left, below it.
        tail = tail.moved(b[0] + (b[2] - b[0]) * 0.80 - tb[2], b[1] + 30 - tb[3])
        return (p + tail).centered_at(CENTER_X, CENTER_Y)

    def breath(self, base):
        """The base made a little smaller and moved to the lower left, with
        the breath tick at the upper right."""
        b = base.bounds()
        k = 0.84
        s = base.scaled(k, k, origin=(b[0], b[1]))
        sb = s.bounds()
        s = s.moved(CENTER_X - 60 - (sb[0] + sb[2]) / 2, CENTER_Y - 55 - (sb[1] + sb[3]) / 2)
        sb = s.bounds()
        tb = self.tick.bounds()
        tick = self.tick.moved(max(sb[2] - 30, 830) - tb[0], ASCENT - 20 - tb[3])
        return (s + tick).centered_at(CENTER_X, CENTER_Y)

    @staticmethod
    def small(full):
        """About 60 % of the full-size design, centred, a little bolder so the
        strokes are not starved next to full-size notes."""
        return full.scaled(SMALL_SCALE).embolden(3).centered_at(CENTER_X, CENTER_Y)

    # -- marks

    def marks(self):
        src = self.src
        m = {}
        size = 540  # beat marks: about half the em

        dot = src.shape("丶").embolden(12)
        m[0xF0000] = dot.fit(0, 0, size, size)  # 头板: heavy dot stroke

        tri = src.shape("△")
        outer = tri.subset(lambda b: b[2] - b[0] > 800)
        inner = [c for c in tri.contours if c not in outer.contours]
        tri_ring = Shape(outer.contours)
        ob = tri_ring.bounds()
        ring_inner = Shape(inner).scaled(0.56, 0.52)
        small_eye = (tri_ring + ring_inner.centered_at(
            (ob[0] + ob[2]) / 2 + 10, ob[1] + (ob[3] - ob[1]) * 0.40))
        m[0xF0001] = small_eye.fit(0, 0, size * 0.9, size * 0.9)  # 头眼/末眼: small △

        circ = src.shape("○")
        c_outer = circ.subset(lambda b: b[2] - b[0] > 900)
        c_inner = Shape([c for c in circ.contours if c not in c_outer.contours])
        cb = c_outer.bounds()
        # Thick at the sides, thin at top and bottom, like a brushed ring.
        ring = c_outer + c_inner.scaled(0.70, 0.80).centered_at(
            (cb[0] + cb[2]) / 2 + 12, (cb[1] + cb[3]) / 2 + 6)
        m[0xF0002] = ring.fit(0, 0, size, size)  # 中眼: ○

        cross = src.shape("乂").embolden(22)
        m[0xF0003] = cross.fit(0, 0, size, size)  # 赠板: ×

        m[0xF0004] = src.shape("▲").fit(0, 0, size * 0.9, size * 0.9)  # 腰眼: ▲
        m[0xF0005] = src.shape("●").fit(0, 0, size, size)  # 腰中眼: ●

        bar = src.shape("一").scaled(1.0, 1.0).embolden(6, 22)
        m[0xF0006] = bar.fit(0, 0, size * 1.1, size)  # 腰板: heavy bar

        x2 = cross.fit(0, 120, size, size)
        xb = x2.bounds()
        under = bar.fit(0, 0, size * 0.95, size).centered_at((xb[0] + xb[2]) / 2, xb[1] - 90)
        m[0xF0007] = x2 + under  # 腰赠板: × over a bar

        rep = src.shape("ゝ").embolden(14)
        m[0xF0008] = rep.fit(0, 0, 560, 640)  # 疊腔: repeat tail
        m[0xF0009] = self.breath(m[0xF0008])  # 疊腔气口

        m[0xF000A] = src.shape("㇄").embolden(14).fit(0, 0, size, size)  # 底板: ∟ bracket

        m[0xF000B] = src.shape("ㄑ").embolden(8).fit(0, 0, 700, 720)  # 带腔撮腔

        # 豁腔 and 擻腔 are placed as small glyphs, so they are drawn small.
        m[0xF000C] = src.shape("ㄏ").embolden(16).fit(0, 0, 440, 460)
        wave = src.shape("～").rotated(90)
        # Stretched sideways so the wave stays visible at text sizes.
        wave = wave.scaled(200 / wave.width(), 480 / wave.height()).embolden(10, 6)
        m[0xF000D] = wave  # 擻腔: wavy line along the column

        return {cp: s.centered_at(CENTER_X, CENTER_Y) for cp, s in m.items()}

    def all_symbols(self):
        shapes = self.marks()
        full = {}
        for octave, chars in OCTAVE_PITCHES:
            for ch in chars:
                if octave == "middle":
                    full[(octave, ch)] = self.pitch(ch)
                elif octave == "low":
                    full[(octave, ch)] = self.low(ch)
                elif octave == "high":
                    full[(octave, ch)] = self.high(ch)
                else:
                    full[(octave, ch)] = self.double_high(ch)
        for block in range(4):
            cp = 0xF0020 + 31 * block
            for octave, chars in OCTAVE_PITCHES:
                for ch in chars:
                    s = full[(octave, ch)]
                    if block in (1, 3):
                        s = self.breath(s)
                    if block in (2, 3):
                        s = self.small(s)
                    shapes[cp] = s
                    cp += 1
        return shapes


# ---------------------------------------------------------------- font

def glyph_name(cp):
    return "u%04X" % cp


def tt_glyph(shape):
    pen = TTGlyphPen(None)
    shape.draw(pen)
    return pen.glyph()


def notdef():
    pen = TTGlyphPen(None)
    for x0, y0, x1, y1, cw in ((100, -60, 924, 820, True), (160, 0, 864, 760, False)):
        pts = [(x0, y0), (x0, y1), (x1, y1), (x1, y0)]
        if not cw:
            pts.reverse()
        pen.moveTo(pts[0])
        for p in pts[1:]:
            pen.lineTo(p)
        pen.closePath()
    return pen.glyph()


def build(source_path, out_path):
    designer = Designer(Source(source_path))
    shapes = designer.all_symbols()
    assert len(shapes) == 138, len(shapes)

    order = [".notdef", "space"] + [glyph_name(cp) for cp in sorted(shapes)]
    glyphs = {".notdef": notdef(), "space": TTGlyphPen(None).glyph()}
    metrics = {".notdef": (UPM, 100), "space": (UPM // 2, 0)}
    y_min, y_max = -DESCENT, ASCENT
    for cp, shape in shapes.items():
        g = tt_glyph(shape)
        name = glyph_name(cp)
        glyphs[name] = g
        x0, y0, x1, y1 = shape.bounds()
        metrics[name] = (UPM, int(round(x0)))
        y_min, y_max = min(y_min, y0), max(y_max, y1)

    fb = FontBuilder(UPM, isTTF=True)
    fb.font.recalcTimestamp = False
    fb.setupGlyphOrder(order)
    fb.setupGlyf(glyphs)
    # Left side bearings from the compiled (rounded) glyph boxes.
    glyf = fb.font["glyf"]
    hmtx = {}
    for name in order:
        g = glyf[name]
        g.recalcBounds(glyf)
        hmtx[name] = (metrics[name][0], getattr(g, "xMin", 0))
    fb.setupHorizontalMetrics(hmtx)
    fb.setupHorizontalHeader(ascent=ASCENT, descent=-DESCENT, lineGap=0)

    # cmap: format 4 for the BMP (only space) and format 12 for the notation
    # symbols in plane 15.
    mapping = {0x20: "space"}
    for cp in shapes:
        mapping[cp] = glyph_name(cp)
    cmap = newTable("cmap")
    cmap.tableVersion = 0
    sub4 = cmap_format_4(4)
    sub4.platformID, sub4.platEncID, sub4.language = 3, 1, 0
    sub4.cmap = {cp: n for cp, n in mapping.items() if cp <= 0xFFFF}
    sub12 = cmap_format_12(12)
    sub12.platformID, sub12.platEncID, sub12.language = 3, 10, 0
    sub12.format, sub12.reserved, sub12.length, sub12.nGroups = 12, 0, 0, 0
    sub12.cmap = dict(mapping)
    cmap.tables = [sub4, sub12]
    fb.font["cmap"] = cmap

    fb.setupNameTable(
        {
            "copyright": COPYRIGHT,
            "familyName": FAMILY,
            "styleName": STYLE,
            "uniqueFontIdentifier": "Kelvo Gongche Notation 1.000",
            "fullName": FAMILY,
            "version": VERSION,
            "psName": PS_NAME,
            "licenseDescription": LICENSE,
            "description": "Gongche (工尺谱) notation symbols for Kunqu scores, "
                           "drawn from AR PL UKai.",
        },
        mac=False,
    )
    fb.setupOS2(
        version=4,
        achVendID="KELV",
        usWeightClass=400,
        fsType=0,
        fsSelection=0x40,  # REGULAR
        sTypoAscender=ASCENT,
        sTypoDescender=-DESCENT,
        sTypoLineGap=0,
        usWinAscent=int(math.ceil(y_max)),
        usWinDescent=int(math.ceil(-y_min)),
        sxHeight=500,
        sCapHeight=700,
        # Basic Latin (space), non-plane-0, Private Use Area, plane 15.
        ulUnicodeRange1=1 << 0,
        ulUnicodeRange2=(1 << (57 - 32)) | (1 << (60 - 32)),
        ulUnicodeRange3=1 << (90 - 64),
        ulUnicodeRange4=0,
        ulCodePageRange1=(1 << 0) | (1 << 18),
        ulCodePageRange2=0,
        usDefaultChar=0,
        usBreakChar=0x20,
        usMaxContext=0,
    )
    fb.setupPost(keepGlyphNames=False)
    fb.setupHead(unitsPerEm=UPM, created=TIMESTAMP, modified=TIMESTAMP, fontRevision=1.0)
    fb.font["head"].created = TIMESTAMP
    fb.font["head"].modified = TIMESTAMP
    fb.setupMaxp()
    fb.font.save(out_path)
    print("wrote %s: %d glyphs, yMin %.0f yMax %.0f" % (out_path, len(order), y_min, y_max))


def main(argv):
    source = argv[1] if len(argv) > 1 else SOURCE
    out = argv[2] if len(argv) > 2 else OUTPUT
    build(source, out)


if __name__ == "__main__":
    main(sys.argv)
