// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QList>
#include <QPolygonF>
#include <QRectF>
#include <QString>

class ExportSettings;
class QPainter;

// What a laid-out page is made of: every glyph and stroke the layout
// placed, with where it stands and what it belongs to. The layout computes
// these; the page pictures, every writer, and the checks read them.
struct PlacedItem
{
    // What the item is, which decides its font and colour. The roles from
    // JianpuDigit on belong to numbered notation (简谱) pages.
    enum Role : quint8 {
        Title,
        QuPai,    // a tune heading's name
        DiaoMing, // a tune heading's mode
        Lyric,    // a character (or punctuation) of a sung line
        JiaBai,
        LianBai,
        Note,     // a pitch glyph
        Ban,      // beat marks and ornaments, by their colour class
        XiaoYan,
        ZhongYan,
        Ornament,
        JianpuDigit,      // a note's digit (score colour, the digit font)
        JianpuSmallDigit, // the digit of a small note
        JianpuText,       // key, time signature, tempo, breath, page number
        BanSign,          // 板 ×
        XiaoYanSign,      // 眼 ○
        ZhongYanSign,     // 中眼 ○
        OrnamentName,     // 豁, 擻 … small above the note (lyric font)
        Line,             // strokes of the notation: see Shape (score colour)
    };
    // How the item is drawn: text, or a stroke filling its geometry.
    enum Shape : quint8 {
        Glyph, // text drawn into cell with flags
        Rule,  // a filled rectangle: cell (= ink)
        Dot,   // a filled disc in cell (= ink)
        Arc,   // a tie or slur: a crescent spanning cell, its ends at the
               // bottom corners (curving up), or at the top ones with ArcDown
    };
    static constexpr quint16 ArcDown = 1;

    Role role = Lyric;
    Shape shape = Glyph;
    // Glyph: Qt alignment of text in cell. Arc: ArcDown or 0.
    quint16 flags = 0;
    // Clockwise rotation in degrees of the frame cell lies in.
    qint16 angle = 0;
    // Which layout item (index in the generated list) and which cell of
    // its text the glyph belongs to; -1 when none. Notation carries the
    // cell of its character.
    int line = -1;
    int character = -1;
    // The frame: its origin in page units, rotated by angle.
    QPointF origin;
    // The rectangle the text is drawn into, and the ink of the glyph, both
    // in the frame.
    QRectF cell;
    QRectF ink;
    QString text;

    // A gongche notation column's glyph.
    bool isNotation() const { return role >= Note && role <= Ornament; }
    // The ink as it stands on the page: a rotated rectangle, and its
    // axis-aligned bounds.
    QPolygonF inkPolygon() const;
    QRectF pageInk() const;
};

using PageItems = QList<PlacedItem>;

namespace PageModel {

// The font a glyph of the role is drawn in, from config: the font every
// layout measures with.
QFont fontOf(PlacedItem::Role role, const ExportSettings &config);

// Paints items in page units with the fonts and colours of config.
void paint(QPainter *painter, const PageItems &items, const ExportSettings &config);

// Whether the ink of a and b overlaps by more than tolerance (page units)
// in depth: the rotated rectangles, not their bounds.
bool overlaps(const PlacedItem &a, const PlacedItem &b, qreal tolerance = 0);

// How far b must move down for its ink to clear a's (0 when it does not
// meet it), by the rotated rectangles.
qreal clearanceBelow(const PlacedItem &a, const PlacedItem &b);

} // namespace PageModel
