// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/Printing.h"

#include "render/ExportConfig.h"
#include "export/ExportWriters.h"
#include "render/GenerateSVG.h"

#include <QPainter>
#include <QPrinter>

#include <algorithm>

void Printing::preparePrinter(QPrinter *printer, const ExportConfig &config,
                              const QString &title)
{
    printer->setPageLayout(ExportNames::pageLayout(config));
    // The score's margins are drawn into every page; the printer adds none
    // and places the page from the paper's corner.
    printer->setFullPage(true);
    printer->setCreator(QStringLiteral("Kelvo工尺谱"));
    printer->setDocName(title.trimmed().isEmpty() ? ExportNames::defaultTitle()
                                                  : title.trimmed());
}

Printing::Result Printing::printPages(GenerateSVG &pages, QPrinter *printer)
{
    const QPageRanges ranges =
        printer->printRange() == QPrinter::PageRange ? printer->pageRanges() : QPageRanges();
    // A printer that repeats the job itself (CUPS) gets each page once; the
    // PDF printer cannot, so its copies are drawn as pages.
    const bool ownCopies = !printer->supportsMultipleCopies();
    QList<int> order =
        GenerateSVG::printOrder(pages.pageCount(), ranges,
                                ownCopies ? printer->copyCount() : 1, printer->collateCopies());
    if (order.isEmpty())
        return Result::NothingSelected;
    // "Reverse" in the print dialog: the last sheet comes out first.
    if (printer->pageOrder() == QPrinter::LastPageFirst)
        std::reverse(order.begin(), order.end());
    QPainter painter;
    if (!painter.begin(printer))
        return Result::Failed;
    pages.replayPages(&painter, printer, order);
    return painter.end() ? Result::Printed : Result::Failed;
}
