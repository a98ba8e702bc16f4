// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;
class UpdateCheck;
struct UpdateNotice;

// Shows what the update check finds: a newer version is announced and the
// web site opened. A forced update closes the program, but only through the
// window's own close prompts: an unsaved document is never discarded, and a
// cancelled prompt keeps the program open.
class UpdateManager : public QObject
{
    Q_OBJECT

public:
    explicit UpdateManager(QObject *parent = nullptr);
    ~UpdateManager() override;

    // The window a forced update closes; without one it quits directly.
    void setWindow(QWidget *window) { m_window = window; }

    // Starts the request and returns at once; does nothing when offline.
    void checkForUpdate();

    // Whether the announced version is newer (see UpdateCheck::isNewer).
    static bool isNewer(const QString &announced, const QString &current);

signals:
    // Once per reply: false with the error text, or true with the body.
    void dataSubmitted(bool success, const QString &message);

private:
    void announce(const UpdateNotice &notice);
    void closeForUpdate();

    UpdateCheck *m_check;
    QPointer<QWidget> m_window;
};
