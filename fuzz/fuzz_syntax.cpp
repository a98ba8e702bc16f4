// SPDX-License-Identifier: GPL-3.0-or-later
// Score text syntax and the line list. Input: the lyric text, optionally
// followed by a NUL and the score text (UTF-8; a first byte 0x01 reads the
// rest as raw UTF-16, which reaches lone surrogates). Without a score text,
// score line i holds the number i, so the line list shows which score line
// each character took.

#include "FuzzSupport.h"

#include "document/Pairing.h"

#include <QSet>

namespace {

// The pairing mappings agree with each other over the first paired characters.
void checkPairing(const PlainLines &lyric)
{
    const int total = ScoreSyntax::pairedCount(lyric);
    const QString paired = ScoreSyntax::pairedText(lyric);
    FUZZ_CHECK(paired.size() == total, QString::number(total));
    FUZZ_CHECK(ScoreSyntax::pairedCountInLines(lyric, 0, lyric.lineCount() - 1) == total,
               QString::number(total));
    FUZZ_CHECK(ScoreSyntax::scoreLineAt(lyric, lyric.endPosition()) == total - 1,
               QString::number(total));
    FUZZ_CHECK(ScoreSyntax::positionAfterPaired(lyric, total + 1) == lyric.endPosition(),
               QString::number(total));
    FUZZ_CHECK(ScoreSyntax::scoreLineAt(lyric, 0) == -1, QString());
    for (int n = 1; n <= qMin(total, 200); ++n) {
        const int position = ScoreSyntax::positionAfterPaired(lyric, n);
        FUZZ_CHECK(ScoreSyntax::scoreLineAt(lyric, position) == n - 1, QString::number(n));
        const QString character = ScoreSyntax::pairedCharacterAt(lyric, n);
        FUZZ_CHECK(character.size() == 1 && ScoreSyntax::isPairedCharacter(character.at(0))
                       && character.at(0) == paired.at(n - 1),
                   QString::number(n));
    }
}

} // namespace

KELVO_FUZZ_TARGET(syntax)
{
    if (size > 16384)
        return 0;
    QString text;
    if (size > 0 && data[0] == 0x01)
        text = QString(reinterpret_cast<const QChar *>(data + 1), qsizetype((size - 1) / 2));
    else
        text = QString::fromUtf8(Fuzz::bytes(data, size));
    const qsizetype nul = text.indexOf(QChar(0));
    const bool numbered = nul < 0;
    const PlainLines lyric(numbered ? text : text.left(nul));

    checkPairing(lyric);
    const int total = ScoreSyntax::pairedCount(lyric);

    QStringList numbers;
    for (int i = 0; i <= total; ++i)
        numbers << QString::number(i);
    const PlainLines score(numbered ? numbers : QStringList(text.mid(nul + 1).split(QLatin1Char('\n'))));

    const LayoutItems items = ScoreSyntax::layoutItems(lyric, score);
    FUZZ_CHECK(items.size() == lyric.lineCount(), QString::number(items.size()));
    static const QSet<int> kinds = {0, 1, 2, 3, 4, 6, 7, 8, 10};
    int lastNumber = -1;
    for (int i = 0; i < items.size(); ++i) {
        const LayoutItem &item = items.at(i);
        const QString where = QStringLiteral("line %1").arg(i);
        FUZZ_CHECK(item.text == lyric.lineText(i), where);
        FUZZ_CHECK(kinds.contains(item.kind), where);
        FUZZ_CHECK(item.kind == ScoreSyntax::classify(item.text), where);
        if (item.kind != Lyric) {
            FUZZ_CHECK(item.scores.isEmpty(), where);
            FUZZ_CHECK(ScoreSyntax::linePairedCount(item.text) == 0, where);
            continue;
        }
        // One entry per visible character: at most one per UTF-16 unit, at
        // least one for a non-empty line.
        FUZZ_CHECK(item.scores.size() <= item.text.size(), where);
        FUZZ_CHECK(item.scores.isEmpty() == item.text.isEmpty(), where);
        if (ScoreSyntax::isMarkupLine(item.text)) {
            for (const QString &s : item.scores)
                FUZZ_CHECK(s.isEmpty(), where);
            continue;
        }
        if (!numbered)
            continue;
        // Characters take the score lines in order, never one twice.
        for (const QString &s : item.scores) {
            if (s.isEmpty())
                continue;
            const int number = s.toInt();
            FUZZ_CHECK(number > lastNumber && number < total, where + QLatin1Char(' ') + s);
            lastNumber = number;
        }
    }
    if (numbered)
        FUZZ_CHECK(lastNumber == total - 1, QString::number(lastNumber));
    return 0;
}
