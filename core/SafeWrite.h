// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>

class QFileDevice;
class QSaveFile;
class QSettings;

// Writing files so that a full disk, a vanished folder or a read-only file
// system is reported, with its cause, and never replaces a good file with a
// truncated one.
//
// QSaveFile::commit() in Qt 6.4 ignores a failure of its own final flush:
// data still in the device's buffer that does not fit reports success and
// renames a short file over the old one. Everything that commits a
// QSaveFile goes through commitChecked(), which flushes first.
namespace SafeWrite {

// Why a write failed.
enum class Cause {
    None,
    DiskFull,     // no room left (or the quota used up)
    NoPermission, // the file or its folder may not be written
    ReadOnly,     // the file system is mounted read-only
    FolderGone,   // the folder does not exist (any more), or is a file
    Other,
};

struct Failure
{
    Cause cause = Cause::None;
    // The system's error number (errno); 0 when it was not known and the
    // cause was found from the state of the folder.
    int code = 0;

    bool failed() const { return cause != Cause::None; }
    // The cause for the user, a few words: "磁盘空间已满".
    QString reason() const;
};

// The failure of a write of path that ended with the system's error number
// code. With 0 (not known) the cause is read from the path and its folder:
// gone, without room, read-only or not writable.
Failure diagnose(const QString &path, int code);

// lead, then the cause: "导出PDF文件失败：磁盘空间已满！".
QString message(const QString &lead, const Failure &failure);

// Flushes the file and commits it only when every write reached the disk;
// otherwise cancels it (the old file stays as it was). True when committed.
bool commitChecked(QSaveFile &file, Failure *why = nullptr);

struct Options
{
    // Open the file in text mode (line ends of the platform).
    bool text = false;
    // Write the file in place when its folder has no room for a temporary
    // file (a writable file in a read-only folder). A failure then puts the
    // old bytes back.
    bool directWriteFallback = false;
    // The replaced file keeps its owner and group where the process may
    // give them (root; or the group alone for a member of it).
    bool keepOwner = false;
};

// The rule for a file the user chose to write, the same for the score and
// every export: replaced whole, through a temporary file beside it, by a
// file with the old one's permissions, owner and group; a writable file in
// a folder that takes no new file is written in place, and its old bytes
// are put back when that fails.
Options userFile();

// Whatever the options: an existing target that is not a regular file (a
// device such as /dev/null, a pipe) is written into, never replaced.

// Replaces path with bytes, whole or not at all.
bool writeWhole(const QString &path, const QByteArray &bytes, const Options &options = {},
                Failure *why = nullptr);

// The same with the content written by fill into the file opened for it
// (empty, positioned at its start). fill returns false when it failed, with
// the system's error number in *code when it was a write that failed (else
// leaving it 0); nothing is committed then.
using Fill = std::function<bool(QFileDevice &file, int *code)>;
bool writeWith(const QString &path, const Fill &fill, const Options &options = {},
               Failure *why = nullptr);

// A name under which a library that opens files by name (FluidSynth's
// renderer) reaches the open file itself.
QString nameOfOpenFile(const QFileDevice &file);

// Creates a file that did not exist before (an export writing into its own
// new folder). Nothing is left behind when it fails.
bool writeNew(const QString &path, const QByteArray &bytes, QIODevice::OpenMode extra = {},
              Failure *why = nullptr);

// QSettings::sync() with the same guarantee. QSettings writes through its
// own QSaveFile and so reports success on a full disk while leaving a short
// file; the file is checked after the sync and, if short, the previous one
// is put back. False when the settings could not be written (why, when
// given, says the cause); the failure also goes to
// Reporting::settingsNotSaved, so no caller need tell the user.
bool syncSettings(QSettings &settings, Failure *why = nullptr);

// Whether bytes written by QSettings' INI writer hold all keyCount keys:
// one line per key, every line ended. Exposed for tests.
bool iniLooksComplete(const QByteArray &bytes, int keyCount);

// For tests: every write through this namespace that follows meets the
// system error code (ENOSPC, EACCES, ...) as if the disk had answered with
// it, until it is set back to 0. What was there stays as it was.
void injectErrorForTests(int code);

} // namespace SafeWrite
