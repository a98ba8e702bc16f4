// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A synthetic act for the benchmarks: lyric text shaped like real scores and
// notation for every sung character. Header-only, shared by the bench
// programs.

#include "core/DataPaths.h"
#include "core/Resources.h"
#include "document/GongcheSymbols.h"
#include "document/SampleScore.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "document/TextNormalisation.h"
#include "editor/EditorConfig.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"

#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace BenchDocument {

// What the program does at start-up, with every file in dataDir. Call it
// right after creating the application object; dataDir must outlive it (the
// settings are saved at exit).
inline void initApplication(const QString &dataDir)
{
    DataPaths::setOverride(dataDir);
    initResources();
    FontRegistry::instance();
    installPlatformFontSubstitutions();
    EditorConfig::instance();
}

inline QString ideographs(QRandomGenerator &rng, int n)
{
    // A common stretch of the CJK block, so the text shapes like real lyrics.
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(char16_t(0x4E00 + rng.bounded(0x5000)));
    return s;
}

// Lyric text of `lineCount` lines: a title, tune headings with their modes,
// sung lines of 7-10 ideographs with punctuation, spoken passages, comments,
// column and page breaks.
inline QString makeLyric(QRandomGenerator &rng, int lineCount)
{
    static const QStringList punct = {QStringLiteral("，"), QStringLiteral("。"),
                                      QStringLiteral("、"), QStringLiteral("！"),
                                      QStringLiteral("？")};
    QStringList lines;
    lines << QStringLiteral("# ") + ideographs(rng, 4);
    while (lines.size() < lineCount) {
        const int r = int(rng.bounded(100));
        if (r < 4)
            lines << QStringLiteral("【") + ideographs(rng, 3) + QStringLiteral("】(")
                         + ideographs(rng, 3) + QStringLiteral(")");
        else if (r < 10)
            lines << QStringLiteral("= ") + ideographs(rng, 12 + int(rng.bounded(20)))
                         + punct.at(1);
        else if (r < 14)
            lines << QStringLiteral("> ") + ideographs(rng, 6) + punct.at(0);
        else if (r < 16)
            lines << QStringLiteral("; ") + ideographs(rng, 5);
        else if (r < 17)
            lines << QStringLiteral("@换行符");
        else if (r < 18)
            lines << QStringLiteral("@分页符");
        else {
            const int n = 7 + int(rng.bounded(4));
            const int cut = 3 + int(rng.bounded(n - 4));
            lines << ideographs(rng, cut) + punct.at(0) + ideographs(rng, n - cut)
                         + punct.at(int(rng.bounded(punct.size())));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

// One score line of 2-6 symbols per paired character (pitches with a beat
// mark now and then), plus the trailing line an edited score keeps.
inline QString makeScore(QRandomGenerator &rng, int pairedCount)
{
    QStringList lines;
    lines.reserve(pairedCount + 1);
    for (int i = 0; i < pairedCount; ++i) {
        QString line;
        const int n = 2 + int(rng.bounded(5));
        for (int k = 0; k < n; ++k) {
            const char32_t c = k == 1 && rng.bounded(2)
                ? Gongche::TouBan + char32_t(rng.bounded(8))
                : Gongche::PitchBlockStart + char32_t(rng.bounded(Gongche::PitchBlockSize));
            line += Gongche::toString(c);
        }
        lines << line;
    }
    lines << QString();
    return lines.join(QLatin1Char('\n'));
}

// The bundled sample repeated (the last copy cut short) to `lyricLines`
// lyric lines, with the notation of every paired character: a long act of
// real text. Empty texts should the sample be missing.
struct Texts
{
    QString lyric;
    QString score;
};

inline Texts repeatedSample(int lyricLines)
{
    initResources();
    QFile file(SampleScore::resourcePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const ScoreFile::Decoded decoded = ScoreFile::decode(file.readAll());
    const ScoreSyntax::NormalisedDocument sample =
        ScoreSyntax::normaliseDocument(decoded.lyric, decoded.score);
    const QStringList lyric = sample.lyric.split(QLatin1Char('\n'));
    const QStringList score = sample.score.split(QLatin1Char('\n'));
    QStringList outLyric, outScore;
    outLyric.reserve(lyricLines);
    while (outLyric.size() < lyricLines) {
        const QStringList part = lyric.mid(0, lyricLines - outLyric.size());
        const int paired = ScoreSyntax::pairedCount(PlainLines(part));
        outLyric += part;
        for (int i = 0; i < paired; ++i)
            outScore << score.value(i);
    }
    outScore << QString();
    return {outLyric.join(QLatin1Char('\n')), outScore.join(QLatin1Char('\n'))};
}

// Peak resident memory of this process so far, in MiB (VmHWM); -1 where
// the system does not tell.
inline double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

} // namespace BenchDocument
