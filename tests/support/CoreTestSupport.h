#pragma once

// Test helpers that need no widget, for test programs that link only the
// core library.

#include "core/Reporting.h"

#include <QList>
#include <QTemporaryDir>

// Records every report while it exists, in place of any other reporter.
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

// One test case's environment without widgets: a fresh data folder and the
// reports recorded, both restored when the object goes away.
class CoreTestEnvironment
{
public:
    CoreTestEnvironment();
    ~CoreTestEnvironment();

    QString dataDir() const { return m_dir.path(); }
    QList<Reporting::Report> &reports() { return m_reports.reports; }

private:
    QTemporaryDir m_dir;
    RecordedReports m_reports;
};

// Call once from a core test's initTestCase: resources, names.
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

// Skips the current test when the small file system is not available.
#define KELVO_REQUIRE_SMALL_FS(fs)                                                          \
    do {                                                                                   \
        if (!(fs).isMounted())                                                             \
            QSKIP(qPrintable((fs).skipReason()));                                          \
    } while (false)
