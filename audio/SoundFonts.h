// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// General MIDI SoundFonts: the ones Debian installs, and whether a file is
// one FluidSynth can load.
namespace SoundFonts {

// Debian's General MIDI SoundFonts that are installed, best first
// (FluidR3_GM.sf2, then TimGM6mb.sf2).
QStringList systemSoundFonts();

// Whether path is a SoundFont 2 file FluidSynth loads; otherwise *why (when
// given) holds a message for the user.
bool isUsable(const QString &path, QString *why = nullptr);

struct Choice
{
    QString path;    // empty: no usable SoundFont at all
    QString warning; // set when the preferred file was not usable and another was taken
};

// The preferred file when usable (empty: none preferred), else the first
// usable system SoundFont.
Choice choose(const QString &preferred);

} // namespace SoundFonts
