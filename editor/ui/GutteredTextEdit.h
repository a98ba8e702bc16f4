// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStaticText>
#include <QTextEdit>

#include <functional>

class PairedDocument;
class QTextBlock;

// The part the lyric and score panes share: a plain-text editor with a gutter
// widget at its left edge that labels lines (each pane decides the label).
class GutteredTextEdit : public QPlainTextEdit
{
public:
    explicit GutteredTextEdit(QWidget *parent = nullptr);

    PairedDocument *pairedDocument() const;
    QWidget *lineNumberArea() const { return m_gutter; }
    virtual int lineNumberAreaWidth() const = 0;

    // Replaces all extra selections by a full-width tint of that row.
    void highlightLineAt(int position);

    // The font a label is drawn in: font, scaled down when it is taller
    // than lineHeight.
    static QFont labelFont(const QFont &font, int lineHeight);

    // The pane's tints (pairing, search matches). Hides QPlainTextEdit's so
    // that the playing tint stays on top of whatever the pane shows.
    void setExtraSelections(const QList<QTextEdit::ExtraSelection> &selections);

    // Tints range (the whole row with fullWidth) as the part being played
    // and scrolls it into view; neither moves the text cursor.
    void showPlaying(const QTextCursor &range, bool fullWidth);
    void clearPlaying();
    bool isShowingPlaying() const { return !m_playing.cursor.isNull(); }
    // The range tinted as being played (a null cursor when none).
    QTextCursor playingRange() const { return m_playing.cursor; }

protected:
    // How the gutter looks: its colours, its font, and the height of the
    // text's rows that each label is centred in.
    struct GutterLook
    {
        QColor text;
        QColor background;
        QFont font;
        int lineHeight = 0;
    };
    virtual GutterLook gutterLook() const = 0;
    // The gutter label beside block, empty for none.
    virtual QString blockLabel(const QTextBlock &block) const = 0;

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

    // Follows document, dropping the one followed before; lost runs when it
    // is destroyed. False for none.
    bool followPairedDocument(PairedDocument *document, const std::function<void()> &lost);
    // Shows a document kept elsewhere (a paired document's text), giving it
    // the plain-text layout this editor draws with.
    void showDocument(QTextDocument *document);
    // Replaces all extra selections by the pairing tint of range.
    void showPairing(const QTextCursor &range, bool fullWidth);
    // Reserves width for the gutter and places it there (after a change of
    // its font, which may make it wider or narrower).
    void layoutGutter();
    // The text's colours on its background, in font; the gutter is laid out
    // again, as its font may have changed with them.
    void showLook(const QColor &text, const QColor &background, const QFont &font);

private:
    class Gutter;

    // Draws the gutter: its background, and each visible block's label
    // centred in the block's first row, in labelFont of the gutter font.
    void paintGutter(const QRect &rect);
    // Scrolls the least that brings the rows of range into view.
    void scrollToShow(const QTextCursor &range);
    // The played part that lies under the pane's own selection, drawn again
    // on top of it (the base class draws the selection over every tint).
    void paintPlayingOverSelection(const QRect &area);

    QWidget *m_gutter;
    QPointer<PairedDocument> m_paired;
    QList<QTextEdit::ExtraSelection> m_tints;
    QTextEdit::ExtraSelection m_playing;
    // paintGutter's labels, laid out in m_labelFont.
    mutable QHash<QString, QStaticText> m_labels;
    mutable QFont m_labelFont;
};
