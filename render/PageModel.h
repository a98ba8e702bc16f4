// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPolygonF>
#include <QRectF>
#include <QString>

class ExportSettings;
class QPainter;

// What a laid-out page is made of: every glyph the layout placed, with
// where it stands and what it belongs to. The layout computes these; the
// page pictures, every writer, and the checks read them.
struct PlacedItem
{
    // What the glyph is, which decides its font and colour.
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
    };

    Role role = Lyric;
    // Qt alignment of text in cell.
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

    bool isNotation() const { return role >= Note; }
    // The ink as it stands on the page: a rotated rectangle, and its
    // axis-aligned bounds.
    QPolygonF inkPolygon() const;
    QRectF pageInk() const;
};

using PageItems = QList<PlacedItem>;

namespace PageModel {

// Paints items in page units with the fonts and colours of config.
void paint(QPainter *painter, const PageItems &items, const ExportSettings &config);

// Whether the ink of a and b overlaps by more than tolerance (page units)
// in depth: the rotated rectangles, not their bounds.
bool overlaps(const PlacedItem &a, const PlacedItem &b, qreal tolerance = 0);

// How far b must move down for its ink to clear a's (0 when it does not
// meet it), by the rotated rectangles.
qreal clearanceBelow(const PlacedItem &a, const PlacedItem &b);

} // namespace PageModel
