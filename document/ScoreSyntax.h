// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"
#include "document/LineKind.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>

class QTextDocument;

// A read-only view of a text as numbered lines with document positions:
// line i starts at lineStart(i), a line break counts as one position, and
// position lineStart(i) + k is in front of the k-th UTF-16 unit of line i.
// The pairing rules below are written once against this interface so that
// they give the same answers for the lyric pane's document and for plain
// strings.
class LineSource
{
public:
    virtual ~LineSource();

    // Always at least 1: an empty text is one empty line.
    virtual int lineCount() const = 0;
    // Empty for an index outside 0 .. lineCount() - 1.
    virtual QString lineText(int line) const = 0;
    // Clamped to the first / last line.
    virtual int lineStart(int line) const = 0;
    // Index of the line holding a position; positions before the start
    // give the first line, positions past the end the last line.
    virtual int lineAt(int position) const = 0;

    // The last cursor position of the text: after the last character of
    // the last line.
    int endPosition() const;
};

// The blocks of a QTextDocument (the lyric or score pane's document). Holds
// a reference: the document must outlive the adapter.
class DocumentLines : public LineSource
{
public:
    explicit DocumentLines(const QTextDocument &document);

    int lineCount() const override;
    QString lineText(int line) const override;
    int lineStart(int line) const override;
    int lineAt(int position) const override;

private:
    const QTextDocument &m_document;
};

// Plain lines with the same position arithmetic as a document holding
// them. Building one is linear; keep it around for repeated lookups.
class PlainLines : public LineSource
{
public:
    explicit PlainLines(const QStringList &lines);
    // Split at '\n' only.
    explicit PlainLines(const QString &text);

    int lineCount() const override;
    QString lineText(int line) const override;
    int lineStart(int line) const override;
    int lineAt(int position) const override;

    const QStringList &lines() const { return m_lines; }

private:
    void indexLines();

    QStringList m_lines;
    QList<int> m_starts;
};

namespace ScoreSyntax {

// ---- Pattern table ------------------------------------------------------

// True for the codes of the table: 0-4 and 6-10.
bool hasPattern(int code);
// The pattern text of a code, empty for a code outside the table.
QString patternSource(int code);
// The compiled pattern, built once per process and never changed. A code
// outside the table gives a pattern that matches nothing.
const QRegularExpression &pattern(int code);
// The first character of a markup line ("^[#;>=【@]"); not a table entry.
QString markupPatternSource();

// ---- Characters and lines ------------------------------------------------

// "[一-龥 ]": U+4E00..U+9FA5 or U+0020. Extension-block ideographs (surrogate
// pairs) and U+3000 are not paired.
inline bool isPairedCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= 0x4E00 && u <= 0x9FA5);
}

// One of the 46 punctuation characters of pattern 9.
bool isPunctuation(char32_t codePoint);
inline bool isPunctuation(QChar c) { return isPunctuation(char32_t(c.unicode())); }

// The line starts with one of # ; > = 【 @.
bool isMarkupLine(QStringView line);

// Paired characters in a piece of text, ignoring the markup test.
int countPairedCharacters(QStringView text);
// Paired characters of a lyric line: 0 for a markup line.
int linePairedCount(QStringView line);

// The LineKind of a line: the first of patterns 0, 1, 2, 3, 4, 6, 7, 8 that
// finds a match, else Other. A stray surrogate code unit counts as a
// character that belongs to no class (the compiled patterns refuse such
// text outright, which would turn a whole sung line into Other).
LineKind classify(QStringView line);

// ---- Pairing over a text's lines -------------------------------------------

// Score line index of a lyric position: paired characters before it minus 1
// (those of its own line only when that line is not markup). -1 when none
// precedes it. Negative positions count as 0, positions past the end as the
// end.
int scoreLineAt(const LineSource &lyric, int position);

// Lyric position just after the n-th paired character. n <= 0 gives the
// position of the first paired character of the first non-markup line (its
// start when it has none); n beyond the count gives endPosition().
int positionAfterPaired(const LineSource &lyric, int n);

// All paired characters in document order.
QString pairedText(const LineSource &lyric);

// The n-th (1-based) paired character, or empty when n < 1 or beyond the
// count.
QString pairedCharacterAt(const LineSource &lyric, int n);

// Paired characters of lines first .. last (inclusive, clamped to the text);
// 0 for an empty span.
int pairedCountInLines(const LineSource &lyric, int first, int last);
int pairedCount(const LineSource &lyric);

// Text of score line `index`, empty when there is no such line.
QString scoreLineText(const LineSource &score, int index);

// The line list: exactly one item per lyric line, in order.
LayoutItems layoutItems(const LineSource &lyric, const LineSource &score);

// ---- Text as the panes keep it ----------------------------------------------

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
