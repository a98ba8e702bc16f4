// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ExportFormats.h"

#include "music/Reading.h"

namespace {

using namespace ExportFormats;

ExportResult pdf(GenerateSVG &pages, const QString &target, int)
{
    return ExportWriters::writePdf(pages, target);
}

ExportResult png(GenerateSVG &pages, const QString &target, int quality)
{
    return ExportWriters::writeImages(pages, target, quality, QStringLiteral("png"));
}

ExportResult jpg(GenerateSVG &pages, const QString &target, int quality)
{
    return ExportWriters::writeImages(pages, target, quality, QStringLiteral("jpg"));
}

ExportResult svg(GenerateSVG &pages, const QString &target, int)
{
    return ExportWriters::writeSvg(pages, target);
}

ExportResult midi(const Music::Performance &performance, const Music::Options &options,
                  const QString &, const QString &target, const ExportWriters::AudioProgress &)
{
    return ExportWriters::writeMidi(performance, options, target);
}

ExportResult musicXml(const Music::Performance &performance, const Music::Options &options,
                      const QString &, const QString &target,
                      const ExportWriters::AudioProgress &)
{
    return ExportWriters::writeMusicXml(performance, options, target);
}

QList<Format> makeTable()
{
    const unsigned pages = Scheme | Style;
    auto page = [](QString name, QStringList aliases, QString label, QString caption,
                   QString filter, bool folder, unsigned options, PageWriter writer) {
        Format f;
        f.name = name;
        f.aliases = aliases;
        f.label = label;
        f.suffix = name;
        f.caption = caption;
        f.filter = filter;
        f.paged = true;
        f.folder = folder;
        f.options = options;
        f.pageWriter = writer;
        return f;
    };
    auto music = [](QString name, QStringList aliases, QString label, QString suffix,
                    QString caption, QString filter, unsigned options, bool soundFont,
                    MusicWriter writer) {
        Format f;
        f.name = name;
        f.aliases = aliases;
        f.label = label;
        f.suffix = suffix;
        f.caption = caption;
        f.filter = filter;
        f.options = options;
        f.needsSoundFont = soundFont;
        f.musicWriter = writer;
        return f;
    };
    return {
        page(QStringLiteral("pdf"), {}, QStringLiteral("PDF"), QStringLiteral("导出为PDF文件"),
             QStringLiteral("PDF文件 (*.pdf)"), false, pages, &pdf),
        page(QStringLiteral("png"), {}, QStringLiteral("PNG"), QStringLiteral("导出为PNG文件"),
             QString(), true, pages | Dpi, &png),
        page(QStringLiteral("jpg"), {QStringLiteral("jpeg")}, QStringLiteral("JPG"),
             QStringLiteral("导出为JPG文件"), QString(), true, pages | Dpi, &jpg),
        page(QStringLiteral("svg"), {}, QStringLiteral("SVG"), QStringLiteral("导出为SVG文件"),
             QString(), true, pages, &svg),
        music(QStringLiteral("midi"), {QStringLiteral("mid")}, QStringLiteral("MIDI"),
              QStringLiteral("mid"), QStringLiteral("导出为MIDI文件"),
              QStringLiteral("MIDI 文件 (*.mid)"), MusicOptions, false, &midi),
        music(QStringLiteral("musicxml"), {QStringLiteral("xml")}, QStringLiteral("MusicXML"),
              QStringLiteral("musicxml"), QStringLiteral("导出为MusicXML文件"),
              QStringLiteral("MusicXML 文件 (*.musicxml)"), Tempo | Transpose, false,
              &musicXml),
        music(QStringLiteral("wav"), {QStringLiteral("wave")}, QStringLiteral("WAV"),
              QStringLiteral("wav"), QStringLiteral("导出为WAV音频"),
              QStringLiteral("WAV 音频 (*.wav)"), MusicOptions | SoundFont, true,
              &ExportWriters::writeWav),
    };
}

} // namespace

const QList<Format> &ExportFormats::all()
{
    static const QList<Format> table = makeTable();
    return table;
}

const Format *ExportFormats::find(const QString &nameOrAlias)
{
    const QString name = nameOrAlias.toLower();
    for (const Format &format : all())
        if (format.name == name || format.aliases.contains(name))
            return &format;
    return nullptr;
}

const Format &ExportFormats::fallback()
{
    return all().first();
}

QStringList ExportFormats::names(bool (*test)(const Format &))
{
    QStringList result;
    for (const Format &format : all())
        if (!test || test(format))
            result << format.name;
    return result;
}

QString ExportFormats::list(const QStringList &names, const QString &lastSeparator)
{
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + lastSeparator
           + names.last();
}
