// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds saved inputs to the fuzz targets without libFuzzer, so the seeds and
// the reproducers of fixed faults run in every ordinary build:
//
//     fuzz_replay <target> <file or folder>...
//
// Folders are read recursively in name order. Inputs under a "pending"
// folder (reproducers of faults not yet mended) and README files are
// skipped with a note. A broken invariant aborts, which fails the test.

#include "FuzzSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

QStringList inputsUnder(const QString &path)
{
    if (QFileInfo(path).isFile())
        return {path};
    QStringList files;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: fuzz_replay <target> <file or folder>...\ntargets: %s\n",
                     qPrintable(Fuzz::targetNames().join(QLatin1Char(' '))));
        return 2;
    }
    const QString name = QString::fromLocal8Bit(argv[1]);
    const Fuzz::TargetFunction target = Fuzz::findTarget(name);
    if (!target) {
        std::fprintf(stderr, "fuzz_replay: no target \"%s\"\n", argv[1]);
        return 2;
    }
    int run = 0;
    for (int i = 2; i < argc; ++i) {
        const QString root = QString::fromLocal8Bit(argv[i]);
        if (!QFileInfo::exists(root)) {
            // A target without reproducers yet has no folder in the sources.
            std::printf("nothing at %s\n", argv[i]);
            continue;
        }
        for (const QString &path : inputsUnder(root)) {
            const QString relative = path.mid(root.size());
            if (relative.contains(QLatin1String("/pending/"))
                || QFileInfo(path).fileName().startsWith(QLatin1String("README"))) {
                std::printf("skipped: %s\n", qPrintable(path));
                continue;
            }
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "fuzz_replay: cannot read %s\n", qPrintable(path));
                return 2;
            }
            const QByteArray data = file.readAll();
            std::printf("input: %s\n", qPrintable(path));
            std::fflush(stdout);
            target(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
            ++run;
        }
    }
    std::printf("%s: %d inputs passed\n", argv[1], run);
    // Seeds that went missing would make this test pass without testing.
    return run > 0 ? 0 : 1;
}
