// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/Autosaver.h"

#include "core/DataPaths.h"
#include "shared/ui/DialogService.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "document/ScoreFile.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMainWindow>
#include <QStatusBar>

#include <algorithm>

namespace {

int intervalFromEnvironment()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("KELVO_AUTOSAVE_SECONDS", &ok);
    return ok && seconds > 0 && seconds <= 24 * 3600 ? seconds * 1000 : Autosaver::DefaultIntervalMs;
}

// How the prompt names a document: its file, or for one never saved the
// beginning of its lyric text, so that several can be told apart.
QString describe(const AutosaveStore::Entry &entry, const QString &lyric)
{
    if (!entry.originalPath.isEmpty())
        return QDir::toNativeSeparators(entry.originalPath);
    QString first;
    for (const QString &line : lyric.split(QLatin1Char('\n'))) {
        first = line.trimmed();
        if (!first.isEmpty())
            break;
    }
    if (first.size() > 20)
        first = first.left(20) + QStringLiteral("…");
    QString name = first.isEmpty() ? entry.title : QStringLiteral("%1（“%2”）").arg(entry.title, first);
    if (!entry.unusablePath.isEmpty())
        name += Autosaver::tr("\n记录的位置“%1”不是完整路径，无法确定是哪个文件："
                              "恢复后不关联任何文件，保存时会询问文件名。")
                    .arg(QDir::toNativeSeparators(entry.unusablePath));
    return name;
}

} // namespace

Autosaver::Autosaver(QMainWindow *window)
    : QObject(window)
    , m_window(window)
    , m_store(DataPaths::autosaveDir())
{
    m_timer.setInterval(intervalFromEnvironment());
    connect(&m_timer, &QTimer::timeout, this, &Autosaver::autosaveNow);
    m_timer.start();
}

void Autosaver::setInterval(int ms)
{
    m_timer.start(ms);
}

void Autosaver::track(KelvoEdit *editor)
{
    if (!editor || m_tracked.contains(editor))
        return;
    m_tracked.insert(editor, Tracked{QStringLiteral("doc-%1").arg(m_nextId++), QByteArray()});
    // Saved (or reloaded): the file itself holds the work now.
    connect(editor, &KelvoEdit::modifiedChanged, this, [this, editor](bool modified) {
        if (!modified)
            dropCopy(editor);
    });
    // Only the bookkeeping goes: an editor destroyed with the window, not
    // closed through its tab, keeps its copy for the next start.
    connect(editor, &QObject::destroyed, this, [this, editor] { m_tracked.remove(editor); });
}

void Autosaver::forget(KelvoEdit *editor)
{
    dropCopy(editor);
    disconnect(editor, nullptr, this, nullptr);
    m_tracked.remove(editor);
}

void Autosaver::endSession()
{
    m_store.endSession();
}

void Autosaver::dropCopy(KelvoEdit *editor)
{
    auto it = m_tracked.find(editor);
    if (it == m_tracked.end() || it->writtenHash.isEmpty())
        return;
    m_store.remove(it->id);
    it->writtenHash.clear();
}

bool Autosaver::writeCopy(KelvoEdit *editor, Tracked &tracked)
{
    const QString lyric = editor->lyricEdit()->toPlainText();
    const QString score = editor->scoreEdit()->toPlainText();
    const QByteArray hash =
        QCryptographicHash::hash(ScoreFile::encode(lyric, score), QCryptographicHash::Sha1);
    // Also unchanged, a copy removed behind our back is written again.
    if (hash == tracked.writtenHash && m_store.holds(tracked.id))
        return true;
    AutosaveStore::Entry entry;
    entry.id = tracked.id;
    // Only a file's absolute path: a placeholder name (the sample's) binds nothing.
    const QString path = editor->document()->filePath();
    entry.originalPath = QFileInfo(path).isAbsolute() ? path : QString();
    entry.title = editor->document()->isUntitled() ? editor->document()->displayName().remove(QLatin1Char('*'))
                                       : QFileInfo(editor->document()->filePath()).fileName();
    entry.savedAt = QDateTime::currentDateTime();
    if (!m_store.write(entry, lyric, score))
        return false;
    tracked.writtenHash = hash;
    return true;
}

void Autosaver::autosaveNow()
{
    // Before anything else: a session whose lock went with its folder would
    // be offered to the next program as left behind, while it is in use.
    bool failed = !m_store.keepSession();
    // In the order the documents were opened, as recovery will offer them.
    QList<KelvoEdit *> editors = m_tracked.keys();
    std::sort(editors.begin(), editors.end(), [this](KelvoEdit *a, KelvoEdit *b) {
        return AutosaveStore::openedBefore(m_tracked[a].id, m_tracked[b].id);
    });
    for (KelvoEdit *editor : editors) {
        if (editor->document()->isModified())
            failed |= !writeCopy(editor, m_tracked[editor]);
    }
    // Not worth a modal message every few minutes; the status bar says it.
    if (failed && m_window)
        m_window->statusBar()->showMessage(
            tr("自动保存失败：无法写入 %1").arg(QDir::toNativeSeparators(DataPaths::autosaveDir())),
            10000);
}

void Autosaver::offerRecovery(const std::function<void(KelvoEdit *)> &addTab)
{
    auto leftovers = AutosaveStore::claimLeftovers(DataPaths::autosaveDir());
    for (const auto &leftover : leftovers) {
        for (const AutosaveStore::Entry &entry : leftover->entries()) {
            QString lyric;
            QString score;
            if (!leftover->read(entry, &lyric, &score)) {
                QString aside;
                const QString text =
                    leftover->setAside(entry, &aside)
                        ? tr("自动保存的文档\"%1\"已损坏，无法恢复。\n文件已移至：%2")
                              .arg(entry.title, QDir::toNativeSeparators(aside))
                        : tr("自动保存的文档\"%1\"已损坏，无法恢复。\n无法移至 %2，"
                             "文件仍留在：\n%3\n下次启动时会再次提示。")
                              .arg(entry.title, QDir::toNativeSeparators(aside),
                                   QDir::toNativeSeparators(leftover->dir()));
                Dialogs::warning(m_window, tr("错误"), text);
                continue;
            }
            const QString when =
                QLocale().toString(entry.savedAt, QStringLiteral("yyyy-MM-dd HH:mm"));
            const QMessageBox::StandardButton answer = Dialogs::question(
                m_window, tr("恢复文档"),
                tr("程序上次没有正常关闭。以下文档有未保存的修改（自动保存于 %1）：\n\n%2\n\n"
                   "是否恢复？\n是：在新标签页中打开（原文件保持不变，保存时才写入）；\n"
                   "否：删除这份自动保存；\n取消：下次启动时再问。")
                    .arg(when, describe(entry, lyric)),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
            if (answer == QMessageBox::No) {
                leftover->discard(entry);
            } else if (answer == QMessageBox::Yes) {
                auto *editor = new KelvoEdit;
                editor->restoreContent(lyric, score, entry.originalPath);
                addTab(editor);
                track(editor);
                // The old copy goes only once this run holds its own.
                auto it = m_tracked.find(editor);
                if (it != m_tracked.end() && writeCopy(editor, *it))
                    leftover->discard(entry);
            }
            // Anything else (Cancel, the prompt dismissed) keeps the copy.
        }
    }
}
