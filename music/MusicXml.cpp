// SPDX-License-Identifier: GPL-3.0-or-later
#include "MusicXml.h"

namespace MusicXml {

QByteArray encode(const Music::Performance &performance, const Music::Options &options)
{
    Q_UNUSED(performance)
    Q_UNUSED(options)
    return QByteArray();
}

} // namespace MusicXml
