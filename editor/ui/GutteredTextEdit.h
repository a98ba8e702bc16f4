// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QHash>
#include <QPlainTextEdit>
#include <QStaticText>
#include <QTextEdit>

#include <functional>

class QPainter;
class QTextBlock;

// The part the lyric and score panes share: a plain-text editor with a gutter
// widget at its left edge that labels lines (each pane decides the label).
class GutteredTextEdit : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

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
    void paintEvent(QPaintEvent *event) override;

    // Shows a document kept elsewhere (a paired document's text), giving it
    // the plain-text layout this editor draws with.
    void showDocument(QTextDocument *document);
    // Draws label(block) centred in the first row of every visible block
    // that meets rect: x 0, the block's top, width, lineHeight, in the
    // labelFont of the painter's font.
    void paintBlockLabels(QPainter &painter, const QRect &rect, int width, int lineHeight,
                          const std::function<QString(const QTextBlock &)> &label) const;
    // The editor's updateRequest for the gutter: scroll with the text, or
    // repaint the strip that changed.
    static void updateGutter(QWidget *gutter, const QRect &rect, int dy, int width);
    // Keeps the gutter over the left edge of the contents (after a resize).
    void placeGutter(QWidget *gutter, int width) const;
    // Reserves width for the gutter and places it there (after a change of
    // its font, which may make it wider or narrower).
    void layoutGutter(QWidget *gutter, int width);

private:
    // Scrolls the least that brings the rows of range into view.
    void scrollToShow(const QTextCursor &range);
    // The played part that lies under the pane's own selection, drawn again
    // on top of it (the base class draws the selection over every tint).
    void paintPlayingOverSelection(const QRect &area);

    QList<QTextEdit::ExtraSelection> m_tints;
    QTextEdit::ExtraSelection m_playing;
    // paintBlockLabels' labels, laid out in m_labelFont.
    mutable QHash<QString, QStaticText> m_labels;
    mutable QFont m_labelFont;
};
