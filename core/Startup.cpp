// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Startup.h"

#include "core/Version.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// Qt's own options, which the application object takes out of the
// arguments later; accepted here so that they are not unknown options.
const char *const QtValueOptions[] = {"platform", "platformtheme", "platformpluginpath",
                                      "plugin", "qwindowgeometry", "geometry",
                                      "qwindowtitle", "title", "qwindowicon", "icon",
                                      "style", "stylesheet", "display", "session"};
const char *const QtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
// The export's options that take a value: their names and where the value
// goes. One table for the parser, for the check of options given without a
// value, and for the platform scan.
struct ValueOption
{
    const char *names[2]; // the second may be null
    const char *valueName;
    QString Startup::Arguments::*field;
};
const ValueOption OwnValueOptions[] = {
    {{"o", "export"}, "target", &Startup::Arguments::target},
    {{"format", nullptr}, "format", &Startup::Arguments::format},
    {{"r", "dpi"}, "dpi", &Startup::Arguments::dpi},
    {{"scheme", nullptr}, "file", &Startup::Arguments::scheme},
    {{"tempo", nullptr}, "bpm", &Startup::Arguments::tempo},
    {{"transpose", nullptr}, "semitones", &Startup::Arguments::transpose},
    {{"rhythm", nullptr}, "rhythm", &Startup::Arguments::rhythm},
    {{"soundfont", nullptr}, "file", &Startup::Arguments::soundFont},
    {{"notation", nullptr}, "notation", &Startup::Arguments::notation},
};

QCommandLineOption optionOf(const ValueOption &option)
{
    QStringList names;
    for (const char *name : option.names)
        if (name)
            names << QString::fromLatin1(name);
    return QCommandLineOption(names, QString(), QString::fromLatin1(option.valueName));
}

bool takesValue(const QString &name)
{
    const auto is = [&name](const char *option) { return option && name == QLatin1String(option); };
    return std::any_of(std::begin(QtValueOptions), std::end(QtValueOptions), is)
        || std::any_of(std::begin(OwnValueOptions), std::end(OwnValueOptions),
                       [&is](const ValueOption &o) { return is(o.names[0]) || is(o.names[1]); });
}

QString optionName(const QString &argument)
{
    QString name = argument;
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    return name.section(QLatin1Char('='), 0, 0);
}

// The argument as the user wrote it that names the option, for messages.
QString spelledAs(const QStringList &arguments, const QString &name)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--"))
            break;
        if (arg.startsWith(QLatin1Char('-')) && optionName(arg) == name)
            return arg.section(QLatin1Char('='), 0, 0);
    }
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

void print(std::FILE *stream, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    if (!line.endsWith(QLatin1Char('\n')))
        std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

Startup::Arguments Startup::parseArguments(const QStringList &arguments)
{
    // Long-option parsing: -o and --export alike, and Qt's -platform is one
    // option rather than the letters p, l, a, ...
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption sample(QStringLiteral("sample"));
    const QCommandLineOption noOrnaments(QStringLiteral("no-ornaments"));
    parser.addOptions({help, version, sample, noOrnaments});
    for (const ValueOption &option : OwnValueOptions)
        parser.addOption(optionOf(option));
    for (const char *name : QtValueOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(),
                                            QStringLiteral("value")));
    for (const char *name : QtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    Arguments result;
    // An empty list still has a program name to skip.
    const QStringList list = arguments.isEmpty() ? QStringList{QString()} : arguments;
    if (!parser.parse(list)) {
        result.mode = Mode::Error;
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            result.error = QStringLiteral("unknown option \"%1\"")
                               .arg(spelledAs(list, unknown.first()));
        } else {
            // The only other faults: a value option last without its value,
            // or a value given to a switch.
            const QString last = list.last();
            if (last.startsWith(QLatin1Char('-')) && !last.contains(QLatin1Char('='))
                && takesValue(optionName(last))) {
                result.error = QStringLiteral("option %1 needs a value").arg(last);
            } else {
                result.error = parser.errorText();
                for (const QString &arg : list.mid(1)) {
                    if (arg == QLatin1String("--"))
                        break;
                    if (arg.startsWith(QLatin1Char('-')) && arg.contains(QLatin1Char('='))
                        && !takesValue(optionName(arg))) {
                        result.error = QStringLiteral("option %1 takes no value")
                                           .arg(arg.section(QLatin1Char('='), 0, 0));
                        break;
                    }
                }
            }
        }
        return result;
    }

    bool exportOption = false;
    for (const ValueOption &option : OwnValueOptions) {
        const QString name = QString::fromLatin1(option.names[0]);
        result.*option.field = parser.value(name);
        exportOption = exportOption || parser.isSet(name);
    }
    result.noOrnaments = parser.isSet(noOrnaments);
    result.scores = parser.positionalArguments();
    result.sample = parser.isSet(sample);
    // Qt takes the platform only as a separate argument.
    result.platformGiven = list.contains(QStringLiteral("-platform"))
                           || list.contains(QStringLiteral("--platform"));

    if (parser.isSet(help))
        result.mode = Mode::Help;
    else if (parser.isSet(version))
        result.mode = Mode::Version;
    else if (exportOption || result.noOrnaments)
        result.mode = Mode::Export;
    // The same option name as Qt's widget style: an export has no widgets,
    // so there it names the page style.
    if (result.mode == Mode::Export)
        result.style = parser.value(QStringLiteral("style"));
    if (result.mode != Mode::Editor || result.scores.isEmpty())
        return result;

    // The editor opens the first score; an empty argument names nothing.
    const QString path = result.scores.first();
    if (path.isEmpty())
        return result;
    const QFileInfo info(path);
    if (!info.exists())
        result.scoreProblem = QStringLiteral("score file \"%1\" does not exist").arg(path);
    else if (!info.isFile())
        result.scoreProblem = QStringLiteral("\"%1\" is not a score file").arg(path);
    else
        result.score = path;
    return result;
}

QList<int> Startup::platformOptionPositions(const QStringList &arguments)
{
    QList<int> positions;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--"))
            break;
        if (!arg.startsWith(QLatin1Char('-')) || arg.size() < 2)
            continue;
        const QString name = optionName(arg);
        const bool valueInline = arg.contains(QLatin1Char('='));
        if (name == QLatin1String("platform")) {
            positions << i;
            if (!valueInline && i + 1 < arguments.size())
                positions << ++i;
        } else if (!valueInline && takesValue(name)) {
            ++i; // a value, whatever it looks like
        }
    }
    return positions;
}

QString Startup::versionLine()
{
    return QStringLiteral("kelvo-gongche ") + Version::number();
}

QString Startup::helpText()
{
    return QStringLiteral(
        "Usage: kelvo-gongche [score.gcp | --sample]\n"
        "       kelvo-gongche -o <target> [--format pdf|png|jpg|svg]\n"
        "                     [-r 96|160|300|600] [--style slanted|upright]\n"
        "                     [--scheme scheme.json] [--notation gongche|jianpu]\n"
        "                     [--tempo <bpm>] [--transpose <n>] [--rhythm <rhythm>]\n"
        "                     <score.gcp>\n"
        "       kelvo-gongche -o <file> --format midi|musicxml [--tempo <bpm>]\n"
        "                     [--transpose <n>] [--rhythm halving|proportional]\n"
        "                     [--no-ornaments] <score.gcp>\n"
        "       kelvo-gongche -o <file> --format wav [--tempo <bpm>] [--transpose <n>]\n"
        "                     [--rhythm halving|proportional] [--no-ornaments]\n"
        "                     [--soundfont <file.sf2>] <score.gcp>\n"
        "       kelvo-gongche -h | -v\n"
        "\n"
        "Without options the editor starts and opens the score file, if given\n"
        "(a score that does not exist is reported and the editor starts without it).\n"
        "  --sample               open your own copy of the bundled sample score, made\n"
        "                         in the data folder the first time\n"
        "\n"
        "With --export the score is laid out and exported without opening a window:\n"
        "  -o, --export <target>  pdf, midi, musicxml, wav: the file to write (replaced if\n"
        "                         it exists);\n"
        "                         png, jpg, svg: the directory in which a new folder\n"
        "                         <title>_png (<title>_png_0, ... when taken) receives\n"
        "                         the pages <title>_0.png, <title>_1.png, ...\n"
        "  --format <format>      pdf, png, jpg (or jpeg), svg, midi (or mid), musicxml\n"
        "                         (or xml) or wav (or wave); by default pdf (a target\n"
        "                         ending in .png, .jpg or .svg is still a directory)\n"
        "  -r, --dpi <dpi>        resolution of png and jpg pages: 96, 160, 300 or 600\n"
        "                         (default 300)\n"
        "  --scheme <file>        use the export settings of this JSON scheme instead\n"
        "                         of the saved ones; the saved settings are not changed\n"
        "  --style <style>        a built-in page style over the saved settings:\n"
        "                         slanted (the notation slanted beside each character,\n"
        "                         coloured marks) or upright (upright notation, beat\n"
        "                         marks to the right, all black for printing); with\n"
        "                         --scheme the style comes first, the scheme over it\n"
        "  --notation <notation>  gongche (default: the columns of the editor's\n"
        "                         notation) or jianpu, a numbered-notation (简谱)\n"
        "                         edition; jianpu reads the score as music, so\n"
        "                         --tempo, --transpose and --rhythm apply to it too\n"
        "\n"
        "midi, musicxml and wav read the notation as music (a Standard MIDI File with\n"
        "the lyric as karaoke text; MusicXML for notation programs; wav: the sound,\n"
        "44.1 kHz 16-bit stereo):\n"
        "  --tempo <bpm>          beats a minute, above 0 and at most 400 (default 60)\n"
        "  --transpose <n>        semitones up (or down, negative), -24 to 24 (default 0)\n"
        "  --rhythm <rhythm>      how the notes between two beat marks share the beat:\n"
        "                         halving (default: halved again and again, earlier\n"
        "                         notes longer, as transcriptions write it) or\n"
        "                         proportional (by weight: triplets and the like)\n"
        "  --no-ornaments         midi, wav: play the ornaments as plain notes\n"
        "  --soundfont <file>     wav: the SoundFont (.sf2) to play with; by default, or\n"
        "                         when it cannot be used (with a warning), Debian's\n"
        "                         FluidR3_GM.sf2, else TimGM6mb.sf2\n"
        "\n"
        "  -h, --help             show this text\n"
        "  -v, --version          show the version\n"
        "\n"
        "Values may also follow an equals sign (--dpi=300); \"--\" ends the options.\n"
        "Results, warnings and errors go to standard error, and so does the progress\n"
        "(one line that updates itself) when that is a terminal. Exit status: 0 done,\n"
        "1 the score, scheme or target could not be used, the export failed, the\n"
        "score was cut at the page limit (the pages before it are written), the\n"
        "score has no notes to play, no SoundFont is usable, or the editor found no\n"
        "display, 2 the command line itself is wrong (an unknown option, format,\n"
        "resolution, notation, tempo, transposition or rhythm).\n"
        "The export needs no display: it always runs on Qt's offscreen platform\n"
        "(-platform and QT_QPA_PLATFORM are ignored). The editor needs DISPLAY or\n"
        "WAYLAND_DISPLAY.\n");
}

bool Startup::hasDisplay(const Arguments &arguments, const QProcessEnvironment &environment)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    if (arguments.platformGiven)
        return true;
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!environment.value(QString::fromLatin1(name)).isEmpty())
            return true;
    return false;
#else
    Q_UNUSED(arguments);
    Q_UNUSED(environment);
    return true;
#endif
}

QString Startup::noDisplayMessage()
{
    return QStringLiteral("no display: set DISPLAY, or use --export");
}

std::optional<int> Startup::earlyExit(const Arguments &arguments,
                                      const QProcessEnvironment &environment)
{
    const QString name = QStringLiteral("kelvo-gongche: ");
    switch (arguments.mode) {
    case Mode::Error:
        print(stderr, name + arguments.error + QStringLiteral(" (see --help)"));
        return Usage;
    case Mode::Help:
        print(stdout, helpText());
        return Success;
    case Mode::Version:
        print(stdout, versionLine());
        return Success;
    case Mode::Export:
        return std::nullopt;
    case Mode::Editor:
        break;
    }
    // Qt would abort with a page about platform plugins.
    if (!hasDisplay(arguments, environment)) {
        print(stderr, name + noDisplayMessage());
        return Failed;
    }
    if (!arguments.scoreProblem.isEmpty())
        print(stderr, name + arguments.scoreProblem);
    return std::nullopt;
}

bool Startup::installQtTranslations(const QString &folder)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    const QString dir =
        folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto *translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), dir)) {
        qDebug("Qt's Chinese texts (qtbase_zh_CN) not found in %s; Qt's own texts stay in English",
               qPrintable(dir));
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
