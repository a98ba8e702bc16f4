// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonValue>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// One way for every settings owner to describe its keys, clean what a
// hand-edited file holds and write it back in the same order and spelling.
namespace SettingsTable {

enum class Type { Int, Bool, Color, Family, Text };

// What a number outside the key's range reads as.
enum class OutOfRange { Clamp, Default };

// Stored numbers are cut to this before they are kept, so that arithmetic on
// them (margins against the page, for example) cannot overflow.
constexpr int StoredLimit = 1000000000;

struct Key
{
    const char *name;
    Type type;
    const char *value;  // default as text; nullptr where the owner computes it
    int role = 0;       // the owner's own index (a font or colour role)
    int low = -StoredLimit;
    int high = StoredLimit;
    OutOfRange outOfRange = OutOfRange::Clamp;
};

// The key names in table order.
template <typename Table>
QStringList names(const Table &keys)
{
    QStringList result;
    for (const Key &key : keys)
        result.append(QString::fromLatin1(key.name));
    return result;
}

// The default of a key as its type gives it (a colour as its text); invalid
// where the owner computes it.
QVariant defaultValue(const Key &key);

// A number from the file: numbers and numeric text (also "12.5" or "1e3");
// switches and anything else are no number.
bool number(const Key &key, const QVariant &value, int *result);
// A switch: true/false in any case, or a number as the key reads numbers
// (non-zero is on). The toolkit's own conversion would turn any other text
// into "on".
bool switchOf(const Key &key, const QVariant &value, bool *result);

// The cleaned value of a key as read from value (text: its trimmed text,
// as the file has it), fallback where the value is unusable: an int, a bool,
// a QColor or a QString.
QVariant clean(const Key &key, const QVariant &value, const QString &text,
               const QVariant &fallback);
// A value as the file keeps it (a colour as #rrggbb).
QVariant stored(const Key &key, const QVariant &value);

// A value of an unknown key as a JSON value: the INI file gives text back,
// so text that reads as a switch or a number becomes one again.
QJsonValue jsonOf(const QVariant &value);

// One [group] of settings.ini, or a copy of it read once and kept in
// memory (which then never writes the file).
class Section
{
public:
    Section(const QString &path, const QString &group, bool inMemory = false);

    QString fileName() const;
    bool isInMemory() const { return !m_settings; }

    bool contains(const QString &name) const;
    QVariant value(const QString &name) const;
    // Trimmed, an unquoted comma's list taken as the file has it.
    QString text(const QString &name) const;
    QStringList keys() const;

    void setValue(const QString &name, const QVariant &value);
    void clear();
    // Whether the file now holds what was set (always true in memory).
    bool sync();

private:
    std::unique_ptr<QSettings> m_settings;
    QString m_path;
    QVariantMap m_memory;
};

} // namespace SettingsTable
