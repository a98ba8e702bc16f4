// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/MainWindow.h"
#include "app/ui/StartPage.h"
#include "audio/ui/Transport.h"
#include "core/RecentFiles.h"
#include "document/GongcheSymbols.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "document/ScoreFile.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "input/ui/InputMethod.h"
#include "ui_MainWindow.h"

#include "document/ui/KelvoEditTestUtil.h"
#include "support/TestSupport.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUndoCommand>
#include <QUndoStack>
#include <QtTest>

// The main window's document tabs: new and open, save, tab titles, close
// prompts, window close order, search, forwarding to the current editor and
// the enabling rules. Dialogs are answered through the dialog seam.
class TestDocumentTabs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTestApplication(); }

    void newTabEnablesDocumentActions();
    void undoRedoFollowTheCurrentStack();
    void slotsWithoutTab_data();
    void slotsWithoutTab();
    void templateSlots_data();
    void templateSlots();
    void clipboardSlots();

    void openAction();
    void openSameFileTwice();
    void twoWindowsOnOneFile();
    void openFailure_data();
    void openFailure();
    void saveNewDocument();
    void saveAsKeepsTitle();

    void closePrompt_data();
    void closePrompt();
    void windowCloseOrder();
    void windowCloseStopsAtFailedSave();

    void search();
    void searchBarHiddenWhenLastTabCloses();
    void focusAfterLastTabCloses();
    void inputMethodAfterLastTabCloses();
    void inputMethodKeysBeforeWindowShortcuts_data();
    void inputMethodKeysBeforeWindowShortcuts();
};

namespace {

const QString Untitled = QStringLiteral("未命名");

// A command that changes nothing, to drive the undo stack directly.
class NoOpCommand : public QUndoCommand
{
};

KelvoEdit *editorAt(MainWindow &w, int index)
{
    return qobject_cast<KelvoEdit *>(w.form()->tabWidget->widget(index));
}

QStringList tabTitles(MainWindow &w)
{
    QStringList titles;
    for (int i = 0; i < w.form()->tabWidget->count(); ++i)
        titles << w.form()->tabWidget->tabText(i);
    return titles;
}

QList<QAction *> documentActions(Ui::MainWindow *ui)
{
    return {ui->copyAction,         ui->pasteAction,        ui->cutAction,
            ui->searchAction,       ui->exportAction,       ui->saveAction,
            ui->saveAsAction,       ui->insertTitleAction,  ui->insertQupaiAction,
            ui->insertJiabaiAction, ui->insertLianbaiAction, ui->insertCommentAction,
            ui->lineBreakAction,    ui->pageBreakAction};
}

QString writeScore(const QTemporaryDir &dir, const QString &name, const QString &lyric,
                   const QString &score = QString())
{
    const QString path = dir.filePath(name);
    if (!ScoreFile::write(path, lyric, score))
        return QString();
    return path;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

QList<DialogRequest> messages(const ScriptedDialogs &dialogs)
{
    QList<DialogRequest> out;
    for (const DialogRequest &r : dialogs.requests)
        if (r.isMessage())
            out.append(r);
    return out;
}

} // namespace

void TestDocumentTabs::newTabEnablesDocumentActions()
{
    TestEnvironment env;
    MainWindow w;
    w.show();
    Ui::MainWindow *ui = w.form();
    w.form()->newAction->trigger();

    QCOMPARE(ui->tabWidget->count(), 1);
    KelvoEdit *editor = w.currentEditor();
    QVERIFY(editor);
    QCOMPARE(ui->tabWidget->tabText(0), Untitled);
    QVERIFY(ui->tabWidget->isVisible());
    QVERIFY(w.sponsorBrowser()->isHidden());
    QVERIFY(w.startPage()->isHidden());
    for (QAction *a : documentActions(ui))
        QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    QVERIFY(!ui->undoAction->isEnabled());
    QVERIFY(!ui->redoAction->isEnabled());
    QCOMPARE(InputMethod::instance()->target(),
             static_cast<QPlainTextEdit *>(editor->scoreEdit()));

    // Editing marks the tab; a second document becomes current.
    editor->lyricEdit()->insertPlainText(QStringLiteral("好"));
    QCOMPARE(ui->tabWidget->tabText(0), QStringLiteral("未命名*"));
    w.newAction();
    QCOMPARE(tabTitles(w), QStringList({QStringLiteral("未命名*"), Untitled}));
    QCOMPARE(ui->tabWidget->currentIndex(), 1);
    QCOMPARE(InputMethod::instance()->target(),
             static_cast<QPlainTextEdit *>(editorAt(w, 1)->scoreEdit()));
    QVERIFY(env.dialogs().requests.isEmpty());
}

void TestDocumentTabs::undoRedoFollowTheCurrentStack()
{
    TestEnvironment env;
    MainWindow w;
    Ui::MainWindow *ui = w.form();
    w.newAction();
    KelvoEdit *first = w.currentEditor();
    first->document()->undoStack()->push(new NoOpCommand);
    QVERIFY(ui->undoAction->isEnabled());
    QVERIFY(!ui->redoAction->isEnabled());

    // A new tab has nothing to undo; going back restores the first's state.
    w.newAction();
    QVERIFY(!ui->undoAction->isEnabled());
    QVERIFY(!ui->redoAction->isEnabled());
    ui->tabWidget->setCurrentIndex(0);
    QVERIFY(ui->undoAction->isEnabled());

    ui->undoAction->trigger();
    QCOMPARE(first->document()->undoStack()->index(), 0);
    QVERIFY(!ui->undoAction->isEnabled());
    QVERIFY(ui->redoAction->isEnabled());
    ui->redoAction->trigger();
    QCOMPARE(first->document()->undoStack()->index(), 1);
    QVERIFY(ui->undoAction->isEnabled());
    QVERIFY(!ui->redoAction->isEnabled());

    // A background document's stack does not reach the actions.
    editorAt(w, 1)->document()->undoStack()->push(new NoOpCommand);
    editorAt(w, 1)->document()->undoStack()->undo();
    QVERIFY(ui->undoAction->isEnabled());
    QVERIFY(!ui->redoAction->isEnabled());

    // Closing a tab with history leaves the actions to the next current tab.
    ui->tabWidget->setCurrentIndex(1);
    QVERIFY(!ui->undoAction->isEnabled());
    QVERIFY(ui->redoAction->isEnabled());
    first->document()->undoStack()->undo();
    ui->tabWidget->setCurrentIndex(0);
    QVERIFY(!ui->undoAction->isEnabled());
    QVERIFY(ui->redoAction->isEnabled());
    editorAt(w, 1)->document()->undoStack()->redo();
    QVERIFY(w.tabWidgetClose(1));
    QVERIFY(!ui->undoAction->isEnabled());
    QVERIFY(ui->redoAction->isEnabled());
}

void TestDocumentTabs::slotsWithoutTab_data()
{
    QTest::addColumn<QByteArray>("slot");
    for (const char *name :
         {"saveAction", "saveAsAction", "copyAction", "pasteAction", "cutAction", "undoAction",
          "redoAction", "searchAction", "exportAction", "insertTitleAction", "insertQuPaiAction",
          "insertLianBaiAction", "insertJiaBaiAction", "insertCommentAction",
          "insertLineBreakAction", "insertPageBreakAction", "onSearchNextBtnClicked",
          "onSearchPrevBtnClicked"})
        QTest::newRow(name) << QByteArray(name);
}

void TestDocumentTabs::slotsWithoutTab()
{
    QFETCH(QByteArray, slot);
    TestEnvironment env;
    MainWindow w;
    w.form()->searchEdit->setText(QStringLiteral("好"));
    QVERIFY(QMetaObject::invokeMethod(&w, slot.constData()));
    QCOMPARE(w.form()->tabWidget->count(), 0);
    QVERIFY(w.form()->searchResLabel->text().isEmpty());
    QVERIFY(w.form()->searchBox->isHidden());
    QVERIFY(env.dialogs().requests.isEmpty());
    QVERIFY(!w.tabWidgetClose(0));
}

void TestDocumentTabs::templateSlots_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << "insertTitleAction" << "# 标题";
    QTest::newRow("qupai") << "insertQupaiAction" << "【曲牌名】(调)";
    QTest::newRow("lianbai") << "insertLianbaiAction" << "= ";
    QTest::newRow("jiabai") << "insertJiabaiAction" << "> ";
    QTest::newRow("comment") << "insertCommentAction" << "; ";
    QTest::newRow("line break") << "lineBreakAction" << "@换行符";
    QTest::newRow("page break") << "pageBreakAction" << "@分页符";
}

void TestDocumentTabs::templateSlots()
{
    QFETCH(QString, action);
    QFETCH(QString, text);
    TestEnvironment env;
    MainWindow w;
    w.newAction();
    w.newAction();
    w.findChild<QAction *>(action)->trigger();
    // Only the current document receives the template.
    QCOMPARE(editorAt(w, 1)->lyricEdit()->toPlainText(), text);
    QCOMPARE(editorAt(w, 0)->lyricEdit()->toPlainText(), QString());
    QCOMPARE(tabTitles(w), QStringList({Untitled, QStringLiteral("未命名*")}));
}

void TestDocumentTabs::clipboardSlots()
{
    TestEnvironment env;
    MainWindow w;
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    Ui::MainWindow *ui = w.form();
    w.newAction();
    KelvoEdit *editor = w.currentEditor();
    LyricEdit *lyric = editor->lyricEdit();
    lyric->setPlainText(QStringLiteral("原来姹紫"));
    lyric->setFocus();
    QTRY_VERIFY(lyric->hasFocus());

    QTextCursor c = lyric->textCursor();
    c.setPosition(2);
    c.setPosition(4, QTextCursor::KeepAnchor);
    lyric->setTextCursor(c);
    ui->copyAction->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("姹紫"));
    ui->cutAction->trigger();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("原来"));
    QVERIFY(ui->undoAction->isEnabled());
    ui->pasteAction->trigger();
    ui->pasteAction->trigger();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("原来姹紫姹紫"));
    ui->undoAction->trigger();
    ui->undoAction->trigger();
    ui->undoAction->trigger();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("原来姹紫"));
}

void TestDocumentTabs::openAction()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = writeScore(dir, QStringLiteral("游园.gcp"), QStringLiteral("原来"),
                                    QStringLiteral("\n"));
    MainWindow w;
    Ui::MainWindow *ui = w.form();

    // Cancelled dialog: nothing happens.
    ui->openAction->trigger();
    QCOMPARE(ui->tabWidget->count(), 0);
    QCOMPARE(env.dialogs().requests.size(), 1);
    const DialogRequest r = env.dialogs().requests.first();
    QCOMPARE(r.kind, DialogRequest::OpenFile);
    QCOMPARE(r.title, QStringLiteral("打开文件"));
    QCOMPARE(r.dir, RecentFiles::instance()->lastDir(RecentFiles::ScoreKind));
    QCOMPARE(r.filter, QStringLiteral("工尺谱文件 (*.gcp)"));
    QCOMPARE(r.parent.data(), &w);

    env.dialogs().queuePath(path);
    ui->openAction->trigger();
    QCOMPARE(tabTitles(w), QStringList{QStringLiteral("游园.gcp")});
    QCOMPARE(w.currentEditor()->lyricEdit()->toPlainText(), QStringLiteral("原来"));
    QCOMPARE(w.currentEditor()->scoreEdit()->toPlainText(), QStringLiteral("\n"));
    QVERIFY(ui->saveAction->isEnabled());
    QVERIFY(!ui->undoAction->isEnabled());
    QCOMPARE(messages(env.dialogs()).size(), 0);

    // The connections of an opened tab are live.
    w.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("好"));
    QCOMPARE(tabTitles(w), QStringList{QStringLiteral("游园.gcp*")});
}

void TestDocumentTabs::openSameFileTwice()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = writeScore(dir, QStringLiteral("a.gcp"), QStringLiteral("一"));
    MainWindow w;
    w.openPath(path);
    w.openPath(path);
    QCOMPARE(tabTitles(w), QStringList({QStringLiteral("a.gcp"), QStringLiteral("a.gcp")}));
    QVERIFY(editorAt(w, 0) != editorAt(w, 1));
    QVERIFY(env.dialogs().requests.isEmpty());
}

void TestDocumentTabs::twoWindowsOnOneFile()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = writeScore(dir, QStringLiteral("a.gcp"), QStringLiteral("一"));
    MainWindow a;
    MainWindow b;
    for (MainWindow *w : {&a, &b}) {
        w->show();
        w->openPath(path);
    }
    // A saves, then B: B is asked first, and No keeps A's version.
    a.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("甲"));
    a.form()->saveAction->trigger();
    b.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("乙"));
    b.form()->saveAction->trigger();
    QCOMPARE(messages(env.dialogs()).size(), 1);
    QCOMPARE(messages(env.dialogs()).first().kind, DialogRequest::Question);
    QCOMPARE(messages(env.dialogs()).first().title, QStringLiteral("文件已在别处被修改"));
    QCOMPARE(messages(env.dialogs()).first().defaultButton, QMessageBox::No);
    QCOMPARE(readAll(path), ScoreFile::encode(QStringLiteral("甲一"), QString()));
    env.dialogs().queueButton(QMessageBox::Yes);
    b.form()->saveAction->trigger();
    QCOMPARE(readAll(path), ScoreFile::encode(QStringLiteral("乙一"), QString()));

    // A's bar says so; B's own save raises none in B.
    auto *barA = a.currentEditor()->findChild<QWidget *>(QStringLiteral("fileChangeBar"));
    auto *barB = b.currentEditor()->findChild<QWidget *>(QStringLiteral("fileChangeBar"));
    QVERIFY(barA && barB);
    QTRY_VERIFY(barA->isVisible());
    QCOMPARE(barA->findChild<QLabel *>(QStringLiteral("fileChangeText"))->text(),
             QStringLiteral("文件已在别处被修改"));
    QTest::qWait(600);
    QVERIFY(barB->isHidden());

    // A saves again: asked first, and No writes nothing.
    a.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("丙"));
    env.dialogs().requests.clear();
    a.form()->saveAction->trigger();
    QCOMPARE(messages(env.dialogs()).size(), 1);
    QCOMPARE(messages(env.dialogs()).first().title, QStringLiteral("文件已在别处被修改"));
    QCOMPARE(readAll(path), ScoreFile::encode(QStringLiteral("乙一"), QString()));
    QCOMPARE(tabTitles(a), QStringList{QStringLiteral("a.gcp*")});
}

void TestDocumentTabs::openFailure_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes"); // empty: the file is not created
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QByteArray good = ScoreFile::encode(QStringLiteral("一"), QString());
    QTest::newRow("other type") << "a.txt" << good << "文件类型错误"
                                << "请选择工尺谱文件（.gcp）格式！";
    QTest::newRow("missing") << "a.gcp" << QByteArray() << "错误" << "打开文件时发生错误！";
    QTest::newRow("corrupt") << "a.gcp" << QByteArray::fromHex("0000000100000003AAAAAA")
                             << "错误" << "打开文件时发生错误！";
}

void TestDocumentTabs::openFailure()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, title);
    QFETCH(QString, text);
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    if (!bytes.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    MainWindow w;
    w.show();
    env.dialogs().queuePath(path);
    w.openAction();
    QCOMPARE(w.form()->tabWidget->count(), 0);
    QVERIFY(w.startPage()->isVisible());
    QVERIFY(!w.form()->saveAction->isEnabled());
    const QList<DialogRequest> shown = messages(env.dialogs());
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().kind, DialogRequest::Warning);
    QCOMPARE(shown.first().title, title);
    QCOMPARE(shown.first().text, text);
    // The failed editor is gone again.
    QVERIFY(w.findChildren<KelvoEdit *>().isEmpty());
}

void TestDocumentTabs::saveNewDocument()
{
    TestEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
    w.newAction();
    w.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("好"));

    env.dialogs().queuePath(dir.filePath(QStringLiteral("曲谱")));
    w.form()->saveAction->trigger();
    QCOMPARE(tabTitles(w), QStringList{QStringLiteral("曲谱.gcp")});
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("曲谱.gcp"))));
    QVERIFY(messages(env.dialogs()).isEmpty());

    // Saved once, a second save asks nothing.
    w.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("花"));
    QCOMPARE(tabTitles(w), QStringList{QStringLiteral("曲谱.gcp*")});
    w.saveAction();
    QCOMPARE(env.dialogs().requests.size(), 1);
    QCOMPARE(tabTitles(w), QStringList{QStringLiteral("曲谱.gcp")});
}

void TestDocumentTabs::saveAsKeepsTitle()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = writeScore(dir, QStringLiteral("a.gcp"), QStringLiteral("一"));
    MainWindow w;
    w.openPath(path);
    w.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("好"));
    const QString copy = dir.filePath(QStringLiteral("b.GCP"));
    env.dialogs().queuePath(copy);
    w.form()->saveAsAction->trigger();

    QCOMPARE(tabTitles(w), QStringList{QStringLiteral("a.gcp*")});
    QVERIFY(QFile::exists(copy));
    QVERIFY(!QFile::exists(copy + QStringLiteral(".gcp")));
    const QList<DialogRequest> shown = messages(env.dialogs());
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, copy + QStringLiteral("保存成功！"));
}

void TestDocumentTabs::closePrompt_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<int>("answer");   // prompt answer
    QTest::addColumn<bool>("giveName"); // the save dialog gets a name
    QTest::addColumn<bool>("closed");

    QTest::newRow("not modified") << false << 0 << false << true;
    QTest::newRow("no") << true << int(QMessageBox::No) << false << true;
    QTest::newRow("cancel") << true << int(QMessageBox::Cancel) << false << false;
    QTest::newRow("escape") << true << int(QMessageBox::Escape) << false << false;
    QTest::newRow("yes, dialog cancelled") << true << int(QMessageBox::Yes) << false << false;
    QTest::newRow("yes, saved") << true << int(QMessageBox::Yes) << true << true;
}

void TestDocumentTabs::closePrompt()
{
    QFETCH(bool, modified);
    QFETCH(int, answer);
    QFETCH(bool, giveName);
    QFETCH(bool, closed);
    TestEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
    w.show();
    w.newAction();
    if (modified)
        w.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("好"));
    if (answer)
        env.dialogs().queueButton(QMessageBox::StandardButton(answer));
    const QString path = dir.filePath(QStringLiteral("name"));
    if (answer == QMessageBox::Yes)
        env.dialogs().queuePath(giveName ? path : QString());

    // The tab's close button goes the same way.
    emit w.form()->tabWidget->tabCloseRequested(0);
    QCOMPARE(w.form()->tabWidget->count(), closed ? 0 : 1);
    QCOMPARE(w.startPage()->isVisible(), closed);

    const QList<DialogRequest> shown = messages(env.dialogs());
    if (!modified) {
        QVERIFY(env.dialogs().requests.isEmpty());
        return;
    }
    QVERIFY(!shown.isEmpty());
    const DialogRequest &prompt = shown.first();
    QCOMPARE(prompt.title, QStringLiteral("警告"));
    QCOMPARE(prompt.text, QStringLiteral("\"未命名*\"未保存，是否保存？"));
    QCOMPARE(prompt.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QVERIFY(!prompt.parent);

    if (answer == QMessageBox::Yes && giveName) {
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(1).kind, DialogRequest::Information);
        QCOMPARE(shown.at(1).title, QStringLiteral("提示"));
        QCOMPARE(shown.at(1).text, QStringLiteral("\"name.gcp\"保存成功！"));
        QCOMPARE(shown.at(1).parent.data(), &w);
        QCOMPARE(readAll(path + QStringLiteral(".gcp")),
                 ScoreFile::encode(QStringLiteral("好"), QString()));
    } else {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
    }
    if (!closed)
        QCOMPARE(w.currentEditor()->document()->displayName(), QStringLiteral("未命名*"));
}

void TestDocumentTabs::windowCloseOrder()
{
    TestEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (const char *name : {"a.gcp", "b.gcp", "c.gcp"}) {
        w.openPath(writeScore(dir, QString::fromLatin1(name), QStringLiteral("一")));
        w.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("好"));
    }
    w.form()->tabWidget->setCurrentIndex(0);

    env.dialogs().queueButton(QMessageBox::No);
    env.dialogs().queueButton(QMessageBox::Cancel);
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(tabTitles(w), QStringList({QStringLiteral("a.gcp*"), QStringLiteral("b.gcp*")}));
    QStringList prompts;
    for (const DialogRequest &r : messages(env.dialogs()))
        prompts << r.text;
    QCOMPARE(prompts, QStringList({QStringLiteral("\"c.gcp*\"未保存，是否保存？"),
                                   QStringLiteral("\"b.gcp*\"未保存，是否保存？")}));
    // "No" discarded the third document's change.
    QCOMPARE(readAll(dir.filePath(QStringLiteral("c.gcp"))),
             ScoreFile::encode(QStringLiteral("一"), QString()));

    // Exit runs the same prompts; answering them all closes the window.
    env.dialogs().requests.clear();
    env.dialogs().queueButton(QMessageBox::Yes);
    env.dialogs().queueButton(QMessageBox::Ok); // "saved"
    env.dialogs().queueButton(QMessageBox::No);
    w.form()->exitAction->trigger();
    QVERIFY(!w.isVisible());
    QCOMPARE(w.form()->tabWidget->count(), 0);
    prompts.clear();
    for (const DialogRequest &r : messages(env.dialogs()))
        prompts << r.text;
    QCOMPARE(prompts, QStringList({QStringLiteral("\"b.gcp*\"未保存，是否保存？"),
                                   QStringLiteral("\"b.gcp\"保存成功！"),
                                   QStringLiteral("\"a.gcp*\"未保存，是否保存？")}));
    QCOMPARE(readAll(dir.filePath(QStringLiteral("b.gcp"))),
             ScoreFile::encode(QStringLiteral("好一"), QString()));
}

void TestDocumentTabs::windowCloseStopsAtFailedSave()
{
    TestEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.newAction();
    w.newAction();
    w.currentEditor()->lyricEdit()->insertPlainText(QStringLiteral("好"));

    // Yes, then a name whose parent is a regular file: the write fails.
    const QString blocker = writeScore(dir, QStringLiteral("x.gcp"), QStringLiteral("旧"));
    env.dialogs().queueButton(QMessageBox::Yes);
    env.dialogs().queuePath(blocker + QStringLiteral("/a.gcp"));
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(w.form()->tabWidget->count(), 2);
    const QList<DialogRequest> shown = messages(env.dialogs());
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.at(1).text, QStringLiteral("保存文件时发生错误：所在的文件夹不存在！"));
    QCOMPARE(readAll(blocker), ScoreFile::encode(QStringLiteral("旧"), QString()));
}

void TestDocumentTabs::search()
{
    TestEnvironment env;
    MainWindow w;
    w.show();
    Ui::MainWindow *ui = w.form();
    w.newAction();
    KelvoEdit *editor = w.currentEditor();
    const QString mark = Gongche::toString(0xF0027);
    editor->lyricEdit()->setPlainText(QStringLiteral("好花\n# 好\n好月"));
    editor->scoreEdit()->setPlainText(mark + QStringLiteral("\n\n\n"));
    editor->lyricEdit()->moveCursor(QTextCursor::Start);

    ui->searchAction->trigger();
    QVERIFY(ui->searchBox->isVisible());
    ui->searchEdit->setText(QStringLiteral("好"));
    QVERIFY(ui->searchResLabel->text().isEmpty()); // no search while typing
    for (const char *expected : {"1/3", "2/3", "3/3", "1/3"}) {
        ui->searchNextBtn->click();
        QCOMPARE(ui->searchResLabel->text(), QString::fromLatin1(expected));
    }
    // Backwards from the start wraps round to the last match.
    editor->lyricEdit()->moveCursor(QTextCursor::Start);
    ui->searchPrevBtn->click();
    QCOMPARE(ui->searchResLabel->text(), QStringLiteral("3/3"));
    QCOMPARE(editor->lyricEdit()->textCursor().position(), 7);

    ui->searchEdit->clear();
    QCOMPARE(ui->searchResLabel->text(), QString());
    // An empty search text changes nothing.
    ui->searchResLabel->setText(QStringLiteral("x"));
    ui->searchNextBtn->click();
    QCOMPARE(ui->searchResLabel->text(), QStringLiteral("x"));

    // The score pane is never searched.
    ui->searchEdit->setText(mark);
    ui->searchNextBtn->click();
    QCOMPARE(ui->searchResLabel->text(), QStringLiteral("0/0"));

    ui->searchAction->trigger();
    QVERIFY(ui->searchBox->isHidden());
    ui->searchAction->trigger();
    ui->searchCloseBtn->click();
    QVERIFY(ui->searchBox->isHidden());
}

void TestDocumentTabs::searchBarHiddenWhenLastTabCloses()
{
    TestEnvironment env;
    MainWindow w;
    w.show();
    Ui::MainWindow *ui = w.form();
    w.newAction();
    w.newAction();
    w.searchAction();
    QVERIFY(ui->searchBox->isVisible());
    QVERIFY(w.tabWidgetClose(1));
    QVERIFY(ui->searchBox->isVisible());
    QVERIFY(w.tabWidgetClose(0));
    QVERIFY(ui->searchBox->isHidden());
    for (QAction *a : documentActions(ui))
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    QVERIFY(!ui->undoAction->isEnabled());
    QVERIFY(w.startPage()->isVisible());
}

// The page takes the focus, so that a typed digit does not reach the next
// field (the tempo box); the document opened next takes it back.
void TestDocumentTabs::focusAfterLastTabCloses()
{
    TestEnvironment env;
    MainWindow w;
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.newAction();
    w.currentEditor()->lyricEdit()->setFocus();
    QTRY_VERIFY(w.currentEditor()->lyricEdit()->hasFocus());
    QVERIFY(w.tabWidgetClose(0));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.startPage()));
    const int tempo = w.transport()->tempoBox()->value();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("5"));
    QCOMPARE(w.transport()->tempoBox()->value(), tempo);
    w.newAction();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.currentEditor()->lyricEdit()));
}

void TestDocumentTabs::inputMethodAfterLastTabCloses()
{
    TestEnvironment env;
    MainWindow w;
    w.show();
    w.newAction();
    ScoreEdit *pane = w.currentEditor()->scoreEdit();
    InputMethod *im = InputMethod::instance();
    QCOMPARE(im->target(), static_cast<QPlainTextEdit *>(pane));
    im->appendLetter(QStringLiteral("g"));
    QVERIFY(im->isComposing());

    QVERIFY(w.tabWidgetClose(0));
    // The composition of the closed document is dropped, and the pane is
    // gone from the input method.
    QVERIFY(!im->isComposing());
    QVERIFY(!im->target());
    im->appendLetter(QStringLiteral("hs"));
    QVERIFY(im->isVisible());
    QCOMPARE(im->anchorPoint(), QCursor::pos());
    QVERIFY(!im->commitCurrent().isEmpty());
    im->showSuggestions(QString());
    im->reset();
}

void TestDocumentTabs::inputMethodKeysBeforeWindowShortcuts_data()
{
    QTest::addColumn<QStringList>("opening"); // keys before the one under test
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<int>("commands");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("prompts");

    const int esc = Qt::Key_Escape;
    QTest::newRow("escape drops a composition") << QStringList{"g"} << esc << false << 0 << false << 0;
    QTest::newRow("escape drops a composition, modified") << QStringList{"g"} << esc << true << 0 << false << 0;
    QTest::newRow("escape closes the suggestions") << QStringList{"{SPACE}"} << esc << true << 0 << false << 0;
    QTest::newRow("return commits") << QStringList{"g"} << int(Qt::Key_Return) << false << 1 << false << 0;
    // With nothing composed Escape still leaves the program.
    QTest::newRow("escape while idle exits") << QStringList{} << esc << false << 0 << true << 0;
    QTest::newRow("escape while idle asks to save") << QStringList{} << esc << true << 0 << false << 1;
}

void TestDocumentTabs::inputMethodKeysBeforeWindowShortcuts()
{
    QFETCH(QStringList, opening);
    QFETCH(int, key);
    QFETCH(bool, modified);
    QFETCH(int, commands);
    QFETCH(bool, closes);
    QFETCH(int, prompts);

    TestEnvironment env;
    MainWindow w;
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.newAction();
    KelvoEdit *editor = w.currentEditor();
    editor->lyricEdit()->setPlainText(QStringLiteral("好人"));
    editor->scoreEdit()->setPlainText(QStringLiteral("\n\n"));
    editor->document()->undoStack()->clear();
    editor->document()->setModified(modified);
    ScoreEdit *score = editor->scoreEdit();
    score->setFocus();
    QTRY_VERIFY(score->hasFocus());

    // Real key clicks on the focused pane: the window's shortcuts see them
    // first, as they do for a user.
    InputMethod *im = InputMethod::instance();
    im->reset(); // nothing left over from an earlier case
    KelvoEditTest::runSteps(score, opening);
    QCOMPARE(im->isVisible(), !opening.isEmpty());
    QTest::keyClick(score, Qt::Key(key));

    QCOMPARE(!w.isVisible(), closes);
    QCOMPARE(messages(env.dialogs()).size(), prompts);
    if (closes)
        return;
    QVERIFY(!im->isVisible());
    QVERIFY(!im->isComposing());
    QCOMPARE(w.form()->tabWidget->count(), 1);
    QCOMPARE(editor->document()->undoStack()->count(), commands);
}

QTEST_MAIN(TestDocumentTabs)
#include "test_documenttabs.moc"
