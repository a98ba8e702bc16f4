// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/ScoreSyntax.h"

#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <utility>

// ---- Line sources ---------------------------------------------------------

LineSource::~LineSource() = default;

int LineSource::endPosition() const
{
    const int last = lineCount() - 1;
    return lineStart(last) + int(lineText(last).size());
}

DocumentLines::DocumentLines(const QTextDocument &document)
    : m_document(document)
{
}

int DocumentLines::lineCount() const
{
    return std::max(1, m_document.blockCount());
}

QString DocumentLines::lineText(int line) const
{
    const QTextBlock block = m_document.findBlockByNumber(line);
    return block.isValid() ? block.text() : QString();
}

int DocumentLines::lineStart(int line) const
{
    const int clamped = std::clamp(line, 0, lineCount() - 1);
    const QTextBlock block = m_document.findBlockByNumber(clamped);
    return block.isValid() ? block.position() : 0;
}

int DocumentLines::lineAt(int position) const
{
    // characterCount() includes the final paragraph separator, which is no
    // cursor position; findBlock() gives an invalid block from there on.
    const int last = std::max(0, m_document.characterCount() - 1);
    const QTextBlock block = m_document.findBlock(std::clamp(position, 0, last));
    return block.isValid() ? block.blockNumber() : lineCount() - 1;
}

PlainLines::PlainLines(const QStringList &lines)
    : m_lines(lines)
{
    indexLines();
}

PlainLines::PlainLines(const QString &text)
    : m_lines(text.split(QLatin1Char('\n')))
{
    indexLines();
}

void PlainLines::indexLines()
{
    if (m_lines.isEmpty())
        m_lines.append(QString());
    m_starts.reserve(m_lines.size());
    int start = 0;
    for (const QString &line : std::as_const(m_lines)) {
        m_starts.append(start);
        start += int(line.size()) + 1;
    }
}

int PlainLines::lineCount() const
{
    return int(m_lines.size());
}

QString PlainLines::lineText(int line) const
{
    return line >= 0 && line < m_lines.size() ? m_lines.at(line) : QString();
}

int PlainLines::lineStart(int line) const
{
    return m_starts.at(std::clamp(line, 0, lineCount() - 1));
}

int PlainLines::lineAt(int position) const
{
    const auto after = std::upper_bound(m_starts.cbegin(), m_starts.cend(), position);
    return std::max(0, int(after - m_starts.cbegin()) - 1);
}

// ---- Pattern table --------------------------------------------------------

namespace {

constexpr int TableSize = 11;

const char16_t *const PatternSources[TableSize] = {
    u"^#.*",                                 // 0 Title
    u"^;.*",                                 // 1 Comment
    u"^>.*",                                 // 2 JiaBai
    u"^=.*",                                 // 3 LianBai
    u"^【.+?】([（(].+?[)）])?$",             // 4 QuPai
    nullptr,                                 // 5 unused
    u"^@换行符",                             // 6 LineBreak
    u"^@分页符",                             // 7 PageBreak
    u"[一-龥 ]+",                            // 8 Lyric
    u"[。，,、；;：:？?！!‘’“”（）()《》【】［］\\[\\]—︹︺︽︾﹁﹂﹃﹄︻︼︗︘︵︶|｜~]", // 9
    u".+",                                   // 10 Other
};

// The characters of pattern 9, sorted for binary search.
constexpr std::array<char16_t, 46> PunctuationChars = [] {
    std::array<char16_t, 46> a = {
        0x3002, 0xFF0C, 0x002C, 0x3001, 0xFF1B, 0x003B, 0xFF1A, 0x003A,
        0xFF1F, 0x003F, 0xFF01, 0x0021, 0x2018, 0x2019, 0x201C, 0x201D,
        0xFF08, 0xFF09, 0x0028, 0x0029, 0x300A, 0x300B, 0x3010, 0x3011,
        0xFF3B, 0xFF3D, 0x005B, 0x005D, 0x2014, 0xFE39, 0xFE3A, 0xFE3D,
        0xFE3E, 0xFE41, 0xFE42, 0xFE43, 0xFE44, 0xFE3B, 0xFE3C, 0xFE17,
        0xFE18, 0xFE35, 0xFE36, 0x007C, 0xFF5C, 0x007E,
    };
    // constexpr insertion sort (std::sort is not constexpr in C++17)
    for (std::size_t i = 1; i < a.size(); ++i)
        for (std::size_t j = i; j > 0 && a[j] < a[j - 1]; --j) {
            const char16_t t = a[j];
            a[j] = a[j - 1];
            a[j - 1] = t;
        }
    return a;
}();

struct PatternTable
{
    std::array<QRegularExpression, TableSize> patterns;
    QRegularExpression never;

    PatternTable()
        : never(QStringLiteral("(?!)"))
    {
        for (int code = 0; code < TableSize; ++code) {
            if (PatternSources[code]) {
                patterns[code].setPattern(QString::fromUtf16(PatternSources[code]));
                // Compile now, while the table is built, so that later
                // concurrent readers only ever see a finished object.
                patterns[code].optimize();
            }
        }
        never.optimize();
    }
};

const PatternTable &table()
{
    static const PatternTable instance; // thread-safe one-time init
    return instance;
}

bool isLoneSurrogate(QStringView text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text.at(i - 1).isHighSurrogate();
    return false;
}

bool hasLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i).isSurrogate() && isLoneSurrogate(text, i))
            return true;
    return false;
}

bool isQuPai(QStringView line)
{
    // Only this pattern is anchored at both ends with lazy parts, so it is
    // matched as is. The regex engine rejects malformed UTF-16 as a whole;
    // a stray surrogate is taken as one unknown character instead.
    if (!hasLoneSurrogate(line))
        return table().patterns[QuPai].match(line.toString()).hasMatch();
    QString cleaned = line.toString();
    for (qsizetype i = 0; i < cleaned.size(); ++i)
        if (cleaned.at(i).isSurrogate() && isLoneSurrogate(cleaned, i))
            cleaned[i] = QChar::ReplacementCharacter;
    return table().patterns[QuPai].match(cleaned).hasMatch();
}

// Offset just after the k-th (1-based) paired character of a line, or the
// offset of its first paired character for k = 0 (0 when it has none); the
// line's length when there are fewer than k.
int offsetAfterPaired(QStringView line, int k)
{
    int seen = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (!ScoreSyntax::isPairedCharacter(line.at(i)))
            continue;
        if (k == 0)
            return int(i);
        if (++seen == k)
            return int(i) + 1;
    }
    return k == 0 ? 0 : int(line.size());
}

} // namespace

namespace ScoreSyntax {

bool hasPattern(int code)
{
    return code >= 0 && code < TableSize && PatternSources[code];
}

QString patternSource(int code)
{
    return hasPattern(code) ? QString::fromUtf16(PatternSources[code]) : QString();
}

const QRegularExpression &pattern(int code)
{
    const PatternTable &t = table();
    return hasPattern(code) ? t.patterns[code] : t.never;
}

QString markupPatternSource()
{
    return QStringLiteral("^[#;>=【@]");
}

bool isPunctuation(char32_t codePoint)
{
    if (codePoint > 0xFFFF)
        return false;
    return std::binary_search(PunctuationChars.begin(), PunctuationChars.end(),
                              char16_t(codePoint));
}

bool isMarkupLine(QStringView line)
{
    if (line.isEmpty())
        return false;
    switch (line.front().unicode()) {
    case u'#':
    case u';':
    case u'>':
    case u'=':
    case u'【':
    case u'@':
        return true;
    default:
        return false;
    }
}

int countPairedCharacters(QStringView text)
{
    int count = 0;
    for (const QChar c : text)
        if (isPairedCharacter(c))
            ++count;
    return count;
}

int linePairedCount(QStringView line)
{
    return isMarkupLine(line) ? 0 : countPairedCharacters(line);
}

LineKind classify(QStringView line)
{
    if (!line.isEmpty()) {
        switch (line.front().unicode()) {
        case u'#':
            return Title;
        case u';':
            return Comment;
        case u'>':
            return JiaBai;
        case u'=':
            return LianBai;
        case u'【':
            if (isQuPai(line))
                return QuPai;
            break;
        case u'@':
            if (line.startsWith(u"@换行符"))
                return LineBreak;
            if (line.startsWith(u"@分页符"))
                return PageBreak;
            break;
        default:
            break;
        }
    }
    return countPairedCharacters(line) > 0 ? Lyric : Other;
}

int scoreLineAt(const LineSource &lyric, int position)
{
    const int pos = std::clamp(position, 0, lyric.endPosition());
    const int line = lyric.lineAt(pos);
    int count = 0;
    for (int i = 0; i < line; ++i)
        count += linePairedCount(lyric.lineText(i));
    const QString text = lyric.lineText(line);
    if (!isMarkupLine(text)) {
        const int offset = std::clamp(pos - lyric.lineStart(line), 0, int(text.size()));
        count += countPairedCharacters(QStringView(text).left(offset));
    }
    return count - 1;
}

// The first non-markup line whose running paired count reaches n, with its
// text and the offset just after the n-th paired character. False when the
// text holds fewer than n.
static bool locatePaired(const LineSource &lyric, int n, int *line, QString *text, int *offset)
{
    const int lines = lyric.lineCount();
    int total = 0;
    for (int i = 0; i < lines; ++i) {
        QString lineText = lyric.lineText(i);
        if (isMarkupLine(lineText))
            continue;
        const int before = total;
        total += countPairedCharacters(lineText);
        if (total >= n) {
            *line = i;
            *offset = offsetAfterPaired(lineText, n - before);
            *text = std::move(lineText);
            return true;
        }
    }
    return false;
}

int positionAfterPaired(const LineSource &lyric, int n)
{
    int line = 0;
    int offset = 0;
    QString text;
    if (!locatePaired(lyric, std::max(n, 0), &line, &text, &offset))
        return lyric.endPosition();
    return lyric.lineStart(line) + offset;
}

QString pairedText(const LineSource &lyric)
{
    QString result;
    const int lines = lyric.lineCount();
    for (int i = 0; i < lines; ++i) {
        const QString text = lyric.lineText(i);
        if (isMarkupLine(text))
            continue;
        for (const QChar c : text)
            if (isPairedCharacter(c))
                result.append(c);
    }
    return result;
}

QString pairedCharacterAt(const LineSource &lyric, int n)
{
    int line = 0;
    int offset = 0;
    QString text;
    if (n < 1 || !locatePaired(lyric, n, &line, &text, &offset))
        return QString();
    return QString(text.at(offset - 1));
}

int pairedCountInLines(const LineSource &lyric, int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, lyric.lineCount() - 1);
    int count = 0;
    for (int i = first; i <= last; ++i)
        count += linePairedCount(lyric.lineText(i));
    return count;
}

int pairedCount(const LineSource &lyric)
{
    return pairedCountInLines(lyric, 0, lyric.lineCount() - 1);
}

QString scoreLineText(const LineSource &score, int index)
{
    return index >= 0 && index < score.lineCount() ? score.lineText(index) : QString();
}

LayoutItems layoutItems(const LineSource &lyric, const LineSource &score)
{
    LayoutItems items;
    const int lines = lyric.lineCount();
    items.reserve(lines);
    // Paired characters seen so far; the score line of a character is this
    // count (including the character) minus one, as scoreLineAt would say
    // for the position after it.
    int paired = 0;
    for (int i = 0; i < lines; ++i) {
        LayoutItem item;
        item.text = lyric.lineText(i);
        item.kind = classify(item.text);
        if (item.kind == Lyric) {
            const bool markup = isMarkupLine(item.text);
            QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, item.text);
            qsizetype start = 0;
            while (start < item.text.size()) {
                qsizetype end = finder.toNextBoundary();
                if (end <= start) // defensive: never loop without progress
                    end = item.text.size();
                const int inCluster = markup ? 0
                    : countPairedCharacters(QStringView(item.text).mid(start, end - start));
                paired += inCluster;
                item.scores.append(inCluster > 0 ? scoreLineText(score, paired - 1) : QString());
                start = end;
            }
        } else {
            // Zero in practice (any non-markup line with a paired character
            // is a Lyric line) but keeps the count right by construction.
            paired += linePairedCount(item.text);
        }
        items.append(item);
    }
    return items;
}


// ---- Text as the panes keep it ----------------------------------------------

namespace {

// Per UTF-16 unit of a text of '\n'-separated lines: is it a paired
// character of its line?
QList<bool> pairedFlags(QStringView text)
{
    QList<bool> flags(text.size(), false);
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QStringView line = text.mid(start, end - start);
        if (!isMarkupLine(line))
            for (qsizetype i = 0; i < line.size(); ++i)
                flags[start + i] = isPairedCharacter(line.at(i));
        start = end + 1;
    }
    return flags;
}

// What a pane's document makes of a text before normaliseText: every
// character it takes as a line break becomes '\n', all else stays. Same
// length as normaliseText's result.
QString documentView(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar &c : text) {
        switch (c.unicode()) {
        case u'\r':
        case 0x2029:
        case 0xFDD0:
        case 0xFDD1:
            c = QLatin1Char('\n');
            break;
        default:
            break;
        }
    }
    return text;
}

} // namespace

QString normaliseText(QString text)
{
    text = documentView(std::move(text));
    for (QChar &c : text) {
        if (c == QChar::LineSeparator)
            c = QLatin1Char('\n');
        else if (c == QChar::Nbsp)
            c = QLatin1Char(' ');
    }
    return text;
}

QString singleScoreLine(const QString &text)
{
    return normaliseText(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
}

ScoreLineChanges scoreLineChanges(QStringView before, QStringView after, int prefix, int suffix)
{
    prefix = std::clamp(prefix, 0, int(std::min(before.size(), after.size())));
    suffix = std::clamp(suffix, 0, int(std::min(before.size(), after.size())) - prefix);
    const QList<bool> was = pairedFlags(before);
    const QList<bool> now = pairedFlags(after);

    ScoreLineChanges changes;
    ScoreLineChange pending;
    bool open = false;
    int line = 0; // paired characters of `before` passed so far
    const auto flush = [&] {
        if (open && (pending.remove > 0 || pending.insert > 0))
            changes.append(pending);
        open = false;
    };
    // Changes at the same place merge into one.
    const auto at = [&]() -> ScoreLineChange & {
        if (!open || pending.line + pending.remove != line) {
            flush();
            pending = {line, 0, 0};
            open = true;
        }
        return pending;
    };
    const auto step = [&](bool wasPaired, bool isPaired) {
        if (wasPaired && !isPaired)
            ++at().remove;
        else if (!wasPaired && isPaired)
            ++at().insert;
        if (wasPaired)
            ++line;
    };

    for (int i = 0; i < prefix; ++i)
        step(was.at(i), now.at(i));
    for (qsizetype i = prefix; i < before.size() - suffix; ++i)
        step(was.at(i), false);
    for (qsizetype i = prefix; i < after.size() - suffix; ++i)
        step(false, now.at(i));
    for (int i = 0; i < suffix; ++i)
        step(was.at(before.size() - suffix + i), now.at(after.size() - suffix + i));
    flush();
    return changes;
}

NormalisedDocument normaliseDocument(const QString &lyric, const QString &score)
{
    NormalisedDocument result;
    const QString view = documentView(lyric);
    result.lyric = normaliseText(lyric);
    QString scoreText = score;
    scoreText.replace(QChar::LineSeparator, QLatin1Char(' '));
    result.score = normaliseText(scoreText);

    const ScoreLineChanges changes = scoreLineChanges(view, result.lyric, int(view.size()), 0);
    if (changes.isEmpty())
        return result;
    QStringList lines = result.score.split(QLatin1Char('\n'));
    for (auto it = changes.crbegin(); it != changes.crend(); ++it) {
        // Characters past the last score line have no notation to keep.
        if (it->line >= lines.size())
            continue;
        lines.remove(it->line, std::min<qsizetype>(it->remove, lines.size() - it->line));
        for (int k = 0; k < it->insert; ++k)
            lines.insert(it->line, QString());
    }
    result.score = lines.join(QLatin1Char('\n'));
    return result;
}

} // namespace ScoreSyntax
