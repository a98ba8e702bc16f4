// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/SymbolDictionary.h"

#include <QList>
#include <QString>
#include <QStringList>

// The composition state of the input method, without any window: the typed
// letters cut into segments, the ranked candidates built from them, paging
// and selection, and the beat-mark suggestion mode. The candidate window
// draws this state and forwards keys to it.
class Composition
{
public:
    // dictionary must outlive the composition.
    explicit Composition(const SymbolDictionary *dictionary, int pageSize = 6);

    static constexpr int MaxSegments = 6;
    static constexpr int MaxCombinations = 60;

    // Every candidate of previous followed by every candidate of next (next
    // in the outer loop), weights summed, at most 60, sorted by weight.
    // An empty side drops out.
    static QList<Candidate> combine(const QList<Candidate> &previous,
                                    const QList<Candidate> &next);

    // Adds one typed letter; false when ignored (six segments on hand, or
    // suggestion mode).
    bool appendLetter(QChar letter);
    // Backspace: drops the last letter; the composition resets when none is
    // left (and in suggestion mode).
    void removeLetter();
    // Suggestion mode for the mark before the cursor: 14 beat marks, or no
    // candidates for anything else.
    void showSuggestions(const QString &contextSymbol);
    // The selected candidate (possibly ""); the composition resets.
    QString commitCurrent();
    // Selects candidate number (1-based) of the current page and commits it;
    // "" and no change when the page has no such candidate.
    QString selectByNumber(int number);
    void reset();

    void previousPage();      // comma / Up
    void nextPage();          // period / Down
    void previousCandidate(); // Left
    void nextCandidate();     // Right

    bool isActive() const { return !m_segments.isEmpty(); }
    bool isSuggesting() const;
    const QList<Segment> &segments() const { return m_segments; }
    const QStringList &candidates() const { return m_candidates; }
    QStringList pageCandidates() const;
    QString compositionString() const { return m_composition; }
    int page() const { return m_page; }
    int selection() const { return m_selection; }
    int pageCount() const;
    int pageSize() const { return m_pageSize; }
    // Index of the selected candidate in candidates().
    int currentIndex() const { return m_page * m_pageSize + m_selection; }
    QString currentCandidate() const;

    // Per segment k: the exact candidates of segments 0..k, and those of
    // 0..k-1 combined with the prefix matches of k.
    const QList<QList<Candidate>> &exactStack() const { return m_exactStack; }
    const QList<QList<Candidate>> &prefixStack() const { return m_prefixStack; }

private:
    void clearView();
    void pushSegment(const QString &text);
    void pushLookups(const QList<Candidate> &exact, const QList<Candidate> &prefix);
    void rebuildView();
    int lastPage() const;
    int lastIndexOnLastPage() const;

    const SymbolDictionary *m_dictionary;
    int m_pageSize;
    QList<Segment> m_segments;
    QList<QList<Candidate>> m_exactStack;
    QList<QList<Candidate>> m_prefixStack;
    QStringList m_candidates;
    QString m_composition;
    int m_page = 0;
    int m_selection = 0;
};
