// SPDX-License-Identifier: GPL-3.0-or-later
// WAV export of the bundled sample with each installed Debian SoundFont:
// from the score's lines to the finished file, SoundFont loading included,
// the best of three runs. Prints "name value unit" lines; the first
// SoundFont found (the one the export uses by default) gives the unsuffixed
// names, every one its own suffixed lines.

#include "audio/SoundFonts.h"
#include "document/SampleScore.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "export/ExportJob.h"
#include "music/Reading.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// False when the export failed.
bool measureWav(const LayoutItems &items, const QString &soundFont, const QString &suffix)
{
    QTemporaryDir dir;
    double best = 1e9, audio = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        ExportRequest request;
        request.format = ExportFormats::find(QStringLiteral("wav"));
        request.items = items;
        request.soundFont = soundFont;
        request.target = dir.filePath(QStringLiteral("sample.wav"));
        const ExportResult result = ExportJob::run(request);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!result.ok) {
            std::fprintf(stderr, "%s\n", qPrintable(result.message));
            return false;
        }
        best = std::min(best, seconds);
        audio = result.seconds;
    }
    const QByteArray s = suffix.toUtf8();
    std::printf("wav_render_seconds%s %.3f s\n", s.constData(), best);
    std::printf("wav_audio_seconds%s %.1f s\n", s.constData(), audio);
    std::printf("wav_realtime_factor%s %.0f x\n", s.constData(), audio / best);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const LayoutItems items = SampleScore::layoutItems();
    const QStringList fonts = SoundFonts::systemSoundFonts();
    if (items.isEmpty() || fonts.isEmpty()) {
        std::fprintf(stderr, "needs examples/sample.gcp and a Debian SoundFont\n");
        return 1;
    }
    bool ok = measureWav(items, fonts.first(), QString());
    for (const QString &font : fonts)
        ok = measureWav(items, font, QLatin1Char('_') + QFileInfo(font).baseName()) && ok;
    return ok ? 0 : 1;
}
