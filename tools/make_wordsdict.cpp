// SPDX-License-Identifier: GPL-3.0-or-later
// kelvo-make-wordsdict OUT.csv
// kelvo-make-wordsdict --guide docs/guide.md
//
// Writes the shipped input-method dictionary (resources/wordsdict.csv) from
// the symbol tables, or rewrites the abbreviation tables of the user guide
// between their markers. Run both after changing a symbol's name or
// abbreviations and commit the results; test_symboldictionary fails while
// the committed files and the tables disagree.

#include "input/DictionaryContent.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

static int writeGuide(const QString &path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }
    const QString guide = withGuideAbbreviationTables(QString::fromUtf8(in.readAll()));
    in.close();
    if (guide.isEmpty()) {
        std::fprintf(stderr, "%s lacks the abbreviation markers\n", qPrintable(path));
        return 1;
    }
    QSaveFile out(path);
    const QByteArray bytes = guide.toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--guide"))
        return writeGuide(args.at(2));
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: kelvo-make-wordsdict OUT.csv | --guide GUIDE.md\n");
        return 2;
    }
    QSaveFile file(args.at(1));
    // Binary mode: the CR LF line ends are part of the content.
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QByteArray content = shippedDictionaryContent();
    if (file.write(content) != content.size() || !file.commit()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
