// SPDX-License-Identifier: GPL-3.0-or-later
// kelvo-jianpu-pdf SCORE.gcp OUT.pdf [--page-size-id N] [--landscape]
//
// Writes a score's numbered-notation (简谱) edition as a PDF with the
// default export settings, through the same writer as every export, for
// looking at the pages by eye. Runs headless (QT_QPA_PLATFORM=offscreen);
// its settings stay in a temporary folder.

#include "core/DataPaths.h"
#include "core/Resources.h"
#include "document/Pairing.h"
#include "document/ScoreFile.h"
#include "document/TextNormalisation.h"
#include "export/ExportWriters.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"
#include "jianpu/JianpuLayout.h"
#include "render/ExportConfig.h"
#include "render/GenerateSVG.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: kelvo-jianpu-pdf SCORE.gcp OUT.pdf [--page-size-id N] [--landscape]\n");
        return 2;
    }
    QTemporaryDir data;
    DataPaths::setOverride(data.path());
    initResources();
    FontRegistry::instance();
    installPlatformFontSubstitutions();

    QFile file(args[1]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    const ScoreFile::Decoded decoded = ScoreFile::decode(file.readAll());
    const ScoreSyntax::NormalisedDocument doc = ScoreSyntax::normaliseDocument(decoded.lyric, decoded.score);
    const LayoutItems items = ScoreSyntax::layoutItems(PlainLines(doc.lyric.split(QLatin1Char('\n'))),
                                                       PlainLines(doc.score.split(QLatin1Char('\n'))));
    const auto config = ExportConfig::inMemory(data.filePath(QStringLiteral("settings.ini")));
    const int sizeAt = int(args.indexOf(QStringLiteral("--page-size-id")));
    if (sizeAt > 0 && sizeAt + 1 < args.size())
        config->setPageSizeId(args[sizeAt + 1].toInt());
    config->setIsLandscape(args.contains(QStringLiteral("--landscape")));
    GenerateSVG generator(config.get());
    Jianpu::generate(generator, items, Music::Options());
    for (const QString &warning : generator.layoutWarnings())
        std::fprintf(stderr, "%s\n", qPrintable(warning));
    const ExportResult result = ExportWriters::writePdf(generator, args[2]);
    std::fprintf(stderr, "%d pages: %s\n", generator.pageCount(), qPrintable(result.message));
    return result.ok ? 0 : 1;
}
