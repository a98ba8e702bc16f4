// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/FileStamp.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

FileStamp FileStamp::ofBytes(const QByteArray &bytes)
{
    FileStamp stamp;
    stamp.known = true;
    stamp.exists = true;
    stamp.size = bytes.size();
    stamp.digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return stamp;
}

FileStamp FileStamp::ofFile(const QString &path, const FileStamp &previous)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        FileStamp missing;
        missing.known = true;
        return missing;
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return previous;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || file.error() != QFileDevice::NoError)
        return previous;
    FileStamp stamp;
    stamp.known = true;
    stamp.exists = true;
    stamp.size = file.size();
    stamp.digest = hash.result();
    return stamp;
}

bool FileStamp::sameAs(const FileStamp &other) const
{
    if (!known || !other.known || exists != other.exists)
        return false;
    return !exists || (size == other.size && digest == other.digest && !digest.isEmpty());
}
