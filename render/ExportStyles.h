// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

class ExportConfig;

// The built-in page styles: partial sets of [Export] values, put in use over
// the current settings in memory (ExportConfig::applyValues), like a scheme
// whose missing keys keep their value. Applying one never writes the
// settings file. Both styles set the same keys (colours and spacing), so
// either undoes the other; fonts and the page stay as the user has them.
// The export dialog offers them, the command line takes --style <id>.
namespace ExportStyles {

struct Style
{
    QString id;    // for --style
    QString label; // for the dialog
    QString description;
    QVariantMap values;
};

// In the order the dialog lists them.
const QList<Style> &all();
// nullptr for an unknown id.
const Style *find(const QString &id);
// The ids, for messages: "slanted, upright".
QString idList();
// Puts the style's values in use; false (nothing changed) for an unknown id.
bool apply(ExportConfig &config, const QString &id);

} // namespace ExportStyles
