// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/ui/UpdateManager.h"

#include "shared/ui/DialogService.h"
#include "online/UpdateCheck.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

UpdateManager::UpdateManager(QObject *parent)
    : QObject(parent)
    , m_check(new UpdateCheck(this))
{
    connect(m_check, &UpdateCheck::updateAvailable, this, &UpdateManager::announce);
    connect(m_check, &UpdateCheck::finished, this, &UpdateManager::dataSubmitted);
}

UpdateManager::~UpdateManager() = default;

void UpdateManager::checkForUpdate()
{
    m_check->start();
}

bool UpdateManager::isNewer(const QString &announced, const QString &current)
{
    return UpdateCheck::isNewer(announced, current);
}

void UpdateManager::announce(const UpdateNotice &notice)
{
    Dialogs::information(nullptr, notice.title, notice.text);
    if (!Dialogs::openUrl(notice.site))
        Dialogs::information(nullptr, notice.title, notice.browserFailedText);
    if (notice.force)
        closeForUpdate();
}

void UpdateManager::closeForUpdate()
{
    // Closing under an open modal dialog would pull the documents from under
    // it; wait until the user has finished with it.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(200, this, &UpdateManager::closeForUpdate);
        return;
    }
    if (m_window) {
        // The close prompts run here; Cancel or a failed save keeps the
        // window, and then the program stays open.
        if (!m_window->close())
            return;
    }
    QCoreApplication::quit();
}
