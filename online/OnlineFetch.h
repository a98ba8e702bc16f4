// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The limits every start-up request runs under: a server that stalls or
// sends without end must neither hang the request nor exhaust memory.
namespace OnlineFetch {

constexpr qint64 MaxReplyBytes = 1024 * 1024;
constexpr int TransferTimeoutMs = 10000;

// Starts a GET with the transfer timeout and aborts the reply as soon as it
// announces or delivers more than MaxReplyBytes.
QNetworkReply *get(QNetworkAccessManager *manager, QNetworkRequest request);

// The body of a finished reply; false on any error (an aborted, oversized
// reply included).
bool readBody(QNetworkReply *reply, QByteArray *body);

} // namespace OnlineFetch
