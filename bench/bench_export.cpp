// SPDX-License-Identifier: GPL-3.0-or-later
// Export of a generated score of about 100 text-dense pages with the default
// export settings: PDF time and size, PNG pages per second at 300 dpi, and
// the peak memory of the whole run. Prints "name value unit" lines. Runs
// offscreen; settings and output go to a temporary folder.

#include "BenchPrint.h"
#include "BenchDocument.h"

#include "core/DataPaths.h"
#include "core/Resources.h"
#include "document/GongcheSymbols.h"
#include "document/Pairing.h"
#include "render/ExportConfig.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"
#include "render/GenerateSVG.h"
#include "export/ExportWriters.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using Bench::print;

constexpr int TargetPages = 100;

QString ideographs(QRandomGenerator &rng, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(char16_t(0x4E00 + rng.bounded(0x5000)));
    return s;
}

// A title, then sung lines of 7-10 characters with a tune heading or a
// spoken line now and then.
QString makeLyric(QRandomGenerator &rng, int sungLines)
{
    QStringList lines;
    lines << QStringLiteral("# ") + ideographs(rng, 4);
    for (int i = 0; i < sungLines; ++i) {
        if (i % 40 == 0)
            lines << QStringLiteral("【") + ideographs(rng, 3) + QStringLiteral("】(")
                         + ideographs(rng, 3) + QStringLiteral(")");
        if (i % 25 == 7)
            lines << QStringLiteral("= ") + ideographs(rng, 20) + QStringLiteral("。");
        if (i % 31 == 11)
            lines << QStringLiteral("> ") + ideographs(rng, 6) + QStringLiteral("，");
        const int n = 7 + int(rng.bounded(4));
        lines << ideographs(rng, n / 2) + QStringLiteral("，") + ideographs(rng, n - n / 2)
                     + QStringLiteral("。");
    }
    return lines.join(QLatin1Char('\n'));
}

// 2-5 symbols per paired character: pitches with a beat mark now and then.
QString makeScore(QRandomGenerator &rng, int pairedCount)
{
    QStringList lines;
    for (int i = 0; i < pairedCount; ++i) {
        QString line;
        const int n = 2 + int(rng.bounded(4));
        for (int k = 0; k < n; ++k) {
            const char32_t c = k == 1 && rng.bounded(2)
                ? Gongche::TouBan + char32_t(rng.bounded(3))
                : Gongche::PitchBlockStart + char32_t(rng.bounded(Gongche::PitchBlockSize));
            line += Gongche::toString(c);
        }
        lines << line;
    }
    lines << QString();
    return lines.join(QLatin1Char('\n'));
}

LayoutItems makeDocument(int sungLines)
{
    QRandomGenerator rng(7);
    const QString lyric = makeLyric(rng, sungLines);
    const PlainLines lyricLines(lyric);
    const QString score = makeScore(rng, ScoreSyntax::pairedCount(lyricLines));
    return ScoreSyntax::layoutItems(lyricLines, PlainLines(score));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir data;
    DataPaths::setOverride(data.path());
    initResources();
    FontRegistry::instance();
    installPlatformFontSubstitutions();

    ExportConfig config(data.filePath(QStringLiteral("settings.ini")));
    GenerateSVG gen(&config);

    // Grow the document until it fills the target number of pages.
    int sungLines = 400;
    LayoutItems items;
    for (int round = 0; round < 6; ++round) {
        items = makeDocument(sungLines);
        gen.clearPages();
        gen.generate(items, false);
        if (gen.pageCount() >= TargetPages)
            break;
        sungLines = sungLines * TargetPages / std::max(1, gen.pageCount()) + 20;
    }
    const int pages = gen.pageCount();
    print("pages", pages, "pages");

    QElapsedTimer timer;
    timer.start();
    gen.clearPages();
    gen.generate(items, false);
    print("generate_ms", timer.nsecsElapsed() / 1e6, "ms");

    const QString pdf = data.filePath(QStringLiteral("bench.pdf"));
    timer.restart();
    if (!ExportWriters::report(ExportWriters::writePdf(gen, pdf)))
        return 1;
    print("pdf_export_ms", timer.nsecsElapsed() / 1e6, "ms");
    print("pdf_bytes_per_page", QFileInfo(pdf).size() / 1024.0 / pages, "KB");

    timer.restart();
    if (!ExportWriters::report(ExportWriters::writeImages(
            gen, data.filePath(QStringLiteral("png")), 2, QStringLiteral("png"))))
        return 1;
    const double seconds = timer.nsecsElapsed() / 1e9;
    print("png300_pages_per_s", pages / seconds, "pages/s");
    print("peak_rss_mb", BenchDocument::peakMiB(), "MB");
    return 0;
}
