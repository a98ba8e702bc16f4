// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/CoreTestSupport.h"

#include "core/DataPaths.h"
#include "core/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <QtEndian>

#include <algorithm>

TestDataFolder::TestDataFolder()
{
    DataPaths::setOverride(m_dir.path());
}

TestDataFolder::~TestDataFolder()
{
    DataPaths::setOverride(QString());
}

CurrentFolder::CurrentFolder(const QString &dir)
    : m_previous(QDir::currentPath())
{
    QDir::setCurrent(dir);
}

CurrentFolder::~CurrentFolder()
{
    QDir::setCurrent(m_previous);
}

RecordedReports::RecordedReports()
    : m_previous(Reporting::setReporter(this))
{
}

RecordedReports::~RecordedReports()
{
    if (Reporting::reporter() == this)
        Reporting::setReporter(m_previous);
}

void initCoreTestApplication()
{
    initResources();
    QCoreApplication::setApplicationName(QStringLiteral("kelvo-gongche-tests"));
}

// ---- SmallFileSystem ----------------------------------------------------------

#ifdef Q_OS_LINUX
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>
#endif

SmallFileSystem::SmallFileSystem(int kilobytes)
{
#ifdef Q_OS_LINUX
    if (::geteuid() != 0) {
        m_reason = QStringLiteral("needs root to mount a small tmpfs");
        return;
    }
    m_mountPoint = m_parent.filePath(QStringLiteral("fs"));
    QDir().mkpath(m_mountPoint);
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
    if (::mount("tmpfs", QFile::encodeName(m_mountPoint).constData(), "tmpfs", 0,
                options.constData())
        != 0) {
        m_reason = QStringLiteral("cannot mount a tmpfs: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
#else
    Q_UNUSED(kilobytes);
    m_reason = QStringLiteral("small tmpfs only on Linux");
#endif
}

SmallFileSystem::~SmallFileSystem()
{
#ifdef Q_OS_LINUX
    if (m_mounted)
        ::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH);
#endif
}

QString SmallFileSystem::filePath(const QString &name) const
{
    return QDir(m_mountPoint).filePath(name);
}

bool SmallFileSystem::fill(qint64 leave)
{
    QFile filler(filePath(QStringLiteral(".filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    // A partial last block may have gone in; the room is taken either way.
    return leave <= 0 || filler.resize(std::max<qint64>(0, filler.size() - leave));
}

bool SmallFileSystem::remountReadOnly()
{
#ifdef Q_OS_LINUX
    return m_mounted
           && ::mount("tmpfs", QFile::encodeName(m_mountPoint).constData(), "tmpfs",
                      MS_REMOUNT | MS_RDONLY, nullptr)
                  == 0;
#else
    return false;
#endif
}

QByteArray damagedSoundFont(const QString &source, SoundFontDamage damage)
{
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    const auto number = [&bytes](qsizetype at) {
        return at + 4 <= bytes.size() ? qFromLittleEndian<quint32>(bytes.constData() + at) : 0u;
    };
    qsizetype samplesAt = -1, headersAt = -1;
    quint32 samplesSize = 0, headersSize = 0;
    // RIFF sfbk: LIST chunks of sub-chunks; smpl in sdta, shdr in pdta.
    for (qsizetype at = 12; at + 12 <= bytes.size(); at += 8 + number(at + 4)) {
        const qsizetype end = at + 8 + number(at + 4);
        for (qsizetype sub = at + 12; sub + 8 <= end; sub += 8 + number(sub + 4)) {
            if (bytes.mid(sub, 4) == "smpl") {
                samplesAt = sub + 8;
                samplesSize = number(sub + 4);
            } else if (bytes.mid(sub, 4) == "shdr") {
                headersAt = sub + 8;
                headersSize = number(sub + 4);
            }
        }
    }
    if (samplesAt < 0 || headersAt < 0)
        return {};
    if (damage == SoundFontDamage::SilentSamples) {
        bytes.replace(samplesAt, samplesSize, QByteArray(samplesSize, '\0'));
        return bytes;
    }
    for (quint32 record = 0; (record + 2) * 46 <= headersSize; ++record)
        for (int field = 0; field < 4; ++field) { // start, end, loop start, loop end
            const qsizetype at = headersAt + record * 46 + 20 + field * 4;
            qToLittleEndian<quint32>(number(at) + samplesSize, bytes.data() + at);
        }
    return bytes;
}

// ---- AsUnprivileged -----------------------------------------------------------

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

AsUnprivileged::AsUnprivileged()
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        return;
    m_switched = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
#endif
}

AsUnprivileged::~AsUnprivileged()
{
#ifdef Q_OS_UNIX
    if (m_switched && (::seteuid(0) != 0 || ::setegid(0) != 0))
        qFatal("could not become root again");
#endif
}

bool AsUnprivileged::reachable(const QString &folder)
{
#ifdef Q_OS_UNIX
    return ::chmod(QFile::encodeName(folder).constData(), 0755) == 0;
#else
    Q_UNUSED(folder);
    return true;
#endif
}

void runExitChild(const QString &mode, const QString &dataDir)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KELVO_DATA_DIR", dataDir);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {"--exit-child", mode});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray errors = child.readAllStandardError();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(!errors.contains("QFont") && !errors.contains("QGuiApplication"), errors.constData());
}
