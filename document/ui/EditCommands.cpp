#include "document/ui/EditCommands.h"

#include "document/ui/KelvoEdit.h"
#include "document/PairingIndex.h"
#include "document/ScoreSyntax.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QUndoStack>

namespace {

// Counts the undo steps a document gains while it lives. A document's own
// step count (availableUndoSteps) counts its internal records, not the
// steps undo() walks through, and an edit block that changes nothing adds
// no step at all; undoCommandAdded is emitted exactly once per real step.
class StepCounter
{
public:
    explicit StepCounter(QTextDocument *document)
    {
        m_connection = QObject::connect(document, &QTextDocument::undoCommandAdded,
                                        [this] { ++m_steps; });
    }
    ~StepCounter() { QObject::disconnect(m_connection); }
    StepCounter(const StepCounter &) = delete;
    StepCounter &operator=(const StepCounter &) = delete;

    int steps() const { return m_steps; }

private:
    QMetaObject::Connection m_connection;
    int m_steps = 0;
};

// Keeps `syncing` set for a scope; nested commands may clear it early, so
// the guard can set it again.
class SyncGuard
{
public:
    explicit SyncGuard(KelvoEdit *editor)
        : m_editor(editor)
    {
        m_editor->setSyncing(true);
    }
    ~SyncGuard() { m_editor->setSyncing(false); }
    void renew() { m_editor->setSyncing(true); }

private:
    KelvoEdit *m_editor;
};

// The text of the blocks first .. last joined by '\n': positions in it are
// document positions minus first's position.
QString blocksText(QTextBlock first, const QTextBlock &last)
{
    QString text;
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        text += b.text();
        if (b == last)
            break;
        text += QLatin1Char('\n');
    }
    return text;
}

// Drops the score lines of the characters that left a lyric span and adds
// empty ones for those that joined, all in one undo step of the score pane.
// `first` is the score line of the span's first paired character.
void applyScoreLineChanges(ScoreEdit *score, int first, const ScoreSyntax::ScoreLineChanges &changes)
{
    if (changes.isEmpty())
        return;
    QTextCursor block(score->document());
    block.beginEditBlock();
    // From the last to the first, so the earlier line numbers still hold.
    for (auto it = changes.crbegin(); it != changes.crend(); ++it) {
        score->removeLines(first + it->line, it->remove);
        score->insertEmptyLines(first + it->line, it->insert);
    }
    block.endEditBlock();
}

bool exactly(Qt::KeyboardModifiers modifiers, Qt::KeyboardModifiers wanted)
{
    return modifiers == wanted;
}

QString normaliseLineBreaks(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

} // namespace

// ---- Clipboard payload ------------------------------------------------------

namespace ScoreClipboard {

QByteArray encode(const QStringList &lyric, const QStringList &score)
{
    QJsonObject object;
    object.insert(QStringLiteral("lyric"), QJsonArray::fromStringList(lyric));
    object.insert(QStringLiteral("score"), QJsonArray::fromStringList(score));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool decode(const QByteArray &data, QStringList *lyric, QStringList *score)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QJsonValue lyricValue = object.value(QStringLiteral("lyric"));
    if (!lyricValue.isArray())
        return false;
    const QJsonArray lyricArray = lyricValue.toArray();
    const QJsonArray scoreArray = object.value(QStringLiteral("score")).toArray();
    lyric->clear();
    score->clear();
    for (qsizetype i = 0; i < lyricArray.size(); ++i) {
        lyric->append(lyricArray.at(i).toString());
        // Entry i is the notation of one paired character: one score line.
        score->append(i < scoreArray.size()
                          ? ScoreSyntax::singleScoreLine(scoreArray.at(i).toString())
                          : QString());
    }
    return true;
}

} // namespace ScoreClipboard

// ---- Base -------------------------------------------------------------------

EditCommand::EditCommand(KelvoEdit *editor)
    : editor(editor)
{
}

EditCommand::~EditCommand() = default;

bool EditCommand::pushIfEffective(KelvoEdit *editor, EditCommand *command)
{
    if (!command->isEffective()) {
        delete command;
        return false;
    }
    editor->undoStack()->push(command);
    return true;
}

void EditCommand::replayLyric(bool undo, int lyricSteps, int scoreSteps)
{
    {
        SyncGuard sync(editor);
        ScoreEdit *score = editor->scoreEdit();
        LyricEdit *lyric = editor->lyricEdit();
        for (int i = 0; i < scoreSteps; ++i)
            undo ? score->undo() : score->redo();
        for (int i = 0; i < lyricSteps; ++i)
            undo ? lyric->undo() : lyric->redo();
    }
    editor->lyricCursorPositionChanged();
}

void EditCommand::replayScore(bool undo)
{
    {
        SyncGuard sync(editor);
        undo ? editor->scoreEdit()->undo() : editor->scoreEdit()->redo();
    }
    // The pane reports a move only when the cursor's number changes: a
    // cursor that ends on the same number in another line (or that passed
    // other lines on the way) would leave the lyric cursor behind.
    editor->scoreCursorPositionChanged();
}

// ---- InsertLyricCommand -----------------------------------------------------

InsertLyricCommand::InsertLyricCommand(KelvoEdit *editor, const QString &text)
    : EditCommand(editor)
{
    if (text.isEmpty())
        return;
    LyricEdit *lyric = editor->lyricEdit();
    ScoreEdit *score = editor->scoreEdit();
    {
        SyncGuard sync(editor);
        if (lyric->textCursor().hasSelection()) {
            pushIfEffective(editor, new DeleteLyricCommand(editor, true, Qt::NoModifier));
            sync.renew();
        }
        QTextCursor cursor = lyric->textCursor();
        const QTextBlock block = cursor.block();
        const QString before = block.text();
        const int offset = cursor.position() - block.position();
        const int first = lyric->scoreLineAt(block.position()) + 1;

        StepCounter lyricCounter(lyric->document());
        cursor.beginEditBlock();
        // What enters the pane is what it will save.
        cursor.insertText(ScoreSyntax::normaliseText(text));
        cursor.endEditBlock();
        lyricSteps += lyricCounter.steps();
        lyric->setTextCursor(cursor);

        const QString after = blocksText(lyric->document()->findBlock(block.position()), cursor.block());
        StepCounter scoreCounter(score->document());
        applyScoreLineChanges(score, first,
                              ScoreSyntax::scoreLineChanges(before, after, offset,
                                                            int(before.size()) - offset));
        scoreSteps += scoreCounter.steps();
    }
    editor->lyricCursorPositionChanged();
}

void InsertLyricCommand::undo()
{
    replayLyric(true, lyricSteps, scoreSteps);
}

void InsertLyricCommand::redo()
{
    replayLyric(false, lyricSteps, scoreSteps);
}

// ---- DeleteLyricCommand -----------------------------------------------------

DeleteLyricCommand::DeleteLyricCommand(KelvoEdit *editor, bool backward,
                                       Qt::KeyboardModifiers modifiers)
    : EditCommand(editor)
{
    LyricEdit *lyric = editor->lyricEdit();
    ScoreEdit *score = editor->scoreEdit();
    QTextCursor cursor = lyric->textCursor();
    if (!cursor.hasSelection()) {
        const bool ctrl = exactly(modifiers, Qt::ControlModifier);
        if (backward)
            cursor.movePosition(ctrl ? QTextCursor::StartOfBlock : QTextCursor::PreviousCharacter,
                                QTextCursor::KeepAnchor);
        else
            cursor.movePosition(ctrl ? QTextCursor::EndOfBlock : QTextCursor::NextCharacter,
                                QTextCursor::KeepAnchor);
    }
    if (!cursor.hasSelection())
        return;
    {
        SyncGuard sync(editor);
        QTextDocument *document = lyric->document();
        const QTextBlock firstBlock = document->findBlock(cursor.selectionStart());
        const QString before = blocksText(firstBlock, document->findBlock(cursor.selectionEnd()));
        const int start = cursor.selectionStart() - firstBlock.position();
        const int end = cursor.selectionEnd() - firstBlock.position();
        const int first = lyric->scoreLineAt(firstBlock.position()) + 1;
        StepCounter lyricCounter(document);
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.endEditBlock();
        lyricSteps += lyricCounter.steps();
        lyric->setTextCursor(cursor);

        StepCounter scoreCounter(score->document());
        applyScoreLineChanges(score, first,
                              ScoreSyntax::scoreLineChanges(before, cursor.block().text(), start,
                                                            int(before.size()) - end));
        scoreSteps += scoreCounter.steps();
    }
    editor->lyricCursorPositionChanged();
}

void DeleteLyricCommand::undo()
{
    replayLyric(true, lyricSteps, scoreSteps);
}

void DeleteLyricCommand::redo()
{
    replayLyric(false, lyricSteps, scoreSteps);
}

// ---- PasteLyricCommand ------------------------------------------------------

PasteLyricCommand::PasteLyricCommand(KelvoEdit *editor)
    : EditCommand(editor)
{
    LyricEdit *lyric = editor->lyricEdit();
    if (lyric->textCursor().hasSelection())
        pushIfEffective(editor, new DeleteLyricCommand(editor, true, Qt::NoModifier));

    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (!mime)
        return;
    QStringList lyricEntries;
    QStringList scoreEntries;
    if (mime->hasFormat(QLatin1String(ScoreClipboard::MimeType))
        && ScoreClipboard::decode(mime->data(QLatin1String(ScoreClipboard::MimeType)),
                                  &lyricEntries, &scoreEntries)) {
        pasteStructured(lyricEntries, scoreEntries);
    } else if (mime->hasText()) {
        // A payload that cannot be read still carries its plain text.
        pushIfEffective(editor, new InsertLyricCommand(editor, mime->text()));
    }
}

void PasteLyricCommand::pasteStructured(const QStringList &lyricEntries,
                                        const QStringList &scoreEntries)
{
    LyricEdit *lyric = editor->lyricEdit();
    ScoreEdit *score = editor->scoreEdit();
    QTextCursor cursor = lyric->textCursor();
    QTextCursor scoreCursor = score->textCursor();
    scoreCursor.clearSelection();
    {
        SyncGuard sync(editor);
        StepCounter lyricCounter(lyric->document());
        StepCounter scoreCounter(score->document());
        // Score line of the last paired character before the cursor, kept
        // up to date while pasting: the pairing cache does not follow edits
        // inside an open edit block, and rescanning the whole text for each
        // pasted character would make big pastes quadratic.
        int lastPaired = lyric->scoreLineAt(cursor.position());

        cursor.beginEditBlock();
        scoreCursor.beginEditBlock();
        const bool wasMarkup = ScoreSyntax::isMarkupLine(cursor.block().text());
        const QString blockText = cursor.block().text();
        const QString tail = blockText.mid(cursor.positionInBlock());

        QTextDocument *scoreDocument = score->document();
        for (qsizetype i = 0; i < lyricEntries.size(); ++i) {
            const QString entry = ScoreSyntax::normaliseText(lyricEntries.at(i));
            bool firstPaired = true;
            // Character by character (a surrogate pair stays whole), so that
            // a foreign payload with several paired characters in one entry
            // still gets one score line for each of them.
            for (qsizetype j = 0; j < entry.size();) {
                const qsizetype n = entry.at(j).isHighSurrogate() && j + 1 < entry.size()
                        && entry.at(j + 1).isLowSurrogate()
                    ? 2
                    : 1;
                const QString piece = entry.mid(j, n);
                j += n;
                cursor.insertText(piece);
                if (n != 1 || !ScoreSyntax::isPairedCharacter(piece.at(0))
                    || ScoreSyntax::isMarkupLine(cursor.block().text()))
                    continue;
                ++lastPaired;
                const QString notation = firstPaired ? scoreEntries.value(i) : QString();
                firstPaired = false;
                const QTextBlock line = scoreDocument->findBlockByNumber(lastPaired);
                if (line.isValid()) {
                    scoreCursor.setPosition(line.position());
                    scoreCursor.insertText(notation + QLatin1Char('\n'));
                } else {
                    scoreCursor.movePosition(QTextCursor::End);
                    scoreCursor.insertText(QLatin1Char('\n') + notation);
                }
            }
        }

        const bool isMarkup = ScoreSyntax::isMarkupLine(cursor.block().text());
        if (isMarkup != wasMarkup) {
            const int h = ScoreSyntax::countPairedCharacters(tail);
            if (wasMarkup)
                score->insertEmptyLines(lastPaired + 1, h);
            else
                score->removeLines(lastPaired + 1, h);
        }
        scoreCursor.endEditBlock();
        cursor.endEditBlock();
        lyricSteps = lyricCounter.steps() > 0 ? 1 : 0;
        scoreSteps = scoreCounter.steps() > 0 ? 1 : 0;
        lyric->setTextCursor(cursor);
    }
    editor->lyricCursorPositionChanged();
}

void PasteLyricCommand::undo()
{
    replayLyric(true, lyricSteps, scoreSteps);
}

void PasteLyricCommand::redo()
{
    replayLyric(false, lyricSteps, scoreSteps);
}

// ---- InsertScoreCommand -----------------------------------------------------

InsertScoreCommand::InsertScoreCommand(KelvoEdit *editor, const QString &text,
                                       Qt::KeyboardModifiers modifiers)
    : EditCommand(editor)
{
    if (text.isEmpty())
        return;
    ScoreEdit *score = editor->scoreEdit();
    const int start = score->textCursor().selectionStart();
    if (score->textCursor().hasSelection())
        pushIfEffective(editor, new DeleteScoreCommand(editor, true, Qt::NoModifier));

    QTextCursor cursor = score->textCursor();
    StepCounter counter(score->document());
    cursor.beginEditBlock();
    cursor.setPosition(start);
    if (exactly(modifiers, Qt::ShiftModifier)) {
        cursor.insertText(text);
    } else {
        const QStringList parts = normaliseLineBreaks(text).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (!parts.at(i).isEmpty())
                cursor.insertText(parts.at(i));
            if (i + 1 < parts.size()) {
                const QTextBlock next = cursor.block().next();
                if (next.isValid())
                    cursor.setPosition(next.position());
            }
        }
    }
    cursor.endEditBlock();
    changed = counter.steps() > 0;
    score->setTextCursor(cursor);
}

void InsertScoreCommand::undo()
{
    replayScore(true);
}

void InsertScoreCommand::redo()
{
    replayScore(false);
}

// ---- DeleteScoreCommand -----------------------------------------------------

DeleteScoreCommand::DeleteScoreCommand(KelvoEdit *editor, bool backward,
                                       Qt::KeyboardModifiers modifiers)
    : EditCommand(editor)
{
    ScoreEdit *score = editor->scoreEdit();
    QTextCursor cursor = score->textCursor();
    const bool shift = exactly(modifiers, Qt::ShiftModifier);
    const bool ctrl = exactly(modifiers, Qt::ControlModifier);
    if (!cursor.hasSelection()) {
        if (backward) {
            if (shift) {
                cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
            } else if (cursor.atBlockStart()) {
                // Only moves: joining score lines would shift the pairing.
                cursor.movePosition(QTextCursor::PreviousCharacter);
                score->setTextCursor(cursor);
                return;
            } else {
                cursor.movePosition(ctrl ? QTextCursor::StartOfBlock : QTextCursor::PreviousCharacter,
                                    QTextCursor::KeepAnchor);
            }
        } else {
            if (shift) {
                cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
            } else if (cursor.atBlockEnd()) {
                cursor.movePosition(QTextCursor::NextCharacter);
                score->setTextCursor(cursor);
                return;
            } else {
                cursor.movePosition(ctrl ? QTextCursor::EndOfBlock : QTextCursor::NextCharacter,
                                    QTextCursor::KeepAnchor);
            }
        }
    }
    if (!cursor.hasSelection())
        return;

    StepCounter counter(score->document());
    if (shift) {
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.endEditBlock();
        changed = counter.steps() > 0;
        score->setTextCursor(cursor);
        return;
    }

    {
        SyncGuard sync(editor);
        const int position = cursor.position();
        const int anchor = cursor.anchor();
        QTextDocument *document = score->document();
        const int first = document->findBlock(cursor.selectionStart()).blockNumber();
        const int last = document->findBlock(cursor.selectionEnd()).blockNumber();
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        if (last > first)
            cursor.insertText(QString(last - first, QLatin1Char('\n')));
        cursor.endEditBlock();
        score->setTextCursor(cursor);
        changed = counter.steps() > 0;
        if (position < anchor) {
            cursor.setPosition(position);
            score->setTextCursor(cursor);
        }
    }
    editor->scoreCursorPositionChanged();
}

void DeleteScoreCommand::undo()
{
    replayScore(true);
}

void DeleteScoreCommand::redo()
{
    replayScore(false);
}

// ---- CopyLyricCommand -------------------------------------------------------

CopyLyricCommand::CopyLyricCommand(KelvoEdit *editor)
    : EditCommand(editor)
{
    const LyricEdit *lyric = editor->lyricEdit();
    const QTextCursor cursor = lyric->textCursor();
    if (!cursor.hasSelection())
        return;
    const QString plain = cursor.selectedText();
    const QTextDocument *document = lyric->document();
    const QTextDocument *scoreDocument = editor->scoreEdit()->document();
    const PairingIndex &pairing = lyric->pairingIndex();

    QStringList lyricEntries;
    QStringList scoreEntries;
    const int end = cursor.selectionEnd();
    QTextBlock block = document->findBlock(cursor.selectionStart());
    for (int c = cursor.selectionStart(); c < end;) {
        while (block.isValid() && c >= block.position() + block.length())
            block = block.next();
        QChar ch = document->characterAt(c);
        int n = 1;
        // A surrogate pair is one character: halves would not survive JSON.
        if (ch.isHighSurrogate() && c + 1 < end && document->characterAt(c + 1).isLowSurrogate())
            n = 2;
        QString text = n == 2 ? QString(ch) + document->characterAt(c + 1) : QString(ch);
        if (ch == QChar::ParagraphSeparator)
            text = QStringLiteral("\n");
        lyricEntries.append(text);
        if (n == 1 && ScoreSyntax::isPairedCharacter(ch) && block.isValid()
            && !ScoreSyntax::isMarkupLine(block.text())) {
            const QTextBlock line = scoreDocument->findBlockByNumber(pairing.scoreLineAt(c + 1));
            scoreEntries.append(line.isValid() ? line.text() : QString());
        } else {
            scoreEntries.append(QString());
        }
        c += n;
    }

    auto *mime = new QMimeData;
    mime->setData(QLatin1String(ScoreClipboard::MimeType),
                  ScoreClipboard::encode(lyricEntries, scoreEntries));
    mime->setText(plain);
    QGuiApplication::clipboard()->setMimeData(mime);
}
