// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorConfig.h"

#include "core/DataPaths.h"
#include "fonts/FontRegistry.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

namespace {

using SettingsTable::Key;
using SettingsTable::Type;

// Roles repeated as plain integers: the enums are private to the class.
enum { LyricGutter, ScoreGutter, Score, Lyric };

constexpr int MinSize = EditorConfig::MinFontSize, MaxSize = EditorConfig::MaxFontSize;

// The [Editor] keys in load and save order, role: the font or colour role. A
// font's size key comes before its family key so the font is built with its
// size.
const Key Keys[] = {
    {"lyricLineNumberFontSize", Type::Int, "14", LyricGutter, MinSize, MaxSize},
    {"lyricLineNumberFont", Type::Family, "楷体", LyricGutter},
    {"lyricLineNumberColor", Type::Color, "#ff5500", 0},
    {"lyricLineNumberBgColor", Type::Color, "#fdfff8", 1},
    {"scoreLineNumberFontSize", Type::Int, "14", ScoreGutter, MinSize, MaxSize},
    {"scoreLineNumberFont", Type::Family, "楷体", ScoreGutter},
    {"scoreLineNumberColor", Type::Color, "#ff5500", 2},
    {"scoreLineNumberBgColor", Type::Color, "#fdfff8", 3},
    {"scoreFontSize", Type::Int, "16", Score, MinSize, MaxSize},
    {"scoreFont", Type::Family, nullptr, Score}, // the default notation font
    {"scoreColor", Type::Color, "#000000", 4},
    {"scoreBgColor", Type::Color, "#ffffff", 5},
    {"lyricFontSize", Type::Int, "16", Lyric, MinSize, MaxSize},
    {"lyricFont", Type::Family, "楷体", Lyric},
    {"lyricBgColor", Type::Color, "#ffffff", 6},
    {"lyricColor", Type::Color, "#333333", 7},
    {"titleColor", Type::Color, "#a76f55", 8},
    {"jiaBaiColor", Type::Color, "#b76b01", 9},
    {"lianBaiColor", Type::Color, "#a626a4", 10},
    {"quPaiColor", Type::Color, "#4078f2", 11},
    {"commentColor", Type::Color, "#a9a9a9", 12},
    {"biaoDianColor", Type::Color, "#50a14f", 13},
    {"breakSymbolColor", Type::Color, "#a9a9a9", 14},
    {"errorColor", Type::Color, "#ff0000", 15},
};

QVariant defaultOf(const Key &key)
{
    if (key.value)
        return SettingsTable::defaultValue(key);
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
    , m_settings(settingsPath, QStringLiteral("Editor"))
    , m_lyricLineNumberMetrics(QFont())
    , m_scoreLineNumberMetrics(QFont())
{
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
    return SettingsTable::names(Keys);
}

void EditorConfig::load()
{
    for (const Key &key : Keys) {
        const QString name = QString::fromLatin1(key.name);
        const QVariant fallback = defaultOf(key);
        QVariant value = m_settings.value(name);
        QString text = m_settings.text(name);
        if (!m_settings.contains(name)) {
            value = fallback;
            text = fallback.toString();
        }
        const QVariant clean = SettingsTable::clean(key, value, text, fallback);
        switch (key.type) {
        case Type::Int:
            // Stored directly: the family key that follows builds the font.
            m_sizes[key.role] = clean.toInt();
            break;
        case Type::Family: {
            // The family as written: QFont's constructor would read a comma
            // as a list of families and keep only the first (or nothing).
            QFont font;
            font.setFamily(clean.toString());
            font.setPointSize(m_sizes[key.role]);
            m_fonts[key.role] = font;
            updateMetrics(FontRole(key.role));
            break;
        }
        case Type::Color:
            m_colors[key.role] = clean.value<QColor>();
            break;
        case Type::Bool:
        case Type::Text:
            break;
        }
    }
}

bool EditorConfig::save()
{
    for (const Key &key : Keys) {
        QVariant value;
        switch (key.type) {
        case Type::Int:
            value = m_sizes[key.role];
            break;
        case Type::Family:
            value = m_fonts[key.role].family();
            break;
        case Type::Color:
            value = m_colors[key.role];
            break;
        case Type::Bool:
        case Type::Text:
            break;
        }
        m_settings.setValue(QString::fromLatin1(key.name), SettingsTable::stored(key, value));
    }
    const bool written = m_settings.sync();
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
    m_settings.clear();
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
