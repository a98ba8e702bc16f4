// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class ExportConfig;
class GenerateSVG;
class QPrinter;

// Printing replays the same page recordings as the PDF writer, on the paper
// and margins of the export settings.
namespace Printing {

// Gives the printer the score's paper (size and orientation from the
// settings), no printer margins and full-page coordinates, so a page prints
// exactly as it exports; and names the job after the score.
void preparePrinter(QPrinter *printer, const ExportConfig &config, const QString &title);

enum class Result {
    Printed,
    NothingSelected, // the page range holds none of the score's pages
    Failed,          // the printer (or its output file) could not be opened
};

// Prints the generated pages: the printer's page range (all pages unless a
// range was chosen), its page order, copies and collation. Copies are drawn here when
// the printer cannot repeat the job itself (PDF output); otherwise the
// printer is left to make them.
Result printPages(GenerateSVG &pages, QPrinter *printer);

} // namespace Printing
