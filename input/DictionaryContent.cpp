// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/DictionaryContent.h"

#include "document/GongcheSymbols.h"

#include <QString>
#include <QStringList>

QByteArray shippedDictionaryContent()
{
    static const char crlf[] = "\r\n";
    QByteArray out = QStringLiteral("unicode编码 拼音 权重 注释").toUtf8() + crlf;
    for (char32_t c : Gongche::allSymbols()) {
        const QString code =
            QStringLiteral("U%1").arg(uint(c), 8, 16, QLatin1Char('0')).toUpper();
        const QString name = Gongche::dictionaryName(c);
        for (const QString &abbreviation : Gongche::dictionaryAbbreviations(c)) {
            const QString row = code + QLatin1Char(' ') + abbreviation
                                + QStringLiteral(" 0.6 ") + name;
            out += row.toUtf8() + crlf;
        }
    }
    return out;
}

namespace {

const QString BeginMarker = QStringLiteral("<!-- abbreviations: generated");
const QString EndMarker = QStringLiteral("<!-- abbreviations: end -->");

QString code(const QString &abbreviation)
{
    return QLatin1Char('`') + abbreviation + QLatin1Char('`');
}

// The one abbreviation of a pitch glyph, "—" for a combination that does not
// exist (六 in the low octave, say).
QString pitchCell(Gongche::Pitch pitch, Gongche::Octave octave, bool breath, bool small)
{
    const char32_t c = Gongche::compose(pitch, octave, breath, small);
    const QStringList abbreviations = Gongche::dictionaryAbbreviations(c);
    return abbreviations.isEmpty() ? QStringLiteral("—") : code(abbreviations.join(QStringLiteral(" / ")));
}

} // namespace

QString guideAbbreviationTables()
{
    using namespace Gongche;
    QString out = QStringLiteral("| 板眼、腔调 Mark | 缩写 Abbreviations |\n|---|---|\n");
    for (char32_t c = FirstMark; c <= LastMark; ++c) {
        QStringList abbreviations;
        for (const QString &abbreviation : dictionaryAbbreviations(c))
            abbreviations << code(abbreviation);
        out += QStringLiteral("| %1 | %2 |\n").arg(dictionaryName(c), abbreviations.join(QStringLiteral(" ")));
    }

    out += QStringLiteral("\n| 工尺 Pitch | 低八度 low | 本音 middle | 高八度 high | 高十六度 double high |\n"
                          "|---|---|---|---|---|\n");
    const Octave octaves[] = {Octave::Low, Octave::Middle, Octave::High, Octave::DoubleHigh};
    for (int p = 0; p < PitchCount; ++p) {
        const auto pitch = static_cast<Pitch>(p);
        out += QStringLiteral("| ") + pitchCharacter(pitch);
        for (Octave octave : octaves)
            out += QStringLiteral(" | ") + pitchCell(pitch, octave, false, false);
        out += QStringLiteral(" |\n");
    }

    const auto example = [](bool breath, bool small) {
        const char32_t c = compose(Pitch::Gong, Octave::High, breath, small);
        return code(dictionaryAbbreviations(c).value(0)) + QLatin1Char(' ') + dictionaryName(c);
    };
    out += QStringLiteral("\n气口 / breath mark: %1; 小字 / small: %2; 两者 / both: %3.\n")
               .arg(example(true, false), example(false, true), example(true, true));
    return out;
}

QString withGuideAbbreviationTables(const QString &guide)
{
    const qsizetype begin = guide.indexOf(BeginMarker);
    if (begin < 0)
        return QString();
    const qsizetype afterBegin = guide.indexOf(QLatin1Char('\n'), begin);
    const qsizetype end = afterBegin < 0 ? -1 : guide.indexOf(EndMarker, afterBegin);
    if (end < 0)
        return QString();
    return guide.left(afterBegin + 1) + guideAbbreviationTables() + guide.mid(end);
}
