// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The program's default fonts name Windows families ("楷体", "黑体", "宋体",
// "SimSun"). Elsewhere those are usually missing, so text would fall back to
// whatever the platform picks; instead they are mapped to installed CJK
// families of the same style.

// For each of those families that is not among available, the installed
// replacements of the same style in order of preference. Families without
// an installed replacement are left out. Names compare case-insensitively,
// and a "[foundry]" suffix on an available name is ignored.
QList<QPair<QString, QStringList>> platformFontSubstitutions(const QStringList &available);

// Applies the above to the application's font database (after the
// application object exists).
void installPlatformFontSubstitutions();
