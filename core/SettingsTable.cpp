// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SettingsTable.h"

#include "core/SafeWrite.h"
#include "core/SettingsValues.h"

#include <QColor>

#include <algorithm>
#include <cmath>

namespace SettingsTable {

QVariant defaultValue(const Key &key)
{
    if (!key.value)
        return {};
    switch (key.type) {
    case Type::Int:
        return QByteArray(key.value).toInt();
    case Type::Bool:
        return qstrcmp(key.value, "true") == 0;
    case Type::Color:
    case Type::Family:
    case Type::Text:
        return QString::fromUtf8(key.value);
    }
    return {};
}

bool number(const Key &key, const QVariant &value, int *result)
{
    if (!value.isValid() || value.typeId() == QMetaType::Bool)
        return false;
    bool ok = false;
    const double d = SettingsValues::text(value).toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return false;
    if (key.outOfRange == OutOfRange::Default) {
        const double rounded = std::round(d);
        if (rounded < key.low || rounded > key.high)
            return false;
        *result = int(rounded);
        return true;
    }
    *result = int(std::lround(std::clamp(d, double(key.low), double(key.high))));
    return true;
}

bool switchOf(const Key &key, const QVariant &value, bool *result)
{
    if (value.typeId() == QMetaType::Bool) {
        *result = value.toBool();
        return true;
    }
    const QString text = SettingsValues::text(value).toLower();
    if (text == QLatin1String("true")) {
        *result = true;
        return true;
    }
    if (text == QLatin1String("false")) {
        *result = false;
        return true;
    }
    int n = 0;
    if (number(key, value, &n)) {
        *result = n != 0;
        return true;
    }
    return false;
}

QVariant clean(const Key &key, const QVariant &value, const QString &text,
               const QVariant &fallback)
{
    switch (key.type) {
    case Type::Int: {
        int n = 0;
        return number(key, value, &n) ? n : fallback.toInt();
    }
    case Type::Bool: {
        bool on = false;
        return switchOf(key, value, &on) ? on : fallback.toBool();
    }
    case Type::Color: {
        // A colour the file cannot hold as it is (a name, alpha, nonsense)
        // would be drawn differently after the next save; the default is
        // what the user saw before touching it.
        const QColor color = SettingsValues::color(text);
        if (color.isValid())
            return color;
        return fallback.typeId() == QMetaType::QColor ? fallback
                                                      : QColor::fromString(fallback.toString());
    }
    case Type::Family:
        return text.isEmpty() ? fallback.toString() : text;
    case Type::Text:
        return text;
    }
    return fallback;
}

QVariant stored(const Key &key, const QVariant &value)
{
    if (key.type == Type::Color)
        return value.value<QColor>().name(QColor::HexRgb);
    return value;
}

QJsonValue jsonOf(const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return QJsonValue::fromVariant(value);
    const QString text = value.toString();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    bool ok = false;
    const qlonglong whole = text.toLongLong(&ok);
    if (ok)
        return QJsonValue(whole);
    const double d = text.toDouble(&ok);
    if (ok && std::isfinite(d) && text.trimmed() == text)
        return d;
    return text;
}

Section::Section(const QString &path, const QString &group, bool inMemory)
    : m_path(path)
{
    if (inMemory) {
        // Only read: a QSettings with no change of its own never writes
        // its file back.
        QSettings file(path, QSettings::IniFormat);
        file.beginGroup(group);
        for (const QString &name : file.allKeys()) {
            const QVariant value = file.value(name);
            // A list is what the INI parser made of an unquoted comma; keep
            // the text as the file has it, as the file-backed reading does.
            m_memory.insert(name, value.typeId() == QMetaType::QStringList
                                      ? QVariant(SettingsValues::text(file, name))
                                      : value);
        }
    } else {
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        m_settings->beginGroup(group);
    }
}

QString Section::fileName() const
{
    return m_settings ? m_settings->fileName() : m_path;
}

bool Section::contains(const QString &name) const
{
    return m_settings ? m_settings->contains(name) : m_memory.contains(name);
}

QVariant Section::value(const QString &name) const
{
    return m_settings ? m_settings->value(name) : m_memory.value(name);
}

QString Section::text(const QString &name) const
{
    return m_settings ? SettingsValues::text(*m_settings, name)
                      : SettingsValues::text(m_memory.value(name));
}

QStringList Section::keys() const
{
    return m_settings ? m_settings->allKeys() : m_memory.keys();
}

void Section::setValue(const QString &name, const QVariant &value)
{
    if (m_settings)
        m_settings->setValue(name, value);
    else
        m_memory.insert(name, value);
}

void Section::clear()
{
    // Inside the group, the empty key means every key of the group.
    if (m_settings)
        m_settings->remove(QString());
    m_memory.clear();
}

bool Section::sync()
{
    return m_settings ? SafeWrite::syncSettings(*m_settings) : true;
}

} // namespace SettingsTable
