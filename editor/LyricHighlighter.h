// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRegularExpression>
#include <QTextCharFormat>
#include <QTextLayout>

class EditorConfig;
class QTextBlock;
class QTextDocument;

// Colours the lyric pane by line kind. Every character that no rule claims
// stays unformatted and so shows in the pane's text colour, the error colour:
// malformed markup shows itself without any separate check.
//
// Each line stands on its own, so lines are formatted independently and
// only when needed: an edit of a few lines formats them at once; a larger
// change (opening a long act, a big paste or undo) leaves its lines
// pending, and a view formats the ones it is about to show
// (highlightBlocks). Formatting a line never depends on when it is done.
class LyricHighlighter : public QObject
{
    Q_OBJECT

public:
    // Changes spanning more lines than this leave them pending.
    static constexpr int ImmediateLines = 200;

    // The document becomes the highlighter's parent. Without a config the
    // process-wide EditorConfig is used; a given one must outlive this object.
    explicit LyricHighlighter(QTextDocument *document, EditorConfig *config = nullptr);

    QTextDocument *document() const { return m_document; }

    // (Re)builds the rules from the current colours.
    void setupRules();
    // Formats every line now.
    void rehighlight();
    // Formats the pending lines among count blocks from first.
    void highlightBlocks(QTextBlock first, int count);
    // Whether the block waits to be formatted.
    static bool isPending(const QTextBlock &block);

signals:
    // Lines were left pending: a view that shows them should repaint.
    void linesPending();

private:
    struct HighlightingRule
    {
        QRegularExpression pattern;
        QTextCharFormat format;
    };

    void onConfigChanged();
    void onContentsChange(int position, int removed, int added);
    // Formats (or marks pending) the blocks a change of the text touched.
    void reformat(int position, int length);
    void highlightBlock(QTextBlock block);
    QList<QTextLayout::FormatRange> formatsFor(const QString &text) const;

    QPointer<QTextDocument> m_document;
    EditorConfig *m_config;
    QList<HighlightingRule> m_rules;
    bool m_applying = false;
    // The blocks holding the text of the change being announced.
    int m_changeFirst = -1;
    int m_changeLast = -1;

    QTextCharFormat m_titleFormat;
    QTextCharFormat m_commentFormat;
    QTextCharFormat m_jiaBaiFormat;
    QTextCharFormat m_lianBaiFormat;
    QTextCharFormat m_quPaiFormat;
    QTextCharFormat m_lyricFormat;
    QTextCharFormat m_punctuationFormat;
    QTextCharFormat m_breakFormat;
};
