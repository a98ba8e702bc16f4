// SPDX-License-Identifier: GPL-3.0-or-later
// The PDF, image and SVG writers: names and folder numbering, pixel sizes,
// backgrounds, refused targets, PDF content, the SVG folder, page order of
// the parallel image writer, progress reports and the oversized image.

#include "core/SafeWrite.h"
#include "render/ExportConfig.h"
#include "export/ExportWriters.h"
#include "render/GenerateSVG.h"
#include "support/CoreTestSupport.h"

#include "document/GongcheSymbols.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// A writer's run as the editor makes it: its failure told through Reporting.
bool exportPdf(GenerateSVG &pages, const QString &path)
{
    return ExportWriters::report(ExportWriters::writePdf(pages, path));
}
bool exportImages(GenerateSVG &pages, const QString &directory, int quality, const QString &format)
{
    return ExportWriters::report(ExportWriters::writeImages(pages, directory, quality, format));
}
bool exportSvg(GenerateSVG &pages, const QString &directory)
{
    return ExportWriters::report(ExportWriters::writeSvg(pages, directory));
}

QString symbol(char32_t c)
{
    return Gongche::toString(c);
}

LayoutItem item(int kind, const QString &text, const QStringList &scores = {})
{
    LayoutItem it;
    it.kind = LineKind(kind);
    it.text = text;
    it.scores = scores;
    return it;
}

// A sung line with two notes and a beat mark under every character.
LayoutItem sung(const QString &text)
{
    QStringList scores;
    for (int i = 0; i < text.size(); ++i)
        scores << symbol(Gongche::PitchBlockStart + char32_t(i % 20))
                      + symbol(Gongche::TouBan)
                      + symbol(Gongche::PitchBlockStart + char32_t(7));
    return item(8, text, scores);
}

// A document of `pages` pages: a title, then a sung line per page, with
// forced page breaks in between.
LayoutItems document(int pages, const QString &title = QStringLiteral("测试曲"))
{
    LayoutItems items;
    if (!title.isEmpty())
        items << item(0, QStringLiteral("# ") + title);
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            items << item(7, QStringLiteral("@分页符"));
        items << sung(QStringLiteral("天地玄黄宇宙洪荒").left(2 + p % 6));
    }
    return items;
}

int pdfPageCount(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    if (!p.waitForFinished(30000))
        return -1;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString runTool(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(30000))
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestExportWriters : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CoreTestEnvironment> m_env;
    std::unique_ptr<ExportConfig> m_config;
    std::unique_ptr<QTemporaryDir> m_out;
    QString m_notationFamily;

    // Fresh settings with every font on the embedded notation family, so
    // the layout's measurements are the same on every machine.
    void freshConfig()
    {
        m_config = std::make_unique<ExportConfig>(m_env->dataDir() + QStringLiteral("/settings.ini"));
        const QFont f(m_notationFamily);
        m_config->setTitleFont(f);
        m_config->setLyricFont(f);
        m_config->setScoreFont(f);
        m_config->setQuPaiFont(f);
        m_config->setDiaoMingFont(f);
        m_config->setLianBaiFont(f);
        m_config->setJiaBaiFont(f);
    }

    QString out(const QString &name = QString()) const
    {
        return name.isEmpty() ? m_out->path() : m_out->filePath(name);
    }

private slots:
    void initTestCase()
    {
        initCoreTestApplication();
        QImageReader::setAllocationLimit(1024); // pages at 600 dpi
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/resources/fonts/tandelkx.ttf"));
        QVERIFY(id >= 0);
        m_notationFamily = QFontDatabase::applicationFontFamilies(id).value(0);
        QVERIFY(!m_notationFamily.isEmpty());
    }

    void init()
    {
        m_env = std::make_unique<CoreTestEnvironment>();
        freshConfig();
        m_out = std::make_unique<QTemporaryDir>();
        QVERIFY(m_out->isValid());
    }

    void cleanup()
    {
        m_config.reset();
        m_env.reset();
        m_out.reset();
    }

    void dpiTable_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("dpi");
        QTest::newRow("0") << 0 << 96;
        QTest::newRow("1") << 1 << 160;
        QTest::newRow("2") << 2 << 300;
        QTest::newRow("3") << 3 << 600;
        QTest::newRow("-1") << -1 << 96;
        QTest::newRow("4") << 4 << 96;
    }
    void dpiTable()
    {
        QFETCH(int, quality);
        QFETCH(int, dpi);
        QCOMPARE(ExportWriters::dpiForQuality(quality), dpi);
    }

    // Pages of a print job: range clamped to the document, copies collated
    // or page by page, absurd copy counts bounded.
    void printOrder_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("ranges");
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("collate");
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("all") << 3 << "" << 1 << true << QList<int>{0, 1, 2};
        QTest::newRow("2-3") << 4 << "2-3" << 1 << true << QList<int>{1, 2};
        QTest::newRow("two ranges") << 6 << "2,5-9" << 1 << true << QList<int>{1, 4, 5};
        QTest::newRow("past the end") << 3 << "5-9" << 1 << true << QList<int>();
        QTest::newRow("collated") << 3 << "" << 2 << true << QList<int>{0, 1, 2, 0, 1, 2};
        QTest::newRow("uncollated") << 3 << "2-3" << 2 << false << QList<int>{1, 1, 2, 2};
        QTest::newRow("no copies") << 2 << "" << 0 << true << QList<int>{0, 1};
        QTest::newRow("no pages") << 0 << "" << 2 << true << QList<int>();
    }
    void printOrder()
    {
        QFETCH(int, pages);
        QFETCH(QString, ranges);
        QFETCH(int, copies);
        QFETCH(bool, collate);
        QFETCH(QList<int>, order);
        QCOMPARE(GenerateSVG::printOrder(pages, QPageRanges::fromString(ranges), copies, collate),
                 order);
    }
    void printOrderBoundsCopies()
    {
        QCOMPARE(GenerateSVG::printOrder(1, QPageRanges(), 1 << 30, true).size(),
                 GenerateSVG::maxCopies());
    }

    // What each writer returns: where the pages went and every file, or the
    // message it would show; the writer itself reports nothing.
    void results_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("target"); // inside the output folder
        QTest::addColumn<QString>("blocker"); // a regular file made first
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("messageTitle");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("written"); // inside the output folder
        QTest::addColumn<QStringList>("files"); // inside written
        QTest::newRow("pdf") << "pdf" << "a/x.pdf" << "" << true << "" << ""
                             << "a/x.pdf" << QStringList{""};
        QTest::newRow("png") << "png" << "" << "" << true << "" << "" << "测试曲_png"
                             << QStringList{"测试曲_0.png", "测试曲_1.png"};
        QTest::newRow("jpg") << "jpg" << "" << "测试曲_jpg" << true << "" << "" << "测试曲_jpg_0"
                             << QStringList{"测试曲_0.jpg", "测试曲_1.jpg"};
        QTest::newRow("svg") << "svg" << "" << "" << true << "" << "" << "测试曲_svg"
                             << QStringList{"测试曲_0.svg", "测试曲_1.svg",
                                            m_notationFamily + ".ttf", "说明文件.txt"};
        QTest::newRow("pdf onto a folder") << "pdf" << "" << "" << false << "错误"
                                           << "导出PDF文件失败：目标是一个文件夹！" << "" << QStringList();
        QTest::newRow("pdf under a file") << "pdf" << "plain/x.pdf" << "plain" << false << "错误"
                                          << "导出PDF文件失败：所在的文件夹不存在！" << "" << QStringList();
        QTest::newRow("png under a file") << "png" << "plain/sub" << "plain" << false << ""
                                          << "" << "" << QStringList();
        QTest::newRow("svg under a file") << "svg" << "plain/sub" << "plain" << false << ""
                                          << "" << "" << QStringList();
    }
    void results()
    {
        QFETCH(QString, writer);
        QFETCH(QString, target);
        QFETCH(QString, blocker);
        QFETCH(bool, ok);
        QFETCH(QString, messageTitle);
        QFETCH(QString, message);
        QFETCH(QString, written);
        QFETCH(QStringList, files);
        if (!blocker.isEmpty()) {
            QFile f(out(blocker));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        GenerateSVG gen(m_config.get());
        gen.generate(document(2), false);
        const QString path = out(target);
        const ExportResult result = writer == QLatin1String("pdf")
            ? ExportWriters::writePdf(gen, path)
            : writer == QLatin1String("svg") ? ExportWriters::writeSvg(gen, path)
                                             : ExportWriters::writeImages(gen, path, 0, writer);
        QCOMPARE(result.ok, ok);
        QCOMPARE(result.messageTitle, messageTitle);
        QCOMPARE(result.message, message);
        QCOMPARE(result.target, written.isEmpty() ? QString() : out(written));
        QStringList expected;
        for (const QString &name : files)
            expected << (name.isEmpty() ? out(written) : out(written + QLatin1Char('/') + name));
        QCOMPARE(result.files, expected);
        for (const QString &file : std::as_const(result.files))
            QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
        QVERIFY(m_env->reports().isEmpty());
    }

    // Exporting twice into the same directory numbers the second folder.
    void folderNumbering_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("png") << QStringLiteral("png");
        QTest::newRow("jpg") << QStringLiteral("jpg");
        QTest::newRow("JPG upper case") << QStringLiteral("JPG");
        QTest::newRow("svg") << QStringLiteral("svg");
    }
    void folderNumbering()
    {
        QFETCH(QString, format);
        const QString ext = format.toLower();
        GenerateSVG gen(m_config.get());
        gen.generate(document(2), false);
        QCOMPARE(gen.title().trimmed(), QStringLiteral("测试曲"));
        QCOMPARE(gen.pageCount(), 2);

        for (const QString &folder : {QStringLiteral("测试曲_") + ext, QStringLiteral("测试曲_") + ext + QStringLiteral("_0"),
                                      QStringLiteral("测试曲_") + ext + QStringLiteral("_1")}) {
            const bool ok = ext == QLatin1String("svg") ? exportSvg(gen, out())
                                                        : exportImages(gen, out(), 0, format);
            QVERIFY(ok);
            const QDir dir(out(folder));
            QVERIFY2(dir.exists(), qPrintable(folder));
            QVERIFY(dir.exists(QStringLiteral("测试曲_0.") + ext));
            QVERIFY(dir.exists(QStringLiteral("测试曲_1.") + ext));
            QVERIFY(!dir.exists(QStringLiteral("测试曲_2.") + ext));
        }
        QVERIFY(m_env->reports().isEmpty());
    }

    // A file (not a folder) already holding the first name is skipped too.
    void folderNumberingSkipsFiles()
    {
        QFile blocker(out(QStringLiteral("测试曲_png")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        QVERIFY(exportImages(gen, out(), 0, QStringLiteral("png")));
        QVERIFY(QFileInfo(out(QStringLiteral("测试曲_png_0/测试曲_0.png"))).isFile());
    }

    // The chosen directory is created when missing.
    void missingDirectoryCreated()
    {
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        QVERIFY(exportImages(gen, out(QStringLiteral("a/b")), 0, QStringLiteral("png")));
        QVERIFY(QFileInfo(out(QStringLiteral("a/b/测试曲_png/测试曲_0.png"))).isFile());
        QVERIFY(exportSvg(gen, out(QStringLiteral("c/d"))));
        QVERIFY(QFileInfo(out(QStringLiteral("c/d/测试曲_svg/测试曲_0.svg"))).isFile());
    }

    // A chosen directory that cannot exist (under a regular file) fails
    // quietly, as the dialog has nothing to add.
    void impossibleDirectory_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("png") << QStringLiteral("png");
        QTest::newRow("svg") << QStringLiteral("svg");
    }
    void impossibleDirectory()
    {
        QFETCH(QString, format);
        QFile file(out(QStringLiteral("plain")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        const QString dir = out(QStringLiteral("plain/sub"));
        const bool ok = format == QLatin1String("svg") ? exportSvg(gen, dir)
                                                       : exportImages(gen, dir, 0, format);
        QVERIFY(!ok);
        QVERIFY(m_env->reports().isEmpty());
    }

    void untitledNames_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("png") << QStringLiteral("png");
        QTest::newRow("jpg") << QStringLiteral("jpg");
        QTest::newRow("svg") << QStringLiteral("svg");
    }
    void untitledNames()
    {
        QFETCH(QString, format);
        GenerateSVG gen(m_config.get());
        gen.generate(document(1, QString()), false);
        QVERIFY(gen.title().isEmpty());
        const bool ok = format == QLatin1String("svg") ? exportSvg(gen, out())
                                                       : exportImages(gen, out(), 0, format);
        QVERIFY(ok);
        const QString base = QStringLiteral("Kelvo工尺谱导出曲谱");
        QCOMPARE(gen.title(), base);
        QVERIFY(QFileInfo(out(base + QLatin1Char('_') + format + QLatin1Char('/') + base
                              + QStringLiteral("_0.") + format))
                    .isFile());
    }

    // Outside the drawing: transparent for PNG with a transparent
    // background, the background colour for JPG, and for PNG when the
    // background is painted.
    void background_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("transparent");
        QTest::addColumn<int>("alpha");
        QTest::newRow("png transparent") << QStringLiteral("png") << true << 0;
        QTest::newRow("jpg transparent setting") << QStringLiteral("jpg") << true << 255;
        QTest::newRow("png painted") << QStringLiteral("png") << false << 255;
        QTest::newRow("jpg painted") << QStringLiteral("jpg") << false << 255;
    }
    void background()
    {
        QFETCH(QString, format);
        QFETCH(bool, transparent);
        QFETCH(int, alpha);
        const QColor bg(0x33, 0x66, 0x99);
        m_config->setBackgroundColor(bg);
        m_config->setIsBgTransparent(transparent);
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        QVERIFY(exportImages(gen, out(), 0, format));
        const QImage image(out(QStringLiteral("测试曲_%1/测试曲_0.%1").arg(format)));
        QVERIFY(!image.isNull());
        for (const QPoint p : {QPoint(2, 2), QPoint(image.width() - 3, image.height() - 3)}) {
            const QColor c = image.pixelColor(p);
            QCOMPARE(c.alpha(), alpha);
            if (alpha == 255) { // JPEG may shift a colour by a step or two
                QVERIFY2(qAbs(c.red() - bg.red()) <= 3 && qAbs(c.green() - bg.green()) <= 3
                             && qAbs(c.blue() - bg.blue()) <= 3,
                         qPrintable(c.name()));
            }
        }
    }

    // Pixel sizes follow the page in points at the chosen resolution,
    // swapped for landscape.
    void pixelSizes_data()
    {
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<QSize>("at96");
        QTest::newRow("portrait") << false << QSize(793, 1123);
        QTest::newRow("landscape") << true << QSize(1123, 793);
    }
    void pixelSizes()
    {
        QFETCH(bool, landscape);
        QFETCH(QSize, at96);
        m_config->setIsLandscape(landscape);
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        QVERIFY(exportImages(gen, out(QStringLiteral("low")), 0, QStringLiteral("png")));
        QVERIFY(exportImages(gen, out(QStringLiteral("high")), 3, QStringLiteral("png")));
        const QImage low(out(QStringLiteral("low/测试曲_png/测试曲_0.png")));
        const QImage high(out(QStringLiteral("high/测试曲_png/测试曲_0.png")));
        QCOMPARE(low.size(), at96);
        QVERIFY(qAbs(high.width() - low.width() * 6.25) <= 6.25);
        QVERIFY(qAbs(high.height() - low.height() * 6.25) <= 6.25);
        // The drawing covers the same part of the page at both resolutions.
        const QImage scaled = high.scaled(low.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int inkLow = 0, inkHigh = 0;
        for (int y = 0; y < low.height(); ++y)
            for (int x = 0; x < low.width(); ++x) {
                inkLow += qAlpha(low.pixel(x, y)) > 128;
                inkHigh += qAlpha(scaled.pixel(x, y)) > 128;
            }
        QVERIFY(inkLow > 0);
        QVERIFY2(qAbs(inkLow - inkHigh) < inkLow / 4,
                 qPrintable(QStringLiteral("%1 vs %2").arg(inkLow).arg(inkHigh)));
    }

    // The pages are rendered in parallel but every file holds its own page.
    void imagesInPageOrder()
    {
        GenerateSVG gen(m_config.get());
        gen.generate(document(7), false);
        QCOMPARE(gen.pageCount(), 7);
        QVERIFY(exportImages(gen, out(), 0, QStringLiteral("png")));
        for (int i = 0; i < gen.pageCount(); ++i) {
            const QImage file(out(QStringLiteral("测试曲_png/测试曲_%1.png").arg(i)));
            QVERIFY(!file.isNull());
            QImage reference(file.size(), QImage::Format_ARGB32);
            reference.fill(Qt::transparent);
            QPainter p(&reference);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::TextAntialiasing);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.scale(qreal(file.width()) / gen.pageSize().width(),
                    qreal(file.height()) / gen.pageSize().height());
            const QPicture &pic = gen.pictures().at(i);
            p.scale(qreal(pic.logicalDpiX()) / reference.logicalDpiX(),
                    qreal(pic.logicalDpiY()) / reference.logicalDpiY());
            p.drawPicture(0, 0, pic);
            p.end();
            QCOMPARE(file.convertToFormat(QImage::Format_ARGB32), reference);
        }
    }

    // B1 at 600 dpi is too large to allocate sensibly: refused with the
    // image message, never a crash.
    void tooLargeImage()
    {
        m_config->setPageSizeId(15);
        QCOMPARE(m_config->pageWidth(), 2004);
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        QSignalSpy progress(&gen, &GenerateSVG::progressUpdate);
        QVERIFY(!exportImages(gen, out(), 3, QStringLiteral("png")));
        QCOMPARE(m_env->reports().size(), 1);
        QCOMPARE(m_env->reports().at(0).title, QStringLiteral("提示"));
        QCOMPARE(m_env->reports().at(0).text, QStringLiteral("导出图片失败！"));
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toInt(), 2);
        QVERIFY(!QFileInfo::exists(out(QStringLiteral("测试曲_png/测试曲_0.png"))));
    }

    void progressSequence_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("tip");
        QTest::newRow("pdf") << QStringLiteral("pdf") << QStringLiteral("正在导出PDF文件···");
        QTest::newRow("png") << QStringLiteral("png") << QStringLiteral("正在导出png文件···");
        QTest::newRow("JPG") << QStringLiteral("JPG") << QStringLiteral("正在导出jpg文件···");
        QTest::newRow("svg") << QStringLiteral("svg") << QStringLiteral("正在导出SVG文件···");
    }
    void progressSequence()
    {
        QFETCH(QString, writer);
        QFETCH(QString, tip);
        GenerateSVG gen(m_config.get());
        gen.generate(document(3), false);
        const int n = gen.pageCount();
        QCOMPARE(n, 3);
        QSignalSpy spy(&gen, &GenerateSVG::progressUpdate);
        bool ok = false;
        if (writer == QLatin1String("pdf"))
            ok = exportPdf(gen, out(QStringLiteral("x.pdf")));
        else if (writer == QLatin1String("svg"))
            ok = exportSvg(gen, out());
        else
            ok = exportImages(gen, out(), 0, writer);
        QVERIFY(ok);
        QCOMPARE(spy.size(), n + 2);
        QCOMPARE(spy.at(0), (QVariantList{0, 0, n, QStringLiteral("导出"), tip}));
        for (int i = 1; i <= n; ++i)
            QCOMPARE(spy.at(i), (QVariantList{1, i, n, QString(), QString()}));
        QCOMPARE(spy.at(n + 1), (QVariantList{2, n, n, QString(), QString()}));
    }

    // Targets that cannot be written: refused with the message, nothing
    // written, an existing file left as it was.
    void pdfTargetRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("directory") << QStringLiteral("directory") << QStringLiteral("导出PDF文件失败：目标是一个文件夹！");
        QTest::newRow("under a regular file") << QStringLiteral("under file") << QStringLiteral("导出PDF文件失败：所在的文件夹不存在！");
        QTest::newRow("read-only file") << QStringLiteral("read-only") << QStringLiteral("导出PDF文件失败：没有写入权限！");
    }
    void pdfTargetRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QString target;
        if (kind == QLatin1String("directory")) {
            target = out(QStringLiteral("old.pdf"));
            QVERIFY(QDir().mkpath(target));
        } else if (kind == QLatin1String("under file")) {
            QFile f(out(QStringLiteral("plain")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            target = out(QStringLiteral("plain/x.pdf"));
        } else {
            QVERIFY(AsUnprivileged::reachable(out()));
            target = out(QStringLiteral("old.pdf"));
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
            f.close();
            QVERIFY(f.setPermissions(QFile::ReadOwner));
        }
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        {
            std::optional<AsUnprivileged> unprivileged; // root may write read-only files
            if (kind == QLatin1String("read-only"))
                unprivileged.emplace();
            QVERIFY(!exportPdf(gen, target));
        }
        QCOMPARE(m_env->reports().size(), 1);
        QCOMPARE(m_env->reports().at(0).severity, Reporting::Severity::Warning);
        QCOMPARE(m_env->reports().at(0).title, QStringLiteral("错误"));
        QCOMPARE(m_env->reports().at(0).text, message);
        if (kind == QLatin1String("directory")) {
            QVERIFY(QDir(target).isEmpty());
        } else if (kind == QLatin1String("read-only")) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("old"));
        }
        // No stray temporary file beside the target either.
        QStringList left = QDir(out()).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("plain"));
        left.removeAll(QStringLiteral("old.pdf"));
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    }

    // A valid PDF with one page per generated page, fonts embedded and the
    // lyric text extractable.
    void pdfContent()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("pdffonts")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("poppler-utils not installed");
        const QString cjk = QStringLiteral("AR PL UKai CN");
        if (!QFontDatabase::families().contains(cjk))
            QSKIP("AR PL UKai CN not installed");
        m_config->setLyricFont(QFont(cjk));
        m_config->setTitleFont(QFont(cjk));
        GenerateSVG gen(m_config.get());
        gen.generate(document(3), false);
        const QString path = out(QStringLiteral("score.pdf"));
        // Replacing an older file works and leaves no temporary file behind.
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old contents");
        }
        QVERIFY(exportPdf(gen, path));
        QVERIFY(m_env->reports().isEmpty());
        QCOMPARE(QDir(out()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("score.pdf")});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(5) == "%PDF-");
        f.close();
        QCOMPARE(pdfPageCount(path), 3);

        const QString fonts = runTool(QStringLiteral("pdffonts"), {path});
        const QStringList rows = fonts.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
        QVERIFY2(!rows.isEmpty(), qPrintable(fonts));
        for (const QString &row : rows) // every font embedded ("emb" column)
            QVERIFY2(row.contains(QRegularExpression(QStringLiteral("\\s+yes\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$"))),
                     qPrintable(row));

        const QString text = runTool(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
        for (const QString &word : {QStringLiteral("天"), QStringLiteral("地"), QStringLiteral("测"), QStringLiteral("曲")})
            QVERIFY2(text.contains(word), qPrintable(text));
    }

    // Pages laid out elsewhere (numbered notation) are written like the
    // generator's own: the PDF has them with their text, an image shows
    // every kind of stroke where it was placed.
    void adoptedPages()
    {
        PlacedItem digit;
        digit.role = PlacedItem::JianpuDigit;
        digit.flags = Qt::AlignCenter;
        digit.origin = QPointF(100, 100);
        digit.cell = digit.ink = QRectF(0, 0, 20, 20);
        digit.text = QStringLiteral("5");
        PlacedItem rule;
        rule.role = PlacedItem::Line;
        rule.shape = PlacedItem::Rule;
        rule.origin = QPointF(100, 200);
        rule.cell = rule.ink = QRectF(0, 0, 60, 4);
        PlacedItem dot = rule;
        dot.shape = PlacedItem::Dot;
        dot.origin = QPointF(300, 200);
        dot.cell = dot.ink = QRectF(0, 0, 6, 6);
        PlacedItem arc = rule;
        arc.shape = PlacedItem::Arc;
        arc.origin = QPointF(100, 300);
        arc.cell = arc.ink = QRectF(0, 0, 80, 12);
        GenerateSVG gen(m_config.get());
        gen.adoptPages(m_config->snapshot(), {{digit, rule}, {dot, arc}}, QStringLiteral("简谱"),
                       {QStringLiteral("warned")});
        QCOMPARE(gen.pageCount(), 2);
        QCOMPARE(gen.pageSize(), m_config->pageSizePoints());
        QCOMPARE(gen.title(), QStringLiteral("简谱"));
        QCOMPARE(gen.layoutWarnings(), QStringList{QStringLiteral("warned")});
        QVERIFY(exportImages(gen, out(), 0, QStringLiteral("png")));
        const QImage first(out(QStringLiteral("简谱_png/简谱_0.png")));
        const QImage second(out(QStringLiteral("简谱_png/简谱_1.png")));
        QVERIFY(!first.isNull() && !second.isNull());
        const qreal k = qreal(first.width()) / gen.pageSize().width();
        const auto dark = [k](const QImage &image, QPointF at) { return qGray(image.pixel((at * k).toPoint())) < 128; };
        QVERIFY(dark(first, QPointF(130, 202)));
        QVERIFY(!dark(first, QPointF(130, 210)));
        QVERIFY(dark(second, QPointF(303, 203)));
        QVERIFY(dark(second, QPointF(140, 300.5)));
        QVERIFY(!dark(second, QPointF(140, 311)));
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("poppler-utils not installed");
        const QString path = out(QStringLiteral("adopted.pdf"));
        QVERIFY(exportPdf(gen, path));
        QCOMPARE(pdfPageCount(path), 2);
        QVERIFY(runTool(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}).contains(QLatin1Char('5')));
    }

    // Landscape pages come out landscape.
    void pdfLandscape()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("poppler-utils not installed");
        m_config->setIsLandscape(true);
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        const QString path = out(QStringLiteral("land.pdf"));
        QVERIFY(exportPdf(gen, path));
        const QString info = runTool(QStringLiteral("pdfinfo"), {path});
        const QRegularExpressionMatch m = QRegularExpression(
            QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
        QVERIFY2(m.hasMatch(), qPrintable(info));
        QVERIFY(qAbs(m.captured(1).toDouble() - 842) < 1.5);
        QVERIFY(qAbs(m.captured(2).toDouble() - 595) < 1.5);
    }

    // The SVG folder: the pages as generated, the embedded font under the
    // notation family's name, the note file.
    void svgFolder()
    {
        GenerateSVG gen(m_config.get());
        gen.generate(document(2), false);
        QVERIFY(exportSvg(gen, out()));
        const QDir dir(out(QStringLiteral("测试曲_svg")));
        QCOMPARE(dir.entryList(QDir::Files, QDir::Name).size(), 4);
        for (int i = 0; i < 2; ++i) {
            QFile page(dir.filePath(QStringLiteral("测试曲_%1.svg").arg(i)));
            QVERIFY(page.open(QIODevice::ReadOnly));
            QCOMPARE(page.readAll(), gen.pages().at(i));
        }
        QFile embedded(QStringLiteral(":/resources/fonts/tandelkx.ttf"));
        QVERIFY(embedded.open(QIODevice::ReadOnly));
        QFile font(dir.filePath(m_notationFamily + QStringLiteral(".ttf")));
        QVERIFY(font.open(QIODevice::ReadOnly));
        QCOMPARE(font.readAll(), embedded.readAll());
        QFile note(dir.filePath(QStringLiteral("说明文件.txt")));
        QVERIFY(note.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(note.readAll()),
                 QStringLiteral("Kelvo工尺谱导出曲谱说明：SVG文件需要安装“Kelvo工尺谱字体.ttf”才能正常显示。"));
    }

    // The font file's name comes from a family an installed font declares:
    // whatever it says, the file lands inside the target folder and the
    // bytes are the embedded font's.
    void fontFileStaysInside_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("parent path") << QStringLiteral("../../evil/x") << QStringLiteral("evilx.ttf");
        QTest::newRow("only dots") << QStringLiteral("..") << QStringLiteral("Kelvo工尺谱字体.ttf");
        QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << QStringLiteral("etcpasswd.ttf");
        QTest::newRow("backslashes") << QStringLiteral("..\\..\\win") << QStringLiteral("win.ttf");
        QTest::newRow("control characters") << QStringLiteral("a\nb\tc\x01") << QStringLiteral("abc.ttf");
        QTest::newRow("hidden") << QStringLiteral(".hidden") << QStringLiteral("hidden.ttf");
        QTest::newRow("ordinary") << QStringLiteral("My Notation") << QStringLiteral("My Notation.ttf");
    }
    void fontFileStaysInside()
    {
        QFETCH(QString, family);
        QFETCH(QString, fileName);
        QCOMPARE(ExportNames::fontFileName(family), fileName);

        m_config->setScoreFont(QFont(family));
        const QString target = out(QStringLiteral("deep/er/target"));
        GenerateSVG gen(m_config.get());
        gen.generate(document(1), false);
        QVERIFY(exportSvg(gen, target));
        const QDir folder(target + QStringLiteral("/测试曲_svg"));
        const QStringList ttf = folder.entryList({QStringLiteral("*.ttf")}, QDir::Files | QDir::Hidden);
        QCOMPARE(ttf.size(), 1);
        // Nothing anywhere else in the output tree but the export folder.
        QDirIterator it(out(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QVERIFY2(QFileInfo(path).absolutePath() == folder.absolutePath(), qPrintable(path));
        }
    }

    // Exports meeting a full disk, a read-only one, or their folder removed
    // half-way: the failure is reported, an old PDF stays whole and nothing
    // the export made is left behind.
    void failedExport_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        // Each with its cause.
        const QString full = QStringLiteral("：磁盘空间已满！");
        const QString readOnly = QStringLiteral("：磁盘是只读的！");
        const QString gone = QStringLiteral("：所在的文件夹不存在！");
        const QString pdf = QStringLiteral("导出PDF文件失败");
        const QString png = QStringLiteral("导出图片失败");
        const QString svg = QStringLiteral("导出SVG文件失败");
        const QString folder = QStringLiteral("创建目录失败");
        QTest::newRow("pdf, full") << "pdf" << "full" << pdf + full;
        QTest::newRow("pdf, read-only") << "pdf" << "read-only" << pdf + readOnly;
        QTest::newRow("pdf, folder removed") << "pdf" << "removed" << pdf + gone;
        QTest::newRow("png, full") << "png" << "full" << png + full;
        QTest::newRow("png, read-only") << "png" << "read-only" << folder + readOnly;
        QTest::newRow("png, folder removed") << "png" << "removed" << png + gone;
        QTest::newRow("svg, full") << "svg" << "full" << svg + full;
        QTest::newRow("svg, read-only") << "svg" << "read-only" << folder + readOnly;
        QTest::newRow("svg, folder removed") << "svg" << "removed" << svg + gone;
    }
    void failedExport()
    {
        QFETCH(QString, writer);
        QFETCH(QString, fault);
        QFETCH(QString, message);
        SmallFileSystem fs(512);
        KELVO_REQUIRE_SMALL_FS(fs);
        GenerateSVG gen(m_config.get());
        gen.generate(document(3), false);
        const QString dir = fs.filePath(QStringLiteral("out"));
        const QString pdf = dir + QStringLiteral("/old.pdf");
        QVERIFY(QDir().mkpath(dir));
        if (fault != QLatin1String("removed"))
            QVERIFY(writer == QLatin1String("pdf") ? exportPdf(gen, pdf) : QDir().mkpath(dir + "/kept"));
        const QStringList before = fs.path().isEmpty() ? QStringList() : QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const QByteArray oldPdf = QFile::exists(pdf) ? [&] { QFile f(pdf); f.open(QIODevice::ReadOnly); return f.readAll(); }() : QByteArray();
        if (fault == QLatin1String("full"))
            QVERIFY(fs.fill());
        else if (fault == QLatin1String("read-only"))
            QVERIFY(fs.remountReadOnly());
        else
            connect(&gen, &GenerateSVG::progressUpdate, &gen, [&](int status, int value) {
                if (status == 1 && value == 1)
                    QDir(dir).removeRecursively();
            });

        const bool ok = writer == QLatin1String("pdf") ? exportPdf(gen, pdf)
                        : writer == QLatin1String("svg") ? exportSvg(gen, dir)
                                                          : exportImages(gen, dir, 0, writer);
        QVERIFY(!ok);
        QCOMPARE(m_env->reports().size(), 1);
        QCOMPARE(m_env->reports().at(0).text, message);
        if (fault == QLatin1String("removed")) {
            QVERIFY(QDir(fs.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
            return;
        }
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        if (writer == QLatin1String("pdf")) {
            QFile f(pdf);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), oldPdf);
        }
    }

    // A full disk without a small file system: /dev/full for the PDF, the
    // error injected for the page folders. Told as such; nothing left.
    void fullDiskTold_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("message");
        QTest::newRow("pdf") << "pdf" << "导出PDF文件失败：磁盘空间已满！";
        QTest::newRow("png") << "png" << "导出图片失败：磁盘空间已满！";
        QTest::newRow("svg") << "svg" << "导出SVG文件失败：磁盘空间已满！";
    }
    void fullDiskTold()
    {
        QFETCH(QString, writer);
        QFETCH(QString, message);
        GenerateSVG gen(m_config.get());
        gen.generate(document(2), false);
        bool ok = false;
        if (writer == QLatin1String("pdf")) {
            if (!QFileInfo::exists(QStringLiteral("/dev/full")))
                QSKIP("no /dev/full");
            ok = exportPdf(gen, QStringLiteral("/dev/full"));
        } else {
            SafeWrite::injectErrorForTests(ENOSPC);
            ok = writer == QLatin1String("svg") ? exportSvg(gen, out())
                                                : exportImages(gen, out(), 0, writer);
            SafeWrite::injectErrorForTests(0);
        }
        QVERIFY(!ok);
        QCOMPARE(m_env->reports().size(), 1);
        QCOMPARE(m_env->reports().at(0).text, message);
        QVERIFY(QDir(out()).isEmpty());
    }

    // Titles too long for a file name (255 bytes) are shortened at a
    // character boundary, the same for the folder, the pages and the font.
    void longTitles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("writer");
        for (const int n : {83, 84, 200}) {
            QTest::addRow("%d ideographs, png", n) << QString(n, QChar(0x66F2)) << "png";
            QTest::addRow("%d ideographs, svg", n) << QString(n, QChar(0x66F2)) << "svg";
        }
    }
    void longTitles()
    {
        QFETCH(QString, title);
        QFETCH(QString, writer);
        GenerateSVG gen(m_config.get());
        gen.generate(document(11, title), false);
        QCOMPARE(gen.pageCount(), 11);
        QVERIFY(writer == QLatin1String("svg") ? exportSvg(gen, out()) : exportImages(gen, out(), 0, writer));
        QVERIFY(m_env->reports().isEmpty());
        const QStringList folders = QDir(out()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), 1);
        const QStringList files = QDir(out(folders.first())).entryList(QDir::Files);
        QCOMPARE(files.size(), writer == QLatin1String("svg") ? 13 : 11);
        const QString base = folders.first().chopped(4); // "_png", "_svg"
        QVERIFY2(title.startsWith(base), qPrintable(base));
        for (const QString &name : files + folders) {
            QVERIFY2(name.toUtf8().size() <= 255, qPrintable(name));
            QVERIFY(!name.contains(QChar::ReplacementCharacter));
        }
        QVERIFY(files.contains(base + QStringLiteral("_10.") + writer));
    }

    // Cuts fall between whole characters: never inside a surrogate pair or
    // between a letter and its combining mark.
    void shortenUtf8_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QString>("expected");
        const QString wide = QString::fromUcs4(U"\U00020000", 1); // 4 bytes
        QTest::newRow("fits") << QStringLiteral("曲谱") << 6 << QStringLiteral("曲谱");
        QTest::newRow("ideographs") << QStringLiteral("曲谱曲") << 8 << QStringLiteral("曲谱");
        QTest::newRow("surrogate pair") << QString(wide + wide) << 7 << wide;
        QTest::newRow("combining mark") << QStringLiteral("ae\u0301") << 3 << QStringLiteral("a");
        QTest::newRow("default base") << QString(70, QChar(0x66F2)) + wide + wide
                                      << 200 << QString(66, QChar(0x66F2));
    }
    void shortenUtf8()
    {
        QFETCH(QString, text);
        QFETCH(int, maxBytes);
        QFETCH(QString, expected);
        QCOMPARE(ExportNames::shortenUtf8(text, maxBytes), expected);
    }

    void fontFileNameEmptyFamily()
    {
        QCOMPARE(ExportNames::fontFileName(QString()), QStringLiteral("Kelvo工尺谱字体.ttf"));
        QCOMPARE(ExportNames::fontFileName(QStringLiteral(" / ")), QStringLiteral("Kelvo工尺谱字体.ttf"));
        QVERIFY(ExportNames::fontFileName(QString(400, QLatin1Char('x'))).toUtf8().size() <= 255);
    }
};

QTEST_MAIN(TestExportWriters)
#include "test_exportwriters.moc"
