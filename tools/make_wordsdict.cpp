// kelvo-make-wordsdict OUT.csv
//
// Writes the shipped input-method dictionary (resources/wordsdict.csv) from
// the symbol tables. Run it after changing a symbol's name or abbreviations
// and commit the result; test_symboldictionary fails while the committed
// file and the tables disagree.

#include "input/DictionaryContent.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: kelvo-make-wordsdict OUT.csv\n");
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
