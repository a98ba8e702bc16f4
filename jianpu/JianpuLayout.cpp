// SPDX-License-Identifier: GPL-3.0-or-later
#include "jianpu/JianpuLayout.h"

#include "document/GongcheSymbols.h"
#include "document/ScoreSyntax.h"
#include "music/PitchTable.h"
#include "music/Reading.h"
#include "render/GenerateSVG.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QHash>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <map>

namespace Jianpu {

namespace {

constexpr int U = Music::UnitsPerBeat;

QString tr(const char *text)
{
    return QCoreApplication::translate("Jianpu", text);
}

// ---- Pieces -------------------------------------------------------------

QList<Piece> piecesIn(int onset, int length, bool rest)
{
    QList<Piece> out;
    int t = onset;
    const int end = onset + std::max(0, length);
    while (t < end) {
        const int beatEnd = (Music::floorDiv(t, U) + 1) * U;
        if (t % U == 0 && end - t >= U) {
            if (rest) {
                out.append({t, 0, false, 0});
                t += U;
            } else if (end - t == U + U / 2) {
                out.append({t, 0, true, 0});
                t = end;
            } else {
                const int beats = (end - t) / U;
                out.append({t, 0, false, beats - 1});
                t += beats * U;
            }
            continue;
        }
        const int span = std::min(end, beatEnd) - t;
        int k = 1;
        while (k < 5 && (U >> k) > span)
            ++k;
        const int v = U >> k;
        if (span % 3 != 0 || v > span) {
            // Off the grid of 32nds: the nearest shorter value, once.
            out.append({t, k, false, 0});
            t += span;
        } else if (!rest && span >= v + v / 2 && (v / 2) % 3 == 0) {
            out.append({t, k, true, 0});
            t += v + v / 2;
        } else {
            out.append({t, k, false, 0});
            t += v;
        }
    }
    return out;
}

// ---- Text ---------------------------------------------------------------

// A glyph item measured once per role and text.
class Texts
{
public:
    explicit Texts(const ExportSettings &settings) : m_settings(settings) {}

    const QFontMetricsF &metrics(PlacedItem::Role role)
    {
        auto it = m_metrics.find(role);
        if (it == m_metrics.end())
            it = m_metrics.insert(role, QFontMetricsF(PageModel::fontOf(role, m_settings)));
        return *it;
    }
    qreal advance(PlacedItem::Role role, const QString &text)
    {
        return size(role, text).advance;
    }
    QRectF tight(PlacedItem::Role role, const QString &text) { return size(role, text).tight; }
    qreal ascent(PlacedItem::Role role) { return metrics(role).ascent(); }
    qreal height(PlacedItem::Role role) { return metrics(role).ascent() + metrics(role).descent(); }

    // The text with its cell's left edge at x and its line's top at top.
    PlacedItem item(PlacedItem::Role role, const QString &text, qreal x, qreal top, int line = -1,
                    int character = -1)
    {
        const Size &s = size(role, text);
        PlacedItem item;
        item.role = role;
        item.flags = Qt::AlignLeft | Qt::AlignTop;
        item.line = line;
        item.character = character;
        item.origin = QPointF(x, top);
        item.cell = QRectF(0, 0, std::max<qreal>(s.advance, 1), height(role));
        item.ink = s.tight.translated(0, ascent(role));
        if (item.ink.isEmpty())
            item.ink = QRectF(item.ink.topLeft(), QSizeF(0, 0));
        item.text = text;
        return item;
    }

private:
    struct Size
    {
        qreal advance = 0;
        QRectF tight;
    };
    const Size &size(PlacedItem::Role role, const QString &text)
    {
        auto &cache = m_sizes[role];
        auto it = cache.find(text);
        if (it == cache.end()) {
            const QFontMetricsF &fm = metrics(role);
            it = cache.insert(text, {fm.horizontalAdvance(text), fm.tightBoundingRect(text)});
        }
        return *it;
    }

    const ExportSettings &m_settings;
    QHash<int, QFontMetricsF> m_metrics;
    QHash<QString, Size> m_sizes[PlacedItem::Line + 1];
};

QStringList clustersOf(const QString &text)
{
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = finder.toNextBoundary();
        if (end <= start)
            end = text.size();
        out << text.mid(start, end - start);
        start = end;
    }
    return out;
}

// Lines of text no wider than width, broken between grapheme clusters.
QStringList wrapped(Texts &texts, PlacedItem::Role role, const QString &text, qreal width)
{
    QStringList lines;
    QString line;
    for (const QString &cluster : clustersOf(text)) {
        if (!line.isEmpty() && texts.advance(role, line + cluster) > width) {
            lines << line;
            line.clear();
        }
        line += cluster;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

QString keyName(int doMidi)
{
    static const char *const names[12] = {"C", "♭D", "D", "♭E", "E", "F", "♭G", "G", "♭A", "A", "♭B", "B"};
    return QString::fromUtf8(names[((doMidi % 12) + 12) % 12]);
}

QString ornamentNames(quint8 bits)
{
    // Bit per mark from 疊腔 on: 疊腔, 疊腔气口, 底板 (no ornament), 撮, 豁, 擻.
    static const char16_t names[6] = {u'疊', u'疊', 0, u'撮', u'豁', u'擻'};
    QString out;
    for (int b = 0; b < 6; ++b)
        if ((bits & (1 << b)) && names[b] && !out.contains(QChar(names[b])))
            out += QChar(names[b]);
    return out;
}

constexpr int Scale[7] = {0, 2, 4, 5, 7, 9, 11};

// ---- Tokens and measures ------------------------------------------------

struct Token
{
    int t = 0, len = 0;
    bool dash = false;
    int digit = 0, octave = 0;
    bool small = false;
    int underlines = 0;
    bool dotted = false;
    int note = -1;          // index in the section; -1: a rest filling a gap
    bool first = false;     // the note's first piece
    bool last = false;      // its last piece
    bool tied = false;      // tied from the piece before
    QString lyric, punctuation, ornament;
    bool breath = false;
    int line = -1, character = -1;
    // Placed: the slot's left edge from the measure's start, its width;
    // then the digit's left edge and centre on the page.
    qreal slot = 0, width = 0;
    qreal digitLeft = 0, centre = 0;
    QRectF digitInk; // on the page
};

struct Measure
{
    int section = 0;
    int index = 0;
    int start = 0, length = 0;
    QList<Token> tokens;
    qreal lead = 0;  // space after the bar line before the first slot
    qreal width = 0; // natural
    bool bar = true, doubleBar = false;
    bool breakAfter = false;
    // Placed
    qreal left = 0, scale = 1;
    int system = -1;
};

// One horizontal band of the page: a title line, a heading row, a system,
// a spoken line, each laid out at its top.
struct Block
{
    qreal height = 0;
    qreal gapBefore = 0;
    bool keepWithNext = false;
    PageItems items; // y from the block's top
};

class Layout
{
public:
    Layout(const LayoutItems &items, const ExportSettings &settings)
        : m_items(items), m_s(settings), m_texts(settings)
    {
        const QSize page = settings.pageSizePoints();
        m_page = QSizeF(page);
        m_left = settings.marginLeft();
        m_top = settings.marginTop();
        m_width = std::max<qreal>(1, page.width() - settings.marginLeft() - settings.marginRight());
        m_height = std::max<qreal>(1, page.height() - settings.marginTop() - settings.marginBottom());
        const qreal size = settings.jianpuFontSize();
        m_digitAdvance = m_texts.advance(PlacedItem::JianpuDigit, QStringLiteral("0"));
        m_digitInk = m_texts.tight(PlacedItem::JianpuDigit, QStringLiteral("0123456789"));
        m_dot = std::max<qreal>(1.5, size * 0.15);
        m_dotStep = m_dot * 1.6;
        m_lineThick = std::max<qreal>(0.6, size * 0.055);
        m_lineStep = m_lineThick + std::max<qreal>(1.2, size * 0.11);
        m_gap = std::max<qreal>(1, size * 0.16);
        m_beat = std::max<qreal>(m_digitAdvance * 2.4, size * 1.6);
        m_rowGap = std::max<qreal>(0.8, size * 0.12);
        m_showBanYan = settings.isJianpuBanYan();
        m_hidePunctuation = settings.isHiddenSymbol();
    }

    Pages run(const Music::Options &options);

private:
    void addTitle(const QString &title);
    void addTextLines(PlacedItem::Role role, const QString &text, int line, qreal gapBefore);
    void addHeading(const Music::Section &section, int sectionIndex, int headingItem,
                    const Music::Options &options);
    QList<Measure> measuresOf(const Music::Section &section, int sectionIndex);
    void spaceMeasure(Measure &measure);
    void addSystems(const Music::Section &section, QList<Measure> &measures,
                    const std::multimap<int, int> &spokenAfter);
    Block systemBlock(const Music::Section &section, QList<Measure> &measures, int from, int to);
    void paginate();
    QString punctuationAfter(int item, int character) const;

    const LayoutItems &m_items;
    const ExportSettings &m_s;
    Texts m_texts;
    QSizeF m_page;
    qreal m_left = 0, m_top = 0, m_width = 1, m_height = 1;
    qreal m_digitAdvance = 0;
    QRectF m_digitInk;
    qreal m_dot = 2, m_dotStep = 3, m_lineThick = 1, m_lineStep = 3, m_gap = 2, m_beat = 30,
          m_rowGap = 2;
    bool m_showBanYan = true, m_hidePunctuation = false;
    QList<Block> m_blocks;
    QStringList m_warnings;
    int m_squeezed = 0, m_approximated = 0;
    QList<PageItems> m_pages;
};

QString Layout::punctuationAfter(int item, int character) const
{
    if (m_hidePunctuation || item < 0 || item >= m_items.size())
        return {};
    const QStringList clusters = clustersOf(m_items[item].text);
    QString out;
    for (int j = character + 1; j < clusters.size(); ++j) {
        if (ScoreSyntax::countPairedCharacters(clusters[j]) > 0 || clusters[j].trimmed().isEmpty())
            break;
        out += clusters[j];
    }
    return out;
}

void Layout::addTextLines(PlacedItem::Role role, const QString &text, int line, qreal gapBefore)
{
    bool first = true;
    for (const QString &row : wrapped(m_texts, role, text, m_width)) {
        Block block;
        block.gapBefore = first ? gapBefore : 0;
        block.height = m_texts.height(role);
        block.items << m_texts.item(role, row, 0, 0, line);
        m_blocks << block;
        first = false;
    }
}

void Layout::addTitle(const QString &title)
{
    for (const QString &row : wrapped(m_texts, PlacedItem::Title, title, m_width)) {
        Block block;
        block.height = m_texts.height(PlacedItem::Title);
        const qreal w = m_texts.advance(PlacedItem::Title, row);
        block.items << m_texts.item(PlacedItem::Title, row, std::max<qreal>(0, (m_width - w) / 2), 0);
        m_blocks << block;
    }
}

void Layout::addHeading(const Music::Section &section, int sectionIndex, int headingItem,
                        const Music::Options &options)
{
    const qreal space = m_s.jianpuSystemSpace();
    if (!section.heading.isEmpty()) {
        // 【name】 and its mode on one row when they fit, else one under the other.
        const QString name = section.tuneName.isEmpty() ? section.heading
                                                        : QStringLiteral("【%1】").arg(section.tuneName);
        const QString mode = section.mode.isEmpty() ? QString() : QStringLiteral("（%1）").arg(section.mode);
        const qreal nameWidth = m_texts.advance(PlacedItem::QuPai, name);
        const qreal modeWidth = m_texts.advance(PlacedItem::DiaoMing, mode);
        if (nameWidth + modeWidth <= m_width) {
            Block block;
            block.gapBefore = sectionIndex > 0 ? space * 1.5 : space * 0.5;
            block.keepWithNext = true;
            const qreal hName = m_texts.height(PlacedItem::QuPai), hMode = m_texts.height(PlacedItem::DiaoMing);
            block.height = std::max(hName, hMode);
            // On one baseline.
            const qreal base = std::max(m_texts.ascent(PlacedItem::QuPai), m_texts.ascent(PlacedItem::DiaoMing));
            block.items << m_texts.item(PlacedItem::QuPai, name, 0, base - m_texts.ascent(PlacedItem::QuPai),
                                        headingItem);
            if (!mode.isEmpty())
                block.items << m_texts.item(PlacedItem::DiaoMing, mode, nameWidth,
                                            base - m_texts.ascent(PlacedItem::DiaoMing), headingItem);
            m_blocks << block;
        } else {
            addTextLines(PlacedItem::QuPai, name, headingItem, sectionIndex > 0 ? space * 1.5 : space * 0.5);
            if (!mode.isEmpty())
                addTextLines(PlacedItem::DiaoMing, mode, headingItem, 0);
            m_blocks.last().keepWithNext = true;
        }
    }
    // 1=D 4/4 (or 散板) and the tempo.
    QString key = QStringLiteral("1=%1").arg(keyName(section.doMidi));
    QString meter;
    if (!section.free)
        meter = QStringLiteral("%1/4").arg(section.meter);
    const bool tempo = std::abs(options.tempo - 60) > 1e-9;
    Block block;
    block.keepWithNext = true;
    block.gapBefore = m_rowGap * 2;
    block.height = m_texts.height(PlacedItem::JianpuText);
    qreal x = 0;
    const auto add = [&](PlacedItem::Role role, const QString &text) {
        PlacedItem item = m_texts.item(role, text, x,
                                       m_texts.ascent(PlacedItem::JianpuText) - m_texts.ascent(role),
                                       headingItem, -2);
        block.height = std::max(block.height, item.origin.y() + item.cell.height());
        block.items << item;
        x += item.cell.width() + m_digitAdvance * 1.5;
    };
    add(PlacedItem::JianpuText, key);
    if (section.free)
        add(PlacedItem::DiaoMing, QStringLiteral("散板"));
    else
        add(PlacedItem::JianpuText, meter);
    if (tempo)
        add(PlacedItem::JianpuText, QStringLiteral("♩=%1").arg(options.tempo, 0, 'g', 4));
    if (x - m_digitAdvance * 1.5 > m_width) {
        // Too narrow for one row: one item a row.
        const PageItems items = block.items;
        for (int i = 0; i < items.size(); ++i) {
            Block row;
            row.keepWithNext = true;
            row.height = items[i].origin.y() + items[i].cell.height();
            row.items << items[i];
            row.items.last().origin.setX(0);
            m_blocks << row;
        }
        return;
    }
    m_blocks << block;
}

QList<Measure> Layout::measuresOf(const Music::Section &section, int sectionIndex)
{
    const QList<Music::Measure> bars = Music::measuresOf(section);
    QList<Measure> out;
    out.reserve(bars.size());
    // Notes of a character: the first and the last pitched one, for slurs.
    int note = 0;
    for (int m = 0; m < bars.size(); ++m) {
        Measure measure;
        measure.section = sectionIndex;
        measure.index = m;
        measure.start = bars[m].startUnits;
        measure.length = bars[m].lengthUnits;
        measure.bar = !section.free;
        const int end = measure.start + measure.length;
        while (note > 0 && note < section.notes.size()
               && section.notes[note - 1].onsetUnits + section.notes[note - 1].lengthUnits > measure.start)
            --note; // a note held over the bar line
        int t = measure.start;
        const auto fill = [&](int to) {
            for (const Piece &p : piecesIn(t, to - t, true)) {
                Token token;
                token.t = p.onset;
                token.len = p.length();
                token.underlines = p.underlines;
                token.first = token.last = true;
                measure.tokens << token;
            }
        };
        for (int n = note; n < section.notes.size(); ++n) {
            const Music::NoteEvent &e = section.notes[n];
            const int on = std::max(e.onsetUnits, measure.start);
            const int off = std::min(e.onsetUnits + e.lengthUnits, end);
            if (e.onsetUnits >= end)
                break;
            if (off <= on)
                continue;
            if (on > t)
                fill(on);
            const bool rest = e.pitch < 0;
            const int degree = rest ? 0 : Music::degreeOf(e.glyph);
            int octave = 0;
            if (!rest && degree > 0)
                octave = int(std::lround((e.pitch - section.doMidi - Scale[degree - 1]) / 12.0));
            const QList<Piece> pieces = piecesIn(on, off - on, rest);
            int covered = 0;
            for (int i = 0; i < pieces.size(); ++i) {
                const Piece &p = pieces[i];
                Token token;
                token.t = p.onset;
                token.len = p.length() - p.dashes * U;
                token.digit = degree;
                token.octave = octave;
                token.small = e.flags & Music::Small;
                token.underlines = p.underlines;
                token.dotted = p.dotted;
                token.note = n;
                token.first = on == e.onsetUnits && i == 0;
                token.last = off == e.onsetUnits + e.lengthUnits && i + 1 == pieces.size();
                token.tied = !rest && !(on == e.onsetUnits && i == 0);
                token.line = e.item;
                token.character = e.character;
                if (token.first) {
                    token.lyric = e.lyric;
                    if (!e.lyric.isEmpty())
                        token.punctuation = punctuationAfter(e.item, e.character);
                    token.ornament = ornamentNames(e.ornaments);
                }
                token.breath = token.last && (e.flags & Music::Breath);
                measure.tokens << token;
                for (int d = 0; d < p.dashes; ++d) {
                    Token dash = token;
                    dash.dash = true;
                    dash.t = p.onset + (d + 1) * U;
                    dash.len = U;
                    dash.first = dash.tied = false;
                    dash.lyric.clear();
                    dash.punctuation.clear();
                    dash.ornament.clear();
                    dash.breath = false;
                    measure.tokens << dash;
                }
                covered += p.length();
            }
            if (covered < off - on)
                ++m_approximated;
            t = off;
            note = n;
        }
        if (t < end)
            fill(end);
        if (measure.tokens.isEmpty())
            fill(end);
        spaceMeasure(measure);
        out << measure;
    }
    if (!out.isEmpty())
        out.last().doubleBar = true;
    return out;
}

void Layout::spaceMeasure(Measure &measure)
{
    QList<Token> &tokens = measure.tokens;
    const qreal digitRoom = m_gap + m_digitAdvance + m_gap;
    for (Token &token : tokens) {
        qreal least = digitRoom + (token.dotted ? m_dot * 2 : 0);
        if (!token.ornament.isEmpty())
            least = std::max(least, m_texts.advance(PlacedItem::OrnamentName, token.ornament) + m_gap);
        token.width = std::max(least, m_beat * token.len / U);
    }
    // Lyric characters never touch: each one's box (centred on its digit,
    // its punctuation hanging after it) clears the one before; so do the
    // ornament names above.
    const qreal digitCentre = m_gap + m_digitAdvance / 2;
    QList<qreal> starts(tokens.size());
    qreal x = 0;
    for (int i = 0; i < tokens.size(); ++i) {
        starts[i] = x;
        x += tokens[i].width;
    }
    qreal lead = m_gap;
    qreal width = tokens.isEmpty() ? digitRoom : x;
    struct Row
    {
        PlacedItem::Role role;
        QString Token::*text;
        QString Token::*hanging;
        qreal gap;
    };
    const Row rows[] = {
        {PlacedItem::Lyric, &Token::lyric, &Token::punctuation, std::max<qreal>(2, m_s.lyricFontSize() * 0.15)},
        {PlacedItem::OrnamentName, &Token::ornament, nullptr, m_gap},
    };
    for (const Row &row : rows) {
        const auto right = [&](int i) {
            const Token &t = tokens[i];
            return m_texts.advance(row.role, t.*row.text) / 2
                   + (row.hanging ? m_texts.advance(row.role, t.*row.hanging) : 0);
        };
        int previous = -1;
        for (int i = 0; i < tokens.size(); ++i) {
            if ((tokens[i].*row.text).isEmpty())
                continue;
            const qreal half = m_texts.advance(row.role, tokens[i].*row.text) / 2;
            if (previous < 0) {
                lead = std::max(lead, half - (starts[i] + digitCentre) + row.gap / 2);
            } else {
                const qreal need = right(previous) + row.gap + half;
                const qreal have = starts[i] - starts[previous];
                if (have < need) {
                    const qreal more = need - have;
                    tokens[i - 1].width += more;
                    for (int j = i; j < tokens.size(); ++j)
                        starts[j] += more;
                    width += more;
                }
            }
            previous = i;
        }
        if (previous >= 0) {
            const qreal end = starts[previous] + digitCentre + right(previous) + row.gap / 2;
            if (end > width) {
                tokens.last().width += end - width;
                width = end;
            }
        }
    }
    for (int i = 0; i < tokens.size(); ++i)
        tokens[i].slot = starts[i];
    measure.lead = lead;
    measure.width = lead + width + m_gap;
}

Block Layout::systemBlock(const Music::Section &section, QList<Measure> &measures, int from, int to)
{
    Block block;
    qreal natural = 0;
    for (int m = from; m < to; ++m)
        natural += measures[m].width;
    // Fill the width, except a short last line of its tune.
    const bool lastOfTune = to == measures.size() || measures[to - 1].breakAfter;
    qreal scale = natural > m_width || !lastOfTune || natural > m_width * 0.7 ? m_width / natural : 1;
    if (scale < 1)
        ++m_squeezed;

    // Rows from the top.
    bool ornaments = false, breath = false, slurs = false, ties = false, marks = false;
    int high = 0, low = 0, beams = 0;
    for (int m = from; m < to; ++m)
        for (const Token &t : measures[m].tokens) {
            ornaments |= !t.ornament.isEmpty();
            breath |= t.breath;
            ties |= t.tied || (!t.last && !t.dash && t.note >= 0 && t.digit > 0);
            if (!t.dash && t.digit > 0) {
                high = std::max(high, std::min(t.octave, 2));
                low = std::max(low, std::min(-t.octave, 2));
            }
            beams = std::max(beams, t.underlines);
        }
    // Slurs: characters with more than one pitched note.
    QHash<QPair<int, int>, QPair<int, int>> spans; // (line, character) -> first, last note
    for (int n = 0; n < section.notes.size(); ++n) {
        const Music::NoteEvent &e = section.notes[n];
        if (e.pitch < 0)
            continue;
        auto it = spans.find({e.item, e.character});
        if (it == spans.end())
            spans.insert({e.item, e.character}, {n, n});
        else
            it->second = n;
    }
    for (int m = from; m < to && !slurs; ++m)
        for (const Token &t : measures[m].tokens)
            if (t.note >= 0) {
                const auto it = spans.constFind({t.line, t.character});
                if (it != spans.cend() && it->first != it->second)
                    slurs = true;
            }
    if (m_showBanYan)
        for (const Music::BeatMark &mark : section.beatMarks) {
            const auto &e = section.notes.value(mark.note);
            if (e.onsetUnits + e.lengthUnits > measures[from].start
                && e.onsetUnits < measures[to - 1].start + measures[to - 1].length)
                marks = true;
        }

    qreal y = 0;
    // A measure of another length than the one before (the first: than the
    // tune's meter) carries its time signature above its start.
    const auto meterChange = [&](int m) {
        if (section.free)
            return 0;
        const int before = m > 0 ? measures[m - 1].length : section.meter * U;
        return measures[m].length != before ? measures[m].length / U : 0;
    };
    bool meters = false;
    for (int m = from; m < to; ++m)
        meters |= meterChange(m) > 0;
    const qreal meterTop = y;
    if (meters)
        y += m_texts.height(PlacedItem::JianpuText) + m_rowGap;
    const qreal ornTop = y;
    if (ornaments)
        y += m_texts.height(PlacedItem::OrnamentName) + m_rowGap;
    const qreal markTop = y;
    const QRectF signInk = m_texts.tight(PlacedItem::BanSign, QStringLiteral("×○"));
    if (marks)
        y += signInk.height() + m_rowGap;
    const qreal breathTop = y;
    const QRectF breathInk = m_texts.tight(PlacedItem::JianpuText, QStringLiteral("V"));
    if (breath)
        y += breathInk.height() + m_rowGap;
    const qreal slurHeight = std::max<qreal>(2, m_s.jianpuFontSize() * 0.35);
    const qreal slurTop = y;
    if (slurs)
        y += slurHeight + m_rowGap;
    const qreal tieHeight = std::max<qreal>(1.5, m_s.jianpuFontSize() * 0.25);
    const qreal tieTop = y;
    if (ties)
        y += tieHeight + m_rowGap;
    y += high * m_dotStep;
    const qreal digitTop = y + (high ? m_rowGap * 0.5 : 0);
    y = digitTop + m_digitInk.height();
    const qreal beamTop = y + m_lineStep * 0.6;
    y = beamTop + beams * m_lineStep;
    const qreal lowTop = y + (low ? m_rowGap * 0.3 : 0);
    y = lowTop + low * m_dotStep;
    const qreal lyricTop = y + m_rowGap;
    y = lyricTop + m_texts.height(PlacedItem::Lyric);
    block.height = y;

    // Bar lines and the digits' baseline.
    const qreal digitBase = digitTop - m_digitInk.top();
    const auto rule = [&](qreal x, qreal top, qreal w, qreal h, PlacedItem::Role role = PlacedItem::Line,
                          int line = -1, int character = -1) {
        PlacedItem item;
        item.role = role;
        item.shape = PlacedItem::Rule;
        item.origin = QPointF(x, top);
        item.cell = item.ink = QRectF(0, 0, std::max<qreal>(w, 0.1), std::max<qreal>(h, 0.1));
        item.line = line;
        item.character = character;
        block.items << item;
    };
    const auto dot = [&](QPointF centre, int line, int character) {
        PlacedItem item;
        item.role = PlacedItem::Line;
        item.shape = PlacedItem::Dot;
        item.origin = centre - QPointF(m_dot / 2, m_dot / 2);
        item.cell = item.ink = QRectF(0, 0, m_dot, m_dot);
        item.line = line;
        item.character = character;
        block.items << item;
    };
    const auto arc = [&](qreal x0, qreal x1, qreal top, qreal h, PlacedItem::Role role, int line, int character) {
        if (x1 - x0 < 1)
            return;
        PlacedItem item;
        item.role = role;
        item.shape = PlacedItem::Arc;
        item.origin = QPointF(x0, top);
        item.cell = item.ink = QRectF(0, 0, x1 - x0, h);
        item.line = line;
        item.character = character;
        block.items << item;
    };

    const qreal barThick = std::max<qreal>(0.5, m_lineThick * 0.9);
    const qreal barTop = digitTop - m_rowGap * 0.4;
    const qreal barHeight = m_digitInk.height() + m_rowGap * 0.8;
    qreal x = 0;
    const qreal digitCentre = m_gap + m_digitAdvance / 2;
    for (int m = from; m < to; ++m) {
        Measure &measure = measures[m];
        measure.left = x;
        measure.scale = scale;
        measure.system = int(m_blocks.size());
        const qreal inner = (measure.lead) * scale;
        for (Token &t : measure.tokens) {
            const qreal slotLeft = x + inner + t.slot * scale;
            t.centre = slotLeft + digitCentre;
            if (t.dash) {
                const qreal w = m_digitAdvance * 0.8;
                t.digitInk = QRectF(t.centre - w / 2, digitTop + m_digitInk.height() / 2 - m_lineThick * 0.7,
                                    w, m_lineThick * 1.4);
                rule(t.digitInk.left(), t.digitInk.top(), w, t.digitInk.height(), PlacedItem::Line, t.line,
                     t.character);
                continue;
            }
            const PlacedItem::Role role = t.small ? PlacedItem::JianpuSmallDigit : PlacedItem::JianpuDigit;
            const QString text = QString::number(t.digit);
            const qreal adv = m_texts.advance(role, text);
            PlacedItem digit = m_texts.item(role, text, t.centre - adv / 2, digitBase - m_texts.ascent(role),
                                            t.line, t.character);
            t.digitInk = digit.pageInk();
            t.digitLeft = digit.origin.x();
            block.items << digit;
            const qreal cx = t.digitInk.center().x();
            for (int o = 0; o < std::min(t.octave, 2); ++o)
                dot(QPointF(cx, digitTop - m_rowGap * 0.5 - m_dot / 2 - o * m_dotStep), t.line, t.character);
            for (int o = 0; o < std::min(-t.octave, 2); ++o)
                dot(QPointF(cx, lowTop + m_dot / 2 + o * m_dotStep), t.line, t.character);
            if (t.dotted)
                dot(QPointF(t.digitInk.right() + m_dot, digitTop + m_digitInk.height() * 0.55), t.line,
                    t.character);
            if (!t.lyric.isEmpty()) {
                const qreal w = m_texts.advance(PlacedItem::Lyric, t.lyric);
                PlacedItem lyric = m_texts.item(PlacedItem::Lyric, t.lyric, t.centre - w / 2, lyricTop, t.line,
                                                t.character);
                block.items << lyric;
                if (!t.punctuation.isEmpty())
                    block.items << m_texts.item(PlacedItem::Lyric, t.punctuation, t.centre + w / 2, lyricTop,
                                                t.line, t.character);
            }
            if (!t.ornament.isEmpty()) {
                const qreal w = m_texts.advance(PlacedItem::OrnamentName, t.ornament);
                block.items << m_texts.item(PlacedItem::OrnamentName, t.ornament, t.centre - w / 2, ornTop,
                                            t.line, t.character);
            }
            if (t.breath) {
                const qreal w = m_texts.advance(PlacedItem::JianpuText, QStringLiteral("V"));
                block.items << m_texts.item(PlacedItem::JianpuText, QStringLiteral("V"),
                                            t.digitInk.right() - w / 2 + m_gap * 0.5,
                                            breathTop - breathInk.top() - m_texts.ascent(PlacedItem::JianpuText),
                                            t.line, t.character);
            }
        }
        // Underlines: runs of each depth inside a beat.
        const QList<Token> &tokens = measure.tokens;
        for (int level = 1; level <= beams; ++level) {
            int i = 0;
            while (i < tokens.size()) {
                if (tokens[i].dash || tokens[i].underlines < level) {
                    ++i;
                    continue;
                }
                const int beat = Music::floorDiv(tokens[i].t, U);
                int j = i;
                while (j + 1 < tokens.size() && !tokens[j + 1].dash && tokens[j + 1].underlines >= level
                       && Music::floorDiv(tokens[j + 1].t, U) == beat)
                    ++j;
                const qreal x0 = tokens[i].digitInk.left() - m_gap * 0.3;
                qreal x1 = tokens[j].digitInk.right() + m_gap * 0.3;
                if (tokens[j].dotted)
                    x1 += m_dot * 1.6;
                rule(x0, beamTop + (level - 1) * m_lineStep, x1 - x0, m_lineThick, PlacedItem::Line,
                     tokens[i].line, tokens[i].character);
                i = j + 1;
            }
        }
        x += measure.width * scale;
        // The bar line at the measure's end, inside it.
        const int barOwner = -2 - measure.index;
        if (measure.doubleBar) {
            const qreal thick = barThick * 3;
            rule(x - thick, barTop, thick, barHeight, PlacedItem::Line, -1, barOwner);
            rule(x - thick - barThick * 3.5, barTop, barThick, barHeight, PlacedItem::Line, -1, barOwner);
        } else if (measure.bar) {
            rule(x - barThick, barTop, barThick, barHeight, PlacedItem::Line, -1, barOwner);
        }
    }
    const qreal systemRight = x;
    for (int m = from; m < to; ++m)
        if (const int beats = meterChange(m))
            block.items << m_texts.item(PlacedItem::JianpuText, QStringLiteral("%1/4").arg(beats),
                                        measures[m].left + m_gap, meterTop, -1, -2 - measures[m].index);

    // Ties between the pieces of one note, slurs over one character's notes.
    const Token *previous = nullptr;
    for (int m = from; m < to; ++m)
        for (const Token &t : measures[m].tokens) {
            if (t.dash)
                continue;
            if (t.tied && t.note >= 0) {
                const qreal x0 = previous && previous->note == t.note ? previous->digitInk.right() : 0;
                arc(x0, t.digitInk.left(), tieTop, tieHeight, PlacedItem::Line, t.line, t.character);
            }
            previous = &t;
        }
    // A tie running on into the next system.
    if (previous && previous->note >= 0 && !previous->last && section.notes[previous->note].pitch >= 0)
        arc(previous->digitInk.right(), systemRight - m_lineThick * 4, tieTop, tieHeight, PlacedItem::Line,
            previous->line, previous->character);
    if (slurs) {
        QHash<QPair<int, int>, QPair<qreal, qreal>> extent;
        QHash<QPair<int, int>, int> order;
        for (int m = from; m < to; ++m)
            for (const Token &t : measures[m].tokens) {
                if (t.note < 0 || section.notes[t.note].pitch < 0)
                    continue;
                const auto key = qMakePair(t.line, t.character);
                const auto span = spans.value(key);
                if (span.first == span.second)
                    continue;
                const qreal c = t.dash ? t.digitInk.right() : t.digitInk.center().x();
                auto it = extent.find(key);
                if (it == extent.end()) {
                    const bool opens = t.note == span.first && t.first;
                    extent.insert(key, {opens ? c : 0, c});
                    order.insert(key, int(order.size()));
                } else {
                    it->second = c;
                }
            }
        for (auto it = extent.cbegin(); it != extent.cend(); ++it) {
            const auto span = spans.value(it.key());
            const Music::NoteEvent &lastNote = section.notes[span.second];
            qreal right = it->second;
            // Runs on when the character's last note lies beyond this system.
            const int systemEnd = measures[to - 1].start + measures[to - 1].length;
            if (lastNote.onsetUnits + lastNote.lengthUnits > systemEnd)
                right = systemRight;
            arc(it->first, right, slurTop, slurHeight, PlacedItem::Lyric, it.key().first, it.key().second);
        }
    }
    // 板 ×, 眼 ○ at their beats.
    if (marks) {
        QList<int> perNote(section.notes.size(), 0);
        QList<int> countOf(section.notes.size(), 0);
        for (const Music::BeatMark &mark : section.beatMarks)
            if (mark.note >= 0 && mark.note < countOf.size())
                ++countOf[mark.note];
        int lastNote = -1, seen = 0;
        bool inside = false;
        for (const Music::BeatMark &mark : section.beatMarks) {
            if (mark.note < 0 || mark.note >= section.notes.size())
                continue;
            const Music::NoteEvent &e = section.notes[mark.note];
            if (mark.note != lastNote) {
                lastNote = mark.note;
                seen = 0;
                inside = Music::anchorKind(mark.code) == Music::AnchorKind::Inside;
            }
            int u = inside ? (Music::floorDiv(e.onsetUnits, U) + 1 + seen) * U : e.onsetUnits + seen * U;
            ++seen;
            u = std::clamp(u, e.onsetUnits, std::max(e.onsetUnits, e.onsetUnits + e.lengthUnits - 1));
            // The measure of u in this system.
            int mi = -1;
            for (int m = from; m < to; ++m)
                if (u >= measures[m].start && u < measures[m].start + measures[m].length) {
                    mi = m;
                    break;
                }
            if (mi < 0)
                continue;
            const QList<Token> &tokens = measures[mi].tokens;
            qreal cx = tokens.first().centre;
            for (int i = 0; i < tokens.size(); ++i) {
                if (tokens[i].t > u)
                    break;
                const qreal next = i + 1 < tokens.size() ? tokens[i + 1].centre
                                                         : measures[mi].left + measures[mi].width * scale;
                cx = tokens[i].centre + (next - tokens[i].centre) * (u - tokens[i].t) / std::max(1, tokens[i].len);
            }
            PlacedItem::Role role = PlacedItem::XiaoYanSign;
            QString sign = QStringLiteral("○");
            if (Gongche::isBanMark(mark.code)) {
                role = PlacedItem::BanSign;
                sign = QStringLiteral("×");
            } else if (Gongche::isZhongYanMark(mark.code)) {
                role = PlacedItem::ZhongYanSign;
            }
            const QRectF ink = m_texts.tight(role, sign);
            const qreal w = m_texts.advance(role, sign);
            block.items << m_texts.item(role, sign, cx - w / 2,
                                        markTop - ink.top() - m_texts.ascent(role) + (signInk.height() - ink.height()) / 2,
                                        e.item, e.character);
        }
    }
    return block;
}

void Layout::addSystems(const Music::Section &section, QList<Measure> &measures,
                        const std::multimap<int, int> &spokenAfter)
{
    int from = 0;
    while (from < measures.size()) {
        qreal width = measures[from].width;
        int to = from + 1;
        while (to < measures.size() && !measures[to - 1].breakAfter && width + measures[to].width <= m_width) {
            width += measures[to].width;
            ++to;
        }
        Block block = systemBlock(section, measures, from, to);
        block.gapBefore = m_s.jianpuSystemSpace();
        m_blocks << block;
        // Spoken lines after this system.
        for (int m = from; m < to; ++m) {
            const auto range = spokenAfter.equal_range(m);
            for (auto it = range.first; it != range.second; ++it) {
                const LayoutItem &item = m_items[it->second];
                QString text = item.text.mid(1).trimmed();
                if (m_hidePunctuation) {
                    QString kept;
                    for (const QString &c : clustersOf(text))
                        if (ScoreSyntax::countPairedCharacters(c) > 0)
                            kept += c;
                    text = kept;
                }
                addTextLines(item.kind == LineKind::JiaBai ? PlacedItem::JiaBai : PlacedItem::LianBai, text,
                             it->second, m_s.jianpuSystemSpace() * 0.6);
            }
        }
        from = to;
    }
}

void Layout::paginate()
{
    const qreal footer = m_texts.height(PlacedItem::JianpuText) + m_rowGap * 2;
    const qreal room = std::max<qreal>(1, m_height - footer);
    PageItems page;
    qreal y = 0;
    bool empty = true;
    const auto finish = [&] {
        const QString number = QString::number(m_pages.size() + 1);
        const qreal w = m_texts.advance(PlacedItem::JianpuText, number);
        page << m_texts.item(PlacedItem::JianpuText, number, m_left + (m_width - w) / 2,
                             m_top + m_height - m_texts.height(PlacedItem::JianpuText));
        m_pages << page;
        page.clear();
        y = 0;
        empty = true;
    };
    for (int b = 0; b < m_blocks.size(); ++b) {
        if (m_pages.size() >= GenerateSVG::maxPages() - 1)
            break;
        const Block &block = m_blocks[b];
        qreal need = (empty ? 0 : block.gapBefore) + block.height;
        // A heading stays with what follows it.
        for (int k = b; k + 1 < m_blocks.size() && m_blocks[k].keepWithNext; ++k)
            need += m_blocks[k + 1].gapBefore + m_blocks[k + 1].height;
        if (!empty && y + need > room)
            finish();
        if (!empty)
            y += block.gapBefore;
        for (PlacedItem item : block.items) {
            item.origin += QPointF(m_left, m_top + y);
            page << item;
        }
        y += block.height;
        empty = false;
    }
    if (!empty || m_pages.isEmpty())
        finish();
}

Pages Layout::run(const Music::Options &options)
{
    const Music::Performance music = Music::read(m_items, options);
    Pages out;
    out.title = music.title;
    // Where each tune heading stands, and which heading a line comes under.
    QList<int> headings;
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items[i].kind == LineKind::QuPai)
            headings << i;
    const auto headingOf = [&](int item) {
        return int(std::lower_bound(headings.begin(), headings.end(), item) - headings.begin());
    };
    if (out.title.isEmpty() && !music.sections.isEmpty())
        out.title = music.sections.first().tuneName;
    if (!out.title.isEmpty())
        addTitle(out.title);

    if (music.noteCount() == 0) {
        m_warnings << tr("没有音符：简谱页只有标题和唱词。");
        for (int i = 0; i < m_items.size(); ++i) {
            const LayoutItem &item = m_items[i];
            if (item.kind == LineKind::Lyric && !ScoreSyntax::isMarkupLine(item.text))
                addTextLines(PlacedItem::Lyric, item.text, i, m_s.jianpuSystemSpace() * 0.5);
            else if (item.kind == LineKind::JiaBai || item.kind == LineKind::LianBai)
                addTextLines(item.kind == LineKind::JiaBai ? PlacedItem::JiaBai : PlacedItem::LianBai,
                             item.text.mid(1).trimmed(), i, m_s.jianpuSystemSpace() * 0.5);
        }
    } else {
        for (int s = 0; s < music.sections.size(); ++s) {
            const Music::Section &section = music.sections[s];
            if (section.notes.isEmpty())
                continue;
            const int heading = headingOf(section.notes.first().item);
            addHeading(section, s, heading > 0 ? headings[heading - 1] : -1, options);
            QList<Measure> measures = measuresOf(section, s);
            if (measures.isEmpty())
                continue;
            // Spoken lines under this tune's heading: after the measure
            // where the last note before them ends, which ends its system.
            std::multimap<int, int> spokenAfter;
            const int nextHeading = heading < headings.size() ? headings[heading] : int(m_items.size());
            const int previousHeading = heading > 0 ? headings[heading - 1] : -1;
            for (int i = previousHeading + 1; i < nextHeading; ++i) {
                const LineKind kind = m_items[i].kind;
                if (kind != LineKind::JiaBai && kind != LineKind::LianBai)
                    continue;
                int before = -1;
                for (int n = 0; n < section.notes.size() && section.notes[n].item < i; ++n)
                    before = n;
                int m = 0;
                if (before >= 0) {
                    // The measure where that note ends: a held note is not
                    // cut from its tied end.
                    const Music::NoteEvent &e = section.notes[before];
                    const int last = e.onsetUnits + std::max(1, e.lengthUnits) - 1;
                    while (m + 1 < measures.size() && measures[m + 1].start <= last)
                        ++m;
                } else {
                    m = -1;
                }
                if (m < 0) {
                    addTextLines(kind == LineKind::JiaBai ? PlacedItem::JiaBai : PlacedItem::LianBai,
                                 m_items[i].text.mid(1).trimmed(), i, m_rowGap);
                    continue;
                }
                spokenAfter.emplace(m, i);
                measures[m].breakAfter = true;
            }
            addSystems(section, measures, spokenAfter);
        }
    }
    paginate();
    if (m_squeezed > 0)
        m_warnings << tr("%1 个小节比一行还宽，已在单独一行里压紧排出。").arg(m_squeezed);
    if (m_approximated > 0)
        m_warnings << tr("%1 个音的时值（连音）按最接近的简谱时值排出。").arg(m_approximated);
    if (m_pages.size() >= GenerateSVG::maxPages() - 1)
        m_warnings << tr("简谱超过 %1 页，其余未排。").arg(GenerateSVG::maxPages());
    out.pages = m_pages;
    out.warnings = m_warnings;
    return out;
}

} // namespace

QList<Piece> piecesOf(int onset, int length, bool rest)
{
    return piecesIn(onset, length, rest);
}

Pages layout(const LayoutItems &items, const Music::Options &options, const ExportSettings &settings)
{
    Layout layout(items, settings);
    return layout.run(options);
}

void generate(GenerateSVG &generator, const LayoutItems &items, const Music::Options &options)
{
    const ExportSettings settings = generator.config()->snapshot();
    const Pages pages = layout(items, options, settings);
    generator.adoptPages(settings, pages.pages, pages.title, pages.warnings);
}

} // namespace Jianpu
