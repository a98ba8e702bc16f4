// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlaybackSettings.h"

#include "core/SettingsTable.h"
#include "core/SettingsValues.h"
#include "music/Performance.h"

#include <QSettings>

#include <algorithm>
#include <iterator>

namespace {

const QString Group = QStringLiteral("playback");

struct InstrumentInfo
{
    const char *key;  // as written in the file
    const char *name; // as shown
    int program;      // General MIDI, 0-based
};

// Flute, shakuhachi (the nearest General MIDI has to a xiao), choir "aah",
// acoustic grand piano.
const InstrumentInfo Instruments[PlaybackSettings::InstrumentCount] = {
    {"flute", "笛", 73},
    {"xiao", "箫", 77},
    {"voice", "人声", 52},
    {"piano", "钢琴", 0},
};

bool validInstrument(int instrument)
{
    return instrument >= 0 && instrument < PlaybackSettings::InstrumentCount;
}

using SettingsTable::Key;
using SettingsTable::OutOfRange;
using SettingsTable::Type;

enum { Tempo, Transpose, InstrumentKey, SoundFont, Loop, RhythmKey };

// The [playback] keys in save order. A number outside its range, and a loop
// switch other than 0 or 1, read as the default.
const Key Keys[] = {
    {"tempo", Type::Int, "60", 0, PlaybackSettings::MinTempo, PlaybackSettings::MaxTempo,
     OutOfRange::Default},
    {"transpose", Type::Int, "0", 0, -PlaybackSettings::MaxTranspose,
     PlaybackSettings::MaxTranspose, OutOfRange::Default},
    {"instrument", Type::Text, "flute"},
    {"soundFont", Type::Text, ""},
    {"loop", Type::Bool, "false", 0, 0, 1, OutOfRange::Default},
    {"rhythm", Type::Text, "halving"},
};

QVariant read(QSettings &settings, int k)
{
    const QString name = QString::fromLatin1(Keys[k].name);
    const QString text = SettingsValues::text(settings, name);
    return SettingsTable::clean(Keys[k], text, text, SettingsTable::defaultValue(Keys[k]));
}

} // namespace

Music::Options PlaybackSettings::musicOptions(double tempo, int transpose, Music::Rhythm rhythm,
                                              bool ornaments, std::optional<Instrument> instrument)
{
    Music::Options options;
    options.tempo = tempo;
    options.transpose = transpose;
    options.rhythm = rhythm;
    options.ornaments = ornaments;
    if (instrument)
        options.program = program(*instrument);
    return options;
}

int PlaybackSettings::program(Instrument instrument)
{
    return validInstrument(instrument) ? Instruments[instrument].program : Instruments[Flute].program;
}

QString PlaybackSettings::name(Instrument instrument)
{
    return QString::fromUtf8(validInstrument(instrument) ? Instruments[instrument].name
                                                         : Instruments[Flute].name);
}

PlaybackSettings PlaybackSettings::load(QSettings &settings)
{
    PlaybackSettings result;
    settings.beginGroup(Group);
    result.tempo = read(settings, Tempo).toInt();
    result.transpose = read(settings, Transpose).toInt();

    // The key word, or the name as shown, so a hand edit with 箫 works too.
    const QString instrument = read(settings, InstrumentKey).toString();
    for (int i = 0; i < InstrumentCount; ++i) {
        if (instrument.compare(QLatin1String(Instruments[i].key), Qt::CaseInsensitive) == 0
            || instrument == QString::fromUtf8(Instruments[i].name))
            result.instrument = Instrument(i);
    }

    result.soundFont = read(settings, SoundFont).toString();
    result.loop = read(settings, Loop).toBool();
    // A word other than the rhythms' names reads as the default.
    Music::parseRhythm(read(settings, RhythmKey).toString(), &result.rhythm);
    settings.endGroup();
    return result;
}

void PlaybackSettings::save(QSettings &settings) const
{
    const QVariant values[] = {
        std::clamp(tempo, int(MinTempo), int(MaxTempo)),
        std::clamp(transpose, -int(MaxTranspose), int(MaxTranspose)),
        QLatin1String(Instruments[validInstrument(instrument) ? instrument : Flute].key),
        soundFont,
        loop,
        Music::rhythmName(rhythm),
    };
    static_assert(std::size(values) == std::size(Keys), "one value per key");
    settings.beginGroup(Group);
    for (int k = 0; k < int(std::size(Keys)); ++k)
        settings.setValue(QString::fromLatin1(Keys[k].name), values[k]);
    settings.endGroup();
}
