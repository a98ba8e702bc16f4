// SPDX-License-Identifier: GPL-3.0-or-later
#include "Reading.h"

#include "PitchTable.h"
#include "document/GongcheSymbols.h"
#include "document/ScoreSyntax.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

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

int Performance::noteCount() const
{
    int count = 0;
    for (const Section &section : sections)
        for (const NoteEvent &note : section.notes)
            count += note.pitch >= 0;
    return count;
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

QString checkOptions(const Options &)
{
    return QString(); // stub: filled in with the option rules
}

bool parseTempo(const QString &, double *)
{
    return false; // stub
}

bool parseTranspose(const QString &, int *)
{
    return false; // stub
}

bool isMeasureStart(char32_t, bool)
{
    return false; // stub
}

int meterOf(const QList<double> &)
{
    return 4; // stub
}

void quantise(Section &)
{
    // stub
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

    for (Section &section : sections) {
        if (section.notes.isEmpty())
            continue;
        mapBeats(section);
        performance.sections.append(section);
    }
    if (performance.title.isEmpty())
        performance.title = firstTune;
    return performance;
}

} // namespace Music
