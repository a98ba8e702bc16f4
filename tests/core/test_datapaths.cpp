// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DataPaths.h"
#include "support/CoreTestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

class TestDataPaths : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initCoreTestApplication();
        QStandardPaths::setTestModeEnabled(true);
    }

    void overrideRedirectsEveryPath()
    {
        TestDataFolder env;
        const QDir dir(env.dataDir());
        QCOMPARE(DataPaths::dataDir(), dir.absolutePath());
        QCOMPARE(DataPaths::settingsFile(), dir.filePath("settings.ini"));
        QCOMPARE(DataPaths::dictionaryFile(), dir.filePath("wordsdict.csv"));
        QCOMPARE(DataPaths::fontsDir(), dir.filePath("fonts"));
        QCOMPARE(DataPaths::cacheDir(), dir.filePath("cache"));
    }

    void missingOverrideFolderIsCreated()
    {
        QTemporaryDir tmp;
        const QString nested = tmp.filePath(QStringLiteral("a/b/数据"));
        DataPaths::setOverride(nested);
        QCOMPARE(DataPaths::dataDir(), QDir(nested).absolutePath());
        QVERIFY(QFileInfo(nested).isDir());
        DataPaths::setOverride(QString());
    }

    void writableExecutableFolderIsUsed()
    {
        QTemporaryDir exeDir;
        QCOMPARE(DataPaths::chooseFor(exeDir.path()), QDir(exeDir.path()).absolutePath());
        // The write probe leaves nothing behind.
        QCOMPARE(QDir(exeDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void readOnlyExecutableFolderFallsBackToUserData()
    {
        if (geteuid() == 0)
            QSKIP("root can write into read-only folders");
        QTemporaryDir exeDir;
        QFile::setPermissions(exeDir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const QString chosen = DataPaths::chooseFor(exeDir.path());
        QFile::setPermissions(exeDir.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(chosen != QDir(exeDir.path()).absolutePath());
        QCOMPARE(chosen, QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    }

    void installedProgramUsesUserData()
    {
        QTemporaryDir prefix;
        QDir(prefix.path()).mkpath(QStringLiteral("bin"));
        QDir(prefix.path()).mkpath(QStringLiteral("share/applications"));
        QFile desktop(prefix.filePath(QStringLiteral("share/applications/kelvo-gongche.desktop")));
        QVERIFY(desktop.open(QIODevice::WriteOnly));
        desktop.close();
        const QString chosen = DataPaths::chooseFor(prefix.filePath(QStringLiteral("bin")));
        QCOMPARE(chosen, QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    }

    void missingExecutableFolderFallsBackToUserData()
    {
        const QString chosen = DataPaths::chooseFor(QStringLiteral("/nonexistent/kelvo/bin"));
        QCOMPARE(chosen, QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    }
};

QTEST_MAIN(TestDataPaths)
#include "test_datapaths.moc"
