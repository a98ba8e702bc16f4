// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing a KelvoEdit's .gcp file: the document does the work,
// the editor asks for names and shows the messages.
#include "document/ui/KelvoEdit.h"

#include "dialogs/ui/DialogService.h"
#include "core/RecentFiles.h"
#include "document/PairedDocument.h"
#include "document/ScoreFile.h"
#include "document/ScoreSyntax.h"

#include <QFileInfo>

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
    QString path = filePath();
    const QFileInfo info(path);
    const bool bound = !path.isEmpty() && info.exists() && info.isFile()
                       && ScoreFile::hasScoreExtension(path);
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
