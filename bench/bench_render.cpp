// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of page layout on a score of about 100 pages (lyric lines with their
// notation, tune headings, spoken passages): a full generation, the export
// dialog's live preview and turning all pages into SVG documents.
// Prints "name value unit" lines. Runs offscreen; settings go to a
// temporary folder.

#include "BenchPrint.h"
#include "core/DataPaths.h"
#include "core/Resources.h"
#include "document/GongcheSymbols.h"
#include "document/LineKind.h"
#include "render/ExportConfig.h"
#include "fonts/FontSubstitutions.h"
#include "render/GenerateSVG.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Bench::median;

template<typename F>
double timeMs(F &&f)
{
    QElapsedTimer timer;
    timer.start();
    f();
    return timer.nsecsElapsed() / 1e6;
}

QString sym(char32_t c)
{
    return Gongche::toString(c);
}

// A note group as written in practice: one to three pitch glyphs with a beat
// mark now and then.
QString noteGroup(QRandomGenerator &rng)
{
    QString s;
    const int notes = 1 + int(rng.bounded(3));
    for (int i = 0; i < notes; ++i) {
        const int block = rng.bounded(5) == 0 ? 2 : int(rng.bounded(2));
        s += sym(Gongche::PitchBlockStart + block * Gongche::PitchBlockSize + rng.bounded(20));
        const int mark = int(rng.bounded(8));
        if (mark == 0)
            s += sym(Gongche::TouBan);
        else if (mark == 1)
            s += sym(Gongche::XiaoYan);
        else if (mark == 2)
            s += sym(Gongche::YaoXiaoYan);
        else if (mark == 3)
            s += sym(Gongche::DiBan);
    }
    return s;
}

LayoutItems buildScore(int blocks)
{
    QRandomGenerator rng(7);
    const QString lyricChars = QStringLiteral("袅晴丝吹来闲庭院摇漾春如线停半晌整花钿没揣菱花偷人半面迤逗的彩云偏");
    const QString punctuation = QStringLiteral("，。、；");
    LayoutItems items;
    auto add = [&](LineKind kind, const QString &text) {
        LayoutItem it;
        it.kind = kind;
        it.text = text;
        items.append(it);
    };
    add(LineKind::Title, QStringLiteral("#牡丹亭·游园"));
    for (int b = 0; b < blocks; ++b) {
        add(LineKind::QuPai, QStringLiteral("【步步娇】（仙吕）"));
        for (int line = 0; line < 6; ++line) {
            LayoutItem it;
            it.kind = LineKind::Lyric;
            const int length = 6 + int(rng.bounded(5));
            for (int i = 0; i < length; ++i) {
                it.text += lyricChars.at(int(rng.bounded(lyricChars.size())));
                it.scores.append(noteGroup(rng));
            }
            it.text += punctuation.at(int(rng.bounded(punctuation.size())));
            it.scores.append(QString());
            items.append(it);
        }
        add(LineKind::LianBai, QStringLiteral("=停半晌，整花钿，没揣菱花偷人半面，迤逗的彩云偏。我步香闺怎便把全身现！"));
        add(LineKind::JiaBai, QStringLiteral(">（介）好也。"));
        if (b % 3 == 2)
            add(LineKind::LineBreak, QStringLiteral("@换行符"));
    }
    return items;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dataDir;
    DataPaths::setOverride(dataDir.path());
    initResources();
    installPlatformFontSubstitutions();

    ExportConfig config(dataDir.path() + QStringLiteral("/settings.ini"));
    GenerateSVG generator(&config);

    // Grow the score until it fills about 100 pages.
    int blocks = 20;
    LayoutItems items = buildScore(blocks);
    generator.generate(items, false);
    const int perBlock = std::max(1, generator.pageCount() * 1000 / blocks);
    blocks = std::max(1, 100 * 1000 / perBlock);
    items = buildScore(blocks);

    std::vector<double> full, preview, svg;
    int pages = 0;
    for (int run = 0; run < 5; ++run) {
        generator.clearPages();
        full.push_back(timeMs([&] { generator.generate(items, false); }));
        pages = generator.pageCount();
        svg.push_back(timeMs([&] { (void)generator.pages(); }));
    }
    qint64 svgBytes = 0;
    for (const QByteArray &page : generator.pages())
        svgBytes += page.size();
    for (int run = 0; run < 20; ++run) {
        generator.clearPages();
        preview.push_back(timeMs([&] { generator.generate(items, true); }));
    }

    std::printf("render_items %lld count\n", static_cast<long long>(items.size()));
    std::printf("render_pages %d count\n", pages);
    std::printf("generation_100_pages_ms %.1f ms\n", median(full));
    std::printf("preview_ms %.2f ms\n", median(preview));
    std::printf("svg_pages_ms %.1f ms\n", median(svg));
    std::printf("svg_bytes_per_page %lld bytes\n",
                static_cast<long long>(pages > 0 ? svgBytes / pages : 0));
    return 0;
}
