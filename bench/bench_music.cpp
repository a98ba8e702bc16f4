// SPDX-License-Identifier: GPL-3.0-or-later
// Generated acts of 3,000 and 10,000 lines from their layout items to music
// files: reading (with quantising), the MIDI file and the MusicXML file, each
// the best of a few runs. Prints "name value unit" lines, named after the
// act's length (music_3000_read_ms …).

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

void measure(int lines)
{
    QRandomGenerator rng(16);
    const QString lyric = BenchDocument::makeLyric(rng, lines);
    const PlainLines lyricLines(lyric.split(QLatin1Char('\n')));
    const QString score = BenchDocument::makeScore(rng, ScoreSyntax::pairedCount(lyricLines));
    const LayoutItems items =
        ScoreSyntax::layoutItems(lyricLines, PlainLines(score.split(QLatin1Char('\n'))));

    const Music::Options options;
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
    std::printf("music_%d_read_ms %.1f ms\n", lines, read);
    std::printf("music_%d_midi_ms %.1f ms\n", lines, midi);
    std::printf("music_%d_musicxml_ms %.1f ms\n", lines, musicXml);
    std::printf("music_%d_total_ms %.1f ms\n", lines, read + midi + musicXml);
    std::printf("music_%d_notes %d notes\n", lines, performance.noteCount());
    std::printf("music_%d_midi_bytes %lld bytes\n", lines, static_cast<long long>(midiBytes));
    std::printf("music_%d_musicxml_bytes %lld bytes\n", lines,
                static_cast<long long>(musicXmlBytes));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    measure(3000);
    measure(10000);
    return 0;
}
