// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundFonts.h"

namespace SoundFonts {

QStringList systemSoundFonts()
{
    return {}; // stub
}

bool isUsable(const QString &, QString *)
{
    return false; // stub
}

Choice choose(const QString &)
{
    return {}; // stub
}

} // namespace SoundFonts
