// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/LyricHighlighter.h"

#include "document/ScoreSyntax.h"
#include "editor/EditorConfig.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace {

// Either break marker at the start of a line.
const QRegularExpression &breakMarkerPattern()
{
    static const QRegularExpression pattern = [] {
        QRegularExpression p(QStringLiteral("(%1)|(%2)")
                                 .arg(ScoreSyntax::patternSource(LineBreak),
                                      ScoreSyntax::patternSource(PageBreak)));
        p.optimize();
        return p;
    }();
    return pattern;
}

// The patterns refuse text holding a stray surrogate outright, which would
// leave the whole line unformatted. A replacement character of the same
// length keeps every position and matches no rule, so only the stray unit
// itself stays in the error colour.
QString withoutStraySurrogates(const QString &text)
{
    QString clean;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        bool stray = false;
        if (c.isHighSurrogate()) {
            if (i + 1 < n && text.at(i + 1).isLowSurrogate())
                ++i;
            else
                stray = true;
        } else if (c.isLowSurrogate()) {
            stray = true;
        }
        if (stray) {
            if (clean.isNull())
                clean = text;
            clean[i] = QChar::ReplacementCharacter;
        }
    }
    return clean.isNull() ? text : clean;
}

// A block's user state once its formats match its text; any other value
// (a new block has -1) means it waits.
constexpr int Formatted = 1;

} // namespace

LyricHighlighter::LyricHighlighter(QTextDocument *document, EditorConfig *config)
    : QObject(document)
    , m_document(document)
    , m_config(config ? config : EditorConfig::instance())
{
    setupRules();
    connect(m_config, &EditorConfig::configChanged, this, &LyricHighlighter::onConfigChanged);
    if (!document)
        return;
    connect(document, &QTextDocument::contentsChange, this, &LyricHighlighter::onContentsChange);
    reformat(0, document->characterCount());
}

void LyricHighlighter::setupRules()
{
    m_rules.clear();

    const auto add = [this](const QRegularExpression &pattern, QTextCharFormat &format,
                            const QColor &color) {
        format.setForeground(QBrush(color, Qt::SolidPattern));
        m_rules.append({pattern, format});
    };

    // Later rules overwrite earlier ones on the characters they cover.
    add(ScoreSyntax::pattern(Punctuation), m_punctuationFormat, m_config->biaoDianColor());
    add(ScoreSyntax::pattern(Lyric), m_lyricFormat, m_config->lyricColor());
    m_titleFormat.setFontWeight(QFont::Bold);
    add(ScoreSyntax::pattern(Title), m_titleFormat, m_config->titleColor());
    add(ScoreSyntax::pattern(JiaBai), m_jiaBaiFormat, m_config->jiaBaiColor());
    add(ScoreSyntax::pattern(LianBai), m_lianBaiFormat, m_config->lianBaiColor());
    add(ScoreSyntax::pattern(QuPai), m_quPaiFormat, m_config->quPaiColor());
    add(ScoreSyntax::pattern(Comment), m_commentFormat, m_config->commentColor());
    add(breakMarkerPattern(), m_breakFormat, m_config->breakSymbolColor());
}

void LyricHighlighter::onConfigChanged()
{
    setupRules();
    if (!m_document)
        return;
    if (m_document->blockCount() <= ImmediateLines) {
        rehighlight();
        return;
    }
    // Every line keeps its old colours until a view shows it again.
    for (QTextBlock b = m_document->begin(); b.isValid(); b = b.next())
        b.setUserState(-1);
    emit linesPending();
}

void LyricHighlighter::rehighlight()
{
    if (!m_document)
        return;
    for (QTextBlock b = m_document->begin(); b.isValid(); b = b.next())
        highlightBlock(b);
}

bool LyricHighlighter::isPending(const QTextBlock &block)
{
    return block.userState() != Formatted;
}

void LyricHighlighter::highlightBlocks(QTextBlock first, int count)
{
    for (; first.isValid() && count > 0; first = first.next(), --count)
        if (isPending(first))
            highlightBlock(first);
}

void LyricHighlighter::onContentsChange(int position, int removed, int added)
{
    // Applying formats announces a change of that line too.
    if (m_applying)
        return;
    m_changeFirst = m_document->findBlock(position).blockNumber();
    m_changeLast = m_document->findBlock(std::max(position, position + added - 1)).blockNumber();
    reformat(position, added + (removed > 0 ? 1 : 0));
    m_changeFirst = m_changeLast = -1;
}

void LyricHighlighter::reformat(int position, int length)
{
    const QTextBlock first = m_document->findBlock(position);
    if (!first.isValid())
        return;
    QTextBlock last = m_document->findBlock(position + length);
    if (!last.isValid())
        last = m_document->lastBlock();
    if (last.blockNumber() - first.blockNumber() < ImmediateLines) {
        for (QTextBlock b = first; b.isValid(); b = b.next()) {
            highlightBlock(b);
            if (b == last)
                break;
        }
        return;
    }
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        b.setUserState(-1);
        if (b == last)
            break;
    }
    emit linesPending();
}

QList<QTextLayout::FormatRange> LyricHighlighter::formatsFor(const QString &text) const
{
    // The rule that claims each character, later rules winning.
    const QString subject = withoutStraySurrogates(text);
    std::vector<int> owner(std::size_t(text.size()), -1);
    for (int r = 0; r < int(m_rules.size()); ++r) {
        QRegularExpressionMatchIterator it = m_rules.at(r).pattern.globalMatch(subject);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            const qsizetype end = std::min(match.capturedEnd(), text.size());
            for (qsizetype i = std::max<qsizetype>(match.capturedStart(), 0); i < end; ++i)
                owner[std::size_t(i)] = r;
        }
    }
    // Runs of equal formats, as a syntax highlighter merges them.
    QList<QTextLayout::FormatRange> ranges;
    for (int i = 0; i < int(owner.size());) {
        const int r = owner[std::size_t(i)];
        int j = i + 1;
        if (r < 0) {
            i = j;
            continue;
        }
        const QTextCharFormat &format = m_rules.at(r).format;
        while (j < int(owner.size()) && owner[std::size_t(j)] >= 0
               && (owner[std::size_t(j)] == r || m_rules.at(owner[std::size_t(j)]).format == format))
            ++j;
        ranges.append({i, j - i, format});
        i = j;
    }
    return ranges;
}

void LyricHighlighter::highlightBlock(QTextBlock block)
{
    QTextLayout *layout = block.layout();
    QList<QTextLayout::FormatRange> ranges = formatsFor(block.text());
    // An input method's composition keeps its own formats; the line's
    // shift past it.
    const int preeditStart = layout->preeditAreaPosition();
    const int preeditLength = int(layout->preeditAreaText().size());
    if (preeditLength > 0) {
        for (QTextLayout::FormatRange &r : ranges) {
            if (r.start >= preeditStart)
                r.start += preeditLength;
            else if (r.start + r.length >= preeditStart)
                r.length += preeditLength;
        }
        QList<QTextLayout::FormatRange> kept = layout->formats();
        kept.removeIf([=](const QTextLayout::FormatRange &r) {
            return r.start < preeditStart || r.start + r.length > preeditStart + preeditLength;
        });
        ranges = kept + ranges;
    }
    block.setUserState(Formatted);
    if (ranges == layout->formats())
        return;
    // New formats announce the line as changed: at once while a change is
    // being announced, which the document's layout handles right after;
    // otherwise only with the next edit, so the line is marked dirty now.
    const int number = block.blockNumber();
    m_applying = true;
    layout->setFormats(ranges);
    if (number < m_changeFirst || number > m_changeLast)
        m_document->markContentsDirty(block.position(), 1);
    m_applying = false;
}
