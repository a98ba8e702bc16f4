#include "core/Startup.h"

#include <QFileInfo>

QString Startup::fileArgument(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return QString();
    const QString path = arguments.at(1);
    if (path.isEmpty())
        return QString();
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return QString();
    return path;
}
