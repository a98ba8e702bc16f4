// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/LineSource.h"

#include <QTextBlock>
#include <QTextDocument>

LineSource::~LineSource() = default;

int LineSource::endPosition() const
{
    const int last = lineCount() - 1;
    return lineStart(last) + int(lineText(last).size());
}

DocumentLines::DocumentLines(const QTextDocument &document)
    : m_document(document)
{
}

int DocumentLines::lineCount() const
{
    return std::max(1, m_document.blockCount());
}

QString DocumentLines::lineText(int line) const
{
    const QTextBlock block = m_document.findBlockByNumber(line);
    return block.isValid() ? block.text() : QString();
}

int DocumentLines::lineStart(int line) const
{
    const int clamped = std::clamp(line, 0, lineCount() - 1);
    const QTextBlock block = m_document.findBlockByNumber(clamped);
    return block.isValid() ? block.position() : 0;
}

int DocumentLines::lineAt(int position) const
{
    // characterCount() includes the final paragraph separator, which is no
    // cursor position; findBlock() gives an invalid block from there on.
    const int last = std::max(0, m_document.characterCount() - 1);
    const QTextBlock block = m_document.findBlock(std::clamp(position, 0, last));
    return block.isValid() ? block.blockNumber() : lineCount() - 1;
}

PlainLines::PlainLines(const QStringList &lines)
    : m_lines(lines)
{
    indexLines();
}

PlainLines::PlainLines(const QString &text)
    : m_lines(text.split(QLatin1Char('\n')))
{
    indexLines();
}

void PlainLines::indexLines()
{
    if (m_lines.isEmpty())
        m_lines.append(QString());
    m_starts.reserve(m_lines.size());
    int start = 0;
    for (const QString &line : std::as_const(m_lines)) {
        m_starts.append(start);
        start += int(line.size()) + 1;
    }
}

int PlainLines::lineCount() const
{
    return int(m_lines.size());
}

QString PlainLines::lineText(int line) const
{
    return line >= 0 && line < m_lines.size() ? m_lines.at(line) : QString();
}

int PlainLines::lineStart(int line) const
{
    return m_starts.at(std::clamp(line, 0, lineCount() - 1));
}

int PlainLines::lineAt(int position) const
{
    const auto after = std::upper_bound(m_starts.cbegin(), m_starts.cend(), position);
    return std::max(0, int(after - m_starts.cbegin()) - 1);
}
