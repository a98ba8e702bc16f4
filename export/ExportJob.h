// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"
#include "export/ExportFormats.h"
#include "music/Performance.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ExportConfig;
class GenerateSVG;

// One export, as the dialog or the command line asks for it.
struct ExportRequest
{
    const ExportFormats::Format *format = &ExportFormats::fallback();
    QString target; // the file, or for a folder format the folder to receive one

    // The score: the texts as read from a file, paired as the editor opens
    // them, or the line list of an open document.
    struct Texts
    {
        QString lyric;
        QString score;
    };
    std::optional<Texts> texts;
    LayoutItems items; // when there are no texts

    // The formats with pages: the settings, and optionally the generator
    // to lay out with (the dialog's, whose progress it already shows);
    // without one the job makes its own over config.
    ExportConfig *config = nullptr;
    GenerateSVG *pages = nullptr;
    int quality = 2; // as for ExportWriters::dpiForQuality

    // The music formats.
    Music::Options music;
    QString soundFont; // empty: Debian's
};

// How far the job is: the generator's progressUpdate for the layout and
// the page writers, a fraction for the sound (false cancels).
struct ExportProgress
{
    std::function<void(int status, int value, int maxValue, const QString &winTitle,
                       const QString &tip)>
        steps;
    ExportWriters::AudioProgress fraction;
    // Once every page is laid out, before the writer starts: whether the
    // score was cut at the page limit.
    std::function<void(bool truncated)> laidOut;
};

// What the job made beyond the writer's result, for the command line's
// summary.
struct ExportDetails
{
    int pages = 0;
    bool truncated = false;      // cut at the page limit
    QStringList layoutWarnings;  // what the layout could not set as asked, each once
    int notes = 0;
    int sections = 0;
    int foldedNotes = 0; // moved by octaves into the MIDI range
};

namespace ExportJob {

// What is wrong with a target before anything is laid out or read; a
// folder target is made when missing.
enum class TargetProblem {
    None,
    IsDirectory,     // a file format given a folder
    NotDirectory,    // a folder format given something else that exists
    CannotCreate,    // the folder cannot be made
    NotWritable,     // the folder cannot be written in
};
TargetProblem checkTarget(const ExportFormats::Format &format, const QString &target);

// Lays the items out in the notation the generator's settings choose: the
// gongche columns, or a numbered-notation (简谱) edition read with music.
// previewOnly as for GenerateSVG::generate (the numbered pages are laid out
// whole). The export, the dialog's preview and printing all lay out here.
void layPages(GenerateSVG &generator, const LayoutItems &items, const Music::Options &music,
              bool previewOnly = false);

// Pairs the texts (or takes the items), lays out every page or reads the
// music, and calls the format's writer; the writer's result.
ExportResult run(const ExportRequest &request, const ExportProgress &progress = {},
                 ExportDetails *details = nullptr);

} // namespace ExportJob
