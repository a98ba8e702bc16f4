// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringView>

#include <optional>

// Keys of the dizi and the pitch of each notation glyph in them. A key
// fixes the MIDI pitch of 上 (do) in the middle octave; the ten gongche
// characters are the major scale on 上 from 5̣ up to 7.
namespace Music {

struct FluteKey
{
    const char16_t *name;      // 小工调
    const char16_t *shortName; // 小工
    int doMidi;                // 上 of the middle octave
    int fifths;                // key signature of that 上
};

constexpr int KeyCount = 7;
constexpr int DefaultKey = 1; // 小工调, when no heading names a key

const FluteKey &fluteKey(int index); // index clamped into 0..KeyCount-1

// The key a tune heading's mode text names: a full name (小工调) anywhere
// in the text, else a short form (小工); the earliest match wins. Nothing
// when the text names no key, e.g. the template's "调".
std::optional<int> keyIndexOfMode(QStringView mode);

// Key signature (fifths, -6..5) of a major key by the pitch class of its
// tonic (0 = C); the spelling with fewer accidentals, G♭ for 6.
int fifthsOfPitchClass(int pitchClass);

// MIDI pitch of a pitch glyph (any of its four blocks) when 上 of the
// middle octave sounds doMidi; -1 for anything that is not a pitch glyph.
// The result is not clamped to the MIDI range: see foldIntoMidiRange.
int pitchOf(char32_t glyph, int doMidi);

// Scale degree 1..7 of a pitch glyph (上 = 1, 合 = 5), 0 for anything else.
int degreeOf(char32_t glyph);

// Moves a pitch by whole octaves into 0..127; *folded (when given) tells
// whether it had to.
int foldIntoMidiRange(int midi, bool *folded = nullptr);

} // namespace Music
