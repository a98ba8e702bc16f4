// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the layout's files share: bounds on lengths and the cells of a text.

#include <QList>
#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace LayoutCells {

// Settings come from schemes that can hold any number. Every length the
// layout adds up is kept within this bound so that sums of a few of them
// never overflow an int; a page of 100,000 points is 35 metres wide.
constexpr int LengthLimit = 100000;

inline int bounded(int value)
{
    return qBound(-LengthLimit, value, LengthLimit);
}

// The cells of a text: one per grapheme cluster, the same steps the paired
// editor uses for a lyric line's score list.
QList<QStringView> cellsOf(QStringView text);
bool isPunctuationCell(QStringView cell);
// Whether a cell carries notation (an ideograph or a space).
bool passesLyricCellTest(QStringView cell);
// A cell's text with punctuation turned into its vertical form.
QString verticalCell(QStringView cell);

} // namespace LayoutCells
