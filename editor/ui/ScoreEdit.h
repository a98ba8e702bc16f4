// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/ui/GutteredTextEdit.h"
#include <QPointer>
#include <QString>
#include <QStringView>

class EditorConfig;
class PairedDocument;
class ScoreEdit;

// The score pane's gutter: beside each score line, the lyric character it
// belongs to.
class ScoreLineNumberArea : public QWidget
{
    Q_OBJECT

public:
    explicit ScoreLineNumberArea(ScoreEdit *editor);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ScoreEdit *m_editor;
};

// Right pane of the paired editor: one line of notation per paired lyric
// character. It shows the score text of the paired document it is given,
// whose lyric text its gutter labels come from; without one the gutter
// stays empty.
class ScoreEdit : public GutteredTextEdit
{
    Q_OBJECT

public:
    explicit ScoreEdit(QWidget *parent = nullptr);

    void setPairedDocument(PairedDocument *document);
    PairedDocument *pairedDocument() const;

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

    // Replaces all extra selections by a full-width tint of that row.
    void highlightLineAt(int position);

    // Works out the context beat mark at the cursor, announces it with
    // beatMarkSuggested() and opens the input method's suggestions for it.
    void suggestBeatMarks();

    // The gutter text beside line blockNumber: the paired document's paired
    // character number blockNumber + 1, empty past the last one or without
    // a paired document.
    QString gutterLabel(int blockNumber) const;

    int lineNumberAreaWidth() const;
    void lineNumberAreaPaintEvent(QPaintEvent *event);
    QWidget *lineNumberArea() const;

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
    void resizeEvent(QResizeEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private slots:
    void updateLineNumberArea(const QRect &rect, int dy);

private:
    EditorConfig *m_config;
    ScoreLineNumberArea *m_gutter;
    QPointer<PairedDocument> m_paired;
};
