#include "online/ui/UpdateManager.h"

#include "dialogs/ui/DialogService.h"
#include "online/OnlineFetch.h"
#include "online/ServerConstants.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QWidget>

UpdateManager::UpdateManager(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_constants(ServerConstants::instance())
{
    connect(m_manager, &QNetworkAccessManager::finished, this, &UpdateManager::onFinished);
}

UpdateManager::~UpdateManager() = default;

void UpdateManager::checkForUpdate()
{
    if (ServerConstants::offline())
        return;
    QNetworkRequest request(QUrl(m_constants->apiBase + m_constants->updatePath));
    // Sent although there is no body; the server may look at it.
    request.setHeader(QNetworkRequest::ContentTypeHeader, m_constants->contentType);
    OnlineFetch::get(m_manager, request);
}

bool UpdateManager::isNewer(const QString &announced, const QString &current)
{
    return announced.toDouble() > current.toDouble();
}

void UpdateManager::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    QByteArray body;
    if (!OnlineFetch::readBody(reply, &body)) {
        const QString why = reply->error() != QNetworkReply::NoError
                                ? reply->errorString()
                                : QStringLiteral("reply too large");
        emit dataSubmitted(false, why);
        return;
    }
    const QString text = QString::fromUtf8(body);
    const QJsonDocument json = QJsonDocument::fromJson(text.toUtf8());
    if (json.isObject()) {
        const QJsonObject manifest = json.object();
        // A version sent as a JSON number is no string: it reads as empty.
        const QString version = manifest.value(QStringLiteral("version")).toString();
        const bool force = manifest.value(QStringLiteral("force")).toBool();
        if (isNewer(version, m_constants->version)) {
            Dialogs::information(nullptr, tr("更新提示"), tr("有新版本可用，请更新！"));
            const QString site = m_constants->webBase + m_constants->rootPath;
            if (!Dialogs::openUrl(QUrl(site)))
                Dialogs::information(nullptr, tr("更新提示"),
                                     tr("无法打开下载链接，请到官网下载：") + site + tr("！"));
            if (force)
                closeForUpdate();
        }
    }
    emit dataSubmitted(true, text);
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
