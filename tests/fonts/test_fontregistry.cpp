// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DataPaths.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"
#include "support/CoreTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kDefaultFamily = QStringLiteral("Kelvo工尺谱字体");

QString fixture(const QString &name)
{
    return QDir(QStringLiteral(KELVO_FONT_FIXTURES)).filePath(name);
}

// The list after its first entry, sorted: installed files come in directory
// order, which is not defined.
QStringList installedSorted(const QStringList &families)
{
    QStringList rest = families.mid(1);
    rest.sort();
    return rest;
}

} // namespace

class TestFontRegistry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initCoreTestApplication(); }

    void families_data();
    void families();
    void missingDirectoryIsCreated();
    void unregistrableDefaultFont_data();
    void unregistrableDefaultFont();
    void reloadFollowsTheDirectory();
    void changedFileIsRegisteredAgain();
    void reloadAfterAnotherFontWasRemoved();
    void instanceUsesTheDataFolder();

    void substitutions_data();
    void substitutions();
    void substitutionsAreInstalled();
};

void TestFontRegistry::families_data()
{
    QTest::addColumn<QStringList>("files");     // "fixture>name in fonts", or "garbage>name"
    QTest::addColumn<QStringList>("installed"); // expected after the default, sorted

    QTest::newRow("empty") << QStringList() << QStringList();
    QTest::newRow("one font") << QStringList{"kelvo_test_one.ttf>one.ttf"}
                              << QStringList{"KelvoTestOne"};
    QTest::newRow("two fonts")
        << QStringList{"kelvo_test_one.ttf>one.ttf", "kelvo_test_two.ttf>two.ttf"}
        << QStringList{"KelvoTestOne", "KelvoTestTwo"};
    QTest::newRow("same family twice")
        << QStringList{"kelvo_test_one.ttf>one.ttf", "kelvo_test_one_again.ttf>again.ttf"}
        << QStringList{"KelvoTestOne"};
    QTest::newRow("file declaring the default family")
        << QStringList{"kelvo_default_family.ttf>clash.ttf", "kelvo_test_two.ttf>two.ttf"}
        << QStringList{"KelvoTestTwo"};
    QTest::newRow("only *.ttf files")
        << QStringList{"kelvo_test_one.ttf>one.otf", "kelvo_test_two.ttf>two.ttf.bak",
                       "kelvo_test_one_again.ttf>readme"}
        << QStringList();
    QTest::newRow("unreadable file skipped")
        << QStringList{"garbage>broken.ttf", "kelvo_test_two.ttf>two.ttf"}
        << QStringList{"KelvoTestTwo"};
}

void TestFontRegistry::families()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, installed);

    QTemporaryDir dir;
    const QString fonts = QDir(dir.path()).filePath("fonts");
    QVERIFY(QDir().mkdir(fonts));
    for (const QString &entry : files) {
        const QString source = entry.section('>', 0, 0);
        const QString target = QDir(fonts).filePath(entry.section('>', 1));
        if (source == "garbage") {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a font\n");
        } else {
            QVERIFY(QFile::copy(fixture(source), target));
        }
    }
    // A directory named like a font is not a font.
    QVERIFY(QDir().mkdir(QDir(fonts).filePath("folder.ttf")));

    FontRegistry registry(fonts, FontRegistry::embeddedFontPath());
    QCOMPARE(registry.defaultFamily(), kDefaultFamily);
    const QStringList list = registry.families();
    QVERIFY(!list.isEmpty());
    QCOMPARE(list.first(), kDefaultFamily);
    QCOMPARE(installedSorted(list), installed);

    // Reloading gives the same answer, still without duplicates.
    registry.reload();
    QCOMPARE(registry.families().first(), kDefaultFamily);
    QCOMPARE(installedSorted(registry.families()), installed);
}

void TestFontRegistry::missingDirectoryIsCreated()
{
    QTemporaryDir dir;
    const QString fonts = QDir(dir.path()).filePath("fonts");
    QVERIFY(!QFileInfo::exists(fonts));

    FontRegistry registry(fonts, FontRegistry::embeddedFontPath());
    QVERIFY(QFileInfo(fonts).isDir());
    QCOMPARE(registry.fontsDirectory(), QDir(fonts).absolutePath());
    QCOMPARE(registry.families(), QStringList{kDefaultFamily});

    QVERIFY(QDir(fonts).removeRecursively());
    registry.reload();
    QVERIFY(QFileInfo(fonts).isDir());
    QCOMPARE(registry.families(), QStringList{kDefaultFamily});
}

void TestFontRegistry::unregistrableDefaultFont_data()
{
    QTest::addColumn<bool>("garbage"); // a garbage file instead of a missing one
    QTest::newRow("missing") << false;
    QTest::newRow("not a font") << true;
}

void TestFontRegistry::unregistrableDefaultFont()
{
    QFETCH(bool, garbage);

    QTemporaryDir dir;
    const QString fonts = QDir(dir.path()).filePath("fonts");
    QVERIFY(QDir().mkdir(fonts));
    QVERIFY(QFile::copy(fixture("kelvo_test_one.ttf"), QDir(fonts).filePath("one.ttf")));
    const QString defaultPath = QDir(dir.path()).filePath("default.ttf");
    if (garbage) {
        QFile f(defaultPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(300, 'x'));
    }

    FontRegistry registry(fonts, defaultPath);
    QCOMPARE(registry.defaultFamily(), QString());
    QCOMPARE(registry.families(), (QStringList{QString(), "KelvoTestOne"}));
}

void TestFontRegistry::reloadFollowsTheDirectory()
{
    QTemporaryDir dir;
    const QString fonts = QDir(dir.path()).filePath("fonts");
    FontRegistry registry(fonts, FontRegistry::embeddedFontPath());
    QCOMPARE(registry.families(), QStringList{kDefaultFamily});

    // Copying a file by hand has effect at the next reload.
    QVERIFY(QFile::copy(fixture("kelvo_test_two.ttf"), QDir(fonts).filePath("two.ttf")));
    QCOMPARE(registry.families(), QStringList{kDefaultFamily});
    registry.reload();
    QCOMPARE(registry.families(), (QStringList{kDefaultFamily, "KelvoTestTwo"}));

    QVERIFY(QFile::remove(QDir(fonts).filePath("two.ttf")));
    registry.reload();
    QCOMPARE(registry.families(), QStringList{kDefaultFamily});
}

void TestFontRegistry::changedFileIsRegisteredAgain()
{
    // Registrations are reused per file; a file replaced under the same name
    // (here even with the same size) must not answer with the old families.
    QTemporaryDir dir;
    const QString fonts = QDir(dir.path()).filePath("fonts");
    QVERIFY(QDir().mkdir(fonts));
    const QString path = QDir(fonts).filePath("font.ttf");
    QVERIFY(QFile::copy(fixture("kelvo_test_one.ttf"), path));

    FontRegistry registry(fonts, FontRegistry::embeddedFontPath());
    QCOMPARE(registry.families(), (QStringList{kDefaultFamily, "KelvoTestOne"}));

    QFile source(fixture("kelvo_test_two.ttf"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray data = source.readAll();
    QFile target(path);
    QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(target.write(data), data.size());
    QVERIFY(target.flush()); // a later flush would set the time again
    QVERIFY(target.setFileTime(QDateTime::currentDateTime().addSecs(60),
                               QFileDevice::FileModificationTime));
    target.close();

    registry.reload();
    QCOMPARE(registry.families(), (QStringList{kDefaultFamily, "KelvoTestTwo"}));
}

void TestFontRegistry::reloadAfterAnotherFontWasRemoved()
{
    // Removing any application font makes the font database forget the
    // families of all registrations until it is populated again; reused
    // registrations must still answer with their families.
    QTemporaryDir dir;
    const QString fonts = QDir(dir.path()).filePath("fonts");
    QVERIFY(QDir().mkdir(fonts));
    QVERIFY(QFile::copy(fixture("kelvo_test_one.ttf"), QDir(fonts).filePath("one.ttf")));
    FontRegistry registry(fonts, FontRegistry::embeddedFontPath());

    const int other = QFontDatabase::addApplicationFont(fixture("kelvo_test_two.ttf"));
    QVERIFY(other >= 0);
    QVERIFY(QFontDatabase::removeApplicationFont(other));

    registry.reload();
    QCOMPARE(registry.defaultFamily(), kDefaultFamily);
    QCOMPARE(registry.families(), (QStringList{kDefaultFamily, "KelvoTestOne"}));
}

void TestFontRegistry::instanceUsesTheDataFolder()
{
    TestDataFolder env;
    FontRegistry &registry = FontRegistry::instance();
    QCOMPARE(&FontRegistry::instance(), &registry);
    QCOMPARE(registry.fontsDirectory(), QDir(DataPaths::fontsDir()).absolutePath());
    QVERIFY(QFileInfo(registry.fontsDirectory()).isDir());
    QCOMPARE(registry.defaultFamily(), kDefaultFamily);
    QCOMPARE(registry.families().first(), kDefaultFamily);
}

void TestFontRegistry::substitutions_data()
{
    QTest::addColumn<QStringList>("available");
    QTest::addColumn<QStringList>("expected"); // "family=first|second"

    const QStringList windows = {"楷体", "黑体", "宋体", "SimSun", "Arial"};
    QTest::newRow("windows families present") << windows << QStringList();

    QTest::newRow("no replacements installed")
        << QStringList{"DejaVu Sans", "Liberation Serif"} << QStringList();

    QTest::newRow("typical linux, preference order not listing order")
        << QStringList{"DejaVu Sans", "AR PL UMing TW", "AR PL UKai TW", "AR PL UKai CN",
                       "Noto Serif CJK SC", "WenQuanYi Micro Hei", "Noto Sans CJK SC",
                       "Noto Sans CJK JP", "Noto Serif CJK JP"}
        << QStringList{"楷体=AR PL UKai CN|AR PL UKai TW",
                       "黑体=Noto Sans CJK SC|WenQuanYi Micro Hei",
                       "宋体=Noto Serif CJK SC|AR PL UMing TW",
                       "SimSun=Noto Serif CJK SC|AR PL UMing TW"};

    QTest::newRow("macos style names")
        << QStringList{"STKaiti", "Kaiti SC", "Source Han Sans SC", "Helvetica"}
        << QStringList{"楷体=STKaiti|Kaiti SC", "黑体=Source Han Sans SC"};

    QTest::newRow("only SimSun present")
        << QStringList{"SimSun", "AR PL SungtiL GB", "Droid Sans Fallback"}
        << QStringList{"黑体=Droid Sans Fallback", "宋体=AR PL SungtiL GB"};

    QTest::newRow("case and foundry suffix ignored")
        << QStringList{"simsun", "kaiti", "noto serif cjk sc [GOOG]", "HEITI"}
        << QStringList{"楷体=KaiTi", "宋体=Noto Serif CJK SC"};

    QTest::newRow("name inside another name is no match")
        << QStringList{"AR PL UKai CN MBE", "Noto Sans CJK SC Black"} << QStringList();
}

void TestFontRegistry::substitutions()
{
    QFETCH(QStringList, available);
    QFETCH(QStringList, expected);

    QStringList actual;
    for (const auto &entry : platformFontSubstitutions(available))
        actual << entry.first + '=' + entry.second.join('|');
    QCOMPARE(actual, expected);
}

void TestFontRegistry::substitutionsAreInstalled()
{
    const auto table = platformFontSubstitutions(QFontDatabase::families());
    if (table.isEmpty())
        QSKIP("no replacement families installed here");
    installPlatformFontSubstitutions();
    for (const auto &entry : table) {
        // The Windows name now resolves to the first installed replacement.
        const QString resolved = QFontInfo(QFont(entry.first)).family();
        QVERIFY2(resolved.compare(entry.second.first(), Qt::CaseInsensitive) == 0,
                 qPrintable(entry.first + " -> " + resolved));
    }
}

QTEST_MAIN(TestFontRegistry)
#include "test_fontregistry.moc"
