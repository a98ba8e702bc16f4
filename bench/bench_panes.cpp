// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the pane lookups on a whole act (3,000 lyric lines with their
// notation): the score gutter's full repaint and the two position mappings,
// with the pairing cache and, for comparison, with the uncached rules.
// Prints "name value unit" lines. Runs offscreen; settings go to a
// temporary folder.

#include "BenchPrint.h"
#include "BenchDocument.h"
#include "core/DataPaths.h"
#include "core/Resources.h"
#include "document/GongcheSymbols.h"
#include "document/Pairing.h"
#include "editor/EditorConfig.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Bench::print;
using Bench::median;

constexpr int LyricLines = 3000;

template<typename F>
double medianMs(int runs, F &&f)
{
    std::vector<double> times;
    times.reserve(std::size_t(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        f(i);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dataDir; // outlives the application: the config saves at exit
    QApplication app(argc, argv);
    BenchDocument::initApplication(dataDir.path());

    QRandomGenerator rng(2024);
    QWidget editor;
    auto *layout = new QHBoxLayout(&editor);
    auto *lyric = new LyricEdit(&editor);
    auto *score = new ScoreEdit(&editor);
    layout->addWidget(lyric);
    layout->addWidget(score);
    lyric->setPlainText(BenchDocument::makeLyric(rng, LyricLines));
    const DocumentLines lines(*lyric->document());
    const int paired = ScoreSyntax::pairedCount(lines);
    score->setPlainText(BenchDocument::makeScore(rng, paired));
    editor.resize(1000, 900);
    editor.show();
    QCoreApplication::processEvents();

    print("lyric_lines", lyric->document()->blockCount(), "lines");
    print("paired_characters", paired, "chars");

    const int end = lyric->document()->characterCount() - 1;
    std::vector<int> positions(400), counts(400);
    for (int &p : positions)
        p = int(rng.bounded(end + 1));
    for (int &n : counts)
        n = int(rng.bounded(paired + 1));

    // Uncached rules first, on fewer samples: each call walks the document.
    print("score_line_at_uncached_ms",
          medianMs(60, [&](int i) { ScoreSyntax::scoreLineAt(lines, positions[std::size_t(i)]); }),
          "ms");
    print("position_after_paired_uncached_ms",
          medianMs(60, [&](int i) { ScoreSyntax::positionAfterPaired(lines, counts[std::size_t(i)]); }),
          "ms");
    print("paired_character_at_uncached_ms",
          medianMs(60, [&](int i) { ScoreSyntax::pairedCharacterAt(lines, counts[std::size_t(i)]); }),
          "ms");

    lyric->scoreLineAt(0); // builds the cache
    print("score_line_at_ms",
          medianMs(400, [&](int i) { lyric->scoreLineAt(positions[std::size_t(i)]); }), "ms");
    print("position_after_paired_ms",
          medianMs(400, [&](int i) { lyric->positionAfterPaired(counts[std::size_t(i)]); }), "ms");
    print("paired_character_at_ms",
          medianMs(400, [&](int i) { lyric->pairedCharacterAt(counts[std::size_t(i)]); }), "ms");

    // A keystroke near the top invalidates almost everything; the first
    // lookup after it pays for re-reading the changed block only.
    QTextCursor cursor(lyric->document()->findBlockByNumber(2));
    print("lookup_after_edit_ms", medianMs(100, [&](int i) {
              cursor.insertText(i % 2 ? QStringLiteral("好") : QStringLiteral("\n"));
              lyric->scoreLineAt(end / 2);
          }), "ms");

    // Full gutter repaints at different scroll positions, painted now.
    QWidget *gutter = score->lineNumberArea();
    QScrollBar *bar = score->verticalScrollBar();
    std::vector<int> scrolls(41);
    for (int &s : scrolls)
        s = int(rng.bounded(bar->maximum() + 1));
    auto repaintAt = [&](int i) { gutter->repaint(); (void)i; };
    std::vector<double> times;
    for (int s : scrolls) {
        bar->setValue(s);
        QCoreApplication::processEvents();
        times.push_back(medianMs(5, repaintAt));
    }
    print("score_gutter_repaint_ms", median(times), "ms");
    // What one repaint's label lookups would cost with the uncached rules
    // (one document walk per visible score line); drawing not included.
    const int visible = int(gutter->height() / QFontMetrics(EditorConfig::instance()->scoreFont()).height()) + 1;
    print("score_gutter_labels_uncached_ms", medianMs(11, [&](int i) {
              const int first = int(counts[std::size_t(i)]) % std::max(1, paired - visible);
              for (int b = first; b < first + visible; ++b)
                  ScoreSyntax::pairedCharacterAt(lines, b + 1);
          }), "ms");
    print("score_gutter_visible_lines", double(gutter->height())
              / QFontMetrics(EditorConfig::instance()->scoreFont()).height(), "lines");
    times.clear();
    QWidget *lyricGutter = lyric->lineNumberArea();
    for (int s : scrolls) {
        lyric->verticalScrollBar()->setValue(s % (lyric->verticalScrollBar()->maximum() + 1));
        QCoreApplication::processEvents();
        times.push_back(medianMs(5, [&](int) { lyricGutter->repaint(); }));
    }
    print("lyric_gutter_repaint_ms", median(times), "ms");
    return 0;
}
