// SPDX-License-Identifier: GPL-3.0-or-later
// Written by hand: Debian offers no well-kept C++ writer of Standard MIDI
// Files that a Qt 6 program can use (libsmf is C with GLib and unmaintained
// since 2010; drumstick-file links Qt 5). The format needs only variable-
// length numbers, two chunks and a handful of meta events.

#include "MidiFile.h"

#include "music/Ornaments.h"

#include <QtEndian>

#include <algorithm>

namespace Midi {

namespace {

constexpr quint8 Velocity = 80;
constexpr quint8 MelodyChannel = 0;

// What happens at one tick, in the order events at the same tick are
// written: a note ends before the lyric of the next character, and the
// lyric comes before the note it belongs to.
enum class Kind : quint8 { NoteOff, Lyric, NoteOn };

struct Event
{
    int tick = 0;
    Kind kind = Kind::NoteOn;
    quint8 pitch = 0;
    int lyric = -1; // index into the lyric texts
};

void appendNumber(QByteArray &out, quint32 value)
{
    // Variable-length quantity: seven bits a byte, most significant first,
    // the high bit set on every byte but the last.
    char bytes[5];
    int n = 0;
    bytes[n++] = char(value & 0x7F);
    while (value >>= 7)
        bytes[n++] = char(0x80 | (value & 0x7F));
    while (n > 0)
        out.append(bytes[--n]);
}

// A delta time is at most four bytes of seven bits: a longer gap (a very
// long piece) is bridged by empty text events, which no reader sounds.
constexpr int MaxDelta = 0x0FFFFFFF;

void appendDelta(QByteArray &out, int delta)
{
    delta = std::max(delta, 0);
    for (; delta > MaxDelta; delta -= MaxDelta) {
        appendNumber(out, MaxDelta);
        out.append("\xFF\x01\x00", 3);
    }
    appendNumber(out, quint32(delta));
}

void appendMeta(QByteArray &out, int delta, quint8 type, const QByteArray &data)
{
    appendDelta(out, delta);
    out.append(char(0xFF));
    out.append(char(type));
    appendNumber(out, quint32(data.size()));
    out.append(data);
}

void appendChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    out.append(type, 4);
    char size[4];
    qToBigEndian(quint32(data.size()), size);
    out.append(size, 4);
    out.append(data);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray data;
    for (int v : values)
        data.append(char(v));
    return data;
}

// Track 0: title, tempo, at each section its time and key signature and a
// marker with its heading, and a time signature wherever a bar changes
// the length.
QByteArray conductorTrack(const Music::Performance &performance, const Music::Options &options,
                          int endTick)
{
    QByteArray track;
    if (!performance.title.isEmpty())
        appendMeta(track, 0, 0x03, performance.title.toUtf8());
    const double tempo = options.tempo > 0 ? options.tempo : 60;
    const quint32 microseconds = quint32(std::clamp(qRound64(60e6 / tempo), qint64(1), qint64(0xFFFFFF)));
    appendMeta(track, 0, 0x51,
               bytes({int(microseconds >> 16) & 0xFF, int(microseconds >> 8) & 0xFF,
                      int(microseconds) & 0xFF}));
    // Quarter-note beats: denominator 2^2, a click every quarter, eight
    // 32nds a quarter.
    auto time = [](int beats) { return bytes({std::clamp(beats, 1, 255), 2, 24, 8}); };
    int tick = 0;
    for (const Music::Section &section : performance.sections) {
        const int at = section.startUnits * Music::TicksPerUnit;
        const QList<Music::Measure> bars = Music::measuresOf(section);
        int shown = bars.first().beats();
        appendMeta(track, at - tick, 0x58, time(shown));
        appendMeta(track, 0, 0x59, bytes({std::clamp(section.fifths, -7, 7) & 0xFF, 0}));
        if (!section.heading.isEmpty())
            appendMeta(track, 0, 0x06, section.heading.toUtf8());
        tick = std::max(tick, at);
        for (const Music::Measure &bar : bars) {
            if (bar.beats() == shown)
                continue;
            shown = bar.beats();
            const int barTick = at + bar.startUnits * Music::TicksPerUnit;
            appendMeta(track, barTick - tick, 0x58, time(shown));
            tick = std::max(tick, barTick);
        }
    }
    appendMeta(track, endTick - tick, 0x2F, QByteArray());
    return track;
}

// Track 1: the instrument, then the lyric and the sounds of every note.
QByteArray melodyTrack(const Music::Performance &performance, const Music::Options &options,
                       int endTick)
{
    QList<Event> events;
    QList<QByteArray> lyrics;
    for (const Music::Section &section : performance.sections) {
        for (const Music::NoteEvent &note : section.notes) {
            if (note.lyric.isEmpty())
                continue;
            const int tick = (section.startUnits + note.onsetUnits) * Music::TicksPerUnit;
            events.append({tick, Kind::Lyric, 0, int(lyrics.size())});
            lyrics.append(note.lyric.toUtf8());
        }
        const QList<Music::Sound> sounds = Music::realise(section, options);
        for (const Music::Sound &sound : sounds) {
            if (sound.endTick <= sound.startTick || sound.startTick < 0)
                continue;
            const quint8 pitch = quint8(std::clamp(sound.pitch, 0, 127));
            events.append({sound.startTick, Kind::NoteOn, pitch, -1});
            events.append({sound.endTick, Kind::NoteOff, pitch, -1});
        }
    }
    // Stable: at one tick and kind the notes keep the order of the score.
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        return a.tick != b.tick ? a.tick < b.tick : a.kind < b.kind;
    });

    QByteArray track;
    track.reserve(events.size() * 5 + 64);
    appendMeta(track, 0, 0x03, QByteArrayLiteral("笛"));
    appendNumber(track, 0);
    track.append(char(0xC0 | MelodyChannel));
    track.append(char(std::clamp(options.program, 0, 127)));
    int tick = 0;
    for (const Event &event : std::as_const(events)) {
        const int delta = event.tick - tick;
        tick = event.tick;
        switch (event.kind) {
        case Kind::Lyric:
            appendMeta(track, delta, 0x05, lyrics.at(event.lyric));
            break;
        case Kind::NoteOn:
        case Kind::NoteOff:
            appendDelta(track, delta);
            track.append(char((event.kind == Kind::NoteOn ? 0x90 : 0x80) | MelodyChannel));
            track.append(char(event.pitch));
            track.append(char(event.kind == Kind::NoteOn ? Velocity : 0));
            break;
        }
    }
    appendMeta(track, std::max(endTick - tick, 0), 0x2F, QByteArray());
    return track;
}

} // namespace

QByteArray encode(const Music::Performance &performance, const Music::Options &options)
{
    // Both tracks end together, after the last section's closing rest.
    int endTick = 0;
    for (const Music::Section &section : performance.sections) {
        endTick = std::max(endTick, (section.startUnits + section.lengthUnits) * Music::TicksPerUnit);
        for (const Music::NoteEvent &note : section.notes)
            endTick = std::max(endTick, (section.startUnits + note.onsetUnits + note.lengthUnits)
                                            * Music::TicksPerUnit);
    }

    QByteArray file;
    file.reserve(1024);
    // Format 1, two tracks, 480 ticks per quarter note.
    appendChunk(file, "MThd",
                bytes({0, 1, 0, 2, Music::TicksPerQuarter >> 8, Music::TicksPerQuarter & 0xFF}));
    appendChunk(file, "MTrk", conductorTrack(performance, options, endTick));
    appendChunk(file, "MTrk", melodyTrack(performance, options, endTick));
    return file;
}

} // namespace Midi
