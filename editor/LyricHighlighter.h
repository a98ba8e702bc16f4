// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class EditorConfig;
class QTextDocument;

// Colours the lyric pane by line kind. Every character that no rule claims
// stays unformatted and so shows in the pane's text colour, the error colour:
// malformed markup shows itself without any separate check.
class LyricHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    // The document becomes the highlighter's parent. Without a config the
    // process-wide EditorConfig is used; a given one must outlive this object.
    explicit LyricHighlighter(QTextDocument *document, EditorConfig *config = nullptr);

    // (Re)builds the rules from the current colours.
    void setupRules();

protected:
    void highlightBlock(const QString &text) override;

private:
    struct HighlightingRule
    {
        QRegularExpression pattern;
        QTextCharFormat format;
    };

    void onConfigChanged();

    EditorConfig *m_config;
    QList<HighlightingRule> m_rules;

    QTextCharFormat m_titleFormat;
    QTextCharFormat m_commentFormat;
    QTextCharFormat m_jiaBaiFormat;
    QTextCharFormat m_lianBaiFormat;
    QTextCharFormat m_quPaiFormat;
    QTextCharFormat m_lyricFormat;
    QTextCharFormat m_punctuationFormat;
    QTextCharFormat m_breakFormat;
};
