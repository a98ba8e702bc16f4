// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/PairingIndex.h"

#include "document/Pairing.h"

#include <QTextBlock>

#include <algorithm>
#include <iterator>

PairingIndex::PairingIndex(const QTextDocument *document, QObject *parent)
    : QObject(parent)
    , m_document(document)
{
    if (!document)
        return;
    connect(document, &QTextDocument::contentsChange, this, &PairingIndex::onContentsChange);
    rebuildAll();
}

PairingIndex::Line PairingIndex::readLine(const QString &text)
{
    Line line;
    line.markup = ScoreSyntax::isMarkupLine(text);
    if (!line.markup) {
        for (const QChar c : text)
            if (ScoreSyntax::isPairedCharacter(c))
                line.paired.append(c);
    }
    return line;
}

void PairingIndex::rebuildAll()
{
    m_lines.clear();
    m_lines.reserve(std::size_t(m_document->blockCount()));
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next())
        m_lines.push_back(readLine(block.text()));
    m_revision = m_document->revision();
    m_prefixValid = 0;
    m_pairedTextValid = false;
}

void PairingIndex::onContentsChange(int position, int removed, int added)
{
    Q_UNUSED(removed);
    if (!m_document)
        return;
    // Blocks before the one holding `position` are untouched; so are the
    // blocks after the one holding the end of the inserted text, which
    // correspond, counted from the end, to the old blocks after the changed
    // region. Re-read only the blocks in between (plus one in front, which
    // costs little and covers a change that starts at a block boundary).
    const int blocks = m_document->blockCount();
    const int oldBlocks = int(m_lines.size());
    const int last = std::max(0, m_document->characterCount() - 1);
    QTextBlock first = m_document->findBlock(std::clamp(position, 0, last));
    QTextBlock end = m_document->findBlock(std::clamp(position + std::max(added, 0), 0, last));
    const int b0 = std::max(0, (first.isValid() ? first.blockNumber() : 0) - 1);
    const int b1New = end.isValid() ? end.blockNumber() : blocks - 1;
    const int b1Old = b1New - (blocks - oldBlocks);
    if (b1New < b0 || b1Old < b0 - 1 || b1Old >= oldBlocks) {
        rebuildAll();
        return;
    }

    std::vector<Line> fresh;
    fresh.reserve(std::size_t(b1New - b0 + 1));
    for (QTextBlock block = m_document->findBlockByNumber(b0);
         block.isValid() && block.blockNumber() <= b1New; block = block.next())
        fresh.push_back(readLine(block.text()));
    if (int(fresh.size()) == b1Old - b0 + 1) {
        // The same lines re-read (typing inside a line): nothing moves.
        std::move(fresh.begin(), fresh.end(), m_lines.begin() + b0);
    } else {
        m_lines.erase(m_lines.begin() + b0, m_lines.begin() + b1Old + 1);
        m_lines.insert(m_lines.begin() + b0, std::make_move_iterator(fresh.begin()),
                       std::make_move_iterator(fresh.end()));
    }
    if (int(m_lines.size()) != blocks) {
        rebuildAll();
        return;
    }
    m_revision = m_document->revision();
    m_prefixValid = std::min(m_prefixValid, std::size_t(b0) + 1);
    m_pairedTextValid = false;
}

bool PairingIndex::ready() const
{
    if (!m_document)
        return false;
    // A different revision without a contentsChange means an edit block is
    // open: its changes are reported only when it closes.
    if (m_document->revision() != m_revision || int(m_lines.size()) != m_document->blockCount())
        return false;
    const std::size_t count = m_lines.size();
    if (m_prefix.size() != count + 1) {
        m_prefix.resize(count + 1);
        m_prefixValid = std::min(m_prefixValid, count + 1);
    }
    if (m_prefixValid < count + 1) {
        std::size_t from = m_prefixValid == 0 ? 0 : m_prefixValid - 1;
        m_prefix[0] = 0;
        if (m_firstNonMarkup >= int(from) || m_firstNonMarkup < 0)
            m_firstNonMarkup = -1;
        for (std::size_t i = from; i < count; ++i) {
            m_prefix[i + 1] = m_prefix[i] + int(m_lines[i].paired.size());
            if (m_firstNonMarkup < 0 && !m_lines[i].markup)
                m_firstNonMarkup = int(i);
        }
        m_prefixValid = count + 1;
    }
    return true;
}

int PairingIndex::lineOfPaired(int n) const
{
    // First line whose running total reaches n; it has paired characters,
    // so it is not a markup line.
    const auto it = std::lower_bound(m_prefix.cbegin() + 1, m_prefix.cend(), n);
    return int(it - m_prefix.cbegin()) - 1;
}

int PairingIndex::scoreLineAt(int position) const
{
    if (!m_document)
        return -1;
    if (!ready())
        return ScoreSyntax::scoreLineAt(DocumentLines(*m_document), position);
    const int end = std::max(0, m_document->characterCount() - 1);
    const int pos = std::clamp(position, 0, end);
    const QTextBlock block = m_document->findBlock(pos);
    if (!block.isValid())
        return m_prefix.back() - 1;
    const int line = block.blockNumber();
    int count = m_prefix[std::size_t(line)];
    if (!m_lines[std::size_t(line)].markup) {
        const QString text = block.text();
        const int offset = std::clamp(pos - block.position(), 0, int(text.size()));
        count += ScoreSyntax::countPairedCharacters(QStringView(text).left(offset));
    }
    return count - 1;
}

int PairingIndex::positionAfterPaired(int n) const
{
    if (!m_document)
        return 0;
    if (!ready())
        return ScoreSyntax::positionAfterPaired(DocumentLines(*m_document), n);
    n = std::max(n, 0);
    const int end = std::max(0, m_document->characterCount() - 1);
    if (n > m_prefix.back())
        return end;
    const int line = n == 0 ? m_firstNonMarkup : lineOfPaired(n);
    if (line < 0)
        return end;
    const QTextBlock block = m_document->findBlockByNumber(line);
    const QString text = block.text();
    const int k = n - m_prefix[std::size_t(line)];
    // Offset of the first paired character for k = 0, just after the k-th
    // otherwise; the line's start when it has none.
    int seen = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!ScoreSyntax::isPairedCharacter(text.at(i)))
            continue;
        if (k == 0)
            return block.position() + int(i);
        if (++seen == k)
            return block.position() + int(i) + 1;
    }
    return block.position() + (k == 0 ? 0 : int(text.size()));
}

QString PairingIndex::pairedText() const
{
    if (!m_document)
        return QString();
    if (!ready())
        return ScoreSyntax::pairedText(DocumentLines(*m_document));
    if (!m_pairedTextValid) {
        m_pairedText.clear();
        m_pairedText.reserve(m_prefix.back());
        for (const Line &line : m_lines)
            m_pairedText.append(line.paired);
        m_pairedTextValid = true;
    }
    return m_pairedText;
}

QString PairingIndex::pairedCharacterAt(int n) const
{
    if (!m_document)
        return QString();
    if (!ready())
        return ScoreSyntax::pairedCharacterAt(DocumentLines(*m_document), n);
    if (n < 1 || n > m_prefix.back())
        return QString();
    const int line = lineOfPaired(n);
    return QString(m_lines[std::size_t(line)].paired.at(n - m_prefix[std::size_t(line)] - 1));
}

int PairingIndex::pairedCount() const
{
    if (!m_document)
        return 0;
    if (!ready())
        return ScoreSyntax::pairedCount(DocumentLines(*m_document));
    return m_prefix.back();
}

int PairingIndex::pairedCountInLines(int first, int last) const
{
    if (!m_document)
        return 0;
    if (!ready())
        return ScoreSyntax::pairedCountInLines(DocumentLines(*m_document), first, last);
    first = std::max(first, 0);
    last = std::min(last, int(m_lines.size()) - 1);
    if (first > last)
        return 0;
    return m_prefix[std::size_t(last) + 1] - m_prefix[std::size_t(first)];
}
