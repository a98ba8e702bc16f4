// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one keystroke in the lyric pane of a whole act (3,000 lyric lines
// with their notation): the key event through the paired editor's filter,
// the undo command with its score-line bookkeeping, the cursor
// synchronisation and the repaint of both panes and their gutters. Typed
// at the top, in the middle and at the end; then as many Backspaces.
// The same keys go, interleaved, into a bare pair of QPlainTextEdit
// holding the same texts in the same fonts and window size (no
// highlighter, gutters or pairing): the ratio of the two medians of
// processor time (which other processes on a busy machine do not inflate)
// says what the editor adds, whatever the machine. The same bare pair also
// takes each key the way a paired keystroke must, a character in the lyric
// and an empty line at the score cursor (removed again by Backspace): that
// is the least two Qt editors need for it. Then the same for the bundled
// sample repeated to 30,000 lines.
// Prints "name value unit" lines. Runs offscreen; settings go to a
// temporary folder.

#include "BenchPrint.h"
#include "BenchDocument.h"
#include "core/DataPaths.h"
#include "core/Resources.h"
#include "document/GongcheSymbols.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "document/Pairing.h"
#include "editor/EditorConfig.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScrollBar>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QUndoStack>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>
#include <string>
#include <vector>

namespace {

using Bench::print;

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

// This thread's processor time: unlike the clock it does not count the
// time other processes on a busy machine take from it.
double threadMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Cost
{
    double wall = 0;
    double cpu = 0;
};

// With a score pane, the key also gives it the line a sung character has
// (or takes it back for a Backspace) at its cursor, as the pairing would.
Cost keystroke(QWidget *pane, Qt::Key key, const QString &text, QPlainTextEdit *score = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = threadMs();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(pane, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(pane, &release);
    if (score && text != QStringLiteral("，")) {
        QTextCursor cursor = score->textCursor();
        if (key == Qt::Key_Backspace)
            cursor.deletePreviousChar();
        else
            cursor.insertText(QStringLiteral("\n"));
        score->setTextCursor(cursor);
    }
    // Paint what the keystroke invalidated (both panes, both gutters).
    QCoreApplication::processEvents();
    return {double(timer.nsecsElapsed()) / 1e6, threadMs() - cpu};
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

// The bare baseline: the two texts side by side in plain editors.
struct PlainPair
{
    QWidget window;
    QPlainTextEdit *lyric = new QPlainTextEdit(&window);
    QPlainTextEdit *score = new QPlainTextEdit(&window);

    PlainPair(const QString &lyricText, const QString &scoreText)
    {
        auto *row = new QHBoxLayout(&window);
        row->addWidget(lyric);
        row->addWidget(score);
        lyric->setFont(EditorConfig::instance()->lyricFont());
        score->setFont(EditorConfig::instance()->scoreFont());
        lyric->setPlainText(lyricText);
        score->setPlainText(scoreText);
    }
};

void placeCursor(QPlainTextEdit *pane, int line)
{
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(sungLineEnd(pane->document(), line));
    pane->setTextCursor(cursor);
    QCoreApplication::processEvents();
}

struct Keys
{
    std::vector<double> typing, backspace, typingCpu, backspaceCpu;

    void add(const Keys &o)
    {
        for (auto [to, from] : {std::pair{&typing, &o.typing}, {&backspace, &o.backspace},
                                {&typingCpu, &o.typingCpu}, {&backspaceCpu, &o.backspaceCpu}})
            to->insert(to->end(), from->begin(), from->end());
    }
};

// Typing then as many Backspaces at the end of a sung line (with a score
// pane: see keystroke).
Keys typeAt(QPlainTextEdit *pane, int line, QPlainTextEdit *score = nullptr)
{
    placeCursor(pane, line);
    if (score) {
        // About where the line's characters are paired: the same share of
        // the score.
        const QTextDocument *lyric = pane->document();
        const int n = int(qint64(line) * score->document()->blockCount() / lyric->blockCount());
        QTextCursor cursor(score->document()->findBlockByNumber(n));
        score->setTextCursor(cursor);
        QCoreApplication::processEvents();
    }
    Keys k;
    for (int i = 0; i < KeysPerPlace; ++i) {
        // Now and then a comma: a keystroke without a score line.
        const QString text = i % 8 == 7 ? QStringLiteral("，") : QString(QChar(char16_t(0x4E00 + i)));
        const Cost c = keystroke(pane, Qt::Key_unknown, text, score);
        k.typing.push_back(c.wall);
        k.typingCpu.push_back(c.cpu);
    }
    for (int i = 0; i < KeysPerPlace; ++i) {
        // The commas typed last go first: the score pane takes back its
        // lines only for the characters.
        const bool comma = (KeysPerPlace - 1 - i) % 8 == 7;
        const Cost c = keystroke(pane, Qt::Key_Backspace, comma ? QStringLiteral("，") : QString(), score);
        k.backspace.push_back(c.wall);
        k.backspaceCpu.push_back(c.cpu);
    }
    return k;
}

struct Measured
{
    Keys edit, plain, plainPair;
};

// Both editors on the same texts, the keys at each place first into the
// paired editor, then into the bare pair.
Measured measure(const QString &lyricText, const QString &scoreText, const char *prefix)
{
    KelvoEdit edit;
    LyricEdit *lyric = edit.lyricEdit();
    lyric->setPlainText(lyricText);
    edit.scoreEdit()->setPlainText(scoreText);
    edit.document()->undoStack()->clear();
    edit.resize(1000, 900);
    edit.show();
    PlainPair plain(lyricText, scoreText);
    plain.window.resize(1000, 900);
    plain.window.show();
    lyric->setFocus();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    const int lines = lyric->document()->blockCount();
    const struct
    {
        const char *name;
        int line;
    } places[] = {{"top", 2}, {"middle", lines / 2}, {"end", lines - 40}};
    Measured m;
    for (const auto &place : places) {
        const Keys here = typeAt(lyric, place.line);
        const Stats s = stats(here.typing);
        const std::string name = std::string(prefix) + place.name;
        print((name + "_median_ms").c_str(), s.median, "ms");
        print((name + "_max_ms").c_str(), s.max, "ms");
        m.edit.add(here);
        m.plain.add(typeAt(plain.lyric, place.line));
        m.plainPair.add(typeAt(plain.lyric, place.line, plain.score));
    }
    return m;
}

// The processor time of a key in the paired editor against the bare pair's
// (medians), and the same by the clock.
void printRatios(const Measured &m, const std::string &size)
{
    const auto ratio = [](const std::vector<double> &a, const std::vector<double> &b) {
        return stats(a).median / std::max(stats(b).median, 1e-9);
    };
    const auto line = [&size](const char *what, const char *rest) {
        return std::string(what) + size + rest;
    };
    print(line("keystroke", "_cpu_median_ms").c_str(), stats(m.edit.typingCpu).median, "ms");
    print(line("plain_keystroke", "_cpu_median_ms").c_str(), stats(m.plain.typingCpu).median, "ms");
    print(line("plain_keystroke", "_median_ms").c_str(), stats(m.plain.typing).median, "ms");
    print(line("keystroke", "_vs_plain_ratio").c_str(), ratio(m.edit.typingCpu, m.plain.typingCpu), "x");
    print(line("keystroke", "_vs_plain_wall_ratio").c_str(), ratio(m.edit.typing, m.plain.typing), "x");
    print(line("backspace", "_vs_plain_ratio").c_str(),
          ratio(m.edit.backspaceCpu, m.plain.backspaceCpu), "x");
    print(line("plain_paired_keystroke", "_cpu_median_ms").c_str(), stats(m.plainPair.typingCpu).median, "ms");
    print(line("plain_paired_vs_plain", "_ratio").c_str(),
          ratio(m.plainPair.typingCpu, m.plain.typingCpu), "x");
    print(line("keystroke", "_vs_plain_paired_ratio").c_str(),
          ratio(m.edit.typingCpu, m.plainPair.typingCpu), "x");
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dataDir; // outlives the application: the config saves at exit
    QApplication app(argc, argv);
    BenchDocument::initApplication(dataDir.path());

    QRandomGenerator rng(2024);
    const QString lyricText = BenchDocument::makeLyric(rng, LyricLines);
    const int paired = ScoreSyntax::pairedCount(PlainLines(lyricText));
    const QString scoreText = BenchDocument::makeScore(rng, paired);
    print("lyric_lines", LyricLines, "lines");
    print("paired_characters", paired, "chars");

    const Measured m = measure(lyricText, scoreText, "keystroke_");
    const Stats t = stats(m.edit.typing);
    print("keystroke_median_ms", t.median, "ms");
    print("keystroke_p95_ms", t.p95, "ms");
    print("keystroke_max_ms", t.max, "ms");
    const Stats b = stats(m.edit.backspace);
    print("backspace_median_ms", b.median, "ms");
    print("backspace_p95_ms", b.p95, "ms");
    print("backspace_max_ms", b.max, "ms");
    std::vector<double> all = m.edit.typing;
    all.insert(all.end(), m.edit.backspace.begin(), m.edit.backspace.end());
    const Stats a = stats(all);
    print("all_keys_median_ms", a.median, "ms");
    print("all_keys_max_ms", a.max, "ms");
    printRatios(m, "");

    const BenchDocument::Texts act = BenchDocument::repeatedSample(30000);
    const Measured big = measure(act.lyric, act.score, "keystroke_30000_lines_");
    const Stats bt = stats(big.edit.typing);
    print("keystroke_30000_lines_median_ms", bt.median, "ms");
    print("keystroke_30000_lines_p95_ms", bt.p95, "ms");
    printRatios(big, "_30000_lines");
    return 0;
}
