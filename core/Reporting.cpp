// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Reporting.h"

#include <QDebug>
#include <QFileInfo>
#include <QObject>
#include <QPointer>

#include <utility>

namespace {
Reporting::Reporter *g_reporter = nullptr;

struct SettingsListener
{
    QPointer<QObject> context;
    std::function<void(const QString &)> listen;
    bool told = false;
    // A failure no listener has heard of yet.
    QString pending;
};

SettingsListener &settingsListener()
{
    static SettingsListener s_listener;
    return s_listener;
}
} // namespace

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

void Reporting::settingsNotSaved(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    qWarning().noquote() << QStringLiteral("settings could not be written to ") + absolute;
    SettingsListener &l = settingsListener();
    if (!l.context || !l.listen) {
        if (l.pending.isEmpty())
            l.pending = absolute;
        return;
    }
    if (l.told)
        return;
    l.told = true;
    l.listen(absolute);
}

void Reporting::setSettingsListener(QObject *context,
                                    std::function<void(const QString &path)> listener)
{
    SettingsListener &l = settingsListener();
    l.context = context;
    l.listen = context ? std::move(listener) : nullptr;
    l.told = false;
    if (l.context && l.listen && !l.pending.isEmpty()) {
        l.told = true;
        l.listen(std::exchange(l.pending, QString()));
    }
}
