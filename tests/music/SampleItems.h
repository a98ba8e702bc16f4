// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/ScoreFile.h"
#include "document/ScoreSyntax.h"

#include <QFile>

// The bundled sample's lines as the program reads them; empty when the file
// is missing or damaged.
inline LayoutItems sampleItems()
{
    QFile file(QStringLiteral(KELVO_SOURCE_DIR "/examples/sample.gcp"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto decoded = ScoreFile::decode(file.readAll());
    if (!decoded.ok())
        return {};
    const auto text = ScoreSyntax::normaliseDocument(decoded.lyric, decoded.score);
    return ScoreSyntax::layoutItems(PlainLines(text.lyric), PlainLines(text.score));
}
