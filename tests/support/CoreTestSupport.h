// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Reporting.h"

#include <QByteArray>
#include <QList>
#include <QTemporaryDir>

// Test helpers that need no widget: tests of the core library link only
// these.

// A fresh data folder for one test case; the previous one comes back when
// the object goes away.
class TestDataFolder
{
public:
    TestDataFolder();
    ~TestDataFolder();

    QString dataDir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Runs this test program again as "--exit-child <mode>" with its data folder
// in dataDir and checks that it ends cleanly, without a font or application
// warning (a settings owner saving at exit while the font system is gone).
void runExitChild(const QString &mode, const QString &dataDir);

// dir is the current folder (the one a program was started from) while the
// object lives; the previous one comes back, also after a failed check.
class CurrentFolder
{
public:
    explicit CurrentFolder(const QString &dir);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder &) = delete;
    CurrentFolder &operator=(const CurrentFolder &) = delete;

private:
    QString m_previous;
};

// Records what the code reports (Reporting) while it lives, instead of
// showing or printing it.
class RecordedReports : public Reporting::Reporter
{
public:
    RecordedReports();
    ~RecordedReports() override;
    RecordedReports(const RecordedReports &) = delete;
    RecordedReports &operator=(const RecordedReports &) = delete;

    void report(const Reporting::Report &report) override { reports.append(report); }

    QList<Reporting::Report> reports;

private:
    Reporting::Reporter *m_previous;
};

// One core test case's environment: a fresh data folder and the reports
// recorded, both restored when the object goes away.
class CoreTestEnvironment
{
public:
    QString dataDir() const { return m_data.dataDir(); }
    QList<Reporting::Report> &reports() { return m_reports.reports; }

private:
    TestDataFolder m_data;
    RecordedReports m_reports;
};

// Call once from a test's main (or initTestCase): resources, names.
void initCoreTestApplication();

// A tiny file system of its own (a size-limited tmpfs) for tests of what a
// full disk or a read-only one does to the program's writes. Mounting needs
// root; skipReason() says why it is not available otherwise. Unmounted when
// the object goes away, also when a check failed on the way.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(int kilobytes = 64);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }
    QString skipReason() const { return m_reason; }
    QString path() const { return m_mountPoint; }
    QString filePath(const QString &name) const;

    // Takes all free room but `leave` bytes with a filler file.
    bool fill(qint64 leave = 0);
    bool remountReadOnly();

private:
    QTemporaryDir m_parent;
    QString m_mountPoint;
    bool m_mounted = false;
    QString m_reason;
};

// Lets permissions stop a write although the tests may run as root: while
// it lives, the process acts as the unprivileged user nobody (effective ids
// only; root's come back after). Not root, it changes nothing. A folder it
// is to write in, or to be refused by, must be reachable by that user:
// reachable() opens the path's own folder to all (QTemporaryDir makes it
// private).
class AsUnprivileged
{
public:
    AsUnprivileged();
    ~AsUnprivileged();
    AsUnprivileged(const AsUnprivileged &) = delete;
    AsUnprivileged &operator=(const AsUnprivileged &) = delete;

    static bool reachable(const QString &folder);

private:
    bool m_switched = false;
};

// Skips the current test when the small file system is not available.
#define KELVO_REQUIRE_SMALL_FS(fs)                                                          \
    do {                                                                                   \
        if (!(fs).isMounted())                                                             \
            QSKIP(qPrintable((fs).skipReason()));                                          \
    } while (false)

// A damaged copy of a SoundFont 2 file (empty when source cannot be read):
// every sample header moved past the end of the sample data, or the sample
// data all zeros (headers intact, every note silent).
enum class SoundFontDamage { SamplesPastData, SilentSamples };
QByteArray damagedSoundFont(const QString &source, SoundFontDamage damage);
