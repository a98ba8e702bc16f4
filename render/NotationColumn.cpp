// SPDX-License-Identifier: GPL-3.0-or-later
// The notation column of a sung character: its notes one after another
// along a slanted (or upright) axis, the beat marks beside the notes they
// follow, waist marks lower between notes.
#include "render/GenerateSVG.h"

#include "document/GongcheSymbols.h"
#include "render/ExportConfig.h"
#include "render/LayoutCells.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace LayoutCells;

namespace {

PlacedItem::Role roleOf(char32_t code)
{
    switch (Gongche::colorClass(code)) {
    case Gongche::ColorClass::Ban:
        return PlacedItem::Ban;
    case Gongche::ColorClass::XiaoYan:
        return PlacedItem::XiaoYan;
    case Gongche::ColorClass::ZhongYan:
        return PlacedItem::ZhongYan;
    case Gongche::ColorClass::Ornament:
        return PlacedItem::Ornament;
    case Gongche::ColorClass::Pitch:
    default:
        return PlacedItem::Note;
    }
}

} // namespace

GenerateSVG::NotationColumn GenerateSVG::placeScore(const QString &score) const
{
    NotationColumn column;
    if (score.isEmpty())
        return column;
    const Measures lyric = measures(LyricSlot);
    const int scoreAverage = measures(ScoreSlot).averageWidth;
    const int scoreSpace = bounded(m_settings.scoreSpace());
    const int banYanSpace = bounded(m_settings.banYanSpace());
    const int scoreBanYanSpace = bounded(m_settings.scoreBanYanSpace());
    // The column starts at the right edge of the character, three fifths
    // of a line below its top.
    const QPointF start(lyric.averageWidth + bounded(m_settings.lyricScoreSpace()),
                        lyric.lineHeight * 3 / 5);

    // Along the column's own axis first; the rotation comes after.
    PageItems items;
    qreal y = 0;
    int markY = 0;
    bool prevBanyan = false;
    bool bottomBeatSeen = false;
    const QList<char32_t> codes = Gongche::symbolsOf(score);
    qsizetype position = 0;
    for (int k = 0; k < codes.size(); ++k) {
        const char32_t g = codes[k];
        const int length = g > 0xFFFF ? 2 : 1;
        const QString glyph = score.mid(position, length);
        const QSize size = cachedTight(ScoreSlot, g, glyph);
        const int w = size.width();
        const int h = size.height();
        QRectF cell;
        if (Gongche::isBanyanMark(g)) {
            int x = scoreAverage + scoreBanYanSpace;
            const int mh = int(h * 0.8);
            if (!Gongche::isWaistMark(g) || prevBanyan) {
                if (Gongche::isBottomBeat(g)) {
                    bottomBeatSeen = true;
                    x = scoreAverage / 2 + scoreBanYanSpace;
                    markY = qMax(markY, 0);
                }
            } else {
                markY += mh;
            }
            cell = QRectF(x, y + markY, w, mh);
            prevBanyan = true;
            markY += mh + banYanSpace;
        } else {
            if (markY >= -5) {
                // The marks of the note before reach down to where this
                // note would go.
                int d = qMax(markY, 0);
                const bool last = k + 1 == codes.size();
                if (position > 0 && !bottomBeatSeen && (last || Gongche::isBanyanMark(codes[k + 1])))
                    d = markY + 6;
                y += d;
            }
            cell = Gongche::isSmallGlyph(g) ? QRectF(scoreAverage / 5, y, w, h)
                                            : QRectF(0, y, scoreAverage, h);
            y += scoreSpace + h;
            prevBanyan = false;
            markY = -(scoreSpace + h);
        }
        PlacedItem item;
        item.role = roleOf(g);
        item.flags = Qt::AlignCenter;
        item.origin = start;
        item.cell = cell;
        item.ink = inkIn(ScoreSlot, cell, Qt::AlignCenter, glyph);
        item.text = glyph;
        items.append(item);
        position += length;
    }

    const auto setAt = [&](int angle) {
        column.items = items;
        column.angle = angle;
        column.foot = std::numeric_limits<qreal>::lowest();
        column.right = std::numeric_limits<qreal>::lowest();
        for (PlacedItem &item : column.items) {
            item.angle = qint16(angle);
            const QRectF ink = item.pageInk();
            column.foot = std::max(column.foot, ink.bottom());
            column.right = std::max(column.right, ink.right());
        }
    };
    const int chosen = m_settings.scoreAngle() % 360;
    setAt(chosen);
    // A column slanting to the right must stay clear of the next column
    // there: a long melisma is set as steeply as that needs, never over
    // the neighbour's characters.
    // The neighbour's characters and headings are centred on cells
    // narrower than their glyphs: a full-width glyph's box starts left of
    // the column's edge.
    qreal overhang = 0;
    for (const FontSlot slot : {LyricSlot, QuPaiSlot})
        overhang = std::min(overhang, (measures(slot).averageWidth
                                       - metrics(slot).horizontalAdvance(QChar(0x4E2D))) / 2);
    const qreal room = effectiveColWidth() + overhang - 2;
    if (column.right > room && chosen < 0 && chosen >= -90) {
        int fit = 0, miss = chosen; // steepest that fits, flattest that does not
        setAt(0);
        if (column.right > room) {
            column.fits = false;
        } else {
            while (fit - miss > 1) {
                const int mid = (fit + miss) / 2;
                setAt(mid);
                (column.right > room ? miss : fit) = mid;
            }
            setAt(fit);
        }
        column.steepened = true;
    }
    return column;
}

int GenerateSVG::measureScore(const QString &score) const
{
    const NotationColumn column = placeScore(score);
    if (column.items.isEmpty())
        return 0;
    return int(qBound<qreal>(-4.0 * LengthLimit, std::ceil(column.foot), 4.0 * LengthLimit));
}

void GenerateSVG::drawScore(const QString &score)
{
    NotationColumn column = placeScore(score);
    const QPointF at = contentOrigin() + QPointF(m_cursorX, m_cursorY);
    for (PlacedItem &item : column.items) {
        item.origin += at;
        item.line = m_line;
        item.character = m_character;
    }
    place(column.items);
}
