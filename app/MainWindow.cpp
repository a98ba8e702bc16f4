#include "app/MainWindow.h"

#include "ui_MainWindow.h"

#include "dialogs/About.h"
#include "dialogs/Help.h"
#include "editor/ScoreEdit.h"
#include "fonts/FontManager.h"
#include "input/InputMethod.h"

#include <QTextBrowser>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , m_sponsorBrowser(new QTextBrowser(this))
{
    m_sponsorBrowser->setObjectName(QStringLiteral("sponsorBrowser"));
    ui->setupUi(this);
    connectActions();
    loadSponsorPage();
    tabWidgetCurrentChanged(-1);
    ui->searchBox->hide();
}

MainWindow::~MainWindow()
{
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
}

bool MainWindow::hasTab() const
{
    return ui->tabWidget->count() > 0;
}

ScoreEdit *MainWindow::currentScorePane() const
{
    // Until the paired editor exists the tab page is searched for its score
    // pane; then the current KelvoEdit's scoreEdit takes over here.
    QWidget *page = ui->tabWidget->currentWidget();
    return page ? page->findChild<ScoreEdit *>() : nullptr;
}

void MainWindow::openPath(const QString &path)
{
    if (path.isEmpty())
        return;
}

void MainWindow::newAction() {}
void MainWindow::openAction() {}
void MainWindow::saveAction() {}
void MainWindow::saveAsAction() {}
void MainWindow::copyAction() {}
void MainWindow::pasteAction() {}
void MainWindow::cutAction() {}
void MainWindow::settingAction() {}
void MainWindow::fontManagerAction()
{
    FontManager dialog;
    dialog.exec();
}
void MainWindow::undoAction() {}
void MainWindow::redoAction() {}

void MainWindow::searchAction()
{
    if (!hasTab())
        return;
    ui->searchBox->setVisible(ui->searchBox->isHidden());
}

void MainWindow::helpAction()
{
    Help dialog;
    dialog.exec();
}

void MainWindow::aboutAction()
{
    About dialog;
    dialog.exec();
}

void MainWindow::exitAction()
{
    close();
}

void MainWindow::exportAction() {}
void MainWindow::insertTitleAction() {}
void MainWindow::insertQuPaiAction() {}
void MainWindow::insertLianBaiAction() {}
void MainWindow::insertJiaBaiAction() {}
void MainWindow::insertCommentAction() {}
void MainWindow::insertLineBreakAction() {}
void MainWindow::insertPageBreakAction() {}
void MainWindow::modifiedChanged(bool) {}

bool MainWindow::tabWidgetClose(int index)
{
    Q_UNUSED(index);
    return false;
}

void MainWindow::tabWidgetCurrentChanged(int index)
{
    QAction *const documentActions[] = {
        ui->copyAction,          ui->pasteAction,         ui->cutAction,
        ui->searchAction,        ui->exportAction,        ui->saveAction,
        ui->saveAsAction,        ui->insertTitleAction,   ui->insertQupaiAction,
        ui->insertJiabaiAction,  ui->insertLianbaiAction, ui->insertCommentAction,
        ui->lineBreakAction,     ui->pageBreakAction,
    };
    if (index == -1) {
        ui->tabWidget->hide();
        m_sponsorBrowser->show();
        ui->undoAction->setEnabled(false);
        ui->redoAction->setEnabled(false);
        for (QAction *action : documentActions)
            action->setEnabled(false);
        if (ui->searchBox->isVisible())
            ui->searchBox->hide();
        // The first call, while the window is being built, creates the input
        // method and loads its dictionary at start-up. The previous target
        // stays set; the input method copes with its pane being deleted.
        InputMethod::instance();
        return;
    }
    m_sponsorBrowser->hide();
    ui->tabWidget->show();
    for (QAction *action : documentActions)
        action->setEnabled(true);
    InputMethod::instance()->setTarget(currentScorePane());
}

void MainWindow::onCanUndoChanged(bool canUndo)
{
    ui->undoAction->setEnabled(canUndo);
}

void MainWindow::onCanRedoChanged(bool canRedo)
{
    ui->redoAction->setEnabled(canRedo);
}

void MainWindow::onSearchNextBtnClicked() {}
void MainWindow::onSearchPrevBtnClicked() {}

void MainWindow::onSearchCloseBtn()
{
    ui->searchBox->hide();
}

void MainWindow::onSearchEditTextChanged()
{
    if (ui->searchEdit->text().isEmpty())
        ui->searchResLabel->clear();
}
