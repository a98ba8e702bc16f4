// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a generated act of 10,000 lines as music: from the layout items
// to quantised sections, and the sounds of every section with their
// figures. Prints "name value unit" lines.

#include "BenchDocument.h"
#include "document/Pairing.h"
#include "music/Ornaments.h"
#include "music/Reading.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QRandomGenerator rng(16);
    const QString lyric = BenchDocument::makeLyric(rng, 10000);
    const PlainLines lyricLines(lyric.split(QLatin1Char('\n')));
    const QString score = BenchDocument::makeScore(rng, ScoreSyntax::pairedCount(lyricLines));
    const LayoutItems items =
        ScoreSyntax::layoutItems(lyricLines, PlainLines(score.split(QLatin1Char('\n'))));

    double best = 1e9, bestSounds = 1e9;
    Music::Performance performance;
    qsizetype sounds = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        performance = Music::read(items, {});
        best = std::min(best, timer.nsecsElapsed() / 1e6);
        timer.restart();
        sounds = 0;
        for (const auto &section : performance.sections)
            sounds += Music::realise(section, {}).size();
        bestSounds = std::min(bestSounds, timer.nsecsElapsed() / 1e6);
    }
    std::printf("music_read_ms %.1f ms\n", best);
    std::printf("music_realise_ms %.1f ms\n", bestSounds);
    std::printf("music_notes %d notes\n", performance.noteCount());
    std::printf("music_sounds %lld sounds\n", static_cast<long long>(sounds));
    return 0;
}
