// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

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
