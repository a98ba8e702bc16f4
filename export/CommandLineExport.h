// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Startup.h"

#include <QStringList>

#include <optional>

// Exporting a score without opening a window, for users who publish many
// scores from scripts:
//
//   kelvo-gongche -o|--export <target> [--format pdf|png|jpg|svg]
//                 [-r|--dpi 96|160|300|600] [--style slanted|upright]
//                 [--scheme scheme.json] <score.gcp>
//   kelvo-gongche -o <file> --format midi|musicxml [--tempo <bpm>]
//                 [--transpose <semitones>] [--rhythm halving|proportional]
//                 [--no-ornaments] <score.gcp>
//   kelvo-gongche -o <file.wav> --format wav [music options] [--soundfont <sf2>]
//                 <score.gcp>
//
// Uses the current export settings, with the given style and then the given
// scheme over them, without touching the saved settings. Results, warnings
// (also what the layout could not set as asked) and errors go to standard
// error, the progress too when that is a terminal (one line that rewrites
// itself).

// Checks the command line of an export without any application object or
// file: an unknown format, a tempo out of range, an option of another
// format. Prints the fault and returns the exit status (2) when there is
// one; main calls it first, so that such a fault is reported whatever
// would fail later.
std::optional<int> checkCommandLineExport(const Startup::Arguments &arguments);

// Runs the export the parsed arguments ask for and returns the process exit
// code: 0 success, 1 the export failed (score, scheme or target) or is
// incomplete (cut at the page limit), 2 bad usage.
// Needs the application object, the resources and the font registry.
int runCommandLineExport(const Startup::Arguments &arguments);

// Whether the arguments ask for a music format (MIDI, MusicXML, WAV), which
// needs neither layout nor fonts.
bool isMusicExport(const Startup::Arguments &arguments);
