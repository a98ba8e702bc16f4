// SPDX-License-Identifier: GPL-3.0-or-later
// kelvo-font-specimen OUT.png [pointSize] [--no-boxes]
//
// Renders all notation symbols of the embedded notation font in a labelled
// grid: the fourteen marks, then each pitch block with one row per octave.
// Every cell shows the em box (grey), the tight bounding box the layout
// measures (red) and the glyph itself, so misplaced or clipped outlines
// are visible at a glance. Runs headless (QT_QPA_PLATFORM=offscreen).

#include "core/Resources.h"
#include "document/GongcheSymbols.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QRawFont>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

const char *const kFontResource = ":/resources/fonts/tandelkx.ttf";

struct Section
{
    QString title;
    QList<QList<char32_t>> rows;
};

QList<Section> sections()
{
    using namespace Gongche;
    QList<Section> out;
    Section marks{QStringLiteral("Marks U+F0000–U+F000D"), {}};
    QList<char32_t> row;
    for (char32_t c = FirstMark; c <= LastMark; ++c) {
        row.append(c);
        if (row.size() == 7) {
            marks.rows.append(row);
            row.clear();
        }
    }
    out.append(marks);

    const char *blockNames[PitchBlockCount] = {"plain", "气口", "小", "气口小"};
    for (int b = 0; b < PitchBlockCount; ++b) {
        const char32_t start = PitchBlockStart + char32_t(PitchBlockSize * b);
        Section s{QStringLiteral("Block %1 (%2) U+%3")
                      .arg(b)
                      .arg(QString::fromUtf8(blockNames[b]))
                      .arg(uint(start), 0, 16)
                      .toUpper(),
                  {}};
        // Offsets 0-6 low, 7-16 middle, 17-23 high, 24-30 double high.
        const int bounds[5] = {0, 7, 17, 24, 31};
        for (int o = 0; o < 4; ++o) {
            QList<char32_t> r;
            for (int i = bounds[o]; i < bounds[o + 1]; ++i)
                r.append(start + char32_t(i));
            s.rows.append(r);
        }
        out.append(s);
    }
    return out;
}

QString labelFamily()
{
    const QStringList preferred = {QStringLiteral("Noto Sans CJK SC"),
                                   QStringLiteral("Noto Serif CJK SC"),
                                   QStringLiteral("WenQuanYi Micro Hei"),
                                   QStringLiteral("AR PL UKai CN"),
                                   QStringLiteral("AR PL UMing CN")};
    const QStringList families = QFontDatabase::families();
    for (const QString &f : preferred) {
        if (families.contains(f))
            return f;
    }
    for (const QString &f : families) {
        if (QFontDatabase::writingSystems(f).contains(QFontDatabase::SimplifiedChinese))
            return f;
    }
    return QString(); // default font; labels may lack CJK then
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    QStringList args = app.arguments();
    // The boxes help judging placement, but hide the ink at small sizes.
    const bool boxes = !args.removeAll(QStringLiteral("--no-boxes"));
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: kelvo-font-specimen OUT.png [pointSize] [--no-boxes]\n";
        return 2;
    }
    const QString outPath = args.at(1);
    double pointSize = 32;
    if (args.size() == 3) {
        bool ok = false;
        pointSize = args.at(2).toDouble(&ok);
        if (!ok || pointSize < 4 || pointSize > 400) {
            err << "pointSize must be a number between 4 and 400\n";
            return 2;
        }
    }

    initResources();
    QFile file(QString::fromLatin1(kFontResource));
    if (!file.open(QIODevice::ReadOnly)) {
        err << "cannot open " << kFontResource << "\n";
        return 1;
    }
    const QByteArray fontData = file.readAll();
    const int id = QFontDatabase::addApplicationFontFromData(fontData);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (id < 0 || families.isEmpty()) {
        err << "the notation font could not be loaded\n";
        return 1;
    }

    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    const double dpi = probe.logicalDpiY();
    const double pixelSize = pointSize * dpi / 72.0;

    QFont glyphFont(families.first());
    glyphFont.setPointSizeF(pointSize);
    // No fallback: a symbol our font lacks must show as missing, not as
    // some other font's glyph.
    glyphFont.setStyleStrategy(QFont::StyleStrategy(QFont::NoFontMerging | QFont::PreferAntialias));
    QRawFont raw(fontData, pixelSize);

    QFont labelFont(labelFamily());
    labelFont.setPixelSize(11);
    QFont titleFont(labelFamily());
    titleFont.setPixelSize(15);
    titleFont.setBold(true);
    const QFontMetricsF labelMetrics(labelFont);
    const QFontMetricsF glyphMetrics(glyphFont, &probe);

    const QList<Section> secs = sections();
    int maxColumns = 0;
    for (const Section &s : secs) {
        for (const auto &r : s.rows)
            maxColumns = std::max(maxColumns, int(r.size()));
    }
    double labelWidth = 0;
    for (char32_t c : Gongche::allSymbols())
        labelWidth = std::max(labelWidth, labelMetrics.horizontalAdvance(Gongche::dictionaryName(c)));

    const double margin = 16;
    const double emHeight = glyphMetrics.ascent() + glyphMetrics.descent();
    const double cellW = std::ceil(std::max(pixelSize * 1.4, labelWidth + 8));
    const double cellH = std::ceil(emHeight + pixelSize * 0.3 + 2 * labelMetrics.height() + 6);
    const double titleH = 28;
    int rowCount = 0;
    for (const Section &s : secs)
        rowCount += int(s.rows.size());
    const int width = int(2 * margin + maxColumns * cellW);
    const int height = int(2 * margin + secs.size() * titleH + rowCount * cellH);

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    double y = margin;
    int missing = 0;
    for (const Section &s : secs) {
        p.setFont(titleFont);
        p.setPen(Qt::black);
        p.drawText(QRectF(margin, y, width - 2 * margin, titleH), Qt::AlignLeft | Qt::AlignVCenter,
                   s.title);
        y += titleH;
        for (const auto &r : s.rows) {
            double x = margin;
            for (char32_t c : r) {
                const QString text = Gongche::toString(c);
                const double advance = glyphMetrics.horizontalAdvance(text);
                const double gx = x + (cellW - advance) / 2;
                const double baseline = y + 4 + glyphMetrics.ascent();
                if (boxes) {
                    p.setPen(QColor(215, 215, 215));
                    p.setBrush(Qt::NoBrush);
                    p.drawRect(QRectF(gx, y + 4, advance, emHeight));
                    const QRectF tight =
                        glyphMetrics.tightBoundingRect(text).translated(gx, baseline);
                    p.setPen(QColor(235, 120, 120));
                    p.drawRect(tight);
                }
                if (!raw.supportsCharacter(uint(c))) {
                    ++missing;
                    p.setPen(Qt::red);
                    p.drawLine(QPointF(gx, y + 4), QPointF(gx + advance, y + 4 + emHeight));
                }
                p.setFont(glyphFont);
                p.setPen(Qt::black);
                p.drawText(QPointF(gx, baseline), text);

                p.setFont(labelFont);
                p.setPen(QColor(60, 60, 160));
                const double ly = y + 4 + emHeight + pixelSize * 0.3;
                p.drawText(QRectF(x, ly, cellW, labelMetrics.height()), Qt::AlignHCenter,
                           QStringLiteral("U+%1").arg(uint(c), 0, 16).toUpper());
                p.setPen(Qt::black);
                p.drawText(QRectF(x, ly + labelMetrics.height(), cellW, labelMetrics.height()),
                           Qt::AlignHCenter, Gongche::dictionaryName(c));
                x += cellW;
            }
            y += cellH;
        }
    }
    p.end();

    if (!image.save(outPath)) {
        err << "cannot write " << outPath << "\n";
        return 1;
    }
    if (missing > 0) {
        err << missing << " symbols are missing from the font\n";
        return 1;
    }
    return 0;
}
