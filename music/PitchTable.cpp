// SPDX-License-Identifier: GPL-3.0-or-later
#include "PitchTable.h"

#include "document/GongcheSymbols.h"

#include <algorithm>

namespace Music {

namespace {

// Semitones above 上 of 合 四 一 上 尺 工 凡 六 五 乙 in the middle octave.
constexpr int kSemitones[Gongche::PitchCount] = {-5, -3, -1, 0, 2, 4, 5, 7, 9, 11};
constexpr int kDegree[Gongche::PitchCount] = {5, 6, 7, 1, 2, 3, 4, 5, 6, 7};
constexpr int kOctaveShift[Gongche::OctaveCount] = {-12, 0, 12, 24};

constexpr FluteKey kKeys[KeyCount] = {
    {u"尺字调", u"尺字", 72, 0},  // C5
    {u"小工调", u"小工", 74, 2},  // D5
    {u"凡字调", u"凡字", 75, -3}, // E♭5
    {u"六字调", u"六字", 77, -1}, // F5
    {u"正工调", u"正工", 67, 1},  // G4
    {u"乙字调", u"乙字", 69, 3},  // A4
    {u"上字调", u"上字", 70, -2}, // B♭4
};

constexpr int kFifthsOfPitchClass[12] = {0, -5, 2, -3, 4, -1, -6, 1, -4, 3, -2, 5};

// Index of the key whose name (full or short) occurs earliest in text.
std::optional<int> earliest(QStringView text, bool shortForm)
{
    std::optional<int> best;
    qsizetype bestAt = -1;
    for (int i = 0; i < KeyCount; ++i) {
        const QStringView name(shortForm ? kKeys[i].shortName : kKeys[i].name);
        const qsizetype at = text.indexOf(name);
        if (at >= 0 && (bestAt < 0 || at < bestAt)) {
            bestAt = at;
            best = i;
        }
    }
    return best;
}

} // namespace

const FluteKey &fluteKey(int index)
{
    return kKeys[std::clamp(index, 0, KeyCount - 1)];
}

std::optional<int> keyIndexOfMode(QStringView mode)
{
    if (const auto full = earliest(mode, false))
        return full;
    return earliest(mode, true);
}

int fifthsOfPitchClass(int pitchClass)
{
    return kFifthsOfPitchClass[((pitchClass % 12) + 12) % 12];
}

int pitchOf(char32_t glyph, int doMidi)
{
    Gongche::PitchGlyphParts parts;
    if (!Gongche::decompose(glyph, &parts))
        return -1;
    return doMidi + kSemitones[int(parts.pitch)] + kOctaveShift[int(parts.octave)];
}

int degreeOf(char32_t glyph)
{
    Gongche::PitchGlyphParts parts;
    return Gongche::decompose(glyph, &parts) ? kDegree[int(parts.pitch)] : 0;
}

int foldIntoMidiRange(int midi, bool *folded)
{
    int moved = midi;
    if (moved < 0)
        moved += 12 * ((11 - moved) / 12);
    else if (moved > 127)
        moved -= 12 * ((moved - 116) / 12);
    if (folded)
        *folded = moved != midi;
    return moved;
}

} // namespace Music
