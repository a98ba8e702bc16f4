#pragma once

#include "dialogs/ui/DialogService.h"

#include <QList>
#include <functional>
#include <QTemporaryDir>

// Records every dialog the program asks for and answers from a queue.
// With the queue empty it answers like a cautious user: OK for a plain
// message, Cancel (or No) for a question, an empty path for a file dialog,
// no colour for the colour dialog; opening a web address succeeds.
class ScriptedDialogs : public DialogHandler
{
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    DialogAnswer answer(const DialogRequest &request) override;

    void queue(const DialogAnswer &answer) { m_answers.append(answer); }
    void queueButton(QMessageBox::StandardButton button);
    void queuePath(const QString &path);
    void queueColor(const QColor &color);

    QList<DialogRequest> requests;
    // Called for each request after it is recorded (for example to look at
    // the application's state while a message is "open").
    std::function<void(const DialogRequest &)> onRequest;

private:
    QList<DialogAnswer> m_answers;
};

// One test case's environment: a fresh data folder and scripted dialogs,
// both restored when the object goes away.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString dataDir() const { return m_dir.path(); }
    ScriptedDialogs &dialogs() { return m_dialogs; }

private:
    QTemporaryDir m_dir;
    ScriptedDialogs m_dialogs;
};

// Call once from a test's main (or initTestCase): resources, names.
void initTestApplication();

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
