// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>

// The notation symbols of a score: private-use code points from U+F0000,
// each two UTF-16 units in a string. Fourteen marks (beat marks and
// ornaments) are followed, after an unused gap, by four blocks of pitch
// glyphs. Layout, colouring, the input-method dictionary and the notation
// font all derive from the tables here, so nothing else hard-codes a code
// point range.
namespace Gongche {

// ---- Marks -------------------------------------------------------------

constexpr char32_t TouBan = 0xF0000;           // 头板
constexpr char32_t XiaoYan = 0xF0001;          // 头眼 / 末眼
constexpr char32_t ZhongYan = 0xF0002;         // 中眼
constexpr char32_t ZengBan = 0xF0003;          // 赠板
constexpr char32_t YaoXiaoYan = 0xF0004;       // 腰头眼 / 腰末眼
constexpr char32_t YaoZhongYan = 0xF0005;      // 腰中眼
constexpr char32_t YaoBan = 0xF0006;           // 腰板
constexpr char32_t YaoZengBan = 0xF0007;       // 腰赠板
constexpr char32_t DieQiang = 0xF0008;         // 疊腔
constexpr char32_t DieQiangQiKou = 0xF0009;    // 疊腔气口
constexpr char32_t DiBan = 0xF000A;            // 底板
constexpr char32_t DaiQiangCuoQiang = 0xF000B; // 带腔撮腔
constexpr char32_t HuoQiang = 0xF000C;         // 豁腔
constexpr char32_t SouQiang = 0xF000D;         // 擻腔

constexpr char32_t FirstMark = TouBan;
constexpr char32_t LastMark = SouQiang;
constexpr int MarkCount = 14;

// ---- Pitch glyphs ------------------------------------------------------

// Four blocks of 31: plain, with breath mark, small, small with breath
// mark. U+F000E..U+F001F between the marks and the first block are unused.
constexpr char32_t PitchBlockStart = 0xF0020;
constexpr int PitchBlockSize = 31;
constexpr int PitchBlockCount = 4;
constexpr char32_t LastPitchGlyph = 0xF009B;
constexpr int PitchGlyphCount = PitchBlockSize * PitchBlockCount; // 124

constexpr int SymbolCount = MarkCount + PitchGlyphCount; // 138

// The ten gongche pitch characters, lowest first.
enum class Pitch {
    He,     // 合
    Si,     // 四
    Yi,     // 一
    Shang,  // 上
    Chi,    // 尺
    Gong,   // 工
    Fan,    // 凡
    Liu,    // 六
    Wu,     // 五
    YiHigh, // 乙 (the 一 of the upper register; same pinyin, own character)
};
constexpr int PitchCount = 10;

enum class Octave { Low, Middle, High, DoubleHigh };
constexpr int OctaveCount = 4;

// The four pitch blocks in code-point order.
enum class PitchBlock { Plain = 0, Breath = 1, Small = 2, BreathSmall = 3 };

// A pitch glyph taken apart. Not every combination exists: the low octave
// holds 合..凡 only, the high and double-high octaves 上..乙 only.
struct PitchGlyphParts
{
    Pitch pitch = Pitch::He;
    Octave octave = Octave::Middle;
    bool breath = false; // 气口
    bool small = false;  // 小
};

// ---- Membership --------------------------------------------------------

// One of the 138 code points in use (marks and pitch glyphs).
bool isSymbol(char32_t c);
// Every symbol in ascending order.
const QList<char32_t> &allSymbols();

bool isMark(char32_t c); // U+F0000..U+F000D

// The classes layout and colouring test for. Every predicate answers false
// for anything that is not a symbol.
bool isBanyanMark(char32_t c);   // placed beside the preceding note
bool isWaistMark(char32_t c);    // 腰: placed lower, between two notes
bool isBottomBeat(char32_t c);   // 底板: under the note
bool isBanMark(char32_t c);      // coloured as 板
bool isXiaoYanMark(char32_t c);  // coloured as 小眼
bool isZhongYanMark(char32_t c); // coloured as 中眼
bool isOrnamentMark(char32_t c); // marks that are none of the three above
bool isPitchGlyph(char32_t c);   // U+F0020..U+F009B
bool isSmallGlyph(char32_t c);   // small pitch blocks, 豁腔 and 擻腔

// The banyan marks as a regular-expression character class of the literal
// characters, e.g. for splitting a score string into note groups. Beware:
// QRegularExpression finds nothing at all in a subject that holds an
// unpaired surrogate, so for text that may be damaged use
// indexOfBanyanMark, which walks the text step by step.
QString banyanCharacterClass();
const QRegularExpression &banyanMarkRegex();

// ---- Colour ------------------------------------------------------------

enum class ColorClass { Ban, XiaoYan, ZhongYan, Ornament, Pitch };

// Anything above U+F000D is drawn as a pitch; among the marks ban, then
// xiaoyan, then zhongyan membership decides, the rest are ornaments.
// Characters that are not symbols at all (stray text in a score) get the
// plain score colour, Pitch, so they never pose as a beat mark.
ColorClass colorClass(char32_t c);

// ---- Pitch glyph decomposition -----------------------------------------

// Block of a pitch glyph, or -1 for anything else.
int pitchBlockOf(char32_t c);
// Takes a pitch glyph apart; false (out untouched) for anything else.
bool decompose(char32_t c, PitchGlyphParts *out);
// The code point of a combination, or 0 when it does not exist (e.g. 六 in
// the low octave) or an argument is out of range.
char32_t compose(Pitch pitch, Octave octave, bool breath, bool small);
char32_t compose(const PitchGlyphParts &parts);

QString pitchCharacter(Pitch pitch); // "合"
QString octaveSuffix(Octave octave); // "低八度", "", "高八度", "高十六度"
// Input-method abbreviation pieces: pinyin initial of the pitch and the
// octave suffix letters ("d", "", "u", "uu"); breath adds "q", small "x".
QString pitchInitial(Pitch pitch);
QString octaveAbbreviation(Octave octave);

// The symbol's name as the dictionary carries it: a mark's name, or for a
// pitch glyph pitch + octave suffix + "气口" + "小" where they apply.
// Empty for anything that is not a symbol. Names are unique.
QString dictionaryName(char32_t c);
// The abbreviations the shipped dictionary lists for the symbol, in its row
// order (several for some marks, one for each pitch glyph); empty for
// anything that is not a symbol.
QStringList dictionaryAbbreviations(char32_t c);

// ---- Strings -----------------------------------------------------------

// The symbol as text (a surrogate pair); any other valid code point works
// too. Invalid values (surrogates, > U+10FFFF) give an empty string.
QString toString(char32_t c);

// Walking a score string. A well-formed surrogate pair is one step of two
// units. Score text can hold anything (a damaged file, pasted text), so
// every other unit (a BMP character, a lone high surrogate, including one
// at the very end, or a stray low surrogate) is one step of one unit and
// yields that unit's own value; none of those is a symbol, so callers that
// classify what they get simply see a non-symbol and never lose their step.
// Nothing ever reads past the end of the text.
struct SymbolStep
{
    char32_t code = 0;
    qsizetype position = 0; // index of the first UTF-16 unit
    int length = 0;         // 1 or 2 units
};

// The step that starts at position (clamped into the text); length 0 at or
// past the end.
SymbolStep symbolAt(QStringView text, qsizetype position);

// Forward iterator over the steps of a text. The text must outlive it.
class SymbolIterator
{
public:
    SymbolIterator() = default;
    SymbolIterator(QStringView text, qsizetype position);

    char32_t operator*() const { return m_step.code; }
    const SymbolStep &step() const { return m_step; }
    qsizetype position() const { return m_step.position; }
    int length() const { return m_step.length; }

    SymbolIterator &operator++();
    bool operator==(const SymbolIterator &other) const
    {
        return m_step.position == other.m_step.position;
    }
    bool operator!=(const SymbolIterator &other) const { return !(*this == other); }

private:
    QStringView m_text;
    SymbolStep m_step;
};

// for (char32_t c : Gongche::steps(text)) ... The text must outlive the
// loop: do not pass a temporary QString.
class SymbolRange
{
public:
    explicit SymbolRange(QStringView text) : m_text(text) {}
    SymbolIterator begin() const { return SymbolIterator(m_text, 0); }
    SymbolIterator end() const { return SymbolIterator(m_text, m_text.size()); }

private:
    QStringView m_text;
};
inline SymbolRange steps(QStringView text) { return SymbolRange(text); }

// Every step's code point, in order (non-symbols included, see above).
QList<char32_t> symbolsOf(QStringView text);
// Number of steps.
qsizetype stepCount(QStringView text);

// UTF-16 index of the first banyan mark that starts a step at or after
// from, or -1. Unlike banyanMarkRegex it works on damaged text.
qsizetype indexOfBanyanMark(QStringView text, qsizetype from = 0);

// Calls f(const SymbolStep &) for every step in order.
template<typename F>
void forEachSymbol(QStringView text, F &&f)
{
    for (auto it = SymbolIterator(text, 0), end = SymbolIterator(text, text.size()); it != end;
         ++it)
        f(it.step());
}

} // namespace Gongche
