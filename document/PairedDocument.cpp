// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/PairedDocument.h"

#include "document/PairingIndex.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "document/TextNormalisation.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextDocument>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>

namespace {

const QString Untitled = QStringLiteral("未命名");

// Whether cursor works on text. A null cursor (a pane has one while its text
// is being replaced) has no document to ask: QTextCursor::document() would
// dereference nothing.
bool isOn(const QTextCursor &cursor, const QTextDocument *text)
{
    return !cursor.isNull() && cursor.document() == text;
}

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

// The texts of the bound file read again in place of the user's: one undo
// step, so that a reload never loses the user's text for good. Like the
// edit commands it edits while it is built and then replays the texts' own
// histories (a first redo finds nothing to redo).
class ReloadCommand : public QUndoCommand
{
public:
    ReloadCommand(PairedDocument *document, const QString &lyric, const QString &score)
        : QUndoCommand(QObject::tr("重新载入"))
        , m_document(document)
    {
        m_lyricBefore = document->lyricCursor().position();
        m_scoreBefore = document->scoreCursor().position();
        const bool wasSyncing = document->isSyncing();
        document->setSyncing(true);
        m_scoreChanged = replace(document->scoreDocument(), document->scoreText(), score);
        m_lyricChanged = replace(document->lyricDocument(), document->lyricText(), lyric);
        // Where a freshly opened file puts them.
        document->setLyricCursor(QTextCursor(document->lyricDocument()));
        document->setScoreCursor(QTextCursor(document->scoreDocument()));
        document->setSyncing(wasSyncing);
        document->mirrorLyricCursor();
    }

    bool changedAnything() const { return m_lyricChanged || m_scoreChanged; }

    void undo() override { replay(true); }
    void redo() override { replay(false); }

private:
    static bool replace(QTextDocument *text, const QString &now, const QString &next)
    {
        if (now == next)
            return false;
        QTextCursor cursor(text);
        cursor.beginEditBlock();
        cursor.select(QTextCursor::Document);
        cursor.insertText(next);
        cursor.endEditBlock();
        return true;
    }

    void replay(bool undo)
    {
        const bool wasSyncing = m_document->isSyncing();
        m_document->setSyncing(true);
        // The cursors go back where the user had them, or to the start as
        // after the reload, not where the texts' own undo leaves them (the
        // end of everything).
        auto step = [undo](QTextDocument *text, bool changed, int position) {
            QTextCursor cursor(text);
            if (changed)
                undo ? text->undo(&cursor) : text->redo(&cursor);
            cursor.setPosition(undo ? std::min(position, text->characterCount() - 1) : 0);
            return cursor;
        };
        m_document->setScoreCursor(step(m_document->scoreDocument(), m_scoreChanged, m_scoreBefore));
        m_document->setLyricCursor(step(m_document->lyricDocument(), m_lyricChanged, m_lyricBefore));
        m_document->setSyncing(wasSyncing);
        m_document->mirrorLyricCursor();
    }

    PairedDocument *m_document;
    int m_lyricBefore = 0;
    int m_scoreBefore = 0;
    bool m_lyricChanged = false;
    bool m_scoreChanged = false;
};

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
    if (isOn(cursor, m_lyric))
        m_lyricCursor = cursor;
    emit lyricCursorChanged();
}

void PairedDocument::setScoreCursor(const QTextCursor &cursor)
{
    if (isOn(cursor, m_score))
        m_scoreCursor = cursor;
    emit scoreCursorChanged();
}

void PairedDocument::adoptCursors(const QTextCursor &lyric, const QTextCursor &score)
{
    if (isOn(lyric, m_lyric))
        m_lyricCursor = lyric;
    if (isOn(score, m_score))
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

PairedDocument::FileResult PairedDocument::readFile(const QString &path, QByteArray *bytes,
                                                    ScoreFile::Decoded *decoded)
{
    const FileResult openError{false, tr("错误"), tr("打开文件时发生错误！")};
    QFile file(path);
    // The open comes first: a missing file with a wrong extension reports
    // the open error, not the type error.
    if (!file.open(QIODevice::ReadOnly))
        return openError;
    if (!ScoreFile::hasScoreExtension(path))
        return {false, ScoreFile::wrongTypeTitle(), ScoreFile::wrongTypeText()};
    *bytes = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    *decoded = ScoreFile::decode(*bytes);
    // A damaged file is refused rather than opened half-empty, where the
    // next save would overwrite the original with what little was read.
    if (readFailed || !decoded->ok())
        return openError;
    return {true, QString(), QString()};
}

PairedDocument::FileResult PairedDocument::load(const QString &path)
{
    QByteArray bytes;
    ScoreFile::Decoded decoded;
    const FileResult result = readFile(path, &bytes, &decoded);
    if (!result.ok)
        return result;

    setTexts(decoded.lyric, decoded.score);
    // Absolute from the start: the folder the program was started in must
    // not decide later which file a save or a recovery writes.
    setFilePath(QFileInfo(path).absoluteFilePath());
    stampDisk(FileStamp::ofBytes(bytes));
    markSaved();
    return result;
}

PairedDocument::FileResult PairedDocument::reload()
{
    QByteArray bytes;
    ScoreFile::Decoded decoded;
    const FileResult result = readFile(m_filePath, &bytes, &decoded);
    if (!result.ok)
        return result;

    const ScoreSyntax::NormalisedDocument normalised =
        ScoreSyntax::normaliseDocument(decoded.lyric, decoded.score);
    auto *command = new ReloadCommand(this, normalised.lyric, normalised.score);
    if (command->changedAnything())
        m_undoStack->push(command);
    else
        delete command;
    stampDisk(FileStamp::ofBytes(bytes));
    markSaved();
    return result;
}

PairedDocument::FileResult PairedDocument::save(const QString &path, bool asCopy)
{
    // Bound before writing: a failed write keeps the new name and the
    // document stays modified.
    if (!asCopy)
        setFilePath(QFileInfo(path).absoluteFilePath());
    const QByteArray bytes = ScoreFile::encode(lyricText(), scoreText());
    SafeWrite::Failure why;
    if (!ScoreFile::write(path, bytes, &why))
        return {false, tr("错误"), SafeWrite::message(tr("保存文件时发生错误"), why)};
    // A copy written over the bound file is this document's version too.
    if (!asCopy || QFileInfo(path) == QFileInfo(m_filePath))
        stampDisk(FileStamp::ofBytes(bytes));
    if (asCopy)
        return {true, tr("提示"), path + tr("保存成功！")};
    markSaved();
    return {true, QString(), QString()};
}

void PairedDocument::restoreContent(const QString &lyric, const QString &score, const QString &path)
{
    setTexts(lyric, score);
    // A relative path (kept by older versions) cannot say which folder it
    // meant: binding it could overwrite another file of that name.
    if (QFileInfo(path).isAbsolute()) {
        setFilePath(QFileInfo(path).absoluteFilePath());
        // The recovered texts are the user's own version; what the file
        // holds now is the one a later outside change is measured against.
        stampDisk(FileStamp::ofFile(path));
    }
    setModified(true);
}

void PairedDocument::stampDisk(const FileStamp &stamp)
{
    m_diskStamp = stamp;
    m_stampedPath = m_filePath;
    m_keptOver = FileStamp();
    m_lastSeen = stamp;
    emit diskStampChanged();
}

PairedDocument::OutsideChange PairedDocument::outsideChange() const
{
    if (!m_diskStamp.known || isUntitled() || m_stampedPath != m_filePath)
        return OutsideChange::None;
    m_lastSeen = FileStamp::ofFile(m_filePath, m_diskStamp);
    if (m_lastSeen.sameAs(m_diskStamp) || m_lastSeen.sameAs(m_keptOver))
        return OutsideChange::None;
    return m_lastSeen.exists ? OutsideChange::Modified : OutsideChange::Deleted;
}

void PairedDocument::keepOwnVersion()
{
    m_keptOver = m_lastSeen;
}

LayoutItems PairedDocument::layoutItems() const
{
    return ScoreSyntax::layoutItems(DocumentLines(*m_lyric), DocumentLines(*m_score));
}
