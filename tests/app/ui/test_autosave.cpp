// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/Autosaver.h"
#include "core/DataPaths.h"
#include "app/ui/MainWindow.h"
#include "document/AutosaveStore.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "document/ScoreFile.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "ui_MainWindow.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

// Autosaved copies of modified documents through the real main window: the
// timer's tick, removal on save, close and clean exit, and the offer to
// restore what a run that did not close cleanly left behind.
class TestAutosave : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTestApplication(); }

    void copiesFollowTheDocuments();
    void recovery_data();
    void recovery();
    void recoveryInOpeningOrder();
    void recoveryInAnotherFolder_data();
    void recoveryInAnotherFolder();
    void removedCopiesComeBack_data();
    void removedCopiesComeBack();
    void damagedCopyIsSetAside_data();
    void damagedCopyIsSetAside();
    void liveSessionIsNotOffered_data();
    void liveSessionIsNotOffered();
};

namespace {

QStringList sessionFolders()
{
    QDir root(DataPaths::autosaveDir());
    QStringList out;
    for (const QString &name : root.entryList({"session-*"}, QDir::Dirs | QDir::NoDotAndDotDot))
        out << root.filePath(name);
    return out;
}

// The documents held by all session folders, as "title|path|lyric".
QStringList copies()
{
    QStringList out;
    for (const QString &dir : sessionFolders()) {
        for (const QString &name : QDir(dir).entryList({"*.gcp"}, QDir::Files)) {
            QFile f(QDir(dir).filePath(name));
            QFile r(QDir(dir).filePath(QFileInfo(name).completeBaseName() + ".json"));
            if (!f.open(QIODevice::ReadOnly) || !r.open(QIODevice::ReadOnly))
                return {"<unreadable>"};
            const QJsonObject rec = QJsonDocument::fromJson(r.readAll()).object();
            out << rec["title"].toString() + '|' + rec["path"].toString() + '|'
                       + ScoreFile::decode(f.readAll()).lyric;
        }
    }
    out.sort();
    return out;
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void type(KelvoEdit *editor, const QString &text)
{
    editor->lyricEdit()->moveCursor(QTextCursor::End);
    editor->lyricEdit()->insertPlainText(text);
}

} // namespace

void TestAutosave::copiesFollowTheDocuments()
{
    TestEnvironment env;
    QTemporaryDir files;
    const QString kept = files.filePath("kept.gcp");
    const QString edited = files.filePath("edited.gcp");
    QVERIFY(ScoreFile::write(kept, "春", "") && ScoreFile::write(edited, "夏", ""));
    const QByteArray editedBefore = bytesOf(edited);

    MainWindow w;
    QCOMPARE(w.autosaver()->interval(), Autosaver::DefaultIntervalMs);
    w.openPath(kept);
    w.openPath(edited);
    type(w.currentEditor(), "秋");
    w.newAction();
    type(w.currentEditor(), "冬");
    QVERIFY(sessionFolders().isEmpty()); // nothing before the first tick

    w.autosaver()->autosaveNow();
    const QString editedCopy = "edited.gcp|" + edited + "|夏秋";
    QCOMPARE(copies(), QStringList({editedCopy, "未命名||冬"}));
    // The user's own file is never touched by an autosave.
    QCOMPARE(bytesOf(edited), editedBefore);

    // Saving removes that document's copy at once.
    auto *editedEditor = qobject_cast<KelvoEdit *>(w.form()->tabWidget->widget(1));
    QVERIFY(editedEditor->save(false));
    QCOMPARE(copies(), QStringList({"未命名||冬"}));
    // Closing without saving removes it as well.
    env.dialogs().queueButton(QMessageBox::No);
    QVERIFY(w.tabWidgetClose(2));
    QCOMPARE(copies(), QStringList());
    type(editedEditor, "!");
    w.autosaver()->autosaveNow();
    QCOMPARE(copies().size(), 1);

    // A clean close (changes discarded) leaves no session behind.
    env.dialogs().queueButton(QMessageBox::No);
    QVERIFY(w.close());
    QCOMPARE(sessionFolders(), QStringList());
}

void TestAutosave::recovery_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("tabs");
    QTest::addColumn<bool>("offeredAgain");

    QTest::newRow("restore") << QMessageBox::Yes << 2 << false;
    QTest::newRow("discard") << QMessageBox::No << 0 << false;
    QTest::newRow("ask later") << QMessageBox::Cancel << 0 << true;
}

void TestAutosave::recovery()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, tabs);
    QFETCH(bool, offeredAgain);

    TestEnvironment env;
    QTemporaryDir files;
    const QString path = files.filePath("曲.gcp");
    QVERIFY(ScoreFile::write(path, "游园", "上\n尺"));
    const QByteArray original = bytesOf(path);
    {
        // A run that ends without its window closing, as in a crash: the
        // session folder stays and its lock is released.
        MainWindow crashed;
        crashed.openPath(path);
        type(crashed.currentEditor(), "惊梦");
        crashed.newAction();
        type(crashed.currentEditor(), "新曲");
        crashed.autosaver()->autosaveNow();
    }
    QCOMPARE(sessionFolders().size(), 1);

    MainWindow w;
    env.dialogs().queueButton(answer);
    env.dialogs().queueButton(answer);
    w.restoreAutosaves();
    QCOMPARE(env.dialogs().requests.size(), 2);
    const DialogRequest prompt = env.dialogs().requests.first();
    QCOMPARE(prompt.title, QStringLiteral("恢复文档"));
    QVERIFY2(prompt.text.contains(QDir::toNativeSeparators(path)), qPrintable(prompt.text));
    QVERIFY2(env.dialogs().requests.at(1).text.contains("未命名（“新曲”）"),
             qPrintable(env.dialogs().requests.at(1).text));
    QCOMPARE(w.form()->tabWidget->count(), tabs);
    QCOMPARE(bytesOf(path), original);

    if (tabs > 0) {
        auto *restored = qobject_cast<KelvoEdit *>(w.form()->tabWidget->widget(0));
        QCOMPARE(restored->document()->filePath(), path);
        QVERIFY(restored->document()->isModified());
        QCOMPARE(restored->lyricEdit()->toPlainText(), QStringLiteral("游园惊梦"));
        QCOMPARE(restored->scoreEdit()->toPlainText(), QStringLiteral("上\n尺"));
        QCOMPARE(w.form()->tabWidget->tabText(0), QStringLiteral("曲.gcp*"));
        auto *untitled = qobject_cast<KelvoEdit *>(w.form()->tabWidget->widget(1));
        QVERIFY(untitled->document()->isUntitled());
        QVERIFY(untitled->document()->isModified());
        // Held by this run's own session now, the old one is gone.
        QStringList expected({"未命名||新曲", "曲.gcp|" + path + "|游园惊梦"});
        expected.sort();
        QCOMPARE(copies(), expected);
        QCOMPARE(sessionFolders().size(), 1);
        // An explicit save is what writes the user's file.
        QVERIFY(restored->save(false));
        QCOMPARE(ScoreFile::decode(bytesOf(path)).lyric, QStringLiteral("游园惊梦"));
    } else {
        QCOMPARE(sessionFolders().size(), offeredAgain ? 1 : 0);
    }

    // Whatever was declined is not offered again; what was put off is.
    MainWindow next;
    const int before = env.dialogs().requests.size();
    next.restoreAutosaves();
    QCOMPARE(env.dialogs().requests.size() - before, offeredAgain ? 2 : 0);
}

// However the copies were timed, recovery offers them in the order their
// documents were opened.
void TestAutosave::recoveryInOpeningOrder()
{
    TestEnvironment env;
    QStringList opened;
    {
        MainWindow crashed;
        for (int i = 1; i <= 12; ++i) {
            crashed.newAction();
            opened << QStringLiteral("曲%1").arg(i);
            type(crashed.currentEditor(), opened.last());
        }
        crashed.autosaver()->autosaveNow();
    }
    MainWindow w;
    for (int i = 0; i < opened.size(); ++i)
        env.dialogs().queueButton(QMessageBox::Cancel);
    w.restoreAutosaves();
    QStringList offered;
    for (const DialogRequest &request : env.dialogs().requests)
        offered << request.text.section(QStringLiteral("（“"), 1).section(QStringLiteral("”）"), 0, 0);
    QCOMPARE(offered, opened);
}

void TestAutosave::recoveryInAnotherFolder_data()
{
    QTest::addColumn<bool>("relativeRecord"); // as older versions wrote it
    QTest::newRow("absolute record") << false;
    QTest::newRow("relative record") << true;
}

// Started in one folder with a relative path and restored in another that
// holds a file of the same relative name: the save goes to the first file.
void TestAutosave::recoveryInAnotherFolder()
{
    QFETCH(bool, relativeRecord);
    TestEnvironment env;
    QTemporaryDir files;
    QDir(files.path()).mkpath("a/scores");
    QDir(files.path()).mkpath("b/scores");
    const QString first = files.filePath("a/scores/song.gcp");
    const QString other = files.filePath("b/scores/song.gcp");
    QVERIFY(ScoreFile::write(first, "甲", "") && ScoreFile::write(other, "乙", ""));
    const QByteArray otherBefore = bytesOf(other);
    if (const CurrentFolder startedIn(files.filePath("a")); relativeRecord) {
        AutosaveStore old(DataPaths::autosaveDir());
        AutosaveStore::Entry entry;
        entry.id = "doc-1";
        entry.originalPath = "scores/song.gcp";
        entry.title = "song.gcp";
        QVERIFY(old.write(entry, "甲改", ""));
    } else {
        MainWindow crashed;
        crashed.openPath("scores/song.gcp");
        type(crashed.currentEditor(), "改");
        crashed.autosaver()->autosaveNow();
        QCOMPARE(copies(), QStringList({"song.gcp|" + first + "|甲改"}));
    }
    const CurrentFolder startedIn(files.filePath("b"));
    MainWindow w;
    env.dialogs().queueButton(QMessageBox::Yes);
    w.restoreAutosaves();
    const QString prompt = env.dialogs().requests.value(0).text;
    QVERIFY2(prompt.contains(QDir::toNativeSeparators(relativeRecord ? "scores/song.gcp" : first)),
             qPrintable(prompt));
    QCOMPARE(prompt.contains("不是完整路径"), relativeRecord);
    QCOMPARE(w.form()->tabWidget->count(), 1);
    KelvoEdit *restored = w.currentEditor();
    QCOMPARE(restored->document()->isUntitled(), relativeRecord);
    // Ctrl+S: the file it came from, or a question for a name.
    env.dialogs().requests.clear();
    QCOMPARE(restored->save(false), !relativeRecord);
    QCOMPARE(env.dialogs().requests.size(), relativeRecord ? 1 : 0);
    if (relativeRecord)
        QCOMPARE(env.dialogs().requests.first().kind, DialogRequest::SaveFile);
    else
        QCOMPARE(ScoreFile::decode(bytesOf(first)).lyric, QStringLiteral("甲改"));
    QCOMPARE(bytesOf(other), otherBefore);
}

void TestAutosave::removedCopiesComeBack_data()
{
    QTest::addColumn<QString>("removed");
    QTest::newRow("autosave folder") << "root";
    QTest::newRow("session folder") << "session";
    QTest::newRow("lock") << "lock";
    QTest::newRow("one copy") << "copy";
    // Another program's lock in its place: a new session, the old one stays.
    QTest::newRow("lock taken") << "taken";
}

// Removed by hand while the program runs: the next tick puts back the lock
// and the copies, so that the session is not offered while it lives and is
// after a crash.
void TestAutosave::removedCopiesComeBack()
{
    QFETCH(QString, removed);
    TestEnvironment env;
    QTemporaryDir files;
    const QString path = files.filePath("曲.gcp");
    QVERIFY(ScoreFile::write(path, "游园", ""));
    {
        MainWindow crashed;
        crashed.openPath(path);
        type(crashed.currentEditor(), "惊梦");
        crashed.autosaver()->autosaveNow();
        const QString session = crashed.autosaver()->store().sessionDir();
        if (removed == "root")
            QVERIFY(QDir(DataPaths::autosaveDir()).removeRecursively());
        else if (removed == "session")
            QVERIFY(QDir(session).removeRecursively());
        else if (removed == "lock")
            QVERIFY(QFile::remove(session + ".lock"));
        else if (removed == "copy")
            QVERIFY(QFile::remove(session + "/doc-1.gcp"));
        QFile lock(session + ".lock");
        if (removed == "taken")
            QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write("1\nother\nhost\n") > 0);
        lock.close();
        crashed.autosaver()->autosaveNow(); // no edit since
        const QString copy = "曲.gcp|" + path + "|游园惊梦";
        QCOMPARE(copies(), QStringList(removed == "taken" ? 2 : 1, copy));
        QVERIFY(QFileInfo::exists(session + ".lock"));
        // Another program starting now finds nothing left behind.
        QVERIFY(AutosaveStore::claimLeftovers(DataPaths::autosaveDir()).empty());
    }
    MainWindow next;
    next.restoreAutosaves();
    QCOMPARE(env.dialogs().requests.size(), 1);
    QCOMPARE(env.dialogs().requests.first().title, QStringLiteral("恢复文档"));
}

void TestAutosave::damagedCopyIsSetAside_data()
{
    QTest::addColumn<bool>("blocked"); // a file named like the damaged/ folder
    QTest::newRow("moved") << false;
    QTest::newRow("folder cannot be made") << true;
}

void TestAutosave::damagedCopyIsSetAside()
{
    QFETCH(bool, blocked);
    TestEnvironment env;
    QString session;
    const QString damagedPath = QDir(DataPaths::autosaveDir()).filePath("damaged");
    {
        AutosaveStore store(DataPaths::autosaveDir());
        AutosaveStore::Entry entry;
        entry.id = "doc-1";
        entry.title = "坏.gcp";
        QVERIFY(store.write(entry, "x", "y"));
        session = store.sessionDir();
        QFile data(QDir(session).filePath("doc-1.gcp"));
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write(QByteArray::fromHex("00000001" "0000ffff" "4e00")); // count beyond the end
        QFile blocker(damagedPath);
        QVERIFY(!blocked || blocker.open(QIODevice::WriteOnly));
    }
    for (int start = 0; start < (blocked ? 2 : 1); ++start) {
        MainWindow w;
        env.dialogs().requests.clear();
        w.restoreAutosaves();
        QCOMPARE(env.dialogs().requests.size(), 1);
        const DialogRequest warning = env.dialogs().requests.first();
        QCOMPARE(warning.kind, DialogRequest::Warning);
        QVERIFY(warning.text.contains("坏.gcp"));
        QCOMPARE(warning.text.contains("已移至"), !blocked);
        QCOMPARE(warning.text.contains(QDir::toNativeSeparators(session)), blocked);
        QCOMPARE(w.form()->tabWidget->count(), 0);
    }
    QCOMPARE(QFileInfo::exists(session), blocked);
    if (blocked)
        QCOMPARE(QDir(session).entryList(QDir::Files).size(), 2);
    else
        QCOMPARE(QDir(damagedPath).entryList(QDir::Files).size(), 2);
}

void TestAutosave::liveSessionIsNotOffered_data()
{
    QTest::addColumn<bool>("cutShort"); // an empty lock, as a power cut leaves it
    QTest::newRow("running program") << false;
    QTest::newRow("lock cut short") << true;
}

// An hour-old lock: another program still running holds it (age alone must
// not make it stale); one cut short names no program and guards nothing.
void TestAutosave::liveSessionIsNotOffered()
{
    QFETCH(bool, cutShort);
    TestEnvironment env;
    auto other = std::make_unique<AutosaveStore>(DataPaths::autosaveDir());
    AutosaveStore::Entry entry;
    entry.id = "doc-1";
    QVERIFY(other->write(entry, "活", ""));
    QFile lock(other->sessionDir() + ".lock");
    if (cutShort)
        other.reset();
    QVERIFY(lock.open(cutShort ? QIODevice::WriteOnly : QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                             QFileDevice::FileModificationTime));
    lock.close();

    MainWindow w;
    w.restoreAutosaves();
    QCOMPARE(env.dialogs().requests.size(), cutShort ? 1 : 0);
    if (!cutShort)
        QCOMPARE(copies(), QStringList({"||活"}));
}

QTEST_MAIN(TestAutosave)
#include "test_autosave.moc"
