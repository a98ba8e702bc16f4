// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/PageModel.h"

#include "render/ExportConfig.h"

#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

using Quad = std::array<QPointF, 4>;

QTransform frameOf(const PlacedItem &item)
{
    QTransform t;
    t.translate(item.origin.x(), item.origin.y());
    if (item.angle != 0)
        t.rotate(item.angle);
    return t;
}

// The ink's corners on the page, without allocating: this runs for every
// pair of glyphs the layout compares.
Quad quadOf(const PlacedItem &item)
{
    const QRectF &r = item.ink;
    const QPointF corners[4] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
    Quad q;
    if (item.angle == 0) {
        for (int i = 0; i < 4; ++i)
            q[i] = corners[i] + item.origin;
        return q;
    }
    // Columns of one page share an angle or two.
    thread_local int lastAngle = 0;
    thread_local qreal c = 1, s = 0;
    if (item.angle != lastAngle) {
        const qreal a = qDegreesToRadians(qreal(item.angle));
        c = std::cos(a);
        s = std::sin(a);
        lastAngle = item.angle;
    }
    for (int i = 0; i < 4; ++i)
        q[i] = QPointF(item.origin.x() + corners[i].x() * c - corners[i].y() * s,
                       item.origin.y() + corners[i].x() * s + corners[i].y() * c);
    return q;
}

QRectF boundsOf(const Quad &q)
{
    qreal x0 = q[0].x(), x1 = x0, y0 = q[0].y(), y1 = y0;
    for (const QPointF &p : q) {
        x0 = std::min(x0, p.x());
        x1 = std::max(x1, p.x());
        y0 = std::min(y0, p.y());
        y1 = std::max(y1, p.y());
    }
    return QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

struct Span
{
    qreal low = 0, high = 0;
};

Span project(const Quad &p, const QPointF &axis)
{
    Span s{std::numeric_limits<qreal>::max(), std::numeric_limits<qreal>::lowest()};
    for (const QPointF &v : p) {
        const qreal d = v.x() * axis.x() + v.y() * axis.y();
        s.low = std::min(s.low, d);
        s.high = std::max(s.high, d);
    }
    return s;
}

// The normals of two rotated rectangles' edges: two each (opposite edges
// are parallel).
int axesOf(const Quad &a, const Quad &b, QPointF axes[4])
{
    int n = 0;
    for (const Quad *p : {&a, &b}) {
        for (int i = 0; i < 2; ++i) {
            const QPointF e = (*p)[i + 1] - (*p)[i];
            const qreal len = std::hypot(e.x(), e.y());
            if (len > 0)
                axes[n++] = QPointF(-e.y() / len, e.x() / len);
        }
    }
    return n;
}

} // namespace

QPolygonF PlacedItem::inkPolygon() const
{
    const Quad q = quadOf(*this);
    return QPolygonF{q[0], q[1], q[2], q[3]};
}

QRectF PlacedItem::pageInk() const
{
    if (angle == 0)
        return ink.translated(origin);
    return boundsOf(quadOf(*this));
}

namespace PageModel {

QFont fontOf(PlacedItem::Role role, const ExportSettings &config)
{
    const auto scaled = [](QFont font, int size) {
        font.setPixelSize(std::max(1, size));
        return font;
    };
    switch (role) {
    case PlacedItem::Title: return config.titleFont();
    case PlacedItem::QuPai: return config.quPaiFont();
    case PlacedItem::DiaoMing: return config.diaoMingFont();
    case PlacedItem::Lyric: return config.lyricFont();
    case PlacedItem::JiaBai: return config.jiaBaiFont();
    case PlacedItem::LianBai: return config.lianBaiFont();
    case PlacedItem::Note:
    case PlacedItem::Ban:
    case PlacedItem::XiaoYan:
    case PlacedItem::ZhongYan:
    case PlacedItem::Ornament: return config.scoreFont();
    case PlacedItem::JianpuSmallDigit:
        return scaled(config.jianpuFont(), qRound(config.jianpuFontSize() * 0.7));
    case PlacedItem::OrnamentName:
        return scaled(config.lyricFont(), qRound(config.jianpuFontSize() * 0.8));
    case PlacedItem::JianpuDigit:
    case PlacedItem::JianpuText:
    case PlacedItem::BanSign:
    case PlacedItem::XiaoYanSign:
    case PlacedItem::ZhongYanSign:
    case PlacedItem::Line: break;
    }
    return config.jianpuFont();
}

namespace {

QColor colorOf(PlacedItem::Role role, const ExportSettings &config)
{
    switch (role) {
    case PlacedItem::Title: return config.titleColor();
    case PlacedItem::QuPai: return config.quPaiColor();
    case PlacedItem::DiaoMing: return config.diaoMingColor();
    case PlacedItem::Lyric: return config.lyricColor();
    case PlacedItem::JiaBai: return config.jiaBaiColor();
    case PlacedItem::LianBai: return config.lianBaiColor();
    case PlacedItem::Ban:
    case PlacedItem::BanSign: return config.banColor();
    case PlacedItem::XiaoYan:
    case PlacedItem::XiaoYanSign: return config.xiaoYanColor();
    case PlacedItem::ZhongYan:
    case PlacedItem::ZhongYanSign: return config.zhongYanColor();
    case PlacedItem::Ornament:
    case PlacedItem::OrnamentName: return config.qiangGeColor();
    case PlacedItem::Note:
    case PlacedItem::JianpuDigit:
    case PlacedItem::JianpuSmallDigit:
    case PlacedItem::JianpuText:
    case PlacedItem::Line: break;
    }
    return config.scoreColor();
}

constexpr int RoleCount = PlacedItem::Line + 1;

// The font slot of a role: the gongche notation roles share one.
int fontSlot(PlacedItem::Role role)
{
    return role >= PlacedItem::Note && role <= PlacedItem::Ornament ? int(PlacedItem::Note) : int(role);
}

// A stroke of numbered notation, filled with the painter's brush.
void paintShape(QPainter *painter, const PlacedItem &item)
{
    const QRectF &r = item.cell;
    switch (item.shape) {
    case PlacedItem::Rule:
        painter->drawRect(r);
        break;
    case PlacedItem::Dot:
        painter->drawEllipse(r);
        break;
    case PlacedItem::Arc: {
        // A crescent: thick in the middle, pointed at the ends.
        const bool down = item.flags & PlacedItem::ArcDown;
        const qreal end = down ? r.top() : r.bottom();
        const qreal apex = down ? r.bottom() : r.top();
        const qreal thick = std::min<qreal>(r.height() * 0.35, 1.2) * (down ? -1 : 1);
        QPainterPath path(QPointF(r.left(), end));
        // Control points at twice the apex height put the curve's top on it.
        const qreal control = end + 2 * (apex - end);
        path.quadTo(QPointF(r.center().x(), control), QPointF(r.right(), end));
        path.quadTo(QPointF(r.center().x(), control + 2 * thick), QPointF(r.left(), end));
        painter->drawPath(path);
        break;
    }
    case PlacedItem::Glyph:
        break;
    }
}

} // namespace

void paint(QPainter *painter, const PageItems &items, const ExportSettings &config)
{
    if (!painter || !painter->isActive())
        return;
    QFont fonts[RoleCount];
    QColor colors[RoleCount];
    for (int r = 0; r < RoleCount; ++r) {
        if (fontSlot(PlacedItem::Role(r)) == r)
            fonts[r] = fontOf(PlacedItem::Role(r), config);
        colors[r] = colorOf(PlacedItem::Role(r), config);
    }
    const QTransform base = painter->transform();
    // The state as a page recording keeps it: every change of font, pen or
    // transform is written out whole, so a notation column is painted
    // inside a saved state, as the text around it needs none of its
    // changes undone.
    struct State
    {
        int font = -1;
        int color = -1;
        int brush = -1; // the role whose colour fills strokes; pen off
        QPointF origin;
        bool framed = false;
    };
    State state, saved;
    bool inColumn = false;
    for (const PlacedItem &item : items) {
        const bool notation = item.isNotation();
        if (notation != inColumn) {
            if (notation) {
                painter->save();
                saved = state;
            } else {
                painter->restore();
                state = saved;
            }
            inColumn = notation;
        }
        const bool shape = item.shape != PlacedItem::Glyph;
        const int f = fontSlot(item.role);
        if (!shape && f != state.font) {
            painter->setFont(fonts[f]);
            state.font = f;
        }
        if (!shape && item.role != state.color) {
            painter->setPen(colors[item.role]);
            state.color = item.role;
        }
        if (item.angle != 0 || notation || !state.framed || item.origin != state.origin) {
            painter->setTransform(frameOf(item) * base);
            state.origin = item.origin;
            // A rotated frame is never shared.
            state.framed = item.angle == 0;
        }
        if (shape) {
            if (state.color != -1 || state.brush < 0) {
                painter->setPen(Qt::NoPen);
                state.color = -1;
            }
            if (item.role != state.brush) {
                painter->setBrush(colors[item.role]);
                state.brush = item.role;
            }
            paintShape(painter, item);
            continue;
        }
        // Cells come from average widths and may be narrower than a wide
        // glyph: never clip, the glyph is centred on its cell.
        painter->drawText(item.cell, item.flags | Qt::TextDontClip, item.text);
    }
    if (inColumn)
        painter->restore();
    if (state.brush >= 0)
        painter->setBrush(Qt::NoBrush);
    painter->setTransform(base);
}

bool overlaps(const PlacedItem &a, const PlacedItem &b, qreal tolerance)
{
    const Quad p = quadOf(a), q = quadOf(b);
    const QRectF pa = boundsOf(p), qa = boundsOf(q);
    if (std::min(pa.right(), qa.right()) - std::max(pa.left(), qa.left()) <= tolerance
        || std::min(pa.bottom(), qa.bottom()) - std::max(pa.top(), qa.top()) <= tolerance)
        return false;
    if (a.angle == 0 && b.angle == 0)
        return true;
    QPointF axes[4];
    const int n = axesOf(p, q, axes);
    for (int i = 0; i < n; ++i) {
        const Span s = project(p, axes[i]), t = project(q, axes[i]);
        if (std::min(s.high, t.high) - std::max(s.low, t.low) <= tolerance)
            return false;
    }
    return true;
}

qreal clearanceBelow(const PlacedItem &a, const PlacedItem &b)
{
    if (!overlaps(a, b))
        return 0;
    const Quad p = quadOf(a), q = quadOf(b);
    QPointF axes[4];
    const int n = axesOf(p, q, axes);
    qreal best = std::numeric_limits<qreal>::max();
    for (int i = 0; i < n; ++i) {
        QPointF axis = axes[i];
        // Moving b down by t moves its projection by t * axis.y.
        if (axis.y() < 0)
            axis = -axis;
        if (axis.y() < 1e-9)
            continue;
        const Span s = project(p, axis), t = project(q, axis);
        best = std::min(best, (s.high - t.low) / axis.y());
    }
    return best == std::numeric_limits<qreal>::max() ? 0 : std::max<qreal>(0, best);
}

} // namespace PageModel
