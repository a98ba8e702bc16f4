#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;
struct ServerConstants;

// Asks the API server once whether a newer version exists and, if so, tells
// the user and opens the web site. A forced update closes the program, but
// only through the window's own close prompts: an unsaved document is never
// discarded, and a cancelled prompt keeps the program open.
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

    // Whether the announced version is newer, compared as decimal numbers
    // (so "2.10" equals "2.1"; anything unparsable counts as 0).
    static bool isNewer(const QString &announced, const QString &current);

signals:
    // Once per reply: false with the error text, or true with the body.
    void dataSubmitted(bool success, const QString &message);

private:
    void onFinished(QNetworkReply *reply);
    void closeForUpdate();

    QNetworkAccessManager *m_manager;
    ServerConstants *m_constants;
    QPointer<QWidget> m_window;
};
