// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/UpdateCheck.h"

#include "online/OnlineFetch.h"
#include "online/ServerConstants.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace {

double versionNumber(const QString &version)
{
    // toDouble alone would also take exponents, signs, "inf" and "nan".
    static const QRegularExpression plain(QStringLiteral("^\\s*(\\d+(\\.\\d*)?|\\.\\d+)\\s*$"));
    if (!plain.match(version).hasMatch())
        return 0;
    bool ok = false;
    const double number = version.trimmed().toDouble(&ok);
    return ok ? number : 0;
}

} // namespace

UpdateCheck::UpdateCheck(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_constants(ServerConstants::instance())
{
    connect(m_manager, &QNetworkAccessManager::finished, this, &UpdateCheck::onFinished);
}

void UpdateCheck::start()
{
    if (ServerConstants::offline())
        return;
    QNetworkRequest request(QUrl(m_constants->apiBase + m_constants->updatePath));
    // Sent although there is no body; the server may look at it.
    request.setHeader(QNetworkRequest::ContentTypeHeader, m_constants->contentType);
    OnlineFetch::get(m_manager, request);
}

bool UpdateCheck::isNewer(const QString &announced, const QString &current)
{
    return versionNumber(announced) > versionNumber(current);
}

bool UpdateCheck::readManifest(const QByteArray &body, const ServerConstants &constants,
                               UpdateNotice *notice)
{
    const QJsonDocument json = QJsonDocument::fromJson(body);
    if (!json.isObject())
        return false;
    const QJsonObject manifest = json.object();
    // A version sent as a JSON number is no string: it reads as empty.
    const QString version = manifest.value(QStringLiteral("version")).toString();
    if (!isNewer(version, constants.version))
        return false;
    const QString site = constants.webBase + constants.rootPath;
    notice->title = tr("更新提示");
    notice->text = tr("有新版本可用，请更新！");
    notice->site = QUrl(site);
    notice->browserFailedText = tr("无法打开下载链接，请到官网下载：") + site + tr("！");
    notice->force = manifest.value(QStringLiteral("force")).toBool();
    return true;
}

void UpdateCheck::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    QByteArray body;
    if (!OnlineFetch::readBody(reply, &body)) {
        const QString why = reply->error() != QNetworkReply::NoError
                                ? reply->errorString()
                                : QStringLiteral("reply too large");
        emit finished(false, why);
        return;
    }
    const QString text = QString::fromUtf8(body);
    UpdateNotice notice;
    if (readManifest(text.toUtf8(), *m_constants, &notice))
        emit updateAvailable(notice);
    emit finished(true, text);
}
