// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/Performance.h"

#include <QList>

// How the ornament marks sound: short figures that take their time from
// the end or the middle of the note they belong to. Only the sound is
// changed; onsets of other notes never move.
namespace Music {

constexpr int TicksPerQuarter = 480;
constexpr int TicksPerUnit = TicksPerQuarter / UnitsPerBeat;

struct Sound
{
    int pitch = 0;
    int startTick = 0, endTick = 0; // from the start of the piece
    int note = -1;                  // index of the note in its section
};

// The sounds of a section's pitched notes in order, breath rests left
// out, the figures played when options.ornaments is set.
QList<Sound> realise(const Section &section, const Options &options);

} // namespace Music
