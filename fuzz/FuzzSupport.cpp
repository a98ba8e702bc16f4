// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzSupport.h"

#include "core/DataPaths.h"
#include "shared/ui/DialogService.h"
#include "core/Resources.h"
#include "editor/EditorConfig.h"
#include "render/ExportConfig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

QMap<QString, Fuzz::TargetFunction> &registry()
{
    static QMap<QString, Fuzz::TargetFunction> targets;
    return targets;
}

// Answers every dialog like a user who cancels, without showing anything.
class SilentDialogs : public DialogHandler
{
public:
    DialogAnswer answer(const DialogRequest &request) override
    {
        DialogAnswer a;
        if (request.isMessage())
            a.button = request.buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel
                : request.buttons.testFlag(QMessageBox::No)          ? QMessageBox::No
                                                                     : QMessageBox::Ok;
        return a;
    }
};

QTemporaryDir &scratch()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kelvo-fuzz-XXXXXX"));
    return dir;
}

QString fontText(const QFont &font)
{
    return font.family() + QLatin1Char('/') + QString::number(font.pixelSize()) + QLatin1Char('/')
        + QString::number(font.pointSize());
}

} // namespace

namespace Fuzz {

bool registerTarget(const char *name, TargetFunction function)
{
    registry().insert(QString::fromLatin1(name), function);
    return true;
}

TargetFunction findTarget(const QString &name)
{
    return registry().value(name, nullptr);
}

QStringList targetNames()
{
    return registry().keys();
}

void init()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KELVO_OFFLINE", "1");
    // Kept for the whole process: its arguments must outlive it, and
    // deleting it at exit would race the fuzzer's own shutdown.
    static int argc = 1;
    static char name[] = "kelvo-fuzz";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvo-fuzz"));
    initResources();
    if (!scratch().isValid()) {
        std::fprintf(stderr, "fuzz: no scratch folder: %s\n", qPrintable(scratch().errorString()));
        std::abort();
    }
    QDir(scratch().path()).mkpath(QStringLiteral("data"));
    DataPaths::setOverride(scratch().filePath(QStringLiteral("data")));
    static SilentDialogs dialogs;
    Dialogs::setHandler(&dialogs);
    // Harmless Qt warnings (missing fonts and the like) would flood the
    // fuzzer's output at every input.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "fatal: %s\n", qPrintable(text));
            std::abort();
        }
    });
}

QString workDir()
{
    return scratch().path();
}

QString freshPath(const QString &stem)
{
    static QHash<QString, quint64> counters;
    quint64 &n = counters[stem];
    if (n > 0)
        QFile::remove(scratch().filePath(stem + QLatin1Char('-') + QString::number(n)));
    ++n;
    return scratch().filePath(stem + QLatin1Char('-') + QString::number(n));
}

QString writeFile(const QString &stem, const QByteArray &bytes)
{
    const QString path = freshPath(stem);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

void fail(const char *condition, const char *file, int line, const QString &detail)
{
    std::fprintf(stderr, "\n==== invariant broken at %s:%d: %s\n     %s\n", file, line, condition,
                 qPrintable(detail));
    std::fflush(stderr);
    std::abort();
}

QString difference(const QStringList &a, const QStringList &b)
{
    for (qsizetype i = 0; i < qMax(a.size(), b.size()); ++i) {
        if (a.value(i) != b.value(i))
            return QStringLiteral("entry %1: \"%2\" vs \"%3\"").arg(i).arg(a.value(i), b.value(i));
    }
    return QString();
}

QStringList snapshot(const ExportConfig &c)
{
    QStringList s;
    const int ints[] = {
        c.pageWidth(), c.pageHeight(), c.pageSizeId(), c.marginTop(), c.marginBottom(),
        c.marginLeft(), c.marginRight(), c.titleFontSize(), c.lyricFontSize(),
        c.scoreFontSize(), c.quPaiFontSize(), c.diaoMingFontSize(), c.lianBaiFontSize(),
        c.jiaBaiFontSize(), c.isBgTransparent(), c.isHiddenSymbol(), c.isLandscape(),
        c.isLineBreakScoreOverflow(), c.isLivePreview(), c.colWidth(), c.lyricSpace(),
        c.scoreSpace(), c.banYanSpace(), c.scoreAngle(), c.lyricScoreSpace(),
        c.scoreBanYanSpace(), c.mColWidth(), c.titleWidth(), c.titlePos()};
    for (int v : ints)
        s << QString::number(v);
    for (const QFont &f : {c.titleFont(), c.lyricFont(), c.scoreFont(), c.quPaiFont(),
                           c.diaoMingFont(), c.lianBaiFont(), c.jiaBaiFont()})
        s << fontText(f);
    for (const QColor &col : {c.titleColor(), c.lyricColor(), c.quPaiColor(), c.diaoMingColor(),
                              c.lianBaiColor(), c.jiaBaiColor(), c.scoreColor(), c.banColor(),
                              c.xiaoYanColor(), c.zhongYanColor(), c.qiangGeColor(),
                              c.backgroundColor()})
        s << col.name(QColor::HexArgb);
    return s;
}

QStringList snapshot(const EditorConfig &c)
{
    QStringList s;
    for (const QFont &f : {c.lyricLineNumberFont(), c.scoreLineNumberFont(), c.scoreFont(),
                           c.lyricFont()})
        s << fontText(f);
    for (int v : {c.lyricLineNumberFontSize(), c.scoreLineNumberFontSize(), c.scoreFontSize(),
                  c.lyricFontSize()})
        s << QString::number(v);
    for (const QColor &col :
         {c.lyricLineNumberColor(), c.lyricLineNumberBgColor(), c.scoreLineNumberColor(),
          c.scoreLineNumberBgColor(), c.scoreColor(), c.scoreBgColor(), c.lyricBgColor(),
          c.lyricColor(), c.titleColor(), c.jiaBaiColor(), c.lianBaiColor(), c.quPaiColor(),
          c.commentColor(), c.biaoDianColor(), c.breakSymbolColor(), c.errorColor()})
        s << col.name(QColor::HexArgb);
    return s;
}

void checkBounds(const ExportConfig &c)
{
    const QString all = snapshot(c).join(QLatin1Char(' '));
    for (int size : {c.titleFontSize(), c.lyricFontSize(), c.scoreFontSize(), c.quPaiFontSize(),
                     c.diaoMingFontSize(), c.lianBaiFontSize(), c.jiaBaiFontSize()})
        FUZZ_CHECK(size >= ExportConfig::MinFontSize && size <= ExportConfig::MaxFontSize, all);
    FUZZ_CHECK(c.pageWidth() >= 1 && c.pageWidth() <= ExportConfig::MaxPageSide, all);
    FUZZ_CHECK(c.pageHeight() >= 1 && c.pageHeight() <= ExportConfig::MaxPageSide, all);
    // The content area of the page as oriented is at least 1 x 1.
    const QSize page = c.pageSizePoints();
    FUZZ_CHECK(c.marginLeft() >= 0 && c.marginRight() >= 0 && c.marginTop() >= 0
                   && c.marginBottom() >= 0,
               all);
    FUZZ_CHECK(page.width() - c.marginLeft() - c.marginRight() >= 1, all);
    FUZZ_CHECK(page.height() - c.marginTop() - c.marginBottom() >= 1, all);
    for (int w : {c.colWidth(), c.titleWidth(), c.mColWidth()})
        FUZZ_CHECK(w >= 1 && w <= ExportConfig::MaxWidth, all);
    FUZZ_CHECK(qAbs(c.scoreAngle()) <= ExportConfig::MaxAngle, all);
    for (int space : {c.lyricSpace(), c.scoreSpace(), c.banYanSpace(), c.lyricScoreSpace(),
                      c.scoreBanYanSpace()})
        FUZZ_CHECK(qAbs(space) <= ExportConfig::MaxSpace, all);
    FUZZ_CHECK(c.titlePos() >= 0 && c.titlePos() <= 2, all);
    FUZZ_CHECK(c.titleFont().pixelSize() == c.titleFontSize(), all);
    FUZZ_CHECK(c.scoreFont().pixelSize() == c.scoreFontSize(), all);
}

void checkBounds(const EditorConfig &c)
{
    const QString all = snapshot(c).join(QLatin1Char(' '));
    for (int size : {c.lyricLineNumberFontSize(), c.scoreLineNumberFontSize(),
                     c.scoreFontSize(), c.lyricFontSize()})
        FUZZ_CHECK(size >= EditorConfig::MinFontSize && size <= EditorConfig::MaxFontSize, all);
    FUZZ_CHECK(c.lyricFont().pointSize() == c.lyricFontSize(), all);
    FUZZ_CHECK(c.scoreFont().pointSize() == c.scoreFontSize(), all);
    for (const QColor &col : {c.scoreColor(), c.scoreBgColor(), c.lyricColor(), c.errorColor()})
        FUZZ_CHECK(col.isValid(), all);
}

} // namespace Fuzz
