// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The program's version, set once by project(... VERSION ...) in the top
// CMakeLists.txt; the About page, the update check and --version show it.
namespace Version {

inline QString number()
{
    return QStringLiteral(KELVO_VERSION);
}

} // namespace Version
