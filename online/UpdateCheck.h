// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
struct ServerConstants;

// What to tell the user about a newer version.
struct UpdateNotice
{
    QString title;
    QString text;
    QUrl site;                 // opened in the browser after the notice
    QString browserFailedText; // shown when the browser cannot be opened
    bool force = false;        // close the program afterwards
};

// Asks the API server once whether a newer version exists and reads the
// answer; showing it is left to the caller.
class UpdateCheck : public QObject
{
    Q_OBJECT

public:
    explicit UpdateCheck(QObject *parent = nullptr);

    // Starts the request and returns at once; does nothing when offline.
    void start();

    // Whether the announced version is newer, compared as decimal numbers
    // (so "2.10" equals "2.1"). Anything but a plain decimal number, such as
    // "2.1.1", "1e9" or "inf", counts as 0.
    static bool isNewer(const QString &announced, const QString &current);

    // Reads an update manifest: true with the notice when it announces a
    // version newer than the constants' own. Malformed manifests, non-object
    // documents and versions sent as JSON numbers announce nothing.
    static bool readManifest(const QByteArray &body, const ServerConstants &constants,
                             UpdateNotice *notice);

signals:
    // A newer version exists; emitted before finished.
    void updateAvailable(const UpdateNotice &notice);
    // Once per reply: false with the error text, or true with the body.
    void finished(bool success, const QString &message);

private:
    void onFinished(QNetworkReply *reply);

    QNetworkAccessManager *m_manager;
    ServerConstants *m_constants;
};
