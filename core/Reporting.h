// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class QObject;

// How code without a window tells the user about a failure. The editor
// installs a reporter that shows message boxes; the command line installs
// one that prints to standard error. Without a reporter a report goes to
// the debug log.
namespace Reporting {

enum class Severity { Information, Warning, Critical };

struct Report
{
    Severity severity = Severity::Warning;
    QString title;
    QString text;
};

class Reporter
{
public:
    virtual ~Reporter() = default;
    virtual void report(const Report &report) = 0;
};

// Installs a reporter (the caller keeps ownership) and returns the one it
// replaces; nullptr goes back to the debug log.
Reporter *setReporter(Reporter *reporter);
Reporter *reporter();

void report(Severity severity, const QString &title, const QString &text);
inline void warning(const QString &title, const QString &text)
{
    report(Severity::Warning, title, text);
}
inline void information(const QString &title, const QString &text)
{
    report(Severity::Information, title, text);
}

// Settings that could not be written: a full disk, a read-only data folder,
// a folder where the file should be. They are saved on the way (a recent
// file, the window's place), so no message breaks in at that moment:
// SafeWrite::syncSettings calls settingsNotSaved, which logs the failure
// and passes it to the listener; the editor's window says once, in its
// status bar, which file could not be written.
void settingsNotSaved(const QString &path);
// Installs the listener for as long as context lives (nullptr: none). A
// listener hears of one failure only, the first of its session; one from
// before it was installed reaches it at once.
void setSettingsListener(QObject *context, std::function<void(const QString &path)> listener);

// Installs a reporter for a scope and puts the previous one back after it.
class ScopedReporter
{
public:
    explicit ScopedReporter(Reporter *reporter)
        : m_previous(setReporter(reporter))
    {
    }
    ~ScopedReporter() { setReporter(m_previous); }
    ScopedReporter(const ScopedReporter &) = delete;
    ScopedReporter &operator=(const ScopedReporter &) = delete;

private:
    Reporter *m_previous;
};

} // namespace Reporting
