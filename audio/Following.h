// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/Performance.h"

#include <QList>

// Which sung character sounds at a given moment of the performance, so the
// editor can follow playback.
namespace Audio {

struct Cue
{
    int startTick = 0, endTick = 0; // from the first note of the character to the end of its last
    int item = -1, character = -1;  // lyric line and cursor step in it
};

// One cue per sung character that has notes, in time order.
QList<Cue> cues(const Music::Performance &performance);

// The cue sounding at tick (the last one started at or before it), -1
// before the first.
int cueAt(const QList<Cue> &cues, int tick);

// Where to start playing from the character at (item, character): its cue,
// or the next one after it; 0 when none follows.
int startTickFor(const QList<Cue> &cues, int item, int character);

} // namespace Audio
