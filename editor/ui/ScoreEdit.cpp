// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ui/ScoreEdit.h"

#include "document/GongcheSymbols.h"
#include "document/PairedDocument.h"
#include "editor/EditorConfig.h"
#include "input/ui/InputMethod.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QPlainTextDocumentLayout>
#include <QPointer>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int ContextMarks = 8;

// 头板 .. 腰赠板: the beat marks that set the rhythm context. 底板 (U+F000A)
// is a beat mark too but never starts a suggestion.
bool isContextMark(char32_t c)
{
    return c >= Gongche::TouBan && c <= Gongche::YaoZengBan;
}

// Walks text backwards one symbol at a time (a surrogate pair is one step)
// and appends the context marks it meets, most recent first. True once
// eight are collected.
bool collectMarks(QStringView text, QList<char32_t> &marks)
{
    qsizetype i = text.size();
    while (i > 0 && marks.size() < ContextMarks) {
        char32_t code = text.at(i - 1).unicode();
        qsizetype step = 1;
        if (i >= 2 && text.at(i - 1).isLowSurrogate() && text.at(i - 2).isHighSurrogate()) {
            code = QChar::surrogateToUcs4(text.at(i - 2), text.at(i - 1));
            step = 2;
        }
        if (isContextMark(code))
            marks.append(code);
        i -= step;
    }
    return marks.size() >= ContextMarks;
}

QString chooseMark(const QList<char32_t> &marks)
{
    char32_t chosen = Gongche::TouBan;
    if (marks.size() >= ContextMarks) {
        // A 赠板 among the last eight means a slow beat: look a whole
        // measure back instead of half of one.
        const bool zeng = std::any_of(marks.cbegin(), marks.cbegin() + ContextMarks, [](char32_t c) {
            return c == Gongche::ZengBan || c == Gongche::YaoZengBan;
        });
        chosen = zeng ? marks.at(7) : marks.at(3);
    } else if (marks.size() >= 4) {
        chosen = marks.at(3);
    } else if (marks.size() >= 2) {
        chosen = marks.at(1);
    } else if (marks.size() == 1) {
        chosen = marks.at(0);
    }
    return Gongche::toString(chosen);
}

} // namespace

// A scroll bar that repaints only when it looks different: every sung
// character typed adds a score line and so changes its range, which mostly
// leaves the handle on the same pixels.
class ScoreScrollBar : public QScrollBar
{
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override
    {
        const Look now = look();
        if (change != SliderOrientationChange && now == m_shown)
            return;
        m_shown = now;
        QScrollBar::sliderChange(change);
    }

    void paintEvent(QPaintEvent *event) override
    {
        m_shown = look();
        QScrollBar::paintEvent(event);
    }

private:
    struct Look
    {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look &o) const
        {
            return handle == o.handle && atMinimum == o.atMinimum && atMaximum == o.atMaximum;
        }
    };

    Look look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                value() == minimum(), value() == maximum()};
    }

    Look m_shown;
};

// The plain-text layout, except when lines are inserted or removed (one
// for each sung character typed or deleted): the base class repaints the
// whole pane, while the view repaints only the rows from the change down
// (ScoreEdit::repaintRowsFrom), and for inserted empty lines moves those
// rows down and paints only the new ones (ScoreEdit::moveRowsDown). The
// text is shown by one pane at a time, the one that showed it last.
class ScoreTextLayout : public QPlainTextDocumentLayout
{
public:
    ScoreTextLayout(QTextDocument *document, ScoreEdit *view)
        : QPlainTextDocumentLayout(document)
        , m_view(view)
    {
    }

    void setView(ScoreEdit *view) { m_view = view; }

protected:
    void documentChanged(int from, int removed, int added) override
    {
        const int before = m_blocks;
        m_blocks = document()->blockCount();
        // Lines inserted or removed: the rows above the change stay as
        // they are.
        if (!m_view || m_view->document() != document() || before < 0 || m_blocks == before) {
            QPlainTextDocumentLayout::documentChanged(from, removed, added);
            return;
        }
        {
            const QSignalBlocker quiet(this);
            QPlainTextDocumentLayout::documentChanged(from, removed, added);
        }
        emit documentSizeChanged(documentSize());
        const QTextBlock first = document()->findBlock(from);
        const bool inserted = removed == 0 && added > 0 && m_blocks - before == added
                              && onlyLineBreaks(from, added);
        if (!(inserted ? m_view->moveRowsDown(first, added) : m_view->repaintRowsFrom(first)))
            emit update();
    }

private:
    bool onlyLineBreaks(int from, int count) const
    {
        for (int i = from; i < from + count; ++i)
            if (document()->characterAt(i) != QChar::ParagraphSeparator)
                return false;
        return true;
    }

    QPointer<ScoreEdit> m_view;
    int m_blocks = -1;
};

ScoreEdit::ScoreEdit(QWidget *parent)
    : GutteredTextEdit(parent)
    , m_config(EditorConfig::instance())
{
    // 0x41: no system input method composes here; our own one does.
    setInputMethodHints(Qt::ImhHiddenText | Qt::ImhNoPredictiveText);
    setVerticalScrollBar(new ScoreScrollBar(Qt::Vertical, this));
    layoutGutter();
    connect(m_config, &EditorConfig::configChanged, this, &ScoreEdit::applyAppearance);
    QTimer::singleShot(0, this, &ScoreEdit::applyAppearance);
}

QString ScoreEdit::contextBeatMark(QStringView textBeforeCursor)
{
    QList<char32_t> marks;
    collectMarks(textBeforeCursor, marks);
    return chooseMark(marks);
}

void ScoreEdit::suggestBeatMarks()
{
    // Only as much text as it takes to find eight marks, block by block.
    const QTextCursor cursor = textCursor();
    QList<char32_t> marks;
    QTextBlock block = cursor.block();
    const QString current = block.text();
    bool done = collectMarks(QStringView(current).left(cursor.positionInBlock()), marks);
    for (block = block.previous(); !done && block.isValid(); block = block.previous()) {
        const QString text = block.text();
        done = collectMarks(text, marks);
    }
    const QString mark = chooseMark(marks);
    emit beatMarkSuggested(mark);
    InputMethod::instance()->showSuggestions(mark);
}

void ScoreEdit::insertEmptyLines(int k, int n)
{
    PairedDocument::insertEmptyLines(document(), k, n);
}

void ScoreEdit::removeLines(int k, int n)
{
    PairedDocument::removeLines(document(), k, n);
}

void ScoreEdit::setPairedDocument(PairedDocument *document)
{
    // A text that goes away must not stay shown: a text of the pane's own
    // takes its place.
    if (followPairedDocument(document, [this] { setDocument(nullptr); })) {
        QTextDocument *score = document->scoreDocument();
        if (auto *layout = dynamic_cast<ScoreTextLayout *>(score->documentLayout()))
            layout->setView(this);
        else
            score->setDocumentLayout(new ScoreTextLayout(score, this));
        showDocument(score);
    }
    lineNumberArea()->update();
}

QString ScoreEdit::gutterLabel(int blockNumber) const
{
    const PairedDocument *paired = pairedDocument();
    return paired ? paired->pairedCharacterAt(blockNumber + 1) : QString();
}

QString ScoreEdit::blockLabel(const QTextBlock &block) const
{
    return gutterLabel(block.blockNumber());
}

GutteredTextEdit::GutterLook ScoreEdit::gutterLook() const
{
    return {m_config->scoreLineNumberColor(), m_config->scoreLineNumberBgColor(),
            m_config->scoreLineNumberFont(), QFontMetrics(m_config->scoreFont()).height()};
}

int ScoreEdit::lineNumberAreaWidth() const
{
    // One character: the paired lyric character.
    return m_config->scoreLineNumberMetrics().maxWidth() + 20;
}

void ScoreEdit::applyAppearance()
{
    showLook(m_config->scoreColor(), m_config->scoreBgColor(), m_config->scoreFont());
}

void ScoreEdit::updateLineNumberAreaAll()
{
    lineNumberArea()->update();
}

void ScoreEdit::updateLineNumberAreaFrom(int line)
{
    const QTextBlock block = document()->findBlockByNumber(std::max(line, 0));
    if (!block.isValid())
        return;
    QWidget *gutter = lineNumberArea();
    const int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    if (top < 0 || block.blockNumber() < firstVisibleBlock().blockNumber())
        gutter->update();
    else if (top < gutter->height())
        gutter->update(0, top, gutter->width(), gutter->height() - top);
}

int ScoreEdit::rowTop(const QTextBlock &block) const
{
    if (!viewport()->isVisible() || block.blockNumber() < firstVisibleBlock().blockNumber())
        return -1;
    return std::max(-1, qRound(blockBoundingGeometry(block).translated(contentOffset()).top()));
}

bool ScoreEdit::repaintRowsFrom(const QTextBlock &first)
{
    const int top = rowTop(first);
    if (top < 0)
        return false;
    const int height = viewport()->height();
    if (top < height) {
        QWidget *gutter = lineNumberArea();
        viewport()->update(0, top, viewport()->width(), height - top);
        gutter->update(0, top, gutter->width(), gutter->height() - top);
    }
    return true;
}

bool ScoreEdit::moveRowsDown(const QTextBlock &first, int count)
{
    const int top = rowTop(first);
    const int height = viewport()->height();
    if (top < 0)
        return false;
    if (top >= height)
        return true;
    qreal dy = 0;
    QTextBlock block = first;
    for (int i = 0; i < count && block.isValid(); ++i, block = block.next())
        dy += blockBoundingRect(block).height();
    // The rows from `first` on keep their pixels, one row lower; the new
    // empty rows and their gutter labels are painted.
    const int shift = qRound(dy);
    QWidget *gutter = lineNumberArea();
    viewport()->scroll(0, shift, QRect(0, top, viewport()->width(), height - top));
    gutter->scroll(0, shift, QRect(0, top, gutter->width(), gutter->height() - top));
    return true;
}

void ScoreEdit::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    emit focusLost();
    // A composition never outlives the pane's focus. Before the input
    // method's first use there is nothing to drop.
    if (InputMethod *im = InputMethod::existingInstance())
        im->reset();
}
