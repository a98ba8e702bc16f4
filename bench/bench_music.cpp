// SPDX-License-Identifier: GPL-3.0-or-later
// A generated act of 10,000 lines from its layout items to music files:
// reading (with quantising), the MIDI file and the MusicXML file, each the
// best of a few runs. Prints "name value unit" lines.

#include "BenchDocument.h"
#include "document/ScoreSyntax.h"
#include "music/MidiFile.h"
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
    std::printf("music_read_ms %.1f ms\n", read);
    std::printf("music_midi_ms %.1f ms\n", midi);
    std::printf("music_musicxml_ms %.1f ms\n", musicXml);
    std::printf("music_notes %d notes\n", performance.noteCount());
    std::printf("music_midi_bytes %lld bytes\n", static_cast<long long>(midiBytes));
    std::printf("music_musicxml_bytes %lld bytes\n", static_cast<long long>(musicXmlBytes));
    return 0;
}
