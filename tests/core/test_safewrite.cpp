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

#include <cerrno>
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

    // A failed write names its cause as the system gave it: a full disk
    // (/dev/full, or the error injected where only a real full disk would
    // do), a folder without write permission, a folder removed. What was
    // there stays.
    void causes_data()
    {
        QTest::addColumn<QString>("writer"); // whole, user, new, settings
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("cause");
        const int full = int(SafeWrite::Cause::DiskFull);
        const int denied = int(SafeWrite::Cause::NoPermission);
        const int gone = int(SafeWrite::Cause::FolderGone);
        QTest::newRow("whole, /dev/full") << "whole" << "/dev/full" << full;
        QTest::newRow("user file, /dev/full") << "user" << "/dev/full" << full;
        QTest::newRow("new, full") << "new" << "injected" << full;
        QTest::newRow("settings, full") << "settings" << "injected" << full;
        // QSettings makes a missing folder itself.
        for (const QString writer : {"whole", "user", "new", "settings"}) {
            QTest::newRow(qPrintable(writer + ", no permission")) << writer << "denied" << denied;
            if (writer != QLatin1String("settings"))
                QTest::newRow(qPrintable(writer + ", folder removed")) << writer << "removed" << gone;
        }
    }
    void causes()
    {
        QFETCH(QString, writer);
        QFETCH(QString, fault);
        QFETCH(int, cause);
        if (fault == QLatin1String("/dev/full") && !QFileInfo(fault).exists())
            QSKIP("no /dev/full");
        QTemporaryDir dir;
        QVERIFY(AsUnprivileged::reachable(dir.path()));
        const QString folder = dir.filePath(QStringLiteral("f"));
        QVERIFY(QDir().mkdir(folder));
        QString path = folder + QStringLiteral("/a.ini");
        {
            QSettings old(path, QSettings::IniFormat);
            old.setValue(QStringLiteral("a"), 1);
        }
        // Writable for nobody, unless permissions are what is tested (a
        // writable file would be written in place by the user-file rule).
        QVERIFY(QFile::setPermissions(path, fault == QLatin1String("denied")
                                                ? QFile::ReadOwner | QFile::ReadOther
                                                : QFile::ReadOwner | QFile::WriteOwner
                                                      | QFile::ReadOther | QFile::WriteOther));
        if (fault == QLatin1String("/dev/full"))
            path = fault;
        else if (fault == QLatin1String("removed"))
            path = folder + QStringLiteral("/gone/a.ini");
        const QFile::Permissions readable = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther
                                            | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(folder, fault == QLatin1String("denied")
                                                  ? readable
                                                  : readable | QFile::WriteOwner | QFile::WriteOther));
        if (fault == QLatin1String("injected"))
            SafeWrite::injectErrorForTests(ENOSPC);
        const QMap<QString, QByteArray> before = snapshot(dir.path());
        SafeWrite::Failure why;
        bool written = false;
        {
            AsUnprivileged unprivileged;
            const QString target = writer == QLatin1String("new") && fault != QLatin1String("removed")
                                       ? folder + QStringLiteral("/b.ini") : path;
            if (writer == QLatin1String("settings")) {
                QSettings settings(target, QSettings::IniFormat);
                settings.setValue(QStringLiteral("a"), 2);
                written = SafeWrite::syncSettings(settings, &why);
            } else if (writer == QLatin1String("new")) {
                written = SafeWrite::writeNew(target, "b=2\n", {}, &why);
            } else {
                written = SafeWrite::writeWhole(target, "a=2\n",
                                                writer == QLatin1String("user") ? SafeWrite::userFile()
                                                                                : SafeWrite::Options(),
                                                &why);
            }
        }
        SafeWrite::injectErrorForTests(0);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!written);
        QCOMPARE(int(why.cause), cause);
        QVERIFY(!why.reason().isEmpty());
        QCOMPARE(snapshot(dir.path()), before);
        // A device is written into, never replaced.
        QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
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
