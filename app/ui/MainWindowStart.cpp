// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's page without documents (the sponsor page or the start
// page), the sample score, and the window's size and place across runs.
// Kept apart from the file and tab slots.
#include "app/ui/MainWindow.h"

#include "audio/ui/Transport.h"

#include "ui_MainWindow.h"

#include "core/DataPaths.h"
#include "core/SafeWrite.h"
#include "app/ui/StartPage.h"
#include "document/SampleScore.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTextBrowser>
#include <QToolBar>

namespace {

const QString GeometryKey = QStringLiteral("MainWindow/geometry");
const QString StateKey = QStringLiteral("MainWindow/state");

// Room left for a window manager's title bar and borders.
const QSize FrameAllowance(16, 48);
const int TitleAllowance = 40;
// Comfortable for two panes; the width grows when a tool bar needs more.
const QSize PreferredSize(1100, 680);

} // namespace

void MainWindow::setUpStartPage()
{
    m_startPage = new StartPage(this);
    ui->verticalLayout->addWidget(m_startPage);
    connect(m_startPage, &StartPage::newRequested, ui->newAction, &QAction::trigger);
    connect(m_startPage, &StartPage::openRequested, ui->openAction, &QAction::trigger);
    connect(m_startPage, &StartPage::sampleRequested, this, &MainWindow::openSample);
    connect(m_startPage, &StartPage::recentRequested, this, &MainWindow::openPath);
}

void MainWindow::showNoDocumentPage(bool takeFocus)
{
    // A page whose text is empty shows nothing useful (its images are never
    // fetched), so the start page stays until one with words arrives.
    const bool sponsor = !m_sponsorBrowser->toPlainText().trimmed().isEmpty();
    QWidget *page = sponsor ? static_cast<QWidget *>(m_sponsorBrowser) : m_startPage;
    QWidget *other = sponsor ? static_cast<QWidget *>(m_startPage) : m_sponsorBrowser;
    // Left to itself the focus would go on to the next field, the tempo box,
    // where a typed digit changes the tempo; the page takes it instead.
    QWidget *focus = focusWidget();
    takeFocus = takeFocus || (focus && (focus == other || other->isAncestorOf(focus)));
    page->show();
    if (takeFocus)
        page->setFocus(Qt::OtherFocusReason);
    other->hide();
}

void MainWindow::openSample()
{
    auto *editor = new KelvoEdit;
    if (!editor->load(SampleScore::resourcePath())) {
        delete editor;
        return;
    }
    // A name without the score extension binds the document to no file, so
    // its first save asks where to write: the bundled copy stays as it is.
    editor->document()->setFilePath(tr("示例曲谱"));
    addEditorTab(editor);
}

void MainWindow::openSampleCopy()
{
    const QString copy = SampleScore::userCopy();
    if (copy.isEmpty())
        openSample();
    else
        openPath(copy);
}

QRect MainWindow::defaultGeometry(const QRect &available) const
{
    // Wide enough for the longer tool bar, so that no action hides behind
    // the overflow button; never larger than the screen.
    // The playback controls share the second row.
    const int secondRow = ui->toolbar_edit->sizeHint().width()
                          + (m_transport ? m_transport->sizeHint().width() : 0);
    const int toolBars = qMax(ui->toolbar_file->sizeHint().width(), secondRow);
    QSize size(qMax(PreferredSize.width(), toolBars + 8), PreferredSize.height());
    size = size.boundedTo(available.size() - FrameAllowance).expandedTo(minimumSize());
    const int x = available.x() + qMax(0, (available.width() - size.width()) / 2);
    const int y = available.y()
                  + qMax(qMin(TitleAllowance, available.height() - size.height()),
                         (available.height() - size.height()) / 2);
    return QRect(QPoint(x, y), size);
}

void MainWindow::restoreWindowGeometry()
{
    const QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
    const QByteArray geometry = settings.value(GeometryKey).toByteArray();
    // Geometry from another machine or a damaged file may be refused, or
    // land where no screen is (a monitor since unplugged): the default then.
    // The restore takes a cut-off value for zeros, so anything shorter than
    // what this window writes is refused first.
    const bool restored = geometry.size() >= saveGeometry().size() && restoreGeometry(geometry)
                          && QGuiApplication::screenAt(normalGeometry().center());
    if (!restored) {
        setWindowState(Qt::WindowNoState);
        setGeometry(defaultGeometry(screen()->availableGeometry()));
    }
    restoreState(settings.value(StateKey).toByteArray());
}

void MainWindow::saveWindowGeometry() const
{
    QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
    settings.setValue(GeometryKey, saveGeometry());
    settings.setValue(StateKey, saveState());
    SafeWrite::syncSettings(settings);
}
