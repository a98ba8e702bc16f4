// SPDX-License-Identifier: GPL-3.0-or-later
// The text columns of the page: the title, tune headings, sung lines with
// their notation, and spoken text.
#include "render/GenerateSVG.h"

#include "document/ScoreSyntax.h"
#include "render/ExportConfig.h"
#include "render/LayoutCells.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QtMath>

#include <algorithm>
#include <cmath>

using namespace LayoutCells;

// The cells of a text: one per grapheme cluster, the same steps the paired
// editor uses for a lyric line's score list, so a character made of a
// surrogate pair (or carrying a combining mark) is one cell and never two
// broken halves.
QList<QStringView> LayoutCells::cellsOf(QStringView text)
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

bool LayoutCells::isPunctuationCell(QStringView cell)
{
    return cell.size() == 1 && ScoreSyntax::isPunctuation(cell.front());
}

bool LayoutCells::passesLyricCellTest(QStringView cell)
{
    for (QChar c : cell)
        if (ScoreSyntax::isPairedCharacter(c))
            return true;
    return false;
}


QString LayoutCells::verticalCell(QStringView cell)
{
    if (cell.size() == 1)
        return QString(GenerateSVG::verticalForm(cell.front()));
    return cell.toString();
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


// ---- Title and heading --------------------------------------------------

void GenerateSVG::layoutTitle(const QString &text)
{
    const QString t = text.mid(1).trimmed();
    if (m_cursorY > 0)
        nextColumn(m_settings.titleWidth());
    if (m_truncated)
        return;
    const QList<QStringView> cells = cellsOf(t);
    const int lh = measures(TitleSlot).lineHeight;
    const int width = effectiveTitleWidth();
    const int contentHeight = contentSize().height();
    const qint64 length = qint64(lh) * cells.size();
    switch (m_settings.titlePos()) {
    case ExportConfig::TitleCentre:
        m_cursorY = int(qBound<qint64>(-LengthLimit, (contentHeight - length) / 2, qint64(LengthLimit)));
        break;
    case ExportConfig::TitleBottom:
        m_cursorY = int(qBound<qint64>(-LengthLimit, contentHeight - length, qint64(LengthLimit)));
        break;
    case ExportConfig::TitleTop:
        m_cursorY = 0;
        break;
    }
    for (int i = 0; i < cells.size(); ++i) {
        // No overflow test: a long title runs past the bottom, as on paper.
        if (m_cursorY < 4 * LengthLimit) {
            m_character = i;
            place(cellItem(PlacedItem::Title, TitleSlot, QRectF(m_cursorX, m_cursorY, width, lh),
                           Qt::AlignCenter, verticalCell(cells[i])),
                  false);
        }
        m_cursorY = qMin(m_cursorY + lh, 4 * LengthLimit);
    }
    m_character = -1;
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
    // The name's and the mode's extent as stacked (at least their cells').
    int heights[2] = {hName, hMode};

    const int contentHeight = contentSize().height();
    if (contentHeight < m_cursorY + hName || contentHeight < m_cursorY + hMode)
        nextColumn(0);
    if (m_truncated)
        return;

    const int nameWidth = measures(QuPaiSlot).averageWidth;
    const int modeWidth = measures(DiaoMingSlot).averageWidth;
    // The mode stands in its own cells beside the name: a heading font's
    // average width is narrower than its ideographs, so the cells alone
    // would let the two overlap. It keeps clear of the name's ink.
    const qreal gap = qMax(4, m_settings.diaoMingFontSize() / 6);
    auto build = [&](int x0, int y0) {
        PageItems items;
        int y = y0;
        qreal nameRight = std::numeric_limits<qreal>::lowest();
        // Each cell below the ink of the one above: a bracket's glyph
        // reaches past its short cell.
        const auto stack = [&items](PlacedItem item, int *y) {
            if (!items.isEmpty()) {
                const int dy = int(std::ceil(PageModel::clearanceBelow(items.last(), item)));
                item.origin.ry() += dy;
                *y += dy;
            }
            items.append(item);
        };
        for (int i = 0; i < nameTexts.size(); ++i) {
            m_character = i;
            stack(cellItem(PlacedItem::QuPai, QuPaiSlot, QRectF(x0, y, nameWidth, nameHeights[i]),
                           Qt::AlignCenter, nameTexts[i]),
                  &y);
            nameRight = std::max(nameRight, items.last().pageInk().right());
            y += nameHeights[i];
        }
        heights[0] = y - y0;
        const int d = hName - hMode;
        y = d >= 2 ? y0 + d / 2 : y0;
        const qsizetype first = items.size();
        qreal modeLeft = std::numeric_limits<qreal>::max();
        for (int i = 0; i < modeTexts.size(); ++i) {
            m_character = int(nameTexts.size()) + i;
            const PlacedItem cell = cellItem(PlacedItem::DiaoMing, DiaoMingSlot,
                                             QRectF(x0 + nameWidth + 10, y, modeWidth, modeHeights[i]),
                                             Qt::AlignCenter, modeTexts[i]);
            if (qsizetype(items.size()) > first) {
                stack(cell, &y);
            } else {
                items.append(cell);
            }
            modeLeft = std::min(modeLeft, items.last().pageInk().left());
            y += modeHeights[i];
        }
        heights[1] = y - y0;
        const qreal push = first > 0 && first < items.size() ? nameRight + gap - modeLeft : 0;
        if (push > 0)
            for (qsizetype i = first; i < items.size(); ++i)
                items[i].origin.rx() += std::ceil(push);
        m_character = -1;
        return items;
    };
    PageItems items = build(m_cursorX, m_cursorY);
    const int height = qMax(heights[0], heights[1]);
    // Below whatever notation reaches down from the line above.
    const int dy = settle(items);
    if (dy > 0) {
        if (contentHeight < m_cursorY + dy + height) {
            nextColumn(0);
            if (m_truncated)
                return;
            items = build(m_cursorX, m_cursorY);
        } else {
            m_cursorY += dy;
        }
    }
    const int y0 = m_cursorY;
    place(items);
    m_cursorY = y0 + height;
}

// ---- Lyric line ---------------------------------------------------------

void GenerateSVG::layoutLyricLine(const QString &text, const QStringList &scores)
{
    if (text.isEmpty())
        return;
    const QList<QStringView> cells = cellsOf(text);
    const Measures lyric = measures(LyricSlot);
    const bool hidden = m_settings.isHiddenSymbol();
    const bool scoreDecides = m_settings.isLineBreakScoreOverflow();
    const int lyricSpace = bounded(m_settings.lyricSpace());
    const int contentHeight = contentSize().height();
    // Punctuation may hang at a column's foot, into the margin but never
    // off the page.
    const int pageFoot = contentHeight + bounded(m_settings.marginBottom());
    const QPointF origin = contentOrigin();

    int lowest = m_cursorY;
    int previous = -1; // the last cell set
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
        // A sentence mark belongs to the character it ends: it hangs on it
        // and never has to keep clear of it.
        const int owner = sentence && previous >= 0 ? previous : i;
        previous = i;
        if (!sentence)
            m_cursorY = qBound(-8 * LengthLimit, m_cursorY + lyricSpace, 8 * LengthLimit);
        const QString score = scores.value(i);
        NotationColumn notes;
        if (!score.isEmpty() && passesLyricCellTest(cells[i]))
            notes = placeScore(score);
        const int s = notes.items.isEmpty() ? 0 : int(std::ceil(notes.foot));

        m_character = owner;
        const auto build = [&](int y) {
            PageItems items;
            if (sentence)
                items.append(cellItem(PlacedItem::Lyric, LyricSlot,
                                      QRectF(m_cursorX + lyric.averageWidth / 2, y, tight.width(), h),
                                      Qt::AlignBottom | Qt::AlignLeft, ch));
            else
                items.append(cellItem(PlacedItem::Lyric, LyricSlot,
                                      QRectF(m_cursorX, y, lyric.averageWidth, h), Qt::AlignCenter, ch));
            for (PlacedItem note : notes.items) {
                note.origin += origin + QPointF(m_cursorX, y);
                note.line = m_line;
                note.character = i;
                items.append(note);
            }
            return items;
        };
        const auto fits = [&](int y) {
            if (scoreDecides && contentHeight < y + s)
                return false;
            return contentHeight >= y + h || (sentence && y + h <= pageFoot);
        };

        // Room for the notes above: the column of a long melisma reaches at
        // most a quarter line past the top of the next character, and no
        // ink of one character meets another's. Short notation leaves every
        // character where it was.
        int y = m_cursorY;
        if (!sentence && m_columnHasNotation)
            y = std::max(y, int(std::ceil(m_columnNotationFoot - origin.y() - lyric.lineHeight / 4.0)));
        PageItems items = build(y);
        y += settle(items);
        if (!fits(y)) {
            nextColumn(0);
            lowest = m_cursorY;
            if (m_truncated)
                return;
            y = m_cursorY;
            items = build(y);
        }
        if (notes.steepened)
            ++m_steepened;
        if (!notes.fits)
            ++m_tooWide;
        m_cursorY = y;
        place(items);
        for (const PlacedItem &item : items) {
            if (item.isNotation()) {
                const qreal bottom = item.pageInk().bottom();
                m_columnNotationFoot = m_columnHasNotation ? std::max(m_columnNotationFoot, bottom) : bottom;
                m_columnHasNotation = true;
            }
        }
        lowest = qMax(lowest, m_cursorY + qMax(s, h));
        m_cursorY += h;
    }
    m_character = -1;
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
    const bool hidden = m_settings.isHiddenSymbol();
    const int contentHeight = contentSize().height();
    const int pageFoot = contentHeight + bounded(m_settings.marginBottom());
    m_cursorY += bounded(m_settings.lyricSpace());
    int previous = -1;
    for (int i = 0; i < cells.size(); ++i) {
        const QString ch = verticalCell(cells[i]);
        const bool punctuation = isPunctuationCell(ch);
        const bool sentence = punctuation && isSentencePunctuation(ch.front());
        int h = jiaBai.lineHeight;
        QSize box;
        if (punctuation) {
            if (hidden)
                continue;
            box = cachedBounding(JiaBaiSlot, ch.front().unicode(), ch);
            h = box.height();
        }
        m_character = sentence && previous >= 0 ? previous : i;
        previous = i;
        const auto build = [&](int y) {
            if (sentence)
                return cellItem(PlacedItem::JiaBai, JiaBaiSlot,
                                QRectF(m_cursorX + jiaBai.averageWidth / 2, y, box.width(), h),
                                Qt::AlignBottom | Qt::AlignLeft, ch);
            return cellItem(PlacedItem::JiaBai, JiaBaiSlot,
                            QRectF(m_cursorX, y, jiaBai.averageWidth, h), Qt::AlignCenter, ch);
        };
        PageItems items{build(m_cursorY)};
        m_cursorY += settle(items);
        // A sentence mark stays with the words it ends: it hangs at the
        // column's foot rather than heading the next column alone.
        if (contentHeight < m_cursorY + h && !(sentence && m_cursorY + h <= pageFoot))
            nextColumn(0);
        if (m_truncated)
            return;
        place(build(m_cursorY));
        m_cursorY += h;
    }
    m_character = -1;
}

GenerateSVG::LianBaiBalance GenerateSVG::balanceLianBai(const QString &text, int columns) const
{
    const QList<QStringView> cells = cellsOf(text);
    const bool hidden = m_settings.isHiddenSymbol();
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
    const bool hidden = m_settings.isHiddenSymbol();
    const int contentHeight = contentSize().height();
    const int pageFoot = contentHeight + bounded(m_settings.marginBottom());
    const int mColWidth = effectiveMColWidth();

    m_cursorY += bounded(m_settings.lyricSpace());
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
    int hanging = bottom; // the foot of punctuation hung below a sub-column
    m_cursorX += mColWidth * (n - 1);

    qsizetype offset = 0; // UTF-16 index of the current cell in t
    for (int i = 0; i < cells.size(); offset += cells[i].size(), ++i) {
        const QString ch = verticalCell(cells[i]);
        const bool punctuation = isPunctuationCell(ch);
        const bool sentence = punctuation && isSentencePunctuation(ch.front());
        int h = lianBai.lineHeight;
        QSize tight;
        if (punctuation) {
            if (hidden)
                continue;
            tight = cachedTight(LianBaiSlot, ch.front().unicode(), ch);
            h = tight.height();
        }
        // A sentence mark hangs below the sub-column it ends instead of
        // heading the next one, away from its words.
        const bool hangs = sentence && i > 0 && m_cursorY + h <= pageFoot;
        if (bottom < m_cursorY + h && !hangs) {
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
                hanging = bottom;
                m_cursorX += mColWidth * (n - 1);
            }
        }
        m_character = i;
        if (sentence)
            place(cellItem(PlacedItem::LianBai, LianBaiSlot,
                           QRectF(m_cursorX + mColWidth / 2, m_cursorY, tight.width(), h),
                           Qt::AlignBottom | Qt::AlignLeft, ch),
                  false);
        else
            place(cellItem(PlacedItem::LianBai, LianBaiSlot, QRectF(m_cursorX, m_cursorY, mColWidth, h),
                           Qt::AlignLeft | Qt::AlignVCenter, ch),
                  false);
        m_cursorY += h;
        hanging = std::max(hanging, m_cursorY);
    }
    m_character = -1;
    m_cursorX = left;
    m_cursorY = hanging;
}
