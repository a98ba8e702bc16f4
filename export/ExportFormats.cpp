// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ExportFormats.h"

#include "music/Performance.h"

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

QString s(const char *text)
{
    return QString::fromUtf8(text);
}

// name, aliases, label, suffix, caption, filter, paged, folder, options,
// needs a SoundFont, page writer, music writer.
QList<Format> makeTable()
{
    constexpr unsigned Pages = Scheme | Style;
    return {
        {s("pdf"), {}, s("PDF"), s("pdf"), s("导出为PDF文件"), s("PDF文件 (*.pdf)"), true,
         false, Pages, false, &pdf, nullptr},
        {s("png"), {}, s("PNG"), s("png"), s("导出为PNG文件"), QString(), true, true,
         Pages | Dpi, false, &png, nullptr},
        {s("jpg"), {s("jpeg")}, s("JPG"), s("jpg"), s("导出为JPG文件"), QString(), true, true,
         Pages | Dpi, false, &jpg, nullptr},
        {s("svg"), {}, s("SVG"), s("svg"), s("导出为SVG文件"), QString(), true, true, Pages,
         false, &svg, nullptr},
        {s("midi"), {s("mid")}, s("MIDI"), s("mid"), s("导出为MIDI文件"),
         s("MIDI 文件 (*.mid)"), false, false, MusicOptions, false, nullptr, &midi},
        {s("musicxml"), {s("xml")}, s("MusicXML"), s("musicxml"), s("导出为MusicXML文件"),
         s("MusicXML 文件 (*.musicxml)"), false, false, Tempo | Transpose | Rhythm, false, nullptr,
         &musicXml},
        {s("wav"), {s("wave")}, s("WAV"), s("wav"), s("导出为WAV音频"), s("WAV 音频 (*.wav)"),
         false, false, MusicOptions | SoundFont, true, nullptr, &ExportWriters::writeWav},
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
