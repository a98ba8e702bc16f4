#include "editor/GutteredTextEdit.h"

#include <QPainter>
#include <QTextBlock>

void GutteredTextEdit::paintBlockLabels(
    QPainter &painter, const QRect &rect, int width, int lineHeight,
    const std::function<QString(const QTextBlock &)> &label) const
{
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    while (block.isValid() && top <= rect.bottom()) {
        if (block.isVisible() && bottom >= rect.top()) {
            const QString text = label(block);
            if (!text.isEmpty())
                painter.drawText(0, top, width, lineHeight, Qt::AlignCenter, text);
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
    }
}

void GutteredTextEdit::updateGutter(QWidget *gutter, const QRect &rect, int dy, int width)
{
    if (dy)
        gutter->scroll(0, dy);
    else
        gutter->update(0, rect.y(), width, rect.height());
}

void GutteredTextEdit::placeGutter(QWidget *gutter, int width) const
{
    const QRect cr = contentsRect();
    gutter->setGeometry(QRect(cr.left(), cr.top(), width, cr.height()));
}
