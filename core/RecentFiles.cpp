// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/RecentFiles.h"

#include "core/DataPaths.h"
#include "core/SafeWrite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

static const QString FilesKey = QStringLiteral("Recent/files");

static QString dirKey(const QString &kind)
{
    return QStringLiteral("Recent/dir_") + kind;
}

RecentFiles *RecentFiles::instance()
{
    static RecentFiles *s_instance = nullptr;
    if (!s_instance)
        s_instance = new RecentFiles(QCoreApplication::instance());
    return s_instance;
}

QStringList RecentFiles::files() const
{
    const QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
    QStringList out;
    for (const QString &path : settings.value(FilesKey).toStringList()) {
        // A relative entry (older versions) names a file only from the
        // folder it was opened in: unusable from anywhere else.
        if (QFileInfo(path).isAbsolute() && !out.contains(path) && out.size() < MaxFiles)
            out << path;
    }
    return out;
}

void RecentFiles::storeFiles(const QStringList &files)
{
    QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
    settings.setValue(FilesKey, files);
    SafeWrite::syncSettings(settings);
    emit filesChanged();
}

void RecentFiles::addFile(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = files();
    list.removeAll(absolute);
    list.prepend(absolute);
    while (list.size() > MaxFiles)
        list.removeLast();
    storeFiles(list);
}

void RecentFiles::removeFile(const QString &path)
{
    QStringList list = files();
    if (list.removeAll(QFileInfo(path).absoluteFilePath()) > 0 || list.removeAll(path) > 0)
        storeFiles(list);
}

void RecentFiles::clearFiles()
{
    storeFiles({});
}

QString RecentFiles::lastDir(const QString &kind) const
{
    const QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
    const QString stored = settings.value(dirKey(kind)).toString();
    if (QFileInfo(stored).isAbsolute() && QFileInfo(stored).isDir())
        return stored;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

void RecentFiles::setLastDir(const QString &kind, const QString &path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    const QString dir = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
    settings.setValue(dirKey(kind), dir);
    SafeWrite::syncSettings(settings);
}
