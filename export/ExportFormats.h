// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/ExportWriters.h"

#include <QList>
#include <QString>
#include <QStringList>

class GenerateSVG;

namespace Music {
struct Options;
struct Performance;
} // namespace Music

// The one table of export formats: what the dialog's file-type chooser
// offers, what --format accepts, what the help and the manual list. Adding
// a format is one entry here plus its writer.
namespace ExportFormats {

// The settings a format makes use of. The dialog enables the controls of
// these; the command line refuses an option of the other kind (a page
// option for a music format and the reverse) and --soundfont where unused.
enum Option : unsigned {
    Dpi = 1,
    Scheme = 2,
    Style = 4,
    Tempo = 8,
    Transpose = 16,
    NoOrnaments = 32,
    SoundFont = 64,
    Rhythm = 128,
};
constexpr unsigned PageOptions = Dpi | Scheme | Style;
constexpr unsigned MusicOptions = Tempo | Transpose | Rhythm | NoOrnaments;

// The writer of a format with pages: reads a finished generation.
using PageWriter = ExportResult (*)(GenerateSVG &pages, const QString &target, int qualityIndex);
// The writer of a music format: reads the score as music.
using MusicWriter = ExportResult (*)(const Music::Performance &performance,
                                     const Music::Options &options, const QString &soundFont,
                                     const QString &target,
                                     const ExportWriters::AudioProgress &progress);

struct Format
{
    QString name;        // as --format takes it and the chooser shows it: "pdf"
    QStringList aliases; // also taken by --format: "jpeg"
    QString label;       // in messages: "PDF", "MIDI"
    QString suffix;      // of the file written (or of the pages in the folder)
    QString caption;     // the title of the dialog's file chooser
    QString filter;      // its filter; none for a folder target
    bool paged = false;  // laid out in pages (else read as music)
    bool folder = false; // the target is the folder that receives a new folder of pages
    unsigned options = 0;
    bool needsSoundFont = false;
    PageWriter pageWriter = nullptr;   // when paged
    MusicWriter musicWriter = nullptr; // otherwise

    bool takes(Option option) const { return options & option; }
};

// Every format, in the order the chooser and the help list them.
const QList<Format> &all();
// By name or alias, any case; nullptr for an unknown one.
const Format *find(const QString &nameOrAlias);
// The format used when none is asked for.
const Format &fallback();

// The names of the formats that pass the test, for messages:
// "pdf, png, jpg, svg" and, with a last word, "midi, musicxml or wav".
QStringList names(bool (*test)(const Format &) = nullptr);
QString list(const QStringList &names, const QString &lastSeparator = QStringLiteral(", "));

} // namespace ExportFormats
