// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/GongcheSymbols.h"

#include <QSet>
#include <QtTest>

using namespace Gongche;

Q_DECLARE_METATYPE(Gongche::ColorClass)
Q_DECLARE_METATYPE(Gongche::Pitch)
Q_DECLARE_METATYPE(Gongche::Octave)

namespace {

QByteArray hex(char32_t c)
{
    return "U+" + QByteArray::number(uint(c), 16).toUpper();
}

QString pair(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

} // namespace

class TestGongcheSymbols : public QObject
{
    Q_OBJECT

private slots:
    void classes_data();
    void classes();
    void banyanRegex();
    void banyanRegexSkipsLookalikes();
    void indexOfBanyanMark_data();
    void indexOfBanyanMark();
    void pitchGlyphNames_data();
    void pitchGlyphNames();
    void examples_data();
    void examples();
    void composeMissing_data();
    void composeMissing();
    void symbolSet();
    void namesAndAbbreviations();
    void stepping_data();
    void stepping();
    void symbolAtOutOfRange();
    void toStringInvalid();
};

void TestGongcheSymbols::classes_data()
{
    QTest::addColumn<char32_t>("code");
    QTest::addColumn<bool>("symbol");
    QTest::addColumn<bool>("banyan");
    QTest::addColumn<bool>("waist");
    QTest::addColumn<bool>("bottom");
    QTest::addColumn<bool>("ban");
    QTest::addColumn<bool>("xiaoyan");
    QTest::addColumn<bool>("zhongyan");
    QTest::addColumn<bool>("ornament");
    QTest::addColumn<bool>("pitch");
    QTest::addColumn<bool>("small");
    QTest::addColumn<ColorClass>("color");

    const bool T = true, F = false;
    auto row = [](char32_t c, const char *what) -> QTestData & {
        return QTest::newRow((hex(c) + " " + what).constData());
    };
    //                                sym ban wai bot ban xy  zy  orn pit sml
    row(0xF0000, "头板") << char32_t(0xF0000) << T << T << F << F << T << F << F << F << F << F
                         << ColorClass::Ban;
    row(0xF0001, "头眼") << char32_t(0xF0001) << T << T << F << F << F << T << F << F << F << F
                         << ColorClass::XiaoYan;
    row(0xF0002, "中眼") << char32_t(0xF0002) << T << T << F << F << F << F << T << F << F << F
                         << ColorClass::ZhongYan;
    row(0xF0003, "赠板") << char32_t(0xF0003) << T << T << F << F << T << F << F << F << F << F
                         << ColorClass::Ban;
    row(0xF0004, "腰头眼") << char32_t(0xF0004) << T << T << T << F << F << T << F << F << F << F
                           << ColorClass::XiaoYan;
    row(0xF0005, "腰中眼") << char32_t(0xF0005) << T << T << T << F << F << F << T << F << F << F
                           << ColorClass::ZhongYan;
    row(0xF0006, "腰板") << char32_t(0xF0006) << T << T << T << F << T << F << F << F << F << F
                         << ColorClass::Ban;
    row(0xF0007, "腰赠板") << char32_t(0xF0007) << T << T << T << F << T << F << F << F << F << F
                           << ColorClass::Ban;
    // Ornaments that stand in the note column like a note.
    row(0xF0008, "疊腔") << char32_t(0xF0008) << T << F << F << F << F << F << F << T << F << F
                         << ColorClass::Ornament;
    row(0xF0009, "疊腔气口") << char32_t(0xF0009) << T << F << F << F << F << F << F << T << F << F
                             << ColorClass::Ornament;
    // A banyan and ban mark, but not a waist mark.
    row(0xF000A, "底板") << char32_t(0xF000A) << T << T << F << T << T << F << F << F << F << F
                         << ColorClass::Ban;
    row(0xF000B, "带腔撮腔") << char32_t(0xF000B) << T << F << F << F << F << F << F << T << F << F
                             << ColorClass::Ornament;
    // Ornament colour, placed like small glyphs.
    row(0xF000C, "豁腔") << char32_t(0xF000C) << T << F << F << F << F << F << F << T << F << T
                         << ColorClass::Ornament;
    row(0xF000D, "擻腔") << char32_t(0xF000D) << T << F << F << F << F << F << F << T << F << T
                         << ColorClass::Ornament;

    // The unused gap and the end of the set.
    row(0xF000E, "gap start") << char32_t(0xF000E) << F << F << F << F << F << F << F << F << F << F
                              << ColorClass::Pitch;
    row(0xF001F, "gap end") << char32_t(0xF001F) << F << F << F << F << F << F << F << F << F << F
                            << ColorClass::Pitch;
    row(0xF009C, "past last") << char32_t(0xF009C) << F << F << F << F << F << F << F << F << F << F
                              << ColorClass::Pitch;
    row(0xEFFFF, "before first") << char32_t(0xEFFFF) << F << F << F << F << F << F << F << F << F
                                 << F << ColorClass::Pitch;

    // Pitch glyph block edges.
    row(0xF0020, "合低八度") << char32_t(0xF0020) << T << F << F << F << F << F << F << F << T << F
                             << ColorClass::Pitch;
    row(0xF003E, "last plain") << char32_t(0xF003E) << T << F << F << F << F << F << F << F << T << F
                               << ColorClass::Pitch;
    row(0xF005D, "last full size") << char32_t(0xF005D) << T << F << F << F << F << F << F << F << T
                                   << F << ColorClass::Pitch;
    row(0xF005E, "first small") << char32_t(0xF005E) << T << F << F << F << F << F << F << F << T
                                << T << ColorClass::Pitch;
    row(0xF007D, "first breath small") << char32_t(0xF007D) << T << F << F << F << F << F << F << F
                                       << T << T << ColorClass::Pitch;
    row(0xF009B, "last small") << char32_t(0xF009B) << T << F << F << F << F << F << F << F << T
                               << T << ColorClass::Pitch;

    // Stray text in a score: never a mark, drawn in the plain score colour.
    row(0x0061, "latin a") << char32_t(0x61) << F << F << F << F << F << F << F << F << F << F
                           << ColorClass::Pitch;
    row(0x0000, "nul") << char32_t(0) << F << F << F << F << F << F << F << F << F << F
                       << ColorClass::Pitch;
    row(0xDB80, "lone surrogate") << char32_t(0xDB80) << F << F << F << F << F << F << F << F << F
                                  << F << ColorClass::Pitch;
}

void TestGongcheSymbols::classes()
{
    QFETCH(char32_t, code);
    QFETCH(bool, symbol);
    QFETCH(bool, banyan);
    QFETCH(bool, waist);
    QFETCH(bool, bottom);
    QFETCH(bool, ban);
    QFETCH(bool, xiaoyan);
    QFETCH(bool, zhongyan);
    QFETCH(bool, ornament);
    QFETCH(bool, pitch);
    QFETCH(bool, small);
    QFETCH(ColorClass, color);

    QCOMPARE(isSymbol(code), symbol);
    QCOMPARE(isBanyanMark(code), banyan);
    QCOMPARE(isWaistMark(code), waist);
    QCOMPARE(isBottomBeat(code), bottom);
    QCOMPARE(isBanMark(code), ban);
    QCOMPARE(isXiaoYanMark(code), xiaoyan);
    QCOMPARE(isZhongYanMark(code), zhongyan);
    QCOMPARE(isOrnamentMark(code), ornament);
    QCOMPARE(isPitchGlyph(code), pitch);
    QCOMPARE(isSmallGlyph(code), small);
    QCOMPARE(colorClass(code), color);
}

void TestGongcheSymbols::banyanRegex()
{
    const QRegularExpression &re = banyanMarkRegex();
    QVERIFY(re.isValid());
    const QRegularExpression whole(QRegularExpression::anchoredPattern(banyanCharacterClass()));
    QVERIFY(whole.isValid());
    int members = 0;
    for (char32_t c : allSymbols()) {
        const QString s = toString(c);
        QVERIFY2(whole.match(s).hasMatch() == isBanyanMark(c), hex(c));
        QVERIFY2(re.match(s).hasMatch() == isBanyanMark(c), hex(c));
        if (isBanyanMark(c))
            ++members;
    }
    QCOMPARE(members, 9);
}

void TestGongcheSymbols::banyanRegexSkipsLookalikes()
{
    // U+F0008 shares its high surrogate with U+F0000 and U+E0000 its low
    // surrogate; a class that looked at single units would match them.
    QString text = pair(0xF0027) + pair(DieQiang) + pair(0xE0000) + QStringLiteral("a")
        + pair(0xF0031);
    QVERIFY(!banyanMarkRegex().match(text).hasMatch());
    QCOMPARE(Gongche::indexOfBanyanMark(text), -1);

    text += pair(DiBan);
    const QRegularExpressionMatch m = banyanMarkRegex().match(text);
    QVERIFY(m.hasMatch());
    QCOMPARE(m.capturedStart(), text.size() - 2);
    QCOMPARE(m.capturedLength(), 2);
    QCOMPARE(Gongche::indexOfBanyanMark(text), text.size() - 2);
}

void TestGongcheSymbols::indexOfBanyanMark_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("from");
    QTest::addColumn<qsizetype>("expected");

    const QString high(QChar(0xDB80));
    const QString low(QChar(0xDC00)); // the low half of U+F0000 on its own

    QTest::newRow("empty") << QString() << qsizetype(0) << qsizetype(-1);
    QTest::newRow("first") << pair(TouBan) << qsizetype(0) << qsizetype(0);
    QTest::newRow("after note") << pair(0xF0027) + pair(YaoBan) << qsizetype(0) << qsizetype(2);
    QTest::newRow("from skips earlier") << pair(TouBan) + pair(0xF0027) + pair(ZhongYan)
                                        << qsizetype(1) << qsizetype(4);
    QTest::newRow("lone high before mark") << high + pair(XiaoYan) << qsizetype(0) << qsizetype(1);
    QTest::newRow("lone high at end") << pair(0xF0027) + high << qsizetype(0) << qsizetype(-1);
    QTest::newRow("stray low half is no mark") << low + pair(0xF0027) << qsizetype(0)
                                               << qsizetype(-1);
    QTest::newRow("bmp between") << QStringLiteral("x ") + pair(DiBan) << qsizetype(0)
                                 << qsizetype(2);
    QTest::newRow("from past end") << pair(TouBan) << qsizetype(9) << qsizetype(-1);
    QTest::newRow("negative from") << pair(TouBan) << qsizetype(-3) << qsizetype(0);
}

void TestGongcheSymbols::indexOfBanyanMark()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, from);
    QFETCH(qsizetype, expected);
    QCOMPARE(Gongche::indexOfBanyanMark(text, from), expected);
}

void TestGongcheSymbols::pitchGlyphNames_data()
{
    QTest::addColumn<char32_t>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("abbreviation");

    // Written out in table order, independently of the arithmetic.
    const QString lowRow = QStringLiteral("合四一上尺工凡");
    const QString middleRow = QStringLiteral("合四一上尺工凡六五乙");
    const QString highRow = QStringLiteral("上尺工凡六五乙");
    const QString initialsAll = QStringLiteral("hsyscgflwy");
    const QString blockSuffix[4] = {QString(), QStringLiteral("气口"), QStringLiteral("小"),
                                    QStringLiteral("气口小")};
    const QString blockAbbr[4] = {QString(), QStringLiteral("q"), QStringLiteral("x"),
                                  QStringLiteral("qx")};
    struct Run
    {
        QString pitches;
        int firstInitial;
        QString suffix;
        QString abbr;
    };
    const Run runs[4] = {
        {lowRow, 0, QStringLiteral("低八度"), QStringLiteral("d")},
        {middleRow, 0, QString(), QString()},
        {highRow, 3, QStringLiteral("高八度"), QStringLiteral("u")},
        {highRow, 3, QStringLiteral("高十六度"), QStringLiteral("uu")},
    };

    char32_t c = 0xF0020;
    for (int block = 0; block < 4; ++block) {
        for (const Run &run : runs) {
            for (int i = 0; i < run.pitches.size(); ++i) {
                const QString name = run.pitches.at(i) + run.suffix + blockSuffix[block];
                const QString abbr = initialsAll.at(run.firstInitial + i) + run.abbr
                    + blockAbbr[block];
                QTest::newRow(hex(c).constData()) << c << name << abbr;
                ++c;
            }
        }
    }
    QCOMPARE(c, char32_t(0xF009C));
}

void TestGongcheSymbols::pitchGlyphNames()
{
    QFETCH(char32_t, code);
    QFETCH(QString, name);
    QFETCH(QString, abbreviation);

    QVERIFY(isPitchGlyph(code));
    QCOMPARE(dictionaryName(code), name);
    QCOMPARE(dictionaryAbbreviations(code), QStringList{abbreviation});

    PitchGlyphParts parts;
    QVERIFY(decompose(code, &parts));
    QCOMPARE(compose(parts), code);
    QCOMPARE(compose(parts.pitch, parts.octave, parts.breath, parts.small), code);
    // The parts read back the same name.
    QVERIFY(name.startsWith(pitchCharacter(parts.pitch) + octaveSuffix(parts.octave)));
    QCOMPARE(parts.breath, name.contains(QStringLiteral("气口")));
    QCOMPARE(parts.small, name.endsWith(QStringLiteral("小")));
    QCOMPARE(isSmallGlyph(code), parts.small);
    QCOMPARE(pitchBlockOf(code), (parts.small ? 2 : 0) + (parts.breath ? 1 : 0));
}

void TestGongcheSymbols::examples_data()
{
    QTest::addColumn<char32_t>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("abbreviation");
    QTest::addColumn<Pitch>("pitch");
    QTest::addColumn<Octave>("octave");
    QTest::addColumn<bool>("breath");
    QTest::addColumn<bool>("small");

    QTest::newRow("合") << char32_t(0xF0027) << QStringLiteral("合") << "h" << Pitch::He
                       << Octave::Middle << false << false;
    QTest::newRow("合低八度") << char32_t(0xF0020) << QStringLiteral("合低八度") << "hd" << Pitch::He
                             << Octave::Low << false << false;
    QTest::newRow("上高八度") << char32_t(0xF0031) << QStringLiteral("上高八度") << "su"
                             << Pitch::Shang << Octave::High << false << false;
    QTest::newRow("上高十六度") << char32_t(0xF0038) << QStringLiteral("上高十六度") << "suu"
                               << Pitch::Shang << Octave::DoubleHigh << false << false;
    QTest::newRow("合低八度气口") << char32_t(0xF003F) << QStringLiteral("合低八度气口") << "hdq"
                                 << Pitch::He << Octave::Low << true << false;
    QTest::newRow("合气口") << char32_t(0xF0046) << QStringLiteral("合气口") << "hq" << Pitch::He
                           << Octave::Middle << true << false;
    QTest::newRow("上高八度气口") << char32_t(0xF0050) << QStringLiteral("上高八度气口") << "suq"
                                 << Pitch::Shang << Octave::High << true << false;
    QTest::newRow("合低八度小") << char32_t(0xF005E) << QStringLiteral("合低八度小") << "hdx"
                               << Pitch::He << Octave::Low << false << true;
    QTest::newRow("合小") << char32_t(0xF0065) << QStringLiteral("合小") << "hx" << Pitch::He
                         << Octave::Middle << false << true;
    QTest::newRow("合低八度气口小") << char32_t(0xF007D) << QStringLiteral("合低八度气口小")
                                   << "hdqx" << Pitch::He << Octave::Low << true << true;
    QTest::newRow("上高八度气口小") << char32_t(0xF008E) << QStringLiteral("上高八度气口小")
                                   << "suqx" << Pitch::Shang << Octave::High << true << true;
    QTest::newRow("乙高十六度气口小") << char32_t(0xF009B) << QStringLiteral("乙高十六度气口小")
                                     << "yuuqx" << Pitch::YiHigh << Octave::DoubleHigh << true
                                     << true;
    QTest::newRow("乙") << char32_t(0xF0030) << QStringLiteral("乙") << "y" << Pitch::YiHigh
                       << Octave::Middle << false << false;
    QTest::newRow("一低八度") << char32_t(0xF0022) << QStringLiteral("一低八度") << "yd" << Pitch::Yi
                             << Octave::Low << false << false;
}

void TestGongcheSymbols::examples()
{
    QFETCH(char32_t, code);
    QFETCH(QString, name);
    QFETCH(QString, abbreviation);
    QFETCH(Pitch, pitch);
    QFETCH(Octave, octave);
    QFETCH(bool, breath);
    QFETCH(bool, small);

    QCOMPARE(dictionaryName(code), name);
    QCOMPARE(dictionaryAbbreviations(code), QStringList{abbreviation});
    QCOMPARE(compose(pitch, octave, breath, small), code);
    PitchGlyphParts parts;
    QVERIFY(decompose(code, &parts));
    QCOMPARE(parts.pitch, pitch);
    QCOMPARE(parts.octave, octave);
    QCOMPARE(parts.breath, breath);
    QCOMPARE(parts.small, small);
}

void TestGongcheSymbols::composeMissing_data()
{
    QTest::addColumn<Pitch>("pitch");
    QTest::addColumn<Octave>("octave");

    QTest::newRow("六 low") << Pitch::Liu << Octave::Low;
    QTest::newRow("五 low") << Pitch::Wu << Octave::Low;
    QTest::newRow("乙 low") << Pitch::YiHigh << Octave::Low;
    QTest::newRow("合 high") << Pitch::He << Octave::High;
    QTest::newRow("一 high") << Pitch::Yi << Octave::High;
    QTest::newRow("四 double high") << Pitch::Si << Octave::DoubleHigh;
    QTest::newRow("pitch out of range") << Pitch(10) << Octave::Middle;
    QTest::newRow("negative pitch") << Pitch(-1) << Octave::Middle;
    QTest::newRow("octave out of range") << Pitch::Shang << Octave(4);
}

void TestGongcheSymbols::composeMissing()
{
    QFETCH(Pitch, pitch);
    QFETCH(Octave, octave);
    for (int block = 0; block < 4; ++block)
        QCOMPARE(compose(pitch, octave, block & 1, block & 2), char32_t(0));
}

void TestGongcheSymbols::symbolSet()
{
    const QList<char32_t> &all = allSymbols();
    QCOMPARE(all.size(), 138);
    QCOMPARE(SymbolCount, 138);
    QCOMPARE(all.first(), char32_t(0xF0000));
    QCOMPARE(all.last(), char32_t(0xF009B));
    for (qsizetype i = 1; i < all.size(); ++i)
        QVERIFY(all.at(i - 1) < all.at(i));

    // isSymbol agrees with the list across the whole neighbourhood.
    int count = 0;
    for (char32_t c = 0xEFF00; c < 0xF0200; ++c) {
        QCOMPARE(isSymbol(c), all.contains(c));
        count += isSymbol(c);
    }
    QCOMPARE(count, 138);

    // Every symbol is exactly one of mark / pitch glyph, and every mark has
    // exactly one colour among the mark colours.
    for (char32_t c : all) {
        QVERIFY(isMark(c) != isPitchGlyph(c));
        if (isMark(c)) {
            const int colours = isBanMark(c) + isXiaoYanMark(c) + isZhongYanMark(c)
                + isOrnamentMark(c);
            QCOMPARE(colours, 1);
        }
        PitchGlyphParts parts;
        QCOMPARE(decompose(c, &parts), isPitchGlyph(c));
    }

    // Every existing combination composes to a distinct pitch glyph.
    QSet<char32_t> composed;
    for (int p = 0; p < PitchCount; ++p)
        for (int o = 0; o < OctaveCount; ++o)
            for (int b = 0; b < 4; ++b) {
                const char32_t c = compose(Pitch(p), Octave(o), b & 1, b & 2);
                if (c != 0) {
                    QVERIFY(isPitchGlyph(c));
                    composed.insert(c);
                }
            }
    QCOMPARE(composed.size(), PitchGlyphCount);
}

void TestGongcheSymbols::namesAndAbbreviations()
{
    QSet<QString> names;
    int rows = 0;
    for (char32_t c : allSymbols()) {
        const QString name = dictionaryName(c);
        QVERIFY2(!name.isEmpty(), hex(c));
        QVERIFY2(!names.contains(name), qPrintable(name));
        names.insert(name);
        const QStringList abbreviations = dictionaryAbbreviations(c);
        QVERIFY2(!abbreviations.isEmpty(), hex(c));
        for (const QString &a : abbreviations) {
            QVERIFY(!a.isEmpty());
            for (QChar ch : a)
                QVERIFY(ch >= QLatin1Char('a') && ch <= QLatin1Char('z'));
        }
        rows += abbreviations.size();
    }
    QCOMPARE(names.size(), 138);
    // The shipped dictionary has this many rows.
    QCOMPARE(rows, 156);

    QCOMPARE(dictionaryName(TouBan), QStringLiteral("头板"));
    QCOMPARE(dictionaryName(XiaoYan), QStringLiteral("头眼/末眼"));
    QCOMPARE(dictionaryName(DiBan), QStringLiteral("底板"));
    QCOMPARE(dictionaryName(SouQiang), QStringLiteral("擻腔"));
    QCOMPARE(dictionaryAbbreviations(YaoXiaoYan),
             QStringList({"yty", "ymy", "cty", "cmy", "yy", "cy"}));
    QCOMPARE(dictionaryAbbreviations(DaiQiangCuoQiang), QStringList({"dq", "cq"}));

    for (char32_t c : {char32_t(0), char32_t(0x61), char32_t(0xF000E), char32_t(0xF009C)}) {
        QVERIFY(dictionaryName(c).isEmpty());
        QVERIFY(dictionaryAbbreviations(c).isEmpty());
    }
}

void TestGongcheSymbols::stepping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<char32_t>>("codes");
    QTest::addColumn<QList<qsizetype>>("positions");

    const QChar high(0xDB80);
    const QChar low(0xDC27);

    QTest::newRow("empty") << QString() << QList<char32_t>{} << QList<qsizetype>{};
    QTest::newRow("one symbol") << pair(0xF0027) << QList<char32_t>{0xF0027}
                                << QList<qsizetype>{0};
    QTest::newRow("symbols") << pair(0xF0027) + pair(TouBan) + pair(0xF009B)
                             << QList<char32_t>{0xF0027, TouBan, 0xF009B}
                             << QList<qsizetype>{0, 2, 4};
    QTest::newRow("bmp between") << pair(0xF0027) + QStringLiteral("a合 ") + pair(XiaoYan)
                                 << QList<char32_t>{0xF0027, 'a', 0x5408, ' ', XiaoYan}
                                 << QList<qsizetype>{0, 2, 3, 4, 5};
    QTest::newRow("lone high at end") << pair(0xF0027) + high
                                      << QList<char32_t>{0xF0027, 0xDB80}
                                      << QList<qsizetype>{0, 2};
    QTest::newRow("only lone high") << QString(high) << QList<char32_t>{0xDB80}
                                    << QList<qsizetype>{0};
    QTest::newRow("lone low first") << low + pair(0xF0027) << QList<char32_t>{0xDC27, 0xF0027}
                                    << QList<qsizetype>{0, 1};
    QTest::newRow("high then bmp") << high + QStringLiteral("x") + pair(ZhongYan)
                                   << QList<char32_t>{0xDB80, 'x', ZhongYan}
                                   << QList<qsizetype>{0, 1, 2};
    QTest::newRow("high high low") << high + pair(0xF0027)
                                   << QList<char32_t>{0xDB80, 0xF0027}
                                   << QList<qsizetype>{0, 1};
    QTest::newRow("low low") << QString(low) + low << QList<char32_t>{0xDC27, 0xDC27}
                             << QList<qsizetype>{0, 1};
    QTest::newRow("non-symbol pair") << pair(0x1F600) + pair(0xF000E)
                                     << QList<char32_t>{0x1F600, 0xF000E}
                                     << QList<qsizetype>{0, 2};
}

void TestGongcheSymbols::stepping()
{
    QFETCH(QString, text);
    QFETCH(QList<char32_t>, codes);
    QFETCH(QList<qsizetype>, positions);

    QCOMPARE(symbolsOf(text), codes);
    QCOMPARE(stepCount(text), codes.size());

    QList<char32_t> seen;
    QList<qsizetype> seenPositions;
    qsizetype next = 0;
    forEachSymbol(text, [&](const SymbolStep &step) {
        QVERIFY(step.length == 1 || step.length == 2);
        QCOMPARE(step.position, next); // contiguous, nothing skipped
        next = step.position + step.length;
        seen.append(step.code);
        seenPositions.append(step.position);
    });
    QCOMPARE(seen, codes);
    QCOMPARE(seenPositions, positions);
    QCOMPARE(next, text.size());

    // A view into a larger buffer must not run into what follows it.
    const QString padded = text + pair(TouBan);
    QCOMPARE(symbolsOf(QStringView(padded).left(text.size())), codes);

    // Range-for and toString rebuild the text exactly when it is valid.
    QString rebuilt;
    for (char32_t c : steps(text))
        rebuilt += toString(c);
    if (!text.contains(QChar(0xDB80)) && !text.contains(QChar(0xDC27)))
        QCOMPARE(rebuilt, text);
}

void TestGongcheSymbols::symbolAtOutOfRange()
{
    const QString text = pair(0xF0027) + pair(TouBan);

    SymbolStep s = symbolAt(text, -5);
    QCOMPARE(s.code, char32_t(0xF0027));
    QCOMPARE(s.position, 0);

    s = symbolAt(text, 4);
    QCOMPARE(s.length, 0);
    QCOMPARE(s.position, 4);
    s = symbolAt(text, 100);
    QCOMPARE(s.length, 0);
    QCOMPARE(s.position, 4);

    // Landing in the middle of a pair yields its low half on its own.
    s = symbolAt(text, 1);
    QCOMPARE(s.length, 1);
    QVERIFY(!isSymbol(s.code));

    // A high surrogate that ends the view is not paired with what follows.
    s = symbolAt(QStringView(text).left(3), 2);
    QCOMPARE(s.length, 1);
    QVERIFY(!isSymbol(s.code));

    // Stepping past the end stays at the end.
    SymbolIterator it = steps(text).end();
    ++it;
    QVERIFY(it == steps(text).end());
}

void TestGongcheSymbols::toStringInvalid()
{
    QCOMPARE(toString(0xF0027).size(), 2);
    QCOMPARE(toString('a'), QStringLiteral("a"));
    QCOMPARE(toString(0xFEFF), QString(QChar(0xFEFF))); // not eaten as a byte-order mark
    QVERIFY(toString(0xD800).isEmpty());
    QVERIFY(toString(0xDFFF).isEmpty());
    QVERIFY(toString(0x110000).isEmpty());
    for (char32_t c : allSymbols())
        QCOMPARE(symbolsOf(toString(c)), QList<char32_t>{c});
}

QTEST_GUILESS_MAIN(TestGongcheSymbols)
#include "test_gongchesymbols.moc"
