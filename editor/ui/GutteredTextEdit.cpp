// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ui/GutteredTextEdit.h"

#include "document/PairedDocument.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QStaticText>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

QFont GutteredTextEdit::labelFont(const QFont &font, int lineHeight)
{
    // A gutter font taller than the text's rows would write over the
    // neighbouring labels: a label is never taller than its row.
    const qreal height = QFontMetricsF(font).height();
    if (lineHeight <= 0 || height <= lineHeight || font.pointSizeF() <= 0)
        return font;
    QFont scaled = font;
    qreal size = font.pointSizeF() * lineHeight / height;
    scaled.setPointSizeF(qMax<qreal>(1, size));
    // Heights do not follow the size exactly: step down until it fits.
    while (size > 1 && QFontMetricsF(scaled).height() > lineHeight) {
        size -= 0.5;
        scaled.setPointSizeF(qMax<qreal>(1, size));
    }
    return scaled;
}

namespace {

// Tint shared by the pairing highlights of both panes.
const QColor PairingTint(0, 100, 100, 60);
// Warm and stronger than the pairing tint: the eye finds the sung
// character while it moves.
const QColor PlayingTint(255, 170, 40, 150);

} // namespace

// The editor sizes, places and paints it.
class GutteredTextEdit::Gutter : public QWidget
{
public:
    explicit Gutter(GutteredTextEdit *editor)
        : QWidget(editor)
        , m_editor(editor)
    {
        // It paints every pixel: nothing beneath it is repainted with it.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    QSize sizeHint() const override
    {
        return QSize(m_editor->lineNumberAreaWidth(), m_editor->height());
    }

protected:
    void paintEvent(QPaintEvent *event) override { m_editor->paintGutter(event->rect()); }

private:
    GutteredTextEdit *m_editor;
};

GutteredTextEdit::GutteredTextEdit(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_gutter(new Gutter(this))
{
    // The gutter scrolls with the text, or repaints the strip that changed.
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect &rect, int dy) {
        if (dy)
            m_gutter->scroll(0, dy);
        else
            m_gutter->update(0, rect.y(), lineNumberAreaWidth(), rect.height());
    });
}

PairedDocument *GutteredTextEdit::pairedDocument() const
{
    return m_paired;
}

bool GutteredTextEdit::followPairedDocument(PairedDocument *document,
                                            const std::function<void()> &lost)
{
    if (m_paired)
        disconnect(m_paired, nullptr, this, nullptr);
    m_paired = document;
    if (document)
        connect(document, &QObject::destroyed, this, lost);
    return document;
}

void GutteredTextEdit::showPairing(const QTextCursor &range, bool fullWidth)
{
    QTextEdit::ExtraSelection selection;
    selection.cursor = range;
    selection.format.setBackground(PairingTint);
    if (fullWidth)
        selection.format.setProperty(QTextFormat::FullWidthSelection, true);
    setExtraSelections({selection});
}

void GutteredTextEdit::highlightLineAt(int position)
{
    QTextCursor cursor(document());
    cursor.setPosition(std::clamp(position, 0, document()->characterCount() - 1));
    showPairing(cursor, true);
}

void GutteredTextEdit::setExtraSelections(const QList<QTextEdit::ExtraSelection> &selections)
{
    m_tints = selections;
    QList<QTextEdit::ExtraSelection> all = m_tints;
    if (isShowingPlaying())
        all.append(m_playing);
    QPlainTextEdit::setExtraSelections(all);
}

void GutteredTextEdit::showPlaying(const QTextCursor &range, bool fullWidth)
{
    if (range.isNull() || range.document() != document()) {
        clearPlaying();
        return;
    }
    const bool same = isShowingPlaying() && m_playing.cursor.anchor() == range.anchor()
                      && m_playing.cursor.position() == range.position()
                      && m_playing.format.hasProperty(QTextFormat::FullWidthSelection) == fullWidth;
    if (!same) {
        m_playing.cursor = range;
        m_playing.format = QTextCharFormat();
        m_playing.format.setBackground(PlayingTint);
        if (fullWidth)
            m_playing.format.setProperty(QTextFormat::FullWidthSelection, true);
        setExtraSelections(m_tints);
    }
    scrollToShow(range);
}

void GutteredTextEdit::clearPlaying()
{
    if (!isShowingPlaying())
        return;
    m_playing = QTextEdit::ExtraSelection();
    setExtraSelections(m_tints);
}

void GutteredTextEdit::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);
    paintPlayingOverSelection(event->rect());
}

void GutteredTextEdit::paintPlayingOverSelection(const QRect &area)
{
    const QTextCursor selection = textCursor();
    if (!isShowingPlaying() || !selection.hasSelection())
        return;
    // A whole-row tint covers its line; the selection hides only its text.
    const QTextCursor &played = m_playing.cursor;
    const bool fullWidth = m_playing.format.hasProperty(QTextFormat::FullWidthSelection);
    int from = played.selectionStart(), to = played.selectionEnd();
    if (fullWidth) {
        from = played.block().position();
        to = from + played.block().length() - 1;
    }
    from = std::max(from, selection.selectionStart());
    to = std::min(to, selection.selectionEnd());
    if (from >= to)
        return;

    // The tint as it shows on the page, opaque: over the selection it looks
    // as it does elsewhere, with the text in its own colours on top.
    const QColor base = palette().color(QPalette::Base);
    const qreal alpha = PlayingTint.alphaF();
    const QColor tint = QColor::fromRgbF(PlayingTint.redF() * alpha + base.redF() * (1 - alpha),
                                         PlayingTint.greenF() * alpha + base.greenF() * (1 - alpha),
                                         PlayingTint.blueF() * alpha + base.blueF() * (1 - alpha));

    QPainter painter(viewport());
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        const QPointF offset = blockBoundingGeometry(block).translated(contentOffset()).topLeft();
        if (offset.y() > area.bottom())
            break;
        if (!block.isVisible())
            continue;
        const QTextLayout *layout = block.layout();
        const int start = std::max(from, block.position()) - block.position();
        const int end = std::min(to, block.position() + block.length() - 1) - block.position();
        // The selected line break of a whole row shows as a sliver at its end.
        const bool toRowEnd = fullWidth && selection.selectionEnd() > block.position() + end;
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const int a = std::max(start, line.textStart());
            const int b = std::min(end, line.textStart() + line.textLength());
            const bool last = i == layout->lineCount() - 1;
            if (a >= b && !(toRowEnd && last))
                continue;
            qreal x0 = line.cursorToX(a), x1 = line.cursorToX(b);
            if (x0 > x1)
                std::swap(x0, x1);
            if (toRowEnd && last)
                x1 = viewport()->width() - offset.x();
            const QRectF cell =
                QRectF(x0, line.y(), x1 - x0, line.height()).translated(offset).intersected(area);
            painter.save();
            painter.setClipRect(cell);
            painter.fillRect(cell, tint);
            layout->draw(&painter, offset, {}, cell);
            painter.restore();
        }
    }
}

void GutteredTextEdit::scrollToShow(const QTextCursor &range)
{
    QTextCursor start(range);
    start.setPosition(range.selectionStart());
    QTextCursor end(range);
    end.setPosition(range.selectionEnd());
    const int height = viewport()->height();
    QScrollBar *bar = verticalScrollBar();
    // The bar counts rows; a handful of steps settles it whatever the
    // rows' heights.
    for (int step = 0; step < 64; ++step) {
        const QRect top = cursorRect(start), bottom = cursorRect(end);
        int delta = 0;
        if (bottom.bottom() > height && top.top() > 0)
            delta = qMax(1, (qMin(bottom.bottom() - height, top.top()) + top.height() - 1)
                                / qMax(1, top.height()));
        else if (top.top() < 0)
            delta = qMin(-1, top.top() / qMax(1, top.height()));
        const int before = bar->value();
        bar->setValue(before + delta);
        if (delta == 0 || bar->value() == before)
            break;
    }
}

void GutteredTextEdit::showDocument(QTextDocument *document)
{
    if (!document || document == this->document())
        return;
    // This editor draws only with the plain-text layout (and refuses a
    // document with any other). The document deletes the one it replaces.
    if (!qobject_cast<QPlainTextDocumentLayout *>(document->documentLayout()))
        document->setDocumentLayout(new QPlainTextDocumentLayout(document));
    m_playing = QTextEdit::ExtraSelection();
    m_tints.clear();
    setDocument(document);
}

void GutteredTextEdit::paintGutter(const QRect &rect)
{
    const GutterLook look = gutterLook();
    QPainter painter(m_gutter);
    painter.fillRect(rect, look.background);
    painter.setPen(look.text);
    painter.setFont(look.font);
    const QFont font = labelFont(painter.font(), look.lineHeight);
    painter.setFont(font);
    // Labels laid out once: shaping each at every repaint cost more than
    // the rest of a keystroke.
    if (font != m_labelFont) {
        m_labelFont = font;
        m_labels.clear();
    }
    const int width = lineNumberAreaWidth();
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    while (block.isValid() && top <= rect.bottom()) {
        if (block.isVisible() && bottom >= rect.top()) {
            const QString text = blockLabel(block);
            if (!text.isEmpty()) {
                auto it = m_labels.find(text);
                if (it == m_labels.end()) {
                    if (m_labels.size() > 4096) // a long act's many characters
                        m_labels.clear();
                    it = m_labels.insert(text, QStaticText(text));
                    it->prepare(QTransform(), font);
                }
                const QSizeF size = it->size();
                painter.drawStaticText(QPointF((width - size.width()) / 2,
                                               top + (look.lineHeight - size.height()) / 2),
                                       *it);
            }
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
    }
}

void GutteredTextEdit::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect cr = contentsRect();
    m_gutter->setGeometry(QRect(cr.left(), cr.top(), lineNumberAreaWidth(), cr.height()));
}

void GutteredTextEdit::layoutGutter()
{
    setViewportMargins(lineNumberAreaWidth(), 0, 0, 0);
    const QRect cr = contentsRect();
    m_gutter->setGeometry(QRect(cr.left(), cr.top(), lineNumberAreaWidth(), cr.height()));
    m_gutter->update();
}

void GutteredTextEdit::showLook(const QColor &text, const QColor &background, const QFont &font)
{
    QPalette pal = palette();
    pal.setBrush(QPalette::Text, text);
    pal.setBrush(QPalette::Base, background);
    setPalette(pal);
    setFont(font);
    // Now, not at the next resize.
    layoutGutter();
}
