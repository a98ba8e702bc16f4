// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlaybackSettings.h"

#include <QSettings>

int PlaybackSettings::program(Instrument)
{
    return 73; // stub
}

QString PlaybackSettings::name(Instrument)
{
    return QString(); // stub
}

PlaybackSettings PlaybackSettings::load(QSettings &)
{
    return {}; // stub
}

void PlaybackSettings::save(QSettings &) const
{
    // stub
}
