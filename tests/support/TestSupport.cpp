// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestSupport.h"


ScriptedDialogs::ScriptedDialogs()
{
    Dialogs::setHandler(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    if (Dialogs::handler() == this)
        Dialogs::setHandler(nullptr);
}

void ScriptedDialogs::queueButton(QMessageBox::StandardButton button)
{
    DialogAnswer a;
    a.button = button;
    m_answers.append(a);
}

void ScriptedDialogs::queuePath(const QString &path)
{
    DialogAnswer a;
    a.path = path;
    m_answers.append(a);
}

void ScriptedDialogs::queueColor(const QColor &color)
{
    DialogAnswer a;
    a.color = color;
    m_answers.append(a);
}

DialogAnswer ScriptedDialogs::answer(const DialogRequest &request)
{
    requests.append(request);
    if (onRequest)
        onRequest(request);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    DialogAnswer a;
    if (request.isMessage()) {
        if (request.buttons.testFlag(QMessageBox::Cancel))
            a.button = QMessageBox::Cancel;
        else if (request.buttons.testFlag(QMessageBox::No))
            a.button = QMessageBox::No;
        else
            a.button = QMessageBox::Ok;
    }
    return a;
}

TestEnvironment::TestEnvironment() = default;
TestEnvironment::~TestEnvironment() = default;

void initTestApplication()
{
    initCoreTestApplication();
    Dialogs::reportThroughDialogs();
}
