// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ui/GutteredTextEdit.h"
#include <QString>
#include <QStringView>

class EditorConfig;

// Right pane of the paired editor: one line of notation per paired lyric
// character. It shows the score text of the paired document it is given,
// whose lyric text its gutter labels come from (beside each score line, the
// lyric character it belongs to); without one the gutter stays empty.
class ScoreEdit : public GutteredTextEdit
{
    Q_OBJECT

public:
    explicit ScoreEdit(QWidget *parent = nullptr);

    void setPairedDocument(PairedDocument *document);

    // The beat mark from which the next marks are suggested, given the
    // score text before the cursor: the eight most recent marks of
    // U+F0000..U+F0007 decide (see the implementation for the rule).
    static QString contextBeatMark(QStringView textBeforeCursor);

    // n empty lines so that they become lines k .. k + n - 1 (appended when
    // k is past the end). One undo step of the score document.
    void insertEmptyLines(int k, int n);
    // Removes lines k .. k + n - 1 (as many as exist); nothing when k is
    // past the end or n < 1. One undo step of the score document.
    void removeLines(int k, int n);

    // Works out the context beat mark at the cursor, announces it with
    // beatMarkSuggested() and opens the input method's suggestions for it.
    void suggestBeatMarks();

    // The gutter text beside line blockNumber: the paired document's paired
    // character number blockNumber + 1, empty past the last one or without
    // a paired document.
    QString gutterLabel(int blockNumber) const;

    int lineNumberAreaWidth() const override;

    // Count empty lines were inserted at block first: the rows shown from
    // there down are moved down instead of being painted again. False when
    // that cannot be done (first is above the rows shown) and the whole
    // pane must be repainted.
    bool moveRowsDown(const QTextBlock &first, int count);
    // Lines were inserted or removed at block first: the rows shown from
    // there down are painted again. False as above.
    bool repaintRowsFrom(const QTextBlock &first);

public slots:
    void applyAppearance();
    // Repaints the whole gutter.
    void updateLineNumberAreaAll();
    // Repaints the gutter labels of score line `line` and below: the paired
    // editor calls it when a change of the lyric text may shift them.
    void updateLineNumberAreaFrom(int line);

signals:
    void beatMarkSuggested(const QString &mark);
    void focusLost();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    GutterLook gutterLook() const override;
    QString blockLabel(const QTextBlock &block) const override;

private:
    // The top of block's row in the viewport, or -1 where rows from there
    // down cannot be repainted alone (hidden pane, block above the view).
    int rowTop(const QTextBlock &block) const;

    EditorConfig *m_config;
};
