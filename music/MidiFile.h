// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/Performance.h"

#include <QByteArray>

namespace Midi {

// A Standard MIDI File (type 1, 480 ticks per quarter): a conductor track
// with title, tempo, time and key signatures and a marker per section;
// a melody track with the instrument and a lyric event at the first note
// of each sung character.
QByteArray encode(const Music::Performance &performance, const Music::Options &options);

} // namespace Midi
