// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUndoCommand>

#include <memory>

class PairedDocument;
class QMimeData;
class QUndoStack;

// The structured clipboard payload of a lyric copy: one entry per copied
// character position ("\n" for a line break) and, beside it, the notation
// of that character when it is a paired one (else "").
namespace ScoreClipboard {

inline constexpr char MimeType[] = "application/x-lyric-score-format";

// Indented JSON: {"lyric": [...], "score": [...]}.
QByteArray encode(const QStringList &lyric, const QStringList &score);

// False when the data is not a JSON object with a "lyric" array; the
// caller then falls back to the plain text. A missing or short "score"
// array and non-string elements read as empty strings, so `score` always
// ends up as long as `lyric`. Each notation comes out as a single line
// (ScoreSyntax::singleScoreLine).
bool decode(const QByteArray &data, QStringList *lyric, QStringList *score);

// The lyric selection with its notation as clipboard data (the payload and
// the plain text); null without a selection. The view puts it on the
// clipboard.
std::unique_ptr<QMimeData> lyricSelection(const PairedDocument *document);

} // namespace ScoreClipboard

// An edit of a document. Each command applies its change while it is
// constructed, inside edit blocks of the two texts, at the document's
// cursors, and remembers how many undo steps it left in each text's own
// history; undo and redo replay exactly that many steps. Where the cursors
// end up is left in the document's cursors (views follow them). The caller
// pushes it only if isEffective().
class EditCommand : public QUndoCommand
{
public:
    explicit EditCommand(PairedDocument *document);
    ~EditCommand() override;

    virtual bool isEffective() const = 0;

    // Pushes the command on the document's stack if it changed something,
    // else deletes it. True when pushed.
    static bool pushIfEffective(PairedDocument *document, EditCommand *command);

protected:
    // Score text first, then the lyric text, both with syncing held; then
    // the lyric cursor is mirrored once.
    void replayLyric(bool undo, int lyricSteps, int scoreSteps);
    // The score text with syncing held; then the score cursor is mirrored
    // once.
    void replayScore(bool undo);

    PairedDocument *document;

private:
    // The redo that pushing runs finds the change applied and the cursors
    // where the constructor left them.
    bool m_pushing = true;
};

// An edit of the lyric text with the score lines it adds or removes: undo
// and redo replay the steps it counted in each text.
class LyricEditCommand : public EditCommand
{
public:
    void undo() override { replayLyric(true, lyricSteps, scoreSteps); }
    void redo() override { replayLyric(false, lyricSteps, scoreSteps); }
    bool isEffective() const override { return lyricSteps + scoreSteps > 0; }

    int lyricStepCount() const { return lyricSteps; }
    int scoreStepCount() const { return scoreSteps; }

protected:
    using EditCommand::EditCommand;

    int lyricSteps = 0;
    int scoreSteps = 0;
};

// An edit of the score text alone: one step of it.
class ScoreEditCommand : public EditCommand
{
public:
    void undo() override { replayScore(true); }
    void redo() override { replayScore(false); }
    bool isEffective() const override { return changed; }

protected:
    using EditCommand::EditCommand;

    bool changed = false;
};

// Text typed or pasted as plain text into the lyric text, with the score
// lines its paired characters need (or no longer need).
class InsertLyricCommand : public LyricEditCommand
{
public:
    InsertLyricCommand(PairedDocument *document, const QString &text);

};

// Backspace (backward) or Delete in the lyric text; exactly Ctrl reaches to
// the line's start or end. Removes the score lines of the removed paired
// characters.
class DeleteLyricCommand : public LyricEditCommand
{
public:
    DeleteLyricCommand(PairedDocument *document, bool backward, Qt::KeyboardModifiers modifiers);

};

// A paste into the lyric text. With the structured payload the copied
// notation comes along; otherwise the plain text is inserted.
class PasteLyricCommand : public LyricEditCommand
{
public:
    // data: what the clipboard holds (null, or without text: nothing is
    // pasted and a selection stays).
    PasteLyricCommand(PairedDocument *document, const QMimeData *data);

private:
    void pasteStructured(const QStringList &lyric, const QStringList &score);
};

// Text inserted into the score text. Except with exactly Shift a line
// break moves to the next existing score line instead of creating one.
class InsertScoreCommand : public ScoreEditCommand
{
public:
    InsertScoreCommand(PairedDocument *document, const QString &text, Qt::KeyboardModifiers modifiers);
};

// Backspace (backward) or Delete in the score text. Except with exactly
// Shift the number of score lines never changes.
class DeleteScoreCommand : public ScoreEditCommand
{
public:
    DeleteScoreCommand(PairedDocument *document, bool backward, Qt::KeyboardModifiers modifiers);
};

