// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ornaments.h"

#include "PitchTable.h"

#include <algorithm>

namespace Music {

namespace {

// Semitones from each degree of the major scale on 上 (1 = 上) to the
// degree above it and to the degree below it.
constexpr int kStepUp[8] = {0, 2, 2, 1, 2, 2, 2, 1};
constexpr int kStepDown[8] = {0, 1, 2, 2, 1, 2, 2, 2};

constexpr int kBeat = TicksPerQuarter;
// A figure step shorter than 1/12 beat is no longer heard as a figure.
constexpr int kShortestStep = TicksPerQuarter / 12;

void appendFigure(QList<Sound> &sounds, const NoteEvent &note, int n, int start, int end)
{
    const int main = note.pitch;
    const int degree = degreeOf(note.glyph);
    const int length = end - start;
    const bool shake = note.figure == Figure::SouQiang;
    const int step = shake ? std::min(kBeat / 8, length / 8) : std::min(kBeat / 4, length / 4);
    const int upper = degree ? main + kStepUp[degree] : -1;
    const int lower = degree ? main - kStepDown[degree] : -1;
    const bool inRange = upper >= 0 && upper <= 127 && lower >= 0;
    if (note.figure == Figure::None || step < kShortestStep || !inRange) {
        sounds.append({main, start, end, n});
        return;
    }
    switch (note.figure) {
    case Figure::DieQiang: { // the note, a touch of the degree below, the note re-struck
        const int middle = start + length / 2;
        sounds.append({main, start, middle, n});
        sounds.append({lower, middle, middle + step, n});
        sounds.append({main, middle + step, end, n});
        break;
    }
    case Figure::CuoQiang: // the note re-struck, then a lead into the degree above
        sounds.append({main, start, end - 2 * step, n});
        sounds.append({main, end - 2 * step, end - step, n});
        sounds.append({upper, end - step, end, n});
        break;
    case Figure::HuoQiang: // the upward flick at the end
        sounds.append({main, start, end - step, n});
        sounds.append({upper, end - step, end, n});
        break;
    case Figure::SouQiang: { // a shake with the degree above from the middle on
        const int middle = start + length / 2;
        sounds.append({main, start, middle, n});
        sounds.append({upper, middle, middle + step, n});
        sounds.append({main, middle + step, middle + 2 * step, n});
        sounds.append({upper, middle + 2 * step, middle + 3 * step, n});
        sounds.append({main, middle + 3 * step, end, n});
        break;
    }
    case Figure::None:
        break;
    }
}

} // namespace

QList<Sound> realise(const Section &section, const Options &options)
{
    QList<Sound> sounds;
    sounds.reserve(section.notes.size());
    for (qsizetype n = 0; n < section.notes.size(); ++n) {
        const NoteEvent &note = section.notes[n];
        if (note.pitch < 0)
            continue;
        const int start = (section.startUnits + note.onsetUnits) * TicksPerUnit;
        const int end = start + (note.lengthUnits - note.breathUnits) * TicksPerUnit;
        if (options.ornaments && note.figure != Figure::None)
            appendFigure(sounds, note, int(n), start, end);
        else
            sounds.append({note.pitch, start, end, int(n)});
    }
    return sounds;
}

} // namespace Music
