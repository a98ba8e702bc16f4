// SPDX-License-Identifier: GPL-3.0-or-later
// From play() to the first block of sound, on the bundled sample with the
// file-writing audio driver (the machine may have no sound card): the time
// until the driver's output file has grown by one period of samples past
// its header. Measured cold (the SoundFont is loaded by that play) and warm
// (a later play reuses it), the median of several warm runs. Prints
// "name value unit" lines.

#include "audio/Player.h"
#include "document/SampleScore.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "music/MidiFile.h"
#include "music/Reading.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

// One period of the driver (64 frames of 16-bit stereo) past a WAV header.
constexpr qint64 FirstBlockBytes = 44 + 64 * 4;

QByteArray sampleMidi()
{
    const LayoutItems items = SampleScore::layoutItems();
    const Music::Options options;
    return Midi::encode(Music::read(items, options), options);
}

// Milliseconds from play() to the first block in the file; -1 on failure.
double latency(Player &player, const QByteArray &midi, const QString &soundFont, const QString &out)
{
    QFile::remove(out);
    QElapsedTimer clock;
    clock.start();
    QString error;
    if (!player.play(midi, soundFont, 0, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return -1;
    }
    while (QFileInfo(out).size() < FirstBlockBytes) {
        if (clock.elapsed() > 5000)
            return -1;
        QThread::usleep(100);
    }
    const double ms = clock.nsecsElapsed() / 1e6;
    player.stop();
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("playback.wav"));
    qputenv("KELVO_AUDIO_DRIVER", "file");
    qputenv("KELVO_AUDIO_FILE", QFile::encodeName(out));

    const QByteArray midi = sampleMidi();
    if (midi.isEmpty()) {
        std::fprintf(stderr, "the bundled sample could not be read\n");
        return 1;
    }
    const struct
    {
        const char *name;
        const char *path;
    } fonts[] = {{"timgm6mb", "/usr/share/sounds/sf2/TimGM6mb.sf2"},
                 {"fluidr3", "/usr/share/sounds/sf2/FluidR3_GM.sf2"}};
    bool any = false;
    for (const auto &font : fonts) {
        const QString path = QString::fromUtf8(font.path);
        if (!QFile::exists(path))
            continue;
        any = true;
        Player player;
        const double cold = latency(player, midi, path, out);
        QList<double> warm;
        for (int run = 0; run < 9; ++run)
            warm.append(latency(player, midi, path, out));
        std::sort(warm.begin(), warm.end());
        std::printf("play_latency_cold_%s_ms %.1f ms\n", font.name, cold);
        std::printf("play_latency_%s_ms %.1f ms\n", font.name, warm.at(warm.size() / 2));
    }
    if (!any) {
        std::fprintf(stderr, "no General MIDI SoundFont installed\n");
        return 1;
    }
    return 0;
}
