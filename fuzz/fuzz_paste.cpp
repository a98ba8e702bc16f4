// SPDX-License-Identifier: GPL-3.0-or-later
// Structured paste into the lyric pane, then undo and redo. Input: either a
// payload on its own (starting with "{"; pasted at the end of an empty
// document), or three header bytes (document, cursor, anchor) followed by a
// payload, or by fields separated by U+001F alternating lyric and score
// entries (encoded as a payload here, so mutations reach the paste itself
// rather than the JSON parser).
//
// Invariants: the paste adds exactly one score line per paired character it
// adds (so score lines stay paired characters + 1); undo restores both texts
// exactly; redo gives the pasted texts again.

#include "FuzzSupport.h"

#include "document/EditCommands.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "document/Pairing.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextCursor>
#include <QUndoStack>

namespace {

// Documents as the editor builds them: one score line per paired
// character plus the trailing one.
struct Document
{
    const char16_t *lyric;
    const char16_t *score;
};
const Document documents[] = {
    {u"", u""},
    {u"好人们\n月", u"A\nB\nC\nD\n"},
    {u"# 标题\n【曲牌名】(调)\n春 风，\n> 白\n花", u"a\nb\nc\nd\n"},
};

int pairedCount(const KelvoEdit &edit)
{
    return ScoreSyntax::pairedCount(DocumentLines(*edit.lyricEdit()->document()));
}

int scoreLines(const KelvoEdit &edit)
{
    return edit.scoreEdit()->document()->blockCount();
}

QString state(const KelvoEdit &edit)
{
    return QStringLiteral("lyric \"%1\" score \"%2\"")
        .arg(edit.lyricEdit()->toPlainText(), edit.scoreEdit()->toPlainText());
}


} // namespace

KELVO_FUZZ_TARGET(paste)
{
    // Editing cost grows with the text; long inputs find nothing new.
    if (size > 4096)
        return 0;
    Fuzz::init();
    static KelvoEdit *edit = new KelvoEdit; // one editor for the whole run

    Fuzz::Reader reader(data, size);
    const Document *document = &documents[0];
    int position = -1;
    int anchor = -1;
    QByteArray payload;
    if (size > 0 && data[0] == '{') {
        payload = Fuzz::bytes(data, size);
    } else {
        document = &documents[reader.byte() % std::size(documents)];
        position = reader.byte();
        anchor = reader.byte();
        payload = reader.rest();
        if (!payload.startsWith('{')) {
            const QStringList fields = QString::fromUtf8(payload).split(QChar(0x1F));
            QStringList lyric;
            QStringList score;
            for (qsizetype i = 0; i < fields.size(); ++i)
                (i % 2 == 0 ? lyric : score).append(fields.at(i));
            payload = ScoreClipboard::encode(lyric, score);
        }
    }

    edit->lyricEdit()->setPlainText(QString::fromUtf16(document->lyric));
    edit->scoreEdit()->setPlainText(QString::fromUtf16(document->score));
    edit->document()->undoStack()->clear();
    QTextCursor cursor = edit->lyricEdit()->textCursor();
    const int end = edit->lyricEdit()->document()->characterCount() - 1;
    if (position < 0) {
        cursor.movePosition(QTextCursor::End);
    } else {
        cursor.setPosition(anchor % (end + 1));
        cursor.setPosition(position % (end + 1), QTextCursor::KeepAnchor);
    }
    edit->lyricEdit()->setTextCursor(cursor);

    QMimeData mime;
    mime.setData(QLatin1String(ScoreClipboard::MimeType), payload);
    mime.setText(QStringLiteral("x"));

    const QString lyricBefore = edit->lyricEdit()->toPlainText();
    const QString scoreBefore = edit->scoreEdit()->toPlainText();
    const int pairedBefore = pairedCount(*edit);
    const int linesBefore = scoreLines(*edit);
    FUZZ_CHECK(linesBefore == pairedBefore + 1, state(*edit));

    EditCommand::pushIfEffective(edit->document(), new PasteLyricCommand(edit->document(), &mime));

    const QString lyricAfter = edit->lyricEdit()->toPlainText();
    const QString scoreAfter = edit->scoreEdit()->toPlainText();
    FUZZ_CHECK(scoreLines(*edit) - linesBefore == pairedCount(*edit) - pairedBefore,
               state(*edit));

    QUndoStack *stack = edit->document()->undoStack();
    const int steps = stack->count();
    for (int i = 0; i < steps; ++i)
        stack->undo();
    FUZZ_CHECK(edit->lyricEdit()->toPlainText() == lyricBefore, state(*edit));
    FUZZ_CHECK(edit->scoreEdit()->toPlainText() == scoreBefore, state(*edit));
    for (int i = 0; i < steps; ++i)
        stack->redo();
    FUZZ_CHECK(edit->lyricEdit()->toPlainText() == lyricAfter, state(*edit));
    FUZZ_CHECK(edit->scoreEdit()->toPlainText() == scoreAfter, state(*edit));
    return 0;
}
