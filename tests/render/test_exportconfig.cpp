// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DataPaths.h"
#include "render/ExportConfig.h"
#include "fonts/FontRegistry.h"
#include "support/CoreTestSupport.h"

#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPageSize>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using Getter = std::function<QString(const ExportConfig &)>;
using Values = QMap<QString, QString>;

QString boolText(bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); }

// Every key with the getter that shows its value in the file's form.
const QList<QPair<QString, Getter>> &keyGetters()
{
    static const QList<QPair<QString, Getter>> list = {
        {"pageWidth", [](const ExportConfig &c) { return QString::number(c.pageWidth()); }},
        {"pageHeight", [](const ExportConfig &c) { return QString::number(c.pageHeight()); }},
        {"pageSizeId", [](const ExportConfig &c) { return QString::number(c.pageSizeId()); }},
        {"marginTop", [](const ExportConfig &c) { return QString::number(c.marginTop()); }},
        {"marginBottom", [](const ExportConfig &c) { return QString::number(c.marginBottom()); }},
        {"marginLeft", [](const ExportConfig &c) { return QString::number(c.marginLeft()); }},
        {"marginRight", [](const ExportConfig &c) { return QString::number(c.marginRight()); }},
        {"titleFontSize", [](const ExportConfig &c) { return QString::number(c.titleFontSize()); }},
        {"lyricFontSize", [](const ExportConfig &c) { return QString::number(c.lyricFontSize()); }},
        {"scoreFontSize", [](const ExportConfig &c) { return QString::number(c.scoreFontSize()); }},
        {"quPaiFontSize", [](const ExportConfig &c) { return QString::number(c.quPaiFontSize()); }},
        {"diaoMingFontSize", [](const ExportConfig &c) { return QString::number(c.diaoMingFontSize()); }},
        {"lianBaiFontSize", [](const ExportConfig &c) { return QString::number(c.lianBaiFontSize()); }},
        {"jiaBaiFontSize", [](const ExportConfig &c) { return QString::number(c.jiaBaiFontSize()); }},
        {"jianpuFontSize", [](const ExportConfig &c) { return QString::number(c.jianpuFontSize()); }},
        {"titleFont", [](const ExportConfig &c) { return c.titleFont().family(); }},
        {"lyricFont", [](const ExportConfig &c) { return c.lyricFont().family(); }},
        {"scoreFont", [](const ExportConfig &c) { return c.scoreFont().family(); }},
        {"quPaiFont", [](const ExportConfig &c) { return c.quPaiFont().family(); }},
        {"diaoMingFont", [](const ExportConfig &c) { return c.diaoMingFont().family(); }},
        {"lianBaiFont", [](const ExportConfig &c) { return c.lianBaiFont().family(); }},
        {"jiaBaiFont", [](const ExportConfig &c) { return c.jiaBaiFont().family(); }},
        {"jianpuFont", [](const ExportConfig &c) { return c.jianpuFont().family(); }},
        {"titleColor", [](const ExportConfig &c) { return c.titleColor().name(); }},
        {"lyricColor", [](const ExportConfig &c) { return c.lyricColor().name(); }},
        {"quPaiColor", [](const ExportConfig &c) { return c.quPaiColor().name(); }},
        {"diaoMingColor", [](const ExportConfig &c) { return c.diaoMingColor().name(); }},
        {"lianBaiColor", [](const ExportConfig &c) { return c.lianBaiColor().name(); }},
        {"jiaBaiColor", [](const ExportConfig &c) { return c.jiaBaiColor().name(); }},
        {"scoreColor", [](const ExportConfig &c) { return c.scoreColor().name(); }},
        {"banColor", [](const ExportConfig &c) { return c.banColor().name(); }},
        {"xiaoYanColor", [](const ExportConfig &c) { return c.xiaoYanColor().name(); }},
        {"zhongYanColor", [](const ExportConfig &c) { return c.zhongYanColor().name(); }},
        {"qiangGeColor", [](const ExportConfig &c) { return c.qiangGeColor().name(); }},
        {"backgroundColor", [](const ExportConfig &c) { return c.backgroundColor().name(); }},
        {"isBgTransparent", [](const ExportConfig &c) { return boolText(c.isBgTransparent()); }},
        {"isHiddenSymbol", [](const ExportConfig &c) { return boolText(c.isHiddenSymbol()); }},
        {"isLandscape", [](const ExportConfig &c) { return boolText(c.isLandscape()); }},
        {"isLineBreakScoreOverflow", [](const ExportConfig &c) { return boolText(c.isLineBreakScoreOverflow()); }},
        {"colWidth", [](const ExportConfig &c) { return QString::number(c.colWidth()); }},
        {"lyricSpace", [](const ExportConfig &c) { return QString::number(c.lyricSpace()); }},
        {"scoreSpace", [](const ExportConfig &c) { return QString::number(c.scoreSpace()); }},
        {"banYanSpace", [](const ExportConfig &c) { return QString::number(c.banYanSpace()); }},
        {"scoreAngle", [](const ExportConfig &c) { return QString::number(c.scoreAngle()); }},
        {"lyricScoreSpace", [](const ExportConfig &c) { return QString::number(c.lyricScoreSpace()); }},
        {"scoreBanYanSpace", [](const ExportConfig &c) { return QString::number(c.scoreBanYanSpace()); }},
        {"mColWidth", [](const ExportConfig &c) { return QString::number(c.mColWidth()); }},
        {"titleWidth", [](const ExportConfig &c) { return QString::number(c.titleWidth()); }},
        {"titlePos", [](const ExportConfig &c) { return QString::number(c.titlePos()); }},
        {"isLivePreview", [](const ExportConfig &c) { return boolText(c.isLivePreview()); }},
        {"jianpuSystemSpace", [](const ExportConfig &c) { return QString::number(c.jianpuSystemSpace()); }},
        {"isJianpuBanYan", [](const ExportConfig &c) { return boolText(c.isJianpuBanYan()); }},
        {"notation", [](const ExportConfig &c) { return QString::number(c.notation()); }},
    };
    return list;
}

// The [Export] section of a fresh start, as the program writes it.
QString goldenSettings()
{
    return QStringLiteral(KELVO_RENDER_DATA "/default-settings.ini");
}

Values section(const QString &path, const QString &group = QStringLiteral("Export"));

Values defaults()
{
    return section(goldenSettings());
}

Values with(Values base, const Values &changes)
{
    for (auto it = changes.begin(); it != changes.end(); ++it)
        base[it.key()] = it.value();
    return base;
}

Values valuesOf(const ExportConfig &config)
{
    Values values;
    for (const auto &[key, get] : keyGetters())
        values.insert(key, get(config));
    return values;
}

Values section(const QString &path, const QString &group)
{
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(group);
    Values values;
    for (const QString &key : file.allKeys())
        values.insert(key, file.value(key).toString());
    return values;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

QString settingsPath(const TestDataFolder &env)
{
    return QDir(env.dataDir()).filePath(QStringLiteral("settings.ini"));
}

// Whatever the file holds, the layout gets a drawable page and fonts.
void verifySafe(const ExportConfig &c)
{
    const QSize page = c.pageSizePoints();
    QVERIFY(page.width() >= 1 && page.width() <= 20000);
    QVERIFY(page.height() >= 1 && page.height() <= 20000);
    QVERIFY(c.marginTop() >= 0 && c.marginBottom() >= 0);
    QVERIFY(c.marginLeft() >= 0 && c.marginRight() >= 0);
    QVERIFY(page.height() - c.marginTop() - c.marginBottom() >= 1);
    QVERIFY(page.width() - c.marginLeft() - c.marginRight() >= 1);
    QVERIFY(c.colWidth() >= 1 && c.titleWidth() >= 1 && c.mColWidth() >= 1);
    QVERIFY(c.scoreAngle() >= -360 && c.scoreAngle() <= 360);
    QVERIFY(c.titlePos() >= 0 && c.titlePos() <= 2);
    const QList<QFont> fonts = {c.titleFont(), c.lyricFont(), c.scoreFont(), c.quPaiFont(),
                                c.diaoMingFont(), c.lianBaiFont(), c.jiaBaiFont()};
    for (const QFont &f : fonts)
        QVERIFY(f.pixelSize() >= 1 && f.pixelSize() <= 1000);
    QVERIFY(c.lyricFontMetrics().height() > 0);
}

} // namespace

class TestExportConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void freshStartGivesDefaults();
    void choiceLists();
    void pageSizeId_data();
    void pageSizeId();
    void titleWidthFollowsColWidth_data();
    void titleWidthFollowsColWidth();
    void absurdValues_data();
    void absurdValues();
    void absurdNumbersKeptInFile();
    void handEditedTextRoundTrip_data();
    void handEditedTextRoundTrip();
    void landscapeSwapsPage();
    void saveWritesAllKeys();
    void restoreDefaultsClearsSectionOnly();
    void fontAndSizeSetters_data();
    void fontAndSizeSetters();
    void loadScheme_data();
    void loadScheme();
    void loadSchemeKeepsUnsavedValues();
    void unknownKeysReexported();
    void schemeRoundTrip_data();
    void schemeRoundTrip();
    void saveSchemeFailure_data();
    void saveSchemeFailure();
    void privateInstanceSavesOnDestruction();
    void sharedInstanceSavesAtExit_data();
    void sharedInstanceSavesAtExit();
    void inMemoryNeverWrites_data();
    void inMemoryNeverWrites();
};

void TestExportConfig::initTestCase()
{
    initCoreTestApplication();
    QVERIFY(!FontRegistry::instance().defaultFamily().isEmpty());
    QCOMPARE(ExportConfig::keys().size(), 53);
    QStringList tested;
    for (const auto &entry : keyGetters())
        tested.append(entry.first);
    QCOMPARE(ExportConfig::keys(), tested);
}

void TestExportConfig::freshStartGivesDefaults()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    QVERIFY(!QFile::exists(path));

    ExportConfig config(path);
    QVERIFY(config.save());
    if (qEnvironmentVariableIsSet("KELVO_UPDATE_GOLDEN"))
        QVERIFY(writeFile(goldenSettings(), readAll(path)));
    QCOMPARE(readAll(path), readAll(goldenSettings()));
    QCOMPARE(valuesOf(config), defaults());
    QCOMPARE(config.pageSizePoints(), QSize(595, 842));
    QCOMPARE(config.lyricFont().pixelSize(), 30);
    QCOMPARE(config.titleFont().pixelSize(), 80);
    QCOMPARE(config.scoreFont().pixelSize(), 16);
    verifySafe(config);
}

void TestExportConfig::choiceLists()
{
    using Choices = QList<QPair<QString, QVariant>>;
    const auto plain = [](const QList<ExportConfig::Choice> &list) {
        Choices out;
        for (const auto &c : list)
            out.append({c.label, c.value});
        return out;
    };
    QCOMPARE(plain(ExportConfig::pageSizeChoices()),
             (Choices{{"自定义", 31}, {"A1 (1684, 2384)", 4}, {"A2 (1191, 1684)", 5},
                      {"A3 (842, 1191)", 6}, {"A4 (595, 842)", 7}, {"A5 (420, 595)", 8},
                      {"A6 (297, 420)", 9}, {"B1 (2004, 2835)", 15}, {"B2 (1417, 2004)", 16},
                      {"B3 (1001, 1417)", 17}, {"B4 (709, 1001)", 18}}));
    QCOMPARE(plain(ExportConfig::orientationChoices()), (Choices{{"纵向", false}, {"横向", true}}));
    QCOMPARE(plain(ExportConfig::overflowChoices()), (Choices{{"换行", true}, {"不换行", false}}));
    QCOMPARE(plain(ExportConfig::titlePosChoices()), (Choices{{"顶部", 0}, {"居中", 1}, {"底部", 2}}));

    // The numbers in the labels are what choosing the entry sets, and they
    // agree with the toolkit's page sizes.
    TestDataFolder env;
    ExportConfig config(settingsPath(env));
    for (const auto &c : ExportConfig::pageSizeChoices()) {
        const int id = c.value.toInt();
        if (id == 31)
            continue;
        config.setPageSizeId(id);
        const QString label = QStringLiteral("%1 (%2, %3)")
                                  .arg(c.label.left(2)).arg(config.pageWidth()).arg(config.pageHeight());
        QCOMPARE(c.label, label);
        QCOMPARE(QSize(config.pageWidth(), config.pageHeight()),
                 QPageSize(QPageSize::PageSizeId(id)).sizePoints());
    }
}

void TestExportConfig::pageSizeId_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("expected");

    // The page starts as a custom 500 x 600.
    QTest::newRow("B4") << 18 << QSize(709, 1001);
    QTest::newRow("A1") << 4 << QSize(1684, 2384);
    QTest::newRow("B1") << 15 << QSize(2004, 2835);
    QTest::newRow("A4") << 7 << QSize(595, 842);
    QTest::newRow("custom keeps the size") << 31 << QSize(500, 600);
    QTest::newRow("letter, not listed") << int(QPageSize::Letter) << QSize(612, 792);
    QTest::newRow("no such size") << 9999 << QSize(500, 600);
    QTest::newRow("negative") << -1 << QSize(500, 600);
}

void TestExportConfig::pageSizeId()
{
    QFETCH(int, id);
    QFETCH(QSize, expected);

    TestDataFolder env;
    ExportConfig config(settingsPath(env));
    config.setPageSizeId(31);
    config.setPageWidth(500);
    config.setPageHeight(600);
    config.setIsLandscape(true); // the setter sets the portrait size

    config.setPageSizeId(id);
    QCOMPARE(config.pageSizeId(), id);
    QCOMPARE(QSize(config.pageWidth(), config.pageHeight()), expected);
    QCOMPARE(config.pageSizePoints(), expected.transposed());

    config.save();
    const Values file = section(config.settingsPath());
    QCOMPARE(file.value("pageSizeId"), QString::number(id));
    QCOMPARE(file.value("pageWidth"), QString::number(expected.width()));
    QCOMPARE(file.value("pageHeight"), QString::number(expected.height()));
}

void TestExportConfig::titleWidthFollowsColWidth_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("colWidth");
    QTest::addColumn<int>("titleWidth");

    QTest::newRow("colWidth only") << QByteArray("colWidth=150\n") << 150 << 150;
    QTest::newRow("both") << QByteArray("colWidth=150\ntitleWidth=90\n") << 150 << 90;
    QTest::newRow("titleWidth only") << QByteArray("titleWidth=90\n") << 130 << 90;
    QTest::newRow("unusable colWidth") << QByteArray("colWidth=abc\n") << 130 << 130;
}

void TestExportConfig::titleWidthFollowsColWidth()
{
    QFETCH(QByteArray, content);
    QFETCH(int, colWidth);
    QFETCH(int, titleWidth);

    TestDataFolder env;
    const QString path = settingsPath(env);
    QVERIFY(writeFile(path, "[Export]\n" + content));
    ExportConfig config(path);
    QCOMPARE(config.colWidth(), colWidth);
    QCOMPARE(config.titleWidth(), titleWidth);
    config.save();
    QCOMPARE(section(path).value("titleWidth"), QString::number(titleWidth));
}

void TestExportConfig::absurdValues_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Values>("changes"); // what the getters give, over the defaults

    QTest::newRow("colWidth 0") << QByteArray("colWidth=0")
                                << Values{{"colWidth", "1"}, {"titleWidth", "1"}};
    QTest::newRow("colWidth -5") << QByteArray("colWidth=-5\ntitleWidth=100")
                                 << Values{{"colWidth", "1"}, {"titleWidth", "100"}};
    QTest::newRow("colWidth huge") << QByteArray("colWidth=99999999999999")
                                   << Values{{"colWidth", "20000"}, {"titleWidth", "20000"}};
    QTest::newRow("mColWidth 0") << QByteArray("mColWidth=0") << Values{{"mColWidth", "1"}};
    QTest::newRow("titleWidth -1") << QByteArray("titleWidth=-1") << Values{{"titleWidth", "1"}};
    QTest::newRow("marginTop beyond page")
        << QByteArray("marginTop=5000") << Values{{"marginTop", "841"}, {"marginBottom", "0"}};
    QTest::newRow("top and bottom fill the page")
        << QByteArray("marginTop=500\nmarginBottom=500")
        << Values{{"marginTop", "500"}, {"marginBottom", "341"}};
    QTest::newRow("left and right beyond page")
        << QByteArray("marginLeft=1000\nmarginRight=1000")
        << Values{{"marginLeft", "594"}, {"marginRight", "0"}};
    QTest::newRow("negative margin") << QByteArray("marginTop=-7") << Values{{"marginTop", "0"}};
    QTest::newRow("margins on a landscape page")
        << QByteArray("isLandscape=true\nmarginTop=700\nmarginLeft=700")
        << Values{{"isLandscape", "true"}, {"marginTop", "594"}, {"marginBottom", "0"},
                  {"marginLeft", "700"}};
    QTest::newRow("page width 0") << QByteArray("pageWidth=0")
                                  << Values{{"pageWidth", "1"}, {"marginLeft", "0"}, {"marginRight", "0"}};
    QTest::newRow("page height negative")
        << QByteArray("pageHeight=-5") << Values{{"pageHeight", "1"}, {"marginTop", "0"}, {"marginBottom", "0"}};
    QTest::newRow("page width giant") << QByteArray("pageWidth=1e12") << Values{{"pageWidth", "20000"}};
    QTest::newRow("font size -3") << QByteArray("lyricFontSize=-3") << Values{{"lyricFontSize", "1"}};
    QTest::newRow("font size 100000")
        << QByteArray("titleFontSize=100000") << Values{{"titleFontSize", "1000"}};
    QTest::newRow("font size nan") << QByteArray("scoreFontSize=nan") << Values{};
    QTest::newRow("font size decimal") << QByteArray("scoreFontSize=17.6") << Values{{"scoreFontSize", "18"}};
    QTest::newRow("int as text") << QByteArray("colWidth=abc\nlyricSpace=abc") << Values{};
    QTest::newRow("int empty") << QByteArray("colWidth=") << Values{};
    QTest::newRow("int as list") << QByteArray("colWidth=1, 2") << Values{};
    QTest::newRow("int as switch") << QByteArray("colWidth=true") << Values{};
    QTest::newRow("pageSizeId as text") << QByteArray("pageSizeId=A4") << Values{};
    QTest::newRow("angle") << QByteArray("scoreAngle=100000") << Values{{"scoreAngle", "360"}};
    QTest::newRow("angle negative") << QByteArray("scoreAngle=-1000") << Values{{"scoreAngle", "-360"}};
    QTest::newRow("spaces") << QByteArray("lyricSpace=1000000000\nscoreSpace=-99999\nbanYanSpace=-20")
                            << Values{{"lyricSpace", "10000"}, {"scoreSpace", "-10000"}, {"banYanSpace", "-20"}};
    QTest::newRow("titlePos 7") << QByteArray("titlePos=7") << Values{};
    QTest::newRow("titlePos 2") << QByteArray("titlePos=2") << Values{{"titlePos", "2"}};
    // Any text but false/0 would be "on" with the toolkit's conversion.
    QTest::newRow("switch as text")
        << QByteArray("isLandscape=maybe\nisLivePreview=abc\nisHiddenSymbol=TRUE\nisBgTransparent=1")
        << Values{{"isHiddenSymbol", "true"}, {"isBgTransparent", "true"}};
    QTest::newRow("switch 0") << QByteArray("isLivePreview=0") << Values{{"isLivePreview", "false"}};
    QTest::newRow("colour text") << QByteArray("banColor=zz\ntitleColor=#12345\nlyricColor=#ABCDEF")
                                 << Values{{"lyricColor", "#abcdef"}};
    QTest::newRow("empty family") << QByteArray("lyricFont=\nscoreFont=\"  \"") << Values{};
}

// A file or scheme can hold anything; the getters still give a layout that
// can be drawn, and values the dialog allows are taken as they are.
void TestExportConfig::absurdValues()
{
    QFETCH(QByteArray, content);
    QFETCH(Values, changes);

    TestDataFolder env;
    const QString path = settingsPath(env);
    QVERIFY(writeFile(path, "[Export]\n" + content + "\n"));

    ExportConfig config(path);
    QCOMPARE(valuesOf(config), with(defaults(), changes));
    verifySafe(config);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(config.titleFont().pixelSize(), config.titleFontSize());
    QCOMPARE(config.lyricFont().pixelSize(), config.lyricFontSize());
    QCOMPARE(config.scoreFont().pixelSize(), config.scoreFontSize());
    QCOMPARE(config.lyricFontMetrics().height(), QFontMetricsF(config.lyricFont()).height());
    QCOMPARE(config.titleFontMetrics().height(), QFontMetricsF(config.titleFont()).height());
}

// Bounding happens when the values are used: the file keeps a number as it
// was stored (the page may grow back around a margin), while unusable text
// is replaced by the default on the next save.
void TestExportConfig::absurdNumbersKeptInFile()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    QVERIFY(writeFile(path, "[Export]\nmarginTop=5000\ncolWidth=0\nlyricSpace=abc\nbanColor=zz\n"));
    ExportConfig config(path);
    config.save();
    const Values file = section(path);
    QCOMPARE(file.value("marginTop"), QStringLiteral("5000"));
    QCOMPARE(file.value("colWidth"), QStringLiteral("0"));
    QCOMPARE(file.value("lyricSpace"), QStringLiteral("6"));
    QCOMPARE(file.value("banColor"), QStringLiteral("#ff4c00"));

    QCOMPARE(config.marginTop(), 841);
    config.setPageHeight(10000);
    QCOMPARE(config.marginTop(), 5000);
}

void TestExportConfig::handEditedTextRoundTrip_data()
{
    QTest::addColumn<bool>("scheme"); // from a scheme, else from settings.ini
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("stored"); // as written in the file or JSON
    QTest::addColumn<QString>("expected");

    for (bool scheme : {false, true}) {
        const char *from = scheme ? "scheme: " : "ini: ";
        auto row = [&](const char *name, const char *key, const QByteArray &ini,
                       const QByteArray &json, const QString &expected) {
            QTest::newRow(qPrintable(from + QString::fromUtf8(name)))
                << scheme << QString::fromLatin1(key) << (scheme ? json : ini) << expected;
        };
        row("leading comma", "lianBaiFont", ",b", R"(",b")", ",b");
        row("comma list", "lianBaiFont", "A, B", R"("A, B")", "A, B");
        row("trailing comma", "lianBaiFont", "a,", R"("a,")", "a,");
        row("eight digits", "lyricColor", "#00000001", R"("#00000001")", "#000000");
        row("alpha first", "lyricColor", "#80123456", R"("#80123456")", "#000000");
        row("name", "lyricColor", "red", R"("red")", "#000000");
        row("three digits", "lyricColor", "#AbC", R"("#AbC")", "#aabbcc");
    }
}

// What a hand-edited file or scheme holds is what is drawn, and the next
// save writes exactly that back.
void TestExportConfig::handEditedTextRoundTrip()
{
    QFETCH(bool, scheme);
    QFETCH(QString, key);
    QFETCH(QByteArray, stored);
    QFETCH(QString, expected);

    TestDataFolder env;
    const QString path = settingsPath(env);
    std::unique_ptr<ExportConfig> config;
    if (scheme) {
        config = std::make_unique<ExportConfig>(path);
        const QString file = QDir(env.dataDir()).filePath("scheme.json");
        QVERIFY(writeFile(file, "{\"" + key.toLatin1() + "\": " + stored + "}"));
        QVERIFY(config->loadScheme(file));
    } else {
        QVERIFY(writeFile(path, "[Export]\n" + key.toLatin1() + "=" + stored + "\n"));
        config = std::make_unique<ExportConfig>(path);
    }
    QCOMPARE(valuesOf(*config), with(defaults(), {{key, expected}}));
    QCOMPARE(config->lyricColor().alpha(), 255);
    config->save();
    QCOMPARE(section(path).value(key), expected);
    ExportConfig reloaded(path);
    QCOMPARE(valuesOf(reloaded), valuesOf(*config));
    QCOMPARE(reloaded.lyricColor(), config->lyricColor());
    QCOMPARE(reloaded.lianBaiFont(), config->lianBaiFont());
}

void TestExportConfig::landscapeSwapsPage()
{
    TestDataFolder env;
    ExportConfig config(settingsPath(env));
    config.setPageSizeId(18);
    QCOMPARE(config.pageSizePoints(), QSize(709, 1001));
    config.setIsLandscape(true);
    QCOMPARE(config.pageSizePoints(), QSize(1001, 709));
    QCOMPARE(config.pageWidth(), 709);
    QCOMPARE(config.pageHeight(), 1001);
    config.setIsLandscape(false);
    QCOMPARE(config.pageSizePoints(), QSize(709, 1001));
}

void TestExportConfig::saveWritesAllKeys()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    ExportConfig config(path);
    config.setBanColor(QColor("#ABCDEF"));
    config.setBackgroundColor(QColor(QStringLiteral("#FFFFFF")));
    config.setQiangGeColor(QColor()); // ignored
    config.setColWidth(111);
    config.setIsLandscape(true);
    QVERIFY(!QFile::exists(path)); // setters do not write

    QSignalSpy spy(&config, &ExportConfig::configChanged);
    config.save();
    QCOMPARE(spy.count(), 1);
    const Values file = section(path);
    QCOMPARE(file.size(), 53);
    QCOMPARE(QStringList(file.keys()), [] { QStringList k = ExportConfig::keys(); k.sort(); return k; }());
    QCOMPARE(file, with(defaults(), {{"banColor", "#abcdef"}, {"colWidth", "111"}, {"isLandscape", "true"}}));
    const QByteArray text = readAll(path);
    QVERIFY(text.contains("banColor=#abcdef\n"));
    QVERIFY(text.contains("backgroundColor=#ffffff\n"));
    QVERIFY(text.contains("qiangGeColor=#000000\n"));
}

void TestExportConfig::restoreDefaultsClearsSectionOnly()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    QVERIFY(writeFile(path,
                      "[Editor]\nlyricFontSize=40\nerrorColor=#123456\n"
                      "[Export]\ncolWidth=200\nsomeOldKey=1\nsub\\nested=2\nbanColor=#010203\n"));
    ExportConfig config(path);
    QCOMPARE(config.colWidth(), 200);
    config.setLyricFontSize(55);

    QSignalSpy spy(&config, &ExportConfig::configChanged);
    config.restoreDefaults();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(valuesOf(config), defaults());
    QCOMPARE(config.lyricFont().pixelSize(), 30);
    QCOMPARE(section(path), defaults());
    const Values editor = section(path, QStringLiteral("Editor"));
    QCOMPARE(editor, (Values{{"lyricFontSize", "40"}, {"errorColor", "#123456"}}));
}

void TestExportConfig::fontAndSizeSetters_data()
{
    QTest::addColumn<QString>("key");
    for (const char *key : {"titleFont", "lyricFont", "scoreFont", "quPaiFont", "diaoMingFont",
                            "lianBaiFont", "jiaBaiFont"})
        QTest::newRow(key) << key;
}

void TestExportConfig::fontAndSizeSetters()
{
    QFETCH(QString, key);

    using FontSet = void (ExportConfig::*)(const QFont &);
    using SizeSet = void (ExportConfig::*)(int);
    using FontGet = QFont (ExportConfig::*)() const;
    using SizeGet = int (ExportConfig::*)() const;
    using MetricsGet = const QFontMetricsF &(ExportConfig::*)() const;
    struct Access { FontSet setFont; SizeSet setSize; FontGet font; SizeGet size; MetricsGet metrics; };
#define ACCESS(name, Name) \
    {#name, {&ExportConfig::set##Name, &ExportConfig::set##Name##Size, &ExportConfig::name, \
             &ExportConfig::name##Size, &ExportConfig::name##Metrics}}
    const QMap<QString, Access> access = {
        ACCESS(titleFont, TitleFont), ACCESS(lyricFont, LyricFont), ACCESS(scoreFont, ScoreFont),
        ACCESS(quPaiFont, QuPaiFont), ACCESS(diaoMingFont, DiaoMingFont),
        ACCESS(lianBaiFont, LianBaiFont), ACCESS(jiaBaiFont, JiaBaiFont),
    };
#undef ACCESS
    QVERIFY(access.contains(key));
    const Access a = access.value(key);

    TestDataFolder env;
    ExportConfig config(settingsPath(env));
    const auto metricsMatch = [&] {
        const QFontMetricsF expected((config.*a.font)());
        return (config.*a.metrics)().height() == expected.height()
            && (config.*a.metrics)().horizontalAdvance(QStringLiteral("工尺")) == expected.horizontalAdvance(QStringLiteral("工尺"));
    };

    (config.*a.setSize)(20);
    QCOMPARE((config.*a.font)().pixelSize(), 20);
    QVERIFY(metricsMatch());
    const qreal small = (config.*a.metrics)().height();

    // The font setter keeps the stored size, whatever the font carries.
    (config.*a.setFont)(QFont(QStringLiteral("Serif"), 9));
    QCOMPARE((config.*a.font)().family(), QStringLiteral("Serif"));
    QCOMPARE((config.*a.font)().pixelSize(), 20);
    QCOMPARE((config.*a.size)(), 20);
    QVERIFY(metricsMatch());

    (config.*a.setSize)(80);
    QCOMPARE((config.*a.font)().family(), QStringLiteral("Serif"));
    QCOMPARE((config.*a.font)().pixelSize(), 80);
    QVERIFY(metricsMatch());
    // Pixel sizes scale the metrics in proportion (one font point is one unit).
    const qreal large = (config.*a.metrics)().height();
    QVERIFY2(large > 3 * small && large < 5 * small, qPrintable(QStringLiteral("%1 vs %2").arg(large).arg(small)));

    config.save();
    const Values file = section(config.settingsPath());
    QCOMPARE(file.value(key), QStringLiteral("Serif"));
    QCOMPARE(file.value(key + "Size"), QStringLiteral("80"));

    ExportConfig reread(config.settingsPath());
    QCOMPARE((reread.*a.font)().family(), QStringLiteral("Serif"));
    QCOMPARE((reread.*a.font)().pixelSize(), 80);
    QCOMPARE((reread.*a.metrics)().height(), large);
}

void TestExportConfig::loadScheme_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<Values>("changes");

    QTest::newRow("only colWidth") << true << QByteArray(R"({"colWidth": 200})") << true
                                   << Values{{"colWidth", "200"}};
    QTest::newRow("empty object") << true << QByteArray("{}") << true << Values{};
    QTest::newRow("typed values")
        << true
        << QByteArray(R"({"isLandscape": true, "banColor": "#00FF00", "lyricFont": "Serif",
                          "scoreAngle": -30, "pageSizeId": 18, "isLivePreview": false})")
        << true
        << Values{{"isLandscape", "true"}, {"banColor", "#00ff00"}, {"lyricFont", "Serif"},
                  {"scoreAngle", "-30"}, {"pageSizeId", "18"}, {"isLivePreview", "false"}};
    QTest::newRow("fraction") << true << QByteArray(R"({"colWidth": 120.6})") << true
                              << Values{{"colWidth", "121"}};
    QTest::newRow("unknown key") << true << QByteArray(R"({"fooBar": 5, "mColWidth": 40})") << true
                                 << Values{{"mColWidth", "40"}};
    QTest::newRow("wrong types")
        << true << QByteArray(R"({"colWidth": "abc", "isLandscape": "maybe", "banColor": "zz",
                                  "titleFontSize": [1, 2], "lyricSpace": null, "scoreSpace": {"a": 1}})")
        << true << Values{};
    QTest::newRow("absurd numbers") << true << QByteArray(R"({"colWidth": 0, "lyricFontSize": 1e300})")
                                    << true << Values{{"colWidth", "1"}, {"lyricFontSize", "1000"}};
    QTest::newRow("array") << true << QByteArray(R"([{"colWidth": 200}])") << false << Values{};
    QTest::newRow("empty array") << true << QByteArray("[]") << false << Values{};
    QTest::newRow("broken") << true << QByteArray(R"({"colWidth": 200,)") << false << Values{};
    QTest::newRow("trailing garbage") << true << QByteArray(R"({"colWidth": 200} x)") << false << Values{};
    QTest::newRow("string") << true << QByteArray(R"("colWidth")") << false << Values{};
    QTest::newRow("empty file") << true << QByteArray() << false << Values{};
    QTest::newRow("missing file") << false << QByteArray() << false << Values{};
}

// The settings in use are saved (the normal state once the dialog has been
// open); a scheme changes what it holds and nothing else.
void TestExportConfig::loadScheme()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QFETCH(Values, changes);

    TestDataFolder env;
    const QString path = settingsPath(env);
    ExportConfig config(path);
    config.save();
    const QByteArray before = readAll(path);

    const QString scheme = QDir(env.dataDir()).filePath("scheme.json");
    if (exists)
        QVERIFY(writeFile(scheme, json));

    QSignalSpy spy(&config, &ExportConfig::configChanged);
    QCOMPARE(config.loadScheme(scheme), ok);
    QCOMPARE(spy.count(), ok ? 1 : 0);
    QCOMPARE(valuesOf(config), with(defaults(), changes));
    if (!ok)
        QCOMPARE(readAll(path), before);
    verifySafe(config);
}

// Keys a scheme lacks keep the values in use, even those not saved yet and
// even titleWidth on a file that never held it.
void TestExportConfig::loadSchemeKeepsUnsavedValues()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    ExportConfig config(path);
    config.setLyricColor(QColor("#112233"));
    const QString scheme = QDir(env.dataDir()).filePath("scheme.json");
    QVERIFY(writeFile(scheme, R"({"colWidth": 200})"));
    QVERIFY(config.loadScheme(scheme));
    QCOMPARE(valuesOf(config), with(defaults(), {{"colWidth", "200"}, {"lyricColor", "#112233"}}));
}

void TestExportConfig::unknownKeysReexported()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    QVERIFY(writeFile(path, "[Export]\noldKey=hello\nnum=7\n[Editor]\nlyricFontSize=40\n"));
    ExportConfig config(path);

    const QString in = QDir(env.dataDir()).filePath("in.json");
    QVERIFY(writeFile(in, R"({"fooBar": 5, "flag": true, "name": "x y", "ratio": 1.5, "colWidth": 140})"));
    QVERIFY(config.loadScheme(in));
    QCOMPARE(section(path).value("fooBar"), QStringLiteral("5"));

    const QString out = QDir(env.dataDir()).filePath("out.json");
    QVERIFY(config.saveScheme(out));
    const QByteArray bytes = readAll(out);
    QVERIFY(bytes.contains("\n    \"")); // indented
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    QVERIFY(doc.isObject());
    const QJsonObject o = doc.object();
    QCOMPARE(o.size(), 53 + 6);
    QCOMPARE(o.value("fooBar"), QJsonValue(5));
    QCOMPARE(o.value("flag"), QJsonValue(true));
    QCOMPARE(o.value("name"), QJsonValue("x y"));
    QCOMPARE(o.value("ratio"), QJsonValue(1.5));
    QCOMPARE(o.value("oldKey"), QJsonValue("hello"));
    QCOMPARE(o.value("num"), QJsonValue(7));
    QVERIFY(!o.contains("lyricFontSize") || o.value("lyricFontSize") == QJsonValue(30));
    // Our keys with their types.
    QCOMPARE(o.value("colWidth"), QJsonValue(140));
    QCOMPARE(o.value("scoreAngle"), QJsonValue(-45));
    QCOMPARE(o.value("isLineBreakScoreOverflow"), QJsonValue(true));
    QCOMPARE(o.value("isLandscape"), QJsonValue(false));
    QCOMPARE(o.value("banColor"), QJsonValue("#ff4c00"));
    QCOMPARE(o.value("scoreFont"), QJsonValue(FontRegistry::instance().defaultFamily()));
    for (const QString &key : ExportConfig::keys()) {
        const QJsonValue v = o.value(key);
        if (key.startsWith("is"))
            QVERIFY2(v.isBool(), qPrintable(key));
        else if (key.endsWith("Color") || key.endsWith("Font"))
            QVERIFY2(v.isString(), qPrintable(key));
        else
            QVERIFY2(v.isDouble(), qPrintable(key));
    }

    // A fresh config takes the unknown keys along into its own file.
    TestDataFolder other;
    ExportConfig second(settingsPath(other));
    QVERIFY(second.loadScheme(out));
    const Values file = section(settingsPath(other));
    QCOMPARE(file.value("oldKey"), QStringLiteral("hello"));
    QCOMPARE(file.value("fooBar"), QStringLiteral("5"));
    QCOMPARE(second.colWidth(), 140);
}

void TestExportConfig::schemeRoundTrip_data()
{
    QTest::addColumn<bool>("changed");
    QTest::newRow("defaults") << false;
    QTest::newRow("every kind changed") << true;
}

void TestExportConfig::schemeRoundTrip()
{
    QFETCH(bool, changed);

    TestDataFolder env;
    ExportConfig config(settingsPath(env));
    if (changed) {
        config.setPageSizeId(16);
        config.setIsLandscape(true);
        config.setMarginLeft(40);
        config.setLyricFont(QFont(QStringLiteral("Serif")));
        config.setLyricFontSize(33);
        config.setZhongYanColor(QColor("#0A0B0C"));
        config.setIsLineBreakScoreOverflow(false);
        config.setScoreAngle(-30);
        config.setTitleWidth(99);
        config.setTitlePos(2);
    }
    const QString scheme = QDir(env.dataDir()).filePath("scheme.json");
    QVERIFY(config.saveScheme(scheme));

    TestDataFolder other;
    ExportConfig second(settingsPath(other));
    QVERIFY(second.loadScheme(scheme));
    QCOMPARE(valuesOf(second), valuesOf(config));
    QCOMPARE(second.lyricFont().pixelSize(), config.lyricFont().pixelSize());
    QCOMPARE(second.lyricFontMetrics().height(), config.lyricFontMetrics().height());
    QCOMPARE(section(settingsPath(other)), section(settingsPath(env)));
}

void TestExportConfig::saveSchemeFailure_data()
{
    QTest::addColumn<QString>("target"); // relative to the data folder
    QTest::newRow("missing folder") << "no/such/folder/scheme.json";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("empty path") << "";
}

void TestExportConfig::saveSchemeFailure()
{
    QFETCH(QString, target);

    TestDataFolder env;
    QVERIFY(QDir(env.dataDir()).mkdir("folder"));
    ExportConfig config(settingsPath(env));
    config.setColWidth(123);
    const QString path = target.isEmpty() ? QString() : QDir(env.dataDir()).filePath(target);
    QVERIFY(!config.saveScheme(path));
    // The settings were saved all the same.
    QCOMPARE(section(settingsPath(env)).value("colWidth"), QStringLiteral("123"));
}

void TestExportConfig::privateInstanceSavesOnDestruction()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    {
        ExportConfig config(path);
        config.setColWidth(77);
        QVERIFY(!QFile::exists(path));
    }
    QCOMPARE(section(path), with(defaults(), {{"colWidth", "77"}}));
}

void TestExportConfig::sharedInstanceSavesAtExit_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("event loop quits") << "quit";
    QTest::newRow("no event loop") << "return";
}

// A program that uses the shared instance and ends writes a complete
// section, including changes never saved, and exits cleanly.
void TestExportConfig::sharedInstanceSavesAtExit()
{
    QFETCH(QString, mode);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    runExitChild(mode, dir.path());
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(section(QDir(dir.path()).filePath("settings.ini")),
             with(defaults(), {{"colWidth", "151"}, {"banColor", "#0a0b0c"}}));
}

void TestExportConfig::inMemoryNeverWrites_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no settings.ini
    QTest::addColumn<QString>("operation");
    // Spaces, a comment and a short section: any save would rewrite it.
    const QByteArray ini = "; by hand\n[Export]\ncolWidth = 140\nlianBaiFont=A, B\n[Other]\nx=1\n";
    for (const char *op : {"none", "save", "loadScheme", "restoreDefaults", "saveScheme"}) {
        QTest::addRow("settings, %s", op) << ini << QString::fromLatin1(op);
        QTest::addRow("no settings, %s", op) << QByteArray() << QString::fromLatin1(op);
    }
}

// An instance in memory reads the saved values as the file-backed one does,
// takes a scheme over them, and never writes or creates the settings file.
void TestExportConfig::inMemoryNeverWrites()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, operation);
    TestDataFolder env;
    const QString path = settingsPath(env);
    if (!file.isEmpty())
        QVERIFY(writeFile(path, file));
    const QString scheme = QDir(env.dataDir()).filePath("scheme.json");
    QVERIFY(writeFile(scheme, R"({"isLandscape": true})"));
    const int saved = file.isEmpty() ? 130 : 140;
    {
        const std::unique_ptr<ExportConfig> config = ExportConfig::inMemory(path);
        QVERIFY(config->isInMemory());
        QCOMPARE(config->colWidth(), saved);
        QCOMPARE(config->titleWidth(), saved);
        QCOMPARE(config->lianBaiFont().family(),
                 file.isEmpty() ? QStringLiteral("楷体") : QStringLiteral("A, B"));
        if (operation == "save") {
            config->setColWidth(90);
            QVERIFY(config->save());
            QCOMPARE(config->colWidth(), 90);
        } else if (operation == "loadScheme") {
            QVERIFY(config->loadScheme(scheme));
            QVERIFY(config->isLandscape());
            QCOMPARE(config->colWidth(), saved);
        } else if (operation == "restoreDefaults") {
            config->restoreDefaults();
            QCOMPARE(valuesOf(*config), defaults());
        } else if (operation == "saveScheme") {
            QVERIFY(config->saveScheme(scheme));
            const QJsonObject json = QJsonDocument::fromJson(readAll(scheme)).object();
            QCOMPARE(json.value("colWidth").toInt(), saved);
            QCOMPARE(json.size(), 53);
        }
    }
    QCOMPARE(QFile::exists(path), !file.isEmpty());
    if (!file.isEmpty())
        QCOMPARE(readAll(path), file);
    QCOMPARE(QDir(env.dataDir()).entryList(QDir::Files | QDir::Hidden),
             file.isEmpty() ? QStringList{"scheme.json"}
                            : QStringList({"scheme.json", "settings.ini"}));
}

// The child side of sharedInstanceSavesAtExit: the file must be complete
// as soon as the application object is gone.
static int exitChild(int argc, char **argv)
{
    const bool quitLoop = QString::fromLocal8Bit(argv[2]) == QLatin1String("quit");
    QString path;
    {
        QGuiApplication app(argc, argv);
        initCoreTestApplication();
        ExportConfig *config = ExportConfig::instance();
        if (!config || ExportConfig::instance() != config)
            return 3;
        path = DataPaths::settingsFile();
        if (config->settingsPath() != path)
            return 4;
        config->setColWidth(151);
        config->setBanColor(QColor("#0a0b0c"));
        if (quitLoop) {
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
            if (app.exec() != 0)
                return 5;
        }
    }
    const Values file = section(path);
    if (file.size() != 53 || file.value("colWidth") != QLatin1String("151"))
        return 6;
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--exit-child") == 0)
        return exitChild(argc, argv);
    QGuiApplication app(argc, argv);
    TestExportConfig test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_exportconfig.moc"
