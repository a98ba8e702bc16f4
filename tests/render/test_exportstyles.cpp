// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in page styles: each puts its values in use and nothing else,
// in memory only; a scheme goes over a style, saving a scheme keeps it.

#include "render/ExportConfig.h"
#include "render/ExportStyles.h"
#include "support/CoreTestSupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Every value in use, typed, through a scheme of a throwaway copy.
QJsonObject inUse(ExportConfig &config, const QString &schemePath)
{
    config.saveScheme(schemePath);
    return QJsonDocument::fromJson(fileBytes(schemePath)).object();
}

} // namespace

class TestExportStyles : public QObject
{
    Q_OBJECT

    std::unique_ptr<CoreTestEnvironment> env;
    QString path(const char *name) const { return env->dataDir() + QLatin1Char('/') + QLatin1String(name); }

    // A settings file of the user's own, every key written.
    QString userSettings()
    {
        const QString ini = path("settings.ini");
        ExportConfig c(ini);
        c.setColWidth(120);
        c.setLyricFontSize(40);
        c.setBanColor(QColor(0x12, 0x34, 0x56));
        c.setPageSizeId(8);
        c.save();
        return ini;
    }

private slots:
    void initTestCase() { initCoreTestApplication(); }
    void init() { env = std::make_unique<CoreTestEnvironment>(); }
    void cleanup() { env.reset(); }

    void appliesItsValuesInMemory_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("angle");
        QTest::addColumn<QString>("banColor");
        QTest::newRow("slanted") << "slanted" << -45 << "#ff4c00";
        QTest::newRow("upright") << "upright" << 0 << "#000000";
        QCOMPARE(ExportStyles::all().size(), 2);
    }
    void appliesItsValuesInMemory()
    {
        QFETCH(QString, id);
        QFETCH(int, angle);
        QFETCH(QString, banColor);
        const QString ini = userSettings();
        const QByteArray before = fileBytes(ini);
        {
            ExportConfig config(ini);
            QVERIFY(ExportStyles::apply(config, id));
            QCOMPARE(config.scoreAngle(), angle);
            QCOMPARE(config.banColor().name(), banColor);
            // Fonts and page as the user has them.
            QCOMPARE(config.lyricFontSize(), 40);
            QCOMPARE(config.pageSizeId(), 8);
            config.save(); // what closing the dialog does
            QCOMPARE(fileBytes(ini), before);
        } // and quitting
        QCOMPARE(fileBytes(ini), before);

        // Exactly the table's values, on a copy (saving a scheme keeps them).
        QFile::copy(ini, path("copy.ini"));
        ExportConfig copy(path("copy.ini"));
        ExportStyles::apply(copy, id);
        const QJsonObject values = inUse(copy, path("scheme.json"));
        const ExportStyles::Style *style = ExportStyles::find(id);
        QVERIFY(style);
        for (auto it = style->values.begin(); it != style->values.end(); ++it)
            QCOMPARE(values.value(it.key()).toVariant(), it.value());
        QCOMPARE(ExportConfig(path("copy.ini")).scoreAngle(), angle);
    }

    // A change of the user's after a style is the user's own and is saved;
    // what the style alone set is not.
    void laterChangeIsSaved()
    {
        const QString ini = userSettings();
        ExportConfig config(ini);
        ExportStyles::apply(config, QStringLiteral("upright"));
        config.setColWidth(150);
        config.save();
        const ExportConfig reread(ini);
        QCOMPARE(reread.colWidth(), 150);
        QCOMPARE(reread.scoreAngle(), -45);
        QCOMPARE(reread.banColor(), QColor(0x12, 0x34, 0x56));
    }

    // As on the command line: the style first, a scheme over it.
    void schemeGoesOverStyle_data()
    {
        QTest::addColumn<bool>("inMemory");
        QTest::newRow("file") << false;
        QTest::newRow("in memory") << true;
    }
    void schemeGoesOverStyle()
    {
        QFETCH(bool, inMemory);
        const QString ini = userSettings();
        writeFile(path("tilt.json"), R"({"scoreAngle": -30})");
        std::unique_ptr<ExportConfig> config = inMemory ? ExportConfig::inMemory(ini)
                                                        : std::make_unique<ExportConfig>(ini);
        ExportStyles::apply(*config, QStringLiteral("upright"));
        QVERIFY(config->loadScheme(path("tilt.json")));
        QCOMPARE(config->scoreAngle(), -30);
        QCOMPARE(config->colWidth(), 100);
        QCOMPARE(config->banColor().name(), QStringLiteral("#000000"));
        config->save();
        // An import is saved, as before; the style under it is not.
        const ExportConfig reread(ini);
        QCOMPARE(reread.scoreAngle(), inMemory ? -45 : -30);
        QCOMPARE(reread.colWidth(), 120);
    }

    void unknownStyleChangesNothing()
    {
        ExportConfig config(userSettings());
        QVERIFY(!ExportStyles::apply(config, QStringLiteral("Upright")));
        QVERIFY(!ExportStyles::find(QString()));
        QCOMPARE(config.scoreAngle(), -45);
        QCOMPARE(ExportStyles::idList(), QStringLiteral("slanted, upright"));
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestExportStyles test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_exportstyles.moc"
