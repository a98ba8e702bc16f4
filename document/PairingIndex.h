// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextDocument>

#include <vector>

// The pairing of a lyric document (which paired character owns which score
// line), kept per block so that the lookups the panes make on every repaint
// and cursor move do not rescan the whole text. Every answer equals the
// corresponding ScoreSyntax function over DocumentLines of the same
// document; the cache exists only for speed.
//
// Blocks are re-read only where QTextDocument::contentsChange says the text
// changed. Edits inside an open edit block are announced only when the
// block closes; a query made in between notices the changed revision and
// answers from the text directly, so no edit path can leave an answer stale.
class PairingIndex : public QObject
{
    Q_OBJECT

public:
    explicit PairingIndex(const QTextDocument *document, QObject *parent = nullptr);

    const QTextDocument *document() const { return m_document; }

    // See ScoreSyntax::scoreLineAt: paired characters before the position
    // minus one; -1 when none precedes it. Clamped into the document.
    int scoreLineAt(int position) const;
    // See ScoreSyntax::positionAfterPaired: the position just after the
    // n-th paired character; n <= 0 as 0, beyond the count the end.
    int positionAfterPaired(int n) const;
    // All paired characters in document order.
    QString pairedText() const;
    // The n-th (1-based) paired character, empty outside 1 .. count.
    QString pairedCharacterAt(int n) const;
    // Number of paired characters in the whole document.
    int pairedCount() const;
    // Paired characters of blocks first .. last, clamped; 0 for an empty span.
    int pairedCountInLines(int first, int last) const;

private:
    struct Line
    {
        QString paired; // the line's paired characters, empty for markup
        bool markup = false;
    };

    void onContentsChange(int position, int removed, int added);
    void rebuildAll();
    static Line readLine(const QString &text);
    // Brings the prefix sums up to date; false when the cache cannot be
    // trusted right now (an edit block is open) and the caller must read
    // the text itself.
    bool ready() const;
    int lineOfPaired(int n) const; // first line whose running total reaches n >= 1

    QPointer<const QTextDocument> m_document;
    std::vector<Line> m_lines;
    int m_revision = -1;
    mutable std::vector<int> m_prefix; // m_prefix[i]: paired characters before line i
    mutable std::size_t m_prefixValid = 0; // entries 0 .. m_prefixValid - 1 are right
    mutable int m_firstNonMarkup = -1;
    mutable QString m_pairedText;
    mutable bool m_pairedTextValid = false;
};
