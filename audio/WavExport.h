// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace Audio {

struct RenderResult
{
    bool ok = false;
    bool cancelled = false; // progress said stop; message is empty then
    // Notes were played and came out silent: the SoundFont is marked
    // unusable (SoundFonts::setUnusable) and another may be tried.
    bool silent = false;
    QString message;        // for the user when !ok
    double seconds = 0;     // length of the audio written
    // Writing the file failed (rather than the synthesiser), with the
    // system's error number when it was known (else 0).
    bool writeFailed = false;
    int writeError = 0;
};

constexpr int WavSampleRate = 44100;
// What follows the last note off, so that its release and the reverb fade.
constexpr double WavTailSeconds = 1.0;
// Longest sound written: a WAV file counts its bytes in 32 bits, which at
// 44.1 kHz 16-bit stereo is about 6.7 hours.
constexpr double MaxWavSeconds = 6 * 3600.0;

// Renders a Standard MIDI File offline (faster than real time) with the
// SoundFont into a 44.1 kHz 16-bit stereo WAV file written under the name
// path, from its start: the file that SafeWrite opened for the export,
// which replaces the target only when the rendering succeeded.
// progress(fraction 0..1) returning false cancels; a sound that would run
// beyond MaxWavSeconds fails, and notes that were played but cannot be
// heard make the result silent.
// The message for a piece longer than MaxWavSeconds.
QString tooLong();

RenderResult renderWav(const QByteArray &midi, const QString &soundFont, const QString &path,
                       const std::function<bool(double)> &progress = {});

} // namespace Audio
