// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/MainWindow.h"
#include <QSettings>
#include "core/DataPaths.h"
#include "audio/PlaybackSettings.h"
#include "export/ExportJob.h"

#include "ui_MainWindow.h"

#include "app/ui/Autosaver.h"
#include "shared/ui/DialogService.h"
#include "app/ui/Printing.h"
#include "app/ui/StartPage.h"
#include "audio/ui/Transport.h"
#include "core/RecentFiles.h"
#include "core/Reporting.h"
#include "core/SafeWrite.h"
#include "dialogs/ui/About.h"
#include "dialogs/ui/Help.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "document/ScoreFile.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "editor/ui/Settings.h"
#include "export/ui/Export.h"
#include "render/ExportConfig.h"
#include "fonts/ui/FontManager.h"
#include "input/ui/InputMethod.h"
#include "online/OnlineFetch.h"
#include "online/ServerConstants.h"
#include "online/HtmlReducer.h"
#include "online/ui/SponsorView.h"
#include "render/GenerateSVG.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPrinter>
#include <QStatusBar>
#include <QTextBrowser>
#include <QUndoStack>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , m_sponsorBrowser(new SponsorView(this))
    , m_constants(ServerConstants::instance())
    , m_autosaver(new Autosaver(this))
{
    m_sponsorBrowser->setObjectName(QStringLiteral("sponsorBrowser"));
    // A forced update leaves through this window's close prompts.
    m_updateManager.setWindow(this);
    ui->setupUi(this);
    connectActions();
    setupRecentMenu();
    setupTransport();
    loadSponsorPage();
    setUpStartPage();
    tabWidgetCurrentChanged(-1);
    ui->searchBox->hide();
    restoreWindowGeometry();
    // Settings are saved on the way; one that cannot be written is said
    // once, here, with the file (a dialog would break into the work).
    Reporting::setSettingsListener(this, [this](const QString &path) {
        statusBar()->showMessage(
            tr("设置无法保存：无法写入 %1").arg(QDir::toNativeSeparators(path)));
    });
    m_updateManager.checkForUpdate();
}

MainWindow::~MainWindow()
{
    // Editors report undo state while they are destroyed; they go first,
    // while the actions they would reach still exist, and unheard.
    disconnect(ui->tabWidget, nullptr, this, nullptr);
    // The music stops (and its thread ends) while the document it follows
    // is still there.
    m_transport->stop();
    const QList<KelvoEdit *> editors = ui->tabWidget->findChildren<KelvoEdit *>();
    for (KelvoEdit *editor : editors) {
        disconnect(editor, nullptr, this, nullptr);
        delete editor;
    }
    delete ui;
}

void MainWindow::connectActions()
{
    // Four action names differ in letter case from their slots, so every
    // connection is made explicitly rather than by name.
    const struct {
        QAction *action;
        void (MainWindow::*slot)();
    } table[] = {
        {ui->newAction, &MainWindow::newAction},
        {ui->openAction, &MainWindow::openAction},
        {ui->saveAction, &MainWindow::saveAction},
        {ui->saveAsAction, &MainWindow::saveAsAction},
        {ui->copyAction, &MainWindow::copyAction},
        {ui->pasteAction, &MainWindow::pasteAction},
        {ui->cutAction, &MainWindow::cutAction},
        {ui->settingAction, &MainWindow::settingAction},
        {ui->fontManagerAction, &MainWindow::fontManagerAction},
        {ui->undoAction, &MainWindow::undoAction},
        {ui->redoAction, &MainWindow::redoAction},
        {ui->searchAction, &MainWindow::searchAction},
        {ui->helpAction, &MainWindow::helpAction},
        {ui->aboutAction, &MainWindow::aboutAction},
        {ui->exportAction, &MainWindow::exportAction},
        {ui->printAction, &MainWindow::printAction},
        {ui->printPreviewAction, &MainWindow::printPreviewAction},
        {ui->insertTitleAction, &MainWindow::insertTitleAction},
        {ui->insertQupaiAction, &MainWindow::insertQuPaiAction},
        {ui->insertLianbaiAction, &MainWindow::insertLianBaiAction},
        {ui->insertJiabaiAction, &MainWindow::insertJiaBaiAction},
        {ui->insertCommentAction, &MainWindow::insertCommentAction},
        {ui->lineBreakAction, &MainWindow::insertLineBreakAction},
        {ui->pageBreakAction, &MainWindow::insertPageBreakAction},
    };
    for (const auto &entry : table)
        connect(entry.action, &QAction::triggered, this, entry.slot);
    connect(ui->exitAction, &QAction::triggered, this, &QWidget::close);

    connect(ui->tabWidget, &QTabWidget::tabCloseRequested, this, &MainWindow::tabWidgetClose);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this,
            &MainWindow::tabWidgetCurrentChanged);
    connect(ui->searchNextBtn, &QToolButton::clicked, this, &MainWindow::onSearchNextBtnClicked);
    connect(ui->searchPrevBtn, &QToolButton::clicked, this, &MainWindow::onSearchPrevBtnClicked);
    connect(ui->searchCloseBtn, &QToolButton::clicked, this, &MainWindow::onSearchCloseBtn);
    connect(ui->searchEdit, &QLineEdit::textChanged, this, &MainWindow::onSearchEditTextChanged);
}

void MainWindow::loadSponsorPage()
{
    // The sponsor page sits below the search bar and stands in for the tabs
    // while no score is open.
    ui->verticalLayout->addWidget(m_sponsorBrowser);

    QDir().mkpath(m_constants->cacheDir);
    QFile cache(m_constants->sponsorCacheFile);
    if (cache.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // Reduced again: a cache written by an older version may be hostile.
        m_constants->sponsorCache = HtmlReducer::reduce(cache.read(OnlineFetch::MaxReplyBytes));
        m_sponsorBrowser->setHtml(m_constants->sponsorCache);
    }

    if (ServerConstants::offline())
        return;
    // Asynchronous: start-up never waits for the server, and a failure
    // leaves the cached page (or nothing) without a word.
    auto *manager = new QNetworkAccessManager(this);
    QNetworkReply *reply = OnlineFetch::get(
        manager, QNetworkRequest(QUrl(m_constants->apiBase + m_constants->sponsorPath)));
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        QByteArray body;
        if (OnlineFetch::readBody(reply, &body))
            onSponsorPage(HtmlReducer::reduce(body));
    });
}

void MainWindow::onSponsorPage(const QString &html)
{
    // A page already showing stays for this run; a changed one shows from
    // the next start.
    if (m_sponsorBrowser->toPlainText().isEmpty()) {
        m_sponsorBrowser->setHtml(html);
        if (!hasTab())
            showNoDocumentPage();
    }
    if (html.isEmpty() || html == m_constants->sponsorCache)
        return;
    // Written whole or not at all: an interrupted write must not leave a
    // truncated page for the next start.
    SafeWrite::Options options;
    options.text = true;
    SafeWrite::writeWhole(m_constants->sponsorCacheFile, html.toUtf8(), options);
}

bool MainWindow::hasTab() const
{
    return ui->tabWidget->count() > 0;
}

KelvoEdit *MainWindow::currentEditor() const
{
    if (!hasTab())
        return nullptr;
    return qobject_cast<KelvoEdit *>(ui->tabWidget->currentWidget());
}

void MainWindow::addEditorTab(KelvoEdit *editor)
{
    const int index = ui->tabWidget->addTab(editor, editor->document()->displayName());
    ui->tabWidget->setCurrentIndex(index);
    connect(editor, &KelvoEdit::modifiedChanged, this, &MainWindow::modifiedChanged);
    connect(editor, &KelvoEdit::canUndoChanged, this, &MainWindow::onCanUndoChanged);
    connect(editor, &KelvoEdit::canRedoChanged, this, &MainWindow::onCanRedoChanged);
    m_autosaver->track(editor);
}

void MainWindow::restoreAutosaves()
{
    m_autosaver->offerRecovery([this](KelvoEdit *editor) { addEditorTab(editor); });
}

void MainWindow::refreshTabTitle(KelvoEdit *editor)
{
    const int index = editor ? ui->tabWidget->indexOf(editor) : -1;
    if (index >= 0)
        ui->tabWidget->setTabText(index, editor->document()->displayName());
}

void MainWindow::openPath(const QString &path)
{
    if (path.isEmpty())
        return;
    auto *editor = new KelvoEdit;
    // load has shown its message; nothing of the failed editor remains.
    if (!editor->load(path)) {
        delete editor;
        return;
    }
    addEditorTab(editor);
    RecentFiles *recent = RecentFiles::instance();
    recent->addFile(path);
    recent->setLastDir(RecentFiles::ScoreKind, path);
}

void MainWindow::setupRecentMenu()
{
    m_recentMenu = new QMenu(tr("最近打开"), this);
    m_recentMenu->setObjectName(QStringLiteral("recentMenu"));
    m_recentMenu->setToolTipsVisible(true);
    // A fixed set of entries, shown and hidden: an entry is never deleted
    // while its own triggered signal runs (choosing a missing file removes it).
    for (int i = 0; i < RecentFiles::MaxFiles; ++i) {
        QAction *action = m_recentMenu->addAction(QString());
        connect(action, &QAction::triggered, this,
                [this, action] { openRecent(action->data().toString()); });
    }
    m_recentMenu->addSeparator();
    m_recentMenu->addAction(tr("清除列表"), RecentFiles::instance(), &RecentFiles::clearFiles);
    // Right below "打开", before the separator that follows it.
    const QList<QAction *> fileActions = ui->menu->actions();
    const qsizetype open = fileActions.indexOf(ui->openAction);
    ui->menu->insertMenu(fileActions.value(open + 1), m_recentMenu);
    connect(RecentFiles::instance(), &RecentFiles::filesChanged, this,
            &MainWindow::refreshRecentMenu);
    refreshRecentMenu();
}

void MainWindow::setupTransport()
{
    m_transport = new Transport(this);
    addToolBar(Qt::TopToolBarArea, m_transport);
    m_playbackMenu = new QMenu(tr("播放"), this);
    m_playbackMenu->setObjectName(QStringLiteral("playbackMenu"));
    m_playbackMenu->addAction(m_transport->playAction());
    m_playbackMenu->addAction(m_transport->stopAction());
    m_playbackMenu->addAction(m_transport->playFromCursorAction());
    m_playbackMenu->addSeparator();
    m_playbackMenu->addAction(m_transport->loopAction());
    m_playbackMenu->addAction(m_transport->soundFontAction());
    ui->menubar->insertMenu(ui->menu_4->menuAction(), m_playbackMenu);
}

void MainWindow::refreshRecentMenu()
{
    const QStringList files = RecentFiles::instance()->files();
    const QList<QAction *> entries = m_recentMenu->actions();
    for (int i = 0; i < RecentFiles::MaxFiles; ++i) {
        QAction *action = entries.at(i);
        const QString path = files.value(i);
        action->setVisible(!path.isEmpty());
        action->setData(path);
        // "&" in a file name would otherwise mark a shortcut.
        const QString name = QFileInfo(path).fileName().replace(QLatin1Char('&'),
                                                                QLatin1String("&&"));
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        action->setText(number + QLatin1Char(' ') + name);
        action->setToolTip(QDir::toNativeSeparators(path));
        action->setStatusTip(QDir::toNativeSeparators(path));
    }
    m_recentMenu->setEnabled(!files.isEmpty());
}

void MainWindow::openRecent(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        Dialogs::warning(this, tr("错误"),
                         tr("文件“%1”已不存在，已从最近打开的列表中移除。")
                             .arg(QDir::toNativeSeparators(path)));
        RecentFiles::instance()->removeFile(path);
        return;
    }
    openPath(path);
}

void MainWindow::newAction()
{
    addEditorTab(new KelvoEdit);
}

void MainWindow::openAction()
{
    const QString path =
        Dialogs::getOpenFileName(this, tr("打开文件"),
                                 RecentFiles::instance()->lastDir(RecentFiles::ScoreKind),
                                 ScoreFile::dialogFilter());
    openPath(path);
}

void MainWindow::saveAction() { withEditor([](KelvoEdit *e) { e->save(false); }); }
void MainWindow::saveAsAction() { withEditor([](KelvoEdit *e) { e->save(true); }); }
void MainWindow::copyAction() { withEditor(&KelvoEdit::copy); }
void MainWindow::pasteAction() { withEditor(&KelvoEdit::paste); }
void MainWindow::cutAction() { withEditor(&KelvoEdit::cut); }

void MainWindow::settingAction() { Settings().exec(); }
void MainWindow::fontManagerAction() { FontManager().exec(); }

void MainWindow::undoAction()
{
    withEditor([](KelvoEdit *e) { e->document()->undoStack()->undo(); });
}

void MainWindow::redoAction()
{
    withEditor([](KelvoEdit *e) { e->document()->undoStack()->redo(); });
}

void MainWindow::searchAction()
{
    if (!hasTab())
        return;
    ui->searchBox->setVisible(ui->searchBox->isHidden());
}

void MainWindow::helpAction() { Help().exec(); }

void MainWindow::aboutAction() { About().exec(); }

void MainWindow::exportAction()
{
    KelvoEdit *editor = currentEditor();
    if (!editor)
        return;
    Export dialog(this, editor->document()->layoutItems());
    dialog.exec();
}

namespace {

// Lays the document out with the export settings in force and gives the
// printer their paper; false without a document.
bool prepareForPrint(KelvoEdit *editor, GenerateSVG &pages, QPrinter &printer)
{
    if (!editor)
        return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pages.clearPages();
    // In the notation last chosen in the export dialog, read with the
    // transport's tempo, transposition and rhythm.
    QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
    const PlaybackSettings playback = PlaybackSettings::load(settings);
    ExportJob::layPages(pages, editor->document()->layoutItems(),
                        PlaybackSettings::musicOptions(playback.tempo, playback.transpose,
                                                       playback.rhythm));
    QApplication::restoreOverrideCursor();
    Printing::preparePrinter(&printer, *pages.config(), pages.title());
    return true;
}

void reportPrint(QWidget *parent, Printing::Result result)
{
    if (result == Printing::Result::NothingSelected)
        Dialogs::warning(parent, QObject::tr("提示"), QObject::tr("所选页码范围内没有页面！"));
    else if (result == Printing::Result::Failed)
        Dialogs::warning(parent, QObject::tr("错误"), QObject::tr("打印失败！"));
}

} // namespace

void MainWindow::printAction()
{
    GenerateSVG pages;
    QPrinter printer(QPrinter::HighResolution);
    if (!prepareForPrint(currentEditor(), pages, printer))
        return;
    if (!Dialogs::print(this, &printer, pages.pageCount()))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Printing::Result result = Printing::printPages(pages, &printer);
    QApplication::restoreOverrideCursor();
    reportPrint(this, result);
}

void MainWindow::printPreviewAction()
{
    GenerateSVG pages;
    QPrinter printer(QPrinter::HighResolution);
    if (!prepareForPrint(currentEditor(), pages, printer))
        return;
    Dialogs::printPreview(this, &printer, pages.pageCount(), [this, &pages](QPrinter *target) {
        reportPrint(this, Printing::printPages(pages, target));
    });
}

void MainWindow::insertTitleAction() { withEditor(&KelvoEdit::insertTitle); }
void MainWindow::insertQuPaiAction() { withEditor(&KelvoEdit::insertQuPai); }
void MainWindow::insertLianBaiAction() { withEditor(&KelvoEdit::insertLianBai); }
void MainWindow::insertJiaBaiAction() { withEditor(&KelvoEdit::insertJiaBai); }
void MainWindow::insertCommentAction() { withEditor(&KelvoEdit::insertComment); }
void MainWindow::insertLineBreakAction() { withEditor(&KelvoEdit::insertLineBreak); }
void MainWindow::insertPageBreakAction() { withEditor(&KelvoEdit::insertPageBreak); }

void MainWindow::modifiedChanged(bool isModified)
{
    Q_UNUSED(isModified);
    refreshTabTitle(currentEditor());
    // An editor in a background tab can change too (saved while the window
    // closes); its own title must not go stale.
    auto *sending = qobject_cast<KelvoEdit *>(sender());
    if (sending && sending != currentEditor())
        refreshTabTitle(sending);
}

bool MainWindow::tabWidgetClose(int index)
{
    auto *editor = qobject_cast<KelvoEdit *>(ui->tabWidget->widget(index));
    if (!editor)
        return false;
    if (editor->document()->isModified()) {
        const QMessageBox::StandardButton answer = Dialogs::warning(
            nullptr, tr("警告"), tr("\"%1\"未保存，是否保存？").arg(editor->document()->displayName()),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Yes) {
            // A cancelled save dialog or a failed write keeps the tab.
            if (!editor->save(false))
                return false;
            Dialogs::information(this, tr("提示"),
                                 tr("\"%1\"保存成功！").arg(editor->document()->displayName()));
        } else if (answer != QMessageBox::No) {
            // Cancel, or the prompt dismissed some other way.
            return false;
        }
    }
    // A composition begun in this document has nowhere to go any more.
    InputMethod *im = InputMethod::existingInstance();
    if (im && im->target() == editor->scoreEdit())
        im->reset();
    // Its undo stack signals on the way out; the actions belong to the tab
    // that becomes current.
    disconnect(editor, nullptr, this, nullptr);
    // Its music stops before it goes.
    m_transport->release(editor);
    // Saved or deliberately discarded: its autosaved copy is not needed.
    m_autosaver->forget(editor);
    ui->tabWidget->removeTab(index);
    delete editor;
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    for (int i = ui->tabWidget->count() - 1; i >= 0; --i) {
        if (!tabWidgetClose(i)) {
            event->ignore();
            return;
        }
    }
    if (hasTab()) {
        event->ignore();
        return;
    }
    saveWindowGeometry();
    m_autosaver->endSession();
    event->accept();
}

void MainWindow::tabWidgetCurrentChanged(int index)
{
    QAction *const documentActions[] = {
        ui->copyAction,          ui->pasteAction,         ui->cutAction,
        ui->searchAction,        ui->exportAction,        ui->saveAction,
        ui->saveAsAction,        ui->insertTitleAction,   ui->insertQupaiAction,
        ui->insertJiabaiAction,  ui->insertLianbaiAction, ui->insertCommentAction,
        ui->lineBreakAction,     ui->pageBreakAction,     ui->printAction,
        ui->printPreviewAction,
    };
    if (index == -1) {
        ui->tabWidget->hide();
        // Nothing to type into: the page takes the focus.
        showNoDocumentPage(true);
        ui->undoAction->setEnabled(false);
        ui->redoAction->setEnabled(false);
        for (QAction *action : documentActions)
            action->setEnabled(false);
        m_transport->setEditor(nullptr);
        if (ui->searchBox->isVisible())
            ui->searchBox->hide();
        // The first call, while the window is being built, creates the input
        // method and loads its dictionary at start-up. The previous target
        // stays set; the input method copes with its pane being deleted.
        InputMethod::instance();
        return;
    }
    // The focus leaves the page for the document, not for the next field.
    QWidget *focus = focusWidget();
    const bool pageHadFocus =
        focus && (m_startPage->isAncestorOf(focus) || m_sponsorBrowser->isAncestorOf(focus)
                  || focus == m_startPage || focus == m_sponsorBrowser);
    KelvoEdit *editor = qobject_cast<KelvoEdit *>(ui->tabWidget->widget(index));
    ui->tabWidget->show();
    if (pageHadFocus && editor)
        editor->lyricEdit()->setFocus(Qt::OtherFocusReason);
    m_sponsorBrowser->hide();
    m_startPage->hide();
    ui->undoAction->setEnabled(editor && editor->document()->undoStack()->canUndo());
    ui->redoAction->setEnabled(editor && editor->document()->undoStack()->canRedo());
    for (QAction *action : documentActions)
        action->setEnabled(true);
    InputMethod::instance()->setTarget(editor ? editor->scoreEdit() : nullptr);
    m_transport->setEditor(editor);
}

bool MainWindow::fromBackgroundEditor() const
{
    // The undo and redo actions show the current document only.
    auto *editor = qobject_cast<KelvoEdit *>(sender());
    return editor && editor != currentEditor();
}

void MainWindow::onCanUndoChanged(bool canUndo)
{
    if (!fromBackgroundEditor())
        ui->undoAction->setEnabled(canUndo);
}

void MainWindow::onCanRedoChanged(bool canRedo)
{
    if (!fromBackgroundEditor())
        ui->redoAction->setEnabled(canRedo);
}

void MainWindow::search(bool forward)
{
    KelvoEdit *editor = currentEditor();
    const QString text = ui->searchEdit->text();
    if (!editor || text.isEmpty())
        return;
    // Only the lyric text is searched; the score pane holds no words.
    LyricEdit *lyric = editor->lyricEdit();
    const LyricEdit::FindResult found = forward ? lyric->findNext(text) : lyric->findPrevious(text);
    ui->searchResLabel->setText(QStringLiteral("%1/%2").arg(found.current).arg(found.count));
}

void MainWindow::onSearchNextBtnClicked()
{
    search(true);
}

void MainWindow::onSearchPrevBtnClicked()
{
    search(false);
}

void MainWindow::onSearchCloseBtn()
{
    ui->searchBox->hide();
}

void MainWindow::onSearchEditTextChanged()
{
    if (ui->searchEdit->text().isEmpty())
        ui->searchResLabel->clear();
}
