// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CommandLineExport.h"

#include "core/DataPaths.h"
#include "core/Reporting.h"
#include "core/Startup.h"
#include "document/ScoreFile.h"
#include "render/ExportConfig.h"
#include "render/ExportStyles.h"
#include "export/ExportFormats.h"
#include "export/ExportJob.h"
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

    // GenerateSVG::progressUpdate.
    void update(int status, int value, int maxValue, const QString &tip)
    {
        if (status == GenerateSVG::ProgressStart) {
            if (!tip.isEmpty())
                m_tip = tip;
            m_percent = -1;
            StatusLine::instance().show(m_tip);
        } else if (status == GenerateSVG::ProgressStep && maxValue > 0) {
            const int percent = int(qint64(value) * 100 / maxValue);
            if (percent != m_percent) {
                m_percent = percent;
                StatusLine::instance().show(QStringLiteral("%1 %2/%3 (%4%)")
                                                .arg(m_tip)
                                                .arg(value)
                                                .arg(maxValue)
                                                .arg(percent));
            }
        } else if (status == GenerateSVG::ProgressEnd) {
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

// --format as given, aliases resolved; pdf when none, nullptr when unknown.
const ExportFormats::Format *formatOf(const Startup::Arguments &o)
{
    return o.format.isEmpty() ? &ExportFormats::fallback() : ExportFormats::find(o.format);
}

using Format = ExportFormats::Format;
bool isPaged(const Format &format) { return format.paged; }
bool isMusic(const Format &format) { return !format.paged; }
bool takesSoundFont(const Format &format) { return format.takes(ExportFormats::SoundFont); }

// "a, b or c" of the formats that pass the test.
QString alternatives(bool (*test)(const ExportFormats::Format &) = nullptr)
{
    return ExportFormats::list(ExportFormats::names(test), QStringLiteral(" or "));
}

// --notation as given: the setting's value, -1 when it names none.
int notationOf(const QString &name)
{
    const QString n = name.trimmed().toLower();
    return n == QLatin1String("gongche") ? ExportSettings::GongcheNotation
        : n == QLatin1String("jianpu")   ? ExportSettings::JianpuNotation
                                         : -1;
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
    } else if (!o.rhythm.isEmpty() && !Music::parseRhythm(o.rhythm, &options.rhythm)) {
        *problem = Music::rhythmRangeMessage(o.rhythm);
    } else {
        *problem = Music::checkOptions(options);
    }
    return options;
}

// Everything about the command line itself, decided without an application
// object or a file: a fault is printed, and its exit status returned.
// *request gets the format and its options; the score and the target
// follow once they are read.
std::optional<int> readRequest(const Startup::Arguments &o, ExportRequest *request)
{
    if (o.mode == Startup::Mode::Error)
        return fail(o.error + QStringLiteral(" (see --help)"), Usage);
    if (o.target.isEmpty())
        return fail(QStringLiteral("no export target given (--export <target>)"), Usage);
    if (o.scores.isEmpty())
        return fail(QStringLiteral("no score file given"), Usage);
    if (o.scores.size() > 1)
        return fail(QStringLiteral("only one score file can be exported at a time"), Usage);

    const ExportFormats::Format *format = formatOf(o);
    if (!format)
        return fail(QStringLiteral("unknown format \"%1\" (%2)").arg(o.format, alternatives()),
                    Usage);
    ExportRequest made;
    made.format = format;
    if (!o.notation.isEmpty() && !format->paged)
        return fail(QStringLiteral("--notation applies to the page formats only (%1)")
                        .arg(ExportFormats::names(&isPaged).join(QStringLiteral(", "))),
                    Usage);
    if (!o.notation.isEmpty() && notationOf(o.notation) < 0)
        return fail(QStringLiteral("unknown notation \"%1\" (gongche or jianpu)").arg(o.notation),
                    Usage);
    // Numbered pages are the score read as music: the reading's options apply.
    const bool numbered = notationOf(o.notation) == ExportSettings::JianpuNotation;
    if (!format->paged || (numbered && !o.noOrnaments)) {
        if (!format->paged && (!o.dpi.isEmpty() || !o.scheme.isEmpty() || !o.style.isEmpty()))
            return fail(QStringLiteral("--dpi, --scheme and --style apply to the page formats "
                                       "only (%1)")
                            .arg(ExportFormats::names(&isPaged).join(QStringLiteral(", "))),
                        Usage);
        QString problem;
        made.music = musicOptions(o, &problem);
        if (!problem.isEmpty())
            return fail(problem, Usage);
    } else if (!o.tempo.isEmpty() || !o.transpose.isEmpty() || !o.rhythm.isEmpty()
               || o.noOrnaments) {
        return fail(QStringLiteral("--tempo, --transpose, --rhythm and --no-ornaments apply to "
                                   "--format %1 only")
                        .arg(alternatives(&isMusic)),
                    Usage);
    }
    if (!o.soundFont.isEmpty() && !format->takes(ExportFormats::SoundFont))
        return fail(QStringLiteral("--soundfont applies to --format %1 only")
                        .arg(alternatives(&takesSoundFont)),
                    Usage);
    if (format->paged && !o.style.isEmpty() && !ExportStyles::find(o.style))
        return fail(QStringLiteral("unknown style \"%1\" (%2)").arg(o.style, ExportStyles::idList()),
                    Usage);
    if (format->paged && !o.dpi.isEmpty()) {
        made.quality = qualityForDpi(o.dpi.trimmed());
        if (made.quality < 0)
            return fail(QStringLiteral("unsupported resolution \"%1\" (96, 160, 300 or 600)")
                            .arg(o.dpi),
                        Usage);
    }
    made.soundFont = o.soundFont;
    *request = made;
    return std::nullopt;
}

// The target's fault, told as the command line tells it; 0 when none.
int targetFault(const ExportFormats::Format &format, const Startup::Arguments &o,
                const QString &target)
{
    using Problem = ExportJob::TargetProblem;
    switch (ExportJob::checkTarget(format, target)) {
    case Problem::None:
        return Success;
    case Problem::IsDirectory:
        return fail(QStringLiteral("target \"%1\" is a directory; give the %2 file to write")
                        .arg(o.target, format.label));
    case Problem::NotDirectory:
        return fail(QStringLiteral("target \"%1\" exists and is not a directory").arg(o.target));
    case Problem::CannotCreate:
        return fail(QStringLiteral("cannot create the target directory \"%1\"").arg(o.target));
    case Problem::NotWritable:
        return fail(QStringLiteral("target directory \"%1\" is not writable").arg(o.target));
    }
    return Failed;
}

int failedExport(const ExportResult &result, const Startup::Arguments &o)
{
    if (!result.message.isEmpty())
        printErr(QStringLiteral("kelvo-gongche: %1: %2").arg(result.messageTitle, result.message));
    return fail(QStringLiteral("export to \"%1\" failed").arg(o.target));
}

// Reads the score as music and writes it: no pages, no fonts.
int runMusicExport(const Startup::Arguments &o, const ExportRequest &request)
{
    ProgressPrinter progress;
    ExportProgress report;
    if (request.format->needsSoundFont)
        report.fraction = [&](double fraction) {
            progress.fraction(QStringLiteral("rendering the sound"), fraction);
            return true;
        };
    ExportDetails details;
    const ExportResult result = ExportJob::run(request, report, &details);
    if (!result.ok)
        return failedExport(result, o);
    if (!result.warning.isEmpty())
        printErr(QStringLiteral("kelvo-gongche: warning: ") + result.warning);
    if (details.foldedNotes > 0)
        printErr(QStringLiteral("kelvo-gongche: warning: %1 note(s) outside the MIDI range "
                                "moved by octaves")
                     .arg(details.foldedNotes));
    if (request.format->needsSoundFont)
        printErr(QStringLiteral("rendered %1 s of sound").arg(result.seconds, 0, 'f', 1));
    printErr(QStringLiteral("exported %1 note(s) in %2 section(s) to %3")
                 .arg(details.notes)
                 .arg(details.sections)
                 .arg(QDir::toNativeSeparators(result.target)));
    return Success;
}

// Lays the score out and writes its pages.
int runPageExport(const Startup::Arguments &o, const ExportRequest &request)
{
    StderrReporter reporter;
    Reporting::ScopedReporter reporting(&reporter);
    ProgressPrinter progress;
    ExportProgress report;
    report.steps = [&progress](int status, int value, int maxValue, const QString &,
                               const QString &tip) { progress.update(status, value, maxValue, tip); };
    report.laidOut = [](bool truncated) {
        if (truncated)
            printErr(QStringLiteral("kelvo-gongche: warning: the score was cut at %1 pages")
                         .arg(GenerateSVG::maxPages()));
    };
    ExportDetails details;
    const ExportResult result = ExportJob::run(request, report, &details);
    // What the layout could not set as asked, each once, whatever the
    // writer made of the pages.
    for (const QString &warning : details.layoutWarnings)
        printErr(QStringLiteral("kelvo-gongche: warning: ") + warning);
    if (!result.ok)
        return failedExport(result, o);
    printErr(QStringLiteral("exported %1 page(s) to %2")
                 .arg(details.pages)
                 .arg(QDir::toNativeSeparators(result.target)));
    // The pages written are kept, as the export dialog keeps them, but a
    // script must not take an incomplete export for a finished one.
    if (details.truncated)
        return fail(QStringLiteral("the export is incomplete: everything after page %1 is missing")
                        .arg(GenerateSVG::maxPages()));
    return Success;
}

} // namespace

bool isMusicExport(const Startup::Arguments &arguments)
{
    const ExportFormats::Format *format = formatOf(arguments);
    return format && !format->paged;
}

std::optional<int> checkCommandLineExport(const Startup::Arguments &arguments)
{
    ExportRequest request;
    return readRequest(arguments, &request);
}

int runCommandLineExport(const Startup::Arguments &o)
{
    ExportRequest request;
    if (const auto code = readRequest(o, &request))
        return *code;
    const QString scorePath = o.scores.first();

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
    request.texts = ExportRequest::Texts{decoded.lyric, decoded.score};
    request.target = QFileInfo(o.target).absoluteFilePath();

    if (!request.format->paged) {
        if (const int code = targetFault(*request.format, o, request.target))
            return code;
        return runMusicExport(o, request);
    }

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
    if (!o.notation.isEmpty())
        config->setNotation(notationOf(o.notation)); // known: readRequest checked it
    request.config = config.get();
    if (const int code = targetFault(*request.format, o, request.target))
        return code;
    return runPageExport(o, request);
}
