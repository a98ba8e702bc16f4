// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/ExportConfig.h"

#include "core/DataPaths.h"
#include "core/SafeWrite.h"
#include "core/SettingsValues.h"
#include "fonts/FontRegistry.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QPageSize>

#include <algorithm>
#include <cmath>

namespace {

enum class KeyType { Int, FontSize, Family, Color, Bool };

struct KeyInfo
{
    const char *name;
    KeyType type;
    const char *value; // default as text; nullptr where it is computed
};

// The [Export] keys in save order; indices match ExportConfig::Key.
const KeyInfo Keys[] = {
    {"pageWidth", KeyType::Int, "595"},
    {"pageHeight", KeyType::Int, "842"},
    {"pageSizeId", KeyType::Int, "7"},
    {"marginTop", KeyType::Int, "25"},
    {"marginBottom", KeyType::Int, "25"},
    {"marginLeft", KeyType::Int, "25"},
    {"marginRight", KeyType::Int, "25"},
    {"titleFontSize", KeyType::FontSize, "80"},
    {"lyricFontSize", KeyType::FontSize, "30"},
    {"scoreFontSize", KeyType::FontSize, "16"},
    {"quPaiFontSize", KeyType::FontSize, "50"},
    {"diaoMingFontSize", KeyType::FontSize, "30"},
    {"lianBaiFontSize", KeyType::FontSize, "20"},
    {"jiaBaiFontSize", KeyType::FontSize, "26"},
    {"titleFont", KeyType::Family, "楷体"},
    {"lyricFont", KeyType::Family, "楷体"},
    {"scoreFont", KeyType::Family, nullptr}, // the default notation font
    {"quPaiFont", KeyType::Family, "楷体"},
    {"diaoMingFont", KeyType::Family, "楷体"},
    {"lianBaiFont", KeyType::Family, "楷体"},
    {"jiaBaiFont", KeyType::Family, "楷体"},
    {"titleColor", KeyType::Color, "#000000"},
    {"lyricColor", KeyType::Color, "#000000"},
    {"quPaiColor", KeyType::Color, "#000000"},
    {"diaoMingColor", KeyType::Color, "#000000"},
    {"lianBaiColor", KeyType::Color, "#000000"},
    {"jiaBaiColor", KeyType::Color, "#000000"},
    {"scoreColor", KeyType::Color, "#000000"},
    {"banColor", KeyType::Color, "#ff4c00"},
    {"xiaoYanColor", KeyType::Color, "#000000"},
    {"zhongYanColor", KeyType::Color, "#ff4c00"},
    {"qiangGeColor", KeyType::Color, "#000000"},
    {"backgroundColor", KeyType::Color, "#ffffff"},
    {"isBgTransparent", KeyType::Bool, "false"},
    {"isHiddenSymbol", KeyType::Bool, "false"},
    {"isLandscape", KeyType::Bool, "false"},
    {"isLineBreakScoreOverflow", KeyType::Bool, "true"},
    {"colWidth", KeyType::Int, "130"},
    {"lyricSpace", KeyType::Int, "6"},
    {"scoreSpace", KeyType::Int, "0"},
    {"banYanSpace", KeyType::Int, "0"},
    {"scoreAngle", KeyType::Int, "-45"},
    {"lyricScoreSpace", KeyType::Int, "0"},
    {"scoreBanYanSpace", KeyType::Int, "0"},
    {"mColWidth", KeyType::Int, "35"},
    {"titleWidth", KeyType::Int, nullptr}, // the colWidth just loaded
    {"titlePos", KeyType::Int, "0"},
    {"isLivePreview", KeyType::Bool, "true"},
};
static_assert(sizeof(Keys) / sizeof(Keys[0]) == ExportConfig::KeyCount,
              "one table row per key");

// Stored numbers are cut to this before they are kept, so that arithmetic on
// them (margins against the page, for example) cannot overflow.
constexpr double StoredLimit = 1e9;

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

// A number from the file: numbers and numeric text (also "12.5" or "1e3");
// anything else is no number.
bool numberOf(const QVariant &value, int *result)
{
    if (!value.isValid() || value.typeId() == QMetaType::Bool)
        return false;
    bool ok = false;
    const double d = SettingsValues::text(value).toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return false;
    *result = int(std::lround(std::clamp(d, -StoredLimit, StoredLimit)));
    return true;
}

// A switch from the file: true/false in any case, or a number (non-zero is
// on). The toolkit's own conversion would turn any other text into "on".
bool switchOf(const QVariant &value, bool *result)
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
    if (numberOf(value, &n)) {
        *result = n != 0;
        return true;
    }
    return false;
}

// A value of an unknown key as a JSON value: the INI file gives text back,
// so text that reads as a switch or a number becomes one again.
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
    , m_settingsPath(settingsPath)
    , m_metrics(FontCount, QFontMetricsF(QFont()))
{
    if (inMemory) {
        // Only read: a QSettings with no change of its own never writes
        // its file back.
        QSettings file(settingsPath, QSettings::IniFormat);
        file.beginGroup(QStringLiteral("Export"));
        for (const QString &name : file.allKeys()) {
            const QVariant value = file.value(name);
            // A list is what the INI parser made of an unquoted comma; keep
            // the text as the file has it, as the file-backed reading does.
            m_memory.insert(name, value.typeId() == QMetaType::QStringList
                                      ? QVariant(SettingsValues::text(file, name))
                                      : value);
        }
    } else {
        m_settings = std::make_unique<QSettings>(settingsPath, QSettings::IniFormat);
        m_settings->beginGroup(QStringLiteral("Export"));
    }
    load();
}

std::unique_ptr<ExportConfig> ExportConfig::inMemory(const QString &settingsPath)
{
    return std::unique_ptr<ExportConfig>(new ExportConfig(settingsPath, true, nullptr));
}

QVariant ExportConfig::stored(const QString &name) const
{
    return m_settings ? m_settings->value(name) : m_memory.value(name);
}

QString ExportConfig::storedText(const QString &name) const
{
    return m_settings ? SettingsValues::text(*m_settings, name)
                      : SettingsValues::text(m_memory.value(name));
}

void ExportConfig::store(const QString &name, const QVariant &value)
{
    if (m_settings)
        m_settings->setValue(name, value);
    else
        m_memory.insert(name, value);
}

QStringList ExportConfig::storedKeys() const
{
    return m_settings ? m_settings->allKeys() : m_memory.keys();
}

bool ExportConfig::flush()
{
    return m_settings ? SafeWrite::syncSettings(*m_settings) : true;
}

ExportConfig::~ExportConfig()
{
    saveQuietly();
}

QString ExportConfig::settingsPath() const
{
    return m_settings ? m_settings->fileName() : m_settingsPath;
}

QStringList ExportConfig::keys()
{
    QStringList names;
    for (const KeyInfo &key : Keys)
        names.append(QString::fromLatin1(key.name));
    return names;
}

void ExportConfig::load()
{
    for (int k = 0; k < KeyCount; ++k) {
        const QString name = QString::fromLatin1(Keys[k].name);
        readKey(k, stored(name), storedText(name));
    }
}

void ExportConfig::readKey(int k, const QVariant &value, const QString &text)
{
    const KeyInfo &key = Keys[k];
    switch (key.type) {
    case KeyType::Int:
    case KeyType::FontSize: {
        int fallback = 0;
        if (key.value)
            fallback = QByteArray(key.value).toInt();
        else // titleWidth
            fallback = m_ints[ColWidth];
        int n = 0;
        m_ints[k] = numberOf(value, &n) ? n : fallback;
        break;
    }
    case KeyType::Bool: {
        bool on = false;
        m_ints[k] = switchOf(value, &on) ? on : (qstrcmp(key.value, "true") == 0);
        break;
    }
    case KeyType::Family: {
        // Sizes come before families in the table: the font gets its size.
        QString family = text;
        if (family.isEmpty())
            family = key.value ? QString::fromUtf8(key.value)
                               : FontRegistry::instance().defaultFamily();
        rebuildFont(FontRole(k - TitleFont), family);
        break;
    }
    case KeyType::Color: {
        // Text the file cannot hold as it is (a name, alpha, nonsense)
        // would be drawn differently after the next save; the default is
        // what the user saw before.
        QColor color = SettingsValues::color(SettingsValues::text(value));
        if (!color.isValid())
            color = QColor::fromString(QLatin1String(key.value));
        m_colors[k] = color;
        break;
    }
    }
}

QVariant ExportConfig::valueOf(int k) const
{
    switch (Keys[k].type) {
    case KeyType::Int:
    case KeyType::FontSize:
        return m_ints[k];
    case KeyType::Bool:
        return m_ints[k] != 0;
    case KeyType::Family:
        return m_fonts[k - TitleFont].family();
    case KeyType::Color:
        return m_colors[k].name(QColor::HexRgb);
    }
    return {};
}

QVariant ExportConfig::defaultValue(const QString &name)
{
    for (int k = 0; k < KeyCount; ++k) {
        const KeyInfo &key = Keys[k];
        if (name != QLatin1String(key.name))
            continue;
        if (!key.value) // the notation font; titleWidth follows colWidth
            return k == TitleWidth ? defaultValue(QStringLiteral("colWidth"))
                                   : QVariant(FontRegistry::instance().defaultFamily());
        switch (key.type) {
        case KeyType::Int:
        case KeyType::FontSize:
            return QByteArray(key.value).toInt();
        case KeyType::Bool:
            return qstrcmp(key.value, "true") == 0;
        case KeyType::Family:
            return QString::fromUtf8(key.value);
        case KeyType::Color:
            return QString::fromLatin1(key.value);
        }
    }
    return {};
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
    const bool written = flush();
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
        store(QString::fromLatin1(Keys[k].name), value);
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
    // Inside the group, the empty key means every key of the group.
    if (m_settings)
        m_settings->remove(QString());
    m_memory.clear();
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
    flush();
    emit configChanged();

    QJsonObject object;
    // Our own keys with their types; whatever else the section holds as the
    // file gives it back.
    for (const QString &name : storedKeys())
        object.insert(name, jsonOf(stored(name)));
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
        store(it.key(), it.value().toVariant());
    }
    flush();
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

QSize ExportConfig::pageSizePoints() const
{
    const QSize portrait(pageWidth(), pageHeight());
    return isLandscape() ? portrait.transposed() : portrait;
}

int ExportConfig::marginTop() const
{
    return bounded(m_ints[MarginTop], 0, pageSizePoints().height() - 1);
}

int ExportConfig::marginBottom() const
{
    return bounded(m_ints[MarginBottom], 0, pageSizePoints().height() - 1 - marginTop());
}

int ExportConfig::marginLeft() const
{
    return bounded(m_ints[MarginLeft], 0, pageSizePoints().width() - 1);
}

int ExportConfig::marginRight() const
{
    return bounded(m_ints[MarginRight], 0, pageSizePoints().width() - 1 - marginLeft());
}

ExportConfig::TitlePosition ExportConfig::titlePos() const
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
