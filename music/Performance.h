// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// A score as music: the options it is played with and its notes with their
// pitch, onset and length, a section per tune. The reading (Reading.h) makes
// one; the MIDI, MusicXML and WAV writers and playback take it.
namespace Music {

// How the notes between two beats share the beat: halved again and again,
// the earlier notes longer (as transcribers write it), or in proportion
// to their weights (triplets and quintuplets where the notes fall so).
enum class Rhythm : quint8 { Halving, Proportional };
constexpr int RhythmCount = 2;

struct Options
{
    double tempo = 60;     // quarter beats per minute, 0 < tempo <= 400
    int transpose = 0;     // semitones, -24..24
    int program = 73;      // General MIDI program, 0-based (73 = flute)
    bool ornaments = true; // play the ornament figures
    Rhythm rhythm = Rhythm::Halving;
};

constexpr double MaxTempo = 400;
constexpr int MaxTranspose = 24;
// Times after quantising are counted in units of 1/96 beat: fine enough
// for the halving's 32nds of a beat and for the thirds (triplets) and
// twelfths of the proportional sharing. 480 MIDI ticks a beat are five
// units.
constexpr int UnitsPerBeat = 96;
// Longest piece in units (about 390 hours at 60 beats a minute), so
// that ticks and units never overflow whatever the notation says.
constexpr int MaxUnits = 1 << 27;

// a / b rounded towards minus infinity (b > 0).
constexpr int floorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Empty when the options can be used, else one line saying what is wrong
// (a tempo outside (0, 400], a transposition beyond ±24 semitones).
QString checkOptions(const Options &options);
// Command-line values: a finite decimal in (0, 400]; a whole number in
// -24..24. False (and *out untouched) otherwise.
bool parseTempo(const QString &text, double *out);
bool parseTranspose(const QString &text, int *out);
// The line that refuses a tempo or a transposition as given by the user.
QString tempoRangeMessage(const QString &given);
QString transposeRangeMessage(const QString &given);
// The command-line and settings names of a rhythm: "halving",
// "proportional", and its label as shown: 对半分, 按比例. parseRhythm is
// false (and *out untouched) for any other text; rhythmRangeMessage
// refuses it.
QString rhythmName(Rhythm rhythm);
QString rhythmLabel(Rhythm rhythm);
bool parseRhythm(const QString &text, Rhythm *out);
QString rhythmRangeMessage(const QString &given);

enum NoteFlag : quint8 { Small = 1, Breath = 2, Ornament = 4 };
// The figure an ornament mark asks for; the first mark on a note wins.
enum class Figure : quint8 { None, DieQiang, CuoQiang, HuoQiang, SouQiang };

struct NoteEvent
{
    int pitch = -1; // MIDI number; -1 = rest (a sung character without notation)
    double onset = 0, length = 0; // beats from the section's first beat mark (may be < 0)
    int onsetUnits = 0, lengthUnits = 0, breathUnits = 0; // UnitsPerBeat, after quantising
    int item = -1, character = -1; // layout item, cursor step in its text
    QString lyric;                 // the character, on its first note only
    quint8 flags = 0;              // NoteFlag bits
    quint8 ornaments = 0;          // bit per ornament mark (1 << (code - 疊腔))
    Figure figure = Figure::None;
    char32_t glyph = 0;

    double weight() const { return (flags & Small) ? 0.5 : 1.0; }
};

// A beat mark and the note it belongs to.
struct BeatMark
{
    int note = 0;
    char32_t code = 0;
};

// A bar: where it starts in the section and how long it is, both whole
// beats in units.
struct Measure
{
    int startUnits = 0, lengthUnits = 0;
    int beats() const { return lengthUnits / UnitsPerBeat; }
    bool operator==(const Measure &other) const
    {
        return startUnits == other.startUnits && lengthUnits == other.lengthUnits;
    }
};

struct Section
{
    QString heading, tuneName, mode; // heading empty before the first tune heading
    int doMidi = 74, fifths = 2;     // after transposition
    int meter = 4;                   // quarter beats per measure: the tune's time signature
    bool zengBan = false, free = false;
    int startUnits = 0, lengthUnits = 0;
    int ignoredMarks = 0, strayCharacters = 0, foldedNotes = 0;
    int droppedNotes = 0; // beyond MaxUnits (absurd input only)
    QList<NoteEvent> notes;
    QList<BeatMark> beatMarks; // in order of the notes
    // The bars, in order, from 0 to lengthUnits without a gap (quantise
    // fills them; empty in a section built by hand: see measuresOf).
    QList<Measure> measures;
};

// The section's bars: its own list when that covers it, else bars of
// `meter` beats from its start to lengthUnits.
QList<Measure> measuresOf(const Section &section);

struct Performance
{
    QString title;
    QList<Section> sections; // sections without notes are left out
    int noteCount() const;   // pitched notes (rests excluded)
};

} // namespace Music
