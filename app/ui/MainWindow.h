// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "online/ui/UpdateManager.h"

#include <QMainWindow>

#include <functional>

class Autosaver;
class KelvoEdit;
class QCloseEvent;
class StartPage;
class Transport;
class QMenu;
class QTextBrowser;
struct ServerConstants;

namespace Ui {
class MainWindow;
}

// The program's one window: menus, tool bars, a tab per open score, the
// search bar, and the sponsor page shown while no score is open.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens a score file as a new tab; an empty path does nothing. A file
    // that cannot be read shows the editor's message and adds no tab.
    void openPath(const QString &path);

    Ui::MainWindow *form() const { return ui; }
    QTextBrowser *sponsorBrowser() const { return m_sponsorBrowser; }
    // The current tab's editor, or null without a tab.
    KelvoEdit *currentEditor() const;
    // Shown instead of an empty sponsor page while no score is open.
    StartPage *startPage() const { return m_startPage; }
    // Opens the bundled sample as a document bound to no file.
    void openSample();
    // Opens the user's copy of the sample in the data folder, made from the
    // bundled one the first time; the bundled sample unsaved when no copy
    // can be written.
    void openSampleCopy();
    // Where the window opens when no usable size and place are stored.
    QRect defaultGeometry(const QRect &available) const;

    Autosaver *autosaver() const { return m_autosaver; }
    // Offers the documents a run that did not close cleanly left unsaved,
    // each restored one in a new tab.
    void restoreAutosaves();
    // The file menu's "最近打开" submenu.
    QMenu *recentMenu() const { return m_recentMenu; }
    // The playback controls (a tool bar) and the "播放" menu with their actions.
    Transport *transport() const { return m_transport; }
    QMenu *playbackMenu() const { return m_playbackMenu; }

public slots:
    void newAction();
    void openAction();
    void saveAction();
    void saveAsAction();
    void copyAction();
    void pasteAction();
    void cutAction();
    void settingAction();
    void fontManagerAction();
    void undoAction();
    void redoAction();
    void searchAction();
    void helpAction();
    void aboutAction();
    void exportAction();
    void printAction();
    void printPreviewAction();
    void insertTitleAction();
    void insertQuPaiAction();
    void insertLianBaiAction();
    void insertJiaBaiAction();
    void insertCommentAction();
    void insertLineBreakAction();
    void insertPageBreakAction();
    void modifiedChanged(bool isModified);
    bool tabWidgetClose(int index);
    void tabWidgetCurrentChanged(int index);
    void onCanUndoChanged(bool canUndo);
    void onCanRedoChanged(bool canRedo);
    void onSearchNextBtnClicked();
    void onSearchPrevBtnClicked();
    void onSearchCloseBtn();
    void onSearchEditTextChanged();

protected:
    // Closes the tabs from the last to the first, each with its save prompt;
    // the window stays open at the first tab that is kept.
    void closeEvent(QCloseEvent *event) override;

private:
    // Runs what on the current document; nothing without one.
    template <typename What>
    void withEditor(What what)
    {
        if (KelvoEdit *editor = currentEditor())
            std::invoke(what, editor);
    }
    void connectActions();
    void loadSponsorPage();
    void onSponsorPage(const QString &html);
    bool hasTab() const;
    void addEditorTab(KelvoEdit *editor);
    void refreshTabTitle(KelvoEdit *editor);
    void search(bool forward);
    bool fromBackgroundEditor() const;
    void setUpStartPage();
    // The sponsor page, or the start page while there is none. takeFocus:
    // the shown page takes the focus (as it does from the page it replaces).
    void showNoDocumentPage(bool takeFocus = false);
    void restoreWindowGeometry();
    void saveWindowGeometry() const;
    void setupRecentMenu();
    void setupTransport();
    void refreshRecentMenu();
    void openRecent(const QString &path);

    Ui::MainWindow *ui;
    QTextBrowser *m_sponsorBrowser;
    UpdateManager m_updateManager;
    ServerConstants *m_constants;
    Autosaver *m_autosaver;
    StartPage *m_startPage = nullptr;
    QMenu *m_recentMenu = nullptr;
    Transport *m_transport = nullptr;
    QMenu *m_playbackMenu = nullptr;
};
