// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/Pairing.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace {


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

} // namespace ScoreSyntax
