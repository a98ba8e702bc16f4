// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorConfig.h"

#include "core/DataPaths.h"
#include "core/SafeWrite.h"
#include "core/SettingsValues.h"
#include "fonts/FontRegistry.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

enum class KeyType { Size, Family, Color };

struct KeyInfo
{
    const char *name;
    KeyType type;
    int role;           // FontRole for sizes and families, ColorRole for colours
    const char *value;  // default; an integer as text for sizes
};

// Roles repeated as plain integers: the enums are private to the class.
enum { LyricGutter, ScoreGutter, Score, Lyric };

// The [Editor] keys in load and save order. A font's size key comes before
// its family key so the font is built with its size.
const KeyInfo Keys[] = {
    {"lyricLineNumberFontSize", KeyType::Size, LyricGutter, "14"},
    {"lyricLineNumberFont", KeyType::Family, LyricGutter, "楷体"},
    {"lyricLineNumberColor", KeyType::Color, 0, "#ff5500"},
    {"lyricLineNumberBgColor", KeyType::Color, 1, "#fdfff8"},
    {"scoreLineNumberFontSize", KeyType::Size, ScoreGutter, "14"},
    {"scoreLineNumberFont", KeyType::Family, ScoreGutter, "楷体"},
    {"scoreLineNumberColor", KeyType::Color, 2, "#ff5500"},
    {"scoreLineNumberBgColor", KeyType::Color, 3, "#fdfff8"},
    {"scoreFontSize", KeyType::Size, Score, "16"},
    {"scoreFont", KeyType::Family, Score, nullptr}, // the default notation font
    {"scoreColor", KeyType::Color, 4, "#000000"},
    {"scoreBgColor", KeyType::Color, 5, "#ffffff"},
    {"lyricFontSize", KeyType::Size, Lyric, "16"},
    {"lyricFont", KeyType::Family, Lyric, "楷体"},
    {"lyricBgColor", KeyType::Color, 6, "#ffffff"},
    {"lyricColor", KeyType::Color, 7, "#333333"},
    {"titleColor", KeyType::Color, 8, "#a76f55"},
    {"jiaBaiColor", KeyType::Color, 9, "#b76b01"},
    {"lianBaiColor", KeyType::Color, 10, "#a626a4"},
    {"quPaiColor", KeyType::Color, 11, "#4078f2"},
    {"commentColor", KeyType::Color, 12, "#a9a9a9"},
    {"biaoDianColor", KeyType::Color, 13, "#50a14f"},
    {"breakSymbolColor", KeyType::Color, 14, "#a9a9a9"},
    {"errorColor", KeyType::Color, 15, "#ff0000"},
};

QString defaultText(const KeyInfo &key)
{
    if (key.value)
        return QString::fromUtf8(key.value);
    return FontRegistry::instance().defaultFamily();
}

EditorConfig *s_instance = nullptr;

} // namespace

EditorConfig *EditorConfig::instance()
{
    if (!s_instance) {
        s_instance = new EditorConfig(DataPaths::settingsFile());
        // The final save and the deletion must both happen while the
        // application object, and with it the font system, still exists; a
        // static destroyed after main() returns would be too late.
        if (QCoreApplication *app = QCoreApplication::instance()) {
            connect(app, &QCoreApplication::aboutToQuit, s_instance,
                    &EditorConfig::saveQuietly);
            qAddPostRoutine(&EditorConfig::destroyInstance);
        }
    }
    return s_instance;
}

void EditorConfig::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

EditorConfig::EditorConfig(const QString &settingsPath, QObject *parent)
    : QObject(parent)
    , m_settings(settingsPath, QSettings::IniFormat)
    , m_lyricLineNumberMetrics(QFont())
    , m_scoreLineNumberMetrics(QFont())
{
    m_settings.beginGroup(QStringLiteral("Editor"));
    load();
}

EditorConfig::~EditorConfig()
{
    saveQuietly();
}

QString EditorConfig::settingsPath() const
{
    return m_settings.fileName();
}

QStringList EditorConfig::keys()
{
    QStringList names;
    for (const KeyInfo &key : Keys)
        names.append(QString::fromLatin1(key.name));
    return names;
}

void EditorConfig::load()
{
    for (const KeyInfo &key : Keys) {
        const QString name = QString::fromLatin1(key.name);
        const QString fallback = defaultText(key);
        QString text = SettingsValues::text(m_settings, name);
        if (!m_settings.contains(name))
            text = fallback;
        switch (key.type) {
        case KeyType::Size: {
            // Hand-edited files may hold "12.5" or nonsense; a size outside
            // the range would give an unusable font.
            bool ok = false;
            const double value = text.toDouble(&ok);
            const int size = ok && std::isfinite(value)
                ? qRound(std::clamp(value, double(MinFontSize), double(MaxFontSize)))
                : fallback.toInt();
            // Stored directly: the family key that follows builds the font.
            m_sizes[key.role] = size;
            break;
        }
        case KeyType::Family: {
            // The family as written: QFont's constructor would read a comma
            // as a list of families and keep only the first (or nothing).
            QFont font;
            font.setFamily(text.isEmpty() ? fallback : text);
            font.setPointSize(m_sizes[key.role]);
            m_fonts[key.role] = font;
            updateMetrics(FontRole(key.role));
            break;
        }
        case KeyType::Color: {
            // A colour the file cannot hold as it is (a name, alpha, nonsense)
            // would be drawn differently after the next save; the default is
            // what the user saw before touching it.
            QColor color = SettingsValues::color(text);
            if (!color.isValid())
                color = QColor::fromString(fallback);
            m_colors[key.role] = color;
            break;
        }
        }
    }
}

bool EditorConfig::save()
{
    for (const KeyInfo &key : Keys) {
        const QString name = QString::fromLatin1(key.name);
        switch (key.type) {
        case KeyType::Size:
            m_settings.setValue(name, m_sizes[key.role]);
            break;
        case KeyType::Family:
            m_settings.setValue(name, m_fonts[key.role].family());
            break;
        case KeyType::Color:
            m_settings.setValue(name, m_colors[key.role].name(QColor::HexRgb));
            break;
        }
    }
    const bool written = SafeWrite::syncSettings(m_settings);
    emit configChanged();
    return written;
}

void EditorConfig::saveQuietly()
{
    const bool wasBlocked = blockSignals(true);
    save();
    blockSignals(wasBlocked);
}

void EditorConfig::restoreDefaults()
{
    // Inside the group, the empty key means every key of the group.
    m_settings.remove(QString());
    load();
    save();
}

void EditorConfig::setFont(FontRole role, const QFont &font)
{
    QFont f = font;
    f.setPointSize(m_sizes[role]);
    m_fonts[role] = f;
    updateMetrics(role);
}

void EditorConfig::setFontSize(FontRole role, int size)
{
    size = std::clamp(size, MinFontSize, MaxFontSize);
    m_sizes[role] = size;
    m_fonts[role].setPointSize(size);
    updateMetrics(role);
}

void EditorConfig::setColor(ColorRole role, const QColor &color)
{
    if (color.isValid())
        m_colors[role] = color;
}

void EditorConfig::updateMetrics(FontRole role)
{
    if (role == LyricLineNumberFont)
        m_lyricLineNumberMetrics = QFontMetrics(m_fonts[role]);
    else if (role == ScoreLineNumberFont)
        m_scoreLineNumberMetrics = QFontMetrics(m_fonts[role]);
}
