// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DataPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

QString DataPaths::s_override;
QString DataPaths::s_cached;

static bool folderIsWritable(const QString &dir)
{
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return false;
    // Permission bits can lie (read-only mounts, ACLs): try to create a file.
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".kelvo-write-probe-XXXXXX")));
    return probe.open();
}

// An installed program (cmake --install puts the desktop entry beside bin/)
// never writes beside itself, even when run by a user who could.
static bool isInstalledProgram(const QString &executableDir)
{
    return QFileInfo::exists(QDir(executableDir).filePath(
        QStringLiteral("../share/applications/kelvo-gongche.desktop")));
}

QString DataPaths::chooseFor(const QString &executableDir)
{
    if (!isInstalledProgram(executableDir) && folderIsWritable(executableDir))
        return QDir(executableDir).absolutePath();
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (dir.isEmpty())
        dir = QDir::home().filePath(QStringLiteral(".kelvo-gongche"));
    return dir;
}

QString DataPaths::dataDir()
{
    QString dir;
    if (!s_override.isEmpty()) {
        dir = s_override;
    } else {
        if (s_cached.isEmpty()) {
            const QString env = qEnvironmentVariable("KELVO_DATA_DIR");
            s_cached = !env.isEmpty() ? env : chooseFor(QCoreApplication::applicationDirPath());
        }
        dir = s_cached;
    }
    QDir().mkpath(dir);
    return QDir(dir).absolutePath();
}

QString DataPaths::settingsFile()
{
    return QDir(dataDir()).filePath(QStringLiteral("settings.ini"));
}

QString DataPaths::dictionaryFile()
{
    return QDir(dataDir()).filePath(QStringLiteral("wordsdict.csv"));
}

QString DataPaths::fontsDir()
{
    return QDir(dataDir()).filePath(QStringLiteral("fonts"));
}

QString DataPaths::cacheDir()
{
    return QDir(dataDir()).filePath(QStringLiteral("cache"));
}

QString DataPaths::autosaveDir()
{
    return QDir(dataDir()).filePath(QStringLiteral("autosave"));
}

void DataPaths::setOverride(const QString &dir)
{
    s_override = dir;
}
