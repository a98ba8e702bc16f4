// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a generated act of 10,000 lines as MusicXML, from the read
// performance. Prints "name value unit" lines.

#include "BenchDocument.h"
#include "document/ScoreSyntax.h"
#include "music/MusicXml.h"
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
    const Music::Performance performance = Music::read(
        ScoreSyntax::layoutItems(lyricLines, PlainLines(score.split(QLatin1Char('\n')))), {});

    double best = 1e9;
    qsizetype bytes = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        bytes = MusicXml::encode(performance, {}).size();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    std::printf("music_musicxml_ms %.1f ms\n", best);
    std::printf("music_musicxml_size %.1f MB\n", bytes / 1e6);
    std::printf("music_notes %d notes\n", performance.noteCount());
    return 0;
}
