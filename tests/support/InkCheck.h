// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The printed page read as a copyist checks it, over the page model, and
// the documents it is checked on. Shared by the checks of the gongche and
// the numbered-notation pages.

#include "document/LayoutItem.h"
#include "render/PageModel.h"

#include <QList>
#include <QSize>
#include <QStringList>

namespace InkCheck {

// Ink closer than this is antialiasing, not a collision.
constexpr qreal Tolerance = 0.5;

// What a reader would object to, one line each: ink of two owners (layout
// item and cell) that overlaps, ink off the page, and a notation column
// running more than a quarter of lyricLine past the top of the next
// character of its column.
QStringList faults(const QList<PageItems> &pages, QSize pageSize, int lyricLine);

// The bundled sample's line list, as the editor pairs it.
LayoutItems bundledSample();

// An aria as real transcriptions have it: up to maxSymbols symbols on a
// character, several beat marks on one note, waist marks, ornaments, 底板
// at phrase ends; headings, spoken lines, column and page breaks between.
LayoutItems denseAria(quint32 seed, int maxSymbols = 12);

} // namespace InkCheck
