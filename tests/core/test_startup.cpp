// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as the program reads it before any window exists, and
// Qt's own texts in Chinese.

#include "core/Startup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QtTest>

using Startup::Mode;

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    // fields: "target|format|dpi|scheme|scores joined by ,"
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("error");
        const auto row = [](const char *tag, const QString &line, Mode mode,
                            const QString &fields, const QString &error = QString()) {
            QTest::newRow(tag) << (QStringList{QStringLiteral("k")}
                                   + line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                               << int(mode) << fields << error;
        };
        row("nothing", "", Mode::Editor, "||||");
        row("a score", "a.gcp", Mode::Editor, "||||a.gcp");
        row("--export", "--export o.pdf a.gcp", Mode::Export, "o.pdf||||a.gcp");
        row("-o", "-o o.pdf a.gcp", Mode::Export, "o.pdf||||a.gcp");
        row("--export=", "--export=o.pdf a.gcp", Mode::Export, "o.pdf||||a.gcp");
        row("-o=", "a.gcp -o=o.pdf", Mode::Export, "o.pdf||||a.gcp");
        row("--dpi", "-o d --dpi 96 a.gcp", Mode::Export, "d||96||a.gcp");
        row("-r", "-o d -r 600 a.gcp", Mode::Export, "d||600||a.gcp");
        row("--dpi=", "-o d --dpi=160 a.gcp", Mode::Export, "d||160||a.gcp");
        row("-r=", "-o d -r=300 a.gcp", Mode::Export, "d||300||a.gcp");
        row("--format", "--format png -o d a.gcp", Mode::Export, "d|png|||a.gcp");
        row("--format=", "--format=svg -o d a.gcp", Mode::Export, "d|svg|||a.gcp");
        row("--scheme", "-o d --scheme s.json a.gcp", Mode::Export, "d|||s.json|a.gcp");
        row("--scheme=", "-o d --scheme=s.json a.gcp", Mode::Export, "d|||s.json|a.gcp");
        row("format alone asks for the export", "--format png a.gcp", Mode::Export, "|png|||a.gcp");
        row("two scores", "-o d a.gcp b.gcp", Mode::Export, "d||||a.gcp,b.gcp");
        row("-h", "-h", Mode::Help, "||||");
        row("--help", "--help", Mode::Help, "||||");
        row("help over the export", "-o d a.gcp --help", Mode::Help, "d||||a.gcp");
        row("-v", "-v", Mode::Version, "||||");
        row("--version", "--version", Mode::Version, "||||");
        row("Qt's own option", "-platform offscreen -style fusion a.gcp", Mode::Editor, "||||a.gcp");
        row("--sample", "--sample", Mode::Editor, "||||");
        row("-- ends the options", "-- --odd.gcp", Mode::Editor, "||||--odd.gcp");
        row("unknown", "--bogus", Mode::Error, "", "unknown option \"--bogus\"");
        row("unknown short", "-x a.gcp", Mode::Error, "", "unknown option \"-x\"");
        row("unknown with a value", "--colour=red a.gcp", Mode::Error, "", "unknown option \"--colour\"");
        row("unknown in the export", "-o d --colour a.gcp", Mode::Error, "", "unknown option \"--colour\"");
        row("file named like an option", "--exported.gcp", Mode::Error, "", "unknown option \"--exported.gcp\"");
        row("value missing", "a.gcp --export", Mode::Error, "", "option --export needs a value");
        row("short value missing", "a.gcp -r", Mode::Error, "", "option -r needs a value");
        row("value to a switch", "--version=2", Mode::Error, "", "option --version takes no value");
    }
    // -style/--style: the page style of an export, Qt's widget style for
    // the editor (which Qt takes from the arguments itself).
    void styleOption_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("style");
        QTest::newRow("export") << "-o d --style upright a.gcp" << int(Mode::Export) << "upright";
        QTest::newRow("export =") << "--style=slanted -o d a.gcp" << int(Mode::Export) << "slanted";
        QTest::newRow("export -style") << "-o d -style upright a.gcp" << int(Mode::Export) << "upright";
        QTest::newRow("editor") << "--style fusion a.gcp" << int(Mode::Editor) << "";
        QTest::newRow("editor -style") << "-style fusion" << int(Mode::Editor) << "";
    }
    void styleOption()
    {
        QFETCH(QString, line);
        QFETCH(int, mode);
        QFETCH(QString, style);
        const Startup::Arguments a =
            Startup::parseArguments(QStringList{QStringLiteral("k")} + line.split(QLatin1Char(' ')));
        QCOMPARE(int(a.mode), mode);
        QCOMPARE(a.style, style);
    }

    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(int, mode);
        QFETCH(QString, fields);
        QFETCH(QString, error);
        const Startup::Arguments a = Startup::parseArguments(args);
        QCOMPARE(int(a.mode), mode);
        QCOMPARE(a.error, error);
        QVERIFY(!a.error.contains(QLatin1Char('\n')));
        if (a.mode == Mode::Error)
            return;
        QCOMPARE(QStringList({a.target, a.format, a.dpi, a.scheme, a.scores.join(QLatin1Char(','))})
                     .join(QLatin1Char('|')),
                 fields);
        QCOMPARE(a.platformGiven, args.contains(QStringLiteral("-platform")));
        QCOMPARE(a.sample, args.contains(QStringLiteral("--sample")));
    }

    // What the export leaves out of the arguments it gives Qt: the
    // platform and its value, never a value of another option.
    void platformOption_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QList<int>>("positions");
        QTest::newRow("-platform") << "-o x.pdf -platform xcb a.gcp" << QList<int>{3, 4};
        QTest::newRow("--platform=") << "--platform=xcb -o x.pdf a.gcp" << QList<int>{1};
        QTest::newRow("a target named -platform") << "-o -platform a.gcp" << QList<int>();
        QTest::newRow("after --") << "-o x.pdf -- -platform" << QList<int>();
        QTest::newRow("none") << "-o x.pdf -style fusion a.gcp" << QList<int>();
    }
    void platformOption()
    {
        QFETCH(QString, line);
        QFETCH(QList<int>, positions);
        QCOMPARE(Startup::platformOptionPositions(QStringList{QStringLiteral("k")}
                                                  + line.split(u' ', Qt::SkipEmptyParts)),
                 positions);
    }

    // The options of the music formats; any of them asks for the export.
    void musicOptions_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("fields"); // "tempo|transpose|rhythm|no-ornaments" or the error
        QTest::newRow("tempo") << "--tempo 90 a.gcp" << int(Mode::Export) << "90|||0";
        QTest::newRow("tempo=") << "--tempo=72.5 a.gcp" << int(Mode::Export) << "72.5|||0";
        QTest::newRow("negative transposition") << "--transpose -5 a.gcp" << int(Mode::Export) << "|-5||0";
        QTest::newRow("transpose=") << "-o x.mid --transpose=3 a.gcp" << int(Mode::Export) << "|3||0";
        QTest::newRow("no ornaments") << "--no-ornaments a.gcp" << int(Mode::Export) << "|||1";
        QTest::newRow("rhythm") << "--rhythm proportional a.gcp" << int(Mode::Export) << "||proportional|0";
        QTest::newRow("rhythm without value") << "a.gcp --rhythm" << int(Mode::Error) << "option --rhythm needs a value";
        QTest::newRow("tempo without value") << "a.gcp --tempo" << int(Mode::Error) << "option --tempo needs a value";
        QTest::newRow("switch with a value") << "--no-ornaments=1 a.gcp" << int(Mode::Error) << "option --no-ornaments takes no value";
    }
    void musicOptions()
    {
        QFETCH(QString, line);
        QFETCH(int, mode);
        QFETCH(QString, fields);
        const Startup::Arguments a = Startup::parseArguments(
            QStringList{QStringLiteral("k")} + line.split(u' ', Qt::SkipEmptyParts));
        QCOMPARE(int(a.mode), mode);
        QCOMPARE(a.mode == Mode::Error ? a.error
                                       : QStringList({a.tempo, a.transpose, a.rhythm, QString::number(a.noOrnaments)})
                                             .join(u'|'),
                 fields);
        if (a.mode != Mode::Error)
            QCOMPARE(a.scores, QStringList{QStringLiteral("a.gcp")});
    }

    // The editor starts anyway; a score it cannot open is said, not opened.
    void editorScore_data()
    {
        QTest::addColumn<QString>("name"); // under a folder holding a.gcp and sub/
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("problem");
        QTest::newRow("existing") << "a.gcp" << true << "";
        QTest::newRow("missing") << "none.gcp" << false << "does not exist";
        QTest::newRow("folder") << "sub" << false << "is not a score file";
        QTest::newRow("empty argument") << "" << false << "";
    }
    void editorScore()
    {
        QFETCH(QString, name);
        QFETCH(bool, opened);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QFile f(dir.filePath(QStringLiteral("a.gcp")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString path = name.isEmpty() ? QString() : dir.filePath(name);
        const Startup::Arguments a =
            Startup::parseArguments({QStringLiteral("k"), path, QStringLiteral("b.gcp")});
        QCOMPARE(a.mode, Mode::Editor);
        QCOMPARE(a.score, opened ? path : QString());
        QCOMPARE(a.scoreProblem.isEmpty(), problem.isEmpty());
        QVERIFY2(a.scoreProblem.contains(problem), qPrintable(a.scoreProblem));
    }

    void hasDisplay_data()
    {
        QTest::addColumn<QStringList>("environment"); // NAME=value
        QTest::addColumn<QString>("arg");
        QTest::addColumn<bool>("display");
        QTest::newRow("none") << QStringList() << "" << false;
        QTest::newRow("empty DISPLAY") << QStringList{"DISPLAY="} << "" << false;
        QTest::newRow("DISPLAY") << QStringList{"DISPLAY=:0"} << "" << true;
        QTest::newRow("WAYLAND_DISPLAY") << QStringList{"WAYLAND_DISPLAY=wayland-0"} << "" << true;
        QTest::newRow("QT_QPA_PLATFORM") << QStringList{"QT_QPA_PLATFORM=offscreen"} << "" << true;
        QTest::newRow("-platform") << QStringList() << "-platform offscreen" << true;
        QTest::newRow("-platform=, which Qt ignores") << QStringList() << "-platform=offscreen" << false;
    }
    void hasDisplay()
    {
        QFETCH(QStringList, environment);
        QFETCH(QString, arg);
        QFETCH(bool, display);
        QProcessEnvironment env;
        for (const QString &pair : environment)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        const QStringList args =
            QStringList{QStringLiteral("k")} + arg.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(Startup::hasDisplay(Startup::parseArguments(args), env), display);
    }

    // In this order: the catalogue missing leaves Qt in English.
    void qtTexts_data()
    {
        QTest::addColumn<bool>("fromQt");
        QTest::addColumn<QString>("ok");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("catalogue missing") << false << "OK" << "Cancel";
        QTest::newRow("Qt's translations") << true << "确定" << "取消";
    }
    void qtTexts()
    {
        QFETCH(bool, fromQt);
        QFETCH(QString, ok);
        QFETCH(QString, cancel);
        if (fromQt
            && !QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath)
                              + QStringLiteral("/qtbase_zh_CN.qm")))
            QSKIP("qt6-translations-l10n is not installed");
        QTemporaryDir empty;
        QCOMPARE(Startup::installQtTranslations(fromQt ? QString() : empty.path()), fromQt);
        // The texts Qt's standard buttons show.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), ok);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
