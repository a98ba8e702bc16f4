// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ornaments.h"

namespace Music {

QList<Sound> realise(const Section &section, const Options &options)
{
    Q_UNUSED(options)
    QList<Sound> sounds;
    for (qsizetype n = 0; n < section.notes.size(); ++n) {
        const NoteEvent &note = section.notes[n];
        if (note.pitch < 0)
            continue;
        const int start = (section.startUnits + note.onsetUnits) * TicksPerUnit;
        const int end = start + (note.lengthUnits - note.breathUnits) * TicksPerUnit;
        sounds.append({note.pitch, start, end, int(n)});
    }
    return sounds;
}

} // namespace Music
