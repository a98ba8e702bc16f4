// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SafeWrite.h"

#include "core/Reporting.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>

namespace {

// Old bytes kept to put back after a failed in-place write; larger files
// (none of ours) are not held in memory.
constexpr qint64 MaxRestoreBytes = qint64(64) * 1024 * 1024;

bool readAll(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

// Writes in place: the old content is already gone, so this is only for
// putting back what was there, into the room it took before.
bool overwrite(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

} // namespace

namespace SafeWrite {

bool commitChecked(QSaveFile &file)
{
    // A write that failed inside an earlier flush may have had its error
    // cleared again by a later call (a seek, a position query): a file
    // shorter than what was written to it gives it away.
    if (file.error() != QFileDevice::NoError || !file.flush()
        || file.error() != QFileDevice::NoError || file.size() < file.pos()) {
        file.cancelWriting();
        return false;
    }
    // Nothing is left in the buffer now; an error the commit still meets
    // (the sync or the rename) counts even where commit() itself says yes.
    return file.commit() && file.error() == QFileDevice::NoError;
}

bool writeWhole(const QString &path, const QByteArray &bytes, const Options &options)
{
    QByteArray old;
    bool haveOld = false;
    if (options.directWriteFallback) {
        const QFileInfo info(path);
        haveOld = info.isFile() && info.size() <= MaxRestoreBytes && readAll(path, &old);
    }

    QSaveFile file(path);
    file.setDirectWriteFallback(options.directWriteFallback);
    QIODevice::OpenMode mode = QIODevice::WriteOnly;
    if (options.text)
        mode |= QIODevice::Text;
    if (!file.open(mode))
        return false;
    if (options.prepare)
        options.prepare(file);
    if (file.write(bytes) == bytes.size() && commitChecked(file))
        return true;
    file.cancelWriting();

    // Written in place and failed: the old bytes go back.
    if (haveOld) {
        QByteArray now;
        if (!readAll(path, &now) || now != old) {
            if (!overwrite(path, old))
                qWarning() << "could not restore" << path << "after a failed write";
        }
    }
    return false;
}

bool writeNew(const QString &path, const QByteArray &bytes, QIODevice::OpenMode extra)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | extra))
        return false;
    bool ok = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    ok = ok && file.error() == QFileDevice::NoError;
    if (!ok)
        file.remove();
    return ok;
}

bool iniLooksComplete(const QByteArray &bytes, int keyCount)
{
    if (keyCount == 0)
        return true;
    if (!bytes.endsWith('\n'))
        return false;
    int keys = 0;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('[') || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.contains('='))
            ++keys;
    }
    return keys >= keyCount;
}

namespace {

bool syncSettingsChecked(QSettings &settings)
{
    const QString path = settings.fileName();
    QByteArray before;
    const bool existed = QFileInfo(path).isFile() && readAll(path, &before);

    settings.sync();
    if (settings.status() != QSettings::NoError)
        return false; // QSettings left the old file in place

    QByteArray after;
    if (!readAll(path, &after))
        return settings.allKeys().isEmpty() && !QFileInfo::exists(path);
    if (existed && after == before)
        return true; // nothing was written

    // Every key of the file, not only those of the current group.
    QStringList groups;
    while (!settings.group().isEmpty()) {
        groups.prepend(settings.group());
        settings.endGroup();
    }
    const int keyCount = int(settings.allKeys().size());
    QString outer;
    for (const QString &group : groups) {
        settings.beginGroup(outer.isEmpty() ? group : group.mid(outer.size() + 1));
        outer = group;
    }

    if (iniLooksComplete(after, keyCount))
        return true;
    qWarning() << "settings file" << path << "was written short; the previous one is kept";
    if (existed)
        overwrite(path, before);
    else
        QFile::remove(path);
    return false;
}

} // namespace

bool syncSettings(QSettings &settings)
{
    if (syncSettingsChecked(settings))
        return true;
    Reporting::settingsNotSaved(settings.fileName());
    return false;
}

} // namespace SafeWrite
