// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"
#include "music/Performance.h"
#include "render/ExportConfig.h"
#include "render/PageModel.h"

#include <QList>
#include <QString>
#include <QStringList>

class GenerateSVG;

// A score as a numbered-notation (简谱) edition: the reading model's notes
// as digits with octave dots, underlines, dashes and bar lines, the lyric
// under them and the 板眼 above, in horizontal systems on pages of the page
// model. Everything is placed first; the pages are painted by whoever takes
// them (GenerateSVG::adoptPages).
namespace Jianpu {

struct Pages
{
    QList<PageItems> pages; // at least one
    QString title;
    QStringList warnings;   // one sentence each, as the gongche layout gives them
};

// Reads the items as music (Music::read with options) and lays them out on
// pages of the settings.
Pages layout(const LayoutItems &items, const Music::Options &options, const ExportSettings &settings);

// The one call of an export or a preview: lays the items out from a snapshot
// of the generator's settings and hands the pages to it.
void generate(GenerateSVG &generator, const LayoutItems &items, const Music::Options &options);

// How a stretch of a note (or rest) within one measure is written: a digit
// of 96 >> underlines units (one and a half times that when dotted), then
// dashes whole beats more. The stretches of one note are tied.
struct Piece
{
    int onset = 0;      // units from the section start
    int underlines = 0; // 0 quarter, 1 eighth, 2 sixteenth ...
    bool dotted = false;
    int dashes = 0;
    int length() const { return ((Music::UnitsPerBeat >> underlines) * (dotted ? 3 : 2)) / 2
                                + dashes * Music::UnitsPerBeat; }
};

// The written stretches of [onset, onset + length), which lies inside one
// measure (beats fall on whole multiples of UnitsPerBeat): cut at beats; a stretch starting on a beat keeps its whole
// beats as dashes (a rest never does: one 0 a beat), a quarter and an eighth
// make a dotted quarter; what is left of a beat is split into dotted or plain
// values, the longest first. Lengths off the grid of 32nds of a beat (the
// proportional rhythm's tuplets) are written as the nearest shorter value,
// so their pieces may add up to less than the length.
QList<Piece> piecesOf(int onset, int length, bool rest);

} // namespace Jianpu
