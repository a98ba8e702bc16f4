// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// The text as the panes keep it, and which score lines a lyric edit adds
// or removes.
namespace ScoreSyntax {

// A pane's document hands back (toPlainText, hence the saved file) a space
// for a no-break space and a line break for a line separator, which a
// document keeps inside its line: either would pair differently after
// saving and reopening. This maps them, and every other character a
// document takes as a line break (CR LF, CR, U+2029, U+FDD0, U+FDD1), to
// what the saved text holds, so the text is the same before and after.
QString normaliseText(QString text);

// `text` made a single score line: normaliseText, then the pieces between
// its line breaks joined by one space (empty pieces dropped), so that it
// can never add a score line of its own and shift the pairing. A space,
// as for a line separator in a saved score line, keeps the parts apart.
QString singleScoreLine(const QString &text);

// Score lines to drop and empty lines to insert when a lyric span of whole
// lines changes, so that no notation passes to another character. `line`
// counts the span's paired characters before the change; apply the changes
// from the last to the first.
struct ScoreLineChange
{
    int line = 0;
    int remove = 0;
    int insert = 0;

    bool operator==(const ScoreLineChange &o) const
    {
        return line == o.line && remove == o.remove && insert == o.insert;
    }
};
using ScoreLineChanges = QList<ScoreLineChange>;

// `before` and `after` are whole lyric lines joined by '\n'. Their first
// `prefix` and last `suffix` UTF-16 units are the same characters (their
// code may differ, as with normaliseText); everything between was removed
// and replaced. A kept character keeps its score line while it stays
// paired, loses it when it stops being paired (its line became markup) and
// gets an empty one when it starts; removed ones lose theirs and inserted
// ones get empty lines.
ScoreLineChanges scoreLineChanges(QStringView before, QStringView after, int prefix, int suffix);

// A document read from a file, made what the panes keep (normaliseText on
// both texts; in the score a line separator becomes a space, since the
// pane showed one line there) with the score lines moved along, so every
// character keeps the notation it had in the file.
struct NormalisedDocument
{
    QString lyric;
    QString score;
};
NormalisedDocument normaliseDocument(const QString &lyric, const QString &score);

} // namespace ScoreSyntax
