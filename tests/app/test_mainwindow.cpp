#include "app/DataPaths.h"
#include "app/MainWindow.h"
#include "app/RecentFiles.h"
#include "app/Startup.h"
#include "document/ScoreFile.h"
#include "support/TestSupport.h"
#include "ui_MainWindow.h"

#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    // Object names of a menu's or tool bar's entries, "|" for a separator.
    static QStringList entries(const QWidget *w)
    {
        QStringList names;
        for (QAction *a : w->actions())
            names << (a->isSeparator() ? QStringLiteral("|")
                      : a->menu()      ? a->menu()->objectName()
                                       : a->objectName());
        return names;
    }

private slots:
    void initTestCase() { initTestApplication(); }

    void startState()
    {
        TestEnvironment env;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Ui::MainWindow *ui = w.form();

        QCOMPARE(w.windowTitle(), QStringLiteral("Kelvo工尺谱"));
        QCOMPARE(w.minimumSize(), QSize(600, 400));
        QCOMPARE(w.font().pointSize(), 10);
        QCOMPARE(ui->tabWidget->count(), 0);
        QVERIFY(ui->tabWidget->isHidden());
        QVERIFY(ui->searchBox->isHidden());
        QVERIFY(w.sponsorBrowser()->isVisible());
        QCOMPARE(ui->verticalLayout->indexOf(w.sponsorBrowser()), 2);
        QVERIFY(!w.windowIcon().isNull());

        const QSet<QString> enabled = {
            "newAction",  "openAction", "settingAction", "fontManagerAction",
            "helpAction", "aboutAction", "exitAction",
        };
        const QList<QAction *> actions = w.findChildren<QAction *>();
        int named = 0;
        for (QAction *a : actions) {
            if (!a->objectName().endsWith(QStringLiteral("Action")))
                continue;
            ++named;
            QVERIFY2(a->isEnabled() == enabled.contains(a->objectName()),
                     qPrintable(a->objectName()));
            QVERIFY2(!a->icon().isNull(), qPrintable(a->objectName()));
        }
        QCOMPARE(named, 23);
    }

    void actionTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QString>("shortcut");
        QTest::newRow("new") << "newAction" << "新建" << "新建文件 Ctrl+N" << "Ctrl+N";
        QTest::newRow("open") << "openAction" << "打开" << "打开文件  Ctrl+O" << "Ctrl+O";
        QTest::newRow("save") << "saveAction" << "保存" << "保存文件  Ctrl+S" << "Ctrl+S";
        QTest::newRow("saveAs") << "saveAsAction" << "另存为" << "文件另存为  Ctrl+Shift+S"
                                << "Ctrl+Shift+S";
        QTest::newRow("copy") << "copyAction" << "复制" << "复制  Ctrl+C" << "Ctrl+C";
        QTest::newRow("paste") << "pasteAction" << "粘贴" << "粘贴  Ctrl+V" << "Ctrl+V";
        QTest::newRow("cut") << "cutAction" << "剪切" << "剪切  Ctrl+X" << "Ctrl+X";
        QTest::newRow("setting") << "settingAction" << "设置" << "设置" << "";
        QTest::newRow("undo") << "undoAction" << "撤销" << "撤销  Ctrl+Z" << "Ctrl+Z";
        QTest::newRow("redo") << "redoAction" << "重做" << "重做  Ctrl+Shift+Z" << "Ctrl+Shift+Z";
        QTest::newRow("about") << "aboutAction" << "关于" << "关于" << "";
        QTest::newRow("exit") << "exitAction" << "退出" << "退出 Esc" << "Esc";
        QTest::newRow("title") << "insertTitleAction" << "标题" << "插入标题 Alt+B" << "Alt+B";
        QTest::newRow("qupai") << "insertQupaiAction" << "曲牌" << "插入曲牌和调号  Alt+Q"
                               << "Alt+Q";
        QTest::newRow("lianbai") << "insertLianbaiAction" << "念白" << "插入念白  Alt+L" << "Alt+L";
        QTest::newRow("jiabai") << "insertJiabaiAction" << "夹白" << "插入夹白  Alt+J" << "Alt+J";
        QTest::newRow("linebreak") << "lineBreakAction" << "换行" << "插入换行符  Alt+Enter"
                                   << "Alt+Return";
        QTest::newRow("pagebreak") << "pageBreakAction" << "分页" << "插入分页符 Alt+Shift+Enter"
                                   << "Alt+Shift+Return";
        QTest::newRow("search") << "searchAction" << "搜索" << "搜索 Ctrl+F" << "Ctrl+F";
        QTest::newRow("help") << "helpAction" << "帮助" << "查看帮助文档" << "";
        QTest::newRow("export") << "exportAction" << "导出" << "导出曲谱 Ctrl+E" << "Ctrl+E";
        QTest::newRow("comment") << "insertCommentAction" << "注释" << "插入注释  Alt+Z" << "Alt+Z";
        QTest::newRow("fonts") << "fontManagerAction" << "字体管理" << "字体管理" << "";
    }

    void actionTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        QFETCH(QString, shortcut);
        TestEnvironment env;
        MainWindow w;
        auto *a = w.findChild<QAction *>(name);
        QVERIFY(a);
        QCOMPARE(a->text(), text);
        QCOMPARE(a->toolTip(), toolTip);
        QCOMPARE(a->shortcut(), QKeySequence(shortcut));
    }

    void menusAndToolBars()
    {
        TestEnvironment env;
        MainWindow w;
        Ui::MainWindow *ui = w.form();

        QStringList titles;
        for (QAction *a : ui->menubar->actions())
            titles << a->menu()->objectName() + ":" + a->text();
        QCOMPARE(titles, QStringList({"menu:文件", "menu_2:编辑", "menu_5:插入", "menu_4:设置",
                                      "menu_3:关于"}));

        QCOMPARE(entries(ui->menu),
                 QString("newAction openAction recentMenu | saveAction saveAsAction | exportAction | "
                         "exitAction")
                     .split(' '));
        QCOMPARE(entries(ui->menu_2),
                 QString("copyAction pasteAction cutAction | undoAction redoAction").split(' '));
        QCOMPARE(entries(ui->menu_5),
                 QString("insertTitleAction insertQupaiAction insertLianbaiAction "
                         "insertJiabaiAction insertCommentAction | lineBreakAction "
                         "pageBreakAction")
                     .split(' '));
        QCOMPARE(entries(ui->menu_4), QString("settingAction fontManagerAction").split(' '));
        QCOMPARE(entries(ui->menu_3), QString("helpAction | aboutAction").split(' '));
        QCOMPARE(entries(ui->toolbar_file),
                 QString("newAction openAction | saveAction saveAsAction | exportAction | "
                         "copyAction pasteAction cutAction undoAction redoAction | searchAction "
                         "| settingAction fontManagerAction helpAction aboutAction | exitAction")
                     .split(' '));
        QCOMPARE(entries(ui->toolbar_edit),
                 QString("insertTitleAction insertQupaiAction insertLianbaiAction "
                         "insertJiabaiAction insertCommentAction | lineBreakAction "
                         "pageBreakAction |")
                     .split(' '));

        // Two rows of tool bars at the top, neither floatable.
        QCOMPARE(w.toolBarArea(ui->toolbar_file), Qt::TopToolBarArea);
        QCOMPARE(w.toolBarArea(ui->toolbar_edit), Qt::TopToolBarArea);
        QVERIFY(w.toolBarBreak(ui->toolbar_edit));
        QVERIFY(!ui->toolbar_file->isFloatable());
        QVERIFY(!ui->toolbar_edit->isFloatable());
        QCOMPARE(ui->toolbar_edit->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(w.toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    }

    void searchBarLayout()
    {
        TestEnvironment env;
        MainWindow w;
        Ui::MainWindow *ui = w.form();
        QCOMPARE(ui->searchBox->height(), 38);
        QCOMPARE(ui->searchNextBtn->text(), QStringLiteral("查找下一个"));
        QCOMPARE(ui->searchPrevBtn->text(), QStringLiteral("查找上一个"));
        QCOMPARE(ui->searchCloseBtn->text(), QStringLiteral("关闭"));
        QVERIFY(!ui->searchEdit->hasFrame());
        QVERIFY(ui->searchEdit->styleSheet().contains(QStringLiteral("padding-left:10px;")));
        QVERIFY(ui->searchResLabel->styleSheet().contains(
            QStringLiteral("\n    border-bottom-right-radius: 3px;")));
        QVERIFY(ui->searchCloseBtn->styleSheet().startsWith(
            QStringLiteral("QToolButton {\n\tborder-radius: 2px;")));
        QVERIFY(ui->tabWidget->tabsClosable());
        QVERIFY(ui->tabWidget->isMovable());
        QCOMPARE(ui->tabWidget->elideMode(), Qt::ElideLeft);

        // Clearing the search text clears the counter; other edits leave it.
        ui->searchResLabel->setText(QStringLiteral("1/3"));
        ui->searchEdit->setText(QStringLiteral("好"));
        QCOMPARE(ui->searchResLabel->text(), QStringLiteral("1/3"));
        ui->searchEdit->clear();
        QCOMPARE(ui->searchResLabel->text(), QString());

        // Without a document the search bar cannot be opened.
        w.searchAction();
        QVERIFY(ui->searchBox->isHidden());
    }

    void noTabStateHidesOpenSearchBar()
    {
        TestEnvironment env;
        MainWindow w;
        w.show();
        Ui::MainWindow *ui = w.form();
        ui->searchBox->show();
        ui->undoAction->setEnabled(true);
        w.tabWidgetCurrentChanged(-1);
        QVERIFY(ui->searchBox->isHidden());
        QVERIFY(!ui->undoAction->isEnabled());
        QVERIFY(w.sponsorBrowser()->isVisible());
    }

    void exitClosesWindow()
    {
        TestEnvironment env;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.form()->exitAction->trigger();
        QVERIFY(!w.isVisible());
        QVERIFY(env.dialogs().requests.isEmpty());
    }

    void fileArgument_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("no argument") << "none" << false;
        QTest::newRow("missing file") << "missing" << false;
        QTest::newRow("directory") << "dir" << false;
        QTest::newRow("empty string") << "empty" << false;
        QTest::newRow("existing file") << "file" << true;
    }

    void fileArgument()
    {
        QFETCH(QString, kind);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("曲谱.gcp"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QStringList args{QStringLiteral("kelvo-gongche")};
        if (kind == "missing")
            args << dir.filePath(QStringLiteral("nothing.gcp"));
        else if (kind == "dir")
            args << dir.path();
        else if (kind == "empty")
            args << QString();
        else if (kind == "file")
            args << file << QStringLiteral("ignored-second-argument");
        QCOMPARE(Startup::fileArgument(args), accepted ? file : QString());
    }

    void startWithMissingFileArgument()
    {
        TestEnvironment env;
        MainWindow w;
        w.show();
        w.openPath(Startup::fileArgument(
            {QStringLiteral("kelvo-gongche"), env.dataDir() + QStringLiteral("/missing.gcp")}));
        QCOMPARE(w.form()->tabWidget->count(), 0);
        QVERIFY(w.sponsorBrowser()->isVisible());
        QVERIFY(env.dialogs().requests.isEmpty());
    }

    void startWithFileArgument_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("message"); // empty: opens
        QTest::newRow("score file") << "游园.gcp" << "";
        QTest::newRow("upper-case extension") << "游园.GCP" << "";
        QTest::newRow("other type") << "游园.txt" << "请选择工尺谱文件（.gcp）格式！";
        QTest::newRow("corrupt score file") << "坏.gcp" << "打开文件时发生错误！";
    }

    void startWithFileArgument()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, message);
        TestEnvironment env;
        const QString path = env.dataDir() + QLatin1Char('/') + fileName;
        if (fileName.startsWith(QStringLiteral("坏"))) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray::fromHex("00000001000000FF4E00"));
        } else {
            QVERIFY(ScoreFile::write(path, QStringLiteral("原来"), QStringLiteral("\n")));
        }
        MainWindow w;
        w.show();
        w.openPath(Startup::fileArgument({QStringLiteral("kelvo-gongche"), path}));
        Ui::MainWindow *ui = w.form();
        if (message.isEmpty()) {
            QCOMPARE(ui->tabWidget->count(), 1);
            QCOMPARE(ui->tabWidget->tabText(0), fileName);
            QVERIFY(ui->tabWidget->isVisible());
            QVERIFY(w.sponsorBrowser()->isHidden());
            QVERIFY(ui->saveAction->isEnabled());
            QVERIFY(ui->searchAction->isEnabled());
            QVERIFY(env.dialogs().requests.isEmpty());
        } else {
            QCOMPARE(ui->tabWidget->count(), 0);
            QVERIFY(w.sponsorBrowser()->isVisible());
            QVERIFY(!ui->saveAction->isEnabled());
            QCOMPARE(env.dialogs().requests.size(), 1);
            QCOMPARE(env.dialogs().requests.first().text, message);
        }
    }

    void recentFiles()
    {
        TestEnvironment env;
        RecentFiles *recent = RecentFiles::instance();
        QSignalSpy changed(recent, &RecentFiles::filesChanged);
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < RecentFiles::MaxFiles + 2; ++i) {
            paths.prepend(dir.filePath(QStringLiteral("%1.gcp").arg(i)));
            recent->addFile(paths.first());
        }
        recent->addFile(paths.at(5)); // again: moves to the top, no duplicate
        paths.move(5, 0);
        QCOMPARE(recent->files(), paths.mid(0, RecentFiles::MaxFiles));
        recent->removeFile(paths.at(1));
        paths.removeAt(1);
        QCOMPARE(recent->files(), paths.mid(0, RecentFiles::MaxFiles - 1));
        QCOMPARE(changed.size(), RecentFiles::MaxFiles + 4);
        QCOMPARE(QSettings(DataPaths::settingsFile(), QSettings::IniFormat)
                     .value(QStringLiteral("Recent/files"))
                     .toStringList(),
                 recent->files());

        // A file names its folder; a folder gone since falls back.
        const QString fallback = recent->lastDir(RecentFiles::FontKind);
        recent->setLastDir(RecentFiles::FontKind, paths.first());
        QCOMPARE(recent->lastDir(RecentFiles::FontKind), dir.path());
        QCOMPARE(recent->lastDir(RecentFiles::ExportKind), fallback);
        QVERIFY(dir.remove());
        QCOMPARE(recent->lastDir(RecentFiles::FontKind), fallback);
    }

    void recentMenu()
    {
        TestEnvironment env;
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i <= RecentFiles::MaxFiles; ++i) {
            paths << dir.filePath(QStringLiteral("曲%1.gcp").arg(i));
            QVERIFY(ScoreFile::write(paths.last(), QStringLiteral("原来"), QString()));
        }
        MainWindow w;
        Ui::MainWindow *ui = w.form();
        QMenu *menu = w.recentMenu();
        QCOMPARE(menu->title(), QStringLiteral("最近打开"));
        QVERIFY(!menu->isEnabled());

        // Through the open dialog, which then starts in the folder used.
        env.dialogs().queuePath(paths.first());
        ui->openAction->trigger();
        QVERIFY(menu->isEnabled());
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("&1 曲0.gcp"));
        ui->openAction->trigger(); // cancelled
        QCOMPARE(env.dialogs().requests.last().dir, dir.path());

        for (const QString &path : paths.mid(1))
            w.openPath(path);
        QStringList shown;
        for (QAction *a : menu->actions())
            if (a->isVisible() && !a->data().toString().isEmpty())
                shown << a->data().toString();
        QCOMPARE(shown.size(), RecentFiles::MaxFiles);
        QCOMPARE(shown.first(), paths.last());
        QVERIFY(!shown.contains(paths.first()));

        // A file gone since is said so and leaves the list; no tab opens.
        const int tabs = ui->tabWidget->count();
        QVERIFY(QFile::remove(paths.last()));
        env.dialogs().requests.clear();
        menu->actions().first()->trigger();
        QCOMPARE(ui->tabWidget->count(), tabs);
        QCOMPARE(env.dialogs().requests.size(), 1);
        QCOMPARE(env.dialogs().requests.first().kind, DialogRequest::Warning);
        QVERIFY(!RecentFiles::instance()->files().contains(paths.last()));
        QCOMPARE(menu->actions().first()->data().toString(), paths.at(paths.size() - 2));
        // An existing one opens as a tab.
        menu->actions().first()->trigger();
        QCOMPARE(ui->tabWidget->count(), tabs + 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
