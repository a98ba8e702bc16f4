// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/EditCommands.h"

#include "document/PairedDocument.h"
#include "document/PairingIndex.h"
#include "document/Pairing.h"
#include "document/TextNormalisation.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QUndoStack>

#include <utility>

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
    explicit SyncGuard(PairedDocument *document)
        : m_document(document)
    {
        m_document->setSyncing(true);
    }
    ~SyncGuard() { m_document->setSyncing(false); }
    void renew() { m_document->setSyncing(true); }

private:
    PairedDocument *m_document;
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
// empty ones for those that joined, all in one undo step of the score text.
// `first` is the score line of the span's first paired character.
void applyScoreLineChanges(PairedDocument *document, int first,
                           const ScoreSyntax::ScoreLineChanges &changes)
{
    if (changes.isEmpty())
        return;
    QTextCursor block(document->scoreDocument());
    block.beginEditBlock();
    // From the last to the first, so the earlier line numbers still hold.
    for (auto it = changes.crbegin(); it != changes.crend(); ++it) {
        document->removeLines(first + it->line, it->remove);
        document->insertEmptyLines(first + it->line, it->insert);
    }
    block.endEditBlock();
}

bool exactly(Qt::KeyboardModifiers modifiers, Qt::KeyboardModifiers wanted)
{
    return modifiers == wanted;
}

// Leaves the score cursor at `cursor`; when the command moved it away from
// `before`, the lyric cursor follows, as it does after a move by the user.
void placeScoreCursor(PairedDocument *document, const QTextCursor &cursor, int before)
{
    {
        SyncGuard sync(document);
        document->setScoreCursor(cursor);
    }
    if (cursor.position() != before)
        document->mirrorScoreCursor();
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

EditCommand::EditCommand(PairedDocument *document)
    : document(document)
{
}

EditCommand::~EditCommand() = default;

bool EditCommand::pushIfEffective(PairedDocument *document, EditCommand *command)
{
    if (!command->isEffective()) {
        delete command;
        return false;
    }
    document->undoStack()->push(command);
    return true;
}

void EditCommand::replayLyric(bool undo, int lyricSteps, int scoreSteps)
{
    const bool pushing = std::exchange(m_pushing, false);
    if (pushing && !undo)
        return;
    {
        SyncGuard sync(document);
        // Each text's own undo puts the cursor where the step changed it.
        if (scoreSteps > 0) {
            QTextCursor score = document->scoreCursor();
            for (int i = 0; i < scoreSteps; ++i)
                undo ? document->scoreDocument()->undo(&score) : document->scoreDocument()->redo(&score);
            document->setScoreCursor(score);
        }
        if (lyricSteps > 0) {
            QTextCursor lyric = document->lyricCursor();
            for (int i = 0; i < lyricSteps; ++i)
                undo ? document->lyricDocument()->undo(&lyric) : document->lyricDocument()->redo(&lyric);
            document->setLyricCursor(lyric);
        }
    }
    document->mirrorLyricCursor();
}

void EditCommand::replayScore(bool undo)
{
    {
        SyncGuard sync(document);
        QTextCursor score = document->scoreCursor();
        undo ? document->scoreDocument()->undo(&score) : document->scoreDocument()->redo(&score);
        document->setScoreCursor(score);
    }
    // Mirrored here, not left to a view's cursor signal: that comes only
    // when the cursor's number changes, and a cursor that ends on the same
    // number in another line (or that passed other lines on the way) would
    // leave the lyric cursor behind.
    document->mirrorScoreCursor();
}

// ---- InsertLyricCommand -----------------------------------------------------

InsertLyricCommand::InsertLyricCommand(PairedDocument *document, const QString &text)
    : LyricEditCommand(document)
{
    if (text.isEmpty())
        return;
    {
        SyncGuard sync(document);
        if (document->lyricCursor().hasSelection()) {
            pushIfEffective(document, new DeleteLyricCommand(document, true, Qt::NoModifier));
            sync.renew();
        }
        QTextCursor cursor = document->lyricCursor();
        const QTextBlock block = cursor.block();
        const QString before = block.text();
        const int offset = cursor.position() - block.position();
        const int first = document->scoreLineAt(block.position()) + 1;

        StepCounter lyricCounter(document->lyricDocument());
        cursor.beginEditBlock();
        // What enters the text is what it will save.
        cursor.insertText(ScoreSyntax::normaliseText(text));
        cursor.endEditBlock();
        lyricSteps += lyricCounter.steps();
        document->setLyricCursor(cursor);

        const QString after =
            blocksText(document->lyricDocument()->findBlock(block.position()), cursor.block());
        StepCounter scoreCounter(document->scoreDocument());
        applyScoreLineChanges(document, first,
                              ScoreSyntax::scoreLineChanges(before, after, offset,
                                                            int(before.size()) - offset));
        scoreSteps += scoreCounter.steps();
    }
    document->mirrorLyricCursor();
}

// ---- DeleteLyricCommand -----------------------------------------------------

DeleteLyricCommand::DeleteLyricCommand(PairedDocument *document, bool backward,
                                       Qt::KeyboardModifiers modifiers)
    : LyricEditCommand(document)
{
    QTextCursor cursor = document->lyricCursor();
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
        SyncGuard sync(document);
        QTextDocument *lyric = document->lyricDocument();
        const QTextBlock firstBlock = lyric->findBlock(cursor.selectionStart());
        const QString before = blocksText(firstBlock, lyric->findBlock(cursor.selectionEnd()));
        const int start = cursor.selectionStart() - firstBlock.position();
        const int end = cursor.selectionEnd() - firstBlock.position();
        const int first = document->scoreLineAt(firstBlock.position()) + 1;
        StepCounter lyricCounter(lyric);
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.endEditBlock();
        lyricSteps += lyricCounter.steps();
        document->setLyricCursor(cursor);

        StepCounter scoreCounter(document->scoreDocument());
        applyScoreLineChanges(document, first,
                              ScoreSyntax::scoreLineChanges(before, cursor.block().text(), start,
                                                            int(before.size()) - end));
        scoreSteps += scoreCounter.steps();
    }
    document->mirrorLyricCursor();
}

// ---- PasteLyricCommand ------------------------------------------------------

PasteLyricCommand::PasteLyricCommand(PairedDocument *document, const QMimeData *mime)
    : LyricEditCommand(document)
{
    // A clipboard without text holds nothing a user would see pasted.
    if (!mime || mime->text().isEmpty())
        return;
    if (document->lyricCursor().hasSelection())
        pushIfEffective(document, new DeleteLyricCommand(document, true, Qt::NoModifier));

    QStringList lyricEntries;
    QStringList scoreEntries;
    if (mime->hasFormat(QLatin1String(ScoreClipboard::MimeType))
        && ScoreClipboard::decode(mime->data(QLatin1String(ScoreClipboard::MimeType)),
                                  &lyricEntries, &scoreEntries)) {
        pasteStructured(lyricEntries, scoreEntries);
    } else if (mime->hasText()) {
        // A payload that cannot be read still carries its plain text.
        pushIfEffective(document, new InsertLyricCommand(document, mime->text()));
    }
}

void PasteLyricCommand::pasteStructured(const QStringList &lyricEntries,
                                        const QStringList &scoreEntries)
{
    QTextCursor cursor = document->lyricCursor();
    QTextCursor scoreCursor = document->scoreCursor();
    scoreCursor.clearSelection();
    {
        SyncGuard sync(document);
        StepCounter lyricCounter(document->lyricDocument());
        StepCounter scoreCounter(document->scoreDocument());
        // Score line of the last paired character before the cursor, kept
        // up to date while pasting: the pairing cache does not follow edits
        // inside an open edit block, and rescanning the whole text for each
        // pasted character would make big pastes quadratic.
        int lastPaired = document->scoreLineAt(cursor.position());

        cursor.beginEditBlock();
        scoreCursor.beginEditBlock();
        const bool wasMarkup = ScoreSyntax::isMarkupLine(cursor.block().text());
        const QString blockText = cursor.block().text();
        const QString tail = blockText.mid(cursor.positionInBlock());

        QTextDocument *scoreDocument = document->scoreDocument();
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
                document->insertEmptyLines(lastPaired + 1, h);
            else
                document->removeLines(lastPaired + 1, h);
        }
        scoreCursor.endEditBlock();
        cursor.endEditBlock();
        lyricSteps = lyricCounter.steps() > 0 ? 1 : 0;
        scoreSteps = scoreCounter.steps() > 0 ? 1 : 0;
        document->setLyricCursor(cursor);
    }
    document->mirrorLyricCursor();
}

// ---- InsertScoreCommand -----------------------------------------------------

InsertScoreCommand::InsertScoreCommand(PairedDocument *document, const QString &text,
                                       Qt::KeyboardModifiers modifiers)
    : ScoreEditCommand(document)
{
    if (text.isEmpty())
        return;
    const int start = document->scoreCursor().selectionStart();
    if (document->scoreCursor().hasSelection())
        pushIfEffective(document, new DeleteScoreCommand(document, true, Qt::NoModifier));

    QTextCursor cursor = document->scoreCursor();
    const int before = cursor.position();
    StepCounter counter(document->scoreDocument());
    {
        // Held while editing: the lyric cursor follows once, at the end.
        SyncGuard sync(document);
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
    }
    changed = counter.steps() > 0;
    placeScoreCursor(document, cursor, before);
}

// ---- DeleteScoreCommand -----------------------------------------------------

DeleteScoreCommand::DeleteScoreCommand(PairedDocument *document, bool backward,
                                       Qt::KeyboardModifiers modifiers)
    : ScoreEditCommand(document)
{
    QTextCursor cursor = document->scoreCursor();
    const int before = cursor.position();
    const bool shift = exactly(modifiers, Qt::ShiftModifier);
    const bool ctrl = exactly(modifiers, Qt::ControlModifier);
    if (!cursor.hasSelection()) {
        if (backward) {
            if (shift) {
                cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
            } else if (cursor.atBlockStart()) {
                // Only moves: joining score lines would shift the pairing.
                cursor.movePosition(QTextCursor::PreviousCharacter);
                placeScoreCursor(document, cursor, before);
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
                placeScoreCursor(document, cursor, before);
                return;
            } else {
                cursor.movePosition(ctrl ? QTextCursor::EndOfBlock : QTextCursor::NextCharacter,
                                    QTextCursor::KeepAnchor);
            }
        }
    }
    if (!cursor.hasSelection())
        return;

    StepCounter counter(document->scoreDocument());
    if (shift) {
        {
            SyncGuard sync(document);
            cursor.beginEditBlock();
            cursor.removeSelectedText();
            cursor.endEditBlock();
        }
        changed = counter.steps() > 0;
        placeScoreCursor(document, cursor, before);
        return;
    }

    {
        SyncGuard sync(document);
        const int position = cursor.position();
        const int anchor = cursor.anchor();
        QTextDocument *score = document->scoreDocument();
        const int first = score->findBlock(cursor.selectionStart()).blockNumber();
        const int last = score->findBlock(cursor.selectionEnd()).blockNumber();
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        if (last > first)
            cursor.insertText(QString(last - first, QLatin1Char('\n')));
        cursor.endEditBlock();
        document->setScoreCursor(cursor);
        changed = counter.steps() > 0;
        if (position < anchor) {
            cursor.setPosition(position);
            document->setScoreCursor(cursor);
        }
    }
    document->mirrorScoreCursor();
}

// ---- Copying a lyric selection ---------------------------------------------

std::unique_ptr<QMimeData> ScoreClipboard::lyricSelection(const PairedDocument *document)
{
    const QTextCursor cursor = document->lyricCursor();
    if (!cursor.hasSelection())
        return nullptr;
    const QString plain = cursor.selectedText();
    const QTextDocument *lyric = document->lyricDocument();
    const QTextDocument *scoreDocument = document->scoreDocument();
    const PairingIndex &pairing = document->pairing();

    QStringList lyricEntries;
    QStringList scoreEntries;
    const int end = cursor.selectionEnd();
    QTextBlock block = lyric->findBlock(cursor.selectionStart());
    for (int c = cursor.selectionStart(); c < end;) {
        while (block.isValid() && c >= block.position() + block.length())
            block = block.next();
        QChar ch = lyric->characterAt(c);
        int n = 1;
        // A surrogate pair is one character: halves would not survive JSON.
        if (ch.isHighSurrogate() && c + 1 < end && lyric->characterAt(c + 1).isLowSurrogate())
            n = 2;
        QString text = n == 2 ? QString(ch) + lyric->characterAt(c + 1) : QString(ch);
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

    auto mime = std::make_unique<QMimeData>();
    mime->setData(QLatin1String(ScoreClipboard::MimeType),
                  ScoreClipboard::encode(lyricEntries, scoreEntries));
    mime->setText(plain);
    return mime;
}
