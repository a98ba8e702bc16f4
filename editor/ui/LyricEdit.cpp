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

LyricEdit::LyricEdit(QWidget *parent)
    : GutteredTextEdit(parent)
    , m_config(EditorConfig::instance())
{
    layoutGutter();
    connect(m_config, &EditorConfig::configChanged, this, &LyricEdit::applyAppearance);
    // After construction, so whoever creates the pane has finished with it.
    QTimer::singleShot(0, this, &LyricEdit::applyAppearance);
    showText(document());
}

void LyricEdit::setPairedDocument(PairedDocument *document)
{
    // A text that goes away must not stay shown: a text of the pane's own
    // takes its place.
    if (followPairedDocument(document, [this] { showText(nullptr); }))
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

const PairingIndex &LyricEdit::pairingIndex() const
{
    if (PairedDocument *paired = pairedDocument(); paired && paired->lyricDocument() == document())
        return paired->pairing();
    if (!m_pairing || m_pairing->document() != document()) {
        delete m_pairing;
        m_pairing = new PairingIndex(document(), const_cast<LyricEdit *>(this));
    }
    return *m_pairing;
}

void LyricEdit::highlightCharacterBefore(int position)
{
    const int to = std::clamp(std::max(position, 1), 0, document()->characterCount() - 1);
    QTextCursor cursor(document());
    cursor.setPosition(std::max(to - 1, 0));
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    showPairing(cursor, false);
}

LyricEdit::FindResult LyricEdit::findNext(const QString &text)
{
    return findMatch(text, false);
}

LyricEdit::FindResult LyricEdit::findPrevious(const QString &text)
{
    return findMatch(text, true);
}

LyricEdit::FindResult LyricEdit::findMatch(const QString &text, bool backward)
{
    // Every match, in the order the search meets them from its end of the
    // document.
    QList<QTextEdit::ExtraSelection> selections;
    QTextCursor search(document());
    if (backward)
        search.movePosition(QTextCursor::End);
    while (backward ? !search.atStart() : !search.atEnd()) {
        search.clearSelection();
        search = document()->find(text, search,
                                  backward ? QTextDocument::FindBackward : QTextDocument::FindFlags());
        if (search.isNull())
            break;
        QTextEdit::ExtraSelection selection;
        selection.cursor = search;
        selection.format.setBackground(OtherMatch);
        selections.append(selection);
        if (backward)
            search.setPosition(search.selectionStart());
    }
    FindResult result;
    result.count = int(selections.size());
    if (selections.isEmpty()) {
        setExtraSelections(selections);
        return result;
    }
    // The first match past the cursor becomes current; past the last one
    // the search wraps around to the first.
    const int c = textCursor().position();
    auto current = std::find_if(selections.begin(), selections.end(), [&](const auto &s) {
        return backward ? s.cursor.selectionEnd() <= c : s.cursor.selectionEnd() > c;
    });
    if (current == selections.end())
        current = selections.begin();
    current->format.setBackground(CurrentMatch);
    const int i = int(current - selections.begin());
    result.current = backward ? result.count - i : i + 1;
    QTextCursor cursor = textCursor();
    cursor.setPosition(backward ? current->cursor.selectionStart() : current->cursor.selectionEnd());
    setTextCursor(cursor);
    setExtraSelections(selections);
    return result;
}

int LyricEdit::lineNumberAreaWidth() const
{
    // Room for a two-character label.
    return m_config->lyricLineNumberMetrics().maxWidth() * 2 + 20;
}

void LyricEdit::applyAppearance()
{
    // Plain text shows in the error colour: whatever the highlighter
    // leaves unformatted fits none of its rules.
    showLook(m_config->errorColor(), m_config->lyricBgColor(), m_config->lyricFont());
}

GutteredTextEdit::GutterLook LyricEdit::gutterLook() const
{
    return {m_config->lyricLineNumberColor(), m_config->lyricLineNumberBgColor(),
            m_config->lyricLineNumberFont(), QFontMetrics(m_config->lyricFont()).height()};
}

QString LyricEdit::blockLabel(const QTextBlock &block) const
{
    return lineLabel(block.text());
}
