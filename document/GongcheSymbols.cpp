// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/GongcheSymbols.h"

#include <QChar>

namespace Gongche {

namespace {

// Marks in code-point order: the dictionary's name and its abbreviations.
struct MarkInfo
{
    const char16_t *name;
    const char *abbreviations; // space separated, in dictionary row order
};

const MarkInfo kMarks[MarkCount] = {
    {u"头板", "tb b"},
    {u"头眼/末眼", "ty my xy y"},
    {u"中眼", "zy y"},
    {u"赠板", "zb b"},
    {u"腰头眼/腰末眼", "yty ymy cty cmy yy cy"},
    {u"腰中眼", "yzy czy yy cy"},
    {u"腰板", "yb b"},
    {u"腰赠板", "yzb zb"},
    {u"疊腔", "dq"},
    {u"疊腔气口", "dqqk"},
    {u"底板", "db b"},
    {u"带腔撮腔", "dq cq"},
    {u"豁腔", "hq"},
    {u"擻腔", "sq"},
};

const char16_t *const kPitchCharacters[PitchCount] = {
    u"合", u"四", u"一", u"上", u"尺", u"工", u"凡", u"六", u"五", u"乙",
};
const char *const kPitchInitials[PitchCount] = {
    "h", "s", "y", "s", "c", "g", "f", "l", "w", "y",
};
const char16_t *const kOctaveSuffixes[OctaveCount] = {
    u"低八度", u"", u"高八度", u"高十六度",
};
const char *const kOctaveAbbreviations[OctaveCount] = {"d", "", "u", "uu"};

// Each octave's run inside a block: first offset, first pitch, last pitch.
struct OctaveRun
{
    int firstOffset;
    int firstPitch;
    int lastPitch;
};
const OctaveRun kOctaveRuns[OctaveCount] = {
    {0, int(Pitch::He), int(Pitch::Fan)},        // low: 合..凡
    {7, int(Pitch::He), int(Pitch::YiHigh)},     // middle: 合..乙
    {17, int(Pitch::Shang), int(Pitch::YiHigh)}, // high: 上..乙
    {24, int(Pitch::Shang), int(Pitch::YiHigh)}, // double high: 上..乙
};

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

} // namespace

bool isMark(char32_t c)
{
    return c >= FirstMark && c <= LastMark;
}

bool isPitchGlyph(char32_t c)
{
    return c >= PitchBlockStart && c <= LastPitchGlyph;
}

bool isSymbol(char32_t c)
{
    return isMark(c) || isPitchGlyph(c);
}

const QList<char32_t> &allSymbols()
{
    static const QList<char32_t> symbols = [] {
        QList<char32_t> list;
        list.reserve(SymbolCount);
        for (char32_t c = FirstMark; c <= LastMark; ++c)
            list.append(c);
        for (char32_t c = PitchBlockStart; c <= LastPitchGlyph; ++c)
            list.append(c);
        return list;
    }();
    return symbols;
}

bool isBanyanMark(char32_t c)
{
    return (c >= TouBan && c <= YaoZengBan) || c == DiBan;
}

bool isWaistMark(char32_t c)
{
    return c >= YaoXiaoYan && c <= YaoZengBan;
}

bool isBottomBeat(char32_t c)
{
    return c == DiBan;
}

bool isBanMark(char32_t c)
{
    return c == TouBan || c == ZengBan || c == YaoBan || c == YaoZengBan || c == DiBan;
}

bool isXiaoYanMark(char32_t c)
{
    return c == XiaoYan || c == YaoXiaoYan;
}

bool isZhongYanMark(char32_t c)
{
    return c == ZhongYan || c == YaoZhongYan;
}

bool isOrnamentMark(char32_t c)
{
    return isMark(c) && !isBanMark(c) && !isXiaoYanMark(c) && !isZhongYanMark(c);
}

bool isSmallGlyph(char32_t c)
{
    const int block = pitchBlockOf(c);
    return block == int(PitchBlock::Small) || block == int(PitchBlock::BreathSmall)
        || c == HuoQiang || c == SouQiang;
}

QString banyanCharacterClass()
{
    // Literal characters only; none of them is special inside [...].
    QString cls = QStringLiteral("[");
    for (char32_t c : allSymbols()) {
        if (isBanyanMark(c))
            cls += toString(c);
    }
    cls += QLatin1Char(']');
    return cls;
}

const QRegularExpression &banyanMarkRegex()
{
    static const QRegularExpression re(banyanCharacterClass());
    return re;
}

ColorClass colorClass(char32_t c)
{
    if (!isSymbol(c) || c > LastMark)
        return ColorClass::Pitch;
    if (isBanMark(c))
        return ColorClass::Ban;
    if (isXiaoYanMark(c))
        return ColorClass::XiaoYan;
    if (isZhongYanMark(c))
        return ColorClass::ZhongYan;
    return ColorClass::Ornament;
}

int pitchBlockOf(char32_t c)
{
    if (!isPitchGlyph(c))
        return -1;
    return int(c - PitchBlockStart) / PitchBlockSize;
}

bool decompose(char32_t c, PitchGlyphParts *out)
{
    if (!isPitchGlyph(c))
        return false;
    const int index = int(c - PitchBlockStart);
    const int block = index / PitchBlockSize;
    const int offset = index % PitchBlockSize;
    int octave = OctaveCount - 1;
    while (offset < kOctaveRuns[octave].firstOffset)
        --octave;
    const OctaveRun &run = kOctaveRuns[octave];
    if (out) {
        out->pitch = Pitch(run.firstPitch + offset - run.firstOffset);
        out->octave = Octave(octave);
        out->breath = block == int(PitchBlock::Breath) || block == int(PitchBlock::BreathSmall);
        out->small = block == int(PitchBlock::Small) || block == int(PitchBlock::BreathSmall);
    }
    return true;
}

char32_t compose(Pitch pitch, Octave octave, bool breath, bool small)
{
    const int p = int(pitch);
    const int o = int(octave);
    if (o < 0 || o >= OctaveCount || p < 0 || p >= PitchCount)
        return 0;
    const OctaveRun &run = kOctaveRuns[o];
    if (p < run.firstPitch || p > run.lastPitch)
        return 0;
    const int block = (small ? 2 : 0) + (breath ? 1 : 0);
    return PitchBlockStart + char32_t(block * PitchBlockSize + run.firstOffset + p - run.firstPitch);
}

char32_t compose(const PitchGlyphParts &parts)
{
    return compose(parts.pitch, parts.octave, parts.breath, parts.small);
}

QString pitchCharacter(Pitch pitch)
{
    const int p = int(pitch);
    if (p < 0 || p >= PitchCount)
        return QString();
    return QString::fromUtf16(kPitchCharacters[p]);
}

QString octaveSuffix(Octave octave)
{
    const int o = int(octave);
    if (o < 0 || o >= OctaveCount)
        return QString();
    return QString::fromUtf16(kOctaveSuffixes[o]);
}

QString pitchInitial(Pitch pitch)
{
    const int p = int(pitch);
    if (p < 0 || p >= PitchCount)
        return QString();
    return QLatin1String(kPitchInitials[p]);
}

QString octaveAbbreviation(Octave octave)
{
    const int o = int(octave);
    if (o < 0 || o >= OctaveCount)
        return QString();
    return QLatin1String(kOctaveAbbreviations[o]);
}

QString dictionaryName(char32_t c)
{
    if (isMark(c))
        return QString::fromUtf16(kMarks[c - FirstMark].name);
    PitchGlyphParts parts;
    if (!decompose(c, &parts))
        return QString();
    QString name = pitchCharacter(parts.pitch) + octaveSuffix(parts.octave);
    if (parts.breath)
        name += QStringLiteral("气口");
    if (parts.small)
        name += QStringLiteral("小");
    return name;
}

QStringList dictionaryAbbreviations(char32_t c)
{
    if (isMark(c))
        return QString::fromLatin1(kMarks[c - FirstMark].abbreviations)
            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    PitchGlyphParts parts;
    if (!decompose(c, &parts))
        return QStringList();
    QString abbreviation = pitchInitial(parts.pitch) + octaveAbbreviation(parts.octave);
    if (parts.breath)
        abbreviation += QLatin1Char('q');
    if (parts.small)
        abbreviation += QLatin1Char('x');
    return QStringList{abbreviation};
}

QString toString(char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return QString();
    // Not QString::fromUcs4: it takes a leading U+FEFF for a byte-order mark
    // and drops it, which would make an empty symbol.
    if (QChar::requiresSurrogates(c)) {
        const QChar pair[2] = {QChar(QChar::highSurrogate(c)), QChar(QChar::lowSurrogate(c))};
        return QString(pair, 2);
    }
    return QString(QChar(char16_t(c)));
}

SymbolStep symbolAt(QStringView text, qsizetype position)
{
    SymbolStep step;
    const qsizetype size = text.size();
    if (position < 0)
        position = 0;
    if (position >= size) {
        step.position = size;
        return step;
    }
    step.position = position;
    const char16_t unit = text[position].unicode();
    if (isHigh(unit) && position + 1 < size && isLow(text[position + 1].unicode())) {
        step.code = QChar::surrogateToUcs4(unit, text[position + 1].unicode());
        step.length = 2;
    } else {
        // BMP character or an unpaired surrogate: one unit, its own value.
        step.code = unit;
        step.length = 1;
    }
    return step;
}

SymbolIterator::SymbolIterator(QStringView text, qsizetype position)
    : m_text(text), m_step(symbolAt(text, position))
{
}

SymbolIterator &SymbolIterator::operator++()
{
    m_step = symbolAt(m_text, m_step.position + qMax(m_step.length, 1));
    return *this;
}

QList<char32_t> symbolsOf(QStringView text)
{
    QList<char32_t> list;
    list.reserve(text.size() / 2 + 1);
    for (char32_t c : steps(text))
        list.append(c);
    return list;
}

qsizetype stepCount(QStringView text)
{
    qsizetype n = 0;
    for (auto it = steps(text).begin(), end = steps(text).end(); it != end; ++it)
        ++n;
    return n;
}

qsizetype indexOfBanyanMark(QStringView text, qsizetype from)
{
    for (SymbolIterator it(text, from), end(text, text.size()); it != end; ++it) {
        if (isBanyanMark(*it))
            return it.position();
    }
    return -1;
}

} // namespace Gongche
