// SPDX-License-Identifier: GPL-3.0-or-later
#include "MusicXml.h"

#include "core/Version.h"
#include "document/GongcheSymbols.h"
#include "music/PitchTable.h"

#include <QBuffer>
#include <QHash>
#include <QXmlStreamWriter>

#include <algorithm>
#include <array>
#include <vector>

namespace MusicXml {

namespace {

// Durations are counted in the reading's units (Music::UnitsPerBeat to a
// quarter beat); that is also the MusicXML <divisions> value, so every
// duration is a whole number.
constexpr int kBeat = Music::UnitsPerBeat;

// How the notes inside one beat are written: plain sixteenths, or a tuplet
// whose smallest step is the grid (in units).
struct Grid
{
    int actual = 1, normal = 1; // time-modification, 1:1 when plain
    int normalType = -1;        // index in typeName()
};
constexpr Grid kPlain{};
constexpr Grid kTriplet{3, 2, 4};
constexpr Grid kSextuplet{6, 4, 3};
constexpr Grid kTwelve{12, 8, 2};

// Note type names, shortest first; kept as strings so that writing a note
// allocates nothing.
const QString &typeName(int index)
{
    static const QString names[] = {QStringLiteral("128th"),   QStringLiteral("64th"),
                                    QStringLiteral("32nd"),    QStringLiteral("16th"),
                                    QStringLiteral("eighth"),  QStringLiteral("quarter"),
                                    QStringLiteral("half"),    QStringLiteral("whole"),
                                    QStringLiteral("breve")};
    return names[index];
}
// The index of the quarter in typeName(): shorter values carry one beam
// more for each halving.
int quarterType()
{
    static const int index = [] {
        int i = 0;
        while (typeName(i) != QLatin1String("quarter"))
            ++i;
        return i;
    }();
    return index;
}

// A stretch of one sounding note or of silence, cut at beats and bar lines.
struct Piece
{
    int start = 0, length = 0; // units from the section start
    int pitch = -1;            // -1: rest
    int note = -1;             // index in the section's notes; -1 for a filling rest
    bool first = true, last = true; // first / last piece of its note's sound
    const Grid *grid = &kPlain;
    bool tupletStart = false, tupletStop = false;
    int beams = -1; // index of its first written note's beams, -1: none
};

// How one beam level reaches a written note: three bits a level, level 1
// in the lowest bits.
enum Beam : quint32 { NoBeam, BeamBegin, BeamContinue, BeamEnd, ForwardHook, BackwardHook };
constexpr int kBeamBits = 3;
constexpr int kMaxBeamLevels = 8; // MusicXML's beam levels

Beam beamAt(quint32 beams, int level)
{
    return Beam((beams >> (kBeamBits * (level - 1))) & ((1u << kBeamBits) - 1));
}

const QString &beamName(Beam beam)
{
    static const QString names[] = {QString(),
                                    QStringLiteral("begin"),
                                    QStringLiteral("continue"),
                                    QStringLiteral("end"),
                                    QStringLiteral("forward hook"),
                                    QStringLiteral("backward hook")};
    return names[beam];
}

// Note values in units (a 128th note is 3): the type name and number of
// dots, no type when one note cannot show that value.
struct Value
{
    int type = -1; // index in typeName(), -1: none
    int dots = 0;
};
constexpr int kMaxValue = 8 * kBeat * 2;

const std::array<Value, kMaxValue + 1> &values()
{
    static const std::array<Value, kMaxValue + 1> table = [] {
        std::array<Value, kMaxValue + 1> t;
        t.fill(Value{-1, 0}); // spelt out: GCC 12 leaves most of t{} zeroed here
        for (int name = 0, length = kBeat / 32; length <= 8 * kBeat; ++name, length *= 2) {
            t[length] = {name, 0};
            if (length % 2 == 0 && length * 3 / 2 <= kMaxValue)
                t[length * 3 / 2] = {name, 1};
            if (length % 4 == 0 && length * 7 / 4 <= kMaxValue)
                t[length * 7 / 4] = {name, 2};
        }
        return t;
    }();
    return table;
}

// Written (nominal) value of a piece of the given units; -1 when the
// tuplet cannot show it as a whole number of units.
int nominal(int units, const Grid &grid)
{
    return units * grid.actual % grid.normal ? -1 : units * grid.actual / grid.normal;
}

// The longest part of `left` units that one written value shows (a
// piece is written as such parts, tied).
int writtenPart(int left, const Grid &grid)
{
    const auto &table = values();
    auto shown = [&](int units) {
        const int value = nominal(units, grid);
        return value > 0 && value <= kMaxValue && table[size_t(value)].type >= 0;
    };
    int take = left;
    while (take > 1 && !shown(take))
        --take;
    return take;
}

// Beams a written value carries: one for an eighth, two for a sixteenth ...
int beamLevels(int units, const Grid &grid)
{
    const int value = nominal(units, grid);
    const int type = value > 0 && value <= kMaxValue ? values()[size_t(value)].type : -1;
    return type < 0 ? 0 : std::clamp(quarterType() - type, 0, kMaxBeamLevels);
}

// The grid that every boundary inside a beat lies on: 32nds of the beat
// (plain values down to a 128th note), else thirds, sixths or twelfths.
const Grid &gridOf(const int *offsets, int count)
{
    bool plain = true, thirds = true, sixths = true;
    for (int i = 0; i < count; ++i) {
        plain = plain && offsets[i] % (kBeat / 32) == 0;
        thirds = thirds && offsets[i] % (kBeat / 3) == 0;
        sixths = sixths && offsets[i] % (kBeat / 6) == 0;
    }
    return plain ? kPlain : thirds ? kTriplet : sixths ? kSextuplet : kTwelve;
}

// Whether n whole beats may be written as one value at beat `at` of a
// measure of `meter` beats: halves and wholes on their own half of the
// bar, a dotted half at its start (a note also at its end, a rest not:
// rests show where the middle of the bar is).
bool mergeable(int n, int at, int meter, bool rest)
{
    if (at + n > meter)
        return false;
    switch (n) {
    case 1:
        return true;
    case 2:
    case 4:
    case 8:
        return at % n == 0;
    case 3:
        return at == 0 || (!rest && at + 3 == meter);
    case 6:
        return at % 2 == 0;
    default:
        return false;
    }
}

// Spelling of a pitch in the key: step letter, alteration, octave.
struct Spelling
{
    int step = 0, alter = 0, octave = 4;
};
constexpr int kNatural[7] = {0, 2, 4, 5, 7, 9, 11}; // C D E F G A B
const QString &stepName(int step)
{
    static const QString names[] = {QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("E"),
                                    QStringLiteral("F"), QStringLiteral("G"), QStringLiteral("A"),
                                    QStringLiteral("B")};
    return names[step];
}

Spelling spell(int midi, int degree, int doMidi, int fifths)
{
    // Tonic letter of a major key: a fifth is four letters up.
    const int tonic = ((4 * fifths) % 7 + 7) % 7;
    if (degree < 1 || degree > 7) {
        // Not from a glyph: the scale degree from the distance to 上, a
        // chromatic note as the raised degree below it.
        static constexpr int kDegreeOfSemitone[12] = {1, 1, 2, 2, 3, 4, 4, 5, 5, 6, 6, 7};
        degree = kDegreeOfSemitone[((midi - doMidi) % 12 + 12) % 12];
    }
    Spelling s;
    s.step = (tonic + degree - 1) % 7;
    const int base = midi - kNatural[s.step];
    s.octave = Music::floorDiv(base + 6, 12) - 1;
    s.alter = base - 12 * (s.octave + 1);
    return s;
}

// QXmlStreamWriter hands every token (indent, '<', name, '>', text ...) to
// its device as a write of its own, some thirty for a note, and those
// writes dominate the export of a long score. So the part is put together
// from fragments: a scratch writer, nested as deep as the element sits in
// the document and so indenting it the same way, writes one element alone,
// and its text is appended to the output. Notes repeat so much that each
// distinct one is written only once.
class Scratch
{
public:
    explicit Scratch(int depth)
    {
        buffer.setBuffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        xml.setDevice(&buffer);
        xml.setAutoFormatting(true);
        xml.setAutoFormattingIndent(1);
        for (int i = 0; i < depth; ++i)
            xml.writeStartElement(QStringLiteral("x"));
        // An element before the first fragment, which is then indented
        // as a following sibling, like every later one.
        xml.writeStartElement(QStringLiteral("x"));
        xml.writeEndElement();
    }

    // The writer for a new fragment: one element at this depth.
    QXmlStreamWriter &begin()
    {
        bytes.resize(0);
        buffer.seek(0);
        return xml;
    }

    // The fragment once its element is ended.
    const QByteArray &text() const { return bytes; }

    // The fragment of an element still open: its start tag and what it
    // holds so far. The element is then ended outside the fragment.
    QByteArray open()
    {
        xml.writeCharacters(QString()); // completes a start tag left open
        const QByteArray fragment(bytes.constData(), bytes.size());
        xml.writeEndElement();
        return fragment;
    }

    // The end tag of an element at this depth that holds elements.
    QByteArray endTag(const QString &name)
    {
        begin().writeStartElement(name);
        xml.writeStartElement(QStringLiteral("x"));
        xml.writeEndElement();
        const qsizetype at = bytes.size();
        xml.writeEndElement();
        return bytes.mid(at);
    }

private:
    QByteArray bytes;
    QBuffer buffer;
    QXmlStreamWriter xml;
};

// Everything a note's element is written from, short of its lyric.
struct NoteForm
{
    bool rest = true, wholeMeasure = false, small = false;
    Spelling spelling;
    int units = 0;
    const Grid *grid = &kPlain;
    bool tieStop = false, tieStart = false, tupletStart = false, tupletStop = false;
    bool breath = false; // a breath mark after it
    quint32 beams = 0;   // Beam per level

    // All of it as two numbers; the first -1 when a value is too large to pack.
    std::pair<qint64, quint32> key() const
    {
        quint64 packed = 0;
        int shift = 0;
        bool fits = true;
        auto put = [&](int value, int bits) {
            fits = fits && value >= 0 && value < (1 << bits);
            packed |= quint64(value & ((1 << bits) - 1)) << shift;
            shift += bits;
        };
        for (bool flag : {rest, wholeMeasure, small, tieStop, tieStart, tupletStart, tupletStop})
            put(flag, 1);
        put(rest ? 0 : spelling.step, 3);
        put(rest ? 0 : spelling.alter + 8, 4);
        put(rest ? 0 : spelling.octave + 128, 8);
        put(units, 16);
        put(grid->actual, 5);
        put(grid->normal, 5);
        put(grid->normalType + 1, 3);
        return {fits ? qint64(packed) : -1, beams << 1 | quint32(breath)};
    }
};

class Writer
{
public:
    Writer(QByteArray &out, const Music::Options &options)
        : out(out), options(options)
    {
        device.setBuffer(&out);
        device.open(QIODevice::WriteOnly);
        xml.setDevice(&device);
        xml.setAutoFormatting(true);
        xml.setAutoFormattingIndent(1);
        for (int i = 0; i < int(numbers.size()); ++i)
            numbers[i] = QString::number(i);
        measureEnd = measureXml.endTag(QStringLiteral("measure"));
        noteEnd = elementXml.endTag(QStringLiteral("note"));
    }

    void write(const Music::Performance &performance);

private:
    void writeHeader(const Music::Performance &performance);
    void writeSection(const Music::Section &section, bool firstSection, bool lastSection);
    void cutPieces(const Music::Section &section);
    void mergeBeats();
    void markTuplets();
    void markBeams();
    void writeMeasureStart(const Music::Section &section, bool firstSection, bool sectionStart,
                           int beats);
    void writeSectionStart(QXmlStreamWriter &xml, const Music::Section &section, bool firstSection,
                           int beats);
    void writeTime(QXmlStreamWriter &xml, int beats);
    void writePiece(const Music::Section &section, const Piece &piece, int measureUnits);
    void writeNote(const Music::Section &section, const Piece &piece, int units, bool tieStop,
                   bool tieStart, bool firstPart, bool lastPart, bool tupletStart, bool tupletStop,
                   bool wholeMeasure, quint32 beams);
    void writeNoteForm(QXmlStreamWriter &xml, const NoteForm &form);
    void writeLyric(const QString &text, bool extend);
    void writeBarline(const char *style);
    QString number(int n) const
    {
        return n >= 0 && n < int(numbers.size()) ? numbers[n] : QString::number(n);
    }

    QByteArray &out;
    QBuffer device; // the document around the part
    QXmlStreamWriter xml;
    Scratch partXml{1}, measureXml{2}, elementXml{3}, lyricXml{4};
    QByteArray measureEnd, noteEnd;
    QHash<std::pair<qint64, quint32>, QByteArray> notes; // by NoteForm::key()
    std::array<QHash<QString, QByteArray>, 2> lyrics; // by text, without / with extend
    const Music::Options &options;
    std::array<QString, 200> numbers;
    std::vector<Piece> pieces;
    std::vector<quint32> beams; // per written note of the pieces in a beat
    QList<Music::Measure> bars; // of the section being written
    std::vector<char> lastOfCharacter; // per note: ends its character's notes
    int measureNumber = 0;
    int shownFifths = 0, shownMeter = 0; // the key and time in force
};

void Writer::write(const Music::Performance &performance)
{
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral(
        "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
        "\"http://www.musicxml.org/dtds/partwise.dtd\">"));
    xml.writeStartElement(QStringLiteral("score-partwise"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("4.0"));
    writeHeader(performance);

    QXmlStreamWriter &part = partXml.begin();
    part.writeStartElement(QStringLiteral("part"));
    part.writeAttribute(QStringLiteral("id"), QStringLiteral("P1"));
    out += partXml.open();
    bool any = false;
    for (qsizetype s = 0; s < performance.sections.size(); ++s) {
        const auto &section = performance.sections[s];
        if (section.notes.isEmpty())
            continue;
        writeSection(section, !any, s + 1 == performance.sections.size());
        any = true;
    }
    if (!any) {
        // A part needs a measure: one bar of rest in 4/4.
        Music::Section empty;
        empty.lengthUnits = 4 * kBeat;
        writeSection(empty, true, true);
    }
    out += partXml.endTag(QStringLiteral("part"));

    device.seek(out.size());
    xml.writeEndElement(); // score-partwise
    xml.writeEndDocument();
}

void Writer::writeHeader(const Music::Performance &performance)
{
    if (!performance.title.isEmpty()) {
        xml.writeStartElement(QStringLiteral("work"));
        xml.writeTextElement(QStringLiteral("work-title"), performance.title);
        xml.writeEndElement();
        // Only the work's title: with a movement title as well, LilyPond
        // prints the same words twice.
    }
    xml.writeStartElement(QStringLiteral("identification"));
    xml.writeStartElement(QStringLiteral("encoding"));
    xml.writeTextElement(QStringLiteral("software"),
                         QStringLiteral("Kelvo工尺谱 ") + Version::number());
    xml.writeEndElement();
    xml.writeEndElement();

    // The part declares its instrument, so that importers find the sound
    // they are asked to play and need not guess.
    const QString part = QStringLiteral("笛");
    xml.writeStartElement(QStringLiteral("part-list"));
    xml.writeStartElement(QStringLiteral("score-part"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("P1"));
    xml.writeTextElement(QStringLiteral("part-name"), part);
    xml.writeStartElement(QStringLiteral("score-instrument"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("P1-I1"));
    xml.writeTextElement(QStringLiteral("instrument-name"), part);
    xml.writeTextElement(QStringLiteral("instrument-sound"), QStringLiteral("wind.flutes.flute"));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("midi-instrument"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("P1-I1"));
    xml.writeTextElement(QStringLiteral("midi-channel"), QStringLiteral("1"));
    xml.writeTextElement(QStringLiteral("midi-program"),
                         number(std::clamp(options.program, 0, 127) + 1));
    xml.writeEndElement();
    xml.writeEndElement(); // score-part
    xml.writeEndElement(); // part-list
}

// The section as a row of pieces from its start to its end: filling rests
// and the notes, cut at beats. A note keeps its whole value: its breath is
// a mark over it, the shortening is left to the performance.
void Writer::cutPieces(const Music::Section &section)
{
    pieces.clear();
    auto add = [this](int start, int end, int pitch, int note) {
        for (int at = start; at < end;) {
            const int cut = std::min(end, (at / kBeat + 1) * kBeat);
            Piece piece;
            piece.start = at;
            piece.length = cut - at;
            piece.pitch = pitch;
            piece.note = note;
            piece.first = at == start;
            piece.last = cut == end;
            pieces.push_back(piece);
            at = cut;
        }
    };
    int cursor = 0;
    for (qsizetype n = 0; n < section.notes.size(); ++n) {
        const auto &note = section.notes[n];
        const int start = std::max(cursor, note.onsetUnits);
        const int end = std::max(start, note.onsetUnits + note.lengthUnits);
        if (end == start)
            continue; // overlapped by the note before: nothing left to write
        add(cursor, start, -1, -1);
        add(start, end, note.pitch, note.pitch >= 0 ? int(n) : -1);
        cursor = end;
    }
    // To the end of the bars, and a bar of the meter past them for notes
    // beyond (a section built by hand).
    const Music::Measure &last = bars.last();
    int total = last.startUnits + last.lengthUnits;
    const int measure = std::max(1, section.meter) * kBeat;
    while (total < cursor) {
        bars.append({total, measure});
        total += measure;
    }
    add(cursor, total, -1, -1);
}

// Runs of whole beats of one note (or of rest) become one longer value
// where the bar allows it: half, dotted half, whole, and so on.
void Writer::mergeBeats()
{
    size_t out = 0;
    qsizetype bar = 0;
    for (size_t i = 0; i < pieces.size();) {
        Piece piece = pieces[i];
        size_t next = i + 1;
        while (bar + 1 < bars.size() && bars[bar + 1].startUnits <= piece.start)
            ++bar;
        if (piece.length == kBeat) {
            // The run of whole beats continuing this piece inside its bar.
            size_t end = next;
            const int barEnd = bars[bar].startUnits + bars[bar].lengthUnits;
            const int meter = bars[bar].beats();
            while (end < pieces.size() && pieces[end].length == kBeat
                   && pieces[end].start < barEnd && pieces[end].note == piece.note
                   && pieces[end].pitch == piece.pitch
                   && (piece.note >= 0 ? !pieces[end].first : true))
                ++end;
            const int at = (piece.start - bars[bar].startUnits) / kBeat;
            int take = 1;
            for (int n : {8, 6, 4, 3, 2}) {
                if (n <= int(end - i) && mergeable(n, at, meter, piece.pitch < 0)) {
                    take = n;
                    break;
                }
            }
            piece.length = take * kBeat;
            piece.last = pieces[i + take - 1].last;
            next = i + take;
        }
        pieces[out++] = piece;
        i = next;
    }
    pieces.resize(out);
}

// Beats cut into pieces on the triplet, sextuplet or twelfth grid are
// written as tuplets filling the beat.
void Writer::markTuplets()
{
    int offsets[kBeat];
    for (size_t i = 0; i < pieces.size();) {
        if (pieces[i].length >= kBeat || pieces[i].start % kBeat != 0) {
            ++i;
            continue;
        }
        const int beat = pieces[i].start / kBeat;
        size_t end = i;
        int count = 0;
        while (end < pieces.size() && pieces[end].start / kBeat == beat
               && pieces[end].length < kBeat) {
            if (count < kBeat)
                offsets[count++] = pieces[end].start % kBeat;
            ++end;
        }
        const Grid &grid = gridOf(offsets, count);
        if (&grid != &kPlain) {
            for (size_t k = i; k < end; ++k)
                pieces[k].grid = &grid;
            pieces[i].tupletStart = true;
            pieces[end - 1].tupletStop = true;
        }
        i = end;
    }
}

// The written notes shorter than a quarter inside each beat are beamed
// together; a rest, a longer value or the beat's end closes a group. A
// level shared by one note alone is a hook towards its own half of the
// level above (forward at the group's start, backward at its end).
void Writer::markBeams()
{
    beams.clear();
    struct Part
    {
        int offset = 0, levels = 0; // units into the beat; 0 levels: no beam
    };
    std::vector<Part> parts;
    for (size_t i = 0; i < pieces.size();) {
        if (pieces[i].length >= kBeat) {
            ++i;
            continue;
        }
        const int beat = pieces[i].start / kBeat;
        parts.clear();
        const size_t first = beams.size();
        for (; i < pieces.size() && pieces[i].start / kBeat == beat && pieces[i].length < kBeat;
             ++i) {
            Piece &piece = pieces[i];
            piece.beams = int(beams.size());
            for (int at = 0; at < piece.length;) {
                const int take = writtenPart(piece.length - at, *piece.grid);
                parts.push_back({piece.start + at - beat * kBeat,
                                 piece.pitch < 0 ? 0 : beamLevels(take, *piece.grid)});
                beams.push_back(0);
                at += take;
            }
        }
        for (size_t g = 0; g < parts.size();) {
            size_t end = g;
            while (end < parts.size() && parts[end].levels > 0)
                ++end;
            for (int level = 1; end - g >= 2 && level <= kMaxBeamLevels; ++level) {
                const int shift = kBeamBits * (level - 1);
                const int half = std::max(1, kBeat >> (level - 1)); // a value of the level above
                for (size_t r = g; r < end;) {
                    if (parts[r].levels < level) {
                        ++r;
                        continue;
                    }
                    size_t runEnd = r;
                    while (runEnd < end && parts[runEnd].levels >= level)
                        ++runEnd;
                    if (runEnd - r == 1) {
                        const bool forward = r == g || (r + 1 < end && parts[r].offset % half == 0);
                        beams[first + r] |= quint32(forward ? ForwardHook : BackwardHook) << shift;
                    } else {
                        for (size_t k = r; k < runEnd; ++k)
                            beams[first + k] |=
                                quint32(k == r ? BeamBegin : k + 1 == runEnd ? BeamEnd : BeamContinue)
                                << shift;
                    }
                    r = runEnd;
                }
            }
            g = std::max(end, g + 1);
        }
    }
}

void Writer::writeSection(const Music::Section &section, bool firstSection, bool lastSection)
{
    bars = Music::measuresOf(section);

    // A character's lyric runs from its first note to its last.
    lastOfCharacter.assign(size_t(section.notes.size()), 1);
    for (qsizetype n = 0; n + 1 < section.notes.size(); ++n) {
        const auto &a = section.notes[n];
        const auto &b = section.notes[n + 1];
        lastOfCharacter[size_t(n)] =
            !(a.item >= 0 && a.item == b.item && a.character == b.character && b.lyric.isEmpty()
              && b.pitch >= 0);
    }

    cutPieces(section);
    mergeBeats();
    markTuplets();
    markBeams();

    size_t i = 0;
    for (qsizetype bar = 0; bar < bars.size(); ++bar) {
        const int measure = bars[bar].lengthUnits;
        const int barEnd = bars[bar].startUnits + measure;
        writeMeasureStart(section, firstSection, bar == 0, bars[bar].beats());
        size_t end = i;
        while (end < pieces.size() && pieces[end].start < barEnd)
            ++end;
        const bool wholeRest = end == i + 1 && pieces[i].pitch < 0 && pieces[i].length == measure;
        for (size_t k = i; k < end; ++k)
            writePiece(section, pieces[k], wholeRest ? measure : 0);
        if (bar + 1 == bars.size())
            writeBarline(lastSection ? "light-heavy" : "light-light");
        out += measureEnd;
        i = end;
    }
}

void Writer::writeMeasureStart(const Music::Section &section, bool firstSection, bool sectionStart,
                               int beats)
{
    QXmlStreamWriter &xml = measureXml.begin();
    xml.writeStartElement(QStringLiteral("measure"));
    xml.writeAttribute(QStringLiteral("number"), number(++measureNumber));
    if (sectionStart) {
        writeSectionStart(xml, section, firstSection, beats);
    } else if (beats != shownMeter) {
        // A bar of another length has its own time; the next goes back.
        xml.writeStartElement(QStringLiteral("attributes"));
        writeTime(xml, beats);
        xml.writeEndElement();
    }
    out += measureXml.open();
}

void Writer::writeTime(QXmlStreamWriter &xml, int beats)
{
    xml.writeStartElement(QStringLiteral("time"));
    xml.writeTextElement(QStringLiteral("beats"), number(beats));
    xml.writeTextElement(QStringLiteral("beat-type"), QStringLiteral("4"));
    xml.writeEndElement();
    shownMeter = beats;
}

// The key, time, tune name and tempo at the first bar of a section.
void Writer::writeSectionStart(QXmlStreamWriter &xml, const Music::Section &section,
                               bool firstSection, int meter)
{
    // Key and time are stated where they change; the tune name and the
    // double bar mark a new tune that keeps them.
    const bool newKey = firstSection || section.fifths != shownFifths;
    const bool newTime = firstSection || meter != shownMeter;
    if (newKey || newTime) {
        xml.writeStartElement(QStringLiteral("attributes"));
        if (firstSection)
            xml.writeTextElement(QStringLiteral("divisions"), number(kBeat));
        if (newKey) {
            xml.writeStartElement(QStringLiteral("key"));
            xml.writeTextElement(QStringLiteral("fifths"), QString::number(section.fifths));
            xml.writeEndElement();
        }
        if (newTime)
            writeTime(xml, meter);
        if (firstSection) {
            xml.writeStartElement(QStringLiteral("clef"));
            xml.writeTextElement(QStringLiteral("sign"), QStringLiteral("G"));
            xml.writeTextElement(QStringLiteral("line"), QStringLiteral("2"));
            xml.writeEndElement();
        }
        xml.writeEndElement(); // attributes
        shownFifths = section.fifths;
    }

    // The tune's name (and 散板 for a tune without beats) above its first
    // bar, with the tempo; the very first bar also shows the metronome mark.
    const QString tempo = QString::number(options.tempo, 'g', 6);
    xml.writeStartElement(QStringLiteral("direction"));
    xml.writeAttribute(QStringLiteral("placement"), QStringLiteral("above"));
    auto words = [&xml](const QString &text) {
        xml.writeStartElement(QStringLiteral("direction-type"));
        xml.writeTextElement(QStringLiteral("words"), text);
        xml.writeEndElement();
    };
    if (!section.heading.isEmpty())
        words(section.heading);
    if (section.free)
        words(QStringLiteral("散板"));
    if (firstSection || (section.heading.isEmpty() && !section.free)) {
        xml.writeStartElement(QStringLiteral("direction-type"));
        xml.writeStartElement(QStringLiteral("metronome"));
        xml.writeTextElement(QStringLiteral("beat-unit"), QStringLiteral("quarter"));
        xml.writeTextElement(QStringLiteral("per-minute"), tempo);
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEmptyElement(QStringLiteral("sound"));
    xml.writeAttribute(QStringLiteral("tempo"), tempo);
    xml.writeEndElement(); // direction
}

void Writer::writeBarline(const char *style)
{
    QXmlStreamWriter &xml = elementXml.begin();
    xml.writeStartElement(QStringLiteral("barline"));
    xml.writeAttribute(QStringLiteral("location"), QStringLiteral("right"));
    xml.writeTextElement(QStringLiteral("bar-style"), QLatin1String(style));
    xml.writeEndElement();
    out += elementXml.text();
}

// One piece, as several tied notes when no single value shows its length
// (e.g. five sixteenths of a sextuplet: a quarter and a sixteenth).
void Writer::writePiece(const Music::Section &section, const Piece &piece, int measureUnits)
{
    if (piece.pitch >= 0 && piece.first && piece.note >= 0) {
        const quint8 bits = section.notes[piece.note].ornaments;
        if (bits) {
            QString names;
            for (int b = 0; b < 8; ++b) {
                const char32_t mark = Gongche::DieQiang + char32_t(b);
                if ((bits >> b & 1) && Gongche::isOrnamentMark(mark)) {
                    if (!names.isEmpty())
                        names += u' ';
                    names += Gongche::dictionaryName(mark);
                }
            }
            if (!names.isEmpty()) {
                QXmlStreamWriter &xml = elementXml.begin();
                xml.writeStartElement(QStringLiteral("direction"));
                xml.writeAttribute(QStringLiteral("placement"), QStringLiteral("above"));
                xml.writeStartElement(QStringLiteral("direction-type"));
                xml.writeStartElement(QStringLiteral("words"));
                xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("8"));
                xml.writeCharacters(names);
                xml.writeEndElement();
                xml.writeEndElement();
                xml.writeEndElement();
                out += elementXml.text();
            }
        }
    }
    if (measureUnits > 0) {
        writeNote(section, piece, measureUnits, false, false, true, true, false, false, true, 0);
        return;
    }
    const Grid &grid = *piece.grid;
    int left = piece.length;
    bool firstPart = true;
    for (int part = 0; left > 0; ++part) {
        const int take = writtenPart(left, grid);
        const bool lastPart = take == left;
        const bool tied = piece.pitch >= 0;
        writeNote(section, piece, take, tied && (!firstPart || !piece.first),
                  tied && (!lastPart || !piece.last), firstPart, lastPart,
                  piece.tupletStart && firstPart, piece.tupletStop && lastPart, false,
                  piece.beams >= 0 ? beams[size_t(piece.beams + part)] : 0);
        left -= take;
        firstPart = false;
    }
}

void Writer::writeNote(const Music::Section &section, const Piece &piece, int units, bool tieStop,
                       bool tieStart, bool firstPart, bool lastPart, bool tupletStart,
                       bool tupletStop, bool wholeMeasure, quint32 beams)
{
    const Music::NoteEvent *note = piece.note >= 0 ? &section.notes[piece.note] : nullptr;
    NoteForm form;
    form.rest = piece.pitch < 0;
    if (!form.rest)
        form.spelling = spell(piece.pitch, note ? Music::degreeOf(note->glyph) : 0,
                              section.doMidi, section.fifths);
    form.wholeMeasure = wholeMeasure;
    form.small = note && (note->flags & Music::Small);
    form.units = units;
    form.grid = wholeMeasure ? &kPlain : piece.grid;
    form.tieStop = tieStop;
    form.tieStart = tieStart;
    form.tupletStart = tupletStart;
    form.tupletStop = tupletStop;
    form.beams = beams;
    // The breath mark after the last written note of a 气口.
    form.breath = note && !form.rest && (note->flags & Music::Breath) && piece.last && lastPart;

    const auto key = form.key();
    auto cached = key.first >= 0 ? notes.constFind(key) : notes.cend();
    if (cached != notes.cend()) {
        out += *cached;
    } else {
        writeNoteForm(elementXml.begin(), form);
        const QByteArray text = elementXml.open();
        if (key.first >= 0)
            notes.insert(key, text);
        out += text;
    }

    // The character under its first note, with a melisma line when more
    // notes (or tied pieces) follow for it. The line ends at the next
    // lyric by itself; a closing <extend type="stop"/> on a lyric of its
    // own makes musicxml2ly add stray extenders.
    if (note && piece.pitch >= 0 && piece.first && firstPart && !note->lyric.isEmpty())
        writeLyric(note->lyric, !(piece.last && lastPart && lastOfCharacter[size_t(piece.note)]));
    out += noteEnd;
}

void Writer::writeLyric(const QString &text, bool extend)
{
    QHash<QString, QByteArray> &cache = lyrics[extend];
    auto cached = cache.constFind(text);
    if (cached == cache.cend()) {
        QXmlStreamWriter &xml = lyricXml.begin();
        xml.writeStartElement(QStringLiteral("lyric"));
        xml.writeAttribute(QStringLiteral("number"), QStringLiteral("1"));
        xml.writeTextElement(QStringLiteral("syllabic"), QStringLiteral("single"));
        xml.writeTextElement(QStringLiteral("text"), text);
        if (extend) {
            xml.writeEmptyElement(QStringLiteral("extend"));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("start"));
        }
        xml.writeEndElement();
        cached = cache.insert(text, lyricXml.text());
    }
    out += *cached;
}

// The note's element up to its lyric, left open.
void Writer::writeNoteForm(QXmlStreamWriter &xml, const NoteForm &form)
{
    const Grid &grid = *form.grid;
    xml.writeStartElement(QStringLiteral("note"));
    if (!form.rest) {
        const Spelling &s = form.spelling;
        xml.writeStartElement(QStringLiteral("pitch"));
        xml.writeTextElement(QStringLiteral("step"), stepName(s.step));
        if (s.alter)
            xml.writeTextElement(QStringLiteral("alter"),
                                 s.alter > 0 ? number(s.alter) : QString::number(s.alter));
        xml.writeTextElement(QStringLiteral("octave"), number(s.octave));
        xml.writeEndElement();
    } else {
        xml.writeEmptyElement(QStringLiteral("rest"));
        if (form.wholeMeasure)
            xml.writeAttribute(QStringLiteral("measure"), QStringLiteral("yes"));
    }
    xml.writeTextElement(QStringLiteral("duration"), number(form.units));
    if (form.tieStop) {
        xml.writeEmptyElement(QStringLiteral("tie"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("stop"));
    }
    if (form.tieStart) {
        xml.writeEmptyElement(QStringLiteral("tie"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("start"));
    }
    xml.writeTextElement(QStringLiteral("voice"), QStringLiteral("1"));
    const int value = nominal(form.units, grid);
    const Value &shown = value > 0 && value <= kMaxValue ? values()[size_t(value)] : Value{};
    if (shown.type >= 0) {
        if (form.small) {
            xml.writeStartElement(QStringLiteral("type"));
            xml.writeAttribute(QStringLiteral("size"), QStringLiteral("cue"));
            xml.writeCharacters(typeName(shown.type));
            xml.writeEndElement();
        } else {
            xml.writeTextElement(QStringLiteral("type"), typeName(shown.type));
        }
        for (int d = 0; d < shown.dots; ++d)
            xml.writeEmptyElement(QStringLiteral("dot"));
    }
    if (grid.actual != grid.normal) {
        xml.writeStartElement(QStringLiteral("time-modification"));
        xml.writeTextElement(QStringLiteral("actual-notes"), number(grid.actual));
        xml.writeTextElement(QStringLiteral("normal-notes"), number(grid.normal));
        xml.writeTextElement(QStringLiteral("normal-type"), typeName(grid.normalType));
        xml.writeEndElement();
    }
    for (int level = 1; form.beams >> (kBeamBits * (level - 1)); ++level) {
        const Beam beam = beamAt(form.beams, level);
        if (beam == NoBeam)
            continue;
        xml.writeStartElement(QStringLiteral("beam"));
        xml.writeAttribute(QStringLiteral("number"), number(level));
        xml.writeCharacters(beamName(beam));
        xml.writeEndElement();
    }
    if (form.tieStop || form.tieStart || form.tupletStart || form.tupletStop || form.breath) {
        xml.writeStartElement(QStringLiteral("notations"));
        if (form.tieStop) {
            xml.writeEmptyElement(QStringLiteral("tied"));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("stop"));
        }
        if (form.tieStart) {
            xml.writeEmptyElement(QStringLiteral("tied"));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("start"));
        }
        if (form.tupletStart) {
            xml.writeEmptyElement(QStringLiteral("tuplet"));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("start"));
        }
        if (form.tupletStop) {
            xml.writeEmptyElement(QStringLiteral("tuplet"));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("stop"));
        }
        if (form.breath) {
            xml.writeStartElement(QStringLiteral("articulations"));
            xml.writeEmptyElement(QStringLiteral("breath-mark"));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
}

} // namespace

QByteArray encode(const Music::Performance &performance, const Music::Options &options)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(performance.noteCount()) * 500 + 4096);
    Writer(bytes, options).write(performance);
    return bytes;
}

} // namespace MusicXml
