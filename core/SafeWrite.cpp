// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SafeWrite.h"

#include "core/Reporting.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace {

// Old bytes kept to put back after a failed in-place write; larger files
// are not held in memory.
constexpr qint64 MaxRestoreBytes = qint64(64) * 1024 * 1024;

std::atomic<int> injectedError{0};

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

// The new file replaces the old one under a new inode; it gets the old
// owner and group where the process may give them. Permissions are kept by
// QSaveFile itself.
void keepOwner(QSaveFile &file, const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat old;
    if (::stat(QFile::encodeName(path).constData(), &old) != 0)
        return;
    const int fd = file.handle();
    if (fd < 0)
        return;
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return;
    if (::fchown(fd, uid_t(-1), old.st_gid) != 0) {
        // Not permitted: the file gets the process's owner and group.
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(path);
#endif
}

// The system's answer to the last call, read right after it failed.
int lastError()
{
    return errno;
}

} // namespace

namespace SafeWrite {

QString Failure::reason() const
{
    switch (cause) {
    case Cause::None:
        return QString();
    case Cause::DiskFull:
        return QStringLiteral("磁盘空间已满");
    case Cause::NoPermission:
        return QStringLiteral("没有写入权限");
    case Cause::ReadOnly:
        return QStringLiteral("磁盘是只读的");
    case Cause::FolderGone:
        return QStringLiteral("所在的文件夹不存在");
    case Cause::Other:
        break;
    }
    switch (code) {
    case 0:
        return QStringLiteral("文件未能完整写入");
    case EISDIR:
        return QStringLiteral("目标是一个文件夹");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("文件正被占用");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case EFBIG:
        return QStringLiteral("文件太大");
    case EIO:
        return QStringLiteral("磁盘读写出错");
    default:
        return QStringLiteral("系统错误：") + QString::fromLocal8Bit(std::strerror(code));
    }
}

Failure diagnose(const QString &path, int code)
{
    Failure failure;
    failure.code = code;
    switch (code) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        failure.cause = Cause::DiskFull;
        return failure;
    case EACCES:
    case EPERM:
        failure.cause = Cause::NoPermission;
        return failure;
    case EROFS:
        failure.cause = Cause::ReadOnly;
        return failure;
    case ENOENT:
    case ENOTDIR:
        failure.cause = Cause::FolderGone;
        return failure;
    case 0:
        break;
    default:
        failure.cause = Cause::Other;
        return failure;
    }

    // Not told: what the path and its folder look like now.
    failure.cause = Cause::Other;
    const QFileInfo info(path);
    if (info.isDir()) {
        failure.code = EISDIR;
        return failure;
    }
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        failure.cause = Cause::FolderGone;
        return failure;
    }
#ifdef Q_OS_UNIX
    const QByteArray folderName = QFile::encodeName(folder);
    struct statvfs room;
    if (::statvfs(folderName.constData(), &room) == 0
        && (room.f_bavail == 0 || (room.f_files > 0 && room.f_favail == 0))) {
        failure.cause = Cause::DiskFull;
        return failure;
    }
    QList<QByteArray> names{folderName};
    if (info.exists())
        names << QFile::encodeName(info.absoluteFilePath());
    for (const QByteArray &name : std::as_const(names)) {
        // As the process acts (its effective ids), not as who started it.
        if (::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) != 0) {
            const int denied = lastError();
            if (denied == EROFS || denied == EACCES || denied == EPERM) {
                failure = diagnose(path, denied);
                failure.code = 0;
                return failure;
            }
        }
    }
#endif
    return failure;
}

QString message(const QString &lead, const Failure &failure)
{
    return lead + QStringLiteral("：") + failure.reason() + QStringLiteral("！");
}

bool commitChecked(QSaveFile &file, Failure *why)
{
    // A write that failed inside an earlier flush may have had its error
    // cleared again by a later call (a seek, a position query): a file
    // shorter than what was written to it gives it away.
    errno = 0;
    if (file.error() != QFileDevice::NoError || !file.flush()
        || file.error() != QFileDevice::NoError || file.size() < file.pos()) {
        const int code = lastError();
        file.cancelWriting();
        if (why)
            *why = diagnose(file.fileName(), code);
        return false;
    }
    // Nothing is left in the buffer now; an error the commit still meets
    // (the sync or the rename) counts even where commit() itself says yes.
    errno = 0;
    if (file.commit() && file.error() == QFileDevice::NoError)
        return true;
    if (why)
        *why = diagnose(file.fileName(), lastError());
    return false;
}

Options userFile()
{
    Options options;
    options.directWriteFallback = true;
    options.keepOwner = true;
    return options;
}

bool writeWith(const QString &path, const Fill &fill, const Options &options, Failure *why)
{
    Failure unused;
    Failure &failure = why ? *why : unused;
    failure = Failure();
    const auto failed = [&](int code) {
        failure = diagnose(path, code);
        return false;
    };
    QIODevice::OpenMode mode = QIODevice::WriteOnly;
    if (options.text)
        mode |= QIODevice::Text;

    const QFileInfo info(path);
    if (info.isDir())
        return failed(EISDIR); // QSaveFile refuses it without a system error
    if (info.exists() && !info.isFile()) {
        // A device or a pipe: written into, there is nothing to replace.
        QFile file(path);
        errno = 0;
        if (!file.open(mode))
            return failed(lastError());
        int code = injectedError;
        if (code != 0 || !fill(file, &code))
            return failed(code);
        errno = 0;
        const bool flushed = file.flush();
        const int flushError = lastError();
        file.close();
        return flushed && file.error() == QFileDevice::NoError ? true : failed(flushError);
    }

    QByteArray old;
    bool haveOld = false;
    if (options.directWriteFallback)
        haveOld = info.isFile() && info.size() <= MaxRestoreBytes && readAll(path, &old);

    QSaveFile file(path);
    file.setDirectWriteFallback(options.directWriteFallback);
    errno = 0;
    if (!file.open(mode))
        return failed(lastError());
    if (options.keepOwner)
        keepOwner(file, path);
    int code = injectedError;
    if (code == 0 && fill(file, &code) && commitChecked(file, &failure))
        return true;
    if (!failure.failed())
        failure = diagnose(path, code);
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

bool writeWhole(const QString &path, const QByteArray &bytes, const Options &options,
                Failure *why)
{
    return writeWith(
        path,
        [&bytes](QFileDevice &file, int *code) {
            errno = 0;
            if (file.write(bytes) == bytes.size())
                return true;
            *code = lastError();
            return false;
        },
        options, why);
}

QString nameOfOpenFile(const QFileDevice &file)
{
#ifdef Q_OS_LINUX
    return QStringLiteral("/proc/self/fd/%1").arg(file.handle());
#else
    return QStringLiteral("/dev/fd/%1").arg(file.handle());
#endif
}

bool writeNew(const QString &path, const QByteArray &bytes, QIODevice::OpenMode extra,
              Failure *why)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | extra)) {
        if (why)
            *why = diagnose(path, lastError());
        return false;
    }
    int code = injectedError;
    bool ok = code == 0;
    if (ok) {
        errno = 0;
        ok = file.write(bytes) == bytes.size() && file.flush();
        code = lastError();
    }
    file.close();
    ok = ok && file.error() == QFileDevice::NoError;
    if (!ok) {
        file.remove();
        if (why)
            *why = diagnose(path, code);
    }
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

bool syncSettingsChecked(QSettings &settings, Failure *why)
{
    const QString path = settings.fileName();
    QByteArray before;
    const bool existed = QFileInfo(path).isFile() && readAll(path, &before);

    settings.sync();
    if (settings.status() != QSettings::NoError) {
        // QSettings left the old file in place and keeps the system's
        // answer to itself.
        if (why)
            *why = diagnose(path, 0);
        return false;
    }

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

    const int injected = injectedError;
    if (injected == 0 && iniLooksComplete(after, keyCount))
        return true;
    qWarning() << "settings file" << path << "was written short; the previous one is kept";
    if (existed)
        overwrite(path, before);
    else
        QFile::remove(path);
    if (why)
        *why = diagnose(path, injected);
    return false;
}

} // namespace

bool syncSettings(QSettings &settings, Failure *why)
{
    if (syncSettingsChecked(settings, why))
        return true;
    Reporting::settingsNotSaved(settings.fileName());
    return false;
}

void injectErrorForTests(int code)
{
    injectedError = code;
}

} // namespace SafeWrite
