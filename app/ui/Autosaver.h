// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/AutosaveStore.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>

class KelvoEdit;
class QMainWindow;

// Keeps a copy of every modified document in the data folder's autosave/
// folder, rewritten on a timer while the document keeps changing, and offers
// the copies left by a run that did not close cleanly. The user's own files
// are never written here: a restored document opens modified, bound to its
// file, and reaches it only through an explicit save.
class Autosaver : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultIntervalMs = 2 * 60 * 1000;

    // The interval is DefaultIntervalMs unless the environment variable
    // KELVO_AUTOSAVE_SECONDS asks for another (scripted runs).
    explicit Autosaver(QMainWindow *window);

    int interval() const { return m_timer.interval(); }
    void setInterval(int ms);

    // Documents are tracked from when their tab opens.
    void track(KelvoEdit *editor);
    // The document's tab closes without its changes being kept: its copy goes.
    void forget(KelvoEdit *editor);
    // The window closed with every document dealt with.
    void endSession();

    // Asks, document by document, whether to restore what a run that ended
    // without closing left behind; addTab receives each restored editor.
    void offerRecovery(const std::function<void(KelvoEdit *)> &addTab);

    AutosaveStore &store() { return m_store; }

public slots:
    // Writes each document changed since its last copy, or whose copy has
    // gone, after putting back a session folder or lock removed meanwhile
    // (the timer's tick).
    void autosaveNow();

private:
    struct Tracked
    {
        QString id;
        QByteArray writtenHash; // of the last copy written; empty: none on disk
    };

    bool writeCopy(KelvoEdit *editor, Tracked &tracked);
    void dropCopy(KelvoEdit *editor);

    QMainWindow *m_window;
    AutosaveStore m_store;
    QTimer m_timer;
    QHash<KelvoEdit *, Tracked> m_tracked;
    int m_nextId = 1;
};
