// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the input method's letter handling with the shipped dictionary:
// one appendLetter that adds the sixth segment of a composition (lookup,
// combination with the five earlier segments, ranking, candidate list), and
// a whole six-letter composition from the first key. The goal for one key
// is at most 1 ms. Prints "name value unit" lines (medians and the 99th
// percentile of many runs).

#include "BenchPrint.h"
#include "core/Resources.h"
#include "input/Composition.h"
#include "input/SymbolDictionary.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Bench::print;

constexpr int Runs = 2000;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// letters must cut into six segments, one per letter.
void measure(const SymbolDictionary &dictionary, const QString &letters, const char *tag)
{
    Composition composition(&dictionary);
    std::vector<double> sixth;
    std::vector<double> whole;
    sixth.reserve(Runs);
    whole.reserve(Runs);
    size_t sink = 0;
    QElapsedTimer timer;
    for (int run = 0; run < Runs; ++run) {
        composition.reset();
        timer.start();
        for (int i = 0; i < 5; ++i)
            composition.appendLetter(letters.at(i));
        const qint64 beforeSixth = timer.nsecsElapsed();
        composition.appendLetter(letters.at(5));
        const qint64 end = timer.nsecsElapsed();
        sixth.push_back(double(end - beforeSixth) / 1e6);
        whole.push_back(double(end) / 1e6);
        sink += size_t(composition.candidates().size());
    }
    if (composition.segments().size() != 6)
        std::fprintf(stderr, "%s: expected six segments, got %d\n", tag,
                     int(composition.segments().size()));
    const QByteArray base = QByteArray("append_letter_sixth_segment_") + tag;
    print((base + "_median_ms").constData(), percentile(sixth, 0.5), "ms");
    print((base + "_p99_ms").constData(), percentile(sixth, 0.99), "ms");
    const QByteArray all = QByteArray("compose_six_letters_") + tag;
    print((all + "_median_ms").constData(), percentile(whole, 0.5), "ms");
    print((all + "_p99_ms").constData(), percentile(whole, 0.99), "ms");
    print((QByteArray("candidates_") + tag).constData(),
          double(sink) / Runs, "count");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    initResources();
    QElapsedTimer load;
    load.start();
    const SymbolDictionary dictionary = SymbolDictionary::fromFile(SymbolDictionary::resourcePath());
    print("dictionary_load_ms", double(load.nsecsElapsed()) / 1e6, "ms");
    if (dictionary.isEmpty()) {
        std::fprintf(stderr, "the embedded dictionary did not load\n");
        return 1;
    }
    // "s" has the longest prefix list of any single letter, so every segment
    // combines the most candidates the cap allows.
    measure(dictionary, QStringLiteral("ssssss"), "s");
    measure(dictionary, QStringLiteral("hsgcls"), "mixed");
    return 0;
}
