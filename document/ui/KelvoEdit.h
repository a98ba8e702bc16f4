// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"

#include <QList>
#include <QString>
#include <QWidget>

class FileChangeBar;
class LyricEdit;
class PairedDocument;
class ScoreEdit;
class QFileSystemWatcher;
class QKeyEvent;
class QPlainTextEdit;
class QPoint;
class QTimer;
class QUndoStack;

namespace Ui {
class KelvoEdit;
}

// The page of one document tab: the view of one PairedDocument (which holds
// the texts, the undo stack, the pairing, the modified state and the file
// binding), with the lyric pane on the left and the score pane on the
// right. It keeps the panes' cursors and the document's in step, routes
// keys into undoable edit commands, inserts templates and shows the
// messages of loading and saving.
class KelvoEdit : public QWidget
{
    Q_OBJECT

public:
    explicit KelvoEdit(QWidget *parent = nullptr);
    ~KelvoEdit() override;

    LyricEdit *lyricEdit() const;
    ScoreEdit *scoreEdit() const;
    // The model: its file, modified state, undo stack and line list.
    PairedDocument *document() const { return m_document; }
    Ui::KelvoEdit *form() const { return ui; }

    void insertTitle();
    void insertQuPai();
    void insertLianBai();
    void insertJiaBai();
    void insertComment();
    void insertLineBreak();
    void insertPageBreak();

    void copy();
    void cut();
    void paste();

    // Reads a .gcp file into this (fresh) editor; reports failures itself.
    bool load(const QString &path);
    // Fills this (fresh) editor with recovered texts, bound to path (empty:
    // untitled) and modified, so that nothing reaches a file until the user
    // saves.
    void restoreContent(const QString &lyric, const QString &score, const QString &path);
    // Saves (asking for a name when there is none) or, with saveAs, writes
    // a copy under a chosen name. Reports failures itself.
    bool save(bool saveAs);

    // The bound file is watched: when someone else changes or removes it,
    // the bar above the panes says so, a moment later.
    FileChangeBar *fileChangeBar() const { return m_fileBar; }
    // Looks at the bound file now and shows or hides the bar.
    void checkFile();
    // "重新载入": reads the bound file again in place of the text, as one
    // undo step. Reports failures itself.
    bool reloadFile();
    // "保留我的版本": the text stays, modified, and the next save replaces
    // the outside version without asking.
    void keepOwnVersion();

    // A lyric character as a line (block) and a cursor step in it, and back.
    int lyricPosition(int line, int character) const;
    void lyricStepAt(int position, int *line, int *character) const;
    // Tints the lyric character at (line, character) and its score line as
    // the ones being played and scrolls both into view, leaving the cursors
    // where the user put them; out of range clears the tints.
    void showPlaying(int line, int character);
    void clearPlaying();

    const QList<int> &navigationKeys() const { return m_navigationKeys; }

signals:
    void modifiedChanged(bool modified);
    void canUndoChanged(bool canUndo);
    void canRedoChanged(bool canRedo);

public slots:
    void lyricCursorPositionChanged();
    void scoreCursorPositionChanged();
    void onScoreTextChanged();
    void onCanUndoChanged(bool canUndo);
    void onCanRedoChanged(bool canRedo);
    void updateScoreLineNumberArea();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Inserts a template line (after the current line when that is not
    // empty); with selectLength, selects that many characters ending
    // selectBack characters before the end of the template.
    void insertTemplate(const QString &text, int selectBack = 0, int selectLength = 0);
    void showContextMenu(const QPoint &globalPos);
    // Whether a key pressed in the score pane goes to the input method
    // (letters always, every plain key while its window is open).
    bool inputMethodTakes(const QKeyEvent *event) const;
    bool handleScoreKey(QKeyEvent *event);
    bool handleLyricKey(QKeyEvent *event);
    bool handleOtherEditingKey(QPlainTextEdit *pane, QKeyEvent *event);
    // Runs the editing shortcut (undo, redo, copy, cut, paste) the key is,
    // if any: by its fixed key alone, or also by the platform's standard
    // keys for the action when standardKeys is set.
    bool runEditShortcut(const QKeyEvent *event, bool standardKeys);
    // Puts the lyric selection with its notation on the clipboard.
    void copyLyricSelection();
    void insertScoreText(const QString &text);
    // Hands the panes' cursors to the document (unless an edit or a
    // synchronisation is under way, when the document's are the ones that
    // count).
    void adoptPaneCursors();
    // Tints that show which character and which score line belong together.
    void highlightLyricPairing();
    void highlightScorePairing();
    void setUpFileWatch();
    // Watches the bound file and its folder (where a removed file comes
    // back), afresh: a file replaced by a rename is a new one.
    void watchFile();
    // Asks before a save replaces an outside version the user has not kept
    // their text over. True to go on.
    bool mayReplaceOutsideChange();

    Ui::KelvoEdit *ui;
    PairedDocument *m_document;
    FileChangeBar *m_fileBar = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_fileCheck = nullptr;
    QList<int> m_navigationKeys;
};
