// SPDX-License-Identifier: GPL-3.0-or-later
// The printed page read as a copyist checks it, over the page model: no
// glyph of one character (or heading, title, spoken cell) touches another's,
// no notation runs more than a quarter line past the top of the next
// character of its column, nothing leaves the page. On the bundled sample
// and on dense generated arias, in both styles and at the usual angles.

#include "support/CoreTestSupport.h"
#include "support/InkCheck.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"
#include "render/ExportConfig.h"
#include "render/ExportStyles.h"
#include "render/GenerateSVG.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

class TestInkCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noCollisions_data();
    void noCollisions();
    void sampleNotationKeepsItsPlace();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FontRegistry> m_registry;
};

void TestInkCheck::initTestCase()
{
    initCoreTestApplication();
    installPlatformFontSubstitutions();
    m_registry = std::make_unique<FontRegistry>(m_dir.path(), FontRegistry::embeddedFontPath());
}

void TestInkCheck::noCollisions_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("angle"); // 1: the style's own
    for (const QString document : {"sample", "aria 1", "aria 2"}) {
        QTest::addRow("%s upright", qPrintable(document)) << document << QStringLiteral("upright") << 1;
        for (int angle : {-60, -45, -30, 0})
            QTest::addRow("%s slanted %d", qPrintable(document), angle) << document << QStringLiteral("slanted") << angle;
    }
}

void TestInkCheck::noCollisions()
{
    QFETCH(QString, document);
    QFETCH(QString, style);
    QFETCH(int, angle);
    const std::unique_ptr<ExportConfig> config = ExportConfig::inMemory(m_dir.filePath(QStringLiteral("none.ini")));
    QVERIFY(ExportStyles::apply(*config, style));
    if (angle != 1)
        config->setScoreAngle(angle);
    const LayoutItems items = document == QLatin1String("sample") ? InkCheck::bundledSample()
        : InkCheck::denseAria(document == QLatin1String("aria 1") ? 1 : 2);
    QVERIFY(!items.isEmpty());
    GenerateSVG gen(config.get());
    gen.generate(items, false);
    const QStringList faults = InkCheck::faults(gen.pageItems(), gen.pageSize(),
                                                GenerateSVG::lineHeight(config->lyricFontMetrics()));
    for (const QString &fault : faults.mid(0, 10))
        qWarning("%s", qPrintable(fault));
    QCOMPARE(faults.size(), 0);
}

// Every notation glyph of the bundled sample where it stands relative to its
// character's cell (the page and the spacing may move the character, never
// its notes away from it), against the golden file. In the notation font
// alone, so that no machine's fonts change the figures. KELVO_UPDATE_GOLDEN=1
// writes the file anew.
void TestInkCheck::sampleNotationKeepsItsPlace()
{
    const std::unique_ptr<ExportConfig> config = ExportConfig::inMemory(m_dir.filePath(QStringLiteral("none.ini")));
    const QFont font(m_registry->defaultFamily());
    for (auto set : {&ExportConfig::setTitleFont, &ExportConfig::setLyricFont, &ExportConfig::setScoreFont,
                     &ExportConfig::setQuPaiFont, &ExportConfig::setDiaoMingFont, &ExportConfig::setLianBaiFont,
                     &ExportConfig::setJiaBaiFont})
        (config.get()->*set)(font);
    GenerateSVG gen(config.get());
    gen.generate(InkCheck::bundledSample(), false);
    QStringList lines{QStringLiteral("pages %1").arg(gen.pageCount())};
    for (const PageItems &items : gen.pageItems()) {
        std::map<std::pair<int, int>, QPointF> cells;
        for (const PlacedItem &item : items)
            if (item.role == PlacedItem::Lyric && item.flags == Qt::AlignCenter)
                cells[{item.line, item.character}] = item.origin + item.cell.topLeft();
        for (const PlacedItem &item : items) {
            if (!item.isNotation())
                continue;
            QTransform frame;
            frame.translate(item.origin.x(), item.origin.y());
            frame.rotate(item.angle);
            const QPointF at = frame.map(item.cell.center()) - cells[{item.line, item.character}];
            lines << QStringLiteral("%1 %2 %3 %4 %5 %6")
                         .arg(item.line)
                         .arg(item.character)
                         .arg(uint(item.text.toUcs4().value(0)), 0, 16)
                         .arg(at.x(), 0, 'f', 2)
                         .arg(at.y(), 0, 'f', 2)
                         .arg(item.angle);
        }
    }
    const QString path = QStringLiteral(KELVO_RENDER_DATA "/sample-notation.txt");
    if (qEnvironmentVariableIsSet("KELVO_UPDATE_GOLDEN")) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    QFile golden(path);
    QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(path));
    const QStringList expected = QString::fromUtf8(golden.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i], expected[i]);
}

QTEST_MAIN(TestInkCheck)
#include "test_inkcheck.moc"
