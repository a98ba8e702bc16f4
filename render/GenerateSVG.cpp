// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/GenerateSVG.h"

#include "document/LineKind.h"
#include "render/ExportConfig.h"
#include "render/LayoutCells.h"

#include <QBuffer>
#include <QGlyphRun>
#include <QPagedPaintDevice>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QtMath>

#include <algorithm>
#include <iterator>
#include <cmath>
#include <optional>

using namespace LayoutCells;

namespace {

int boundedLength(qreal value)
{
    if (!(value == value)) // NaN
        return 0;
    return int(qBound<qreal>(0, value, LengthLimit));
}

const QString &exportTitleText()
{
    static const QString text = QStringLiteral("Kelvo工尺谱导出曲谱");
    return text;
}

const QRegularExpression &lyricCellPattern()
{
    static const QRegularExpression re(QStringLiteral("[一-龥 ]+"));
    return re;
}

QString concatenatedIdeographs(const QString &text)
{
    QString result;
    auto it = lyricCellPattern().globalMatch(text);
    while (it.hasNext())
        result += it.next().captured();
    return result;
}

} // namespace

GenerateSVG::GenerateSVG(ExportConfig *config, QObject *parent)
    : QObject(parent), m_config(config ? config : ExportConfig::instance()),
      m_settings(m_config->snapshot())
{
}

GenerateSVG::~GenerateSVG() = default;

// ---- Pages --------------------------------------------------------------

void GenerateSVG::clearPages()
{
    m_generating = false;
    m_pictures.clear();
    m_pageItems.clear();
    m_columnInk.clear();
    m_pageTitles.clear();
    m_svgPages.clear();
    m_svgValid = false;
    m_truncated = false;
    m_warnings.clear();
}

void GenerateSVG::adoptPages(const ExportSettings &settings, const QList<PageItems> &pages,
                             const QString &title, const QStringList &warnings)
{
    m_settings = settings;
    clearPages();
    const QSize page = m_settings.pageSizePoints();
    m_pageSize = QSize(qBound(1, page.width(), LengthLimit), qBound(1, page.height(), LengthLimit));
    m_title = title;
    const qsizetype count = std::clamp<qsizetype>(pages.size(), 1, maxPages());
    m_truncated = pages.size() > maxPages();
    for (qsizetype i = 0; i < count; ++i) {
        m_pageItems.append(i < pages.size() ? pages.at(i) : PageItems());
        m_pageTitles.append(i == 0 ? title : QString());
        finishPage();
    }
    m_warnings = warnings;
}

const QList<QByteArray> &GenerateSVG::pages() const
{
    if (m_svgValid)
        return m_svgPages;
    m_svgPages.clear();
    m_svgPages.reserve(m_pictures.size());
    const QSize size = m_pageSize;
    for (qsizetype i = 0; i < m_pictures.size(); ++i) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setResolution(72);
        if (i == 0) {
            generator.setTitle(exportTitleText());
            generator.setDescription(exportTitleText());
        }
        const QString pageTitle = m_pageTitles.value(i);
        if (!pageTitle.isEmpty())
            generator.setTitle(pageTitle);
        QPainter painter(&generator);
        paintPage(&painter, m_pictures.at(i));
        painter.end();
        buffer.close();
        m_svgPages.append(bytes);
    }
    m_svgValid = true;
    return m_svgPages;
}

void GenerateSVG::paintPage(QPainter *painter, const QPicture &page)
{
    if (!painter || !painter->isActive())
        return;
    // QPicture::play scales by device dpi / default dpi; undo that so the
    // recording lands in the painter's own units.
    const QPaintDevice *device = painter->device();
    const qreal dx = device && device->logicalDpiX() > 0 ? device->logicalDpiX() : 72;
    const qreal dy = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 72;
    painter->save();
    painter->scale(page.logicalDpiX() / dx, page.logicalDpiY() / dy);
    painter->drawPicture(0, 0, page);
    painter->restore();
}

void GenerateSVG::replayPages(QPainter *painter, QPagedPaintDevice *device,
                              const QList<int> &order)
{
    if (!painter || !painter->isActive() || !device)
        return;
    const QSize page = pageSize().isEmpty() ? config()->pageSizePoints() : pageSize();
    const int total = int(order.size());
    bool first = true;
    int done = 0;
    for (const int index : order) {
        if (index < 0 || index >= pageCount())
            continue;
        if (!first)
            device->newPage();
        first = false;
        // The device reports its paint rectangle in its own pixels; its size
        // may differ from the generated page (a fuzzy standard size, or
        // another paper chosen for printing), so fit and centre.
        const qreal w = device->width();
        const qreal h = device->height();
        const qreal sx = page.width() > 0 ? w / page.width() : 1;
        const qreal sy = page.height() > 0 ? h / page.height() : 1;
        const qreal scale = std::min(sx, sy);
        painter->save();
        painter->translate((w - page.width() * scale) / 2, (h - page.height() * scale) / 2);
        painter->scale(scale, scale);
        paintPage(painter, m_pictures.at(index));
        painter->restore();
        emit progressUpdate(ProgressStep, ++done, total, QString(), QString());
    }
}

QList<int> GenerateSVG::printOrder(int pageCount, const QPageRanges &ranges, int copies,
                                   bool collate)
{
    QList<int> selected;
    for (int page = 1; page <= pageCount; ++page) {
        if (ranges.isEmpty() || ranges.contains(page))
            selected << page - 1;
    }
    const int repeat = std::clamp(copies, 1, maxCopies());
    QList<int> order;
    order.reserve(selected.size() * repeat);
    if (collate) {
        for (int c = 0; c < repeat; ++c)
            order << selected;
    } else {
        for (const int index : selected)
            for (int c = 0; c < repeat; ++c)
                order << index;
    }
    return order;
}

QSize GenerateSVG::contentSize() const
{
    const QSize page = m_settings.pageSizePoints();
    const int w = qBound(1, page.width(), LengthLimit);
    const int h = qBound(1, page.height(), LengthLimit);
    return QSize(w - bounded(m_settings.marginLeft()) - bounded(m_settings.marginRight()),
                 h - bounded(m_settings.marginTop()) - bounded(m_settings.marginBottom()));
}

int GenerateSVG::effectiveColWidth() const
{
    return qBound(1, m_settings.colWidth(), LengthLimit);
}

int GenerateSVG::effectiveMColWidth() const
{
    return qBound(1, m_settings.mColWidth(), LengthLimit);
}

int GenerateSVG::effectiveTitleWidth() const
{
    const int w = m_settings.titleWidth();
    return w > 0 ? qMin(w, LengthLimit) : effectiveColWidth();
}

void GenerateSVG::beginPages()
{
    // The layout reads this copy until the next generation, so a setting
    // changed meanwhile (the dialog is live) never mixes into these pages.
    m_settings = m_config->snapshot();
    clearPages();
    resetCaches();
    const QSize page = m_settings.pageSizePoints();
    m_pageSize = QSize(qBound(1, page.width(), LengthLimit), qBound(1, page.height(), LengthLimit));
    m_cursorX = 0;
    m_cursorY = 0;
    m_scoreOverhang = 0;
    m_columnOnPage = false;
    m_steepened = 0;
    m_tooWide = 0;
    m_generating = true;
    newPage();
}

void GenerateSVG::endPages()
{
    if (m_generating)
        finishPage();
    m_generating = false;
    m_svgValid = false;
    const int colWidth = effectiveColWidth();
    if (m_steepened > 0)
        m_warnings << tr("栏宽 %1 容不下按 %2° 斜排的长腔：%3 个字的工尺已排得更陡，以免压到邻栏。")
                          .arg(colWidth)
                          .arg(m_settings.scoreAngle())
                          .arg(m_steepened);
    if (m_tooWide > 0)
        m_warnings << tr("栏宽 %1 太窄：%2 个字的工尺直排也超出本栏。").arg(colWidth).arg(m_tooWide);
}

void GenerateSVG::newPage()
{
    m_pageItems.append(PageItems());
    m_pageTitles.append(QString());
    m_cursorX = 0;
    m_cursorY = 0;
    m_columnOnPage = false;
    m_columnInk.clear();
    m_columnHasNotation = false;
}

void GenerateSVG::finishPage()
{
    // Painted once, from what the layout placed.
    QPicture picture;
    QPainter painter(&picture);
    if (!m_settings.isBgTransparent())
        painter.fillRect(QRect(QPoint(0, 0), m_pageSize), m_settings.backgroundColor());
    painter.setRenderHint(QPainter::Antialiasing, true);
    PageModel::paint(&painter, m_pageItems.last(), m_settings);
    painter.end();
    // The page, not the extent of what was drawn, is what every output shows.
    picture.setBoundingRect(QRect(QPoint(0, 0), m_pageSize));
    m_pictures.append(picture);
}

QPointF GenerateSVG::contentOrigin() const
{
    return QPointF(m_pageSize.width() - bounded(m_settings.marginRight()),
                   bounded(m_settings.marginTop()));
}

void GenerateSVG::nextColumn(int width)
{
    if (width <= 0)
        width = effectiveColWidth();
    width = qMin(width, LengthLimit);
    const bool firstOnPage = !m_columnOnPage;
    m_columnOnPage = true;
    m_cursorX -= width;
    m_cursorY = 0;
    m_columnInk.clear();
    m_columnHasNotation = false;
    const int contentWidth = contentSize().width();
    if (m_cursorX >= -contentWidth)
        return;
    if (firstOnPage) {
        // Wider than the content: it gets the page to itself, starting at
        // the content's left edge so that its text (drawn from the column's
        // left edge rightwards) stays on the page.
        m_cursorX = -qBound(0, contentWidth, width);
        return;
    }
    if (!m_generating) {
        // Outside a generation there is no page to move to; restart the row.
        m_columnOnPage = false;
        m_cursorX = 0;
        nextColumn(width);
        return;
    }
    if (m_pictures.size() + 1 >= m_pageLimit) {
        // A layout that can never fit would otherwise produce pages for as
        // long as there are characters; stop here and let generate() end.
        m_truncated = true;
        return;
    }
    finishPage();
    newPage();
    // A fresh page always takes the column (placed as the first one), so
    // every page holds at least one column and the layout moves on.
    nextColumn(width);
}

// ---- Generation ---------------------------------------------------------

void GenerateSVG::generate(const LayoutItems &items, bool previewOnly)
{
    const int m = previewOnly ? 0 : int(items.size());
    beginPages();
    if (previewOnly)
        emit progressUpdate(ProgressStart, 0, m, tr("生成预览"), tr("正在生成预览···"));
    else
        emit progressUpdate(ProgressStart, 0, m, tr("绘制曲谱"), tr("正在绘制曲谱···"));

    // A preview never needs more than two pages, even when one long item
    // would run on over many.
    m_pageLimit = previewOnly ? 2 : maxPages();

    const bool titleFirst = !items.isEmpty() && items.first().kind == LineKind::Title;
    nextColumn(titleFirst ? m_settings.titleWidth() : m_settings.colWidth());

    static const QRegularExpression quPaiName(QStringLiteral("【.+?】"));

    // None before the first item.
    std::optional<LineKind> prevKind;
    int processed = 0;
    for (int i = 0; i < items.size(); ++i) {
        if (previewOnly && m_pictures.size() + 1 > 1)
            break;
        if (m_truncated)
            break;
        const LayoutItem &item = items.at(i);
        m_line = i;
        m_character = -1;
        switch (item.kind) {
        case LineKind::Title:
            m_title = concatenatedIdeographs(item.text);
            m_pageTitles.last() = m_title;
            layoutTitle(item.text);
            break;
        case LineKind::JiaBai:
            layoutJiaBai(item.text);
            break;
        case LineKind::LianBai:
            if (prevKind == LineKind::Lyric)
                m_cursorY += m_scoreOverhang;
            layoutLianBai(item.text);
            break;
        case LineKind::QuPai:
            if (m_title.isEmpty()) {
                const QRegularExpressionMatch match = quPaiName.match(item.text);
                if (match.hasMatch()) {
                    m_title = concatenatedIdeographs(match.captured());
                    m_pageTitles.last() = m_title;
                }
            }
            layoutQuPaiHeading(item.text);
            break;
        case LineKind::LineBreak:
            nextColumn(m_settings.colWidth());
            break;
        case LineKind::PageBreak:
            if (m_pictures.size() + 1 >= m_pageLimit) {
                m_truncated = true;
                break;
            }
            finishPage();
            newPage();
            nextColumn(m_settings.colWidth());
            break;
        case LineKind::Lyric:
            layoutLyricLine(item.text, item.scores);
            break;
        default: // comments and anything else draw nothing
            break;
        }
        prevKind = item.kind;
        ++processed;
        emit progressUpdate(ProgressStep, i, m, QString(), QString());
    }

    m_line = -1;
    endPages();
    m_pageLimit = maxPages();
    emit progressUpdate(ProgressEnd, processed, m, QString(), QString());
}

// ---- Measures -----------------------------------------------------------

int GenerateSVG::lineHeight(const QFontMetricsF &fm)
{
    return boundedLength(qRound(fm.height()));
}

int GenerateSVG::averageWidth(const QFontMetricsF &fm)
{
    return boundedLength(qRound(fm.averageCharWidth()));
}

QSize GenerateSVG::tightSize(const QFontMetricsF &fm, const QString &text)
{
    const QRectF r = fm.tightBoundingRect(text);
    return QSize(boundedLength(qCeil(r.width())), boundedLength(qCeil(r.height())));
}

QSize GenerateSVG::boundingSize(const QFontMetricsF &fm, const QString &text)
{
    // A single character is measured by its glyph's ink box; the string
    // form would give a whole line height for a comma or a bracket.
    const QRectF r = text.size() == 1 ? fm.boundingRect(text.front()) : fm.boundingRect(text);
    return QSize(boundedLength(qCeil(r.width())), boundedLength(qCeil(r.height())));
}

void GenerateSVG::resetCaches()
{
    for (int i = 0; i < SlotCount; ++i) {
        m_tight[i].clear();
        m_bounding[i].clear();
        m_measuresValid[i] = false;
        // Outlines are kept while the font stays: the live preview lays
        // the same glyphs out again and again.
        const QString key = fontOf(FontSlot(i)).key();
        if (key != m_glyphFonts[i]) {
            m_glyphs[i].clear();
            m_glyphFonts[i] = key;
        }
    }
}

namespace {

// Each font slot's font and metrics in the settings, in slot order.
struct SlotFont
{
    QFont (ExportSettings::*font)() const;
    const QFontMetricsF &(ExportSettings::*metrics)() const;
};
const SlotFont SlotFonts[] = {
    {&ExportSettings::titleFont, &ExportSettings::titleFontMetrics},
    {&ExportSettings::lyricFont, &ExportSettings::lyricFontMetrics},
    {&ExportSettings::scoreFont, &ExportSettings::scoreFontMetrics},
    {&ExportSettings::quPaiFont, &ExportSettings::quPaiFontMetrics},
    {&ExportSettings::diaoMingFont, &ExportSettings::diaoMingFontMetrics},
    {&ExportSettings::lianBaiFont, &ExportSettings::lianBaiFontMetrics},
    {&ExportSettings::jiaBaiFont, &ExportSettings::jiaBaiFontMetrics},
};

} // namespace

const QFontMetricsF &GenerateSVG::metrics(FontSlot slot) const
{
    static_assert(std::size(SlotFonts) == SlotCount, "one row per font slot");
    return (m_settings.*SlotFonts[slot].metrics)();
}

QFont GenerateSVG::fontOf(FontSlot slot) const
{
    return (m_settings.*SlotFonts[slot].font)();
}

GenerateSVG::Measures GenerateSVG::measures(FontSlot slot) const
{
    if (m_measuresValid[slot])
        return m_measures[slot];
    const QFontMetricsF &fm = metrics(slot);
    m_measures[slot] = {lineHeight(fm), averageWidth(fm)};
    m_measuresValid[slot] = true;
    return m_measures[slot];
}

QSize GenerateSVG::cachedSize(QHash<char32_t, QSize> &cache, FontSlot slot, char32_t code,
                              const QString &text,
                              QSize (*measure)(const QFontMetricsF &, const QString &)) const
{
    if (code == 0)
        return measure(metrics(slot), text);
    const auto it = cache.constFind(code);
    if (it != cache.constEnd())
        return *it;
    return *cache.insert(code, measure(metrics(slot), text));
}

QSize GenerateSVG::cachedTight(FontSlot slot, char32_t code, const QString &text) const
{
    return cachedSize(m_tight[slot], slot, code, text, &GenerateSVG::tightSize);
}

QSize GenerateSVG::cachedBounding(FontSlot slot, char32_t code, const QString &text) const
{
    return cachedSize(m_bounding[slot], slot, code, text, &GenerateSVG::boundingSize);
}

GenerateSVG::Glyph GenerateSVG::glyphOf(FontSlot slot, const QString &text) const
{
    const char32_t code = text.size() == 1 ? text.front().unicode()
        : text.size() == 2 && text.front().isHighSurrogate()
            ? QChar::surrogateToUcs4(text.front(), text.back())
            : 0;
    if (code != 0) {
        const auto it = m_glyphs[slot].constFind(code);
        if (it != m_glyphs[slot].constEnd())
            return *it;
    }
    // Laid out as Qt's aligned drawing lays it out, with the font that
    // really draws each glyph (a fallback for a character the font lacks),
    // and the ink taken from the outlines: the metrics' tight boxes of
    // some CJK punctuation are several times the glyph.
    Glyph glyph;
    QTextLayout layout(text, fontOf(slot));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (line.isValid()) {
        glyph.advance = line.naturalTextWidth();
        glyph.height = line.ascent() + line.descent();
        QRectF ink;
        for (const QGlyphRun &run : layout.glyphRuns()) {
            const QRawFont raw = run.rawFont();
            const QList<quint32> indexes = run.glyphIndexes();
            const QList<QPointF> positions = run.positions();
            for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i)
                ink |= raw.pathForGlyph(indexes[i]).boundingRect().translated(positions[i]);
        }
        glyph.ink = ink;
    }
    if (code != 0)
        m_glyphs[slot].insert(code, glyph);
    return glyph;
}

QRectF GenerateSVG::inkIn(FontSlot slot, const QRectF &cell, int flags, const QString &text) const
{
    const Glyph glyph = glyphOf(slot, text);
    qreal x = cell.left();
    if (flags & Qt::AlignHCenter)
        x += (cell.width() - glyph.advance) / 2;
    else if (flags & Qt::AlignRight)
        x = cell.right() - glyph.advance;
    qreal top = cell.top();
    if (flags & Qt::AlignVCenter)
        top += (cell.height() - glyph.height) / 2;
    else if (flags & Qt::AlignBottom)
        top = cell.bottom() - glyph.height;
    return glyph.ink.translated(x, top);
}

PlacedItem GenerateSVG::cellItem(PlacedItem::Role role, FontSlot slot, const QRectF &rect,
                                 int flags, const QString &text) const
{
    PlacedItem item;
    item.role = role;
    item.flags = quint16(flags);
    item.line = m_line;
    item.character = m_character;
    item.origin = contentOrigin();
    item.cell = rect;
    item.ink = inkIn(slot, rect, flags, text);
    item.text = text;
    return item;
}

qreal GenerateSVG::clearanceInColumn(const PageItems &items) const
{
    qreal dy = 0;
    for (const PlacedItem &mine : items) {
        const QRectF bounds = mine.pageInk();
        for (const ColumnInk &other : m_columnInk)
            if (other.bounds.intersects(bounds)
                && (other.item.line != mine.line || other.item.character != mine.character))
                dy = std::max(dy, PageModel::clearanceBelow(other.item, mine));
    }
    return dy;
}

int GenerateSVG::settle(PageItems &items) const
{
    // Clearing one glyph may bring the items onto the next one further
    // down: move on until nothing is met.
    int total = 0;
    for (int round = 0; round < 64; ++round) {
        const int dy = int(std::ceil(clearanceInColumn(items)));
        if (dy <= 0)
            break;
        total += dy;
        shift(items, dy);
    }
    return total;
}

void GenerateSVG::shift(PageItems &items, qreal dy)
{
    for (PlacedItem &item : items)
        item.origin.ry() += dy;
}

void GenerateSVG::place(const PlacedItem &item, bool keepInColumn)
{
    if (!m_generating)
        return;
    m_pageItems.last().append(item);
    if (!keepInColumn)
        return;
    // Only ink that reaches below the cursor can meet what comes next;
    // beat marks beside a slanted column stand up to a line or two above
    // their character's top.
    const qreal cursor = contentOrigin().y() + m_cursorY - 2 * measures(LyricSlot).lineHeight;
    m_columnInk.removeIf([cursor](const ColumnInk &other) { return other.bounds.bottom() <= cursor; });
    m_columnInk.append({item, item.pageInk()});
}

void GenerateSVG::place(const PageItems &items, bool keepInColumn)
{
    for (const PlacedItem &item : items)
        place(item, keepInColumn);
}
