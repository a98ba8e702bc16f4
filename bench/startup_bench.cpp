// SPDX-License-Identifier: GPL-3.0-or-later
// Time from launching the editor to its main window being shown, offscreen.
// Runs the real executable several times and prints the median.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;

    QTemporaryDir dataDir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KELVO_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
    env.insert(QStringLiteral("KELVO_OFFLINE"), QStringLiteral("1"));
    env.insert(QStringLiteral("KELVO_DATA_DIR"), dataDir.path());

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        process.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral(KELVO_EXECUTABLE), QStringList());
        if (!process.waitForStarted(10000)) {
            std::fprintf(stderr, "cannot start %s\n", KELVO_EXECUTABLE);
            return 1;
        }
        double shownAt = -1;
        while (process.state() != QProcess::NotRunning || process.canReadLine()) {
            if (process.canReadLine() || process.waitForReadyRead(30000)) {
                while (process.canReadLine()) {
                    const QByteArray line = process.readLine();
                    if (line.startsWith("shown") && shownAt < 0)
                        shownAt = timer.nsecsElapsed() / 1e6;
                }
            } else {
                break;
            }
            if (shownAt >= 0)
                break;
        }
        process.waitForFinished(30000);
        if (shownAt < 0) {
            std::fprintf(stderr, "the editor never reported its window\n");
            return 1;
        }
        times.push_back(shownAt);
    }
    std::sort(times.begin(), times.end());
    std::printf("startup_ms %.1f ms\n", times[times.size() / 2]);
    return 0;
}
