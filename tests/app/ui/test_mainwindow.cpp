// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DataPaths.h"
#include "app/ui/MainWindow.h"
#include "core/DataPaths.h"
#include "core/RecentFiles.h"
#include "app/ui/StartPage.h"
#include "core/RecentFiles.h"
#include "core/Startup.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "document/ScoreFile.h"
#include "editor/ui/LyricEdit.h"
#include "export/ExportWriters.h"
#include "fonts/FontSubstitutions.h"
#include "render/ExportConfig.h"
#include "render/GenerateSVG.h"
#include "support/TestSupport.h"
#include "ui_MainWindow.h"

#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QProcess>
#include <QRawFont>
#include <QStandardPaths>
#include <QScreen>
#include <QSettings>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

namespace {

int pdfPageCount(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    if (!p.waitForFinished(30000))
        return -1;
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                          .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The text of page 1, lines joined (the columns are vertical).
QString pdfFirstPageText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
             path, QStringLiteral("-")});
    if (!p.waitForFinished(30000))
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput()).remove(QRegularExpression("\\s"));
}

// Four pages: a title and three forced page breaks.
const char *const FourPages = "# 测试曲\n原来\n@分页符\n姹紫\n@分页符\n嫣红\n@分页符\n开遍";

} // namespace

// What a print preview shows, drawn into a PDF on the preview's paper.
static void paintPreview(const DialogRequest &r, const QString &out)
{
    QPrinter target(QPrinter::HighResolution);
    target.setOutputFormat(QPrinter::PdfFormat);
    target.setOutputFileName(out);
    target.setPageLayout(r.printer->pageLayout());
    r.paint(&target);
}

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
        QVERIFY(w.startPage()->isVisible());
        QCOMPARE(ui->verticalLayout->indexOf(w.sponsorBrowser()), 2);
        QVERIFY(!w.windowIcon().isNull());

        const QSet<QString> enabled = {
            "newAction",  "openAction", "settingAction", "fontManagerAction",
            "helpAction", "aboutAction", "exitAction", "loopAction", "soundFontAction",
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
        QCOMPARE(named, 30);
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
        QTest::newRow("print") << "printAction" << "打印" << "打印曲谱 Ctrl+P" << "Ctrl+P";
        QTest::newRow("printPreview") << "printPreviewAction" << "打印预览" << "打印预览" << "";
        QTest::newRow("play") << "playAction" << "播放" << "播放 F5" << "F5";
        QTest::newRow("stop") << "stopAction" << "停止" << "停止播放 Shift+F5" << "Shift+F5";
        QTest::newRow("playFromCursor") << "playFromCursorAction" << "从光标处播放"
                                        << "从光标处的字播放 Ctrl+F5" << "Ctrl+F5";
        QTest::newRow("loop") << "loopAction" << "循环选段" << "循环播放歌词中选中的字" << "";
        QTest::newRow("soundFont") << "soundFontAction" << "选择音色库…"
                                   << "选择播放用的 SoundFont 音色库" << "";
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
        QCOMPARE(titles, QStringList({"menu:文件", "menu_2:编辑", "menu_5:插入",
                                      "playbackMenu:播放", "menu_4:设置", "menu_3:关于"}));
        QCOMPARE(entries(w.playbackMenu()),
                 QString("playAction stopAction playFromCursorAction | loopAction soundFontAction")
                     .split(' '));

        QCOMPARE(entries(ui->menu),
                 QString("newAction openAction recentMenu | saveAction saveAsAction | exportAction | "
                         "printAction printPreviewAction | exitAction")
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

    // Ctrl+P through the window: the print dialog's choices (a PDF printer,
    // a page range, copies) decide the pages printed; cancel prints nothing.
    void print_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("collate");
        QTest::addColumn<bool>("reverse");
        QTest::addColumn<int>("pages"); // -1: as many as the PDF export makes
        QTest::addColumn<QString>("firstPageText");
        QTest::addColumn<QString>("message");
        QTest::newRow("all") << true << true << 0 << 0 << 1 << true << false << -1 << "原来" << "";
        QTest::newRow("2-3") << true << true << 2 << 3 << 1 << true << false << 2 << "姹紫" << "";
        QTest::newRow("3-9") << true << true << 3 << 9 << 1 << true << false << 2 << "嫣红" << "";
        QTest::newRow("reverse") << true << true << 0 << 0 << 1 << true << true << 4 << "开遍"
                                 << "";
        QTest::newRow("3 copies") << true << true << 0 << 0 << 3 << true << false << 12 << ""
                                  << "";
        QTest::newRow("2-3 twice") << true << true << 2 << 3 << 2 << false << false << 4 << ""
                                   << "";
        QTest::newRow("7-9") << true << true << 7 << 9 << 1 << true << false << 0 << ""
                             << "所选页码范围内没有页面！";
        QTest::newRow("unwritable") << true << false << 0 << 0 << 1 << true << false << 0 << ""
                                    << "打印失败！";
        QTest::newRow("cancel") << false << true << 0 << 0 << 1 << true << false << 0 << "" << "";
    }

    void print()
    {
        QFETCH(bool, accept);
        QFETCH(bool, writable);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, copies);
        QFETCH(bool, collate);
        QFETCH(bool, reverse);
        QFETCH(int, pages);
        QFETCH(QString, firstPageText);
        QFETCH(QString, message);
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdfinfo and pdftotext (poppler-utils) not installed");
        TestEnvironment env;
        MainWindow w;
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.newAction();
        KelvoEdit *editor = w.currentEditor();
        editor->lyricEdit()->setPlainText(QString::fromUtf8(FourPages));
        editor->lyricEdit()->setFocus();
        QVERIFY(w.form()->printAction->isEnabled());

        const QString reference = env.dataDir() + QStringLiteral("/export.pdf");
        GenerateSVG exported;
        exported.generate(editor->document()->layoutItems(), false);
        QVERIFY(ExportWriters::writePdf(exported, reference).ok);
        if (pages < 0)
            pages = pdfPageCount(reference);
        QCOMPARE(pdfPageCount(reference), 4);

        const QString out = writable ? env.dataDir() + QStringLiteral("/printed.pdf")
                                     : env.dataDir() + QStringLiteral("/missing/dir/p.pdf");
        env.dialogs().queueButton(accept ? QMessageBox::Ok : QMessageBox::Cancel);
        env.dialogs().onRequest = [&](const DialogRequest &r) {
            if (r.kind != DialogRequest::Print)
                return;
            QCOMPARE(r.pageCount, 4);
            r.printer->setOutputFormat(QPrinter::PdfFormat);
            r.printer->setOutputFileName(out);
            if (from > 0) {
                r.printer->setPrintRange(QPrinter::PageRange);
                r.printer->setFromTo(from, to);
            }
            r.printer->setCopyCount(copies);
            r.printer->setCollateCopies(collate);
            r.printer->setPageOrder(reverse ? QPrinter::LastPageFirst : QPrinter::FirstPageFirst);
        };
        QTest::keyClick(editor->lyricEdit(), Qt::Key_P, Qt::ControlModifier);

        const QList<DialogRequest> &requests = env.dialogs().requests;
        QCOMPARE(requests.size(), message.isEmpty() ? 1 : 2);
        QCOMPARE(requests.first().kind, DialogRequest::Print);
        if (!message.isEmpty())
            QCOMPARE(requests.last().text, message);
        QCOMPARE(QFileInfo::exists(out), pages > 0);
        if (pages > 0)
            QCOMPARE(pdfPageCount(out), pages);
        if (!firstPageText.isEmpty())
            QVERIFY(pdfFirstPageText(out).contains(firstPageText));
    }

    // The preview draws the pages on the printer it is given, on the paper
    // of the export settings, without a modal loop of its own here.
    void printPreview()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("pdfinfo (poppler-utils) not installed");
        TestEnvironment env;
        MainWindow w;
        QVERIFY(!w.form()->printPreviewAction->isEnabled());
        w.newAction();
        w.currentEditor()->lyricEdit()->setPlainText(QString::fromUtf8(FourPages));
        const QString out = env.dataDir() + QStringLiteral("/preview.pdf");
        env.dialogs().onRequest = [&](const DialogRequest &r) {
            QCOMPARE(r.kind, DialogRequest::PrintPreview);
            QCOMPARE(r.printer->pageLayout().pageSize().id(), QPageSize::A4);
            QCOMPARE(r.printer->pageLayout().orientation(), QPageLayout::Portrait);
            QVERIFY(r.printer->fullPage());
            paintPreview(r, out);
        };
        w.form()->printPreviewAction->trigger();
        QCOMPARE(env.dialogs().requests.size(), 1);
        QCOMPARE(pdfPageCount(out), 4);
    }

    // Printing follows the notation last chosen in the export dialog.
    void printNumberedNotation()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) not installed");
        TestEnvironment env;
        MainWindow w;
        w.openSample();
        QVERIFY(w.currentEditor());
        ExportConfig::instance()->setNotation(ExportSettings::JianpuNotation);
        const QString out = env.dataDir() + QStringLiteral("/numbered.pdf");
        env.dialogs().onRequest = [&](const DialogRequest &r) { paintPreview(r, out); };
        w.form()->printPreviewAction->trigger();
        ExportConfig::instance()->setNotation(ExportSettings::GongcheNotation);
        QVERIFY2(pdfFirstPageText(out).contains(QStringLiteral("1=D")), qPrintable(pdfFirstPageText(out)));
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
        QVERIFY(w.startPage()->isVisible());
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
        QCOMPARE(Startup::parseArguments(args).score, accepted ? file : QString());
    }

    void startWithMissingFileArgument()
    {
        TestEnvironment env;
        MainWindow w;
        w.show();
        w.openPath(Startup::parseArguments(
            {QStringLiteral("kelvo-gongche"), env.dataDir() + QStringLiteral("/missing.gcp")}).score);
        QCOMPARE(w.form()->tabWidget->count(), 0);
        QVERIFY(w.startPage()->isVisible());
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
        w.openPath(Startup::parseArguments({QStringLiteral("kelvo-gongche"), path}).score);
        Ui::MainWindow *ui = w.form();
        if (message.isEmpty()) {
            QCOMPARE(ui->tabWidget->count(), 1);
            QCOMPARE(ui->tabWidget->tabText(0), fileName);
            QVERIFY(ui->tabWidget->isVisible());
            QVERIFY(w.sponsorBrowser()->isHidden());
            QVERIFY(w.startPage()->isHidden());
            QVERIFY(ui->saveAction->isEnabled());
            QVERIFY(ui->searchAction->isEnabled());
            QVERIFY(env.dialogs().requests.isEmpty());
        } else {
            QCOMPARE(ui->tabWidget->count(), 0);
            QVERIFY(w.startPage()->isVisible());
            QVERIFY(!ui->saveAction->isEnabled());
            QCOMPARE(env.dialogs().requests.size(), 1);
            QCOMPARE(env.dialogs().requests.first().text, message);
        }
    }
    // One face for the start page, for the Chinese of its links and the
    // Latin of a file name alike (the platform's own fallback for Chinese
    // may be a 楷 face beside a sans).
    void startPageHasOneFace()
    {
        TestEnvironment env;
        installPlatformFontSubstitutions();
        RecentFiles::instance()->addFile(env.dataDir() + QStringLiteral("/score.gcp"));
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSet<QString> faces;
        for (const char *name : {"startNewButton", "startRecentButton"}) {
            const auto *button = w.startPage()->findChild<QToolButton *>(QLatin1String(name));
            QVERIFY(button);
            for (auto system : {QFontDatabase::SimplifiedChinese, QFontDatabase::Latin})
                faces << QRawFont::fromFont(button->font(), system).familyName().toCaseFolded();
        }
        QCOMPARE(faces.size(), 1);
    }

    // Each entry of the start page opens through the window's own paths;
    // closing the tab brings the page back.
    void startPageOpens_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("tab");
        QTest::newRow("new") << "startNewButton" << "未命名";
        QTest::newRow("open") << "startOpenButton" << "游园.gcp";
        QTest::newRow("sample") << "startSampleButton" << "示例曲谱";
        QTest::newRow("recent") << "startRecentButton" << "游园.gcp";
    }

    void startPageOpens()
    {
        QFETCH(QString, button);
        QFETCH(QString, tab);
        TestEnvironment env;
        const QString path = env.dataDir() + QStringLiteral("/游园.gcp");
        QVERIFY(ScoreFile::write(path, QStringLiteral("原来"), QStringLiteral("\n")));
        RecentFiles::instance()->addFile(path);
        env.dialogs().queuePath(path);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Ui::MainWindow *ui = w.form();
        QVERIFY(w.startPage()->isVisible());
        QVERIFY(w.sponsorBrowser()->isHidden());

        auto *entry = w.startPage()->findChild<QToolButton *>(button);
        QVERIFY(entry);
        QTest::mouseClick(entry, Qt::LeftButton);
        QCOMPARE(ui->tabWidget->count(), 1);
        QCOMPARE(ui->tabWidget->tabText(0), tab);
        QVERIFY(!w.currentEditor()->document()->isModified());
        QCOMPARE(w.currentEditor()->lyricEdit()->toPlainText().isEmpty(), button == "startNewButton");
        QVERIFY(w.startPage()->isHidden());
        QVERIFY(w.sponsorBrowser()->isHidden());
        QVERIFY(w.tabWidgetClose(0));
        QVERIFY(w.startPage()->isVisible());
    }

    // The sample is no file of the user's: saving asks for a name.
    void sampleSaveAsksForName()
    {
        TestEnvironment env;
        MainWindow w;
        w.openSample();
        QCOMPARE(w.form()->tabWidget->tabText(0), QStringLiteral("示例曲谱"));
        const QString target = env.dataDir() + QStringLiteral("/我的游园.gcp");
        env.dialogs().queuePath(target);
        w.saveAction();
        QCOMPARE(env.dialogs().requests.size(), 1);
        QCOMPARE(env.dialogs().requests.first().kind, DialogRequest::SaveFile);
        QVERIFY(QFileInfo(target).isFile());
        QCOMPARE(w.form()->tabWidget->tabText(0), QStringLiteral("我的游园.gcp"));
    }

    // run.sh opens the user's copy of the sample: made once in the data
    // folder, never written over, saved like any file of the user's.
    void sampleCopy_data()
    {
        QTest::addColumn<QString>("before"); // "", "edited" or "folder"
        QTest::addColumn<QString>("tab");
        QTest::newRow("first start") << "" << "sample.gcp";
        QTest::newRow("edited copy kept") << "edited" << "sample.gcp";
        QTest::newRow("folder in the way") << "folder" << "示例曲谱";
    }

    void sampleCopy()
    {
        QFETCH(QString, before);
        QFETCH(QString, tab);
        TestEnvironment env;
        const QString copy = env.dataDir() + QStringLiteral("/sample.gcp");
        if (before == "edited")
            QVERIFY(ScoreFile::write(copy, QStringLiteral("我改过"), QStringLiteral("\n")));
        if (before == "folder")
            QVERIFY(QDir().mkpath(copy));
        MainWindow w;
        w.openSampleCopy();
        QCOMPARE(w.form()->tabWidget->count(), 1);
        QCOMPARE(w.form()->tabWidget->tabText(0), tab);
        KelvoEdit *editor = w.currentEditor();
        QCOMPARE(editor->lyricEdit()->toPlainText() == QStringLiteral("我改过"),
                 before == "edited");
        if (before == "folder")
            return;
        editor->lyricEdit()->moveCursor(QTextCursor::End);
        editor->lyricEdit()->insertPlainText(QStringLiteral("\n; 加一行"));
        w.saveAction();
        QVERIFY(env.dialogs().requests.isEmpty());
        QVERIFY(!editor->document()->isModified());
        QVERIFY(QFileInfo(copy).isWritable());
    }

    void startPageFollowsRecentFiles()
    {
        TestEnvironment env;
        RecentFiles *recent = RecentFiles::instance();
        recent->addFile(env.dataDir() + QStringLiteral("/甲.gcp"));
        MainWindow w;
        const auto listed = [&w] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QStringList names;
            for (auto *b : w.startPage()->findChildren<QToolButton *>("startRecentButton"))
                names << b->text();
            return names;
        };
        QCOMPARE(listed(), QStringList{"甲.gcp"});
        recent->addFile(env.dataDir() + QStringLiteral("/乙.gcp"));
        QCOMPARE(listed(), (QStringList{"乙.gcp", "甲.gcp"}));
        recent->clearFiles();
        QVERIFY(listed().isEmpty());
    }

    // At the default size on common screens every tool bar action shows:
    // no overflow button, and the window stays inside the screen.
    void defaultGeometry_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<bool>("roomy");
        QTest::newRow("1366x768, panel") << QRect(0, 0, 1366, 728) << true;
        QTest::newRow("1366x768, side panel") << QRect(64, 0, 1302, 768) << true;
        QTest::newRow("1920x1080") << QRect(0, 27, 1920, 1053) << true;
        QTest::newRow("1024x600") << QRect(0, 0, 1024, 570) << false;
    }

    void defaultGeometry()
    {
        QFETCH(QRect, available);
        QFETCH(bool, roomy);
        TestEnvironment env;
        MainWindow w;
        const QRect r = w.defaultGeometry(available);
        QVERIFY(available.contains(r));
        QVERIFY(r.top() - available.top() >= 20);
        if (!roomy)
            return;
        w.setGeometry(r);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (QToolBar *bar : {w.form()->toolbar_file, w.form()->toolbar_edit}) {
            auto *more = bar->findChild<QWidget *>(QStringLiteral("qt_toolbar_ext_button"));
            QVERIFY(more);
            QVERIFY2(!more->isVisible(), qPrintable(bar->objectName()));
        }
        QVERIFY(w.form()->toolbar_file->widgetForAction(w.form()->exitAction)->isVisible());
    }

    // Size, place and tool bar layout come back; anything unusable stored
    // gives the default, never a window off the screen.
    void storedGeometry_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("isDefault");
        QTest::newRow("round trip") << "saved" << false;
        QTest::newRow("none") << "" << true;
        QTest::newRow("text") << "text" << true;
        QTest::newRow("number") << "number" << true;
        QTest::newRow("truncated") << "truncated" << true;
        QTest::newRow("off the screen") << "far" << false;
    }

    void storedGeometry()
    {
        QFETCH(QString, stored);
        QFETCH(bool, isDefault);
        TestEnvironment env;
        const QRect saved(40, 50, 700, 500);
        {
            MainWindow first;
            first.setGeometry(stored == "far" ? QRect(40000, -30000, 700, 500) : saved);
            first.addToolBar(Qt::BottomToolBarArea, first.form()->toolbar_edit);
            first.show();
            QVERIFY(first.close());
        }
        {
            QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
            const QByteArray blob = settings.value("MainWindow/geometry").toByteArray();
            QVERIFY(!blob.isEmpty());
            if (stored.isEmpty())
                settings.remove("MainWindow/geometry");
            else if (stored == "text")
                settings.setValue("MainWindow/geometry", "1366x768");
            else if (stored == "number")
                settings.setValue("MainWindow/geometry", 42);
            else if (stored == "truncated")
                settings.setValue("MainWindow/geometry", blob.left(blob.size() / 2));
        }
        MainWindow w;
        const QRect available = w.screen()->availableGeometry();
        QVERIFY(QGuiApplication::screenAt(w.geometry().center()));
        if (isDefault)
            QCOMPARE(w.geometry(), w.defaultGeometry(available));
        else if (stored == "saved")
            QCOMPARE(w.geometry(), saved);
        // The tool bar layout is kept apart and survives a bad geometry.
        QCOMPARE(w.toolBarArea(w.form()->toolbar_edit), Qt::BottomToolBarArea);
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

        // Relative entries of older versions name nothing from another folder.
        QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Recent/files"), QStringList{"a.gcp", paths.first()});
        settings.setValue(QStringLiteral("Recent/dir_score"), QStringLiteral("."));
        settings.sync();
        QCOMPARE(recent->files(), QStringList{paths.first()});
        QCOMPARE(recent->lastDir(RecentFiles::ScoreKind), fallback);
    }

    // Settings that cannot be written (a folder in the file's place) are
    // said once, in the status bar, with the file; no dialog breaks in.
    void settingsNotSavedInStatusBar()
    {
        TestEnvironment env;
        QVERIFY(QDir().mkpath(DataPaths::settingsFile()));
        const QString score = env.dataDir() + QStringLiteral("/曲.gcp");
        QVERIFY(ScoreFile::write(score, QStringLiteral("原来"), QString()));
        MainWindow w;
        w.openPath(score); // its recent entry is not stored
        const QString message = w.statusBar()->currentMessage();
        QVERIFY2(message.startsWith(QStringLiteral("设置无法保存"))
                     && message.contains(QDir::toNativeSeparators(
                         QFileInfo(DataPaths::settingsFile()).absoluteFilePath())),
                 qPrintable(message));
        w.statusBar()->clearMessage();
        w.close(); // nor is the window's place
        QVERIFY(w.statusBar()->currentMessage().isEmpty());
        QVERIFY(env.dialogs().requests.isEmpty());
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
