// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/SampleScore.h"

#include "core/DataPaths.h"
#include "core/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString SampleScore::resourcePath()
{
    return QStringLiteral(":/examples/sample.gcp");
}

QString SampleScore::userCopy()
{
    const QString path = QDir(DataPaths::dataDir()).filePath(QStringLiteral("sample.gcp"));
    const QFileInfo info(path);
    if (info.exists())
        return info.isFile() ? path : QString();
    QFile bundled(resourcePath());
    if (!bundled.open(QIODevice::ReadOnly))
        return QString();
    // Written from the bytes, not copied: a copy of a resource file would
    // keep its read-only permissions and could never be saved over.
    return SafeWrite::writeWhole(path, bundled.readAll()) ? path : QString();
}
