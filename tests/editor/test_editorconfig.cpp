// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DataPaths.h"
#include "editor/EditorConfig.h"
#include "fonts/FontRegistry.h"
#include "support/CoreTestSupport.h"

#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

using Getter = std::function<QString(const EditorConfig &)>;

QString sizeText(int size) { return QString::number(size); }

// Every key with the getter that shows its value in the file's form.
const QList<QPair<QString, Getter>> &keyGetters()
{
    static const QList<QPair<QString, Getter>> list = {
        {"lyricLineNumberFontSize", [](const EditorConfig &c) { return sizeText(c.lyricLineNumberFontSize()); }},
        {"lyricLineNumberFont", [](const EditorConfig &c) { return c.lyricLineNumberFont().family(); }},
        {"lyricLineNumberColor", [](const EditorConfig &c) { return c.lyricLineNumberColor().name(); }},
        {"lyricLineNumberBgColor", [](const EditorConfig &c) { return c.lyricLineNumberBgColor().name(); }},
        {"scoreLineNumberFontSize", [](const EditorConfig &c) { return sizeText(c.scoreLineNumberFontSize()); }},
        {"scoreLineNumberFont", [](const EditorConfig &c) { return c.scoreLineNumberFont().family(); }},
        {"scoreLineNumberColor", [](const EditorConfig &c) { return c.scoreLineNumberColor().name(); }},
        {"scoreLineNumberBgColor", [](const EditorConfig &c) { return c.scoreLineNumberBgColor().name(); }},
        {"scoreFontSize", [](const EditorConfig &c) { return sizeText(c.scoreFontSize()); }},
        {"scoreFont", [](const EditorConfig &c) { return c.scoreFont().family(); }},
        {"scoreColor", [](const EditorConfig &c) { return c.scoreColor().name(); }},
        {"scoreBgColor", [](const EditorConfig &c) { return c.scoreBgColor().name(); }},
        {"lyricFontSize", [](const EditorConfig &c) { return sizeText(c.lyricFontSize()); }},
        {"lyricFont", [](const EditorConfig &c) { return c.lyricFont().family(); }},
        {"lyricBgColor", [](const EditorConfig &c) { return c.lyricBgColor().name(); }},
        {"lyricColor", [](const EditorConfig &c) { return c.lyricColor().name(); }},
        {"titleColor", [](const EditorConfig &c) { return c.titleColor().name(); }},
        {"jiaBaiColor", [](const EditorConfig &c) { return c.jiaBaiColor().name(); }},
        {"lianBaiColor", [](const EditorConfig &c) { return c.lianBaiColor().name(); }},
        {"quPaiColor", [](const EditorConfig &c) { return c.quPaiColor().name(); }},
        {"commentColor", [](const EditorConfig &c) { return c.commentColor().name(); }},
        {"biaoDianColor", [](const EditorConfig &c) { return c.biaoDianColor().name(); }},
        {"breakSymbolColor", [](const EditorConfig &c) { return c.breakSymbolColor().name(); }},
        {"errorColor", [](const EditorConfig &c) { return c.errorColor().name(); }},
    };
    return list;
}

QMap<QString, QString> defaults()
{
    return {
        {"lyricLineNumberFontSize", "14"},
        {"lyricLineNumberFont", "楷体"},
        {"lyricLineNumberColor", "#ff5500"},
        {"lyricLineNumberBgColor", "#fdfff8"},
        {"scoreLineNumberFontSize", "14"},
        {"scoreLineNumberFont", "楷体"},
        {"scoreLineNumberColor", "#ff5500"},
        {"scoreLineNumberBgColor", "#fdfff8"},
        {"scoreFontSize", "16"},
        {"scoreFont", FontRegistry::instance().defaultFamily()},
        {"scoreColor", "#000000"},
        {"scoreBgColor", "#ffffff"},
        {"lyricFontSize", "16"},
        {"lyricFont", "楷体"},
        {"lyricBgColor", "#ffffff"},
        {"lyricColor", "#333333"},
        {"titleColor", "#a76f55"},
        {"jiaBaiColor", "#b76b01"},
        {"lianBaiColor", "#a626a4"},
        {"quPaiColor", "#4078f2"},
        {"commentColor", "#a9a9a9"},
        {"biaoDianColor", "#50a14f"},
        {"breakSymbolColor", "#a9a9a9"},
        {"errorColor", "#ff0000"},
    };
}

QMap<QString, QString> valuesOf(const EditorConfig &config)
{
    QMap<QString, QString> values;
    for (const auto &[key, get] : keyGetters())
        values.insert(key, get(config));
    return values;
}

// The [Editor] section as the file holds it, read by a settings object of
// its own.
QMap<QString, QString> editorSection(const QString &path)
{
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Editor"));
    QMap<QString, QString> values;
    for (const QString &key : file.childKeys())
        values.insert(key, file.value(key).toString());
    return values;
}

// Writes a settings file from raw lines (hand-edited input).
void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

QString settingsPath(const TestDataFolder &env)
{
    return QDir(env.dataDir()).filePath(QStringLiteral("settings.ini"));
}

} // namespace

class TestEditorConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void missingFileGivesDefaults();
    void singleKeyInFile_data();
    void singleKeyInFile();
    void colourWrittenBack_data();
    void colourWrittenBack();
    void absurdSizes_data();
    void absurdSizes();
    void emptyOrListFamily_data();
    void emptyOrListFamily();
    void restoreDefaultsClearsSectionOnly();
    void settersNeitherSaveNorSignal();
    void fontAndSizeSetters_data();
    void fontAndSizeSetters();
    void sizeSetterClamps();
    void invalidColourSetterIgnored();
    void gutterMetricsFollowFonts();
    void privateInstanceSavesOnDestruction();
    void sharedInstanceSavesAtExit_data();
    void sharedInstanceSavesAtExit();
};

void TestEditorConfig::initTestCase()
{
    initCoreTestApplication();
    QVERIFY(!FontRegistry::instance().defaultFamily().isEmpty());
    QCOMPARE(EditorConfig::keys().size(), 24);
    QStringList tested;
    for (const auto &entry : keyGetters())
        tested.append(entry.first);
    QCOMPARE(EditorConfig::keys(), tested);
}

void TestEditorConfig::missingFileGivesDefaults()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    QVERIFY(!QFile::exists(path));

    EditorConfig config(path);
    QCOMPARE(valuesOf(config), defaults());
    QCOMPARE(config.lyricFont().pointSize(), 16);
    QCOMPARE(config.scoreFont().pointSize(), 16);
    QCOMPARE(config.lyricLineNumberFont().pointSize(), 14);
    QCOMPARE(config.scoreLineNumberFont().pointSize(), 14);
    QVERIFY(!config.lyricFont().bold());
    QVERIFY(!config.lyricFont().italic());

    QSignalSpy spy(&config, &EditorConfig::configChanged);
    config.save();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(editorSection(path), defaults());
}

void TestEditorConfig::singleKeyInFile_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");

    int i = 0;
    for (const QString &key : EditorConfig::keys()) {
        QString value;
        if (key.endsWith("FontSize"))
            value = QString::number(20 + i);
        else if (key.endsWith("Font"))
            value = QStringLiteral("Family %1").arg(i);
        else
            value = QStringLiteral("#%1%2%3").arg(i, 2, 16, QChar('0')).arg(0xab, 2, 16).arg(0xcd, 2, 16);
        QTest::newRow(qPrintable(key)) << key << value;
        ++i;
    }
}

// One key in the file, defaults for every other; each key reaches its own
// getter and is written back unchanged.
void TestEditorConfig::singleKeyInFile()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);

    TestDataFolder env;
    const QString path = settingsPath(env);
    writeFile(path, "[Editor]\n" + key.toUtf8() + "=" + stored.toUtf8() + "\n");

    QMap<QString, QString> expected = defaults();
    expected[key] = stored;

    EditorConfig config(path);
    QCOMPARE(valuesOf(config), expected);
    config.save();
    QCOMPARE(editorSection(path), expected);
}

void TestEditorConfig::colourWrittenBack_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("expected");

    QTest::newRow("three digits") << QByteArray("#f00") << "#ff0000";
    QTest::newRow("upper case") << QByteArray("#ABCDEF") << "#abcdef";
    QTest::newRow("three digits lower") << QByteArray("#abc") << "#aabbcc";
    // The file holds opaque #rgb/#rrggbb only: anything else would be drawn
    // one way now and another after the next save, so it keeps the default.
    QTest::newRow("colour name") << QByteArray("blue") << "#ff0000";
    QTest::newRow("with alpha") << QByteArray("#80123456") << "#ff0000";
    QTest::newRow("eight digits, nearly transparent") << QByteArray("#00000001") << "#ff0000";
    QTest::newRow("twelve digits") << QByteArray("#000011112222") << "#ff0000";
    QTest::newRow("quoted") << QByteArray("\"#00ff00\"") << "#00ff00";
    // Unusable text keeps the default rather than turning black.
    QTest::newRow("nonsense") << QByteArray("nonsense") << "#ff0000";
    QTest::newRow("empty") << QByteArray("") << "#ff0000";
    QTest::newRow("five digits") << QByteArray("#12345") << "#ff0000";
    QTest::newRow("bad digits") << QByteArray("#gggggg") << "#ff0000";
    QTest::newRow("number") << QByteArray("123") << "#ff0000";
}

void TestEditorConfig::colourWrittenBack()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, expected);

    TestDataFolder env;
    const QString path = settingsPath(env);
    writeFile(path, "[Editor]\nerrorColor=" + stored + "\n");

    EditorConfig config(path);
    QCOMPARE(config.errorColor().name(), expected);
    config.save();
    QCOMPARE(editorSection(path).value("errorColor"), expected);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("errorColor=" + expected.toLatin1() + "\n"));
    // What was drawn before the save is drawn after it, alpha included.
    EditorConfig reloaded(path);
    QCOMPARE(reloaded.errorColor(), config.errorColor());
    QCOMPARE(config.errorColor().alpha(), 255);
}

void TestEditorConfig::absurdSizes_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("expected"); // lyricLineNumberFontSize, default 14

    QTest::newRow("zero") << QByteArray("0") << 1;
    QTest::newRow("negative") << QByteArray("-5") << 1;
    QTest::newRow("huge") << QByteArray("100000") << 200;
    QTest::newRow("beyond int") << QByteArray("99999999999999999999") << 200;
    QTest::newRow("exponent") << QByteArray("1e9") << 200;
    QTest::newRow("decimal") << QByteArray("20.6") << 21;
    QTest::newRow("text") << QByteArray("big") << 14;
    QTest::newRow("empty") << QByteArray("") << 14;
    QTest::newRow("not a number") << QByteArray("nan") << 14;
    QTest::newRow("infinite") << QByteArray("inf") << 14;
    QTest::newRow("list") << QByteArray("12, 13") << 14;
    QTest::newRow("padded") << QByteArray("\" 18 \"") << 18;
}

// Sizes from a hand-edited file never make the font unusable.
void TestEditorConfig::absurdSizes()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, expected);

    TestDataFolder env;
    const QString path = settingsPath(env);
    writeFile(path, "[Editor]\nlyricLineNumberFontSize=" + stored + "\n");

    EditorConfig config(path);
    QCOMPARE(config.lyricLineNumberFontSize(), expected);
    QCOMPARE(config.lyricLineNumberFont().pointSize(), expected);
    QCOMPARE(config.lyricLineNumberMetrics().height(),
             QFontMetrics(config.lyricLineNumberFont()).height());
    QVERIFY(config.lyricLineNumberMetrics().height() > 0);
    config.save();
    QCOMPARE(editorSection(path).value("lyricLineNumberFontSize"), QString::number(expected));
}

void TestEditorConfig::emptyOrListFamily_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray("") << "楷体";
    QTest::newRow("blank") << QByteArray("\"   \"") << "楷体";
    QTest::newRow("plain") << QByteArray("Serif") << "Serif";
    // An unquoted comma makes the INI parser return a list; the family is
    // still the text as written.
    QTest::newRow("comma") << QByteArray("A, B") << "A, B";
    QTest::newRow("leading comma") << QByteArray(",b") << ",b";
    QTest::newRow("trailing comma") << QByteArray("a,") << "a,";
    QTest::newRow("odd spacing") << QByteArray("  a ,b  ") << "a ,b";
    QTest::newRow("quoted comma") << QByteArray("\",b\"") << ",b";
    QTest::newRow("quotes and commas") << QByteArray("\"a\", b") << "a, b";
}

void TestEditorConfig::emptyOrListFamily()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, expected);

    TestDataFolder env;
    const QString path = settingsPath(env);
    writeFile(path, "[Editor]\nlyricFont=" + stored + "\n");

    EditorConfig config(path);
    QCOMPARE(config.lyricFont().family(), expected);
    QCOMPARE(config.lyricFont().pointSize(), 16);
    config.save();
    QCOMPARE(editorSection(path).value("lyricFont"), expected);
    EditorConfig reloaded(path);
    QCOMPARE(reloaded.lyricFont(), config.lyricFont());
}

void TestEditorConfig::restoreDefaultsClearsSectionOnly()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    writeFile(path,
              "[Editor]\n"
              "errorColor=#123456\n"
              "lyricFontSize=30\n"
              "someOldKey=1\n"
              "[Export]\n"
              "lyricFontSize=40\n"
              "titleColor=#abcdef\n");

    EditorConfig config(path);
    QCOMPARE(config.errorColor(), QColor("#123456"));
    config.setTitleColor(QColor("#010203"));

    QSignalSpy spy(&config, &EditorConfig::configChanged);
    config.restoreDefaults();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(valuesOf(config), defaults());
    QCOMPARE(config.lyricFont().pointSize(), 16);

    QCOMPARE(editorSection(path), defaults());
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Export"));
    QCOMPARE(file.childKeys().size(), 2);
    QCOMPARE(file.value("lyricFontSize").toString(), QStringLiteral("40"));
    QCOMPARE(file.value("titleColor").toString(), QStringLiteral("#abcdef"));
}

void TestEditorConfig::settersNeitherSaveNorSignal()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    writeFile(path, "[Editor]\nerrorColor=#123456\n");
    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    EditorConfig config(path);
    QSignalSpy spy(&config, &EditorConfig::configChanged);
    config.setErrorColor(QColor("#654321"));
    config.setLyricColor(QColor("#111111"));
    config.setLyricFont(QFont("Serif"));
    config.setLyricFontSize(22);
    config.setScoreLineNumberFontSize(9);
    QCOMPARE(spy.count(), 0);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    config.save();
    QCOMPARE(spy.count(), 1);
    const auto section = editorSection(path);
    QCOMPARE(section.value("errorColor"), QStringLiteral("#654321"));
    QCOMPARE(section.value("lyricColor"), QStringLiteral("#111111"));
    QCOMPARE(section.value("lyricFont"), QStringLiteral("Serif"));
    QCOMPARE(section.value("lyricFontSize"), QStringLiteral("22"));
    QCOMPARE(section.value("scoreLineNumberFontSize"), QStringLiteral("9"));
}

void TestEditorConfig::fontAndSizeSetters_data()
{
    QTest::addColumn<QString>("key");
    for (const char *key : {"lyricLineNumberFont", "scoreLineNumberFont", "scoreFont", "lyricFont"})
        QTest::newRow(qPrintable(key)) << key;
}

void TestEditorConfig::fontAndSizeSetters()
{
    QFETCH(QString, key);

    TestDataFolder env;
    EditorConfig config(settingsPath(env));

    using FontSet = void (EditorConfig::*)(const QFont &);
    using SizeSet = void (EditorConfig::*)(int);
    using FontGet = QFont (EditorConfig::*)() const;
    using SizeGet = int (EditorConfig::*)() const;
    struct Access { FontSet setFont; SizeSet setSize; FontGet font; SizeGet size; };
    const QMap<QString, Access> access = {
        {"lyricLineNumberFont", {&EditorConfig::setLyricLineNumberFont, &EditorConfig::setLyricLineNumberFontSize,
                                 &EditorConfig::lyricLineNumberFont, &EditorConfig::lyricLineNumberFontSize}},
        {"scoreLineNumberFont", {&EditorConfig::setScoreLineNumberFont, &EditorConfig::setScoreLineNumberFontSize,
                                 &EditorConfig::scoreLineNumberFont, &EditorConfig::scoreLineNumberFontSize}},
        {"scoreFont", {&EditorConfig::setScoreFont, &EditorConfig::setScoreFontSize,
                       &EditorConfig::scoreFont, &EditorConfig::scoreFontSize}},
        {"lyricFont", {&EditorConfig::setLyricFont, &EditorConfig::setLyricFontSize,
                       &EditorConfig::lyricFont, &EditorConfig::lyricFontSize}},
    };
    const Access a = access.value(key);

    (config.*a.setSize)(30);
    QCOMPARE((config.*a.font)().pointSize(), 30);

    // The font setter keeps the stored size, whatever the given font carries.
    (config.*a.setFont)(QFont(QStringLiteral("Serif"), 9));
    QCOMPARE((config.*a.font)().family(), QStringLiteral("Serif"));
    QCOMPARE((config.*a.font)().pointSize(), 30);
    QCOMPARE((config.*a.size)(), 30);

    // The dialog's order: font first, then its size.
    (config.*a.setFont)(QFont(QStringLiteral("Sans")));
    (config.*a.setSize)(12);
    QCOMPARE((config.*a.font)().family(), QStringLiteral("Sans"));
    QCOMPARE((config.*a.font)().pointSize(), 12);
    QCOMPARE((config.*a.size)(), 12);

    config.save();
    const auto section = editorSection(config.settingsPath());
    QCOMPARE(section.value(key), QStringLiteral("Sans"));
    QCOMPARE(section.value(key + "Size"), QStringLiteral("12"));
}

void TestEditorConfig::sizeSetterClamps()
{
    TestDataFolder env;
    EditorConfig config(settingsPath(env));
    config.setLyricFontSize(0);
    QCOMPARE(config.lyricFontSize(), 1);
    QCOMPARE(config.lyricFont().pointSize(), 1);
    config.setLyricFontSize(100000);
    QCOMPARE(config.lyricFontSize(), 200);
    QCOMPARE(config.lyricFont().pointSize(), 200);
}

void TestEditorConfig::invalidColourSetterIgnored()
{
    TestDataFolder env;
    EditorConfig config(settingsPath(env));
    config.setQuPaiColor(QColor());
    QCOMPARE(config.quPaiColor().name(), QStringLiteral("#4078f2"));
}

void TestEditorConfig::gutterMetricsFollowFonts()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    writeFile(path, "[Editor]\nlyricLineNumberFontSize=40\nscoreLineNumberFontSize=8\n");

    EditorConfig config(path);
    const auto matches = [&config] {
        return config.lyricLineNumberMetrics().height()
                   == QFontMetrics(config.lyricLineNumberFont()).height()
            && config.scoreLineNumberMetrics().height()
                   == QFontMetrics(config.scoreLineNumberFont()).height()
            && config.lyricLineNumberMetrics().horizontalAdvance(QStringLiteral("8888"))
                   == QFontMetrics(config.lyricLineNumberFont()).horizontalAdvance(QStringLiteral("8888"));
    };
    QVERIFY(matches());
    QVERIFY(config.lyricLineNumberMetrics().height() > config.scoreLineNumberMetrics().height());

    const int tall = config.lyricLineNumberMetrics().height();
    config.setLyricLineNumberFontSize(8);
    QVERIFY(matches());
    QVERIFY(config.lyricLineNumberMetrics().height() < tall);

    config.setScoreLineNumberFontSize(40);
    QVERIFY(matches());
    QCOMPARE(config.scoreLineNumberMetrics().height(), tall);

    config.setScoreLineNumberFont(QFont(QStringLiteral("Monospace")));
    QVERIFY(matches());

    config.restoreDefaults();
    QVERIFY(matches());
}

void TestEditorConfig::privateInstanceSavesOnDestruction()
{
    TestDataFolder env;
    const QString path = settingsPath(env);
    {
        EditorConfig config(path);
        config.setErrorColor(QColor("#0a0b0c"));
        QVERIFY(!QFile::exists(path));
    }
    QMap<QString, QString> expected = defaults();
    expected["errorColor"] = "#0a0b0c";
    QCOMPARE(editorSection(path), expected);
}

void TestEditorConfig::sharedInstanceSavesAtExit_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("event loop quits") << "quit";
    QTest::newRow("no event loop") << "return";
}

// A program that uses the shared instance and ends writes a complete
// section, including changes never saved, and exits cleanly.
void TestEditorConfig::sharedInstanceSavesAtExit()
{
    QFETCH(QString, mode);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    runExitChild(mode, dir.path());
    if (QTest::currentTestFailed())
        return;

    QMap<QString, QString> expected = defaults();
    expected["errorColor"] = "#0a0b0c";
    QCOMPARE(editorSection(QDir(dir.path()).filePath("settings.ini")), expected);
}

// The child side of sharedInstanceSavesAtExit. The file must be complete as
// soon as the application object is gone: anything later would run after
// the font system has been torn down.
static int exitChild(int argc, char **argv)
{
    const bool quitLoop = QString::fromLocal8Bit(argv[2]) == QLatin1String("quit");
    QString path;
    {
        QGuiApplication app(argc, argv);
        initCoreTestApplication();
        EditorConfig *config = EditorConfig::instance();
        if (!config || EditorConfig::instance() != config)
            return 3;
        path = DataPaths::settingsFile();
        if (config->settingsPath() != path)
            return 4;
        config->setErrorColor(QColor("#0a0b0c"));
        if (quitLoop) {
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
            if (app.exec() != 0)
                return 5;
        }
    }
    const auto section = editorSection(path);
    if (section.size() != 24 || section.value("errorColor") != QLatin1String("#0a0b0c"))
        return 6;
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--exit-child") == 0)
        return exitChild(argc, argv);
    QGuiApplication app(argc, argv);
    TestEditorConfig test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_editorconfig.moc"
