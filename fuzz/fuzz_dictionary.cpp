// SPDX-License-Identifier: GPL-3.0-or-later
// The input-method dictionary (wordsdict.csv): any file loads, and lookups
// and segmentation of the letters found in it keep their promises.

#include "FuzzSupport.h"

#include "input/SymbolDictionary.h"

namespace {

bool isOneCodePoint(const QString &s)
{
    if (s.size() == 1)
        return !s.at(0).isSurrogate();
    return s.size() == 2 && s.at(0).isHighSurrogate() && s.at(1).isLowSurrogate();
}

void checkCandidates(const QList<Candidate> &candidates, const QString &abbreviation)
{
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        FUZZ_CHECK(isOneCodePoint(candidates.at(i).text), abbreviation);
        FUZZ_CHECK(i == 0 || candidates.at(i - 1).weight >= candidates.at(i).weight, abbreviation);
    }
}

} // namespace

KELVO_FUZZ_TARGET(dictionary)
{
    // No application needed, and none is made: the loader must not depend
    // on one.
    const QByteArray input = Fuzz::bytes(data, size);
    const QString path = Fuzz::writeFile(QStringLiteral("wordsdict"), input);
    const SymbolDictionary dictionary = SymbolDictionary::fromFile(path);
    FUZZ_CHECK(dictionary.isEmpty() == (dictionary.entryCount() == 0), QString());

    // What a user would type: the letters of the file, up to a few dozen.
    QString letters;
    for (char c : input) {
        if (letters.size() >= 40)
            break;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            letters += QChar::fromLatin1(c).toLower();
    }
    const QList<Segment> segments = dictionary.segmentInput(letters);
    QString joined;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const Segment &segment = segments.at(i);
        FUZZ_CHECK(!segment.text.isEmpty(), letters);
        joined += segment.text;
        const bool last = i == segments.size() - 1;
        const QList<Candidate> exact = dictionary.lookup(segment.text, false);
        const QList<Candidate> prefix = dictionary.lookup(segment.text, true);
        checkCandidates(exact, segment.text);
        checkCandidates(prefix, segment.text);
        FUZZ_CHECK(prefix.size() >= exact.size(), segment.text);
        // A complete segment names something; the last may be a beginning.
        if (segment.complete)
            FUZZ_CHECK(!(last ? prefix : exact).isEmpty(), segment.text);
        for (const Candidate &candidate : exact.mid(0, 3)) {
            const qsizetype n = dictionary.suggestionsFor(candidate.text).size();
            FUZZ_CHECK(n == 0 || n == 14, candidate.text);
        }
    }
    FUZZ_CHECK(joined == letters, joined + QLatin1String(" / ") + letters);
    return 0;
}
