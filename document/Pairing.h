// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"
#include "document/LineSource.h"
#include "document/ScoreSyntax.h"

#include <QString>

// Which score line each paired lyric character stands for, over the lines
// of a text (a pane's document or plain strings), and the line list the
// layout reads.
namespace ScoreSyntax {

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

} // namespace ScoreSyntax
