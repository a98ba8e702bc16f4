// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SettingsValues.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace {

// The value of key in [group] as the file has it, if QSettings' own reading
// of that text is the given list (so nothing else, such as quoting or an
// escape, played a part). Empty when not found that way.
QString rawListText(const QSettings &settings, const QString &key, const QStringList &list)
{
    QFile file(settings.fileName());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString group = settings.group();
    QString section;
    QString found;
    bool haveFound = false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &bytes : lines) {
        const QString line = QString::fromUtf8(bytes).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || section != group || line.left(eq).trimmed() != key)
            continue;
        // The last occurrence is the one QSettings keeps.
        found = line.mid(eq + 1).trimmed();
        haveFound = true;
    }
    if (!haveFound || found.contains(QLatin1Char('"')) || found.contains(QLatin1Char('\\')))
        return QString();
    QStringList parts = found.split(QLatin1Char(','));
    for (QString &part : parts)
        part = part.trimmed();
    return parts == list ? found : QString();
}

} // namespace

namespace SettingsValues {

QString text(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", ")).trimmed();
    return value.toString().trimmed();
}

QString text(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::QStringList) {
        const QString raw = rawListText(settings, key, value.toStringList());
        if (!raw.isEmpty())
            return raw;
    }
    return text(value);
}

QColor color(const QString &text)
{
    const QString t = text.trimmed();
    if ((t.size() != 4 && t.size() != 7) || !t.startsWith(QLatin1Char('#')))
        return QColor();
    for (qsizetype i = 1; i < t.size(); ++i) {
        const char16_t c = t.at(i).unicode();
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return QColor();
    }
    return QColor::fromString(t);
}

} // namespace SettingsValues
