// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/Composition.h"

#include <algorithm>

Composition::Composition(const SymbolDictionary *dictionary, int pageSize)
    : m_dictionary(dictionary), m_pageSize(std::max(1, pageSize))
{
}

QList<Candidate> Composition::combine(const QList<Candidate> &previous,
                                      const QList<Candidate> &next)
{
    if (previous.isEmpty())
        return next;
    if (next.isEmpty())
        return previous;
    QList<Candidate> result;
    result.reserve(std::min<qsizetype>(MaxCombinations, previous.size() * next.size()));
    for (const Candidate &b : next) {
        for (const Candidate &a : previous) {
            if (result.size() >= MaxCombinations)
                break;
            result.append(Candidate{a.text + b.text, a.weight + b.weight});
        }
        if (result.size() >= MaxCombinations)
            break;
    }
    if (result.size() > 1)
        std::stable_sort(result.begin(), result.end(),
                         [](const Candidate &x, const Candidate &y) { return x.weight > y.weight; });
    return result;
}

bool Composition::isSuggesting() const
{
    return !m_segments.isEmpty() && m_segments.first().text == QLatin1String("*");
}

void Composition::clearView()
{
    m_candidates.clear();
    m_composition.clear();
    m_page = 0;
    m_selection = 0;
}

void Composition::pushLookups(const QList<Candidate> &exact, const QList<Candidate> &prefix)
{
    if (m_exactStack.isEmpty() || m_prefixStack.isEmpty()) {
        m_exactStack.append(exact);
        m_prefixStack.append(prefix);
    } else {
        // Earlier segments are combined once and reused from the stack.
        const QList<Candidate> top = m_exactStack.last();
        m_exactStack.append(combine(top, exact));
        m_prefixStack.append(combine(top, prefix));
    }
}

void Composition::pushSegment(const QString &text)
{
    if (!m_dictionary) {
        pushLookups({}, {});
        return;
    }
    pushLookups(m_dictionary->lookup(text, false), m_dictionary->lookup(text, true));
}

void Composition::rebuildView()
{
    QStringList texts;
    texts.reserve(m_segments.size());
    for (const Segment &s : m_segments)
        texts.append(s.text);
    m_composition = texts.join(QLatin1Char('\''));

    m_candidates.clear();
    if (!m_prefixStack.isEmpty()) {
        for (const Candidate &c : m_prefixStack.last())
            m_candidates.append(c.text);
    }
    // Nothing matches: one empty candidate, which commits as nothing.
    if (m_candidates.isEmpty())
        m_candidates.append(QString());
}

bool Composition::appendLetter(QChar letter)
{
    if (m_segments.size() >= MaxSegments || isSuggesting())
        return false;
    clearView();

    QList<Segment> fresh;
    if (!m_segments.isEmpty()) {
        const QString text = m_segments.last().text + letter;
        fresh = m_dictionary ? m_dictionary->segmentInput(text)
                             : QList<Segment>{Segment{text, false}};
        m_segments.removeLast();
    } else {
        fresh = m_dictionary ? m_dictionary->segmentInput(QString(letter))
                             : QList<Segment>{Segment{QString(letter), false}};
    }
    m_segments.append(fresh);

    if (!m_exactStack.isEmpty())
        m_exactStack.removeLast();
    if (!m_prefixStack.isEmpty())
        m_prefixStack.removeLast();
    for (const Segment &s : fresh)
        pushSegment(s.text);

    rebuildView();
    return true;
}

void Composition::removeLetter()
{
    if (m_segments.isEmpty()) {
        reset();
        return;
    }
    clearView();
    if (!m_exactStack.isEmpty())
        m_exactStack.removeLast();
    if (!m_prefixStack.isEmpty())
        m_prefixStack.removeLast();

    Segment &last = m_segments.last();
    last.text.chop(1);
    if (last.text.isEmpty()) {
        m_segments.removeLast();
    } else {
        // Looked up again as one piece; no new segmentation.
        const QList<Candidate> exact =
            m_dictionary ? m_dictionary->lookup(last.text, false) : QList<Candidate>();
        const QList<Candidate> prefix =
            m_dictionary ? m_dictionary->lookup(last.text, true) : QList<Candidate>();
        last.complete = !prefix.isEmpty();
        pushLookups(exact, prefix);
    }

    if (m_segments.isEmpty()) {
        reset();
        return;
    }
    rebuildView();
}

void Composition::showSuggestions(const QString &contextSymbol)
{
    clearView();
    if (m_dictionary)
        m_candidates = m_dictionary->suggestionsFor(contextSymbol);
    m_segments = {Segment{QStringLiteral("*"), true}};
    m_composition = contextSymbol;
}

QString Composition::currentCandidate() const
{
    const int index = currentIndex();
    return index >= 0 && index < m_candidates.size() ? m_candidates.at(index) : QString();
}

QString Composition::commitCurrent()
{
    const QString chosen = currentCandidate();
    reset();
    return chosen;
}

QString Composition::selectByNumber(int number)
{
    const int count = int(m_candidates.size());
    const int lastValid = m_page == count / m_pageSize
                              ? std::max(count % m_pageSize - 1, 0)
                              : m_pageSize - 1;
    const int index = number - 1;
    // The range check on the whole list also covers an empty list (no
    // suggestions for the context), where the page rule alone allows 1.
    if (index < 0 || index > lastValid || m_page * m_pageSize + index >= count)
        return QString();
    m_selection = index;
    return commitCurrent();
}

void Composition::reset()
{
    clearView();
    m_segments.clear();
    m_exactStack.clear();
    m_prefixStack.clear();
}

int Composition::pageCount() const
{
    return (int(m_candidates.size()) - 1) / m_pageSize + 1;
}

int Composition::lastPage() const
{
    return std::max((int(m_candidates.size()) - 1) / m_pageSize, 0);
}

int Composition::lastIndexOnLastPage() const
{
    return std::max((int(m_candidates.size()) - 1) % m_pageSize, 0);
}

QStringList Composition::pageCandidates() const
{
    return m_candidates.mid(qsizetype(m_page) * m_pageSize, m_pageSize);
}

void Composition::previousPage()
{
    m_page = std::max(m_page - 1, 0);
}

void Composition::nextPage()
{
    const int last = lastPage();
    if (m_page + 1 < last) {
        ++m_page;
    } else {
        m_page = last;
        m_selection = std::min(m_selection, lastIndexOnLastPage());
    }
}

void Composition::previousCandidate()
{
    --m_selection;
    if (m_selection < 0) {
        if (m_page > 0) {
            --m_page;
            m_selection = m_pageSize - 1;
        } else {
            m_selection = 0;
        }
    }
}

void Composition::nextCandidate()
{
    if (m_page == lastPage()) {
        m_selection = std::min(m_selection + 1, lastIndexOnLastPage());
    } else if (++m_selection > m_pageSize - 1) {
        ++m_page;
        m_selection = 0;
    }
}
