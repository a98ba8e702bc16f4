// SPDX-License-Identifier: GPL-3.0-or-later
// The numbered-notation (简谱) edition of a 3,000-line act (the bundled
// sample repeated) with the default export settings: the layout's time and
// pages, and its PDF export against the gongche PDF of the same score
// written in the same run. Prints "name value unit" lines. Runs offscreen;
// settings and output go to a temporary folder.

#include "BenchDocument.h"
#include "BenchPrint.h"

#include "export/ExportWriters.h"
#include "jianpu/JianpuLayout.h"
#include "render/ExportConfig.h"
#include "render/GenerateSVG.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <vector>

using Bench::print;

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir data;
    BenchDocument::initApplication(data.path());

    const BenchDocument::Texts texts = BenchDocument::repeatedSample(3000);
    const LayoutItems items = ScoreSyntax::layoutItems(PlainLines(texts.lyric), PlainLines(texts.score));
    ExportConfig config(data.filePath(QStringLiteral("settings.ini")));
    const ExportSettings settings = config.snapshot();
    const Music::Options options;

    std::vector<double> runs;
    Jianpu::Pages pages;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        pages = Jianpu::layout(items, options, settings);
        runs.push_back(timer.nsecsElapsed() / 1e6);
    }
    print("jianpu_pages", pages.pages.size(), "pages");
    print("jianpu_layout_ms", Bench::median(runs), "ms");
    print("jianpu_layout_ms_per_100_pages", Bench::median(runs) * 100 / std::max<qsizetype>(1, pages.pages.size()), "ms");

    // The whole PDF export of each notation, layout included, and its
    // writing alone.
    GenerateSVG jianpu(&config);
    QElapsedTimer timer;
    timer.start();
    Jianpu::generate(jianpu, items, options);
    const double jianpuPaged = timer.nsecsElapsed() / 1e6;
    const QString jianpuPdf = data.filePath(QStringLiteral("jianpu.pdf"));
    if (!ExportWriters::report(ExportWriters::writePdf(jianpu, jianpuPdf)))
        return 1;
    const double jianpuMs = timer.nsecsElapsed() / 1e6;

    GenerateSVG gongche(&config);
    timer.restart();
    gongche.generate(items, false);
    const double gongchePaged = timer.nsecsElapsed() / 1e6;
    const QString gongchePdf = data.filePath(QStringLiteral("gongche.pdf"));
    if (!ExportWriters::report(ExportWriters::writePdf(gongche, gongchePdf)))
        return 1;
    const double gongcheMs = timer.nsecsElapsed() / 1e6;
    print("gongche_pages", gongche.pageCount(), "pages");
    print("jianpu_pdf_export_ms", jianpuMs, "ms");
    print("gongche_pdf_export_ms", gongcheMs, "ms");
    print("jianpu_vs_gongche_pdf_export", jianpuMs / gongcheMs, "ratio");
    print("jianpu_vs_gongche_pdf_export_per_page",
          (jianpuMs / jianpu.pageCount()) / (gongcheMs / gongche.pageCount()), "ratio");
    print("jianpu_vs_gongche_pdf_writing_per_page",
          ((jianpuMs - jianpuPaged) / jianpu.pageCount()) / ((gongcheMs - gongchePaged) / gongche.pageCount()),
          "ratio");
    print("jianpu_pdf_kb_per_page", QFileInfo(jianpuPdf).size() / 1024.0 / jianpu.pageCount(), "KB");
    print("gongche_pdf_kb_per_page", QFileInfo(gongchePdf).size() / 1024.0 / gongche.pageCount(), "KB");
    print("peak_rss_mb", BenchDocument::peakMiB(), "MB");
    return 0;
}
