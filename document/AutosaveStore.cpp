// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/AutosaveStore.h"

#include "core/SafeWrite.h"
#include "document/ScoreFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>

#include <algorithm>

namespace {

const QString SessionPrefix = QStringLiteral("session-");
const QString LockSuffix = QStringLiteral(".lock");
const QString DataSuffix = QStringLiteral(".gcp");
const QString RecordSuffix = QStringLiteral(".json");

// Records and copies are a few kilobytes; anything far larger is not ours.
constexpr qint64 MaxRecordBytes = 64 * 1024;

// The lock sits beside its folder rather than inside it, so that it exists
// before the folder does: a program scanning at that moment never mistakes
// a session being created for one left behind.
QString lockPathFor(const QString &sessionDir)
{
    return QDir::cleanPath(sessionDir) + LockSuffix;
}

std::unique_ptr<QLockFile> makeLock(const QString &sessionDir)
{
    auto lock = std::make_unique<QLockFile>(lockPathFor(sessionDir));
    // A running program's lock may be hours old; only a lock whose process
    // has gone counts as stale (where no native file lock says so already).
    lock->setStaleLockTime(0);
    return lock;
}

bool writeWhole(const QString &path, const QByteArray &bytes)
{
    return SafeWrite::writeWhole(path, bytes);
}

bool readSmall(const QString &path, qint64 limit, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit)
        return false;
    *bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

// Releases a lock whose file has gone, or is another program's now, without
// deleting anything but a placeholder of its own (QLockFile's release
// deletes whatever file is at its path). False: the path is taken.
bool releaseLost(std::unique_ptr<QLockFile> &lock, const QString &path)
{
    QFile placeholder(path);
    if (!placeholder.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    placeholder.close();
    lock.reset();
    return true;
}

// A lock file that names no program (cut short by a crash or a full disk
// while it was written) is never stale to QLockFile, so its session would
// never be offered again. Once too old to be one being written right now, it
// may go: removeStaleLockFile() still leaves one that a running program
// holds (its native lock says so).
bool isDamagedLock(const QLockFile &lock, const QString &path)
{
    qint64 pid = 0;
    QString host;
    QString app;
    const QFileInfo info(path);
    return !lock.getLockInfo(&pid, &host, &app) && info.isFile()
           && qAbs(info.lastModified().secsTo(QDateTime::currentDateTime())) > 60;
}

void removeSessionFolder(const QString &dir, QLockFile *lock)
{
    QDir(dir).removeRecursively();
    // The lock goes last, so that the folder is never seen unguarded.
    if (lock)
        lock->unlock();
}

} // namespace

AutosaveStore::AutosaveStore(const QString &rootDir)
    : m_root(rootDir)
{
}

AutosaveStore::~AutosaveStore()
{
    if (!m_sessionDir.isEmpty() && isEmpty())
        endSession();
    dropLostLock();
    releaseYielded();
    // Still another program's: never released, which would delete its file.
    static auto *kept = new std::vector<QLockFile *>;
    for (auto &yielded : m_yielded)
        kept->push_back(yielded.second.release());
}

void AutosaveStore::dropLostLock()
{
    if (!m_lock || holdsLock())
        return;
    const QString path = lockPathFor(m_sessionDir);
    if (!releaseLost(m_lock, path))
        m_yielded.emplace_back(path, std::move(m_lock));
}

void AutosaveStore::releaseYielded()
{
    for (auto it = m_yielded.begin(); it != m_yielded.end();) {
        if (releaseLost(it->second, it->first))
            it = m_yielded.erase(it);
        else
            ++it;
    }
}

bool AutosaveStore::holdsLock() const
{
    // QLockFile only remembers that it locked; whether its file is still
    // there, and still its own, only the file can say.
    qint64 pid = 0;
    QString host;
    QString app;
    return m_lock && m_lock->isLocked() && m_lock->getLockInfo(&pid, &host, &app)
           && pid == QCoreApplication::applicationPid();
}

bool AutosaveStore::lockSession(const QString &dir)
{
    if (QFileInfo::exists(lockPathFor(dir)))
        return false;
    auto lock = makeLock(dir);
    if (!lock->tryLock(0))
        return false;
    m_lock = std::move(lock);
    m_sessionDir = dir;
    return true;
}

bool AutosaveStore::ensureSession()
{
    if (!QDir().mkpath(m_root))
        return false;
    releaseYielded();
    dropLostLock();
    if (!m_lock) {
        // The same folder again when it is free: the copies in it stay good.
        if (m_sessionDir.isEmpty() || !lockSession(m_sessionDir)) {
            const QString stamp =
                QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
            const QString base = QDir(m_root).filePath(SessionPrefix + stamp + QLatin1Char('-')
                                                       + QString::number(QCoreApplication::applicationPid()));
            for (int n = 0; n < 100 && !m_lock; ++n) {
                const QString dir = n == 0 ? base : base + QLatin1Char('-') + QString::number(n);
                if (!QFileInfo::exists(dir))
                    lockSession(dir);
            }
        }
        if (!m_lock)
            return false;
    }
    // The folder after its lock, so that it is never seen unguarded.
    return QDir().mkpath(m_sessionDir);
}

bool AutosaveStore::keepSession()
{
    return m_sessionDir.isEmpty() || ensureSession();
}

bool AutosaveStore::holds(const QString &id) const
{
    if (m_sessionDir.isEmpty() || id.isEmpty())
        return false;
    const QDir dir(m_sessionDir);
    return QFileInfo(dir.filePath(id + DataSuffix)).isFile()
           && QFileInfo(dir.filePath(id + RecordSuffix)).isFile();
}

bool AutosaveStore::write(const Entry &entry, const QString &lyric, const QString &score)
{
    if (entry.id.isEmpty() || !ensureSession())
        return false;
    const QDir dir(m_sessionDir);
    QJsonObject record;
    record.insert(QStringLiteral("path"), entry.originalPath);
    record.insert(QStringLiteral("title"), entry.title);
    record.insert(QStringLiteral("saved"),
                  (entry.savedAt.isValid() ? entry.savedAt : QDateTime::currentDateTime())
                      .toString(Qt::ISODateWithMs));
    // The copy first: a record always describes a complete copy.
    return writeWhole(dir.filePath(entry.id + DataSuffix), ScoreFile::encode(lyric, score))
           && writeWhole(dir.filePath(entry.id + RecordSuffix),
                         QJsonDocument(record).toJson(QJsonDocument::Indented));
}

void AutosaveStore::remove(const QString &id)
{
    if (m_sessionDir.isEmpty() || id.isEmpty())
        return;
    const QDir dir(m_sessionDir);
    // The record first: a copy without record is still offered, a record
    // without copy would look damaged.
    QFile::remove(dir.filePath(id + RecordSuffix));
    QFile::remove(dir.filePath(id + DataSuffix));
}

bool AutosaveStore::isEmpty() const
{
    if (m_sessionDir.isEmpty())
        return true;
    return QDir(m_sessionDir).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty();
}

void AutosaveStore::endSession()
{
    if (m_sessionDir.isEmpty())
        return;
    dropLostLock();
    removeSessionFolder(m_sessionDir, m_lock.get());
    m_lock.reset();
    m_sessionDir.clear();
}

// ---- Sessions left behind ---------------------------------------------------

std::vector<std::unique_ptr<AutosaveStore::Leftover>>
AutosaveStore::claimLeftovers(const QString &rootDir)
{
    std::vector<std::unique_ptr<Leftover>> found;
    const QDir root(rootDir);
    const QStringList folders =
        root.entryList({SessionPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : folders) {
        const QString dir = root.filePath(name);
        auto lock = makeLock(dir);
        // Held: a running program's session (this one's included).
        if (!lock->tryLock(0)
            && !(isDamagedLock(*lock, lockPathFor(dir)) && lock->removeStaleLockFile()
                 && lock->tryLock(0)))
            continue;
        std::unique_ptr<Leftover> leftover(new Leftover(rootDir, dir, std::move(lock)));
        if (leftover->entries().isEmpty())
            continue; // its destructor removes the empty folder
        found.push_back(std::move(leftover));
    }
    return found;
}

AutosaveStore::Leftover::Leftover(const QString &root, const QString &dir,
                                  std::unique_ptr<QLockFile> lock)
    : m_root(root)
    , m_dir(dir)
    , m_lock(std::move(lock))
{
}

AutosaveStore::Leftover::~Leftover()
{
    if (entries().isEmpty())
        removeSessionFolder(m_dir, m_lock.get());
}

QList<AutosaveStore::Entry> AutosaveStore::Leftover::entries() const
{
    QList<Entry> out;
    const QDir dir(m_dir);
    QStringList ids;
    for (const QString &file : dir.entryList(QDir::Files, QDir::Name)) {
        const QFileInfo info(file);
        const QString suffix = QLatin1Char('.') + info.suffix();
        if (suffix != DataSuffix && suffix != RecordSuffix)
            continue;
        const QString id = info.completeBaseName();
        if (!ids.contains(id))
            ids << id;
    }
    for (const QString &id : ids) {
        Entry entry;
        entry.id = id;
        QByteArray bytes;
        if (readSmall(dir.filePath(id + RecordSuffix), MaxRecordBytes, &bytes)) {
            const QJsonObject record = QJsonDocument::fromJson(bytes).object();
            const QString path = record.value(QStringLiteral("path")).toString();
            if (QFileInfo(path).isAbsolute())
                entry.originalPath = QDir::cleanPath(path);
            else
                entry.unusablePath = path;
            entry.title = record.value(QStringLiteral("title")).toString();
            entry.savedAt = QDateTime::fromString(record.value(QStringLiteral("saved")).toString(),
                                                  Qt::ISODate);
        }
        if (!entry.savedAt.isValid())
            entry.savedAt = QFileInfo(dir.filePath(id + DataSuffix)).lastModified();
        const QString named = entry.originalPath.isEmpty() ? entry.unusablePath : entry.originalPath;
        if (entry.title.isEmpty())
            entry.title = named.isEmpty() ? id : QFileInfo(named).fileName();
        out << entry;
    }
    // Copies written in the same instant come in the order of their ids.
    std::sort(out.begin(), out.end(), [](const Entry &a, const Entry &b) {
        return a.savedAt != b.savedAt ? a.savedAt < b.savedAt : openedBefore(a.id, b.id);
    });
    return out;
}

bool AutosaveStore::Leftover::read(const Entry &entry, QString *lyric, QString *score) const
{
    QFile file(QDir(m_dir).filePath(entry.id + DataSuffix));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    const ScoreFile::Decoded decoded = ScoreFile::decode(bytes);
    if (!decoded.ok())
        return false;
    *lyric = decoded.lyric;
    *score = decoded.score;
    return true;
}

void AutosaveStore::Leftover::discard(const Entry &entry)
{
    const QDir dir(m_dir);
    QFile::remove(dir.filePath(entry.id + RecordSuffix));
    QFile::remove(dir.filePath(entry.id + DataSuffix));
}

bool AutosaveStore::Leftover::setAside(const Entry &entry, QString *damagedDir)
{
    const QDir dir(m_dir);
    const QString target = QDir(m_root).filePath(QStringLiteral("damaged"));
    *damagedDir = target;
    // A file of that name in the way: nothing can be moved.
    bool moved = QDir().mkpath(target);
    const QString prefix = QFileInfo(m_dir).fileName() + QLatin1Char('-') + entry.id;
    for (const QString &suffix : {DataSuffix, RecordSuffix}) {
        const QString from = dir.filePath(entry.id + suffix);
        if (!moved || !QFileInfo::exists(from))
            continue;
        QString to = QDir(target).filePath(prefix + suffix);
        for (int n = 1; QFileInfo::exists(to); ++n)
            to = QDir(target).filePath(prefix + QLatin1Char('-') + QString::number(n) + suffix);
        // Never lose it: when it cannot be moved it stays where it is.
        moved = QFile::rename(from, to);
    }
    return moved;
}
