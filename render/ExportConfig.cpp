// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/ExportConfig.h"

#include "core/DataPaths.h"
#include "core/SafeWrite.h"
#include "core/SettingsTable.h"
#include "core/SettingsValues.h"
#include "fonts/FontRegistry.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QPageSize>


namespace {

using Row = SettingsTable::Key;
using SettingsTable::Type;

// The [Export] keys in save order; indices match ExportConfig::Key.
const Row Keys[] = {
    {"pageWidth", Type::Int, "595"},
    {"pageHeight", Type::Int, "842"},
    {"pageSizeId", Type::Int, "7"},
    {"marginTop", Type::Int, "25"},
    {"marginBottom", Type::Int, "25"},
    {"marginLeft", Type::Int, "25"},
    {"marginRight", Type::Int, "25"},
    {"titleFontSize", Type::Int, "80"},
    {"lyricFontSize", Type::Int, "30"},
    {"scoreFontSize", Type::Int, "16"},
    {"quPaiFontSize", Type::Int, "50"},
    {"diaoMingFontSize", Type::Int, "30"},
    {"lianBaiFontSize", Type::Int, "20"},
    {"jiaBaiFontSize", Type::Int, "26"},
    {"jianpuFontSize", Type::Int, "18"},
    {"titleFont", Type::Family, "楷体"},
    {"lyricFont", Type::Family, "楷体"},
    {"scoreFont", Type::Family, nullptr}, // the default notation font
    {"quPaiFont", Type::Family, "楷体"},
    {"diaoMingFont", Type::Family, "楷体"},
    {"lianBaiFont", Type::Family, "楷体"},
    {"jiaBaiFont", Type::Family, "楷体"},
    {"jianpuFont", Type::Family, "DejaVu Sans"},
    {"titleColor", Type::Color, "#000000"},
    {"lyricColor", Type::Color, "#000000"},
    {"quPaiColor", Type::Color, "#000000"},
    {"diaoMingColor", Type::Color, "#000000"},
    {"lianBaiColor", Type::Color, "#000000"},
    {"jiaBaiColor", Type::Color, "#000000"},
    {"scoreColor", Type::Color, "#000000"},
    {"banColor", Type::Color, "#ff4c00"},
    {"xiaoYanColor", Type::Color, "#000000"},
    {"zhongYanColor", Type::Color, "#ff4c00"},
    {"qiangGeColor", Type::Color, "#000000"},
    {"backgroundColor", Type::Color, "#ffffff"},
    {"isBgTransparent", Type::Bool, "false"},
    {"isHiddenSymbol", Type::Bool, "false"},
    {"isLandscape", Type::Bool, "false"},
    {"isLineBreakScoreOverflow", Type::Bool, "true"},
    {"colWidth", Type::Int, "130"},
    {"lyricSpace", Type::Int, "6"},
    {"scoreSpace", Type::Int, "0"},
    {"banYanSpace", Type::Int, "0"},
    {"scoreAngle", Type::Int, "-45"},
    {"lyricScoreSpace", Type::Int, "0"},
    {"scoreBanYanSpace", Type::Int, "0"},
    {"mColWidth", Type::Int, "35"},
    {"titleWidth", Type::Int, nullptr}, // the colWidth just loaded
    {"titlePos", Type::Int, "0"},
    {"isLivePreview", Type::Bool, "true"},
    {"jianpuSystemSpace", Type::Int, "14"},
    {"isJianpuBanYan", Type::Bool, "true"},
    {"notation", Type::Int, "0"},
};
static_assert(sizeof(Keys) / sizeof(Keys[0]) == ExportConfig::KeyCount,
              "one table row per key");

// The page sizes of the dialog's list, portrait, in points.
struct PageSize
{
    int id;
    int width;
    int height;
};
const PageSize PageSizes[] = {
    {4, 1684, 2384}, {5, 1191, 1684}, {6, 842, 1191}, {7, 595, 842},
    {8, 420, 595}, {9, 297, 420}, {15, 2004, 2835}, {16, 1417, 2004},
    {17, 1001, 1417}, {18, 709, 1001},
};

ExportConfig *s_instance = nullptr;

} // namespace

ExportConfig *ExportConfig::instance()
{
    if (!s_instance) {
        s_instance = new ExportConfig(DataPaths::settingsFile());
        // The final save and the deletion must both happen while the
        // application object, and with it the font system, still exists.
        if (QCoreApplication *app = QCoreApplication::instance()) {
            connect(app, &QCoreApplication::aboutToQuit, s_instance,
                    &ExportConfig::saveQuietly);
            qAddPostRoutine(&ExportConfig::destroyInstance);
        }
    }
    return s_instance;
}

void ExportConfig::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

ExportConfig::ExportConfig(const QString &settingsPath, QObject *parent)
    : ExportConfig(settingsPath, false, parent)
{
}

ExportConfig::ExportConfig(const QString &settingsPath, bool inMemory, QObject *parent)
    : QObject(parent)
    , m_section(settingsPath, QStringLiteral("Export"), inMemory)
{
    load();
}

std::unique_ptr<ExportConfig> ExportConfig::inMemory(const QString &settingsPath)
{
    return std::unique_ptr<ExportConfig>(new ExportConfig(settingsPath, true, nullptr));
}

ExportConfig::~ExportConfig()
{
    saveQuietly();
}

QString ExportConfig::settingsPath() const
{
    return m_section.fileName();
}

QStringList ExportConfig::keys()
{
    return SettingsTable::names(Keys);
}

void ExportConfig::load()
{
    for (int k = 0; k < KeyCount; ++k) {
        const QString name = QString::fromLatin1(Keys[k].name);
        readKey(k, m_section.value(name), m_section.text(name));
    }
}

void ExportConfig::readKey(int k, const QVariant &value, const QString &text)
{
    const Row &key = Keys[k];
    // titleWidth follows the colWidth just read.
    const QVariant fallback = k == TitleWidth ? QVariant(m_ints[ColWidth]) : defaultValue(k);
    const QVariant clean = SettingsTable::clean(key, value, text, fallback);
    switch (key.type) {
    case Type::Int:
    case Type::Bool:
        m_ints[k] = clean.toInt();
        break;
    case Type::Family:
        // Sizes come before families in the table: the font gets its size.
        rebuildFont(FontRole(k - TitleFont), clean.toString());
        break;
    case Type::Color:
        m_colors[k] = clean.value<QColor>();
        break;
    case Type::Text:
        break;
    }
}

QVariant ExportConfig::valueOf(int k) const
{
    switch (Keys[k].type) {
    case Type::Int:
        return m_ints[k];
    case Type::Bool:
        return m_ints[k] != 0;
    case Type::Family:
        return m_fonts[k - TitleFont].family();
    case Type::Color:
        return SettingsTable::stored(Keys[k], m_colors[k]);
    case Type::Text:
        break;
    }
    return {};
}

QVariant ExportConfig::defaultValue(int k)
{
    if (Keys[k].value)
        return SettingsTable::defaultValue(Keys[k]);
    // The notation font; titleWidth follows colWidth.
    return k == TitleWidth ? defaultValue(ColWidth)
                           : QVariant(FontRegistry::instance().defaultFamily());
}

QVariant ExportConfig::defaultValue(const QString &name)
{
    const int k = int(keys().indexOf(name));
    return k < 0 ? QVariant() : defaultValue(k);
}

void ExportConfig::applyValues(const QVariantMap &values)
{
    for (auto it = values.begin(); it != values.end(); ++it) {
        const int k = int(keys().indexOf(it.key()));
        if (k < 0)
            continue;
        // The first value a key had before anything was applied is what
        // the file keeps.
        if (!m_applied.contains(k))
            m_applied.insert(k, {valueOf(k), QVariant()});
        readKey(k, it.value(), SettingsValues::text(it.value()).trimmed());
        m_applied[k].second = valueOf(k);
    }
}

bool ExportConfig::save()
{
    writeValues(false);
    const bool written = m_section.sync();
    emit configChanged();
    return written;
}

void ExportConfig::writeValues(bool withApplied)
{
    for (int k = 0; k < KeyCount; ++k) {
        QVariant value = valueOf(k);
        // A value applied in memory and not changed since is not the
        // user's: the file keeps what it had.
        const auto applied = m_applied.constFind(k);
        if (!withApplied && applied != m_applied.cend() && value == applied->second)
            value = applied->first;
        m_section.setValue(QString::fromLatin1(Keys[k].name), value);
    }
}

void ExportConfig::saveQuietly()
{
    const bool wasBlocked = blockSignals(true);
    save();
    blockSignals(wasBlocked);
}

void ExportConfig::restoreDefaults()
{
    m_section.clear();
    m_applied.clear();
    load();
    save();
}

bool ExportConfig::saveScheme(const QString &path, SafeWrite::Failure *why)
{
    // Saving a scheme is the user keeping what is in use, applied values
    // included: from now on they are the user's own.
    writeValues(true);
    m_applied.clear();
    m_section.sync();
    emit configChanged();

    QJsonObject object;
    // Our own keys with their types; whatever else the section holds as the
    // file gives it back.
    for (const QString &name : m_section.keys())
        object.insert(name, SettingsTable::jsonOf(m_section.value(name)));
    for (int k = 0; k < KeyCount; ++k)
        object.insert(QString::fromLatin1(Keys[k].name), QJsonValue::fromVariant(valueOf(k)));

    // A full disk or a vanished folder must not leave a truncated scheme
    // behind and report success.
    return SafeWrite::writeWhole(path, QJsonDocument(object).toJson(QJsonDocument::Indented),
                                 SafeWrite::userFile(), why);
}

bool ExportConfig::loadScheme(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;

    // Keys the scheme lacks keep the values in use now, not whatever an
    // older file holds: without this, a scheme of only colWidth on a file
    // that never held titleWidth would move the title column as well.
    writeValues(false);
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key().isEmpty()) // the settings cannot hold an empty name
            continue;
        m_section.setValue(it.key(), it.value().toVariant());
    }
    m_section.sync();
    // The scheme goes over values applied in memory: what it names is now
    // in the file, what it lacks keeps the applied value (still in memory).
    QMap<int, std::pair<QVariant, QVariant>> applied;
    for (auto it = m_applied.cbegin(); it != m_applied.cend(); ++it)
        if (valueOf(it.key()) == it->second
            && !object.contains(QString::fromLatin1(Keys[it.key()].name)))
            applied.insert(it.key(), *it);
    load();
    m_applied.clear();
    for (auto it = applied.cbegin(); it != applied.cend(); ++it) {
        readKey(it.key(), it->second, it->second.toString());
        m_applied.insert(it.key(), *it);
    }
    emit configChanged();
    return true;
}

QSize ExportSettings::pageSizePoints() const
{
    const QSize portrait(pageWidth(), pageHeight());
    return isLandscape() ? portrait.transposed() : portrait;
}

int ExportSettings::marginTop() const
{
    return bounded(m_ints[MarginTop], 0, pageSizePoints().height() - 1);
}

int ExportSettings::marginBottom() const
{
    return bounded(m_ints[MarginBottom], 0, pageSizePoints().height() - 1 - marginTop());
}

int ExportSettings::marginLeft() const
{
    return bounded(m_ints[MarginLeft], 0, pageSizePoints().width() - 1);
}

int ExportSettings::marginRight() const
{
    return bounded(m_ints[MarginRight], 0, pageSizePoints().width() - 1 - marginLeft());
}

ExportSettings::TitlePosition ExportSettings::titlePos() const
{
    const int pos = m_ints[TitlePos];
    return pos >= TitleTop && pos <= TitleBottom ? TitlePosition(pos) : TitleTop;
}

void ExportConfig::setPageSizeId(int id)
{
    m_ints[PageSizeId] = id;
    if (id == CustomPageSizeId)
        return;
    for (const PageSize &size : PageSizes) {
        if (size.id == id) {
            m_ints[PageWidth] = size.width;
            m_ints[PageHeight] = size.height;
            return;
        }
    }
    // Not in the dialog's list: the toolkit still knows the standard sizes.
    if (id >= 0 && id <= QPageSize::LastPageSize) {
        const QSize points = QPageSize(QPageSize::PageSizeId(id)).sizePoints();
        if (points.isValid() && !points.isEmpty()) {
            m_ints[PageWidth] = points.width();
            m_ints[PageHeight] = points.height();
        }
    }
}

void ExportConfig::setFontSize(FontRole role, int size)
{
    m_ints[TitleFontSize + role] = size;
    rebuildFont(role, m_fonts[role].family());
}

void ExportConfig::setFont(FontRole role, const QFont &font)
{
    // Only the family is kept in the file, so only the family is taken:
    // what is previewed now is what is rendered after a restart.
    rebuildFont(role, font.family());
}

void ExportConfig::setColor(Key key, const QColor &color)
{
    if (color.isValid())
        m_colors[key] = color;
}

void ExportConfig::rebuildFont(FontRole role, const QString &family)
{
    // The family as written: QFont's constructor would read a comma as a
    // list of families and keep only the first (or nothing).
    QFont font;
    font.setFamily(family);
    font.setPixelSize(fontSize(role));
    // Hinting snaps glyphs to the pixels of one device; without it the
    // advances measured here hold on the page at any resolution.
    font.setHintingPreference(QFont::PreferNoHinting);
    m_fonts[role] = font;
    m_metrics[role] = QFontMetricsF(font);
}

QList<ExportConfig::Choice> ExportConfig::pageSizeChoices()
{
    QList<Choice> choices{{QStringLiteral("自定义"), CustomPageSizeId}};
    const char *names[] = {"A1", "A2", "A3", "A4", "A5", "A6", "B1", "B2", "B3", "B4"};
    int i = 0;
    for (const PageSize &size : PageSizes) {
        choices.append({QStringLiteral("%1 (%2, %3)")
                            .arg(QLatin1String(names[i++]))
                            .arg(size.width)
                            .arg(size.height),
                        size.id});
    }
    return choices;
}

QList<ExportConfig::Choice> ExportConfig::orientationChoices()
{
    return {{QStringLiteral("纵向"), false}, {QStringLiteral("横向"), true}};
}

QList<ExportConfig::Choice> ExportConfig::overflowChoices()
{
    return {{QStringLiteral("换行"), true}, {QStringLiteral("不换行"), false}};
}

QList<ExportConfig::Choice> ExportConfig::titlePosChoices()
{
    return {{QStringLiteral("顶部"), int(TitleTop)},
            {QStringLiteral("居中"), int(TitleCentre)},
            {QStringLiteral("底部"), int(TitleBottom)}};
}
