// SPDX-License-Identifier: GPL-3.0-or-later
// The three file writers. Every output replays the page
// recordings (QPicture, one unit = one point) made during generation, so the
// PDF, the images and the SVG pages show the same drawing, and the PDF keeps
// its text as text with the fonts embedded.

#include "export/ExportWriters.h"

#include "audio/SoundFonts.h"
#include "audio/WavExport.h"
#include "core/Reporting.h"
#include "core/SafeWrite.h"
#include "render/ExportConfig.h"
#include "render/GenerateSVG.h"
#include "music/MidiFile.h"
#include "music/MusicXml.h"
#include "music/Reading.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QImage>
#include <QImageWriter>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QTextBoundaryFinder>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <exception>
#include <numeric>
#include <optional>

namespace {

const QString ExportWinTitle = QStringLiteral("导出");

QPageSize pageSizeOf(int width, int height)
{
    return QPageSize(QSizeF(width, height), QPageSize::Point, QString(),
                     QPageSize::FuzzyMatch);
}

// What one export has created, so that a failed export can take it away
// again: files first, then the folders from the innermost out (a folder
// is only removed when empty, so nothing that was there before goes).
class CreatedFiles
{
public:
    // Creates directory with any missing parents, remembering them.
    bool makePath(const QString &directory, SafeWrite::Failure *why = nullptr)
    {
        QStringList missing;
        for (QFileInfo info(QDir::cleanPath(QDir(directory).absolutePath()));
             !info.exists() && !info.isSymLink();
             info = QFileInfo(info.absolutePath())) {
            missing.prepend(info.absoluteFilePath());
            if (info.isRoot() || info.absolutePath() == info.absoluteFilePath())
                break;
        }
        for (const QString &dir : missing) {
            errno = 0;
            const bool made = QDir().mkdir(dir);
            const int code = errno;
            if (!made && !QFileInfo(dir).isDir()) {
                if (why)
                    *why = SafeWrite::diagnose(dir, code);
                return false;
            }
            m_dirs << dir;
        }
        if (QFileInfo(directory).isDir())
            return true;
        if (why) // a file where the folder should be
            *why = SafeWrite::diagnose(directory, ENOTDIR);
        return false;
    }

    bool write(const QString &path, const QByteArray &bytes, QIODevice::OpenMode extra = {},
               SafeWrite::Failure *why = nullptr)
    {
        if (!SafeWrite::writeNew(path, bytes, extra, why))
            return false;
        m_files << path;
        return true;
    }

    const QStringList &files() const { return m_files; }

    void discard()
    {
        for (const QString &file : std::as_const(m_files))
            QFile::remove(file);
        for (auto it = m_dirs.crbegin(); it != m_dirs.crend(); ++it)
            QDir().rmdir(*it);
        m_files.clear();
        m_dirs.clear();
    }

private:
    QStringList m_files;
    QStringList m_dirs;
};

// A deep copy: QPicture::play reads through a buffer inside the shared
// data, so two threads must never replay the same QPicture object.
QPicture detachedCopy(const QPicture &picture)
{
    QPicture copy;
    copy.setData(picture.data(), picture.size());
    return copy;
}

// QPicture::play scales its drawing by the target's logical dpi over the
// screen's default dpi (the dpi the recording device reports). The pages are
// recorded in points, so undo that before replaying: the painter's own
// transform alone decides the scale, on a 1200 dpi PDF writer as on an image
// or a high-dpi screen.
void replay(QPainter &painter, const QPicture &picture, qreal pictureDpiX, qreal pictureDpiY)
{
    const QPaintDevice *device = painter.device();
    painter.scale(pictureDpiX / device->logicalDpiX(), pictureDpiY / device->logicalDpiY());
    painter.drawPicture(0, 0, picture);
}

void appendToBuffer(png_structp png, png_bytep data, png_size_t length)
{
    auto *bytes = static_cast<QByteArray *>(png_get_io_ptr(png));
    bytes->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void noFlush(png_structp) { }

// PNG pages are written with libpng directly: Qt's writer lets libpng try
// every row filter on every row, which costs three times the rendering of a
// page at 300 dpi. Pages are mostly empty paper and flat ink, where the Sub
// filter with a fast deflate level gives files about as small.
bool encodePng(const QImage &image, int dpi, QByteArray *out)
{
    const QImage argb = image.format() == QImage::Format_ARGB32
        ? image
        : image.convertToFormat(QImage::Format_ARGB32);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // libpng reports errors by longjmp; nothing below owns resources that
    // need unwinding except png and info, destroyed on both paths.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendToBuffer, noFlush);
    png_set_IHDR(png, info, png_uint_32(argb.width()), png_uint_32(argb.height()), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    const png_uint_32 dotsPerMeter = png_uint_32(qRound(dpi / 0.0254));
    png_set_pHYs(png, info, dotsPerMeter, dotsPerMeter, PNG_RESOLUTION_METER);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png); // 0xAARRGGBB in memory is B, G, R, A
#else
    png_set_swap_alpha(png); // A, R, G, B
#endif
    for (int y = 0; y < argb.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(argb.constScanLine(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

struct RenderedPage
{
    QByteArray bytes;
    bool ok = false;
};

// Renders one page at the given scale onto a fresh image and encodes it.
// Runs on a worker thread; touches nothing shared.
RenderedPage renderPage(const QPicture &picture, qreal pictureDpiX, qreal pictureDpiY,
                        QSize pixels, qreal scaleX, qreal scaleY, int dpi, const QColor &fill,
                        const QByteArray &format)
{
    RenderedPage result;
    const qint64 bytes = qint64(pixels.width()) * pixels.height() * 4;
    if (pixels.isEmpty() || bytes > ExportNames::MaxImageBytes)
        return result;
    QImage image(pixels, QImage::Format_ARGB32);
    if (image.isNull()) // allocation refused
        return result;
    image.fill(fill);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(scaleX, scaleY);
        replay(painter, picture, pictureDpiX, pictureDpiY);
    }
    // Only now: the resolution recorded in the file must not change the
    // replay above.
    const int dotsPerMeter = qRound(dpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    if (format == "png") {
        result.ok = encodePng(image, dpi, &result.bytes);
        return result;
    }
    QBuffer buffer(&result.bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(100);
    result.ok = writer.write(image);
    return result;
}

ExportResult failed(const QString &title, const QString &text)
{
    ExportResult result;
    result.messageTitle = title;
    result.message = text;
    return result;
}

ExportResult succeeded(const QString &target, const QStringList &files)
{
    ExportResult result;
    result.ok = true;
    result.target = target;
    result.files = files;
    return result;
}

// A failure's message goes to whoever reports for this process.
bool reported(const ExportResult &result)
{
    if (!result.ok && !result.message.isEmpty())
        Reporting::warning(result.messageTitle, result.message);
    if (result.ok && !result.warning.isEmpty())
        Reporting::warning(QStringLiteral("警告"), result.warning);
    return result.ok;
}

} // namespace

QString ExportNames::defaultTitle()
{
    return QStringLiteral("Kelvo工尺谱导出曲谱");
}

QString ExportNames::shortenUtf8(const QString &text, int maxBytes)
{
    if (text.toUtf8().size() <= maxBytes)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype cut = 0;
    int bytes = 0;
    for (qsizetype next = finder.toNextBoundary(); next > 0; next = finder.toNextBoundary()) {
        bytes += int(QStringView(text).mid(cut, next - cut).toUtf8().size());
        if (bytes > maxBytes)
            break;
        cut = next;
    }
    return text.left(cut);
}

QString ExportNames::exportBase(const QString &title)
{
    const QString trimmed = title.trimmed();
    const QString base = trimmed.isEmpty() ? defaultTitle() : trimmed;
    // A cut may leave a space at the end, which no file name should have.
    return shortenUtf8(base, MaxBaseBytes).trimmed();
}

QString ExportNames::firstFreeFolder(const QString &directory, const QString &base,
                                     const QString &suffix)
{
    const QDir dir(directory);
    const QString stem = base + QLatin1Char('_') + suffix;
    QString candidate = dir.filePath(stem);
    for (int n = 0; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = dir.filePath(stem + QLatin1Char('_') + QString::number(n));
    return candidate;
}

QString ExportNames::fontFileName(const QString &family)
{
    QString name;
    for (const QChar c : family) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')
            || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('"')
            || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('|'))
            continue;
        name += c;
    }
    name.replace(QStringLiteral(".."), QString());
    name = name.trimmed();
    // A leading dot would hide the file; trailing dots confuse some systems.
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    while (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    name = name.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("Kelvo工尺谱字体");
    // Keep the name short enough for any file system (255 bytes in UTF-8).
    return shortenUtf8(name, MaxBaseBytes) + QStringLiteral(".ttf");
}

QPageLayout ExportNames::pageLayout(const ExportSettings &config)
{
    return QPageLayout(pageSizeOf(config.pageWidth(), config.pageHeight()),
                       config.isLandscape() ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

QString ExportNames::svgNoteText()
{
    return QStringLiteral(
        "Kelvo工尺谱导出曲谱说明：SVG文件需要安装“Kelvo工尺谱字体.ttf”才能正常显示。");
}

int ExportWriters::dpiForQuality(int qualityIndex)
{
    switch (qualityIndex) {
    case 1:
        return 160;
    case 2:
        return 300;
    case 3:
        return 600;
    default:
        return 96;
    }
}

ExportResult ExportWriters::writePdf(GenerateSVG &gen, const QString &path)
{
    const ExportSettings *cfg = &gen.settings();
    const QFileInfo info(path);
    const QString lead = QStringLiteral("导出PDF文件失败");
    const auto refused = [&lead](const SafeWrite::Failure &why) {
        return failed(QStringLiteral("错误"), SafeWrite::message(lead, why));
    };

    // Refused before the pages are rendered: a target that cannot take the
    // file. An existing file must open for writing; nothing is written to
    // it here.
    CreatedFiles created;
    SafeWrite::Failure why;
    if (!created.makePath(info.absolutePath(), &why))
        return refused(why);
    if (info.isDir())
        return refused(SafeWrite::diagnose(path, EISDIR));
    if (info.isFile()) {
        QFile probe(path);
        errno = 0;
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) // never truncates
            return refused(SafeWrite::diagnose(path, errno));
        probe.close();
    }

    const int count = gen.pageCount();

    // The PDF writer ignores failed writes of its device and a file clears
    // such errors again, so the document is made in memory and written to
    // the file in one checked piece.
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Kelvo工尺谱"));
        writer.setTitle(gen.title().isEmpty() ? ExportNames::defaultTitle() : gen.title());
        writer.setPageLayout(ExportNames::pageLayout(*cfg));

        QPainter painter;
        if (!painter.begin(&writer)) {
            created.discard();
            return failed(QStringLiteral("错误"), QStringLiteral("导出PDF文件失败!"));
        }
        emit gen.progressUpdate(GenerateSVG::ProgressStart, 0, count, ExportWinTitle,
                                QStringLiteral("正在导出PDF文件···"));

        QList<int> order(count);
        std::iota(order.begin(), order.end(), 0);
        gen.replayPages(&painter, &writer, order);
        emit gen.progressUpdate(GenerateSVG::ProgressEnd, count, count, QString(), QString());
        painter.end();
    }
    // Only a complete file replaces the old PDF (a full disk, a folder
    // removed meanwhile), by the rule of every file the user chose.
    if (!SafeWrite::writeWhole(path, pdf, SafeWrite::userFile(), &why)) {
        created.discard();
        return refused(why);
    }
    const QString written = QFileInfo(path).absoluteFilePath();
    return succeeded(written, {written});
}

namespace {

// The new folder of an image or SVG export inside directory, named after the
// title (an untitled generator gets the default one). Whatever the export
// creates is kept in created, to go again when it fails. Empty, with
// *refusal set (title: its message's title), when it cannot be made.
QString pageFolder(GenerateSVG &gen, const QString &directory, const QString &suffix,
                   CreatedFiles &created, const QString &title, ExportResult *refusal)
{
    if (!created.makePath(directory)) {
        created.discard();
        *refusal = ExportResult(); // nothing the user could be told beyond the failure
        return QString();
    }
    if (gen.title().trimmed().isEmpty())
        gen.setTitle(ExportNames::defaultTitle());
    const QString folder = ExportNames::firstFreeFolder(
        QDir(directory).absolutePath(), ExportNames::exportBase(gen.title()), suffix);
    SafeWrite::Failure why;
    if (!created.makePath(folder, &why)) {
        created.discard();
        *refusal = failed(title, SafeWrite::message(QStringLiteral("创建目录失败"), why));
        return QString();
    }
    return folder;
}

} // namespace

ExportResult ExportWriters::writeImages(GenerateSVG &gen, const QString &directory,
                                        int qualityIndex, const QString &format)
{
    const ExportSettings *cfg = &gen.settings();
    const QString fmt = format.toLower();
    CreatedFiles created;
    ExportResult refusal;
    const QString folder = pageFolder(gen, directory, fmt, created, QStringLiteral("提示"), &refusal);
    if (folder.isEmpty())
        return refusal;
    const QString base = ExportNames::exportBase(gen.title());
    SafeWrite::Failure why;

    const int dpi = dpiForQuality(qualityIndex);
    const QList<QPicture> &pics = gen.pictures();
    const int count = int(pics.size());
    emit gen.progressUpdate(GenerateSVG::ProgressStart, 0, count, ExportWinTitle,
                            QStringLiteral("正在导出") + fmt + QStringLiteral("文件···"));

    QSize pixels = pageSizeOf(cfg->pageWidth(), cfg->pageHeight()).sizePixels(dpi);
    if (cfg->isLandscape())
        pixels.transpose();
    // The recording covers the generated page in points; stretch it over the
    // whole image as an SVG renderer would.
    const QSize page = gen.pageSize().isEmpty() ? cfg->pageSizePoints() : gen.pageSize();
    const qreal sx = page.width() > 0 ? qreal(pixels.width()) / page.width() : dpi / 72.0;
    const qreal sy = page.height() > 0 ? qreal(pixels.height()) / page.height() : dpi / 72.0;
    const QColor fill = fmt.contains(QLatin1String("png")) ? QColor(Qt::transparent)
                                                           : cfg->backgroundColor();
    const QByteArray writerFormat = fmt.toLatin1();

    // Pages are rendered and encoded on the worker threads, a few at a time
    // so memory stays bounded, and written here in page order.
    const qint64 imageBytes = qint64(pixels.width()) * pixels.height() * 4;
    const qint64 budget = qint64(400) * 1024 * 1024;
    const int threads = std::max(1, QThread::idealThreadCount());
    const int window = int(std::clamp<qint64>(budget / std::max<qint64>(imageBytes, 1), 1,
                                              threads + 1));

    std::deque<QFuture<RenderedPage>> inFlight;
    int next = 0;
    auto submit = [&] {
        while (next < count && int(inFlight.size()) < window) {
            const QPicture copy = detachedCopy(pics.at(next));
            inFlight.push_back(QtConcurrent::run(renderPage, copy, copy.logicalDpiX(),
                                                 copy.logicalDpiY(), pixels, sx, sy, dpi, fill,
                                                 writerFormat));
            ++next;
        }
    };
    // A page that could not be made, or, with its cause, one that could
    // not be written.
    auto fail = [&](const SafeWrite::Failure &write = {}) {
        for (auto &f : inFlight)
            f.waitForFinished();
        created.discard();
        emit gen.progressUpdate(GenerateSVG::ProgressEnd, count, count, QString(), QString());
        return failed(QStringLiteral("提示"),
                      write.failed() ? SafeWrite::message(QStringLiteral("导出图片失败"), write)
                                     : QStringLiteral("导出图片失败！"));
    };

    for (int i = 0; i < count; ++i) {
        submit();
        const RenderedPage rendered = inFlight.front().result();
        inFlight.pop_front();
        if (!rendered.ok)
            return fail();
        if (!created.write(QDir(folder).filePath(base + QLatin1Char('_') + QString::number(i)
                                                 + QLatin1Char('.') + fmt),
                           rendered.bytes, {}, &why))
            return fail(why);
        emit gen.progressUpdate(GenerateSVG::ProgressStep, i + 1, count, QString(), QString());
    }
    emit gen.progressUpdate(GenerateSVG::ProgressEnd, count, count, QString(), QString());
    return succeeded(folder, created.files());
}

ExportResult ExportWriters::writeSvg(GenerateSVG &gen, const QString &directory)
{
    const ExportSettings *cfg = &gen.settings();
    CreatedFiles created;
    ExportResult refusal;
    const QString folder = pageFolder(gen, directory, QStringLiteral("svg"), created,
                                      QStringLiteral("错误"), &refusal);
    if (folder.isEmpty())
        return refusal;
    const QString base = ExportNames::exportBase(gen.title());
    SafeWrite::Failure why;
    const QDir target(folder);

    const QList<QByteArray> &docs = gen.pages();
    const int count = int(docs.size());
    emit gen.progressUpdate(GenerateSVG::ProgressStart, 0, count, ExportWinTitle, QStringLiteral("正在导出SVG文件···"));
    for (int i = 0; i < count; ++i) {
        if (!created.write(target.filePath(base + QLatin1Char('_') + QString::number(i)
                                           + QStringLiteral(".svg")),
                           docs.at(i), {}, &why)) {
            created.discard();
            emit gen.progressUpdate(GenerateSVG::ProgressEnd, count, count, QString(), QString());
            return failed(QStringLiteral("错误"),
                          SafeWrite::message(QStringLiteral("导出SVG文件失败"), why));
        }
        emit gen.progressUpdate(GenerateSVG::ProgressStep, i + 1, count, QString(), QString());
    }
    emit gen.progressUpdate(GenerateSVG::ProgressEnd, count, count, QString(), QString());

    QFile embedded(QStringLiteral(":/resources/fonts/tandelkx.ttf"));
    QByteArray fontBytes;
    if (embedded.open(QIODevice::ReadOnly))
        fontBytes = embedded.readAll();
    if (!fontBytes.isEmpty()) {
        if (!created.write(target.filePath(ExportNames::fontFileName(cfg->scoreFont().family())),
                           fontBytes, {}, &why)) {
            created.discard();
            return failed(QStringLiteral("错误"),
                          SafeWrite::message(QStringLiteral("导出字体文件失败"), why));
        }
    }

    // Only a help text beside the pages: when it cannot be written whole it
    // is left out, as when it cannot be created at all.
    created.write(target.filePath(QStringLiteral("说明文件.txt")),
                  ExportNames::svgNoteText().toUtf8(), QIODevice::Text);
    return succeeded(folder, created.files());
}

namespace {

using Encoder = QByteArray (*)(const Music::Performance &, const Music::Options &);

// What every music writer refuses before it writes anything: options it
// cannot use, a score without a note. (A folder as the target fails where
// the file is written, with the cause in the message.)
std::optional<ExportResult> musicRefusal(const Music::Performance &performance,
                                         const Music::Options &options)
{
    const QString problem = Music::checkOptions(options);
    if (!problem.isEmpty())
        return failed(QStringLiteral("错误"), problem);
    if (performance.noteCount() == 0)
        return failed(QStringLiteral("警告"), QStringLiteral("没有可导出的音符"));
    return std::nullopt;
}

ExportResult writeMusic(const Music::Performance &performance, const Music::Options &options,
                        const QString &path, Encoder encode, const QString &lead)
{
    const QFileInfo info(path);
    if (const auto refusal = musicRefusal(performance, options))
        return *refusal;
    const QString target = info.absoluteFilePath();
    // As for a PDF: missing folders are made, and taken away again when
    // the file cannot be written after all.
    CreatedFiles created;
    SafeWrite::Failure why;
    if (!created.makePath(info.absolutePath(), &why)
        || !SafeWrite::writeWhole(target, encode(performance, options), SafeWrite::userFile(),
                                  &why)) {
        created.discard();
        return failed(QStringLiteral("错误"), SafeWrite::message(lead, why));
    }
    return succeeded(target, {target});
}

} // namespace

ExportResult ExportWriters::writeMidi(const Music::Performance &performance,
                                      const Music::Options &options, const QString &path)
{
    return writeMusic(performance, options, path, &Midi::encode,
                      QStringLiteral("导出MIDI文件失败"));
}

ExportResult ExportWriters::writeMusicXml(const Music::Performance &performance,
                                          const Music::Options &options, const QString &path)
{
    return writeMusic(performance, options, path, &MusicXml::encode,
                      QStringLiteral("导出MusicXML文件失败"));
}

ExportResult ExportWriters::writeWav(const Music::Performance &performance,
                                     const Music::Options &options, const QString &soundFont,
                                     const QString &path, const AudioProgress &progress)
{
    const QFileInfo info(path);
    const QString lead = QStringLiteral("导出WAV文件失败");
    if (const auto refusal = musicRefusal(performance, options))
        return *refusal;
    const QString target = info.absoluteFilePath();
    // Refused before any waiting: the renderer would stop there anyway.
    int endUnits = 0;
    for (const Music::Section &section : performance.sections) {
        endUnits = std::max(endUnits, section.startUnits + section.lengthUnits);
        for (const Music::NoteEvent &note : section.notes)
            endUnits = std::max(endUnits,
                                section.startUnits + note.onsetUnits + note.lengthUnits);
    }
    if (double(endUnits) / Music::UnitsPerBeat * 60 / options.tempo > Audio::MaxWavSeconds)
        return failed(QStringLiteral("错误"), Audio::tooLong());
    SoundFonts::Choice choice = SoundFonts::choose(soundFont);
    if (choice.path.isEmpty())
        return failed(QStringLiteral("错误"), choice.warning);

    // The sound is rendered straight into the file opened by the rule of
    // every file the user chose (FluidSynth writes to a file name).
    CreatedFiles created;
    SafeWrite::Failure why;
    if (!created.makePath(info.absolutePath(), &why))
        return failed(QStringLiteral("错误"), SafeWrite::message(lead, why));
    const QByteArray midi = Midi::encode(performance, options);
    std::optional<Audio::RenderResult> rendered;
    const auto render = [&](QFileDevice &file, int *code) {
        rendered = Audio::renderWav(midi, choice.path, SafeWrite::nameOfOpenFile(file), progress);
        *code = rendered->writeError;
        return rendered->ok;
    };
    // A SoundFont whose notes came out silent is now marked unusable: the
    // choice falls back from it as from a damaged one. The preferred file
    // is named in the choice's own warning, any other here.
    QString silenced;
    bool written = false;
    const qsizetype candidates = SoundFonts::systemSoundFonts().size() + 1;
    for (qsizetype tried = 1;; ++tried) {
        written = SafeWrite::writeWith(target, render, SafeWrite::userFile(), &why);
        if (written || !rendered || !rendered->silent)
            break;
        if (soundFont.isEmpty()
            || QFileInfo(choice.path).absoluteFilePath() != QFileInfo(soundFont).absoluteFilePath())
            silenced += rendered->message;
        choice = tried < candidates ? SoundFonts::choose(soundFont) : SoundFonts::Choice();
        if (choice.path.isEmpty()) {
            rendered->message = silenced + (choice.warning.isEmpty() ? SoundFonts::noneUsableMessage()
                                                                     : choice.warning);
            break;
        }
    }
    if (!written) {
        created.discard();
        if (rendered && rendered->cancelled)
            return ExportResult();
        // The file could not be opened, written or put in place; or the
        // rendering failed for a reason of its own.
        const bool writing = !rendered || rendered->ok || rendered->writeFailed;
        return failed(QStringLiteral("错误"),
                      writing ? SafeWrite::message(lead, why) : rendered->message);
    }
    ExportResult result = succeeded(target, {target});
    result.warning = silenced + choice.warning;
    result.seconds = rendered->seconds;
    return result;
}

bool ExportWriters::report(const ExportResult &result)
{
    return reported(result);
}
