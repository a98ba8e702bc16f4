// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line export, end to end: the built program run headless with
// a private data folder, on the bundled sample score.

#include "export/CommandLineExport.h"
#include "render/ExportStyles.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include "support/CoreTestSupport.h"
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <unistd.h>

namespace {

// What a pseudo-terminal has received so far.
void readTerminal(int master, QByteArray *bytes)
{
    pollfd ready{master, POLLIN, 0};
    char buffer[4096];
    while (::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes->append(buffer, n);
    }
}

bool haveSoundFont()
{
    return QFileInfo::exists(QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2"))
           || QFileInfo::exists(QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2"));
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
    bool finished = false;
};

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_data;
    QTemporaryDir m_out;
    // Private to the children, so that Qt does not warn about a missing one.
    QTemporaryDir m_runtime;
    QTemporaryDir m_nobodyRuntime;

    QString sample() const { return QStringLiteral(KELVO_SOURCE_DIR "/examples/sample.gcp"); }

    // How the child runs: standard error on a terminal (a pseudo-terminal
    // read here) rather than a pipe; as the unprivileged user nobody when
    // the tests run as root, so that permissions count.
    enum Child { Plain = 0, Terminal = 1, Unprivileged = 2 };

    // platform: QT_QPA_PLATFORM for the child; empty leaves the choice to it.
    Run run(const QStringList &args, const QString &dataDir = QString(),
            const QString &platform = QStringLiteral("offscreen"), int child = Plain)
    {
        const bool terminal = child & Terminal;
        const bool dropRoot = (child & Unprivileged) && ::geteuid() == 0;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        int master = -1;
        int slave = -1;
        if (terminal) {
            master = ::posix_openpt(O_RDWR | O_NOCTTY);
            if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0
                || (slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY)) < 0)
                return Run();
            env.insert(QStringLiteral("TERM"), QStringLiteral("xterm"));
        }
        if (dropRoot)
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_nobodyRuntime.path());
        p.setChildProcessModifier([slave, dropRoot] {
            if (slave >= 0)
                ::dup2(slave, STDERR_FILENO);
            if (dropRoot && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(120);
        });
        if (platform.isEmpty())
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        else
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        env.insert(QStringLiteral("KELVO_DATA_DIR"), dataDir.isEmpty() ? m_data.path() : dataDir);
        env.insert(QStringLiteral("KELVO_OFFLINE"), QStringLiteral("1"));
        // An editor that comes up quits again at once.
        env.insert(QStringLiteral("KELVO_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELVO_EXECUTABLE), args);
        Run r;
        QByteArray written;
        // Generous: the sanitizer build under load runs the 10,000-page export for minutes.
        if (terminal) {
            const QDeadlineTimer deadline(300000);
            while (!(r.finished = p.waitForFinished(20)) && !deadline.hasExpired())
                readTerminal(master, &written);
        } else {
            r.finished = p.waitForFinished(300000);
        }
        if (!r.finished)
            p.kill();
        r.exitCode = p.exitCode();
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        if (terminal) {
            readTerminal(master, &written);
            ::close(slave);
            ::close(master);
            r.err = QString::fromLocal8Bit(written);
        }
        return r;
    }

    QString out(const QString &name) const { return m_out.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        QVERIFY(m_out.isValid());
        QVERIFY(QFileInfo(sample()).isFile());
        if (::geteuid() == 0)
            QCOMPARE(::chown(QFile::encodeName(m_nobodyRuntime.path()).constData(), 65534, 65534), 0);
    }

    // A disk without room: exit status 1, the old PDF whole, nothing new.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("pdf") << QStringLiteral("pdf");
        QTest::newRow("svg") << QStringLiteral("svg");
        QTest::newRow("png") << QStringLiteral("png");
    }
    void fullDisk()
    {
        QFETCH(QString, format);
        SmallFileSystem fs(512);
        KELVO_REQUIRE_SMALL_FS(fs);
        const QString pdf = fs.filePath(QStringLiteral("old.pdf"));
        QCOMPARE(run({QStringLiteral("--export"), pdf, sample()}).exitCode, 0);
        QFile old(pdf);
        QVERIFY(old.open(QIODevice::ReadOnly));
        const QByteArray bytes = old.readAll();
        old.close();
        QVERIFY(fs.fill());
        const Run r = run({QStringLiteral("--format"), format,
                           QStringLiteral("--export"),
                           format == QLatin1String("pdf") ? pdf : fs.path(), sample()});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), bytes);
        QCOMPARE(QDir(fs.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("old.pdf")});
    }

    void recognised_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("cli");
        QTest::newRow("no argument") << QStringList{QStringLiteral("k")} << false;
        QTest::newRow("a score") << QStringList{QStringLiteral("k"), QStringLiteral("a.gcp")} << false;
        QTest::newRow("export") << QStringList{QStringLiteral("k"), QStringLiteral("--export"), QStringLiteral("o.pdf"), QStringLiteral("a.gcp")} << true;
        QTest::newRow("export=") << QStringList{QStringLiteral("k"), QStringLiteral("--export=o.pdf"), QStringLiteral("a.gcp")} << true;
        QTest::newRow("help") << QStringList{QStringLiteral("k"), QStringLiteral("--help")} << true;
        QTest::newRow("format alone") << QStringList{QStringLiteral("k"), QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("a.gcp")} << true;
        QTest::newRow("midi") << QStringList{QStringLiteral("k"), QStringLiteral("--format"), QStringLiteral("midi"), QStringLiteral("a.gcp")} << true;
        QTest::newRow("tempo alone") << QStringList{QStringLiteral("k"), QStringLiteral("--tempo"), QStringLiteral("90"), QStringLiteral("a.gcp")} << true;
        QTest::newRow("file named like an option value") << QStringList{QStringLiteral("k"), QStringLiteral("--exported.gcp")} << false;
    }
    void recognised()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, cli);
        // The export or its help, rather than the editor.
        const Startup::Mode mode = Startup::parseArguments(args).mode;
        QCOMPARE(mode == Startup::Mode::Export || mode == Startup::Mode::Help, cli);
    }

    void help()
    {
        const Run r = run({QStringLiteral("--help")});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("--export")));
        QVERIFY(r.out.contains(QStringLiteral("--scheme")));
        QVERIFY(r.out.contains(QStringLiteral("96|160|300|600")));
        for (const char *option : {"-o, --export", "-r, --dpi", "-v, --version", "-h, --help", "--style <style>"})
            QVERIFY2(r.out.contains(QLatin1String(option)), option);
        for (const ExportStyles::Style &style : ExportStyles::all())
            QVERIFY2(r.out.contains(style.id), qPrintable(style.id));
    }

    // Answers given before any window or export: exact output, one line
    // for a fault, the documented exit status.
    void beforeTheApplication_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("platform"); // empty: none set
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");      // expected exactly; "*": not checked
        QTest::addColumn<QString>("err");      // expected line; "~text": contains text
        const QString missing = QStringLiteral("@OUT@/missing.gcp");
        const QString offscreen = QStringLiteral("offscreen");
        QTest::newRow("-v") << QStringList{"-v"} << offscreen << 0 << "kelvo-gongche 2.1\n" << "";
        QTest::newRow("--version") << QStringList{"--version"} << QString() << 0 << "kelvo-gongche 2.1\n" << "";
        QTest::newRow("-h") << QStringList{"-h"} << QString() << 0 << "*" << "";
        QTest::newRow("unknown, editor") << QStringList{"--bogus"} << offscreen << 2 << ""
            << "kelvo-gongche: unknown option \"--bogus\" (see --help)\n";
        QTest::newRow("unknown, export") << QStringList{"-o", "@OUT@/u.pdf", "--bogus", "@SAMPLE@"} << QString() << 2 << ""
            << "kelvo-gongche: unknown option \"--bogus\" (see --help)\n";
        QTest::newRow("no display") << QStringList() << QString() << 1 << ""
            << "kelvo-gongche: no display: set DISPLAY, or use --export\n";
        QTest::newRow("no display, a score") << QStringList{"@SAMPLE@"} << QString() << 1 << ""
            << "kelvo-gongche: no display: set DISPLAY, or use --export\n";
        // The export runs offscreen, whatever platform it is given; the
        // command line is checked first.
        QTest::newRow("-platform nonexistent, a usage error")
            << QStringList{"-o", "@OUT@/u.pdf", "-platform", "nonexistent", "--format", "midi", "--tempo", "999", "@SAMPLE@"}
            << QStringLiteral("nonexistent") << 2 << ""
            << "kelvo-gongche: tempo \"999\" is not usable (beats per minute above 0, at most 400)\n";
        QTest::newRow("-platform nonexistent") << QStringList{"-o", "@OUT@/p.pdf", "-platform", "nonexistent", "@SAMPLE@"}
            << QString() << 0 << "" << "exported 3 page(s) to @OUT@/p.pdf\n";
        QTest::newRow("-platform xcb without a display") << QStringList{"--format", "midi", "-o", "@OUT@/p.mid", "-platform", "xcb", "@SAMPLE@"}
            << QString() << 0 << "" << "exported 161 note(s) in 2 section(s) to @OUT@/p.mid\n";
        QTest::newRow("QT_QPA_PLATFORM nonexistent") << QStringList{"-o", "@OUT@/q.pdf", "@SAMPLE@"}
            << QStringLiteral("nonexistent") << 0 << "" << "exported 3 page(s) to @OUT@/q.pdf\n";
        QTest::newRow("missing score, the editor starts") << QStringList{missing} << offscreen << 0 << "*"
            << "~kelvo-gongche: score file \"@OUT@/missing.gcp\" does not exist\n";
    }
    void beforeTheApplication()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, platform);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        for (QString *text : {&out, &err})
            text->replace(QStringLiteral("@OUT@"), m_out.path());
        for (QString &a : args) {
            a.replace(QStringLiteral("@OUT@"), m_out.path());
            a.replace(QStringLiteral("@SAMPLE@"), sample());
        }
        const Run r = run(args, QString(), platform);
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == exitCode, qPrintable(QString::number(r.exitCode) + QLatin1Char(' ') + r.err));
        if (out != QLatin1String("*"))
            QCOMPARE(r.out, out);
        if (err.startsWith(QLatin1Char('~')))
            QVERIFY2(r.err.contains(err.mid(1)), qPrintable(r.err));
        else
            QCOMPARE(r.err, err);
        if (exitCode == 0 && args.value(0).endsWith(QStringLiteral("/missing.gcp")))
            QVERIFY2(r.out.startsWith(QStringLiteral("shown")), qPrintable(r.out));
        QVERIFY(!QFileInfo::exists(m_out.filePath(QStringLiteral("u.pdf"))));
    }

    void exportPdf()
    {
        const QString target = out(QStringLiteral("pdf/sample.pdf"));
        const Run r = run({QStringLiteral("--export"), target, sample()});
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.err, QStringLiteral("exported 3 page(s) to %1\n").arg(QDir::toNativeSeparators(target)));
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(5), QByteArray("%PDF-"));
        QVERIFY(f.size() > 1000);
    }

    // --notation jianpu: the same score as numbered notation, read with the
    // music options it then takes; pages unlike the gongche ones.
    void exportNumberedNotation()
    {
        const QString gongche = out(QStringLiteral("nn/gongche.pdf"));
        const QString jianpu = out(QStringLiteral("nn/jianpu.pdf"));
        QCOMPARE(run({QStringLiteral("-o"), gongche, sample()}).exitCode, 0);
        const Run r = run({QStringLiteral("-o"), jianpu, QStringLiteral("--notation"),
                           QStringLiteral("jianpu"), QStringLiteral("--rhythm"),
                           QStringLiteral("halving"), QStringLiteral("--tempo"),
                           QStringLiteral("72"), sample()});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(r.err.contains(QStringLiteral("exported ")));
        QFile a(gongche), b(jianpu);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray numbered = b.readAll();
        QVERIFY(numbered.startsWith("%PDF-"));
        QVERIFY(numbered != a.readAll());
    }

    // On a terminal the progress is one line rewritten in place and cleared
    // before the result; a pipe gets the result alone (exportPdf).
    void progressOnTerminal()
    {
        const QString target = out(QStringLiteral("terminal.pdf"));
        const Run r = run({QStringLiteral("-o"), target, sample()}, QString(),
                          QStringLiteral("offscreen"), Terminal);
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QString result = QStringLiteral("\r\033[Kexported 3 page(s) to %1\r\n").arg(target);
        QVERIFY2(r.err.endsWith(result), qPrintable(r.err));
        const QString progress = r.err.chopped(result.size());
        QVERIFY2(progress.contains(QStringLiteral("\r正在导出PDF文件··· 3/3 (100%)\033[K")), qPrintable(progress));
        QVERIFY2(!progress.contains(QLatin1Char('\n')), qPrintable(progress));
    }

    void exportFolders_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("png 96") << QStringLiteral("png") << QStringList{QStringLiteral("--dpi"), QStringLiteral("96")};
        QTest::newRow("jpg") << QStringLiteral("jpg") << QStringList{QStringLiteral("--dpi=96")};
        QTest::newRow("png -r") << QStringLiteral("png") << QStringList{QStringLiteral("-r"), QStringLiteral("96")};
        QTest::newRow("svg") << QStringLiteral("svg") << QStringList();
    }
    void exportFolders()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, extra);
        const QString target = out(QStringLiteral("dir_") + QString::fromLatin1(QTest::currentDataTag()));
        const Run r = run(QStringList{QStringLiteral("--export"), target, QStringLiteral("--format"), format}
                          + extra + QStringList{sample()});
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList folders = QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), 1);
        QVERIFY(folders.first().endsWith(QLatin1Char('_') + format));
        QVERIFY2(r.err.contains(folders.first()), qPrintable(r.err));
        const QDir folder(QDir(target).filePath(folders.first()));
        const QStringList pages = folder.entryList({QStringLiteral("*.") + format}, QDir::Files);
        QVERIFY(!pages.isEmpty());
        if (format == QLatin1String("png")) {
            QImage image(folder.filePath(pages.first()));
            QCOMPARE(image.size(), QSize(793, 1123));
        }
        if (format == QLatin1String("svg")) {
            QVERIFY(folder.exists(QStringLiteral("说明文件.txt")));
            QCOMPARE(folder.entryList({QStringLiteral("*.ttf")}, QDir::Files).size(), 1);
        }
    }

    // A scheme applies to this export only; the saved settings stay as they were.
    void schemeLeavesSettingsAlone()
    {
        const QString scheme = out(QStringLiteral("landscape.json"));
        QFile f(scheme);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"isLandscape\": true, \"colWidth\": 150}");
        f.close();
        const QString settings = m_data.filePath(QStringLiteral("settings.ini"));
        const QByteArray before = QFile::exists(settings) ? [&] {
            QFile s(settings);
            s.open(QIODevice::ReadOnly);
            return s.readAll();
        }() : QByteArray();

        const QString target = out(QStringLiteral("scheme"));
        const Run r = run({QStringLiteral("--export"), target, QStringLiteral("--format"), QStringLiteral("png"),
                           QStringLiteral("--dpi"), QStringLiteral("96"), QStringLiteral("--scheme"), scheme, sample()});
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList folders = QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), 1);
        const QDir folder(QDir(target).filePath(folders.first()));
        const QImage image(folder.filePath(folder.entryList({QStringLiteral("*.png")}).value(0)));
        QCOMPARE(image.size(), QSize(1123, 793));

        QFile s(settings);
        const QByteArray after = s.open(QIODevice::ReadOnly) ? s.readAll() : QByteArray();
        QVERIFY(!after.contains("colWidth=150"));
        QVERIFY(!after.contains("isLandscape=true"));
        if (!before.isEmpty())
            QCOMPARE(after, before);
    }

    // Each style gives pages of its own; with a scheme, the scheme wins
    // where both set a key.
    void stylesDiffer()
    {
        QMap<QString, QByteArray> pages;
        for (const QString style : {"upright", "slanted", "upright+scheme"}) {
            const QString target = out(QStringLiteral("style_") + style);
            QStringList args{QStringLiteral("-o"), target, QStringLiteral("--format"), QStringLiteral("svg"),
                             QStringLiteral("--style"), style.section(QLatin1Char('+'), 0, 0)};
            if (style.endsWith(QLatin1String("scheme"))) {
                QFile f(out(QStringLiteral("slant.json")));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(R"({"scoreAngle": -45})");
                f.close();
                args << QStringLiteral("--scheme") << f.fileName();
            }
            const Run r = run(args + QStringList{sample()});
            QVERIFY(r.finished);
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            const QDir folder(target + QLatin1Char('/') + QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0));
            QFile page(folder.filePath(folder.entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name).value(0)));
            QVERIFY(page.open(QIODevice::ReadOnly));
            pages.insert(style, page.readAll());
        }
        QVERIFY(pages.value(QStringLiteral("upright")).contains("<svg"));
        QVERIFY(pages.value(QStringLiteral("upright")) != pages.value(QStringLiteral("slanted")));
        // The scheme's angle over the style's: neither page.
        QVERIFY(pages.value(QStringLiteral("upright+scheme")) != pages.value(QStringLiteral("upright")));
        QVERIFY(pages.value(QStringLiteral("upright+scheme")) != pages.value(QStringLiteral("slanted")));
    }

    // The saved settings shape the export, a scheme goes over them for this
    // run only, and settings.ini stays byte for byte as it was. No display
    // and no platform given: the program runs offscreen by itself.
    void settingsFileUntouched_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("scheme"); // empty: none
        QTest::addColumn<QSize>("firstPage");   // pixels of the first PNG page
        QTest::addColumn<QString>("style");     // empty: none
        QTest::newRow("pdf") << "pdf" << QByteArray() << QSize() << "";
        QTest::newRow("pdf, scheme") << "pdf" << QByteArray(R"({"colWidth": 150})") << QSize() << "";
        QTest::newRow("png, saved landscape") << "png" << QByteArray() << QSize(1123, 793) << "";
        QTest::newRow("png, scheme portrait")
            << "png" << QByteArray(R"({"isLandscape": false})") << QSize(793, 1123) << "";
        QTest::newRow("pdf, style") << "pdf" << QByteArray() << QSize() << "upright";
        QTest::newRow("png, style and scheme")
            << "png" << QByteArray(R"({"isLandscape": false})") << QSize(793, 1123) << "upright";
    }
    void settingsFileUntouched()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, scheme);
        QFETCH(QSize, firstPage);
        QFETCH(QString, style);
        QTemporaryDir data;
        const QString settings = data.filePath(QStringLiteral("settings.ini"));
        // Spaces, a comment, a partial section: any save would rewrite it.
        const QByteArray saved = "; mine\n[Export]\nisLandscape = true\ncolWidth=120\n\n"
                                 "[Editor]\nfontSize=17\n";
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(saved);
        file.close();
        const QDateTime modified = QFileInfo(settings).lastModified();

        QStringList args{QStringLiteral("--export"), QStringLiteral("--format"), format,
                         QStringLiteral("--dpi"), QStringLiteral("96")};
        const QString target = out(QStringLiteral("untouched_") + QString::fromLatin1(QTest::currentDataTag()));
        args.insert(1, format == QLatin1String("pdf") ? target + QStringLiteral(".pdf") : target);
        if (!scheme.isEmpty()) {
            const QString schemeFile = out(QStringLiteral("scheme_%1.json").arg(QTest::currentDataTag()));
            QFile f(schemeFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(scheme);
            f.close();
            args << QStringLiteral("--scheme") << schemeFile;
        }
        if (!style.isEmpty())
            args << QStringLiteral("--style") << style;
        const Run r = run(args + QStringList{sample()}, data.path(), QString());
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        if (firstPage.isValid()) {
            const QDir folder(target + QStringLiteral("/") + QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0));
            // The folder reported is the one the pages went into.
            QVERIFY2(r.err.contains(QDir::toNativeSeparators(folder.absolutePath())), qPrintable(r.err));
            QCOMPARE(QImage(folder.filePath(folder.entryList({QStringLiteral("*.png")}).value(0))).size(),
                     firstPage);
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), saved);
        QCOMPARE(QFileInfo(settings).lastModified(), modified);
        QCOMPARE(QDir(data.path()).entryList({QStringLiteral("settings*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("settings.ini")});
    }

    // A score longer than the page limit: the pages before the cut are
    // written, but the run must not report success. An upper-case
    // extension is a score file as well.
    void cutAtPageLimit()
    {
        const auto field = [](const QString &text) {
            QByteArray b;
            QDataStream s(&b, QIODevice::WriteOnly);
            s << qint32(text.size()) << text;
            return b;
        };
        QStringList lyric{QStringLiteral("甲")};
        for (int i = 0; i < 10050; ++i)
            lyric << QStringLiteral("@分页符");
        lyric << QStringLiteral("乙");
        const QString score = out(QStringLiteral("long.GCP"));
        QFile f(score);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(field(lyric.join(QLatin1Char('\n'))) + field(QStringLiteral("A\nB\n")));
        f.close();

        const QString target = out(QStringLiteral("long.pdf"));
        const Run r = run({QStringLiteral("--export"), target, score});
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == 1, qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("cut at 10000 pages")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("incomplete")), qPrintable(r.err));
        QFile pdf(target);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
    }

    void errors_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString pdf = QStringLiteral("@OUT@/e.pdf");
        QTest::newRow("missing score") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("@OUT@/nothing.gcp")} << 1 << QStringLiteral("does not exist");
        QTest::newRow("score is a folder") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("@OUT@")} << 1 << QStringLiteral("not a score file");
        QTest::newRow("empty score not named .gcp") << QStringLiteral("empty.txt") << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("@OUT@/empty.txt")} << 1 << QStringLiteral("文件类型错误: 请选择工尺谱文件（.gcp）格式！");
        QTest::newRow("valid score not named .gcp") << QStringLiteral("notgcp.txt") << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("@OUT@/notgcp.txt")} << 1 << QStringLiteral("请选择工尺谱文件（.gcp）格式！");
        QTest::newRow("missing score not named .gcp") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("@OUT@/nothing.txt")} << 1 << QStringLiteral("does not exist");
        QTest::newRow("corrupt score") << QStringLiteral("corrupt") << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("@OUT@/corrupt.gcp")} << 1 << QStringLiteral("not a valid score file");
        QTest::newRow("scheme is an array") << QStringLiteral("array") << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--scheme"), QStringLiteral("@OUT@/array.json"), QStringLiteral("@SAMPLE@")} << 1 << QStringLiteral("JSON object");
        QTest::newRow("scheme is a folder") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--scheme"), QStringLiteral("@OUT@"), QStringLiteral("@SAMPLE@")} << 1 << QStringLiteral("is a folder");
        QTest::newRow("scheme missing") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--scheme"), QStringLiteral("@OUT@/none.json"), QStringLiteral("@SAMPLE@")} << 1 << QStringLiteral("does not exist");
        QTest::newRow("pdf under a regular file") << QStringLiteral("plain") << QStringList{QStringLiteral("--export"), QStringLiteral("@OUT@/plain/x.pdf"), QStringLiteral("@SAMPLE@")} << 1 << QStringLiteral("导出PDF文件失败：所在的文件夹不存在！");
        QTest::newRow("pdf target is a folder") << QString() << QStringList{QStringLiteral("--export"), QStringLiteral("@OUT@"), QStringLiteral("@SAMPLE@")} << 1 << QStringLiteral("is a directory");
        QTest::newRow("png under a regular file") << QStringLiteral("plain") << QStringList{QStringLiteral("--export"), QStringLiteral("@OUT@/plain/dir"), QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("@SAMPLE@")} << 1 << QStringLiteral("cannot create");
        QTest::newRow("unknown format") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--format"), QStringLiteral("tiff"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("unknown format");
        QTest::newRow("unknown dpi") << QString() << QStringList{QStringLiteral("--export"), QStringLiteral("@OUT@/d"), QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("--dpi"), QStringLiteral("72"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("unsupported resolution");
        QTest::newRow("unknown option") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--colour"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("unknown option");
        QTest::newRow("no score") << QString() << QStringList{QStringLiteral("--export"), pdf} << 2 << QStringLiteral("no score file");
        QTest::newRow("unknown style") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--style"), QStringLiteral("fusion"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("kelvo-gongche: unknown style \"fusion\" (slanted, upright)\n");
        QTest::newRow("no target value") << QString() << QStringList{QStringLiteral("@SAMPLE@"), QStringLiteral("--export")} << 2 << QStringLiteral("needs a value");
        const QString mid = QStringLiteral("@OUT@/e.mid");
        const auto music = [&](const char *tag, const QStringList &extra, int code, const char *message) {
            QTest::newRow(tag) << QString() << QStringList{QStringLiteral("--export"), mid, QStringLiteral("--format"), QStringLiteral("midi")} + extra + QStringList{QStringLiteral("@SAMPLE@")} << code << QString::fromUtf8(message);
        };
        music("tempo 0", {QStringLiteral("--tempo"), QStringLiteral("0")}, 2, "tempo \"0\" is not usable");
        music("tempo 401", {QStringLiteral("--tempo=401")}, 2, "tempo \"401\" is not usable");
        music("tempo abc", {QStringLiteral("--tempo"), QStringLiteral("abc")}, 2, "beats per minute above 0, at most 400");
        music("transpose 25", {QStringLiteral("--transpose"), QStringLiteral("25")}, 2, "transpose \"25\" is not usable");
        music("transpose -25", {QStringLiteral("--transpose"), QStringLiteral("-25")}, 2, "from -24 to 24");
        music("transpose 1.5", {QStringLiteral("--transpose=1.5")}, 2, "transpose \"1.5\" is not usable");
        music("rhythm triplets", {QStringLiteral("--rhythm"), QStringLiteral("triplets")}, 2, "rhythm \"triplets\" is not usable (halving or proportional)");
        music("notation with midi", {QStringLiteral("--notation"), QStringLiteral("jianpu")}, 2, "--notation applies to the page formats only (pdf, png, jpg, svg)");
        QTest::newRow("unknown notation") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--notation=staff"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("unknown notation \"staff\" (gongche or jianpu)");
        music("dpi with midi", {QStringLiteral("--dpi"), QStringLiteral("300")}, 2, "page formats only");
        music("style with midi", {QStringLiteral("--style"), QStringLiteral("upright")}, 2, "page formats only");
        music("midi target a folder", {QStringLiteral("--export"), QStringLiteral("@OUT@")}, 1, "is a directory; give the MIDI file");
        QTest::newRow("tempo with pdf") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--tempo"), QStringLiteral("90"), QStringLiteral("--format"), QStringLiteral("pdf"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("apply to --format midi, musicxml or wav only");
        QTest::newRow("rhythm with pdf") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--rhythm=halving"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("--tempo, --transpose, --rhythm and --no-ornaments apply to --format midi, musicxml or wav only");
        QTest::newRow("no ornaments with png") << QString() << QStringList{QStringLiteral("--export"), QStringLiteral("@OUT@"), QStringLiteral("--no-ornaments"), QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("apply to --format midi, musicxml or wav only");
        QTest::newRow("soundfont with pdf") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("--soundfont"), QStringLiteral("@OUT@/x.sf2"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("--soundfont applies to --format wav only");
        QTest::newRow("no soundfont usable") << QStringLiteral("nosoundfonts") << QStringList{QStringLiteral("--export"), QStringLiteral("@OUT@/e.wav"), QStringLiteral("--format"), QStringLiteral("wav"), QStringLiteral("--soundfont"), QStringLiteral("@OUT@/none.sf2"), QStringLiteral("@SAMPLE@")} << 1 << QStringLiteral("没有可用的音色库，请安装 fluid-soundfont-gm 或 timgm6mb-soundfont。");
        QTest::newRow("wav without notes") << QStringLiteral("nonotes") << QStringList{QStringLiteral("--export"), QStringLiteral("@OUT@/e.wav"), QStringLiteral("--format"), QStringLiteral("wav"), QStringLiteral("@OUT@/nonotes.gcp")} << 1 << QStringLiteral("没有可导出的音符");
        QTest::newRow("score without notes") << QStringLiteral("nonotes") << QStringList{QStringLiteral("--export"), mid, QStringLiteral("--format"), QStringLiteral("mid"), QStringLiteral("@OUT@/nonotes.gcp")} << 1 << QStringLiteral("没有可导出的音符");
        // Each writer tells a full disk as such.
        for (const QString format : {"pdf", "midi", "musicxml", "wav"})
            QTest::newRow(qPrintable(format + " to /dev/full")) << QString() << QStringList{QStringLiteral("-o"), QStringLiteral("/dev/full"), QStringLiteral("--format"), format, QStringLiteral("@SAMPLE@")} << 1 << QStringLiteral("：磁盘空间已满！");
        QTest::newRow("two scores") << QString() << QStringList{QStringLiteral("--export"), pdf, QStringLiteral("@SAMPLE@"), QStringLiteral("@SAMPLE@")} << 2 << QStringLiteral("one score file");
    }
    void errors()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        if (QByteArray(QTest::currentDataTag()) == "wav to /dev/full" && !haveSoundFont())
            QSKIP("no Debian SoundFont installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (setup == QLatin1String("corrupt")) {
            QFile f(dir.filePath(QStringLiteral("corrupt.gcp")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray::fromHex("0000000700000005004100")); // odd byte count
        } else if (setup == QLatin1String("array")) {
            QFile f(dir.filePath(QStringLiteral("array.json")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[{\"colWidth\": 200}]");
        } else if (setup == QLatin1String("empty.txt")) {
            QFile f(dir.filePath(setup));
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (setup == QLatin1String("notgcp.txt")) {
            QVERIFY(QFile::copy(sample(), dir.filePath(setup)));
        } else if (setup == QLatin1String("nonotes")) {
            QFile f(dir.filePath(QStringLiteral("nonotes.gcp")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            QDataStream out(&f);
            for (const QString &field : {QStringLiteral("# 无谱\n甲乙"), QStringLiteral("\n\n")})
                out << qint32(field.size()) << field;
        } else if (setup == QLatin1String("plain")) {
            QFile f(dir.filePath(QStringLiteral("plain")));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        for (QString &a : args) {
            a.replace(QStringLiteral("@OUT@"), dir.path());
            a.replace(QStringLiteral("@SAMPLE@"), sample());
        }
        // The child looks for Debian's SoundFonts in a folder without any.
        if (setup == QLatin1String("nosoundfonts"))
            qputenv("KELVO_SOUNDFONT_DIR", QFile::encodeName(dir.path()));
        const Run r = run(args);
        qunsetenv("KELVO_SOUNDFONT_DIR");
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == exitCode, qPrintable(QString::number(r.exitCode) + QLatin1Char(' ') + r.err));
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("e.pdf"))));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("e.mid"))));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("e.wav"))));
    }

    // One rule for every writer, the score save's: a writable file in a
    // folder that takes no new file is replaced in place; a new file there
    // is refused for want of permission.
    void readOnlyFolder_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("existing");
        for (const QString format : {"pdf", "midi", "musicxml", "wav"}) {
            QTest::newRow(qPrintable(format + ", writable file")) << format << true;
            QTest::newRow(qPrintable(format + ", new file")) << format << false;
        }
    }
    void readOnlyFolder()
    {
        QFETCH(QString, format);
        QFETCH(bool, existing);
        if (format == QLatin1String("wav") && !haveSoundFont())
            QSKIP("no Debian SoundFont installed");
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("ro"));
        const QString data = dir.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkdir(folder) && QDir().mkdir(data));
        // A copy of the sample that nobody can read, wherever the sources are.
        const QString score = dir.filePath(QStringLiteral("sample.gcp"));
        QVERIFY(QFile::copy(sample(), score));
        QVERIFY(QFile::setPermissions(score, QFile::ReadOwner | QFile::ReadOther));
        const QString target = folder + QStringLiteral("/x.") + format;
        if (existing) {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
            old.close();
            QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther));
        }
        const QFile::Permissions open = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(dir.path(), open));
        QVERIFY(QFile::setPermissions(data, open | QFile::WriteOwner | QFile::WriteOther));
        QVERIFY(QFile::setPermissions(folder, open));

        // The build may sit in a folder only its owner can enter (a clone
        // under /root): then nobody cannot start the program at all.
        const Run probe = run({QStringLiteral("--version")}, data, QStringLiteral("offscreen"), Unprivileged);
        if (!probe.finished || probe.exitCode != 0) {
            QFile::setPermissions(dir.path(), open | QFile::WriteOwner);
            QSKIP("the unprivileged user cannot start the program from this build folder");
        }
        const Run r = run({QStringLiteral("-o"), target, QStringLiteral("--format"), format, score}, data,
                          QStringLiteral("offscreen"), Unprivileged);
        QFile::setPermissions(folder, open | QFile::WriteOwner);
        QFile::setPermissions(dir.path(), open | QFile::WriteOwner);
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == (existing ? 0 : 1), qPrintable(r.err));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 existing ? QStringList{QStringLiteral("x.") + format} : QStringList());
        if (existing)
            QVERIFY(QFileInfo(target).size() > 100);
        else
            QVERIFY2(r.err.contains(QStringLiteral("：没有写入权限！")), qPrintable(r.err));
    }

    // The sample as music: a file of the format, the count of what was
    // written on standard error, no pages and no settings touched.
    void exportMusic_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<QString>("warning"); // on standard error; empty: no warning at all
        QTest::newRow("midi") << QStringList{QStringLiteral("--format"), QStringLiteral("midi"), QStringLiteral("--tempo"), QStringLiteral("30"), QStringLiteral("--transpose=-2"), QStringLiteral("--no-ornaments")} << QByteArray("MThd") << QString();
        QTest::newRow("musicxml") << QStringList{QStringLiteral("--format"), QStringLiteral("xml")} << QByteArray("<?xml") << QString();
        QTest::newRow("xml") << QStringList{QStringLiteral("--format"), QStringLiteral("musicxml"), QStringLiteral("--rhythm"), QStringLiteral("proportional")} << QByteArray("<?xml") << QString();
        QTest::newRow("wav") << QStringList{QStringLiteral("--format"), QStringLiteral("wav"), QStringLiteral("--tempo"), QStringLiteral("200"), QStringLiteral("--transpose"), QStringLiteral("2"), QStringLiteral("--no-ornaments")} << QByteArray("RIFF") << QString();
        QTest::newRow("wav-fallback") << QStringList{QStringLiteral("--format"), QStringLiteral("wave"), QStringLiteral("--tempo=200"), QStringLiteral("--soundfont"), QStringLiteral("/nonexistent/无.sf2")} << QByteArray("RIFF") << QStringLiteral("kelvo-gongche: warning: 音色库“/nonexistent/无.sf2”无法使用（文件不存在），已改用“");
    }
    void exportMusic()
    {
        QFETCH(QStringList, extra);
        QFETCH(QByteArray, start);
        QFETCH(QString, warning);
        if (start == "RIFF" && !haveSoundFont())
            QSKIP("no Debian SoundFont installed");
        QTemporaryDir data;
        const QString target = out(QStringLiteral("music/sample.") + QString::fromLatin1(QTest::currentDataTag()));
        const Run r = run(QStringList{QStringLiteral("--export"), target} + extra + QStringList{sample()}, data.path());
        QVERIFY(r.finished);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        static const QRegularExpression line(QStringLiteral("^exported [1-9]\\d* note\\(s\\) in 2 section\\(s\\) to (.+)$"),
                                             QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = line.match(r.err);
        QVERIFY2(m.hasMatch(), qPrintable(r.err));
        QCOMPARE(m.captured(1), QDir::toNativeSeparators(target));
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(start.size()), start);
        QVERIFY2(warning.isEmpty() ? !r.err.contains(QStringLiteral("warning")) : r.err.contains(warning), qPrintable(r.err));
        QCOMPARE(QDir(data.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
