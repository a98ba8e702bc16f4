// SPDX-License-Identifier: GPL-3.0-or-later
#include "Performance.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace Music {

int Performance::noteCount() const
{
    int count = 0;
    for (const Section &section : sections)
        for (const NoteEvent &note : section.notes)
            count += note.pitch >= 0;
    return count;
}

QString tempoRangeMessage(const QString &given)
{
    return QStringLiteral("tempo \"%1\" is not usable (beats per minute above 0, at most 400)")
        .arg(given);
}

QString transposeRangeMessage(const QString &given)
{
    return QStringLiteral(
               "transpose \"%1\" is not usable (a whole number of semitones from -24 to 24)")
        .arg(given);
}

namespace {

// The rhythms in the order of Rhythm: the word of the command line and of
// settings.ini, and the label the transport and the export form show.
struct RhythmInfo
{
    const char *name;
    const char *label;
};
const RhythmInfo Rhythms[RhythmCount] = {
    {"halving", "对半分"},
    {"proportional", "按比例"},
};

const RhythmInfo &infoOf(Rhythm rhythm)
{
    const int i = int(rhythm);
    return Rhythms[i >= 0 && i < RhythmCount ? i : 0];
}

} // namespace

QString rhythmName(Rhythm rhythm)
{
    return QString::fromLatin1(infoOf(rhythm).name);
}

QString rhythmLabel(Rhythm rhythm)
{
    return QString::fromUtf8(infoOf(rhythm).label);
}

bool parseRhythm(const QString &text, Rhythm *out)
{
    for (int i = 0; i < RhythmCount; ++i) {
        if (text.trimmed() == QLatin1String(Rhythms[i].name)) {
            if (out)
                *out = Rhythm(i);
            return true;
        }
    }
    return false;
}

QString rhythmRangeMessage(const QString &given)
{
    return QStringLiteral("rhythm \"%1\" is not usable (halving or proportional)").arg(given);
}

QList<Measure> measuresOf(const Section &section)
{
    const QList<Measure> &own = section.measures;
    int end = 0;
    bool covers = !own.isEmpty();
    for (const Measure &m : own) {
        covers = covers && m.startUnits == end && m.lengthUnits > 0
              && m.lengthUnits % UnitsPerBeat == 0;
        end += m.lengthUnits;
    }
    if (covers && end == section.lengthUnits)
        return own;
    QList<Measure> regular;
    const int length = std::max(1, section.meter) * UnitsPerBeat;
    for (int at = 0; at < section.lengthUnits || regular.isEmpty(); at += length)
        regular.append({at, length});
    return regular;
}

QString checkOptions(const Options &options)
{
    if (!(std::isfinite(options.tempo) && options.tempo > 0 && options.tempo <= MaxTempo))
        return tempoRangeMessage(QString::number(options.tempo));
    if (options.transpose < -MaxTranspose || options.transpose > MaxTranspose)
        return transposeRangeMessage(QString::number(options.transpose));
    if (options.program < 0 || options.program > 127)
        return QStringLiteral("program \"%1\" is not usable (a General MIDI program from 0 to 127)")
            .arg(options.program);
    if (int(options.rhythm) >= RhythmCount)
        return rhythmRangeMessage(QString::number(int(options.rhythm)));
    return QString();
}

bool parseTempo(const QString &text, double *out)
{
    // Plain decimals only: no exponent, no "inf"/"nan", no hex.
    static const QRegularExpression decimal(QStringLiteral("^\\+?(\\d+\\.?\\d*|\\.\\d+)$"));
    const QString trimmed = text.trimmed();
    if (!decimal.match(trimmed).hasMatch())
        return false;
    bool ok = false;
    const double tempo = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(tempo) || tempo <= 0 || tempo > MaxTempo)
        return false;
    if (out)
        *out = tempo;
    return true;
}

bool parseTranspose(const QString &text, int *out)
{
    static const QRegularExpression whole(QStringLiteral("^[+-]?\\d{1,9}$"));
    const QString trimmed = text.trimmed();
    if (!whole.match(trimmed).hasMatch())
        return false;
    const int semitones = trimmed.toInt();
    if (semitones < -MaxTranspose || semitones > MaxTranspose)
        return false;
    if (out)
        *out = semitones;
    return true;
}

} // namespace Music
