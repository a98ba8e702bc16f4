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

namespace {

// The halving's finest step: a part of a beat this short is not split
// again, its notes merge onto its start (quantise keeps them apart).
constexpr double kFinestPart = 1.0 / 32;

// One beat's share of the notes: the part of each note's weight that
// falls inside the beat, and whether the note starts there.
struct Share
{
    qsizetype note;
    double weight;
    bool starts;
};

// Halves the span [start, start + span) between the shares [lo, hi):
// the first part is the one whose weight comes closest to half the total,
// the earlier on a tie, and each part takes half of the span.
void halve(const std::vector<Share> &shares, size_t lo, size_t hi, double start, double span,
           QList<NoteEvent> &notes)
{
    if (hi - lo == 1 || span <= kFinestPart + kEpsilon) {
        for (size_t i = lo; i < hi; ++i)
            if (shares[i].starts)
                notes[shares[i].note].onset = start;
        return;
    }
    double total = 0;
    for (size_t i = lo; i < hi; ++i)
        total += shares[i].weight;
    size_t best = lo + 1;
    double bestMiss = std::numeric_limits<double>::infinity();
    double before = 0;
    for (size_t m = lo + 1; m < hi; ++m) {
        before += shares[m - 1].weight;
        const double miss = std::abs(before - total / 2);
        if (miss < bestMiss - kEpsilon) {
            bestMiss = miss;
            best = m;
        }
    }
    halve(shares, lo, best, start, span / 2, notes);
    halve(shares, best, hi, start + span / 2, span / 2, notes);
}

// Onsets by halving: every beat (between two anchors, the beat before the
// first one and the beat after the last) is shared by the notes in it.
void halveBeats(QList<NoteEvent> &notes, const QList<double> &anchors)
{
    const qsizetype count = notes.size();
    std::vector<double> from(size_t(count) + 1, 0.0);
    for (qsizetype n = 0; n < count; ++n)
        from[size_t(n) + 1] = from[size_t(n)] + notes[n].weight();
    const double total = from.back();

    std::vector<Share> shares;
    qsizetype first = 0; // the first note that reaches into the beat
    auto shareBeat = [&](double beat, double lo, double hi) {
        shares.clear();
        while (first < count && from[size_t(first) + 1] <= lo + kEpsilon)
            ++first;
        for (qsizetype n = first; n < count && from[size_t(n)] < hi - kEpsilon; ++n) {
            const double weight = std::min(hi, from[size_t(n) + 1]) - std::max(lo, from[size_t(n)]);
            shares.push_back({n, weight, from[size_t(n)] >= lo - kEpsilon});
        }
        if (!shares.empty())
            halve(shares, 0, shares.size(), beat, 1.0, notes);
    };
    const qsizetype a = anchors.size();
    if (anchors.first() > kEpsilon)
        shareBeat(-1, 0, anchors.first());
    for (qsizetype j = 0; j < a; ++j)
        shareBeat(double(j), anchors[j], j + 1 < a ? anchors[j + 1] : total);

    for (qsizetype n = 0; n + 1 < count; ++n)
        notes[n].length = notes[n + 1].onset - notes[n].onset;
    // The notes after the last anchor fill its beat.
    NoteEvent &last = notes.last();
    last.length = std::max(double(a), std::floor(last.onset + kEpsilon) + 1) - last.onset;
}

} // namespace

void mapBeats(Section &section, Rhythm rhythm)
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
    if (rhythm == Rhythm::Halving) {
        halveBeats(notes, anchors);
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

bool startsBar(char32_t mark, bool zengBan)
{
    return isMeasureStart(mark, zengBan) || (!zengBan && mark == Gongche::DiBan);
}

int meterOf(const QList<double> &measureStartBeats, const QList<double> &barBeats)
{
    // Votes for 4, 2, 8 and 1 beats: the order also settles a tie.
    constexpr int kMeters[] = {4, 2, 8, 1};
    int votes[4] = {0, 0, 0, 0};
    for (const QList<double> *starts : {&measureStartBeats, &barBeats}) {
        for (qsizetype i = 1; i < starts->size(); ++i) {
            const double gap = starts->at(i) - starts->at(i - 1);
            for (int m = 0; m < 4; ++m)
                votes[m] += std::abs(gap - kMeters[m]) < 1e-6;
        }
    }
    int best = 0;
    for (int m = 1; m < 4; ++m)
        if (votes[m] > votes[best])
            best = m;
    return kMeters[best];
}

namespace {

// In-beat grids of the proportional sharing, in twelfths of a beat, tried
// in turn: sixteenths, triplet eighths, sextuplet sixteenths, 32nds of a
// 12:8 group.
constexpr int kGrids[] = {3, 4, 2, 1};
constexpr int kTwelfths = 12;

// A note lasting longer than this many beats (thousands of marks on one
// note, or a last beat crowded with marks stretching the notes after it)
// is shortened by whole measures, so that a damaged score stays playable.
constexpr double kLongestNote = 64;

// The grid a beat ended up with, for the beats that have boundaries inside.
struct BeatGrid
{
    int beat, grid;
};

int gridOfBeat(const std::vector<BeatGrid> &grids, int beat, int plain)
{
    const auto it = std::lower_bound(grids.cbegin(), grids.cend(), beat,
                                     [](const BeatGrid &g, int b) { return g.beat < b; });
    return it != grids.cend() && it->beat == beat ? it->grid : plain;
}

// Proportional boundaries (in twelfths) snapped inside each beat to the
// coarsest grid that moves none by more than a twelfth and keeps them
// apart; then kept strictly increasing (a beat holding more than twelve
// notes pushes later ones).
void snapProportional(std::vector<int> &units, std::vector<BeatGrid> &grids)
{
    const size_t total = units.size();
    int previous = std::numeric_limits<int>::min();
    for (size_t i = 0; i < total;) {
        if (units[i] % kTwelfths == 0) {
            units[i] = std::max(units[i], previous + 1);
            previous = units[i++];
            continue;
        }
        const int beat = floorDiv(units[i], kTwelfths);
        size_t k = i;
        while (k < total && units[k] % kTwelfths != 0 && floorDiv(units[k], kTwelfths) == beat)
            ++k;
        const int beatStart = beat * kTwelfths;
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
}

// Halved boundaries lie on 32nds of a beat already; notes merged onto one
// position are moved apart by a 32nd each. Each beat with boundaries
// inside notes the coarsest of sixteenths, 32nds, 64ths and 128ths (of a
// whole note) they lie on, for the breaths.
void separateHalving(std::vector<int> &units, std::vector<BeatGrid> &grids)
{
    constexpr int kFinest = UnitsPerBeat / 32;
    int previous = std::numeric_limits<int>::min();
    for (int &u : units) {
        if (previous != std::numeric_limits<int>::min() && u <= previous)
            u = previous + kFinest;
        previous = u;
        if (u % UnitsPerBeat == 0)
            continue;
        const int beat = floorDiv(u, UnitsPerBeat);
        int grid = UnitsPerBeat / 4;
        while (grid > kFinest && (u - beat * UnitsPerBeat) % grid != 0)
            grid /= 2;
        if (grids.empty() || grids.back().beat != beat)
            grids.push_back({beat, grid});
        else
            grids.back().grid = std::min(grids.back().grid, grid);
    }
}

// The bars from 0 to past `end`, a bar at each of `starts` (whole beats,
// increasing): runs between them are cut into bars of `measure` units,
// a shorter one last; after the last start, bars of `measure` to the end.
QList<Measure> barsOf(const std::vector<int> &starts, int end, int measure)
{
    QList<Measure> bars;
    auto run = [&](int from, int to) {
        for (; from < to; from += measure)
            bars.append({from, std::min(measure, to - from)});
    };
    int previous = 0;
    for (int start : starts) {
        if (start <= previous || start >= end)
            continue;
        run(previous, start);
        previous = start;
    }
    run(previous, previous + std::max(1, (end - previous + measure - 1) / measure) * measure);
    return bars;
}

} // namespace

void quantise(Section &section, Rhythm rhythm)
{
    QList<NoteEvent> &notes = section.notes;
    section.zengBan = std::any_of(section.beatMarks.cbegin(), section.beatMarks.cend(),
                                  [](const BeatMark &m) {
                                      return m.code == Gongche::ZengBan
                                          || m.code == Gongche::YaoZengBan;
                                  });
    // Anchor j is beat j. Every 板 (底板 too) starts a bar; the meter is
    // voted by the gaps of both.
    QList<double> measureStarts, bars;
    for (qsizetype j = 0; j < section.beatMarks.size(); ++j) {
        const char32_t code = section.beatMarks[j].code;
        if (isMeasureStart(code, section.zengBan))
            measureStarts.append(double(j));
        if (startsBar(code, section.zengBan))
            bars.append(double(j));
    }
    section.meter = section.free ? 4 : meterOf(measureStarts, bars);
    section.lengthUnits = 0;
    section.measures.clear();
    if (notes.isEmpty())
        return;

    // The proportional sharing is rounded on its grid of twelfths and
    // scaled up at the end.
    const bool halving = rhythm == Rhythm::Halving;
    const int perBeat = halving ? UnitsPerBeat : kTwelfths;
    const int meter = section.meter;
    const int measureUnits = perBeat * meter;
    // Bars run from the first measure start (else the first beat mark, which
    // is beat 0, as is the first note of a free section); notes before it
    // fill the end of a leading measure.
    const double origin = bars.isEmpty() ? 0.0 : bars.first();

    // Boundaries in beats from the start of the first measure: the onsets
    // and the end of the last note; and for each note how far it moved.
    const qsizetype count = notes.size();
    std::vector<int> units(size_t(count) + 1);
    std::vector<double> moved(static_cast<size_t>(count));
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
            units[size_t(n)] = int(std::lround(position * perBeat));
            if (n < count)
                moved[size_t(n)] = position - notes[n].onset;
        }
        if (kept < count) {
            section.droppedNotes += int(count - kept);
            notes.resize(kept);
            units.resize(size_t(kept) + 1);
            moved.resize(size_t(kept));
            if (kept == 0)
                return;
        }
    }
    int lead = 0;
    if (units.front() >= measureUnits) { // a pickup rounded onto the bar line
        lead = measureUnits;
        for (int &u : units)
            u -= lead;
    }

    std::vector<BeatGrid> grids;
    if (halving)
        separateHalving(units, grids);
    else
        snapProportional(units, grids);

    const int plainGrid = perBeat / 4;
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
        const int beat = floorDiv(target, perBeat);
        const int grid = gridOfBeat(grids, beat, plainGrid);
        int start = beat * perBeat + (target - beat * perBeat + grid / 2) / grid * grid;
        start = std::min(start, end - grid);
        if (start - note.onsetUnits >= grid && start < end)
            note.breathUnits = end - start;
    }

    // A bar at every measure start, placed where its beat went: after the
    // onset of the last note that starts by it, moved as that note was.
    std::vector<int> barStarts;
    barStarts.reserve(size_t(bars.size()));
    qsizetype n = 0;
    for (double beat : std::as_const(bars)) {
        while (n + 1 < notes.size() && notes[n + 1].onset <= beat + kEpsilon)
            ++n;
        const double position = (beat + moved[size_t(n)]) * perBeat - lead;
        barStarts.push_back(int(std::lround(position / perBeat)) * perBeat);
    }
    std::sort(barStarts.begin(), barStarts.end());
    section.measures = barsOf(barStarts, units.back(), measureUnits);
    section.lengthUnits = section.measures.last().startUnits + section.measures.last().lengthUnits;

    if (perBeat != UnitsPerBeat) {
        const int scale = UnitsPerBeat / perBeat;
        for (NoteEvent &note : notes) {
            note.onsetUnits *= scale;
            note.lengthUnits *= scale;
            note.breathUnits *= scale;
        }
        for (Measure &measure : section.measures) {
            measure.startUnits *= scale;
            measure.lengthUnits *= scale;
        }
        section.lengthUnits *= scale;
    }
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
        mapBeats(section, options.rhythm);
        quantise(section, options.rhythm);
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
