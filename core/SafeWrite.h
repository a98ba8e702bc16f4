// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>

class QSaveFile;
class QSettings;

// Writing files so that a full disk, a vanished folder or a read-only file
// system is reported and never replaces a good file with a truncated one.
//
// QSaveFile::commit() in Qt 6.4 ignores a failure of its own final flush:
// data still in the device's buffer that does not fit reports success and
// renames a short file over the old one. Everything that commits a
// QSaveFile goes through commitChecked(), which flushes first.
namespace SafeWrite {

// Flushes the file and commits it only when every write reached the disk;
// otherwise cancels it (the old file stays as it was). True when committed.
bool commitChecked(QSaveFile &file);

struct Options
{
    // Open the file in text mode (line ends of the platform).
    bool text = false;
    // Write the file in place when its folder has no room for a temporary
    // file (a writable file in a read-only folder). A failure then puts the
    // old bytes back.
    bool directWriteFallback = false;
    // Called once the file is open, before anything is written.
    std::function<void(QSaveFile &)> prepare;
};

// Replaces path with bytes, whole or not at all.
bool writeWhole(const QString &path, const QByteArray &bytes, const Options &options = {});

// Creates a file that did not exist before (an export writing into its own
// new folder). Nothing is left behind when it fails.
bool writeNew(const QString &path, const QByteArray &bytes, QIODevice::OpenMode extra = {});

// QSettings::sync() with the same guarantee. QSettings writes through its
// own QSaveFile and so reports success on a full disk while leaving a short
// file; the file is checked after the sync and, if short, the previous one
// is put back. False when the settings could not be written; the failure
// also goes to Reporting::settingsNotSaved, so no caller need tell the user.
bool syncSettings(QSettings &settings);

// Whether bytes written by QSettings' INI writer hold all keyCount keys:
// one line per key, every line ended. Exposed for tests.
bool iniLooksComplete(const QByteArray &bytes, int keyCount);

} // namespace SafeWrite
