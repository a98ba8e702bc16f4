#include "app/MainWindow.h"
#include "app/Resources.h"
#include "app/Startup.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvo-gongche"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVO_VERSION));
    initResources();
    // Registers the embedded and the installed notation fonts before any
    // widget asks for them.
    FontRegistry::instance();
    installPlatformFontSubstitutions();

    MainWindow window;
    window.show();
    window.openPath(Startup::fileArgument(QCoreApplication::arguments()));

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
