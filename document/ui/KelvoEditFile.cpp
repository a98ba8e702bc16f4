// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing a KelvoEdit's .gcp file: the document does the work,
// the editor asks for names and shows the messages.
#include "document/ui/KelvoEdit.h"

#include "shared/ui/DialogService.h"
#include "core/RecentFiles.h"
#include "document/PairedDocument.h"
#include "document/ScoreFile.h"
#include "document/ScoreSyntax.h"
#include "document/ui/FileChangeBar.h"
#include "ui_KelvoEdit.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {

// The name a save dialog suggests: the file's own name once it has one, else
// the first title line's text, else the untitled placeholder.
QString suggestedFileName(const QString &filePath, bool bound, const QString &lyric)
{
    if (bound)
        return QFileInfo(filePath).fileName();
    for (const QString &line : lyric.split(QLatin1Char('\n'))) {
        if (ScoreSyntax::classify(line) != LineKind::Title)
            continue;
        QString name = line.trimmed();
        while (name.startsWith(QLatin1Char('#')))
            name.remove(0, 1);
        name = Dialogs::fileNameFrom(name);
        if (!name.isEmpty())
            return name;
        break;
    }
    return QFileInfo(filePath).fileName();
}

} // namespace

bool KelvoEdit::load(const QString &path)
{
    const PairedDocument::FileResult result = m_document->load(path);
    if (!result.ok)
        Dialogs::warning(this, result.title, result.text);
    return result.ok;
}

void KelvoEdit::restoreContent(const QString &lyric, const QString &score, const QString &path)
{
    m_document->restoreContent(lyric, score, path);
}

bool KelvoEdit::save(bool saveAs)
{
    QString path = m_document->filePath();
    const QFileInfo info(path);
    // A bound file removed since is written again where it was, as long as
    // its folder is still there.
    const bool bound = !path.isEmpty() && ScoreFile::hasScoreExtension(path)
                       && (info.isFile() || (!info.exists() && info.dir().exists()));
    if (!saveAs && bound && !mayReplaceOutsideChange())
        return false;
    if (saveAs || !bound) {
        RecentFiles *recent = RecentFiles::instance();
        const QString chosen = Dialogs::getSaveFileName(
            this, tr("选择文件"), recent->lastDir(RecentFiles::ScoreKind),
            ScoreFile::dialogFilter(), QStringLiteral("gcp"),
            suggestedFileName(path, bound, m_document->lyricText()));
        if (chosen.isEmpty())
            return false;
        path = ScoreFile::withScoreExtension(chosen);
        recent->setLastDir(RecentFiles::ScoreKind, path);
    }

    const PairedDocument::FileResult result = m_document->save(path, saveAs);
    if (!result.ok) {
        Dialogs::warning(this, result.title, result.text);
        return false;
    }
    RecentFiles::instance()->addFile(path);
    if (!result.text.isEmpty())
        Dialogs::information(this, result.title, result.text);
    return true;
}

// ---- The bound file on disk -------------------------------------------------

void KelvoEdit::setUpFileWatch()
{
    m_fileBar = new FileChangeBar(this);
    ui->outerLayout->insertWidget(0, m_fileBar);
    m_watcher = new QFileSystemWatcher(this);
    // Another program's save comes as several events (write, rename, the
    // folder); one look after they settle is enough.
    m_fileCheck = new QTimer(this);
    m_fileCheck->setSingleShot(true);
    m_fileCheck->setInterval(150);
    connect(m_fileCheck, &QTimer::timeout, this, &KelvoEdit::checkFile);
    auto later = [this] { m_fileCheck->start(); };
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, later);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, later);
    // Read or written here: the bar's news is out of date.
    connect(m_document, &PairedDocument::diskStampChanged, this, &KelvoEdit::checkFile);
    connect(m_fileBar, &FileChangeBar::reloadRequested, this, &KelvoEdit::reloadFile);
    connect(m_fileBar, &FileChangeBar::keepRequested, this, &KelvoEdit::keepOwnVersion);
    connect(m_fileBar, &FileChangeBar::dismissed, this, &KelvoEdit::keepOwnVersion);
}

void KelvoEdit::watchFile()
{
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    const QString path = m_document->filePath();
    const QFileInfo info(path);
    // Only files of the file system are watched (not the bundled sample).
    if (m_document->isUntitled() || !ScoreFile::hasScoreExtension(path) || !info.isNativePath())
        return;
    QStringList paths;
    if (info.isFile())
        paths << path;
    if (info.dir().exists())
        paths << info.absolutePath();
    if (!paths.isEmpty())
        m_watcher->addPaths(paths);
}

void KelvoEdit::checkFile()
{
    m_fileCheck->stop();
    watchFile();
    switch (m_document->outsideChange()) {
    case PairedDocument::OutsideChange::None:
        m_fileBar->hide();
        break;
    case PairedDocument::OutsideChange::Modified:
        m_fileBar->showMessage(FileChangeBar::Message::Modified);
        break;
    case PairedDocument::OutsideChange::Deleted:
        m_fileBar->showMessage(FileChangeBar::Message::Deleted);
        break;
    }
}

bool KelvoEdit::reloadFile()
{
    const PairedDocument::FileResult result = m_document->reload();
    if (!result.ok) {
        Dialogs::warning(this, result.title, result.text);
        checkFile();
    }
    return result.ok;
}

void KelvoEdit::keepOwnVersion()
{
    m_document->keepOwnVersion();
    // The text differs from the file now: closing asks, saving writes it.
    m_document->setModified(true);
    m_fileBar->hide();
}

bool KelvoEdit::mayReplaceOutsideChange()
{
    checkFile();
    if (m_fileBar->isHidden() || m_fileBar->message() != FileChangeBar::Message::Modified)
        return true;
    const QMessageBox::StandardButton answer = Dialogs::question(
        this, tr("文件已在别处被修改"),
        tr("“%1”在读入或上次保存之后已在别处被修改。\n"
           "保存会用你的版本替换它，别处所做的修改将会丢失。要替换吗？")
            .arg(QFileInfo(m_document->filePath()).fileName()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}
