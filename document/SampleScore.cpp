// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/SampleScore.h"

#include "core/DataPaths.h"
#include "core/Resources.h"
#include "core/SafeWrite.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "document/TextNormalisation.h"

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

LayoutItems SampleScore::layoutItems()
{
    initResources();
    QFile file(resourcePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto decoded = ScoreFile::decode(file.readAll());
    if (!decoded.ok())
        return {};
    const auto text = ScoreSyntax::normaliseDocument(decoded.lyric, decoded.score);
    return ScoreSyntax::layoutItems(PlainLines(text.lyric), PlainLines(text.score));
}
