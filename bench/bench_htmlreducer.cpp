// SPDX-License-Identifier: GPL-3.0-or-later
// Time from a hostile sponsor page to a laid-out sponsor view: the reduction
// alone, and reduction plus setHtml and layout in a real view of window
// size. The goal is at most 200 ms for every page of the hostile set (the
// sponsor regression inputs plus a page of 1 MB nesting generated here).
// Prints per-page medians and "name value unit" lines with the worst median
// over all pages.

#include "BenchPrint.h"
#include "online/HtmlReducer.h"
#include "online/ui/SponsorView.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Bench::median;

constexpr int Runs = 7;

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QList<QPair<QString, QByteArray>> pages;
    const QDir dir(QStringLiteral(KELVO_SPONSOR_PAGES));
    for (const QString &name : dir.entryList({QStringLiteral("*.html")}, QDir::Files)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            pages.append({name, file.readAll()});
    }
    pages.append({QStringLiteral("generated-table-list-1mb"),
                  QByteArray("<table><tr><td><ul><li><div>").repeated(1024 * 1024 / 28)});
    if (pages.size() < 2) {
        std::fprintf(stderr, "no sponsor pages in %s\n", KELVO_SPONSOR_PAGES);
        return 1;
    }

    double worstReduce = 0;
    double worstDisplay = 0;
    for (const auto &[name, html] : pages) {
        std::vector<double> reduce;
        std::vector<double> display;
        for (int run = 0; run < Runs; ++run) {
            SponsorView view;
            view.resize(1000, 600);
            QElapsedTimer timer;
            timer.start();
            const QString reduced = HtmlReducer::reduce(html);
            reduce.push_back(double(timer.nsecsElapsed()) / 1e6);
            view.setHtml(reduced);
            view.document()->documentLayout()->documentSize();
            display.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("# %-28s reduce %.2f ms, display %.2f ms\n", qPrintable(name),
                    median(reduce), median(display));
        worstReduce = std::max(worstReduce, median(reduce));
        worstDisplay = std::max(worstDisplay, median(display));
    }
    std::printf("sponsor_reduce_hostile_ms %.2f ms\n", worstReduce);
    std::printf("sponsor_display_hostile_ms %.2f ms\n", worstDisplay);
    return 0;
}
