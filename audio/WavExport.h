// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace Audio {

struct RenderResult
{
    bool ok = false;
    QString message;    // for the user when !ok
    double seconds = 0; // length of the audio written
};

// Renders a Standard MIDI File offline (faster than real time) with the
// SoundFont into a 44.1 kHz 16-bit stereo WAV file, replacing path only by
// a complete file. progress(fraction 0..1) returning false cancels.
RenderResult renderWav(const QByteArray &midi, const QString &soundFont, const QString &path,
                       const std::function<bool(double)> &progress = {});

} // namespace Audio
