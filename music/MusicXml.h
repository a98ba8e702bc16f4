// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/Performance.h"

#include <QByteArray>

namespace MusicXml {

// A MusicXML 4.0 partwise score: one part for the flute, a key and time
// signature and the tune name at each section, notes tied across bar
// lines and beats, tuplets, and the lyric under each character's notes.
QByteArray encode(const Music::Performance &performance, const Music::Options &options);

} // namespace MusicXml
