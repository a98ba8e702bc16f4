// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/MainWindow.h"
#include "shared/ui/DialogService.h"
#include "core/Resources.h"
#include "core/Startup.h"
#include "core/Version.h"
#include "export/CommandLineExport.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"

#include <QApplication>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

// What both the editor and the command-line export need once the
// application object exists.
void setUpApplication(bool fonts = true)
{
    QCoreApplication::setApplicationName(QStringLiteral("kelvo-gongche"));
    // Lets Wayland desktops match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kelvo-gongche"));
    QCoreApplication::setApplicationVersion(Version::number());
    initResources();
    if (!fonts)
        return;
    // Registers the embedded and the installed notation fonts before anything
    // lays text out.
    FontRegistry::instance();
    installPlatformFontSubstitutions();
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();

    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    const Startup::Arguments arguments = Startup::parseArguments(rawArguments);
    if (const auto code = Startup::earlyExit(arguments, QProcessEnvironment::systemEnvironment()))
        return *code;

    // The export lays out and paints but shows nothing: a QGuiApplication
    // is all it needs, and no widget can come into being on the way.
    if (arguments.mode == Startup::Mode::Export) {
        // A faulty command line is told before anything else can fail.
        if (const auto code = checkCommandLineExport(arguments))
            return *code;
        // Always on Qt's offscreen platform, whatever QT_QPA_PLATFORM or
        // -platform say: a platform plugin that cannot be loaded (no
        // display, a misspelt name) would abort the program, and the pages
        // come out the same wherever the export runs.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        const QList<int> platform = Startup::platformOptionPositions(rawArguments);
        std::vector<char *> kept;
        for (int i = 0; i < argc; ++i)
            if (!platform.contains(i))
                kept.push_back(argv[i]);
        int keptCount = int(kept.size());
        kept.push_back(nullptr);
        QGuiApplication app(keptCount, kept.data());
        // MIDI and MusicXML lay nothing out: no fonts to register.
        setUpApplication(!isMusicExport(arguments));
        return runCommandLineExport(arguments);
    }

    QApplication app(argc, argv);
    setUpApplication();
    Startup::installQtTranslations();

    Dialogs::reportThroughDialogs();
    MainWindow window;
    window.show();
    window.restoreAutosaves();
    // --sample (what run.sh passes): the user's own copy of the sample score.
    if (arguments.sample)
        window.openSampleCopy();
    else
        window.openPath(arguments.score);

    // Used by the start-up benchmark: report once the window is up, then quit.
    if (qEnvironmentVariableIsSet("KELVO_EXIT_WHEN_SHOWN")) {
        QTimer::singleShot(0, &app, [&] {
            std::printf("shown %lld\n", static_cast<long long>(sinceStart.elapsed()));
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
