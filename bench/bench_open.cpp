// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a long act: the bundled sample repeated to 3,000 and to 30,000
// lyric lines, saved as a .gcp file and opened in the paired editor the way
// the main window opens a file. Measured from the open until it is usable:
// the editor is shown, and a key typed at once (posted right after the
// show, so it waits behind whatever the opening left in the queue) has
// entered the text and been painted. Also the time until the event loop
// is idle, the processor time until usable (which a busy machine does not
// inflate), and the peak memory of the process (VmHWM), next to the peak of
// the same program with an empty editor. Each open runs in a child process
// of its own so that the peaks do not mix. The same open into a bare pair
// of QPlainTextEdit (the file decoded, the two texts set, no highlighting,
// gutters or pairing) says what Qt's editors take for the text alone.
// Prints "name value unit" lines.

#include "BenchPrint.h"
#include "BenchDocument.h"
#include "document/ScoreFile.h"
#include "document/ui/KelvoEdit.h"
#include "editor/ui/LyricEdit.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

namespace {

using Bench::print;
using Bench::median;

constexpr int Runs = 3;

// Notes the first paint of the text area that shows the typed key.
class PaintWatch : public QObject
{
public:
    std::function<bool()> keyArrived;
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && keyArrived())
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// The bare pair: the decoded texts in two plain editors side by side.
struct PlainPair
{
    QWidget window;
    QPlainTextEdit *lyric = new QPlainTextEdit(&window);
    QPlainTextEdit *score = new QPlainTextEdit(&window);

    bool load(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const ScoreFile::Decoded decoded = ScoreFile::decode(file.readAll());
        if (decoded.status != ScoreFile::Decoded::Ok)
            return false;
        auto *row = new QHBoxLayout(&window);
        row->addWidget(lyric);
        row->addWidget(score);
        lyric->setPlainText(decoded.lyric);
        score->setPlainText(decoded.score);
        return true;
    }
};

// One open in this process; prints "usable_ms idle_ms peak_mib usable_cpu_ms".
int child(const QString &path, bool plain)
{
    QElapsedTimer clock;
    clock.start();
    timespec start{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    const double startCpu = start.tv_sec * 1e3 + start.tv_nsec / 1e6;
    std::unique_ptr<KelvoEdit> edit;
    std::unique_ptr<PlainPair> pair;
    QWidget *window = nullptr;
    QPlainTextEdit *lyric = nullptr;
    if (plain) {
        pair = std::make_unique<PlainPair>();
        if (!pair->load(path))
            return 1;
        window = &pair->window;
        lyric = pair->lyric;
    } else {
        edit = std::make_unique<KelvoEdit>();
        if (!path.isEmpty() && !edit->load(path))
            return 1;
        window = edit.get();
        lyric = edit->lyricEdit();
    }
    window->resize(1000, 900);
    window->show();
    lyric->setFocus();
    const QString typed = QStringLiteral("好");
    const int before = lyric->document()->characterCount();
    PaintWatch watch;
    watch.keyArrived = [&] { return lyric->document()->characterCount() > before; };
    lyric->viewport()->installEventFilter(&watch);
    QCoreApplication::postEvent(lyric, new QKeyEvent(QEvent::KeyPress, Qt::Key_unknown,
                                                     Qt::NoModifier, typed));
    QCoreApplication::postEvent(lyric, new QKeyEvent(QEvent::KeyRelease, Qt::Key_unknown,
                                                     Qt::NoModifier, typed));
    // Whatever the opening queued comes first, then the key and its paint.
    while (!watch.painted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (clock.elapsed() > 60000)
            return 1;
    }
    const double usable = clock.nsecsElapsed() / 1e6;
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    const double usableCpu = cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6 - startCpu;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    while (dispatcher->processEvents(QEventLoop::AllEvents)) {
    }
    const double idle = clock.nsecsElapsed() / 1e6;
    std::printf("%.3f %.3f %.3f %.3f\n", usable, idle, BenchDocument::peakMiB(), usableCpu);
    return 0;
}

struct Result
{
    double usable = 0, idle = 0, peak = 0, cpu = 0;
};

bool runChild(const QString &path, Result *result, bool plain = false)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(),
                  {plain ? QStringLiteral("--plain") : QStringLiteral("--child"), path});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return false;
    const QList<QByteArray> f = process.readAllStandardOutput().trimmed().split(' ');
    if (f.size() != 4)
        return false;
    *result = {f[0].toDouble(), f[1].toDouble(), f[2].toDouble(), f[3].toDouble()};
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dataDir; // outlives the application: the config saves at exit
    QApplication app(argc, argv);
    BenchDocument::initApplication(dataDir.path());
    const QStringList args = app.arguments();
    if (args.size() == 3 && (args.at(1) == QLatin1String("--child") || args.at(1) == QLatin1String("--plain")))
        return child(args.at(2), args.at(1) == QLatin1String("--plain"));

    Result empty;
    if (!runChild(QString(), &empty)) {
        std::fprintf(stderr, "the empty editor could not be measured\n");
        return 1;
    }
    print("open_empty_ms", empty.usable, "ms");
    print("open_empty_peak_mb", empty.peak, "MiB");
    for (const int lines : {3000, 30000}) {
        const BenchDocument::Texts texts = BenchDocument::repeatedSample(lines);
        const QString path = dataDir.filePath(QStringLiteral("act-%1.gcp").arg(lines));
        if (texts.lyric.isEmpty() || !ScoreFile::write(path, texts.lyric, texts.score)) {
            std::fprintf(stderr, "the act could not be written\n");
            return 1;
        }
        std::vector<double> usable, idle, peak, cpu, plainUsable, plainCpu, plainPeak;
        // Interleaved, so that both meet the same machine.
        for (int run = 0; run < Runs; ++run) {
            Result r, p;
            if (!runChild(path, &r) || !runChild(path, &p, true)) {
                std::fprintf(stderr, "opening %d lines failed\n", lines);
                return 1;
            }
            usable.push_back(r.usable);
            idle.push_back(r.idle);
            peak.push_back(r.peak);
            cpu.push_back(r.cpu);
            plainUsable.push_back(p.usable);
            plainCpu.push_back(p.cpu);
            plainPeak.push_back(p.peak);
        }
        const std::string prefix = "open_" + std::to_string(lines) + "_lines";
        print((prefix + "_ms").c_str(), median(usable), "ms");
        print((prefix + "_idle_ms").c_str(), median(idle), "ms");
        print((prefix + "_cpu_ms").c_str(), median(cpu), "ms");
        print((prefix + "_peak_mb").c_str(), *std::max_element(peak.begin(), peak.end()), "MiB");
        print((prefix + "_plain_ms").c_str(), median(plainUsable), "ms");
        print((prefix + "_vs_plain_cpu_ratio").c_str(), median(cpu) / std::max(median(plainCpu), 1e-9), "x");
        print((prefix + "_plain_peak_mb").c_str(),
              *std::max_element(plainPeak.begin(), plainPeak.end()), "MiB");
        if (lines == 30000)
            print("open_30000_lines_file_mb", QFile(path).size() / 1048576.0, "MiB");
    }
    return 0;
}
