// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// General MIDI SoundFonts: the ones Debian installs, and whether a file is
// one FluidSynth can load.
namespace SoundFonts {

// Debian's General MIDI SoundFonts that are installed, best first
// (FluidR3_GM.sf2, then TimGM6mb.sf2). They are looked for in
// /usr/share/sounds/sf2, or in the folder KELVO_SOUNDFONT_DIR names.
QStringList systemSoundFonts();
QString systemFolder();

// Whether path is a SoundFont 2 file FluidSynth loads; otherwise *why (when
// given) holds a message for the user. The header is checked first, so a
// file that is no SoundFont at all costs nothing; a file that passes is
// loaded once (without its samples) and the answer kept while the file's
// size and time stay the same.
bool isUsable(const QString &path, QString *why = nullptr);

// Marks path as unusable for reason (a short phrase, as in the messages
// above) while its size and time stay the same: for what only playing it
// shows, such as notes that come out silent.
void setUnusable(const QString &path, const QString &reason);
// The reason for a SoundFont whose notes came out silent.
QString silentReason();

struct Choice
{
    // Empty: no usable SoundFont at all; warning then says so.
    QString path;
    // Set when the preferred file was not usable and another was taken,
    // or when none is usable.
    QString warning;
};

// The preferred file when usable (empty: none preferred), else the first
// usable system SoundFont.
Choice choose(const QString &preferred);

// Message when no SoundFont can be used.
QString noneUsableMessage();

// Keeps FluidSynth's own log off standard error (the command line stays
// clean): the program reports failures itself, in its own words. Safe to
// call any number of times from any thread.
void quietFluidSynth();

} // namespace SoundFonts
