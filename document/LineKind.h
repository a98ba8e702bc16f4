// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Kind of a lyric line; the same integers key the shared pattern table of
// ScoreSyntax and are what tests and stored layouts compare, so the codes
// stay as they are. Code 5 is unused. Punctuation (9) is a pattern of the
// table only: no line ever gets it as its kind.
enum LineKind : int {
    Title = 0,
    Comment = 1,
    JiaBai = 2,
    LianBai = 3,
    QuPai = 4,
    LineBreak = 6,
    PageBreak = 7,
    Lyric = 8,
    Punctuation = 9,
    Other = 10,
};
