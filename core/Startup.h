// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

// What the program is asked to do by its command line, decided before any
// application object exists (the choice of platform depends on it):
//
//   kelvo-gongche [score.gcp | --sample]            the editor
//   kelvo-gongche -o <target> [-r <dpi>] ... <score.gcp>   the export
//   kelvo-gongche -o <x.mid> --format midi [--tempo <bpm>] [--rhythm <r>] ... <score.gcp>
//   kelvo-gongche -o <x.wav> --format wav [--soundfont <sf2>] ... <score.gcp>
//   kelvo-gongche -h | -v                           help, version
namespace Startup {

// Exit status of the process: 0 done, 1 failed (a score, scheme or target
// that cannot be used, an incomplete export, no display), 2 bad usage.
enum ExitCode { Success = 0, Failed = 1, Usage = 2 };

enum class Mode { Editor, Export, Help, Version, Error };

struct Arguments
{
    Mode mode = Mode::Editor;
    // Mode::Error: what is wrong, one line without the program name.
    QString error;

    // The export options as given (checked by the export itself).
    QString target;
    QString format;
    QString dpi;
    QString scheme;
    // The built-in page style (--style) of an export. Only in export mode:
    // for the editor, -style/--style stays Qt's widget style option.
    QString style;
    // The page formats: gongche (the default) or jianpu, numbered notation.
    QString notation;
    // The music formats (midi, musicxml, wav): beats a minute, semitones,
    // how notes share a beat (halving, proportional), and whether the
    // ornament figures are left out of the sound.
    QString tempo;
    QString transpose;
    QString rhythm;
    bool noOrnaments = false;
    // wav: the SoundFont to render with (Debian's when empty).
    QString soundFont;
    // The positional arguments, in order.
    QStringList scores;

    // The editor: the score to open (an existing regular file), else empty;
    // scoreProblem says why a score named on the command line is not opened.
    QString score;
    QString scoreProblem;

    // The editor: open the user's own copy of the bundled sample instead.
    bool sample = false;
    // Qt's own -platform option was given: the caller chose a platform.
    bool platformGiven = false;
};

// Parses the arguments, program name first. Never exits the process and
// never touches an application object.
Arguments parseArguments(const QStringList &arguments);

// The positions in arguments (program name first) of Qt's -platform option
// and its value, which the export leaves out: it always runs on Qt's
// offscreen platform.
QList<int> platformOptionPositions(const QStringList &arguments);

// The text printed by --help and the line printed by --version.
QString helpText();
QString versionLine();

// Whether a window can be shown: a platform chosen (QT_QPA_PLATFORM or
// -platform) or an X11 or Wayland display named in the environment. Always
// true where the platform needs no display server.
bool hasDisplay(const Arguments &arguments, const QProcessEnvironment &environment);
// Printed when hasDisplay() is false and the editor was asked for.
QString noDisplayMessage();

// What happens before any application object: prints the help, the version,
// a usage error, the lack of a display or a score the editor will not open,
// and returns the exit status when the process is to end here.
std::optional<int> earlyExit(const Arguments &arguments, const QProcessEnvironment &environment);

// Loads Qt's own texts (standard buttons, file dialogs) in Chinese, like the
// rest of the interface, from the given folder (Qt's translations folder
// when empty). Without the catalogue Qt stays in English; returns whether it
// was installed. Needs the application object.
bool installQtTranslations(const QString &folder = QString());

} // namespace Startup
