// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// What a file held when a document last read or wrote it, to tell later
// whether someone else has changed it since. Plain code, no widgets.
//
// Only the content counts. The modification time is left out: a touch
// changes it without changing anything, and at its millisecond resolution
// two quick saves of the same size by another program would look alike.
struct FileStamp
{
    // False for a stamp never taken: nothing is known about the file.
    bool known = false;
    bool exists = false;
    qint64 size = 0;
    QByteArray digest;

    // The stamp of a file holding exactly these bytes (just read or written).
    static FileStamp ofBytes(const QByteArray &bytes);
    // The file as it is now: missing, or its content. A file that is there
    // but cannot be read is taken as unchanged from `previous` (unknown
    // without one), since nothing can be told about it.
    static FileStamp ofFile(const QString &path, const FileStamp &previous);
    static FileStamp ofFile(const QString &path) { return ofFile(path, FileStamp()); }

    // Both known and with the same content, or both missing.
    bool sameAs(const FileStamp &other) const;
};
