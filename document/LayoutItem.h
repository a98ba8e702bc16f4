// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LineKind.h"

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
    // Title, Comment, JiaBai, LianBai, QuPai, LineBreak, PageBreak, Lyric
    // or Other; never Punctuation.
    LineKind kind = Other;

    bool operator==(const LayoutItem &other) const
    {
        return kind == other.kind && text == other.text && scores == other.scores;
    }
    bool operator!=(const LayoutItem &other) const { return !(*this == other); }
};

using LayoutItems = QList<LayoutItem>;
