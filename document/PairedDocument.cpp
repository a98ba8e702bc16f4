// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/PairedDocument.h"

#include "document/PairingIndex.h"
#include "document/ScoreFile.h"
#include "document/ScoreSyntax.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextDocument>
#include <QUndoStack>

#include <algorithm>

namespace {

const QString Untitled = QStringLiteral("未命名");

// A layout that lays nothing out. A text document without any layout does
// not say where an edit happened (contentsChange comes only with a layout),
// and the pairing cache lives on exactly that; a view replaces it with the
// layout it draws with.
class UnlaidLayout : public QAbstractTextDocumentLayout
{
public:
    using QAbstractTextDocumentLayout::QAbstractTextDocumentLayout;

    void draw(QPainter *, const PaintContext &) override {}
    int hitTest(const QPointF &, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {}; }
    QRectF frameBoundingRect(QTextFrame *) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock &) const override { return {}; }

protected:
    void documentChanged(int, int, int) override {}
};

QTextDocument *newText(QObject *parent)
{
    auto *document = new QTextDocument(parent);
    document->setDocumentLayout(new UnlaidLayout(document));
    return document;
}

// End of the last line (the position a cursor can reach last).
int endOf(const QTextDocument *document)
{
    return document->characterCount() - 1;
}

} // namespace

PairedDocument::PairedDocument(QObject *parent)
    : QObject(parent)
    , m_lyric(newText(this))
    , m_score(newText(this))
    , m_pairing(new PairingIndex(m_lyric, this))
    , m_undoStack(new QUndoStack)
    , m_lyricCursor(m_lyric)
    , m_scoreCursor(m_score)
    , m_filePath(Untitled)
{
    m_undoStack->setUndoLimit(200);
    connect(m_lyric, &QTextDocument::contentsChanged, this, &PairedDocument::markModifiedIfEdited);
    connect(m_score, &QTextDocument::contentsChanged, this, &PairedDocument::markModifiedIfEdited);
}

PairedDocument::~PairedDocument()
{
    // Views still showing the texts let go of them only on destroyed(), which
    // comes after this destructor: what they do to the texts then must not
    // reach this half-destroyed object.
    m_lyric->disconnect(this);
    m_score->disconnect(this);
    // Commands first: they point at this document.
    delete m_undoStack;
}

QString PairedDocument::lyricText() const
{
    return m_lyric->toPlainText();
}

QString PairedDocument::scoreText() const
{
    return m_score->toPlainText();
}

// ---- Pairing ------------------------------------------------------------------

int PairedDocument::scoreLineAt(int position) const
{
    return m_pairing->scoreLineAt(position);
}

int PairedDocument::positionAfterPaired(int n) const
{
    return m_pairing->positionAfterPaired(n);
}

QString PairedDocument::pairedText() const
{
    return m_pairing->pairedText();
}

QString PairedDocument::pairedCharacterAt(int n) const
{
    return m_pairing->pairedCharacterAt(n);
}

void PairedDocument::insertEmptyLines(int k, int n)
{
    insertEmptyLines(m_score, k, n);
}

void PairedDocument::removeLines(int k, int n)
{
    removeLines(m_score, k, n);
}

void PairedDocument::insertEmptyLines(QTextDocument *score, int k, int n)
{
    if (n < 1)
        return;
    QTextCursor cursor(score);
    const QTextBlock before = score->findBlockByNumber(k - 1);
    if (k - 1 >= 0 && before.isValid()) {
        cursor.setPosition(before.position() + before.length() - 1);
        cursor.movePosition(QTextCursor::NextCharacter);
    } else if (k <= 0) {
        cursor.setPosition(0);
    } else {
        cursor.movePosition(QTextCursor::End);
    }
    cursor.beginEditBlock();
    cursor.insertText(QString(n, QLatin1Char('\n')));
    cursor.endEditBlock();
}

void PairedDocument::removeLines(QTextDocument *score, int k, int n)
{
    if (n < 1)
        return;
    QTextCursor cursor(score);
    const int lastLine = score->blockCount() - 1;
    if (k - 1 >= 0 && k - 1 <= lastLine) {
        // From the end of line k - 1, taking its line break along.
        const QTextBlock before = score->findBlockByNumber(k - 1);
        const QTextBlock last = score->findBlockByNumber(std::min(k - 1 + n, lastLine));
        cursor.setPosition(before.position() + before.length() - 1);
        cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    } else if (k <= 0) {
        const int lastRemoved = std::min(n - 1, lastLine);
        const QTextBlock last = score->findBlockByNumber(lastRemoved);
        int end = last.position() + last.length() - 1;
        if (lastRemoved < lastLine)
            ++end; // its line break
        cursor.setPosition(0);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
    } else {
        return;
    }
    if (!cursor.hasSelection())
        return;
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    cursor.endEditBlock();
}

// ---- Cursors ------------------------------------------------------------------

void PairedDocument::setLyricCursor(const QTextCursor &cursor)
{
    if (cursor.document() == m_lyric)
        m_lyricCursor = cursor;
    emit lyricCursorChanged();
}

void PairedDocument::setScoreCursor(const QTextCursor &cursor)
{
    if (cursor.document() == m_score)
        m_scoreCursor = cursor;
    emit scoreCursorChanged();
}

void PairedDocument::adoptCursors(const QTextCursor &lyric, const QTextCursor &score)
{
    if (lyric.document() == m_lyric)
        m_lyricCursor = lyric;
    if (score.document() == m_score)
        m_scoreCursor = score;
}

void PairedDocument::mirrorLyricCursor()
{
    if (m_syncing)
        return;
    m_syncing = true;
    const QTextCursor l = m_lyricCursor;
    QTextCursor s = m_scoreCursor;
    const int scoreEnd = endOf(m_score);

    if (l.hasSelection()) {
        // The score lines of the selected paired characters, whole.
        const int a = scoreLineAt(l.selectionStart());
        const int b = scoreLineAt(l.selectionEnd());
        const QTextBlock first = m_score->findBlockByNumber(a + 1);
        if (first.isValid())
            s.setPosition(first.position());
        else
            s.setPosition(a < 0 ? 0 : scoreEnd);
        const QTextBlock last = b >= 0 ? m_score->findBlockByNumber(b) : QTextBlock();
        if (last.isValid()) {
            s.setPosition(last.position(), QTextCursor::KeepAnchor);
            s.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        } else {
            s.setPosition(b < 0 ? 0 : scoreEnd, QTextCursor::KeepAnchor);
        }
    } else {
        const int c = scoreLineAt(l.position());
        const QTextBlock line = c >= 0 ? m_score->findBlockByNumber(c) : QTextBlock();
        if (line.isValid())
            s.setPosition(line.position() + line.length() - 1);
        else
            s.setPosition(c < 0 ? 0 : scoreEnd);
    }
    setScoreCursor(s);
    m_syncing = false;
    emit lyricCursorMirrored();
}

void PairedDocument::mirrorScoreCursor()
{
    if (m_syncing)
        return;
    m_syncing = true;
    const QTextCursor s = m_scoreCursor;
    QTextCursor l = m_lyricCursor;

    if (s.hasSelection()) {
        const int k = int(s.selectedText().count(QChar::ParagraphSeparator));
        const int n = s.blockNumber();
        const int first = s.position() < s.anchor() ? n : n - k;
        const int last = s.position() < s.anchor() ? n + k : n;
        l.setPosition(positionAfterPaired(first + 1));
        l.movePosition(QTextCursor::PreviousCharacter);
        l.setPosition(positionAfterPaired(last + 1), QTextCursor::KeepAnchor);
    } else {
        l.setPosition(positionAfterPaired(s.blockNumber() + 1));
    }
    setLyricCursor(l);
    m_syncing = false;
    emit scoreCursorMirrored();
}

// ---- File binding and modified state -----------------------------------------

bool PairedDocument::isUntitled() const
{
    return m_filePath == Untitled;
}

QString PairedDocument::displayName() const
{
    QString name = isUntitled() ? Untitled : QFileInfo(m_filePath).fileName();
    if (m_modified)
        name += QLatin1Char('*');
    return name;
}

void PairedDocument::setModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

void PairedDocument::markModifiedIfEdited()
{
    // contentsChanged also comes when the highlighter re-formats lines
    // (after a settings change), which is no edit; the texts' own modified
    // flags tell the two apart. They are cleared again to catch the next
    // edit, undo and redo included.
    bool edited = false;
    for (QTextDocument *document : {m_lyric, m_score}) {
        if (document->isModified()) {
            document->setModified(false);
            edited = true;
        }
    }
    if (edited)
        setModified(true);
}

void PairedDocument::markSaved()
{
    if (m_modified)
        setModified(false);
    else
        emit modifiedChanged(false);
}

void PairedDocument::setTexts(const QString &lyric, const QString &score)
{
    // Characters the texts would save differently are mapped now, the score
    // lines moving along, so the document pairs as it will after saving.
    const ScoreSyntax::NormalisedDocument normalised = ScoreSyntax::normaliseDocument(lyric, score);
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    // Setting plain text also clears each text's own history.
    m_lyric->setPlainText(normalised.lyric);
    m_score->setPlainText(normalised.score);
    // What the texts hold now is the baseline for the next edit.
    m_lyric->setModified(false);
    m_score->setModified(false);
    setLyricCursor(QTextCursor(m_lyric));
    setScoreCursor(QTextCursor(m_score));
    m_syncing = wasSyncing;
    // Commands of an earlier text would point into text that is gone.
    m_undoStack->clear();
}

PairedDocument::FileResult PairedDocument::load(const QString &path)
{
    const FileResult openError{false, tr("错误"), tr("打开文件时发生错误！")};
    QFile file(path);
    // The open comes first: a missing file with a wrong extension reports
    // the open error, not the type error.
    if (!file.open(QIODevice::ReadOnly))
        return openError;
    if (!ScoreFile::hasScoreExtension(path))
        return {false, ScoreFile::wrongTypeTitle(), ScoreFile::wrongTypeText()};
    const QByteArray bytes = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    const ScoreFile::Decoded decoded = ScoreFile::decode(bytes);
    // A damaged file is refused rather than opened half-empty, where the
    // next save would overwrite the original with what little was read.
    if (readFailed || !decoded.ok())
        return openError;

    setTexts(decoded.lyric, decoded.score);
    setFilePath(path);
    markSaved();
    return {true, QString(), QString()};
}

PairedDocument::FileResult PairedDocument::save(const QString &path, bool asCopy)
{
    // Bound before writing: a failed write keeps the new name and the
    // document stays modified.
    if (!asCopy)
        setFilePath(path);
    SafeWrite::Failure why;
    if (!ScoreFile::write(path, lyricText(), scoreText(), &why))
        return {false, tr("错误"), SafeWrite::message(tr("保存文件时发生错误"), why)};
    if (asCopy)
        return {true, tr("提示"), path + tr("保存成功！")};
    markSaved();
    return {true, QString(), QString()};
}

void PairedDocument::restoreContent(const QString &lyric, const QString &score, const QString &path)
{
    setTexts(lyric, score);
    if (!path.isEmpty())
        setFilePath(path);
    setModified(true);
}

LayoutItems PairedDocument::layoutItems() const
{
    return ScoreSyntax::layoutItems(DocumentLines(*m_lyric), DocumentLines(*m_score));
}
