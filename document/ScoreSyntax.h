// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LineKind.h"

#include <QRegularExpression>
#include <QString>
#include <QStringView>

// The syntax of a score's lines: the pattern table, which characters pair
// with a score line, and the kind of a line. Pairing over whole texts is in
// document/Pairing.h, the text as the panes keep it in
// document/TextNormalisation.h.
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

} // namespace ScoreSyntax
