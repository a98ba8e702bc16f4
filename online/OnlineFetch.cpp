// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/OnlineFetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace OnlineFetch {

QNetworkReply *get(QNetworkAccessManager *manager, QNetworkRequest request)
{
    request.setTransferTimeout(TransferTimeoutMs);
    QNetworkReply *reply = manager->get(request);
    const auto tooLarge = [reply](qint64 received, qint64 total) {
        if ((received > MaxReplyBytes || total > MaxReplyBytes) && reply->isRunning())
            reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, tooLarge);
    return reply;
}

bool readBody(QNetworkReply *reply, QByteArray *body)
{
    if (reply->error() != QNetworkReply::NoError)
        return false;
    *body = reply->read(MaxReplyBytes + 1);
    return body->size() <= MaxReplyBytes;
}

} // namespace OnlineFetch
