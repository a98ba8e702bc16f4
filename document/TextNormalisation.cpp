// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/TextNormalisation.h"

#include "document/Pairing.h"

#include <algorithm>
#include <utility>

namespace ScoreSyntax {

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
