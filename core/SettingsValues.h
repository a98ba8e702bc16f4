// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>

class QSettings;
class QVariant;

// Reading hand-edited values of the settings file so that what is loaded is
// exactly what the next save writes back.
namespace SettingsValues {

// The text of a key in the settings' current group, trimmed. An unquoted
// comma makes the INI parser split a value into a list; such a value is
// taken from the file as written, so "A, B" stays "A, B" and ",b" stays ",b".
QString text(const QSettings &settings, const QString &key);
// The same for a value already read (a list is joined with ", ").
QString text(const QVariant &value);

// A colour as the file stores it: "#rgb" or "#rrggbb", hex digits in either
// case, surrounding blanks ignored. Anything else (names, alpha, other
// lengths) is refused as an invalid colour: the file holds opaque colours
// only, and a value the save would rewrite differently must not be drawn.
QColor color(const QString &text);

} // namespace SettingsValues
