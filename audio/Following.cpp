// SPDX-License-Identifier: GPL-3.0-or-later
#include "Following.h"

#include "music/Ornaments.h"

#include <algorithm>

namespace Audio {

QList<Cue> cues(const Music::Performance &performance)
{
    QList<Cue> result;
    for (const Music::Section &section : performance.sections) {
        for (const Music::NoteEvent &note : section.notes) {
            if (note.pitch < 0 || note.item < 0)
                continue;
            const int start = (section.startUnits + note.onsetUnits) * Music::TicksPerUnit;
            const int end = (section.startUnits + note.onsetUnits + note.lengthUnits) * Music::TicksPerUnit;
            // A character's notes follow each other; a rest between two of
            // them does not split its cue.
            if (!result.isEmpty() && result.last().item == note.item
                && result.last().character == note.character) {
                result.last().endTick = std::max(result.last().endTick, end);
                continue;
            }
            result.append({start, end, note.item, note.character});
        }
    }
    // Sections follow on, so this is already in order; stable keeps equal
    // starts in document order should a section ever overlap its neighbour.
    std::stable_sort(result.begin(), result.end(),
                     [](const Cue &a, const Cue &b) { return a.startTick < b.startTick; });
    return result;
}

int cueAt(const QList<Cue> &cues, int tick)
{
    const auto after = std::upper_bound(cues.cbegin(), cues.cend(), tick,
                                        [](int t, const Cue &cue) { return t < cue.startTick; });
    return int(after - cues.cbegin()) - 1;
}

int startTickFor(const QList<Cue> &cues, int item, int character)
{
    // The first cue at or after (item, character) in document order; cues
    // need not be in document order for this (a repeat could reorder them).
    const Cue *best = nullptr;
    for (const Cue &cue : cues) {
        const bool atOrAfter = cue.item > item || (cue.item == item && cue.character >= character);
        if (!atOrAfter)
            continue;
        if (!best || cue.item < best->item || (cue.item == best->item && cue.character < best->character))
            best = &cue;
    }
    return best ? best->startTick : 0;
}

} // namespace Audio
