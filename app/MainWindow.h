#pragma once

#include <QMainWindow>

class QTextBrowser;
class ScoreEdit;

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

    // Opens a score file as a new tab; an empty path does nothing.
    void openPath(const QString &path);

    Ui::MainWindow *form() const { return ui; }
    QTextBrowser *sponsorBrowser() const { return m_sponsorBrowser; }

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
    void exitAction();
    void exportAction();
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

private:
    void connectActions();
    void loadSponsorPage();
    bool hasTab() const;
    // The current document's score pane, or null without a tab.
    ScoreEdit *currentScorePane() const;

    Ui::MainWindow *ui;
    QTextBrowser *m_sponsorBrowser;
};
