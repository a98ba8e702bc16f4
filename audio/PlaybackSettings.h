// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class QSettings;

namespace Music {
struct Options;
enum class Rhythm : quint8;
} // namespace Music

// What the transport plays with, kept in settings.ini under [playback].
struct PlaybackSettings
{
    enum Instrument { Flute, Xiao, Voice, Piano };
    static constexpr int InstrumentCount = 4;
    static constexpr int MinTempo = 30, MaxTempo = 200, DefaultTempo = 60;
    static constexpr int MaxTranspose = 12;

    int tempo = DefaultTempo;     // quarter beats a minute, 30..200
    int transpose = 0;            // semitones, -12..12
    Instrument instrument = Flute;
    QString soundFont;            // empty: Debian's
    bool loop = false;            // loop the selected characters
    Music::Rhythm rhythm{};       // how notes share a beat (halving)

    static int program(Instrument instrument); // General MIDI, 0-based
    static QString name(Instrument instrument); // 笛 箫 人声 钢琴

    // The options a performance is read and played with, from the
    // transport's or the export form's values. Without an instrument the
    // program stays the default (a MIDI file is not heard here).
    static Music::Options musicOptions(double tempo, int transpose, Music::Rhythm rhythm,
                                       bool ornaments = true,
                                       std::optional<Instrument> instrument = std::nullopt);

    // Values outside their range read as defaults.
    static PlaybackSettings load(QSettings &settings);
    void save(QSettings &settings) const;
};
