// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ExportJob.h"

#include "document/Pairing.h"
#include "document/TextNormalisation.h"
#include "jianpu/JianpuLayout.h"
#include "music/Reading.h"
#include "render/GenerateSVG.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

ExportJob::TargetProblem ExportJob::checkTarget(const ExportFormats::Format &format,
                                                const QString &target)
{
    const QFileInfo info(target);
    if (!format.folder)
        return info.isDir() ? TargetProblem::IsDirectory : TargetProblem::None;
    if (info.exists() && !info.isDir())
        return TargetProblem::NotDirectory;
    if (!QDir().mkpath(target))
        return TargetProblem::CannotCreate;
    if (!QFileInfo(target).isWritable())
        return TargetProblem::NotWritable;
    return TargetProblem::None;
}

void ExportJob::layPages(GenerateSVG &generator, const LayoutItems &items,
                         const Music::Options &music, bool previewOnly)
{
    if (generator.config()->notation() == ExportSettings::JianpuNotation)
        Jianpu::generate(generator, items, music);
    else
        generator.generate(items, previewOnly);
}

ExportResult ExportJob::run(const ExportRequest &request, const ExportProgress &progress,
                            ExportDetails *details)
{
    ExportDetails unused;
    ExportDetails &made = details ? *details : unused;
    const ExportFormats::Format &format = *request.format;

    LayoutItems items;
    if (request.texts) {
        // Paired exactly as the editor opens the file.
        const ScoreSyntax::NormalisedDocument document =
            ScoreSyntax::normaliseDocument(request.texts->lyric, request.texts->score);
        items = ScoreSyntax::layoutItems(PlainLines(document.lyric), PlainLines(document.score));
    } else {
        items = request.items;
    }

    if (!format.paged) {
        const Music::Performance performance = Music::read(items, request.music);
        made.notes = performance.noteCount();
        made.sections = int(performance.sections.size());
        for (const Music::Section &section : performance.sections)
            made.foldedNotes += section.foldedNotes;
        return format.musicWriter(performance, request.music, request.soundFont, request.target,
                                  progress.fraction);
    }

    std::unique_ptr<GenerateSVG> own;
    GenerateSVG *generator = request.pages;
    if (!generator) {
        own = std::make_unique<GenerateSVG>(request.config);
        generator = own.get();
    }
    QMetaObject::Connection steps;
    if (progress.steps)
        steps = QObject::connect(generator, &GenerateSVG::progressUpdate, generator,
                                 progress.steps);
    generator->clearPages();
    layPages(*generator, items, request.music);
    if (progress.laidOut)
        progress.laidOut(generator->wasTruncated());
    const ExportResult result = format.pageWriter(*generator, request.target, request.quality);
    QObject::disconnect(steps);

    made.pages = generator->pageCount();
    made.truncated = generator->wasTruncated();
    made.layoutWarnings.clear();
    for (const QString &warning : generator->layoutWarnings())
        if (!made.layoutWarnings.contains(warning))
            made.layoutWarnings << warning;
    return result;
}
