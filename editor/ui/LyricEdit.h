// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/PairingIndex.h"
#include "editor/ui/GutteredTextEdit.h"
#include <QPointer>
#include <QString>
#include <QStringView>

class EditorConfig;
class LyricHighlighter;

// Left pane of the paired editor: the lyric text with its line markup. Keys
// are handled by the paired editor's event filter; the pane adds the gutter
// (the name of each line's kind, beside its first row),
// the mappings between lyric positions and score lines, the pairing
// highlights and the search with match counting.
class LyricEdit : public GutteredTextEdit
{
    Q_OBJECT

public:
    // The outcome of a search: the number (1-based, in document order) of
    // the match that became current, and how many matches there are.
    // (0, 0) when the text does not occur.
    struct FindResult
    {
        int current = 0;
        int count = 0;
        bool operator==(const FindResult &o) const
        {
            return current == o.current && count == o.count;
        }
        bool operator!=(const FindResult &o) const { return !(*this == o); }
    };

    explicit LyricEdit(QWidget *parent = nullptr);

    // Shows the lyric text of a paired document, whose pairing the lookups
    // below then use. Without one the pane pairs its own text.
    void setPairedDocument(PairedDocument *document);

    // The gutter label of a line of this text: "标题" "注释" "夹白" "念白"
    // "曲牌" "换行" "分页" "唱", or empty for a line of kind Other.
    static QString lineLabel(QStringView line);

    // Pairing of this pane's text (cached, see PairingIndex): the paired
    // document's when the pane shows one.
    int scoreLineAt(int position) const { return pairingIndex().scoreLineAt(position); }
    int positionAfterPaired(int n) const { return pairingIndex().positionAfterPaired(n); }
    QString pairedText() const { return pairingIndex().pairedText(); }
    // The n-th (1-based) paired character; empty outside 1 .. count.
    QString pairedCharacterAt(int n) const { return pairingIndex().pairedCharacterAt(n); }
    // The cache behind the four above, for callers that need more of it.
    const PairingIndex &pairingIndex() const;

    // Replaces all extra selections by one tint (highlightLineAt: the row).
    void highlightCharacterBefore(int position);

    // Case-insensitive search; marks every match, makes one current and
    // moves the cursor to it, wrapping around at the document's ends.
    FindResult findNext(const QString &text);
    FindResult findPrevious(const QString &text);

    int lineNumberAreaWidth() const override;

public slots:
    void applyAppearance();

protected:
    void paintEvent(QPaintEvent *event) override;
    GutterLook gutterLook() const override;
    QString blockLabel(const QTextBlock &block) const override;

private:
    FindResult findMatch(const QString &text, bool backward);
    // Shows text (null: an empty text of the pane's own) with its highlighter.
    void showText(QTextDocument *text);

    EditorConfig *m_config;
    QPointer<LyricHighlighter> m_highlighter;
    // Own pairing of a text that belongs to no paired document; re-created
    // if the pane is given another document.
    mutable QPointer<PairingIndex> m_pairing;
};
