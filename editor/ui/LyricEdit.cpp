// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ui/LyricEdit.h"

#include "document/PairedDocument.h"
#include "document/PairingIndex.h"
#include "document/Pairing.h"
#include "editor/EditorConfig.h"
#include "editor/LyricHighlighter.h"

#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>

namespace {

// Tint shared by the pairing highlights of both panes.
const QColor PairingTint(0, 100, 100, 60);
const QColor CurrentMatch(255, 150, 50);
const QColor OtherMatch(255, 255, 0);

// The plain-text layout with one change: new formats of a line announce
// the whole line as replaced, a change that the base class takes for one
// reaching into the next line, repainting the whole pane for every typed
// character. With the line count unchanged and the new text inside one
// line, the change is that line's alone; the rows below are repainted only
// when it takes more or fewer rows than before.
class LyricTextLayout : public QPlainTextDocumentLayout
{
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

protected:
    void documentChanged(int from, int removed, int added) override
    {
        const int blocks = document()->blockCount();
        const bool sameCount = blocks == m_blocks;
        m_blocks = blocks;
        const QTextBlock block = document()->findBlock(from);
        if (!sameCount || added <= 0 || block != document()->findBlock(from + added - 1)) {
            QPlainTextDocumentLayout::documentChanged(from, removed, added);
            return;
        }
        const int rows = block.lineCount();
        QPlainTextDocumentLayout::documentChanged(from, 0, added);
        if (block.lineCount() != rows)
            emit update();
    }

private:
    int m_blocks = -1;
};

} // namespace

// ---- Gutter -----------------------------------------------------------------

LyricLineNumberArea::LyricLineNumberArea(LyricEdit *editor)
    : QWidget(editor)
    , m_editor(editor)
{
}

QSize LyricLineNumberArea::sizeHint() const
{
    return QSize(m_editor->lineNumberAreaWidth(), m_editor->height());
}

void LyricLineNumberArea::paintEvent(QPaintEvent *event)
{
    m_editor->lineNumberAreaPaintEvent(event);
}

// ---- Pane -------------------------------------------------------------------

LyricEdit::LyricEdit(QWidget *parent)
    : GutteredTextEdit(parent)
    , m_config(EditorConfig::instance())
    , m_gutter(new LyricLineNumberArea(this))
{
    // It paints every pixel: nothing beneath it is repainted with it.
    m_gutter->setAttribute(Qt::WA_OpaquePaintEvent);
    setViewportMargins(lineNumberAreaWidth(), 0, 0, 0);
    connect(this, &QPlainTextEdit::updateRequest, this, &LyricEdit::updateLineNumberArea);
    connect(m_config, &EditorConfig::configChanged, this, &LyricEdit::applyAppearance);
    // After construction, so whoever creates the pane has finished with it.
    QTimer::singleShot(0, this, &LyricEdit::applyAppearance);
    showText(document());
}

void LyricEdit::setPairedDocument(PairedDocument *document)
{
    if (m_paired)
        disconnect(m_paired, nullptr, this, nullptr);
    m_paired = document;
    if (!document)
        return;
    // A text that goes away must not stay shown: a text of the pane's own
    // takes its place.
    connect(document, &QObject::destroyed, this, [this] { showText(nullptr); });
    showText(document->lyricDocument());
}

void LyricEdit::showText(QTextDocument *text)
{
    // The highlighter colours the text shown, and belongs to that text.
    delete m_highlighter;
    if (text && text != document() && !dynamic_cast<LyricTextLayout *>(text->documentLayout()))
        text->setDocumentLayout(new LyricTextLayout(text));
    if (text)
        showDocument(text);
    else
        setDocument(nullptr);
    m_highlighter = new LyricHighlighter(this->document());
    // Lines it left for later are coloured when painted.
    connect(m_highlighter, &LyricHighlighter::linesPending, viewport(),
            qOverload<>(&QWidget::update));
    delete m_pairing;
}

void LyricEdit::paintEvent(QPaintEvent *event)
{
    // Colours the lines about to be shown that wait for it; every block
    // takes at least one row.
    if (m_highlighter) {
        const int rows = viewport()->height() / std::max(1, fontMetrics().lineSpacing()) + 2;
        m_highlighter->highlightBlocks(firstVisibleBlock(), rows);
    }
    GutteredTextEdit::paintEvent(event);
}

QString LyricEdit::lineLabel(QStringView line)
{
    switch (ScoreSyntax::classify(line)) {
    case Title:
        return QStringLiteral("标题");
    case Comment:
        return QStringLiteral("注释");
    case JiaBai:
        return QStringLiteral("夹白");
    case LianBai:
        return QStringLiteral("念白");
    case QuPai:
        return QStringLiteral("曲牌");
    case LineBreak:
        return QStringLiteral("换行");
    case PageBreak:
        return QStringLiteral("分页");
    case Lyric:
        return QStringLiteral("唱");
    default:
        return QString();
    }
}

PairedDocument *LyricEdit::pairedDocument() const
{
    return m_paired;
}

const PairingIndex &LyricEdit::pairingIndex() const
{
    if (m_paired && m_paired->lyricDocument() == document())
        return m_paired->pairing();
    if (!m_pairing || m_pairing->document() != document()) {
        delete m_pairing;
        m_pairing = new PairingIndex(document(), const_cast<LyricEdit *>(this));
    }
    return *m_pairing;
}

int LyricEdit::scoreLineAt(int position) const
{
    return pairingIndex().scoreLineAt(position);
}

int LyricEdit::positionAfterPaired(int n) const
{
    return pairingIndex().positionAfterPaired(n);
}

QString LyricEdit::pairedText() const
{
    return pairingIndex().pairedText();
}

QString LyricEdit::pairedCharacterAt(int n) const
{
    return pairingIndex().pairedCharacterAt(n);
}

void LyricEdit::highlightLineAt(int position)
{
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(document());
    selection.cursor.setPosition(std::clamp(position, 0, document()->characterCount() - 1));
    selection.format.setBackground(PairingTint);
    selection.format.setProperty(QTextFormat::FullWidthSelection, true);
    setExtraSelections({selection});
}

void LyricEdit::highlightCharacterBefore(int position)
{
    const int end = document()->characterCount() - 1;
    const int to = std::clamp(std::max(position, 1), 0, end);
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(document());
    selection.cursor.setPosition(std::max(to - 1, 0));
    selection.cursor.setPosition(to, QTextCursor::KeepAnchor);
    selection.format.setBackground(PairingTint);
    setExtraSelections({selection});
}

LyricEdit::FindResult LyricEdit::findNext(const QString &text)
{
    const int c = textCursor().position();
    QTextCursor search(document());
    FindResult result;
    QList<QTextEdit::ExtraSelection> selections;
    while (!search.atEnd()) {
        search.clearSelection();
        search = document()->find(text, search);
        if (search.isNull())
            break;
        ++result.count;
        QTextEdit::ExtraSelection selection;
        selection.cursor = search;
        if (result.current == 0 && search.selectionEnd() > c) {
            result.current = result.count;
            selection.format.setBackground(CurrentMatch);
            QTextCursor cursor = textCursor();
            cursor.setPosition(search.selectionEnd());
            setTextCursor(cursor);
        } else {
            selection.format.setBackground(OtherMatch);
        }
        selections.append(selection);
    }
    if (result.current == 0 && result.count > 0) {
        result.current = 1;
        selections.first().format.setBackground(CurrentMatch);
        QTextCursor cursor = textCursor();
        cursor.setPosition(selections.first().cursor.selectionEnd());
        setTextCursor(cursor);
    }
    setExtraSelections(selections);
    return result;
}

LyricEdit::FindResult LyricEdit::findPrevious(const QString &text)
{
    const int c = textCursor().position();
    QTextCursor search(document());
    search.movePosition(QTextCursor::End);
    int k = 0;
    FindResult result;
    QList<QTextEdit::ExtraSelection> selections;
    while (!search.atStart()) {
        search.clearSelection();
        search = document()->find(text, search, QTextDocument::FindBackward);
        if (search.isNull())
            break;
        ++result.count;
        QTextEdit::ExtraSelection selection;
        selection.cursor = search;
        if (k == 0 && search.selectionEnd() <= c) {
            k = result.count;
            selection.format.setBackground(CurrentMatch);
            QTextCursor cursor = textCursor();
            cursor.setPosition(search.selectionStart());
            setTextCursor(cursor);
        } else {
            selection.format.setBackground(OtherMatch);
        }
        selections.append(selection);
        search.setPosition(search.selectionStart());
    }
    if (k > 0) {
        result.current = result.count - k + 1;
    } else if (result.count > 0) {
        result.current = result.count;
        selections.first().format.setBackground(CurrentMatch);
        QTextCursor cursor = textCursor();
        cursor.setPosition(selections.first().cursor.selectionStart());
        setTextCursor(cursor);
    }
    setExtraSelections(selections);
    return result;
}

int LyricEdit::lineNumberAreaWidth() const
{
    // Room for a two-character label.
    return m_config->lyricLineNumberMetrics().maxWidth() * 2 + 20;
}

QWidget *LyricEdit::lineNumberArea() const
{
    return m_gutter;
}

void LyricEdit::applyAppearance()
{
    QPalette pal = palette();
    // Plain text shows in the error colour: whatever the highlighter
    // leaves unformatted fits none of its rules.
    pal.setBrush(QPalette::Text, m_config->errorColor());
    pal.setBrush(QPalette::Base, m_config->lyricBgColor());
    setPalette(pal);
    setFont(m_config->lyricFont());
    // The gutter font may have changed: re-reserve its width now, not at
    // the next resize.
    layoutGutter(m_gutter, lineNumberAreaWidth());
}

void LyricEdit::updateLineNumberArea(const QRect &rect, int dy)
{
    updateGutter(m_gutter, rect, dy, lineNumberAreaWidth());
}

void LyricEdit::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    placeGutter(m_gutter, lineNumberAreaWidth());
}

void LyricEdit::lineNumberAreaPaintEvent(QPaintEvent *event)
{
    QPainter painter(m_gutter);
    painter.setPen(m_config->lyricLineNumberColor());
    painter.setBrush(m_config->lyricLineNumberBgColor());
    painter.setFont(m_config->lyricLineNumberFont());
    painter.fillRect(event->rect(), m_config->lyricLineNumberBgColor());

    const int width = lineNumberAreaWidth();
    const int lineHeight = QFontMetrics(m_config->lyricFont()).height();
    paintBlockLabels(painter, event->rect(), width, lineHeight,
                     [](const QTextBlock &block) { return lineLabel(block.text()); });
}
