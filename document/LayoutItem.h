// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One lyric line as rendering sees it.
struct LayoutItem
{
    // The line exactly as typed in the lyric pane.
    QString text;
    // Lyric lines only: one entry per cursor step (grapheme cluster) of
    // `text`; a paired character carries the text of its score line, every
    // other character the empty string. Empty for every other kind.
    QStringList scores;
    // A LineKind code (0, 1, 2, 3, 4, 6, 7, 8 or 10).
    int kind = 10;

    bool operator==(const LayoutItem &other) const
    {
        return kind == other.kind && text == other.text && scores == other.scores;
    }
    bool operator!=(const LayoutItem &other) const { return !(*this == other); }
};

using LayoutItems = QList<LayoutItem>;
