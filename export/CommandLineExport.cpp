// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CommandLineExport.h"

#include "core/DataPaths.h"
#include "core/Reporting.h"
#include "core/Startup.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "document/TextNormalisation.h"
#include "render/ExportConfig.h"
#include "render/ExportStyles.h"
#include "export/ExportWriters.h"
#include "render/GenerateSVG.h"
#include "music/Reading.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

using Startup::Failed;
using Startup::Success;
using Startup::Usage;

// Progress on a terminal: one line on standard error that rewrites itself
// and is cleared before anything else is printed. Piped or redirected (and
// on a terminal that cannot clear a line), standard error gets no progress,
// only results, warnings and errors.
class StatusLine
{
public:
    static StatusLine &instance()
    {
        static StatusLine line;
        return line;
    }

    void show(const QString &text)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_enabled || (m_shown && text == m_text))
            return;
        m_text = text;
        m_shown = true;
        // Back to the start, the new text, the rest of the old one erased.
        std::fputs(("\r" + text.toLocal8Bit() + "\033[K").constData(), stderr);
        std::fflush(stderr);
    }

    // Also from Qt's message handler, on any thread.
    void clear()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_shown)
            return;
        m_shown = false;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }

private:
    StatusLine();

    std::mutex m_mutex;
    bool m_enabled = false;
    bool m_shown = false;
    QString m_text;
};

// Qt's own warnings start on a line of their own as well.
QtMessageHandler qtHandler = nullptr;

void clearingHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    StatusLine::instance().clear();
    qtHandler(type, context, text);
}

StatusLine::StatusLine()
{
#ifdef Q_OS_UNIX
    const QByteArray term = qgetenv("TERM");
    m_enabled = ::isatty(STDERR_FILENO) && !term.isEmpty() && term != "dumb";
#endif
    if (m_enabled && !qtHandler)
        qtHandler = qInstallMessageHandler(clearingHandler);
}

void printErr(const QString &text)
{
    StatusLine::instance().clear();
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

int fail(const QString &text, int code = Failed)
{
    printErr(QStringLiteral("kelvo-gongche: ") + text);
    return code;
}

// Anything reported on the way goes to standard error: nobody can answer a
// message box in a terminal.
class StderrReporter : public Reporting::Reporter
{
public:
    void report(const Reporting::Report &report) override
    {
        printErr(QStringLiteral("kelvo-gongche: %1: %2").arg(report.title, report.text));
    }
};

// The progress of the layout and the writers on the status line: the
// task's tip with the share done, rewritten when the whole percent moves.
class ProgressPrinter
{
public:
    ~ProgressPrinter() { StatusLine::instance().clear(); }

    // GenerateSVG::progressUpdate: 0 a task starts, 1 value of maxValue
    // done, 2 finished.
    void update(int status, int value, int maxValue, const QString &tip)
    {
        if (status == 0) {
            if (!tip.isEmpty())
                m_tip = tip;
            m_percent = -1;
            StatusLine::instance().show(m_tip);
        } else if (status == 1 && maxValue > 0) {
            const int percent = int(qint64(value) * 100 / maxValue);
            if (percent != m_percent) {
                m_percent = percent;
                StatusLine::instance().show(QStringLiteral("%1 %2/%3 (%4%)")
                                                .arg(m_tip)
                                                .arg(value)
                                                .arg(maxValue)
                                                .arg(percent));
            }
        } else if (status == 2) {
            StatusLine::instance().clear();
        }
    }

    // A task measured in a fraction 0..1 only.
    void fraction(const QString &tip, double done)
    {
        const int percent = int(done * 100);
        if (percent != m_percent || tip != m_tip) {
            m_tip = tip;
            m_percent = percent;
            StatusLine::instance().show(QStringLiteral("%1 %2%").arg(tip).arg(percent));
        }
    }

private:
    QString m_tip;
    int m_percent = -1;
};

int qualityForDpi(const QString &dpi)
{
    for (int q = 0; q < 4; ++q)
        if (dpi == QString::number(ExportWriters::dpiForQuality(q)))
            return q;
    return -1;
}

// --format as given, lower case, aliases resolved; pdf when none.
QString formatName(const QString &format)
{
    const QString name = format.toLower();
    if (name.isEmpty())
        return QStringLiteral("pdf");
    if (name == QLatin1String("jpeg"))
        return QStringLiteral("jpg");
    if (name == QLatin1String("mid"))
        return QStringLiteral("midi");
    if (name == QLatin1String("xml"))
        return QStringLiteral("musicxml");
    if (name == QLatin1String("wave"))
        return QStringLiteral("wav");
    return name;
}

// The options of the music formats, or a one-line refusal in *problem.
Music::Options musicOptions(const Startup::Arguments &o, QString *problem)
{
    Music::Options options;
    options.ornaments = !o.noOrnaments;
    if (!o.tempo.isEmpty() && !Music::parseTempo(o.tempo, &options.tempo)) {
        *problem = Music::tempoRangeMessage(o.tempo);
    } else if (!o.transpose.isEmpty() && !Music::parseTranspose(o.transpose, &options.transpose)) {
        *problem = Music::transposeRangeMessage(o.transpose);
    } else {
        *problem = Music::checkOptions(options);
    }
    return options;
}

// Reads the score as music and writes it: no pages, no fonts.
int runMusicExport(const Startup::Arguments &o, const QString &format,
                   const Music::Options &options, const ScoreFile::Decoded &decoded)
{
    const QString target = QFileInfo(o.target).absoluteFilePath();
    const bool wav = format == QLatin1String("wav");
    if (QFileInfo(target).isDir())
        return fail(QStringLiteral("target \"%1\" is a directory; give the %2 file to write")
                        .arg(o.target, format == QLatin1String("midi") ? QStringLiteral("MIDI")
                                       : wav ? QStringLiteral("WAV")
                                             : QStringLiteral("MusicXML")));

    const ScoreSyntax::NormalisedDocument document =
        ScoreSyntax::normaliseDocument(decoded.lyric, decoded.score);
    const Music::Performance performance = Music::read(
        ScoreSyntax::layoutItems(PlainLines(document.lyric), PlainLines(document.score)),
        options);
    ExportResult result;
    if (wav) {
        ProgressPrinter progress;
        result = ExportWriters::writeWav(performance, options, o.soundFont, target,
                                         [&](double fraction) {
                                             progress.fraction(
                                                 QStringLiteral("rendering the sound"), fraction);
                                             return true;
                                         });
    } else {
        result = format == QLatin1String("midi")
                     ? ExportWriters::writeMidi(performance, options, target)
                     : ExportWriters::writeMusicXml(performance, options, target);
    }
    if (!result.ok) {
        if (!result.message.isEmpty())
            printErr(QStringLiteral("kelvo-gongche: %1: %2")
                         .arg(result.messageTitle, result.message));
        return fail(QStringLiteral("export to \"%1\" failed").arg(o.target));
    }
    if (!result.warning.isEmpty())
        printErr(QStringLiteral("kelvo-gongche: warning: ") + result.warning);
    int folded = 0;
    for (const Music::Section &section : performance.sections)
        folded += section.foldedNotes;
    if (folded > 0)
        printErr(QStringLiteral("kelvo-gongche: warning: %1 note(s) outside the MIDI range "
                                "moved by octaves")
                     .arg(folded));
    if (wav)
        printErr(QStringLiteral("rendered %1 s of sound").arg(result.seconds, 0, 'f', 1));
    printErr(QStringLiteral("exported %1 note(s) in %2 section(s) to %3")
                 .arg(performance.noteCount())
                 .arg(performance.sections.size())
                 .arg(QDir::toNativeSeparators(result.target)));
    return Success;
}

} // namespace

bool isMusicExport(const Startup::Arguments &arguments)
{
    const QString format = formatName(arguments.format);
    return format == QLatin1String("midi") || format == QLatin1String("musicxml")
           || format == QLatin1String("wav");
}

namespace {

// What a well-formed export command line asks for.
struct Request
{
    QString format;
    bool music = false;
    Music::Options options;
    int quality = 2;
};

// Everything about the command line itself, decided without an application
// object or a file: a fault is printed, and its exit status returned.
std::optional<int> readRequest(const Startup::Arguments &o, Request *request)
{
    if (o.mode == Startup::Mode::Error)
        return fail(o.error + QStringLiteral(" (see --help)"), Usage);
    if (o.target.isEmpty())
        return fail(QStringLiteral("no export target given (--export <target>)"), Usage);
    if (o.scores.isEmpty())
        return fail(QStringLiteral("no score file given"), Usage);
    if (o.scores.size() > 1)
        return fail(QStringLiteral("only one score file can be exported at a time"), Usage);

    const QString format = formatName(o.format);
    static const QStringList formats = {QStringLiteral("pdf"),  QStringLiteral("png"),
                                        QStringLiteral("jpg"),  QStringLiteral("svg"),
                                        QStringLiteral("midi"), QStringLiteral("musicxml"),
                                        QStringLiteral("wav")};
    if (!formats.contains(format))
        return fail(QStringLiteral("unknown format \"%1\" (pdf, png, jpg, svg, midi, musicxml "
                                   "or wav)")
                        .arg(o.format),
                    Usage);
    const bool music = isMusicExport(o);
    Music::Options options;
    if (music) {
        if (!o.dpi.isEmpty() || !o.scheme.isEmpty() || !o.style.isEmpty())
            return fail(QStringLiteral("--dpi, --scheme and --style apply to the page formats "
                                       "only (pdf, png, jpg, svg)"),
                        Usage);
        QString problem;
        options = musicOptions(o, &problem);
        if (!problem.isEmpty())
            return fail(problem, Usage);
    } else if (!o.tempo.isEmpty() || !o.transpose.isEmpty() || o.noOrnaments) {
        return fail(QStringLiteral("--tempo, --transpose and --no-ornaments apply to "
                                   "--format midi, musicxml or wav only"),
                    Usage);
    }
    if (!o.soundFont.isEmpty() && format != QLatin1String("wav"))
        return fail(QStringLiteral("--soundfont applies to --format wav only"), Usage);
    if (!music && !o.style.isEmpty() && !ExportStyles::find(o.style))
        return fail(QStringLiteral("unknown style \"%1\" (%2)").arg(o.style, ExportStyles::idList()),
                    Usage);
    int quality = 2;
    if (!music && !o.dpi.isEmpty()) {
        quality = qualityForDpi(o.dpi.trimmed());
        if (quality < 0)
            return fail(QStringLiteral("unsupported resolution \"%1\" (96, 160, 300 or 600)")
                            .arg(o.dpi),
                        Usage);
    }
    *request = {format, music, options, quality};
    return std::nullopt;
}

} // namespace

std::optional<int> checkCommandLineExport(const Startup::Arguments &arguments)
{
    Request request;
    return readRequest(arguments, &request);
}

int runCommandLineExport(const Startup::Arguments &o)
{
    Request request;
    if (const auto code = readRequest(o, &request))
        return *code;
    const QString scorePath = o.scores.first();
    const QString &format = request.format;
    const bool music = request.music;
    const Music::Options &options = request.options;
    const int quality = request.quality;

    // The score.
    const QFileInfo scoreInfo(scorePath);
    if (!scoreInfo.exists())
        return fail(QStringLiteral("score file \"%1\" does not exist").arg(scorePath));
    if (!scoreInfo.isFile())
        return fail(QStringLiteral("\"%1\" is not a score file").arg(scorePath));
    QFile scoreFile(scorePath);
    if (!scoreFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read score file \"%1\": %2")
                        .arg(scorePath, scoreFile.errorString()));
    // As in the editor: after the open, so a missing file is reported as
    // missing; other files that happen to decode are not scores either.
    if (!ScoreFile::hasScoreExtension(scorePath))
        return fail(QStringLiteral("\"%1\": %2: %3")
                        .arg(scorePath, ScoreFile::wrongTypeTitle(), ScoreFile::wrongTypeText()));
    const ScoreFile::Decoded decoded = ScoreFile::decode(scoreFile.readAll());
    scoreFile.close();
    if (!decoded.ok())
        return fail(QStringLiteral("\"%1\" is not a valid score file (damaged or another format)")
                        .arg(scorePath));

    if (music)
        return runMusicExport(o, format, options, decoded);

    // The settings: the saved ones, the style over them, then the scheme
    // over both, all in memory; the user's settings.ini is only read.
    const std::unique_ptr<ExportConfig> config =
        ExportConfig::inMemory(DataPaths::settingsFile());
    if (!o.style.isEmpty())
        ExportStyles::apply(*config, o.style); // known: readRequest checked it
    if (!o.scheme.isEmpty()) {
        const QFileInfo schemeInfo(o.scheme);
        if (schemeInfo.isDir())
            return fail(QStringLiteral("scheme \"%1\" is a folder, not a scheme file").arg(o.scheme));
        if (!schemeInfo.exists())
            return fail(QStringLiteral("scheme file \"%1\" does not exist").arg(o.scheme));
        if (!schemeInfo.isFile())
            return fail(QStringLiteral("\"%1\" is not a scheme file").arg(o.scheme));
        if (!config->loadScheme(o.scheme))
            return fail(QStringLiteral("cannot use scheme \"%1\": not a readable JSON object")
                            .arg(o.scheme));
    }

    // The target.
    const QString target = QFileInfo(o.target).absoluteFilePath();
    if (format != QLatin1String("pdf")) {
        const QFileInfo info(target);
        if (info.exists() && !info.isDir())
            return fail(QStringLiteral("target \"%1\" exists and is not a directory").arg(o.target));
        if (!QDir().mkpath(target))
            return fail(QStringLiteral("cannot create the target directory \"%1\"").arg(o.target));
        if (!QFileInfo(target).isWritable())
            return fail(QStringLiteral("target directory \"%1\" is not writable").arg(o.target));
    } else if (QFileInfo(target).isDir()) {
        return fail(QStringLiteral("target \"%1\" is a directory; give the PDF file to write")
                        .arg(o.target));
    }

    StderrReporter reporter;
    Reporting::ScopedReporter reporting(&reporter);
    ProgressPrinter progress;
    GenerateSVG generator(config.get());
    QObject::connect(&generator, &GenerateSVG::progressUpdate, &generator,
                     [&progress](int status, int value, int maxValue, const QString &,
                                 const QString &tip) {
                         progress.update(status, value, maxValue, tip);
                     });

    // Paired exactly as the editor opens the file.
    const ScoreSyntax::NormalisedDocument document =
        ScoreSyntax::normaliseDocument(decoded.lyric, decoded.score);
    const PlainLines lyric(document.lyric);
    const PlainLines score(document.score);
    generator.clearPages();
    generator.generate(ScoreSyntax::layoutItems(lyric, score), false);
    if (generator.wasTruncated())
        printErr(QStringLiteral("kelvo-gongche: warning: the score was cut at %1 pages")
                     .arg(GenerateSVG::maxPages()));

    const ExportResult result =
        format == QLatin1String("pdf")   ? ExportWriters::writePdf(generator, target)
        : format == QLatin1String("svg") ? ExportWriters::writeSvg(generator, target)
                                         : ExportWriters::writeImages(generator, target, quality,
                                                                      format);
    // What the layout could not set as asked, each once, whatever the
    // writer made of the pages.
    QStringList warnings;
    for (const QString &warning : generator.layoutWarnings())
        if (!warnings.contains(warning))
            warnings << warning;
    for (const QString &warning : warnings)
        printErr(QStringLiteral("kelvo-gongche: warning: ") + warning);
    if (!result.ok) {
        if (!result.message.isEmpty())
            printErr(QStringLiteral("kelvo-gongche: %1: %2")
                         .arg(result.messageTitle, result.message));
        return fail(QStringLiteral("export to \"%1\" failed").arg(o.target));
    }
    printErr(QStringLiteral("exported %1 page(s) to %2")
                 .arg(generator.pageCount())
                 .arg(QDir::toNativeSeparators(result.target)));
    // The pages written are kept, as the export dialog keeps them, but a
    // script must not take an incomplete export for a finished one.
    if (generator.wasTruncated())
        return fail(QStringLiteral("the export is incomplete: everything after page %1 is missing")
                        .arg(GenerateSVG::maxPages()));
    return Success;
}
