// Reading and writing a KelvoEdit's .gcp file. Kept apart from the editor's
// key handling; it uses only the editor's public interface.
#include "document/ui/KelvoEdit.h"

#include "dialogs/ui/DialogService.h"
#include "core/RecentFiles.h"
#include "document/ScoreFile.h"
#include "document/ScoreSyntax.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"

#include <QFile>
#include <QFileInfo>
#include <QUndoStack>

namespace {

// Clears the modified state and always tells the listeners, even when the
// state was already clear (an empty file loaded into an empty editor).
void markSaved(KelvoEdit *editor)
{
    if (editor->isModified())
        editor->setModified(false);
    else
        emit editor->modifiedChanged(false);
}

void setTexts(KelvoEdit *editor, const QString &lyric, const QString &score)
{
    // Characters the panes would save differently are mapped now, the score
    // lines moving along, so the document pairs as it will after saving.
    const ScoreSyntax::NormalisedDocument document = ScoreSyntax::normaliseDocument(lyric, score);
    const bool wasSyncing = editor->isSyncing();
    editor->setSyncing(true);
    editor->lyricEdit()->setPlainText(document.lyric);
    editor->scoreEdit()->setPlainText(document.score);
    editor->setSyncing(wasSyncing);
    // Commands of an earlier text would point into text that is gone.
    editor->undoStack()->clear();
}

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
    QFile file(path);
    // The open comes first: a missing file with a wrong extension reports
    // the open error, not the type error.
    if (!file.open(QIODevice::ReadOnly)) {
        Dialogs::warning(this, tr("错误"), tr("打开文件时发生错误！"));
        return false;
    }
    if (!ScoreFile::hasScoreExtension(path)) {
        Dialogs::warning(this, ScoreFile::wrongTypeTitle(), ScoreFile::wrongTypeText());
        return false;
    }
    const QByteArray bytes = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    const ScoreFile::Decoded decoded = ScoreFile::decode(bytes);
    // A damaged file is refused rather than opened half-empty, where the
    // next save would overwrite the original with what little was read.
    if (readFailed || !decoded.ok()) {
        Dialogs::warning(this, tr("错误"), tr("打开文件时发生错误！"));
        return false;
    }

    setTexts(this, decoded.lyric, decoded.score);
    setFilePath(path);
    markSaved(this);
    return true;
}

void KelvoEdit::restoreContent(const QString &lyric, const QString &score, const QString &path)
{
    setTexts(this, lyric, score);
    if (!path.isEmpty())
        setFilePath(path);
    setModified(true);
}

bool KelvoEdit::save(bool saveAs)
{
    QString path = filePath();
    const QFileInfo info(path);
    const bool bound = !path.isEmpty() && info.exists() && info.isFile()
                       && ScoreFile::hasScoreExtension(path);
    if (saveAs || !bound) {
        RecentFiles *recent = RecentFiles::instance();
        const QString chosen = Dialogs::getSaveFileName(
            this, tr("选择文件"), recent->lastDir(RecentFiles::ScoreKind),
            ScoreFile::dialogFilter(), QStringLiteral("gcp"),
            suggestedFileName(path, bound, lyricEdit()->toPlainText()));
        if (chosen.isEmpty())
            return false;
        path = ScoreFile::withScoreExtension(chosen);
        recent->setLastDir(RecentFiles::ScoreKind, path);
        // Bound before writing: a failed write keeps the new name and the
        // document stays modified.
        if (!saveAs)
            setFilePath(path);
    }

    if (!ScoreFile::write(path, lyricEdit()->toPlainText(), scoreEdit()->toPlainText())) {
        Dialogs::warning(this, tr("错误"), tr("保存文件时发生错误！"));
        return false;
    }
    RecentFiles::instance()->addFile(path);

    if (saveAs)
        Dialogs::information(this, tr("提示"), path + tr("保存成功！"));
    else
        markSaved(this);
    return true;
}
