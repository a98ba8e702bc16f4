// SPDX-License-Identifier: GPL-3.0-or-later
// Generated acts of 3,000 and 10,000 lines from their layout items to music
// files: reading (with quantising), the MIDI file and the MusicXML file, each
// the best of a few runs, with the default halving and with the proportional
// sharing. Prints "name value unit" lines, named after the act's length
// (music_3000_read_ms …; music_3000_proportional_read_ms …) and the ratio of
// the two totals measured in this run.

#include "BenchDocument.h"
#include "document/Pairing.h"
#include "music/MidiFile.h"
#include "music/MusicXml.h"
#include "music/Reading.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {

double measure(int lines, Music::Rhythm rhythm)
{
    QRandomGenerator rng(16);
    const QString lyric = BenchDocument::makeLyric(rng, lines);
    const PlainLines lyricLines(lyric.split(QLatin1Char('\n')));
    const QString score = BenchDocument::makeScore(rng, ScoreSyntax::pairedCount(lyricLines));
    const LayoutItems items =
        ScoreSyntax::layoutItems(lyricLines, PlainLines(score.split(QLatin1Char('\n'))));

    Music::Options options;
    options.rhythm = rhythm;
    const QByteArray name = QByteArray::number(lines)
                            + (rhythm == Music::Rhythm::Proportional ? "_proportional" : "");
    double read = 1e9, midi = 1e9, musicXml = 1e9;
    Music::Performance performance;
    qsizetype midiBytes = 0, musicXmlBytes = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        performance = Music::read(items, options);
        read = std::min(read, timer.nsecsElapsed() / 1e6);
        timer.restart();
        midiBytes = Midi::encode(performance, options).size();
        midi = std::min(midi, timer.nsecsElapsed() / 1e6);
        timer.restart();
        musicXmlBytes = MusicXml::encode(performance, options).size();
        musicXml = std::min(musicXml, timer.nsecsElapsed() / 1e6);
    }
    const char *n = name.constData();
    std::printf("music_%s_read_ms %.1f ms\n", n, read);
    std::printf("music_%s_midi_ms %.1f ms\n", n, midi);
    std::printf("music_%s_musicxml_ms %.1f ms\n", n, musicXml);
    std::printf("music_%s_total_ms %.1f ms\n", n, read + midi + musicXml);
    std::printf("music_%s_notes %d notes\n", n, performance.noteCount());
    std::printf("music_%s_midi_bytes %lld bytes\n", n, static_cast<long long>(midiBytes));
    std::printf("music_%s_musicxml_bytes %lld bytes\n", n, static_cast<long long>(musicXmlBytes));
    return read + midi + musicXml;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    for (int lines : {3000, 10000}) {
        const double halving = measure(lines, Music::Rhythm::Halving);
        const double proportional = measure(lines, Music::Rhythm::Proportional);
        std::printf("music_%d_halving_vs_proportional %.2f ratio\n", lines, halving / proportional);
    }
    return 0;
}
