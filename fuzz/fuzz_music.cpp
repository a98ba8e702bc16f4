// SPDX-License-Identifier: GPL-3.0-or-later
// The reading model and the two music writers from a random document.
// Input: four bytes of options (tempo, transposition, instrument, then
// ornaments in bit 0 and the rhythm in bit 1; always usable ones, as the
// writers refuse others), then the lyric text
// (UTF-8), a NUL and the score in a compact form: 0xFF ends a line, a byte
// below 0xA0 is the notation symbol U+F0000 + byte (beat marks, ornaments,
// pitches), any other byte the ASCII character byte - 0x80 (stray text).
// Checked: every sound inside its section, in range and after the one
// before; the MIDI file parses (chunk sizes, delta times of at most four
// bytes, every note on ended by its note off); the MusicXML is well formed,
// every bar is full (to its own time), ties join equal pitches, tuplets close
// in their bar and beams close on every level inside the beat they begin in.

#include "FuzzSupport.h"

#include "document/Pairing.h"
#include "music/MidiFile.h"
#include "music/MusicXml.h"
#include "music/Ornaments.h"
#include "music/Reading.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <array>

namespace {

QString scoreText(const QByteArray &compact)
{
    QString text;
    text.reserve(compact.size() * 2);
    for (const char c : compact) {
        const quint8 b = quint8(c);
        if (b == 0xFF)
            text += QLatin1Char('\n');
        else if (b < 0xA0)
            text += QString::fromUcs4(std::array<char32_t, 1>{char32_t(0xF0000 + b)}.data(), 1);
        else
            text += QLatin1Char(char(b - 0x80));
    }
    return text;
}

void checkSounds(const Music::Performance &performance, const Music::Options &options)
{
    int sectionStart = 0;
    for (const Music::Section &section : performance.sections) {
        const QString where = QStringLiteral("section at %1").arg(section.startUnits);
        FUZZ_CHECK(section.startUnits >= sectionStart && section.lengthUnits > 0
                       && section.startUnits + section.lengthUnits <= Music::MaxUnits,
                   where);
        sectionStart = section.startUnits + section.lengthUnits;
        const int first = section.startUnits * Music::TicksPerUnit;
        const int last = sectionStart * Music::TicksPerUnit;
        int previousEnd = first;
        for (const Music::Sound &sound : Music::realise(section, options)) {
            const QString detail = where + QStringLiteral(": sound %1 %2..%3 after %4")
                                               .arg(sound.pitch)
                                               .arg(sound.startTick)
                                               .arg(sound.endTick)
                                               .arg(previousEnd);
            FUZZ_CHECK(sound.pitch >= 0 && sound.pitch <= 127, detail);
            FUZZ_CHECK(sound.startTick >= previousEnd && sound.endTick > sound.startTick
                           && sound.endTick <= last,
                       detail);
            FUZZ_CHECK(sound.note >= 0 && sound.note < section.notes.size(), detail);
            previousEnd = sound.endTick;
        }
    }
}

// Empty when the file is a well-formed Standard MIDI File as the writer
// promises it, else what is wrong.
QString midiProblem(const QByteArray &file)
{
    const auto u8 = [&file](qsizetype i) { return quint8(file.at(i)); };
    const auto be = [&](qsizetype i, int n) {
        quint32 v = 0;
        for (int k = 0; k < n; ++k)
            v = v << 8 | u8(i + k);
        return v;
    };
    if (file.size() < 14 || !file.startsWith("MThd") || be(4, 4) != 6 || be(8, 2) != 1)
        return QStringLiteral("header");
    const int tracks = int(be(10, 2));
    qsizetype at = 14;
    for (int t = 0; t < tracks; ++t) {
        if (at + 8 > file.size() || file.mid(at, 4) != "MTrk")
            return QStringLiteral("track %1 missing").arg(t);
        const qsizetype end = at + 8 + qsizetype(be(at + 4, 4));
        if (end > file.size())
            return QStringLiteral("track %1 size").arg(t);
        at += 8;
        // Reads a variable-length number of at most four bytes inside the track.
        const auto number = [&](quint32 *value) {
            *value = 0;
            for (int n = 0; n < 4 && at < end; ++n) {
                const quint8 b = u8(at++);
                *value = *value << 7 | (b & 0x7F);
                if (!(b & 0x80))
                    return true;
            }
            return false;
        };
        std::array<int, 128> sounding{};
        bool ended = false;
        while (at < end) {
            quint32 delta = 0;
            if (ended)
                return QStringLiteral("track %1: events after its end").arg(t);
            if (!number(&delta))
                return QStringLiteral("track %1: delta time at %2").arg(t).arg(at);
            if (at >= end)
                return QStringLiteral("track %1: cut at %2").arg(t).arg(at);
            const quint8 status = u8(at++);
            if (status == 0xFF) {
                quint32 length = 0;
                if (at >= end)
                    return QStringLiteral("track %1: meta cut").arg(t);
                const quint8 type = u8(at++);
                if (!number(&length) || at + qsizetype(length) > end)
                    return QStringLiteral("track %1: meta length at %2").arg(t).arg(at);
                at += length;
                ended = type == 0x2F;
            } else if ((status & 0xF0) == 0xC0) {
                if (at + 1 > end || (u8(at++) & 0x80))
                    return QStringLiteral("track %1: program").arg(t);
            } else if ((status & 0xF0) == 0x90 || (status & 0xF0) == 0x80) {
                if (at + 2 > end || (u8(at) & 0x80) || (u8(at + 1) & 0x80))
                    return QStringLiteral("track %1: note at %2").arg(t).arg(at);
                const quint8 pitch = u8(at), velocity = u8(at + 1);
                at += 2;
                if ((status & 0xF0) == 0x90 && velocity > 0)
                    ++sounding[pitch];
                else if (--sounding[pitch] < 0)
                    return QStringLiteral("track %1: note off %2 without note on").arg(t).arg(pitch);
            } else {
                return QStringLiteral("track %1: status %2").arg(t).arg(status);
            }
        }
        if (!ended)
            return QStringLiteral("track %1: no end of track").arg(t);
        for (int pitch = 0; pitch < 128; ++pitch)
            if (sounding[size_t(pitch)] != 0)
                return QStringLiteral("track %1: note %2 left sounding").arg(t).arg(pitch);
    }
    if (at != file.size())
        return QStringLiteral("bytes after the tracks");
    return {};
}

// Empty when the MusicXML is well formed with full bars, ties between
// equal pitches, tuplets that close in their bar and beams inside one beat,
// else what is wrong.
QString musicXmlProblem(const QByteArray &bytes)
{
    QXmlStreamReader xml(bytes);
    int divisions = 0, beats = 0, measure = 0, filled = 0;
    bool tieOpen = false, tupletOpen = false;
    QString tiedPitch;
    std::array<int, 9> beamBeat; // per level the beat of its open beam, -1: none
    beamBeat.fill(-1);
    int endedBeat = -1; // a beam ended on the note being read began in this beat
    // The note being read.
    int duration = 0;
    bool rest = false, tieStart = false, tieStop = false;
    QString step, alter, octave;
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringView name = xml.name();
        if (xml.isStartElement()) {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            if (name == QLatin1String("measure")) {
                ++measure;
                filled = 0;
            } else if (name == QLatin1String("divisions")) {
                divisions = xml.readElementText().toInt();
            } else if (name == QLatin1String("beats")) {
                beats = xml.readElementText().toInt();
            } else if (name == QLatin1String("note")) {
                duration = 0;
                rest = tieStart = tieStop = false;
                step.clear();
                alter.clear();
                octave.clear();
            } else if (name == QLatin1String("rest")) {
                rest = true;
            } else if (name == QLatin1String("beam")) {
                const int level = xml.attributes().value(QLatin1String("number")).toInt();
                const QString kind = xml.readElementText();
                if (level < 1 || level >= int(beamBeat.size()) || divisions <= 0)
                    return QStringLiteral("bar %1: beam level %2").arg(measure).arg(level);
                int &open = beamBeat[size_t(level)];
                const bool hook = kind.endsWith(QLatin1String("hook"));
                if (!hook && (kind == QLatin1String("begin")) != (open < 0))
                    return QStringLiteral("bar %1: beam %2 %3 unmatched").arg(measure).arg(level).arg(kind);
                if (kind == QLatin1String("begin"))
                    open = filled / divisions;
                else if (kind == QLatin1String("end")) {
                    endedBeat = open;
                    open = -1;
                }
            } else if (name == QLatin1String("step")) {
                step = xml.readElementText();
            } else if (name == QLatin1String("alter")) {
                alter = xml.readElementText();
            } else if (name == QLatin1String("octave")) {
                octave = xml.readElementText();
            } else if (name == QLatin1String("duration")) {
                duration = xml.readElementText().toInt();
            } else if (name == QLatin1String("tie")) {
                tieStart |= type == QLatin1String("start");
                tieStop |= type == QLatin1String("stop");
            } else if (name == QLatin1String("tuplet")) {
                if ((type == QLatin1String("start")) == tupletOpen)
                    return QStringLiteral("bar %1: tuplet %2 unmatched").arg(measure).arg(type);
                tupletOpen = type == QLatin1String("start");
            } else if (name == QLatin1String("chord") || name == QLatin1String("grace")
                       || name == QLatin1String("backup") || name == QLatin1String("forward")) {
                return QStringLiteral("bar %1: unexpected %2").arg(measure).arg(name);
            }
        } else if (xml.isEndElement()) {
            if (name == QLatin1String("note")) {
                if (duration <= 0)
                    return QStringLiteral("bar %1: note without duration").arg(measure);
                for (const int beat : beamBeat)
                    if (beat >= 0 && (filled + duration - 1) / divisions != beat)
                        return QStringLiteral("bar %1: a beam crosses a beat").arg(measure);
                if (endedBeat >= 0 && (filled + duration - 1) / divisions != endedBeat)
                    return QStringLiteral("bar %1: a beam crosses a beat").arg(measure);
                endedBeat = -1;
                if (rest && std::any_of(beamBeat.begin(), beamBeat.end(), [](int b) { return b >= 0; }))
                    return QStringLiteral("bar %1: a beam over a rest").arg(measure);
                filled += duration;
                const QString pitch = rest ? QString() : step + alter + QLatin1Char('/') + octave;
                if (tieStop != tieOpen || (tieStop && (rest || pitch != tiedPitch)))
                    return QStringLiteral("bar %1: tie stop %2 to %3").arg(measure).arg(pitch, tiedPitch);
                if (tieStart && rest)
                    return QStringLiteral("bar %1: tie from a rest").arg(measure);
                tieOpen = tieStart;
                tiedPitch = pitch;
            } else if (name == QLatin1String("measure")) {
                if (divisions <= 0 || beats <= 0 || filled != divisions * beats)
                    return QStringLiteral("bar %1 holds %2 of %3 x %4")
                        .arg(measure)
                        .arg(filled)
                        .arg(beats)
                        .arg(divisions);
                if (tupletOpen)
                    return QStringLiteral("bar %1: tuplet not closed").arg(measure);
                for (const int beat : beamBeat)
                    if (beat >= 0)
                        return QStringLiteral("bar %1: beam not closed").arg(measure);
            }
        }
    }
    if (xml.hasError())
        return QStringLiteral("not well formed: %1 at line %2")
            .arg(xml.errorString())
            .arg(xml.lineNumber());
    if (tieOpen)
        return QStringLiteral("tie left open");
    if (measure == 0)
        return QStringLiteral("no bar");
    return {};
}

} // namespace

KELVO_FUZZ_TARGET(music)
{
    if (size > 8192)
        return 0;
    Fuzz::init();

    Fuzz::Reader in(data, size);
    Music::Options options;
    options.tempo = 400.0 * (in.byte() + 1) / 256;
    options.transpose = in.byte() % (2 * Music::MaxTranspose + 1) - Music::MaxTranspose;
    options.program = in.byte() & 0x7F;
    const quint8 switches = in.byte();
    options.ornaments = !(switches & 1);
    options.rhythm = switches & 2 ? Music::Rhythm::Proportional : Music::Rhythm::Halving;
    const QByteArray rest = in.rest();
    const qsizetype nul = rest.indexOf('\0');
    const PlainLines lyric(QString::fromUtf8(nul < 0 ? rest : rest.left(nul)));
    const PlainLines score(nul < 0 ? QString() : scoreText(rest.mid(nul + 1)));
    const Music::Performance performance = Music::read(ScoreSyntax::layoutItems(lyric, score), options);
    if (performance.noteCount() == 0)
        return 0; // the writers refuse it

    checkSounds(performance, options);
    const QString midi = midiProblem(Midi::encode(performance, options));
    FUZZ_CHECK(midi.isEmpty(), midi);
    const QString musicXml = musicXmlProblem(MusicXml::encode(performance, options));
    FUZZ_CHECK(musicXml.isEmpty(), musicXml);
    return 0;
}
