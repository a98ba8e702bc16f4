// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/GenerateSVG.h"

#include "document/GongcheSymbols.h"
#include "document/ScoreSyntax.h"
#include "render/ExportConfig.h"

#include <QBuffer>
#include <QPagedPaintDevice>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QTextBoundaryFinder>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

// Settings come from schemes that can hold any number. Every length the
// layout adds up is kept within this bound so that sums of a few of them
// never overflow an int; a page of 100,000 points is 35 metres wide.
constexpr int LengthLimit = 100000;

int bounded(int value)
{
    return qBound(-LengthLimit, value, LengthLimit);
}

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

// The cells of a text: one per grapheme cluster, the same steps the paired
// editor uses for a lyric line's score list, so a character made of a
// surrogate pair (or carrying a combining mark) is one cell and never two
// broken halves.
QList<QStringView> cellsOf(QStringView text)
{
    QList<QStringView> cells;
    cells.reserve(text.size());
    // Plain ideographs, Latin and punctuation are one cell each; anything
    // that might join with a neighbour goes through the boundary finder.
    bool simple = true;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool plain = (u >= 0x20 && u < 0x7F) || (u >= 0x4E00 && u <= 0x9FFF)
            || (u >= 0x3000 && u < 0x302A) || (u >= 0x3030 && u < 0x3040)
            || (u >= 0xFF00 && u < 0xFF60) || (u >= 0x2010 && u < 0x2060)
            || (u >= 0xFE10 && u < 0xFE20) || (u >= 0xFE30 && u < 0xFE50);
        if (!plain) {
            simple = false;
            break;
        }
    }
    if (simple) {
        for (qsizetype i = 0; i < text.size(); ++i)
            cells.append(text.mid(i, 1));
        return cells;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), int(text.size()));
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = finder.toNextBoundary();
        if (end <= start)
            end = text.size();
        cells.append(text.mid(start, end - start));
        start = end;
    }
    return cells;
}

bool isPunctuationCell(QStringView cell)
{
    return cell.size() == 1 && ScoreSyntax::isPunctuation(cell.front());
}

bool passesLyricCellTest(QStringView cell)
{
    for (QChar c : cell)
        if (ScoreSyntax::isPairedCharacter(c))
            return true;
    return false;
}

} // namespace

GenerateSVG::GenerateSVG(ExportConfig *config, QObject *parent)
    : QObject(parent), m_config(config ? config : ExportConfig::instance())
{
}

GenerateSVG::~GenerateSVG()
{
    if (m_painter.isActive())
        m_painter.end();
}

// ---- Pages --------------------------------------------------------------

void GenerateSVG::clearPages()
{
    if (m_painter.isActive())
        m_painter.end();
    m_current = QPicture();
    m_pictures.clear();
    m_pageTitles.clear();
    m_svgPages.clear();
    m_svgValid = false;
    m_truncated = false;
    m_warnings.clear();
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
        emit progressUpdate(1, ++done, total, QString(), QString());
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
    const QSize page = m_config->pageSizePoints();
    const int w = qBound(1, page.width(), LengthLimit);
    const int h = qBound(1, page.height(), LengthLimit);
    return QSize(w - bounded(m_config->marginLeft()) - bounded(m_config->marginRight()),
                 h - bounded(m_config->marginTop()) - bounded(m_config->marginBottom()));
}

int GenerateSVG::effectiveColWidth() const
{
    return qBound(1, m_config->colWidth(), LengthLimit);
}

int GenerateSVG::effectiveMColWidth() const
{
    return qBound(1, m_config->mColWidth(), LengthLimit);
}

int GenerateSVG::effectiveTitleWidth() const
{
    const int w = m_config->titleWidth();
    return w > 0 ? qMin(w, LengthLimit) : effectiveColWidth();
}

void GenerateSVG::beginPages()
{
    clearPages();
    resetCaches();
    const QSize page = m_config->pageSizePoints();
    m_pageSize = QSize(qBound(1, page.width(), LengthLimit), qBound(1, page.height(), LengthLimit));
    m_cursorX = 0;
    m_cursorY = 0;
    m_scoreOverhang = 0;
    m_columnOnPage = false;
    newPage();
}

void GenerateSVG::endPages()
{
    if (m_painter.isActive())
        finishPage();
    m_svgValid = false;
}

void GenerateSVG::newPage()
{
    m_current = QPicture();
    m_painter.begin(&m_current);
    m_pageTitles.append(QString());
    if (!m_config->isBgTransparent())
        m_painter.fillRect(QRect(QPoint(0, 0), m_pageSize), m_config->backgroundColor());
    m_painter.translate(m_pageSize.width() - bounded(m_config->marginRight()),
                        bounded(m_config->marginTop()));
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    m_cursorX = 0;
    m_cursorY = 0;
    m_columnOnPage = false;
}

void GenerateSVG::finishPage()
{
    m_painter.end();
    // The page, not the extent of what was drawn, is what every output shows.
    m_current.setBoundingRect(QRect(QPoint(0, 0), m_pageSize));
    m_pictures.append(m_current);
    m_current = QPicture();
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
    if (!m_painter.isActive()) {
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
    const QFont font = m_painter.font();
    const QPen pen = m_painter.pen();
    const QBrush brush = m_painter.brush();
    finishPage();
    newPage();
    // A fresh page always takes the column (placed as the first one), so
    // every page holds at least one column and the layout moves on.
    nextColumn(width);
    m_painter.setFont(font);
    m_painter.setPen(pen);
    m_painter.setBrush(brush);
}

// ---- Generation ---------------------------------------------------------

void GenerateSVG::generate(const LayoutItems &items, bool previewOnly)
{
    const int m = previewOnly ? 0 : int(items.size());
    if (previewOnly)
        emit progressUpdate(0, 0, m, tr("生成预览"), tr("正在生成预览···"));
    else
        emit progressUpdate(0, 0, m, tr("绘制曲谱"), tr("正在绘制曲谱···"));

    beginPages();
    // A preview never needs more than two pages, even when one long item
    // would run on over many.
    m_pageLimit = previewOnly ? 2 : maxPages();

    const bool titleFirst = !items.isEmpty() && items.first().kind == LineKind::Title;
    nextColumn(titleFirst ? m_config->titleWidth() : m_config->colWidth());

    static const QRegularExpression quPaiName(QStringLiteral("【.+?】"));

    int prevKind = 11;
    int processed = 0;
    for (int i = 0; i < items.size(); ++i) {
        if (previewOnly && m_pictures.size() + 1 > 1)
            break;
        if (m_truncated)
            break;
        const LayoutItem &item = items.at(i);
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
            nextColumn(m_config->colWidth());
            break;
        case LineKind::PageBreak:
            if (m_pictures.size() + 1 >= m_pageLimit) {
                m_truncated = true;
                break;
            }
            finishPage();
            newPage();
            nextColumn(m_config->colWidth());
            break;
        case LineKind::Lyric:
            layoutLyricLine(item.text, item.scores);
            break;
        default: // comments and anything else draw nothing
            break;
        }
        prevKind = item.kind;
        ++processed;
        emit progressUpdate(1, i, m, QString(), QString());
    }

    endPages();
    m_pageLimit = maxPages();
    emit progressUpdate(2, processed, m, QString(), QString());
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
    }
}

const QFontMetricsF &GenerateSVG::metrics(FontSlot slot) const
{
    switch (slot) {
    case TitleSlot:
        return m_config->titleFontMetrics();
    case LyricSlot:
        return m_config->lyricFontMetrics();
    case ScoreSlot:
        return m_config->scoreFontMetrics();
    case QuPaiSlot:
        return m_config->quPaiFontMetrics();
    case DiaoMingSlot:
        return m_config->diaoMingFontMetrics();
    case LianBaiSlot:
        return m_config->lianBaiFontMetrics();
    case JiaBaiSlot:
    default:
        return m_config->jiaBaiFontMetrics();
    }
}

// Caches are used only while a generation runs: between generations the
// settings may change under us.
GenerateSVG::Measures GenerateSVG::measures(FontSlot slot) const
{
    if (m_painter.isActive() && m_measuresValid[slot])
        return m_measures[slot];
    const QFontMetricsF &fm = metrics(slot);
    Measures result;
    result.lineHeight = lineHeight(fm);
    result.averageWidth = averageWidth(fm);
    if (m_painter.isActive()) {
        m_measures[slot] = result;
        m_measuresValid[slot] = true;
    }
    return result;
}

QSize GenerateSVG::cachedSize(QHash<char32_t, QSize> &cache, FontSlot slot, char32_t code,
                              const QString &text,
                              QSize (*measure)(const QFontMetricsF &, const QString &)) const
{
    // Sizes are cached per character only while a generation runs: the
    // settings may change between generations.
    const bool useCache = code != 0 && m_painter.isActive();
    if (useCache) {
        const auto it = cache.constFind(code);
        if (it != cache.constEnd())
            return *it;
    }
    const QSize size = measure(metrics(slot), text);
    if (useCache)
        cache.insert(code, size);
    return size;
}

QSize GenerateSVG::cachedTight(FontSlot slot, char32_t code, const QString &text) const
{
    return cachedSize(m_tight[slot], slot, code, text, &GenerateSVG::tightSize);
}

QSize GenerateSVG::cachedBounding(FontSlot slot, char32_t code, const QString &text) const
{
    return cachedSize(m_bounding[slot], slot, code, text, &GenerateSVG::boundingSize);
}

void GenerateSVG::drawCell(const QRectF &rect, int flags, const QString &text)
{
    // Cells are laid out from average widths and may be narrower than a
    // wide glyph: never clip, the glyph is centred on its cell.
    if (m_painter.isActive())
        m_painter.drawText(rect, flags | Qt::TextDontClip, text);
}

void GenerateSVG::usePen(const QColor &color)
{
    if (m_painter.isActive() && m_painter.pen().color() != color)
        m_painter.setPen(color);
}

// ---- Punctuation --------------------------------------------------------

QChar GenerateSVG::verticalForm(QChar ch)
{
    switch (ch.unicode()) {
    case u'（':
    case u'(':
        return QChar(0xFE35);
    case u'）':
    case u')':
        return QChar(0xFE36);
    case u'‘':
        return QChar(0xFE41);
    case u'’':
        return QChar(0xFE42);
    case u'“':
        return QChar(0xFE43);
    case u'”':
        return QChar(0xFE44);
    case u'《':
        return QChar(0xFE3D);
    case u'》':
        return QChar(0xFE3E);
    case u'【':
        return QChar(0xFE3B);
    case u'】':
        return QChar(0xFE3C);
    case u'［':
    case u'[':
        return QChar(0xFE39);
    case u'］':
    case u']':
        return QChar(0xFE3A);
    case u'—':
        return QChar(0xFF5C);
    default:
        return ch;
    }
}

bool GenerateSVG::isSentencePunctuation(QChar ch)
{
    switch (ch.unicode()) {
    case u'。':
    case u'，':
    case u',':
    case u'、':
    case u'；':
    case u';':
    case u'：':
    case u':':
    case u'？':
    case u'?':
    case u'！':
    case u'!':
        return true;
    default:
        return false;
    }
}

namespace {

// A cell's text with punctuation turned into its vertical form.
QString verticalCell(QStringView cell)
{
    if (cell.size() == 1)
        return QString(GenerateSVG::verticalForm(cell.front()));
    return cell.toString();
}

} // namespace

// ---- Title and heading --------------------------------------------------

void GenerateSVG::layoutTitle(const QString &text)
{
    const QString t = text.mid(1).trimmed();
    if (m_cursorY > 0)
        nextColumn(m_config->titleWidth());
    if (m_truncated)
        return;
    const QList<QStringView> cells = cellsOf(t);
    const int lh = measures(TitleSlot).lineHeight;
    const int width = effectiveTitleWidth();
    const int contentHeight = contentSize().height();
    const qint64 length = qint64(lh) * cells.size();
    switch (m_config->titlePos()) {
    case 1:
        m_cursorY = int(qBound<qint64>(-LengthLimit, (contentHeight - length) / 2, qint64(LengthLimit)));
        break;
    case 2:
        m_cursorY = int(qBound<qint64>(-LengthLimit, contentHeight - length, qint64(LengthLimit)));
        break;
    default:
        m_cursorY = 0;
        break;
    }
    if (m_painter.isActive()) {
        m_painter.setFont(m_config->titleFont());
        m_painter.setPen(m_config->titleColor());
    }
    for (QStringView cell : cells) {
        // No overflow test: a long title runs past the bottom, as on paper.
        if (m_cursorY < 4 * LengthLimit)
            drawCell(QRectF(m_cursorX, m_cursorY, width, lh), Qt::AlignCenter, verticalCell(cell));
        m_cursorY = qMin(m_cursorY + lh, 4 * LengthLimit);
    }
    m_cursorY = contentHeight;
}

void GenerateSVG::layoutQuPaiHeading(const QString &text)
{
    static const QRegularExpression namePattern(QStringLiteral("【.+?】"));
    static const QRegularExpression modePattern(QStringLiteral("[（(].+?[)）]"));
    const QList<QStringView> nameCells = cellsOf(namePattern.match(text).capturedView());
    const QList<QStringView> modeCells = cellsOf(modePattern.match(text).capturedView());

    auto heightsOf = [this](const QList<QStringView> &cells, FontSlot slot, QStringList *texts,
                            QList<int> *heights) {
        const int lh = measures(slot).lineHeight;
        int total = 0;
        for (QStringView cell : cells) {
            const QString v = verticalCell(cell);
            int h = lh;
            if (v.size() == 1 && ScoreSyntax::isPunctuation(v.front()))
                h = cachedBounding(slot, v.front().unicode(), v).height();
            texts->append(v);
            heights->append(h);
            total += h;
        }
        return total;
    };
    QStringList nameTexts, modeTexts;
    QList<int> nameHeights, modeHeights;
    const int hName = heightsOf(nameCells, QuPaiSlot, &nameTexts, &nameHeights);
    const int hMode = heightsOf(modeCells, DiaoMingSlot, &modeTexts, &modeHeights);

    const int contentHeight = contentSize().height();
    if (contentHeight < m_cursorY + hName || contentHeight < m_cursorY + hMode)
        nextColumn(0);
    if (m_truncated)
        return;

    const int y0 = m_cursorY;
    const int x0 = m_cursorX;
    const int nameWidth = measures(QuPaiSlot).averageWidth;
    if (m_painter.isActive()) {
        m_painter.setFont(m_config->quPaiFont());
        m_painter.setPen(m_config->quPaiColor());
    }
    for (int i = 0; i < nameTexts.size(); ++i) {
        drawCell(QRectF(m_cursorX, m_cursorY, nameWidth, nameHeights[i]), Qt::AlignCenter,
                 nameTexts[i]);
        m_cursorY += nameHeights[i];
    }

    const int d = hName - hMode;
    m_cursorY = d >= 2 ? y0 + d / 2 : y0;
    m_cursorX += nameWidth + 10;
    const int modeWidth = measures(DiaoMingSlot).averageWidth;
    if (m_painter.isActive()) {
        m_painter.setFont(m_config->diaoMingFont());
        m_painter.setPen(m_config->diaoMingColor());
    }
    for (int i = 0; i < modeTexts.size(); ++i) {
        drawCell(QRectF(m_cursorX, m_cursorY, modeWidth, modeHeights[i]), Qt::AlignCenter,
                 modeTexts[i]);
        m_cursorY += modeHeights[i];
    }

    m_cursorX = x0;
    m_cursorY = y0 + qMax(hName, hMode);
}

// ---- Lyric line ---------------------------------------------------------

void GenerateSVG::layoutLyricLine(const QString &text, const QStringList &scores)
{
    if (text.isEmpty())
        return;
    const QList<QStringView> cells = cellsOf(text);
    const Measures lyric = measures(LyricSlot);
    const bool hidden = m_config->isHiddenSymbol();
    const bool scoreDecides = m_config->isLineBreakScoreOverflow();
    const int lyricSpace = bounded(m_config->lyricSpace());
    const int contentHeight = contentSize().height();
    const QFont font = m_config->lyricFont();
    const QColor color = m_config->lyricColor();
    auto applyStyle = [&] {
        if (m_painter.isActive()) {
            m_painter.setFont(font);
            m_painter.setPen(color);
        }
    };
    applyStyle();

    int lowest = m_cursorY;
    for (int i = 0; i < cells.size(); ++i) {
        const QString ch = verticalCell(cells[i]);
        const bool punctuation = isPunctuationCell(ch);
        const bool sentence = punctuation && isSentencePunctuation(ch.front());
        int h = lyric.lineHeight;
        QSize tight;
        if (punctuation) {
            if (hidden)
                continue;
            tight = cachedTight(LyricSlot, ch.front().unicode(), ch);
            h = tight.height();
        }
        if (!sentence)
            m_cursorY = qBound(-8 * LengthLimit, m_cursorY + lyricSpace, 8 * LengthLimit);
        const QString score = scores.value(i);
        const int s = measureScore(score);
        if (scoreDecides && contentHeight < m_cursorY + s) {
            nextColumn(0);
            lowest = m_cursorY;
        } else if (contentHeight < m_cursorY + h) {
            nextColumn(0);
            lowest = m_cursorY;
        }
        if (m_truncated)
            return;
        if (sentence) {
            drawCell(QRectF(m_cursorX + lyric.averageWidth / 2, m_cursorY, tight.width(), h),
                     Qt::AlignBottom | Qt::AlignLeft, ch);
        } else {
            drawCell(QRectF(m_cursorX, m_cursorY, lyric.averageWidth, h), Qt::AlignCenter, ch);
        }
        if (!score.isEmpty() && passesLyricCellTest(cells[i])) {
            drawScore(score);
        }
        lowest = qMax(lowest, m_cursorY + qMax(s, h));
        m_cursorY += h;
    }
    m_scoreOverhang = lowest - m_cursorY;
}

// ---- Spoken text --------------------------------------------------------

void GenerateSVG::layoutJiaBai(const QString &text)
{
    const QString t = text.mid(1).trimmed();
    if (t.isEmpty())
        return;
    const QList<QStringView> cells = cellsOf(t);
    const Measures jiaBai = measures(JiaBaiSlot);
    const bool hidden = m_config->isHiddenSymbol();
    const int contentHeight = contentSize().height();
    m_cursorY += bounded(m_config->lyricSpace());
    if (m_painter.isActive()) {
        m_painter.setFont(m_config->jiaBaiFont());
        m_painter.setPen(m_config->jiaBaiColor());
    }
    for (QStringView cell : cells) {
        const QString ch = verticalCell(cell);
        const bool punctuation = isPunctuationCell(ch);
        int h = jiaBai.lineHeight;
        QSize box;
        if (punctuation) {
            if (hidden)
                continue;
            box = cachedBounding(JiaBaiSlot, ch.front().unicode(), ch);
            h = box.height();
        }
        if (contentHeight < m_cursorY + h)
            nextColumn(0);
        if (m_truncated)
            return;
        if (punctuation && isSentencePunctuation(ch.front()))
            drawCell(QRectF(m_cursorX + jiaBai.averageWidth / 2, m_cursorY, box.width(), h),
                     Qt::AlignBottom | Qt::AlignLeft, ch);
        else
            drawCell(QRectF(m_cursorX, m_cursorY, jiaBai.averageWidth, h), Qt::AlignCenter, ch);
        m_cursorY += h;
    }
}

GenerateSVG::LianBaiBalance GenerateSVG::balanceLianBai(const QString &text, int columns) const
{
    const QList<QStringView> cells = cellsOf(text);
    const bool hidden = m_config->isHiddenSymbol();
    const int lh = measures(LianBaiSlot).lineHeight;
    QList<int> heights;
    heights.reserve(cells.size());
    qint64 total = 0;
    for (QStringView cell : cells) {
        const QString ch = verticalCell(cell);
        int h = lh;
        if (isPunctuationCell(ch))
            h = hidden ? 0 : cachedTight(LianBaiSlot, ch.front().unicode(), ch).height();
        heights.append(h);
        total += h;
    }
    LianBaiBalance result;
    if (columns <= 1) {
        result.height = int(qMin<qint64>(total, 4 * LengthLimit));
        result.columns = 1;
        return result;
    }
    const qint64 target = total / columns;
    qint64 acc = 0, lastFull = 0, maxHeight = 0;
    int count = 0;
    for (int i = 0; i < cells.size(); ++i) {
        if (heights[i] == 0 && isPunctuationCell(cells[i]) && hidden)
            continue;
        acc += heights[i];
        if (acc >= target) {
            lastFull = acc;
            ++count;
            maxHeight = qMax(maxHeight, acc);
            acc = 0;
        }
    }
    if (maxHeight < lastFull + acc) {
        ++count;
        maxHeight = qMax(maxHeight, acc);
    }
    result.height = int(qMin<qint64>(maxHeight, 4 * LengthLimit));
    result.columns = qMax(1, qMin(count, columns));
    return result;
}

void GenerateSVG::layoutLianBai(const QString &text)
{
    const QString t = text.mid(1).trimmed();
    if (t.isEmpty())
        return;
    const QList<QStringView> cells = cellsOf(t);
    const Measures lianBai = measures(LianBaiSlot);
    const bool hidden = m_config->isHiddenSymbol();
    const int contentHeight = contentSize().height();
    const int mColWidth = effectiveMColWidth();

    m_cursorY += bounded(m_config->lyricSpace());
    if (contentHeight < m_cursorY + lianBai.lineHeight)
        nextColumn(0);
    if (m_truncated)
        return;

    const int perColumn = qMax(1, effectiveColWidth() / mColWidth);
    int n = int(qMin<qsizetype>(cells.size(), perColumn));
    LianBaiBalance balance = balanceLianBai(t, n);
    n = balance.columns;
    int top = m_cursorY;
    int left = m_cursorX;
    int bottom = qMin(contentHeight, top + balance.height);
    m_cursorX += mColWidth * (n - 1);

    if (m_painter.isActive()) {
        m_painter.setFont(m_config->lianBaiFont());
        m_painter.setPen(m_config->lianBaiColor());
    }
    qsizetype offset = 0; // UTF-16 index of the current cell in t
    for (int i = 0; i < cells.size(); offset += cells[i].size(), ++i) {
        const QString ch = verticalCell(cells[i]);
        const bool punctuation = isPunctuationCell(ch);
        int h = lianBai.lineHeight;
        QSize tight;
        if (punctuation) {
            if (hidden)
                continue;
            tight = cachedTight(LianBaiSlot, ch.front().unicode(), ch);
            h = tight.height();
        }
        if (bottom < m_cursorY + h) {
            m_cursorX -= mColWidth;
            m_cursorY = top;
            if (m_cursorX < left) {
                m_cursorX = left;
                nextColumn(0);
                if (m_truncated)
                    return;
                top = m_cursorY;
                left = m_cursorX;
                const QString rest = t.mid(offset);
                n = int(qMin<qsizetype>(cells.size() - i, perColumn));
                balance = balanceLianBai(rest, n);
                n = balance.columns;
                bottom = qMin(contentHeight, top + balance.height);
                m_cursorX += mColWidth * (n - 1);
            }
        }
        if (punctuation && isSentencePunctuation(ch.front()))
            drawCell(QRectF(m_cursorX + mColWidth / 2, m_cursorY, tight.width(), h),
                     Qt::AlignBottom | Qt::AlignLeft, ch);
        else
            drawCell(QRectF(m_cursorX, m_cursorY, mColWidth, h), Qt::AlignLeft | Qt::AlignVCenter,
                     ch);
        m_cursorY += h;
    }
    m_cursorX = left;
    m_cursorY = bottom;
}

// ---- Notation column ----------------------------------------------------

int GenerateSVG::measureScore(const QString &score) const
{
    if (score.isEmpty())
        return 0;
    const int scoreSpace = bounded(m_config->scoreSpace());
    const int banYanSpace = bounded(m_config->banYanSpace());
    qint64 total = 0;
    qint64 c = 0;
    bool prevBanyan = false;
    Gongche::forEachSymbol(score, [&](const Gongche::SymbolStep &step) {
        const QString glyph = score.mid(step.position, step.length);
        int h = cachedTight(ScoreSlot, step.code, glyph).height();
        if (Gongche::isBanyanMark(step.code)) {
            h = int(h * 0.8);
            if (!Gongche::isWaistMark(step.code) || prevBanyan) {
                if (Gongche::isBottomBeat(step.code) && c < 0)
                    c = 0;
            } else {
                c += h;
            }
            c += banYanSpace + h;
            prevBanyan = true;
        } else {
            total += qMax<qint64>(0, c - banYanSpace) + scoreSpace + h;
            c = -(scoreSpace + h);
            prevBanyan = false;
        }
    });
    const qint64 b = total - scoreSpace;
    if (prevBanyan) {
        if (c < 1)
            total -= banYanSpace;
        else
            total += c - banYanSpace;
    }
    const double straight = double(qMax(total, b));
    const double extent = straight * std::cos(qDegreesToRadians(double(m_config->scoreAngle())));
    const int lineOffset = measures(LyricSlot).lineHeight * 3 / 5;
    return int(qBound<double>(-4.0 * LengthLimit, extent, 4.0 * LengthLimit)) + lineOffset;
}

void GenerateSVG::drawScore(const QString &score)
{
    if (score.isEmpty() || !m_painter.isActive())
        return;
    const Measures lyric = measures(LyricSlot);
    const int scoreAverage = measures(ScoreSlot).averageWidth;
    const int scoreSpace = bounded(m_config->scoreSpace());
    const int banYanSpace = bounded(m_config->banYanSpace());
    const int scoreBanYanSpace = bounded(m_config->scoreBanYanSpace());
    const QColor colors[] = {m_config->banColor(), m_config->xiaoYanColor(),
                             m_config->zhongYanColor(), m_config->qiangGeColor(),
                             m_config->scoreColor()};

    m_painter.save();
    m_painter.setFont(m_config->scoreFont());
    m_painter.translate(m_cursorX + lyric.averageWidth + bounded(m_config->lyricScoreSpace()),
                        m_cursorY + lyric.lineHeight * 3 / 5);
    m_painter.rotate(m_config->scoreAngle() % 360);

    int markY = 0;
    bool prevBanyan = false;
    bool bottomBeatSeen = false;
    const QList<char32_t> codes = Gongche::symbolsOf(score);
    qsizetype position = 0;
    for (int k = 0; k < codes.size(); ++k) {
        const char32_t g = codes[k];
        const int length = g > 0xFFFF ? 2 : 1;
        const QString glyph = score.mid(position, length);
        usePen(colors[int(Gongche::colorClass(g))]);
        const QSize size = cachedTight(ScoreSlot, g, glyph);
        const int w = size.width();
        const int h = size.height();
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
            m_painter.drawText(QRectF(x, markY, w, mh), Qt::AlignCenter | Qt::TextDontClip, glyph);
            prevBanyan = true;
            markY += mh + banYanSpace;
        } else {
            if (markY >= -5) {
                int d = qMax(markY, 0);
                const bool last = k + 1 == codes.size();
                if (position > 0 && !bottomBeatSeen
                    && (last || Gongche::isBanyanMark(codes[k + 1])))
                    d = markY + 6;
                m_painter.translate(0, d);
            }
            if (Gongche::isSmallGlyph(g))
                m_painter.drawText(QRectF(scoreAverage / 5, 0, w, h), Qt::AlignCenter | Qt::TextDontClip,
                                   glyph);
            else
                m_painter.drawText(QRectF(0, 0, scoreAverage, h), Qt::AlignCenter | Qt::TextDontClip,
                                   glyph);
            m_painter.translate(0, scoreSpace + h);
            prevBanyan = false;
            markY = -(scoreSpace + h);
        }
        position += length;
    }
    m_painter.restore();
}
