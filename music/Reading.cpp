// SPDX-License-Identifier: GPL-3.0-or-later
#include "Reading.h"

#include "PitchTable.h"
#include "document/GongcheSymbols.h"
#include "document/ScoreSyntax.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace Music {

namespace {

constexpr double kEpsilon = 1e-9;

Figure figureOf(char32_t mark)
{
    switch (mark) {
    case Gongche::DieQiang:
    case Gongche::DieQiangQiKou:
        return Figure::DieQiang;
    case Gongche::DaiQiangCuoQiang:
        return Figure::CuoQiang;
    case Gongche::HuoQiang:
        return Figure::HuoQiang;
    case Gongche::SouQiang:
        return Figure::SouQiang;
    default:
        return Figure::None;
    }
}

void setKey(Section &section, int keyIndex, int transpose)
{
    section.doMidi = fluteKey(keyIndex).doMidi + transpose;
    section.fifths = fifthsOfPitchClass(section.doMidi);
}

// Beat position of weight x: linear between anchors, the neighbouring
// beat's density beyond the first and the last.
double beatAt(const QList<double> &anchors, double x)
{
    const qsizetype n = anchors.size();
    if (n == 1)
        return x - anchors.first();
    // The segment that holds x, clamped to the first and the last one.
    const auto upper = std::upper_bound(anchors.cbegin(), anchors.cend(), x);
    const qsizetype j = std::clamp<qsizetype>(upper - anchors.cbegin() - 1, 0, n - 2);
    return double(j) + (x - anchors[j]) / (anchors[j + 1] - anchors[j]);
}

} // namespace

AnchorKind anchorKind(char32_t mark)
{
    return Gongche::isWaistMark(mark) || Gongche::isBottomBeat(mark) ? AnchorKind::Inside
                                                                     : AnchorKind::Start;
}

bool parseHeading(QStringView line, QString *tuneName, QString *mode)
{
    static const QRegularExpression heading(
        QStringLiteral("^【(.+?)】(?:[（(](.+?)[)）])?$"));
    const QRegularExpressionMatch match = heading.match(line.toString());
    if (!match.hasMatch())
        return false;
    if (tuneName)
        *tuneName = match.captured(1);
    if (mode)
        *mode = match.captured(2);
    return true;
}

void appendCharacter(Section &section, QStringView notation, int item, int character,
                     const QString &lyric, bool ideograph)
{
    bool hasPitch = false;
    for (char32_t c : Gongche::steps(notation))
        hasPitch = hasPitch || Gongche::isPitchGlyph(c);

    bool lyricGiven = false;
    auto addNote = [&](int pitch, char32_t glyph, quint8 flags) {
        NoteEvent note;
        note.pitch = pitch;
        note.glyph = glyph;
        note.flags = flags;
        note.item = item;
        note.character = character;
        if (!lyricGiven && ideograph) {
            note.lyric = lyric;
            lyricGiven = true;
        }
        section.notes.append(note);
    };

    if (!hasPitch && ideograph)
        addNote(-1, 0, 0);
    for (char32_t c : Gongche::steps(notation)) {
        Gongche::PitchGlyphParts parts;
        if (Gongche::decompose(c, &parts)) {
            bool folded = false;
            const int pitch = foldIntoMidiRange(pitchOf(c, section.doMidi), &folded);
            section.foldedNotes += folded;
            addNote(pitch, c,
                    quint8((parts.small ? Small : 0) | (parts.breath ? Breath : 0)));
        } else if (Gongche::isBanyanMark(c)) {
            if (section.notes.isEmpty())
                ++section.ignoredMarks;
            else
                section.beatMarks.append({int(section.notes.size() - 1), c});
        } else if (Gongche::isOrnamentMark(c)) {
            if (section.notes.isEmpty()) {
                ++section.ignoredMarks;
                continue;
            }
            NoteEvent &note = section.notes.last();
            note.flags |= Ornament;
            if (c == Gongche::DieQiangQiKou) // the 疊腔 with a breath after it
                note.flags |= Breath;
            note.ornaments |= quint8(1u << (c - Gongche::DieQiang));
            if (note.figure == Figure::None)
                note.figure = figureOf(c);
        } else {
            ++section.strayCharacters;
        }
    }
}

QList<double> anchorPositions(const Section &section)
{
    QList<double> start(section.notes.size() + 1, 0.0);
    for (qsizetype n = 0; n < section.notes.size(); ++n)
        start[n + 1] = start[n] + section.notes[n].weight();

    QList<double> positions;
    positions.reserve(section.beatMarks.size());
    const auto &marks = section.beatMarks;
    for (qsizetype i = 0; i < marks.size();) {
        const int note = marks[i].note;
        qsizetype k = i;
        while (k < marks.size() && marks[k].note == note)
            ++k;
        const qsizetype count = k - i;
        const double weight = section.notes[note].weight();
        const bool fromStart = anchorKind(marks[i].code) == AnchorKind::Start;
        for (qsizetype m = 0; m < count; ++m) {
            const double share = fromStart ? double(m) / double(count)
                                           : double(m + 1) / double(count + 1);
            positions.append(start[note] + weight * share);
        }
        i = k;
    }
    return positions;
}

void mapBeats(Section &section)
{
    QList<NoteEvent> &notes = section.notes;
    if (notes.isEmpty())
        return;
    const QList<double> anchors = anchorPositions(section);
    section.free = anchors.isEmpty();
    if (section.free) {
        for (qsizetype n = 0; n < notes.size(); ++n) {
            notes[n].onset = double(n);
            notes[n].length = 1;
        }
        return;
    }
    double weight = 0;
    for (NoteEvent &note : notes) {
        note.onset = beatAt(anchors, weight);
        weight += note.weight();
        note.length = beatAt(anchors, weight) - note.onset;
    }
    NoteEvent &last = notes.last();
    const double end = last.onset + last.length;
    const double wholeEnd = std::max(std::ceil(end - kEpsilon),
                                     std::floor(last.onset + kEpsilon) + 1);
    last.length = wholeEnd - last.onset;
}

bool isMeasureStart(char32_t mark, bool zengBan)
{
    if (zengBan)
        return mark == Gongche::ZengBan || mark == Gongche::YaoZengBan;
    return mark == Gongche::TouBan || mark == Gongche::YaoBan;
}

int meterOf(const QList<double> &measureStartBeats)
{
    // Votes for 4, 2, 8 and 1 beats: the order also settles a tie.
    constexpr int kMeters[] = {4, 2, 8, 1};
    int votes[4] = {0, 0, 0, 0};
    for (qsizetype i = 1; i < measureStartBeats.size(); ++i) {
        const double gap = measureStartBeats[i] - measureStartBeats[i - 1];
        for (int m = 0; m < 4; ++m)
            votes[m] += std::abs(gap - kMeters[m]) < 1e-6;
    }
    int best = 0;
    for (int m = 1; m < 4; ++m)
        if (votes[m] > votes[best])
            best = m;
    return kMeters[best];
}

namespace {

// In-beat grids tried in turn: sixteenths, triplet eighths, sextuplet
// sixteenths, 32nds of a 12:8 group.
constexpr int kGrids[] = {3, 4, 2, 1};
constexpr int kPlainGrid = 3;

// A note lasting longer than this many beats (thousands of marks on one
// note, or a last beat crowded with marks stretching the notes after it)
// is shortened by whole measures, so that a damaged score stays playable.
constexpr double kLongestNote = 64;

// The grid a beat ended up with, for the beats that have boundaries inside.
struct BeatGrid
{
    int beat, grid;
};

int gridOfBeat(const std::vector<BeatGrid> &grids, int beat)
{
    const auto it = std::lower_bound(grids.cbegin(), grids.cend(), beat,
                                     [](const BeatGrid &g, int b) { return g.beat < b; });
    return it != grids.cend() && it->beat == beat ? it->grid : kPlainGrid;
}

} // namespace

void quantise(Section &section)
{
    QList<NoteEvent> &notes = section.notes;
    section.zengBan = std::any_of(section.beatMarks.cbegin(), section.beatMarks.cend(),
                                  [](const BeatMark &m) {
                                      return m.code == Gongche::ZengBan
                                          || m.code == Gongche::YaoZengBan;
                                  });
    // Anchor j is beat j.
    QList<double> measureStarts;
    for (qsizetype j = 0; j < section.beatMarks.size(); ++j)
        if (isMeasureStart(section.beatMarks[j].code, section.zengBan))
            measureStarts.append(double(j));
    section.meter = section.free ? 4 : meterOf(measureStarts);
    section.lengthUnits = 0;
    if (notes.isEmpty())
        return;

    const int meter = section.meter;
    const int measureUnits = UnitsPerBeat * meter;
    // Bars run from the first measure start (else the first beat mark, which
    // is beat 0, as is the first note of a free section); notes before it
    // fill the end of a leading measure.
    const double origin = measureStarts.isEmpty() ? 0.0 : measureStarts.first();

    // Boundaries in beats from the start of the first measure: the onsets
    // and the end of the last note.
    const qsizetype count = notes.size();
    std::vector<int> units(size_t(count) + 1);
    {
        double first = std::fmod(notes.first().onset - origin, double(meter));
        if (first < 0)
            first += meter;
        double position = first;
        const double limit = double(MaxUnits) / UnitsPerBeat;
        qsizetype kept = count;
        for (qsizetype n = 0; n <= count; ++n) {
            if (n > 0) {
                const NoteEvent &before = notes[n - 1];
                const double next = n < count ? notes[n].onset : before.onset + before.length;
                double step = next - before.onset;
                if (step > kLongestNote)
                    step -= std::floor((step - kLongestNote) / meter) * meter;
                position += step;
            }
            if (position > limit) { // only absurd input gets here
                kept = std::max<qsizetype>(n - 1, 0);
                break;
            }
            units[size_t(n)] = int(std::lround(position * UnitsPerBeat));
        }
        if (kept < count) {
            section.droppedNotes += int(count - kept);
            notes.resize(kept);
            units.resize(size_t(kept) + 1);
            if (kept == 0)
                return;
        }
    }
    if (units.front() >= measureUnits) // a pickup rounded onto the bar line
        for (int &u : units)
            u -= measureUnits;

    // Snap the boundaries inside each beat to the coarsest grid that moves
    // none by more than a unit and keeps them apart; then keep them strictly
    // increasing (a beat holding more than twelve notes pushes later ones).
    std::vector<BeatGrid> grids;
    const size_t total = units.size();
    int previous = std::numeric_limits<int>::min();
    for (size_t i = 0; i < total;) {
        if (units[i] % UnitsPerBeat == 0) {
            units[i] = std::max(units[i], previous + 1);
            previous = units[i++];
            continue;
        }
        const int beat = floorDiv(units[i], UnitsPerBeat);
        size_t k = i;
        while (k < total && units[k] % UnitsPerBeat != 0 && floorDiv(units[k], UnitsPerBeat) == beat)
            ++k;
        const int beatStart = beat * UnitsPerBeat;
        // A grid the boundaries already lie on wins (an exact triplet stays
        // one); then the first within a unit.
        int chosen = 0;
        for (int tolerance = 0; tolerance <= 1 && chosen == 0; ++tolerance) {
            for (int grid : kGrids) {
                if (tolerance == 0 && grid == 1)
                    continue; // any boundary lies on 1/12 beat
                bool fits = true;
                int last = previous;
                for (size_t m = i; m < k && fits; ++m) {
                    const int offset = units[m] - beatStart;
                    const int snapped = beatStart + (offset + grid / 2) / grid * grid;
                    fits = std::abs(snapped - units[m]) <= tolerance && snapped > last;
                    last = snapped;
                }
                if (fits && k < total)
                    fits = last < units[k];
                if (fits) {
                    chosen = grid;
                    break;
                }
            }
        }
        if (chosen == 0)
            chosen = 1;
        bool pushed = false;
        for (size_t m = i; m < k; ++m) {
            const int offset = units[m] - beatStart;
            int snapped = beatStart + (offset + chosen / 2) / chosen * chosen;
            if (snapped <= previous) {
                snapped = previous + 1;
                pushed = true;
            }
            units[m] = snapped;
            previous = snapped;
        }
        grids.push_back({beat, pushed ? 1 : chosen});
        i = k;
    }

    for (qsizetype n = 0; n < notes.size(); ++n) {
        NoteEvent &note = notes[n];
        note.onsetUnits = units[size_t(n)];
        note.lengthUnits = units[size_t(n) + 1] - note.onsetUnits;
        note.breathUnits = 0;
        if (!(note.flags & Breath))
            continue;
        // The breath takes the last quarter, its start on the grid of
        // the beat it falls in; a note too short for it sounds whole.
        const int end = note.onsetUnits + note.lengthUnits;
        const int target = end - int(std::lround(note.lengthUnits / 4.0));
        const int beat = floorDiv(target, UnitsPerBeat);
        const int grid = gridOfBeat(grids, beat);
        int start = beat * UnitsPerBeat + (target - beat * UnitsPerBeat + grid / 2) / grid * grid;
        start = std::min(start, end - grid);
        if (start - note.onsetUnits >= grid && start < end)
            note.breathUnits = end - start;
    }
    const int end = units.back();
    section.lengthUnits = std::max(1, (end + measureUnits - 1) / measureUnits) * measureUnits;
}

Performance read(const LayoutItems &items, const Options &options)
{
    Performance performance;
    QList<Section> sections(1);
    int keyIndex = DefaultKey;
    QString firstTune;
    setKey(sections.last(), keyIndex, options.transpose);

    for (qsizetype i = 0; i < items.size(); ++i) {
        const LayoutItem &item = items[i];
        if (item.kind == Title && performance.title.isEmpty()) {
            QString title = item.text.trimmed();
            while (title.startsWith(u'#'))
                title.remove(0, 1);
            performance.title = title.trimmed();
            continue;
        }
        if (item.kind == QuPai) {
            Section section;
            section.heading = item.text.trimmed();
            parseHeading(section.heading, &section.tuneName, &section.mode);
            if (firstTune.isEmpty())
                firstTune = section.tuneName;
            if (const auto named = keyIndexOfMode(section.mode))
                keyIndex = *named;
            setKey(section, keyIndex, options.transpose);
            sections.append(section);
            continue;
        }
        if (item.kind != Lyric || ScoreSyntax::isMarkupLine(item.text))
            continue;
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, item.text);
        qsizetype start = 0;
        for (int j = 0; start < item.text.size(); ++j) {
            qsizetype end = finder.toNextBoundary();
            if (end <= start)
                end = item.text.size();
            const QString cluster = item.text.mid(start, end - start);
            start = end;
            if (ScoreSyntax::countPairedCharacters(cluster) == 0)
                continue;
            const bool ideograph = cluster != QStringLiteral(" ");
            const QString notation = j < item.scores.size() ? item.scores[j] : QString();
            appendCharacter(sections.last(), notation, int(i), j, cluster, ideograph);
        }
    }

    qint64 startUnits = 0;
    for (Section &section : sections) {
        if (section.notes.isEmpty())
            continue;
        mapBeats(section);
        quantise(section);
        if (section.notes.isEmpty())
            continue;
        if (startUnits + section.lengthUnits > MaxUnits)
            break; // only a score of absurd length gets here
        section.startUnits = int(startUnits);
        startUnits += section.lengthUnits;
        performance.sections.append(section);
    }
    if (performance.title.isEmpty())
        performance.title = firstTune;
    return performance;
}

} // namespace Music
