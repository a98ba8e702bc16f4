// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"

#include <QList>
#include <QString>
#include <QStringView>

// Reading a score as music: the notes of each sung character with their
// pitch, onset and length in beats. Nothing here draws; the MIDI and
// MusicXML writers build on the result.
namespace Music {

struct Options
{
    double tempo = 60;     // quarter beats per minute, 0 < tempo <= 400
    int transpose = 0;     // semitones, -24..24
    int program = 73;      // General MIDI program, 0-based (73 = flute)
    bool ornaments = true; // play the ornament figures
};

constexpr double MaxTempo = 400;
constexpr int MaxTranspose = 24;
// Times after quantising are counted in units of a twelfth of a beat: fine
// enough for both halves and thirds (triplets) of a beat.
constexpr int UnitsPerBeat = 12;
// Longest piece in units (about 390 hours at 60 beats a minute), so
// that ticks and units never overflow whatever the notation says.
constexpr int MaxUnits = 1 << 24;

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

enum NoteFlag : quint8 { Small = 1, Breath = 2, Ornament = 4 };
// The figure an ornament mark asks for; the first mark on a note wins.
enum class Figure : quint8 { None, DieQiang, CuoQiang, HuoQiang, SouQiang };
// A beat mark beside a note puts the beat at the note's start; a waist
// mark or 底板 puts it inside the note.
enum class AnchorKind : quint8 { Start, Inside };

AnchorKind anchorKind(char32_t mark);

struct NoteEvent
{
    int pitch = -1; // MIDI number; -1 = rest (a sung character without notation)
    double onset = 0, length = 0; // beats from the section's first beat mark (may be < 0)
    int onsetUnits = 0, lengthUnits = 0, breathUnits = 0; // 1/12 beat, after quantising
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

struct Section
{
    QString heading, tuneName, mode; // heading empty before the first tune heading
    int doMidi = 74, fifths = 2;     // after transposition
    int meter = 4;                   // quarter beats per measure
    bool zengBan = false, free = false;
    int startUnits = 0, lengthUnits = 0;
    int ignoredMarks = 0, strayCharacters = 0, foldedNotes = 0;
    int droppedNotes = 0; // beyond MaxUnits (absurd input only)
    QList<NoteEvent> notes;
    QList<BeatMark> beatMarks; // in order of the notes
};

struct Performance
{
    QString title;
    QList<Section> sections; // sections without notes are left out
    int noteCount() const;   // pitched notes (rests excluded)
};

// Splits a tune heading 【name】(mode) (either paren width) into its parts;
// false when the line is no heading.
bool parseHeading(QStringView line, QString *tuneName, QString *mode);

// Adds one sung character's notes and marks to the section. A character
// without any pitch glyph sounds as a rest of one note (so its marks have a
// note to sit on) when it is an ideograph, and adds nothing otherwise.
// Marks attach to the last note of the section; marks before its first
// note are dropped and counted.
void appendCharacter(Section &section, QStringView notation, int item, int character,
                     const QString &lyric, bool ideograph);

// Positions (in note weights from the section start) of the beats the
// marks anchor, strictly increasing. Several marks on one note share it
// evenly: from its start when the first is a start mark, else spread
// inside it.
QList<double> anchorPositions(const Section &section);

// Onsets and lengths in beats from the anchors: linear between anchors,
// the first/last beat's density outside them, one weight per beat with a
// single anchor, one beat per note without any (then the section is
// free). The last note lasts to the next whole beat.
void mapBeats(Section &section);

// Whether a beat mark starts a measure: 头板 (and 腰板) in an ordinary
// section, 赠板 (and 腰赠板) in a section that has 赠板.
bool isMeasureStart(char32_t mark, bool zengBan);

// Quarter beats per measure from the beats on which measures start: the
// most common gap among 1, 2, 4 and 8; 4 when nothing votes.
int meterOf(const QList<double> &measureStartBeats);

// Fixes the section's meter and bars and rounds onsets and lengths to
// 1/12 beat (onsetUnits, lengthUnits, breathUnits; lengthUnits of the
// section a whole number of measures), so that every writer agrees.
// Bars start on the first measure start; a pickup is padded to a whole
// leading measure. Boundaries inside a beat snap to sixteenths, triplet
// eighths, sextuplet sixteenths or 1/12 beat, the first that moves none
// by more than 1/12 beat and keeps notes apart. Guaranteed: onsetUnits
// >= 0 and strictly increasing, each note ends by the next onset and the
// last by lengthUnits of the section, a multiple of 12 * meter, and
// 0 <= breathUnits < lengthUnits. A note longer than 64 beats is
// shortened by whole measures.
void quantise(Section &section);

// The whole document, a section per tune heading, mapped and quantised
// (startUnits of each section follow on from the one before).
Performance read(const LayoutItems &items, const Options &options);

} // namespace Music
