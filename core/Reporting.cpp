// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Reporting.h"

#include <QDebug>

namespace {
Reporting::Reporter *g_reporter = nullptr;
}

Reporting::Reporter *Reporting::setReporter(Reporter *reporter)
{
    Reporter *previous = g_reporter;
    g_reporter = reporter;
    return previous;
}

Reporting::Reporter *Reporting::reporter()
{
    return g_reporter;
}

void Reporting::report(Severity severity, const QString &title, const QString &text)
{
    if (g_reporter) {
        g_reporter->report(Report{severity, title, text});
        return;
    }
    qWarning().noquote() << title + QStringLiteral(": ") + text;
}
