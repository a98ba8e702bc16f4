// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlaybackSettings.h"

#include "core/SettingsValues.h"
#include "music/Reading.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

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

// A whole number in [low, high] written as a number (a decimal is rounded);
// anything else (text, NaN, infinities, out of range) gives fallback.
int boundedNumber(const QString &text, int low, int high, int fallback)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return fallback;
    const double rounded = std::round(value);
    return rounded >= low && rounded <= high ? int(rounded) : fallback;
}

} // namespace

Music::Options PlaybackSettings::musicOptions(double tempo, int transpose, bool ornaments,
                                              std::optional<Instrument> instrument)
{
    Music::Options options;
    options.tempo = tempo;
    options.transpose = transpose;
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
    result.tempo = boundedNumber(SettingsValues::text(settings, QStringLiteral("tempo")), MinTempo,
                                 MaxTempo, DefaultTempo);
    result.transpose = boundedNumber(SettingsValues::text(settings, QStringLiteral("transpose")),
                                     -MaxTranspose, MaxTranspose, 0);

    // The key word, or the name as shown, so a hand edit with 箫 works too.
    const QString instrument = SettingsValues::text(settings, QStringLiteral("instrument"));
    for (int i = 0; i < InstrumentCount; ++i) {
        if (instrument.compare(QLatin1String(Instruments[i].key), Qt::CaseInsensitive) == 0
            || instrument == QString::fromUtf8(Instruments[i].name))
            result.instrument = Instrument(i);
    }

    result.soundFont = SettingsValues::text(settings, QStringLiteral("soundFont"));

    const QString loop = SettingsValues::text(settings, QStringLiteral("loop")).toLower();
    result.loop = loop == QLatin1String("true") || loop == QLatin1String("1");
    settings.endGroup();
    return result;
}

void PlaybackSettings::save(QSettings &settings) const
{
    settings.beginGroup(Group);
    settings.setValue(QStringLiteral("tempo"), std::clamp(tempo, int(MinTempo), int(MaxTempo)));
    settings.setValue(QStringLiteral("transpose"),
                      std::clamp(transpose, -int(MaxTranspose), int(MaxTranspose)));
    settings.setValue(QStringLiteral("instrument"),
                      QLatin1String(Instruments[validInstrument(instrument) ? instrument : Flute].key));
    settings.setValue(QStringLiteral("soundFont"), soundFont);
    settings.setValue(QStringLiteral("loop"), loop);
    settings.endGroup();
}
