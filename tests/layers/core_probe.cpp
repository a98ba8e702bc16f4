// SPDX-License-Identifier: GPL-3.0-or-later
// A program on the core library alone: it loads a score, lays it out and
// writes its pages, the way the command-line export does. The layer test
// checks that it runs and that it never loads Qt Widgets.

#include "core/Resources.h"
#include "core/Startup.h"
#include "export/CommandLineExport.h"
#include "fonts/FontRegistry.h"

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    initResources();
    FontRegistry::instance();
    QStringList arguments = QCoreApplication::arguments();
    arguments.insert(1, QStringLiteral("--export"));
    return runCommandLineExport(Startup::parseArguments(arguments));
}
