// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/ui/KelvoEdit.h"

#include "document/EditCommands.h"
#include "document/PairedDocument.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "input/ui/InputMethod.h"
#include "ui_KelvoEdit.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QUndoStack>

#include <algorithm>
#include <memory>

namespace {

// The keypad flag says where a key sits, not how it was meant; "exactly
// Ctrl" must hold for the keypad's keys too.
Qt::KeyboardModifiers modifiersOf(const QKeyEvent *event)
{
    return event->modifiers() & ~Qt::KeypadModifier;
}

bool startsPrintable(const QString &text)
{
    if (text.isEmpty())
        return false;
    return QChar::isPrint(text.toUcs4().value(0));
}

// Ctrl (without the Alt that AltGr brings along) or Meta make a key a
// shortcut even where the platform still reports a printable text for it.
bool isTyping(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers & Qt::MetaModifier)
        return false;
    return !(modifiers & Qt::ControlModifier) || (modifiers & Qt::AltModifier);
}

bool isReturn(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

KelvoEdit::KelvoEdit(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::KelvoEdit)
    , m_document(nullptr)
    , m_navigationKeys({Qt::Key_Comma, Qt::Key_Period, Qt::Key_Escape, Qt::Key_Backspace,
                        Qt::Key_Delete, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down})
{
    ui->setupUi(this);
    // Created after the panes, so that it is destroyed after them: they show
    // its texts until they go.
    m_document = new PairedDocument(this);
    ui->lyricEdit->setPairedDocument(m_document);
    ui->scoreEdit->setPairedDocument(m_document);
    QUndoStack *stack = m_document->undoStack();

    for (QPlainTextEdit *pane : {static_cast<QPlainTextEdit *>(ui->lyricEdit),
                                 static_cast<QPlainTextEdit *>(ui->scoreEdit)}) {
        pane->installEventFilter(this);
        // The text areas get the menu and middle-button handling below, so
        // that no edit reaches a document past the undo stack.
        pane->viewport()->installEventFilter(this);
        pane->setAcceptDrops(false);
        pane->viewport()->setAcceptDrops(false);
        connect(pane, &QPlainTextEdit::selectionChanged, this, &KelvoEdit::adoptPaneCursors);
    }

    ui->redoAction->setEnabled(false);
    emit canRedoChanged(false);
    ui->undoAction->setEnabled(false);
    emit canUndoChanged(false);

    // A lyric edit shifts the score pane's labels from its line's first
    // paired character on; new formats shift nothing.
    connect(m_document->lyricDocument(), &QTextDocument::contentsChange, this,
            [this, revision = -1](int position) mutable {
                const QTextDocument *lyric = m_document->lyricDocument();
                if (lyric->revision() == revision)
                    return;
                revision = lyric->revision();
                m_document->markModifiedIfEdited();
                const int lineStart = lyric->findBlock(position).position();
                ui->scoreEdit->updateLineNumberAreaFrom(m_document->scoreLineAt(lineStart) + 1);
            });
    connect(ui->lyricEdit, &QPlainTextEdit::cursorPositionChanged, this,
            &KelvoEdit::lyricCursorPositionChanged);
    connect(ui->scoreEdit, &QPlainTextEdit::textChanged, this, &KelvoEdit::onScoreTextChanged);
    connect(ui->scoreEdit, &QPlainTextEdit::cursorPositionChanged, this,
            &KelvoEdit::scoreCursorPositionChanged);
    connect(ui->undoAction, &QAction::triggered, stack, &QUndoStack::undo);
    connect(ui->redoAction, &QAction::triggered, stack, &QUndoStack::redo);
    connect(ui->cutAction, &QAction::triggered, this, &KelvoEdit::cut);
    connect(ui->copyAction, &QAction::triggered, this, &KelvoEdit::copy);
    connect(ui->pasteAction, &QAction::triggered, this, &KelvoEdit::paste);
    connect(stack, &QUndoStack::canUndoChanged, this, &KelvoEdit::onCanUndoChanged);
    connect(stack, &QUndoStack::canRedoChanged, this, &KelvoEdit::onCanRedoChanged);

    // The document moves its cursors while editing: the panes follow.
    connect(m_document, &PairedDocument::lyricCursorChanged, this,
            [this] { ui->lyricEdit->setTextCursor(m_document->lyricCursor()); });
    connect(m_document, &PairedDocument::scoreCursorChanged, this,
            [this] { ui->scoreEdit->setTextCursor(m_document->scoreCursor()); });
    connect(m_document, &PairedDocument::lyricCursorMirrored, this, &KelvoEdit::highlightLyricPairing);
    connect(m_document, &PairedDocument::scoreCursorMirrored, this, &KelvoEdit::highlightScorePairing);
    connect(m_document, &PairedDocument::modifiedChanged, this, &KelvoEdit::modifiedChanged);
    setUpFileWatch();

    lyricCursorPositionChanged();
}

KelvoEdit::~KelvoEdit()
{
    // The panes and the document outlive this body (QWidget deletes its
    // children later): nothing of theirs may reach this editor any more.
    for (QPlainTextEdit *pane : {static_cast<QPlainTextEdit *>(ui->lyricEdit),
                                 static_cast<QPlainTextEdit *>(ui->scoreEdit)}) {
        pane->removeEventFilter(this);
        pane->viewport()->removeEventFilter(this);
        disconnect(pane, nullptr, this, nullptr);
    }
    disconnect(m_document, nullptr, this, nullptr);
    disconnect(m_document->undoStack(), nullptr, this, nullptr);
    delete ui;
}

LyricEdit *KelvoEdit::lyricEdit() const
{
    return ui->lyricEdit;
}

ScoreEdit *KelvoEdit::scoreEdit() const
{
    return ui->scoreEdit;
}

// ---- Cursor synchronisation -------------------------------------------------

void KelvoEdit::adoptPaneCursors()
{
    if (!m_document->isSyncing())
        m_document->adoptCursors(ui->lyricEdit->textCursor(), ui->scoreEdit->textCursor());
}

void KelvoEdit::lyricCursorPositionChanged()
{
    if (m_document->isSyncing())
        return;
    adoptPaneCursors();
    m_document->mirrorLyricCursor();
}

void KelvoEdit::scoreCursorPositionChanged()
{
    if (m_document->isSyncing())
        return;
    adoptPaneCursors();
    m_document->mirrorScoreCursor();
}

void KelvoEdit::highlightLyricPairing()
{
    const QTextCursor l = m_document->lyricCursor();
    if (l.hasSelection()) {
        ui->lyricEdit->setExtraSelections({});
        ui->scoreEdit->setExtraSelections({});
    } else {
        ui->lyricEdit->highlightLineAt(l.position());
        ui->scoreEdit->highlightLineAt(m_document->scoreCursor().position());
    }
}

void KelvoEdit::highlightScorePairing()
{
    const QTextCursor s = m_document->scoreCursor();
    if (s.hasSelection()) {
        ui->lyricEdit->setExtraSelections({});
        ui->scoreEdit->setExtraSelections({});
    } else {
        ui->lyricEdit->highlightCharacterBefore(m_document->lyricCursor().position());
        ui->scoreEdit->highlightLineAt(s.position());
    }
}

// ---- Playback tints ----------------------------------------------------------

int KelvoEdit::lyricPosition(int line, int character) const
{
    const QTextBlock block = ui->lyricEdit->document()->findBlockByNumber(line);
    if (!block.isValid() || character < 0)
        return -1;
    QTextCursor cursor(block);
    // Cursor steps are grapheme clusters, as the reading counts them.
    for (int i = 0; i < character; ++i) {
        if (cursor.atBlockEnd())
            return -1;
        cursor.movePosition(QTextCursor::NextCharacter);
    }
    return cursor.atBlockEnd() ? -1 : cursor.position();
}

void KelvoEdit::lyricStepAt(int position, int *line, int *character) const
{
    QTextCursor cursor(ui->lyricEdit->document());
    cursor.setPosition(std::clamp(position, 0, ui->lyricEdit->document()->characterCount() - 1));
    *line = cursor.blockNumber();
    const int target = cursor.position();
    cursor.movePosition(QTextCursor::StartOfBlock);
    int steps = 0;
    while (cursor.position() < target && !cursor.atBlockEnd()) {
        cursor.movePosition(QTextCursor::NextCharacter);
        ++steps;
    }
    *character = steps;
}

void KelvoEdit::showPlaying(int line, int character)
{
    const int position = lyricPosition(line, character);
    if (position < 0) {
        clearPlaying();
        return;
    }
    QTextCursor lyric(ui->lyricEdit->document());
    lyric.setPosition(position);
    lyric.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    ui->lyricEdit->showPlaying(lyric, false);
    const QTextBlock scoreLine =
        ui->scoreEdit->document()->findBlockByNumber(m_document->scoreLineAt(lyric.position()));
    if (scoreLine.isValid())
        ui->scoreEdit->showPlaying(QTextCursor(scoreLine), true);
    else
        ui->scoreEdit->clearPlaying();
}

void KelvoEdit::clearPlaying()
{
    ui->lyricEdit->clearPlaying();
    ui->scoreEdit->clearPlaying();
}

void KelvoEdit::onScoreTextChanged()
{
    m_document->markModifiedIfEdited();
}

void KelvoEdit::onCanUndoChanged(bool canUndo)
{
    ui->undoAction->setEnabled(canUndo);
    emit canUndoChanged(canUndo);
}

void KelvoEdit::onCanRedoChanged(bool canRedo)
{
    ui->redoAction->setEnabled(canRedo);
    emit canRedoChanged(canRedo);
}

void KelvoEdit::updateScoreLineNumberArea()
{
    m_document->markModifiedIfEdited();
    ui->scoreEdit->updateLineNumberAreaAll();
}

// ---- Templates --------------------------------------------------------------

void KelvoEdit::insertTemplate(const QString &text, int selectBack, int selectLength)
{
    LyricEdit *lyric = ui->lyricEdit;
    adoptPaneCursors();
    QTextCursor cursor = m_document->lyricCursor();
    QString insert = text;
    if (!cursor.block().text().isEmpty()) {
        cursor.movePosition(QTextCursor::EndOfBlock);
        m_document->setLyricCursor(cursor);
        insert.prepend(QLatin1Char('\n'));
    }
    EditCommand::pushIfEffective(m_document, new InsertLyricCommand(m_document, insert));

    cursor = m_document->lyricCursor();
    if (selectLength > 0) {
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::MoveAnchor, selectBack);
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, selectLength);
    }
    m_document->setLyricCursor(cursor);
    lyric->ensureCursorVisible();
    lyric->setFocus();
}

void KelvoEdit::insertTitle()
{
    insertTemplate(QStringLiteral("# 标题"), 0, 2);
}

void KelvoEdit::insertQuPai()
{
    insertTemplate(QStringLiteral("【曲牌名】(调)"), 4, 3);
}

void KelvoEdit::insertLianBai()
{
    insertTemplate(QStringLiteral("= "));
}

void KelvoEdit::insertJiaBai()
{
    insertTemplate(QStringLiteral("> "));
}

void KelvoEdit::insertComment()
{
    insertTemplate(QStringLiteral("; "));
}

void KelvoEdit::insertLineBreak()
{
    insertTemplate(QStringLiteral("@换行符"));
}

void KelvoEdit::insertPageBreak()
{
    insertTemplate(QStringLiteral("@分页符"));
}

// ---- Clipboard --------------------------------------------------------------

void KelvoEdit::copy()
{
    adoptPaneCursors();
    if (ui->lyricEdit->hasFocus() && ui->lyricEdit->textCursor().hasSelection()) {
        copyLyricSelection();
    } else if (ui->scoreEdit->hasFocus() && ui->scoreEdit->textCursor().hasSelection()) {
        ui->scoreEdit->copy();
    }
}

void KelvoEdit::copyLyricSelection()
{
    if (std::unique_ptr<QMimeData> data = ScoreClipboard::lyricSelection(m_document))
        QGuiApplication::clipboard()->setMimeData(data.release());
}

void KelvoEdit::cut()
{
    adoptPaneCursors();
    if (ui->lyricEdit->hasFocus() && ui->lyricEdit->textCursor().hasSelection()) {
        copyLyricSelection();
        EditCommand::pushIfEffective(m_document,
                                     new DeleteLyricCommand(m_document, true, Qt::NoModifier));
    } else if (ui->scoreEdit->hasFocus() && ui->scoreEdit->textCursor().hasSelection()) {
        ui->scoreEdit->copy();
        EditCommand::pushIfEffective(m_document,
                                     new DeleteScoreCommand(m_document, true, Qt::NoModifier));
    }
}

void KelvoEdit::paste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    adoptPaneCursors();
    if (ui->lyricEdit->hasFocus())
        EditCommand::pushIfEffective(
            m_document, new PasteLyricCommand(m_document, QGuiApplication::clipboard()->mimeData()));
    else if (ui->scoreEdit->hasFocus())
        EditCommand::pushIfEffective(m_document,
                                     new InsertScoreCommand(m_document, text, Qt::NoModifier));
}

// ---- Key routing --------------------------------------------------------------

void KelvoEdit::showContextMenu(const QPoint &globalPos)
{
    const bool selection = ui->lyricEdit->textCursor().hasSelection()
        || ui->scoreEdit->textCursor().hasSelection();
    ui->cutAction->setEnabled(selection);
    ui->copyAction->setEnabled(selection);
    QMenu menu(this);
    menu.addAction(ui->undoAction);
    menu.addAction(ui->redoAction);
    menu.addSeparator();
    menu.addAction(ui->cutAction);
    menu.addAction(ui->copyAction);
    menu.addAction(ui->pasteAction);
    menu.exec(globalPos);
}

bool KelvoEdit::inputMethodTakes(const QKeyEvent *event) const
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = modifiersOf(event);
    if (key >= Qt::Key_A && key <= Qt::Key_Z && modifiers == Qt::NoModifier)
        return true;
    const InputMethod *im = InputMethod::existingInstance();
    if (!im || !im->isVisible())
        return false;
    // Every plain key belongs to an open composition (Escape above all);
    // the window's Ctrl and Alt commands stay available.
    return !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

bool KelvoEdit::handleScoreKey(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = modifiersOf(event);
    ScoreEdit *score = ui->scoreEdit;
    InputMethod *im = InputMethod::instance();
    // The candidate window anchors to the pane the user types in.
    if (im->target() != score)
        im->setTarget(score);

    if (key >= Qt::Key_A && key <= Qt::Key_Z && modifiers == Qt::NoModifier) {
        const QString text = event->text().isEmpty() ? QString(QChar(key)) : event->text();
        im->appendLetter(text.toLower());
        return true;
    }
    if (!im->isVisible()) {
        if (key == Qt::Key_Space) {
            score->suggestBeatMarks();
            return true;
        }
        if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
            EditCommand::pushIfEffective(
                m_document, new DeleteScoreCommand(m_document, key == Qt::Key_Backspace, modifiers));
            return true;
        }
        if (isReturn(key)) {
            EditCommand::pushIfEffective(
                m_document, new InsertScoreCommand(m_document, QStringLiteral("\n"), modifiers));
            return true;
        }
        return handleOtherEditingKey(score, event);
    }
    if (key == Qt::Key_Space || key == Qt::Key_Tab || isReturn(key)) {
        insertScoreText(im->commitCurrent());
        return true;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        insertScoreText(im->selectByNumber(key - Qt::Key_0));
        return true;
    }
    if (startsPrintable(event->text()) || m_navigationKeys.contains(key))
        im->handleKey(key);
    return true;
}

bool KelvoEdit::handleLyricKey(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        EditCommand::pushIfEffective(
            m_document, new DeleteLyricCommand(m_document, key == Qt::Key_Backspace, modifiersOf(event)));
        return true;
    }
    if (isReturn(key)) {
        EditCommand::pushIfEffective(m_document, new InsertLyricCommand(m_document, QStringLiteral("\n")));
        return true;
    }
    if (startsPrintable(event->text()) && isTyping(event)) {
        EditCommand::pushIfEffective(m_document, new InsertLyricCommand(m_document, event->text()));
        return true;
    }
    return handleOtherEditingKey(ui->lyricEdit, event);
}

bool KelvoEdit::handleOtherEditingKey(QPlainTextEdit *pane, QKeyEvent *event)
{
    // The plain-text editor would apply these to its document directly,
    // past the undo stack, and the panes' histories would no longer match
    // the commands: give them the same meaning through the editor instead.
    if (runEditShortcut(event, true))
        return true;
    if (event->matches(QKeySequence::DeleteEndOfLine) || event->matches(QKeySequence::DeleteStartOfWord)
        || event->matches(QKeySequence::DeleteEndOfWord)
        || event->matches(QKeySequence::DeleteCompleteLine)) {
        return true;
    }
    const QString text = event->text();
    if (!isTyping(event) && startsPrintable(text)) {
        // Some platforms report the letter of a Ctrl shortcut as its text;
        // the plain-text editor would then type it.
        if (event->matches(QKeySequence::SelectAll))
            pane->selectAll();
        return true;
    }
    if (!text.isEmpty()
        && (text.at(0) == QLatin1Char('\t') || startsPrintable(text))) {
        if (pane == ui->lyricEdit) {
            EditCommand::pushIfEffective(m_document, new InsertLyricCommand(m_document, text));
        } else if (!text.at(0).isLetter() || text.at(0).unicode() > 0x7f) {
            // Latin letters belong to the input method, never to the text.
            EditCommand::pushIfEffective(m_document, new InsertScoreCommand(m_document, text, Qt::NoModifier));
        }
        return true;
    }
    return false;
}

bool KelvoEdit::runEditShortcut(const QKeyEvent *event, bool standardKeys)
{
    // The one table of the editing shortcuts.
    struct Shortcut
    {
        QKeySequence::StandardKey standard;
        Qt::KeyboardModifiers modifiers;
        int key;
        void (*run)(KelvoEdit *);
    };
    static const Shortcut shortcuts[] = {
        {QKeySequence::Undo, Qt::ControlModifier, Qt::Key_Z,
         [](KelvoEdit *e) { e->m_document->undoStack()->undo(); }},
        {QKeySequence::Redo, Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z,
         [](KelvoEdit *e) { e->m_document->undoStack()->redo(); }},
        {QKeySequence::Copy, Qt::ControlModifier, Qt::Key_C, [](KelvoEdit *e) { e->copy(); }},
        {QKeySequence::Cut, Qt::ControlModifier, Qt::Key_X, [](KelvoEdit *e) { e->cut(); }},
        {QKeySequence::Paste, Qt::ControlModifier, Qt::Key_V, [](KelvoEdit *e) { e->paste(); }},
        {QKeySequence::Paste, Qt::ShiftModifier, Qt::Key_Insert, [](KelvoEdit *e) { e->paste(); }},
    };
    const Qt::KeyboardModifiers modifiers = modifiersOf(event);
    for (const Shortcut &shortcut : shortcuts) {
        if ((modifiers == shortcut.modifiers && event->key() == shortcut.key)
            || (standardKeys && event->matches(shortcut.standard))) {
            shortcut.run(this);
            return true;
        }
    }
    return false;
}

void KelvoEdit::insertScoreText(const QString &text)
{
    if (!text.isEmpty())
        EditCommand::pushIfEffective(m_document, new InsertScoreCommand(m_document, text, Qt::NoModifier));
}

bool KelvoEdit::eventFilter(QObject *watched, QEvent *event)
{
    QPlainTextEdit *pane = nullptr;
    if (watched == ui->lyricEdit)
        pane = ui->lyricEdit;
    else if (watched == ui->scoreEdit)
        pane = ui->scoreEdit;

    if (!pane) {
        // A text area: its own context menu and middle-button paste would
        // edit the document past the undo stack.
        if (watched != ui->lyricEdit->viewport() && watched != ui->scoreEdit->viewport())
            return QWidget::eventFilter(watched, event);
        if (event->type() == QEvent::ContextMenu) {
            showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton)
            return true;
        return QWidget::eventFilter(watched, event);
    }

    switch (event->type()) {
    case QEvent::KeyPress: {
        adoptPaneCursors();
        auto *key = static_cast<QKeyEvent *>(event);
        // The fixed keys come before the panes' own handling (the input
        // method would take Ctrl+C's letter); the platform's other keys for
        // the same actions only after it (Shift+Delete stays a deletion).
        if (runEditShortcut(key, false))
            return true;
        return pane == ui->scoreEdit ? handleScoreKey(key) : handleLyricKey(key);
    }
    case QEvent::ShortcutOverride:
        // Window shortcuts (Escape quits) see a key before the pane does:
        // the keys the input method uses must be claimed here to reach it.
        if (pane == ui->scoreEdit && inputMethodTakes(static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        return QWidget::eventFilter(watched, event);
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::RightButton)
            showContextMenu(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
        return true;
    case QEvent::ContextMenu:
        // A right press on the pane itself already showed the menu; the
        // menu key still opens it.
        if (static_cast<QContextMenuEvent *>(event)->reason() != QContextMenuEvent::Mouse)
            showContextMenu(pane->viewport()->mapToGlobal(pane->cursorRect().bottomLeft()));
        return true;
    case QEvent::InputMethod: {
        adoptPaneCursors();
        const QString commit = static_cast<QInputMethodEvent *>(event)->commitString();
        if (pane == ui->lyricEdit) {
            EditCommand::pushIfEffective(m_document, new InsertLyricCommand(m_document, commit));
            return true;
        }
        // The score pane asks the platform not to compose; should text
        // still arrive it goes through the undo stack like everything else.
        if (!commit.isEmpty()) {
            insertScoreText(commit);
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}
