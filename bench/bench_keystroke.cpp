// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one keystroke in the lyric pane of a whole act (3,000 lyric lines
// with their notation): the key event through the paired editor's filter,
// the undo command with its score-line bookkeeping, the cursor
// synchronisation and the repaint of both panes and their gutters. Typed
// at the top, in the middle and at the end; then as many Backspaces.
// Prints "name value unit" lines. Runs offscreen; settings go to a
// temporary folder.

#include "BenchDocument.h"
#include "core/DataPaths.h"
#include "core/Resources.h"
#include "document/GongcheSymbols.h"
#include "document/ui/KelvoEdit.h"
#include "document/ScoreSyntax.h"
#include "editor/EditorConfig.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QUndoStack>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int LyricLines = 3000;
constexpr int KeysPerPlace = 60;

// The end of a sung line near `line`.
int sungLineEnd(const QTextDocument *document, int line)
{
    for (QTextBlock b = document->findBlockByNumber(line); b.isValid(); b = b.next())
        if (ScoreSyntax::classify(b.text()) == Lyric && !ScoreSyntax::isMarkupLine(b.text()))
            return b.position() + b.length() - 1;
    return document->characterCount() - 1;
}

double keystroke(QWidget *pane, Qt::Key key, const QString &text)
{
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(pane, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(pane, &release);
    // Paint what the keystroke invalidated (both panes, both gutters).
    QCoreApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}

struct Stats
{
    double median = 0;
    double p95 = 0;
    double max = 0;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    Stats s;
    if (v.empty())
        return s;
    s.median = v[v.size() / 2];
    s.p95 = v[std::min(v.size() - 1, v.size() * 95 / 100)];
    s.max = v.back();
    return s;
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dataDir; // outlives the application: the config saves at exit
    QApplication app(argc, argv);
    BenchDocument::initApplication(dataDir.path());

    QRandomGenerator rng(2024);
    KelvoEdit edit;
    LyricEdit *lyric = edit.lyricEdit();
    lyric->setPlainText(BenchDocument::makeLyric(rng, LyricLines));
    const int paired = ScoreSyntax::pairedCount(DocumentLines(*lyric->document()));
    edit.scoreEdit()->setPlainText(BenchDocument::makeScore(rng, paired));
    edit.undoStack()->clear();
    edit.resize(1000, 900);
    edit.show();
    lyric->setFocus();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    print("lyric_lines", lyric->document()->blockCount(), "lines");
    print("paired_characters", paired, "chars");

    std::vector<double> typing, backspace, all;
    const struct
    {
        const char *name;
        int line;
    } places[] = {{"top", 2}, {"middle", LyricLines / 2}, {"end", LyricLines - 40}};
    for (const auto &place : places) {
        QTextCursor cursor = lyric->textCursor();
        cursor.setPosition(sungLineEnd(lyric->document(), place.line));
        lyric->setTextCursor(cursor);
        QCoreApplication::processEvents();
        std::vector<double> here;
        for (int i = 0; i < KeysPerPlace; ++i) {
            // Now and then a comma: a keystroke without a score line.
            const QString text = i % 8 == 7 ? QStringLiteral("，") : QString(QChar(char16_t(0x4E00 + i)));
            here.push_back(keystroke(lyric, Qt::Key_unknown, text));
        }
        std::vector<double> back;
        for (int i = 0; i < KeysPerPlace; ++i)
            back.push_back(keystroke(lyric, Qt::Key_Backspace, QString()));
        const Stats s = stats(here);
        const std::string prefix = std::string("keystroke_") + place.name;
        print((prefix + "_median_ms").c_str(), s.median, "ms");
        print((prefix + "_max_ms").c_str(), s.max, "ms");
        typing.insert(typing.end(), here.begin(), here.end());
        backspace.insert(backspace.end(), back.begin(), back.end());
    }
    all = typing;
    all.insert(all.end(), backspace.begin(), backspace.end());

    const Stats t = stats(typing);
    print("keystroke_median_ms", t.median, "ms");
    print("keystroke_p95_ms", t.p95, "ms");
    print("keystroke_max_ms", t.max, "ms");
    const Stats b = stats(backspace);
    print("backspace_median_ms", b.median, "ms");
    print("backspace_p95_ms", b.p95, "ms");
    print("backspace_max_ms", b.max, "ms");
    const Stats a = stats(all);
    print("all_keys_median_ms", a.median, "ms");
    print("all_keys_max_ms", a.max, "ms");
    return 0;
}
