// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/ServerConstants.h"

#include "core/DataPaths.h"
#include "core/Version.h"

#include <QDir>
#include <QSettings>

static QString trimmedBase(QString base)
{
    base = base.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

static QString chooseBase(const char *envName, const QString &key, const QString &fallback)
{
    const QString env = trimmedBase(qEnvironmentVariable(envName));
    if (!env.isEmpty())
        return env;
    QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
    const QString configured =
        trimmedBase(settings.value(QStringLiteral("Server/") + key).toString());
    return configured.isEmpty() ? fallback : configured;
}

void ServerConstants::fill()
{
    apiBase = chooseBase("KELVO_API_BASE", QStringLiteral("apiBase"),
                         QStringLiteral("https://api.kelvo.example"));
    webBase = chooseBase("KELVO_WEB_BASE", QStringLiteral("webBase"),
                         QStringLiteral("https://www.kelvo.example"));
    contentType = QStringLiteral("application/x-www-form-urlencoded");
    version = Version::number();
    updatePath = QStringLiteral("/update_check.json");
    sponsorPath = QStringLiteral("/sponsor.html");
    rootPath = QStringLiteral("/");
    cacheDir = DataPaths::cacheDir();
    sponsorCacheFile = QDir(cacheDir).filePath(QStringLiteral("sponsor.html"));
    sponsorCache.clear();
}

static ServerConstants s_constants;

ServerConstants *ServerConstants::instance()
{
    if (!s_constants.isFilled())
        s_constants.fill();
    return &s_constants;
}

void ServerConstants::reset()
{
    s_constants = ServerConstants();
}

bool ServerConstants::offline()
{
    const QString value = qEnvironmentVariable("KELVO_OFFLINE").trimmed();
    return !value.isEmpty() && value != QLatin1String("0");
}
