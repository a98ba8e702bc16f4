// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/ScoreSyntax.h"

#include <algorithm>
#include <array>
#include <utility>

// ---- Pattern table --------------------------------------------------------

namespace {

constexpr int TableSize = 11;

const char16_t *const PatternSources[TableSize] = {
    u"^#.*",                                 // 0 Title
    u"^;.*",                                 // 1 Comment
    u"^>.*",                                 // 2 JiaBai
    u"^=.*",                                 // 3 LianBai
    u"^【.+?】([（(].+?[)）])?$",             // 4 QuPai
    nullptr,                                 // 5 unused
    u"^@换行符",                             // 6 LineBreak
    u"^@分页符",                             // 7 PageBreak
    u"[一-龥 ]+",                            // 8 Lyric
    u"[。，,、；;：:？?！!‘’“”（）()《》【】［］\\[\\]—︹︺︽︾﹁﹂﹃﹄︻︼︗︘︵︶|｜~]", // 9
    u".+",                                   // 10 Other
};

// The characters of pattern 9, sorted for binary search.
constexpr std::array<char16_t, 46> PunctuationChars = [] {
    std::array<char16_t, 46> a = {
        0x3002, 0xFF0C, 0x002C, 0x3001, 0xFF1B, 0x003B, 0xFF1A, 0x003A,
        0xFF1F, 0x003F, 0xFF01, 0x0021, 0x2018, 0x2019, 0x201C, 0x201D,
        0xFF08, 0xFF09, 0x0028, 0x0029, 0x300A, 0x300B, 0x3010, 0x3011,
        0xFF3B, 0xFF3D, 0x005B, 0x005D, 0x2014, 0xFE39, 0xFE3A, 0xFE3D,
        0xFE3E, 0xFE41, 0xFE42, 0xFE43, 0xFE44, 0xFE3B, 0xFE3C, 0xFE17,
        0xFE18, 0xFE35, 0xFE36, 0x007C, 0xFF5C, 0x007E,
    };
    // constexpr insertion sort (std::sort is not constexpr in C++17)
    for (std::size_t i = 1; i < a.size(); ++i)
        for (std::size_t j = i; j > 0 && a[j] < a[j - 1]; --j) {
            const char16_t t = a[j];
            a[j] = a[j - 1];
            a[j - 1] = t;
        }
    return a;
}();

struct PatternTable
{
    std::array<QRegularExpression, TableSize> patterns;
    QRegularExpression never;

    PatternTable()
        : never(QStringLiteral("(?!)"))
    {
        for (int code = 0; code < TableSize; ++code) {
            if (PatternSources[code]) {
                patterns[code].setPattern(QString::fromUtf16(PatternSources[code]));
                // Compile now, while the table is built, so that later
                // concurrent readers only ever see a finished object.
                patterns[code].optimize();
            }
        }
        never.optimize();
    }
};

const PatternTable &table()
{
    static const PatternTable instance; // thread-safe one-time init
    return instance;
}

bool isLoneSurrogate(QStringView text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text.at(i - 1).isHighSurrogate();
    return false;
}

bool hasLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i).isSurrogate() && isLoneSurrogate(text, i))
            return true;
    return false;
}

bool isQuPai(QStringView line)
{
    // Only this pattern is anchored at both ends with lazy parts, so it is
    // matched as is. The regex engine rejects malformed UTF-16 as a whole;
    // a stray surrogate is taken as one unknown character instead.
    if (!hasLoneSurrogate(line))
        return table().patterns[QuPai].match(line.toString()).hasMatch();
    QString cleaned = line.toString();
    for (qsizetype i = 0; i < cleaned.size(); ++i)
        if (cleaned.at(i).isSurrogate() && isLoneSurrogate(cleaned, i))
            cleaned[i] = QChar::ReplacementCharacter;
    return table().patterns[QuPai].match(cleaned).hasMatch();
}

} // namespace

namespace ScoreSyntax {

bool hasPattern(int code)
{
    return code >= 0 && code < TableSize && PatternSources[code];
}

QString patternSource(int code)
{
    return hasPattern(code) ? QString::fromUtf16(PatternSources[code]) : QString();
}

const QRegularExpression &pattern(int code)
{
    const PatternTable &t = table();
    return hasPattern(code) ? t.patterns[code] : t.never;
}

QString markupPatternSource()
{
    return QStringLiteral("^[#;>=【@]");
}

bool isPunctuation(char32_t codePoint)
{
    if (codePoint > 0xFFFF)
        return false;
    return std::binary_search(PunctuationChars.begin(), PunctuationChars.end(),
                              char16_t(codePoint));
}

bool isMarkupLine(QStringView line)
{
    if (line.isEmpty())
        return false;
    switch (line.front().unicode()) {
    case u'#':
    case u';':
    case u'>':
    case u'=':
    case u'【':
    case u'@':
        return true;
    default:
        return false;
    }
}

int countPairedCharacters(QStringView text)
{
    int count = 0;
    for (const QChar c : text)
        if (isPairedCharacter(c))
            ++count;
    return count;
}

int linePairedCount(QStringView line)
{
    return isMarkupLine(line) ? 0 : countPairedCharacters(line);
}

LineKind classify(QStringView line)
{
    if (!line.isEmpty()) {
        switch (line.front().unicode()) {
        case u'#':
            return Title;
        case u';':
            return Comment;
        case u'>':
            return JiaBai;
        case u'=':
            return LianBai;
        case u'【':
            if (isQuPai(line))
                return QuPai;
            break;
        case u'@':
            if (line.startsWith(u"@换行符"))
                return LineBreak;
            if (line.startsWith(u"@分页符"))
                return PageBreak;
            break;
        default:
            break;
        }
    }
    return countPairedCharacters(line) > 0 ? Lyric : Other;
}

} // namespace ScoreSyntax
