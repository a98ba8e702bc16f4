// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shared/ui/DialogService.h"
#include "support/CoreTestSupport.h"

#include <QList>
#include <functional>

// Records every dialog the program asks for and answers from a queue.
// With the queue empty it answers like a cautious user: OK for a plain
// message, Cancel (or No) for a question, an empty path for a file dialog,
// no colour for the colour dialog; opening a web address succeeds.
class ScriptedDialogs : public DialogHandler
{
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    DialogAnswer answer(const DialogRequest &request) override;

    void queue(const DialogAnswer &answer) { m_answers.append(answer); }
    void queueButton(QMessageBox::StandardButton button);
    void queuePath(const QString &path);
    void queueColor(const QColor &color);

    QList<DialogRequest> requests;
    // Called for each request after it is recorded (for example to look at
    // the application's state while a message is "open").
    std::function<void(const DialogRequest &)> onRequest;

private:
    QList<DialogAnswer> m_answers;
};

// One test case's environment: a fresh data folder and scripted dialogs,
// both restored when the object goes away.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString dataDir() const { return m_data.dataDir(); }
    ScriptedDialogs &dialogs() { return m_dialogs; }

private:
    TestDataFolder m_data;
    ScriptedDialogs m_dialogs;
};

// Call once from a test's main (or initTestCase): resources, names, and
// reports of the core shown through the dialog seam.
void initTestApplication();
