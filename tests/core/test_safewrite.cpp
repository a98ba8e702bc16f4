// SPDX-License-Identifier: GPL-3.0-or-later
// Writes that meet a full or read-only disk: every store of the program
// reports the failure and leaves the files as they were, and the check of
// settings files written short by QSettings.

#include "core/DataPaths.h"
#include "core/RecentFiles.h"
#include "core/Reporting.h"
#include "core/SafeWrite.h"
#include "document/AutosaveStore.h"
#include "render/ExportConfig.h"
#include "input/SymbolDictionary.h"
#include "support/CoreTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Every file under dir with its bytes (the filler left out).
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() == QLatin1String(".filler"))
            continue;
        QFile f(path);
        files.insert(path, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<dir>"));
    }
    return files;
}

} // namespace

class TestSafeWrite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initCoreTestApplication(); }

    void stores_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<bool>("readOnly");
        for (const char *store : {"autosave", "scheme", "dictionary", "export settings", "recent files"}) {
            QTest::newRow(QByteArray(store).append(", full").constData())
                << QString::fromLatin1(store) << false;
            // A held autosave lock keeps a file open for writing, which
            // stops the remount.
            if (QLatin1String(store) != QLatin1String("autosave"))
                QTest::newRow(QByteArray(store).append(", read-only").constData())
                    << QString::fromLatin1(store) << true;
        }
    }
    void stores()
    {
        QFETCH(QString, store);
        QFETCH(bool, readOnly);
        SmallFileSystem fs;
        KELVO_REQUIRE_SMALL_FS(fs);
        TestDataFolder env;
        DataPaths::setOverride(fs.path());

        const QString settings = DataPaths::settingsFile();
        std::unique_ptr<AutosaveStore> autosave;
        std::unique_ptr<ExportConfig> config;
        // Writes the store once (with `round` in its content); the result.
        std::function<bool(int)> write;
        if (store == QLatin1String("autosave")) {
            autosave = std::make_unique<AutosaveStore>(DataPaths::autosaveDir());
            write = [&](int round) {
                AutosaveStore::Entry e;
                e.id = QStringLiteral("a");
                return autosave->write(e, QString(100 + round * 3000, QChar(0x4E00)), QString());
            };
        } else if (store == QLatin1String("scheme") || store == QLatin1String("export settings")) {
            config = std::make_unique<ExportConfig>(settings);
            const bool scheme = store == QLatin1String("scheme");
            write = [&, scheme](int round) {
                config->setColWidth(100 + round);
                return scheme ? config->saveScheme(fs.filePath(QStringLiteral("s.json")))
                              : config->save();
            };
        } else if (store == QLatin1String("recent files")) {
            write = [&](int round) {
                RecentFiles::instance()->addFile(
                    fs.filePath(QString(40, QChar(0x4E00 + round)) + QStringLiteral(".gcp")));
                return QSettings(settings, QSettings::IniFormat).status() == QSettings::NoError;
            };
        } else {
            // The first-run copy: with no room it is not made, and the
            // shipped dictionary is read instead.
            write = [&](int round) {
                if (round == 0)
                    return true;
                return SymbolDictionary::resolveDictionaryPath(QStringLiteral("wordsdict.csv"))
                       == DataPaths::dictionaryFile();
            };
        }

        QVERIFY(write(0));
        const QMap<QString, QByteArray> before = snapshot(fs.path());
        QVERIFY(readOnly ? fs.remountReadOnly() : fs.fill());
        if (store != QLatin1String("recent files"))
            QVERIFY(!write(1));
        else
            write(1);
        QCOMPARE(snapshot(fs.path()), before);
        config.reset(); // its destructor saves once more, and must not damage either
        QCOMPARE(snapshot(fs.path()), before);
        DataPaths::setOverride(env.dataDir());
    }

    // The check of what QSettings wrote, on its own output: complete files
    // pass; files cut at any line end or inside a line do not.
    // A settings file that cannot be written is told once per listener
    // (the editor's window), with its absolute path; a failure from before
    // the listener is held for it, and a listener gone hears nothing.
    void settingsNotSavedIsToldOnce_data()
    {
        QTest::addColumn<bool>("parentIsFile"); // else a folder stands in the file's place
        QTest::newRow("folder in its place") << false;
        QTest::newRow("its folder is a file") << true;
    }
    void settingsNotSavedIsToldOnce()
    {
        QFETCH(bool, parentIsFile);
        TestDataFolder env;
        QObject drain; // failures of the cases before this one
        Reporting::setSettingsListener(&drain, [](const QString &) {});
        if (parentIsFile) {
            const QString file = env.dataDir() + QStringLiteral("/data");
            QVERIFY(SafeWrite::writeNew(file, "x"));
            DataPaths::setOverride(file);
        } else {
            QVERIFY(QDir().mkpath(DataPaths::settingsFile()));
        }
        const QString settings = QFileInfo(DataPaths::settingsFile()).absoluteFilePath();
        QStringList heard;
        const auto listen = [&heard](const QString &path) { heard << path; };
        RecentFiles *recent = RecentFiles::instance();

        Reporting::setSettingsListener(nullptr, {});
        recent->addFile(env.dataDir() + QStringLiteral("/a.gcp"));
        {
            QObject session;
            Reporting::setSettingsListener(&session, listen);
            QCOMPARE(heard, QStringList{settings});
            recent->setLastDir(RecentFiles::ScoreKind, env.dataDir());
            QSettings geometry(DataPaths::settingsFile(), QSettings::IniFormat);
            geometry.setValue(QStringLiteral("MainWindow/geometry"), QByteArray("x"));
            QVERIFY(!SafeWrite::syncSettings(geometry));
            QCOMPARE(heard.size(), 1);

            QObject next;
            Reporting::setSettingsListener(&next, listen);
            recent->addFile(env.dataDir() + QStringLiteral("/b.gcp"));
            recent->addFile(env.dataDir() + QStringLiteral("/c.gcp"));
            QCOMPARE(heard, QStringList({settings, settings}));
        }
        recent->addFile(env.dataDir() + QStringLiteral("/d.gcp"));
        QCOMPARE(heard.size(), 2);
    }

    void iniCompleteness()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.ini"));
        {
            QSettings s(path, QSettings::IniFormat);
            s.setValue(QStringLiteral("top"), 1);
            s.setValue(QStringLiteral("Export/a=b"), QStringLiteral("x=y\nz"));
            s.setValue(QStringLiteral("Export/list"), QStringList{QStringLiteral("一"), QStringLiteral("二")});
            s.setValue(QStringLiteral("Window/geometry"), QByteArray("\x01\n\x02=[]", 7));
            s.setValue(QStringLiteral("Editor/font"), QStringLiteral(" 楷体 "));
            s.sync();
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(SafeWrite::iniLooksComplete(bytes, 5));
        QVERIFY(!SafeWrite::iniLooksComplete(QByteArray(), 5));
        for (int cut = 1; cut < bytes.size(); ++cut)
            QVERIFY2(!SafeWrite::iniLooksComplete(bytes.left(cut), 5), QByteArray::number(cut));
    }
};

QTEST_MAIN(TestSafeWrite)
#include "test_safewrite.moc"
