// SPDX-License-Identifier: GPL-3.0-or-later
// Live preview of the export dialog: from a changed control to the new
// first page painted in the preview, for the bundled two-page sample and a
// long act. Prints "name value unit" lines. Runs offscreen; settings go to a
// temporary folder.

#include "BenchPrint.h"
#include "BenchDocument.h"
#include "core/DataPaths.h"
#include "core/Resources.h"
#include "document/SampleScore.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "export/ui/Export.h"
#include "render/ExportConfig.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"
#include "ui_Export.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Bench::median;

// Times `changes` edits of the column width, each from the edit to the
// preview widget repainted.
std::vector<double> timeChanges(const LayoutItems &items, int changes)
{
    Export dialog(nullptr, items);
    dialog.resize(1100, 760);
    dialog.show();
    QCoreApplication::processEvents();
    QWidget *preview = dialog.findChild<QWidget *>(QStringLiteral("preViewWidget"));
    QLineEdit *colWidth = dialog.form()->colWidthBox;
    std::vector<double> times;
    for (int i = 0; i < changes; ++i) {
        colWidth->setText(QString::number(120 + (i % 2) * 20));
        QElapsedTimer timer;
        timer.start();
        emit colWidth->editingFinished();
        if (preview)
            preview->repaint();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return times;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dataDir;
    QApplication app(argc, argv);
    BenchDocument::initApplication(dataDir.path());

    const LayoutItems sample = SampleScore::layoutItems();
    QRandomGenerator rng(7);
    const QString lyric = BenchDocument::makeLyric(rng, 3000);
    const PlainLines lyricLines(lyric);
    const QString score = BenchDocument::makeScore(rng, ScoreSyntax::pairedCount(lyricLines));
    const LayoutItems act = ScoreSyntax::layoutItems(lyricLines, PlainLines(score));

    const std::vector<double> s = timeChanges(sample, 21);
    const std::vector<double> a = timeChanges(act, 21);
    std::printf("live_preview_sample_median_ms %.2f ms\n", median(s));
    std::printf("live_preview_sample_max_ms %.2f ms\n", *std::max_element(s.begin(), s.end()));
    std::printf("live_preview_act_median_ms %.2f ms\n", median(a));
    std::printf("live_preview_act_max_ms %.2f ms\n", *std::max_element(a.begin(), a.end()));
    return 0;
}
