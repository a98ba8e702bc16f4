// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/GongcheSymbols.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "music/Ornaments.h"
#include "music/PitchTable.h"
#include "music/Reading.h"
#include "document/SampleScore.h"

#include <QHash>
#include <QtTest>

namespace {

// Notation written as symbol names separated by spaces: dictionary names,
// octaves as 高/低 for 高八度/低八度, a trailing ' for 气口 and x for 小, and
// 小眼 for the 头眼/末眼 mark. Anything else stays literal text.
QString notation(const QString &names)
{
    static const QHash<QString, char32_t> byName = [] {
        QHash<QString, char32_t> hash;
        for (char32_t c : Gongche::allSymbols()) {
            const QString name = Gongche::dictionaryName(c);
            hash.insert(name, c);
            hash.insert(QString(name).replace(QStringLiteral("八度"), QString()), c);
        }
        hash.insert(QStringLiteral("小眼"), Gongche::XiaoYan);
        return hash;
    }();
    QString text;
    for (QString name : names.split(u' ', Qt::SkipEmptyParts)) {
        bool breath = false, small = false;
        while (name.size() > 1 && (name.endsWith(u'\'') || name.endsWith(u'x'))) {
            (name.endsWith(u'x') ? small : breath) = true;
            name.chop(1);
        }
        if (breath)
            name += QStringLiteral("气口");
        if (small)
            name += QStringLiteral("小");
        const auto it = byName.constFind(name);
        text += it == byName.constEnd() ? name : Gongche::toString(*it);
    }
    return text;
}

// Lyric lines, and one notation per paired character ('|' between them).
LayoutItems document(const QStringList &lyric, const QString &scores)
{
    QStringList scoreLines;
    for (const QString &names : scores.split(u'|'))
        scoreLines << notation(names);
    return ScoreSyntax::layoutItems(PlainLines(lyric),
                                    PlainLines(scoreLines));
}

// What every writer relies on; empty when the performance keeps it.
QString brokenInvariant(const Music::Performance &performance)
{
    int start = 0;
    for (const auto &section : performance.sections) {
        const QString where = QStringLiteral("section at %1: ").arg(start);
        if (section.startUnits != start)
            return where + "start";
        int bar = 0;
        for (const auto &measure : section.measures) {
            if (measure.startUnits != bar || measure.lengthUnits <= 0
                || measure.lengthUnits % Music::UnitsPerBeat != 0
                || measure.beats() > section.meter)
                return where + QStringLiteral("measure at %1").arg(measure.startUnits);
            bar += measure.lengthUnits;
        }
        if (section.meter <= 0 || section.lengthUnits <= 0 || bar != section.lengthUnits)
            return where + "whole measures";
        for (qsizetype n = 0; n < section.notes.size(); ++n) {
            const auto &note = section.notes[n];
            const int end = note.onsetUnits + note.lengthUnits;
            const int next = n + 1 < section.notes.size() ? section.notes[n + 1].onsetUnits
                                                          : section.lengthUnits;
            if (note.onsetUnits < 0 || note.lengthUnits <= 0 || end > next
                || (n + 1 < section.notes.size() && next <= note.onsetUnits))
                return where + QStringLiteral("note %1 at %2").arg(n).arg(note.onsetUnits);
            if (note.breathUnits < 0 || note.breathUnits >= note.lengthUnits)
                return where + QStringLiteral("breath of note %1").arg(n);
        }
        start += section.lengthUnits;
    }
    return QString();
}

double fraction(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    return slash < 0 ? text.toDouble() : text.left(slash).toDouble() / text.mid(slash + 1).toDouble();
}

} // namespace

class TestReading : public QObject
{
    Q_OBJECT

private slots:
    void pitch_data();
    void pitch();
    void key_data();
    void key();
    void beats_data();
    void beats();
    void sample();
    void meter_data();
    void meter();
    void quantise_data();
    void quantise();
    void measures_data();
    void measures();
    void invariants_data();
    void invariants();
    void options_data();
    void options();
    void figures_data();
    void figures();
};

void TestReading::pitch_data()
{
    QTest::addColumn<QString>("glyph");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("transpose");
    QTest::addColumn<int>("midi");
    QTest::addColumn<int>("folded");

    QTest::newRow("上 default key") << "上" << "调" << 0 << 74 << 0;
    QTest::newRow("合 is the fifth below") << "合" << "小工调" << 0 << 69 << 0;
    QTest::newRow("highest") << "乙高十六度" << "凡字调" << 0 << 110 << 0;
    QTest::newRow("lowest") << "合低八度" << "正工调" << 0 << 50 << 0;
    QTest::newRow("breath small same pitch") << "上气口小" << "小工调" << 0 << 74 << 0;
    QTest::newRow("尺字调") << "上" << "尺字调" << 0 << 72 << 0;
    QTest::newRow("凡字调") << "上" << "凡字调" << 0 << 75 << 0;
    QTest::newRow("六字调") << "上" << "六字调" << 0 << 77 << 0;
    QTest::newRow("正工调") << "上" << "正工调" << 0 << 67 << 0;
    QTest::newRow("乙字调") << "上" << "乙字调" << 0 << 69 << 0;
    QTest::newRow("上字调") << "上" << "上字调" << 0 << 70 << 0;
    QTest::newRow("transposed down") << "尺" << "尺字调" << -3 << 71 << 0;
    QTest::newRow("folded into range") << "乙高十六度" << "凡字调" << 24 << 122 << 1;
}

void TestReading::pitch()
{
    QFETCH(QString, glyph);
    QFETCH(QString, mode);
    QFETCH(int, transpose);
    QFETCH(int, midi);
    QFETCH(int, folded);

    Music::Options options;
    options.transpose = transpose;
    const auto performance = Music::read(
        document({"【皂罗袍】(" + mode + ")", "字"}, glyph), options);
    QCOMPARE(performance.sections.size(), 1);
    const auto &section = performance.sections.first();
    QCOMPARE(section.notes.size(), 1);
    QCOMPARE(section.notes.first().pitch, midi);
    QCOMPARE(section.foldedNotes, folded);
}

void TestReading::key_data()
{
    QTest::addColumn<QStringList>("lyric");
    QTest::addColumn<QString>("keys"); // 上 of each section that has notes
    QTest::addColumn<QString>("title");

    QTest::newRow("no heading") << QStringList{"#游园", "字"} << "74" << "游园";
    QTest::newRow("template inherits default")
        << QStringList{"【皂罗袍】(调)", "字"} << "74" << "皂罗袍";
    QTest::newRow("template inherits previous")
        << QStringList{"【步步娇】(凡字调)", "字", "【醉扶归】(调)", "字"} << "75 75" << "步步娇";
    QTest::newRow("full-width parens") << QStringList{"【a】（六字调）", "字"} << "77" << "a";
    QTest::newRow("mode with mode name")
        << QStringList{"【a】(仙吕宫·凡字调)", "字"} << "75" << "a";
    QTest::newRow("short form") << QStringList{"【a】(正工)", "字"} << "67" << "a";
    QTest::newRow("earliest wins") << QStringList{"【a】(乙字调转上字调)", "字"} << "69" << "a";
    QTest::newRow("full name before short form")
        << QStringList{"【a】(上字 尺字调)", "字"} << "72" << "a";
    QTest::newRow("section without notes left out")
        << QStringList{"字", "【a】(凡字调)", "【b】(正工调)", "字"} << "74 67" << "a";
}

void TestReading::key()
{
    QFETCH(QStringList, lyric);
    QFETCH(QString, keys);
    QFETCH(QString, title);

    const int characters = ScoreSyntax::pairedCount(PlainLines(lyric));
    QStringList scores;
    for (int i = 0; i < characters; ++i)
        scores << "上";
    const auto performance = Music::read(document(lyric, scores.join(u'|')), {});
    QStringList got;
    for (const auto &section : performance.sections)
        got << QString::number(section.doMidi);
    QCOMPARE(got.join(u' '), keys);
    QCOMPARE(performance.title, title);
}

void TestReading::beats_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("scores");
    // onset:length per note in beats from the first beat mark, with r for a
    // rest, s small, b breath, o ornament.
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("pitches"); // empty: not checked
    QTest::addColumn<QString>("counts");  // ignored marks, stray characters
    QTest::addColumn<bool>("proportional");

    // Halving, hand-worked: n equal notes between two beat marks, small
    // notes, waist marks, pickups and the end of a section.
    const QString next = QStringLiteral(" | 工 小眼");
    QTest::newRow("2 in a beat") << "一二" << "上 头板 尺" + next
        << "0:1/2 1/2:1/2 1:1" << "" << "0 0" << false;
    QTest::newRow("3: an eighth, two sixteenths") << "一二" << "上 头板 尺 上" + next
        << "0:1/2 1/2:1/4 3/4:1/4 1:1" << "" << "0 0" << false;
    QTest::newRow("4 sixteenths") << "一二" << "上 头板 尺 上 尺" + next
        << "0:1/4 1/4:1/4 1/2:1/4 3/4:1/4 1:1" << "" << "0 0" << false;
    QTest::newRow("5: three sixteenths, two 32nds") << "一二" << "上 头板 尺 上 尺 上" + next
        << "0:1/4 1/4:1/4 1/2:1/4 3/4:1/8 7/8:1/8 1:1" << "" << "0 0" << false;
    QTest::newRow("6: twice 1+2") << "一二" << "上 头板 尺 上 尺 上 尺" + next
        << "0:1/4 1/4:1/8 3/8:1/8 1/2:1/4 3/4:1/8 7/8:1/8 1:1" << "" << "0 0" << false;
    QTest::newRow("7: 3 then 4") << "一二" << "上 头板 尺 上 尺 上 尺 上" + next
        << "0:1/4 1/4:1/8 3/8:1/8 1/2:1/8 5/8:1/8 3/4:1/8 7/8:1/8 1:1" << "" << "0 0" << false;
    QTest::newRow("8 32nds") << "一二" << "上 头板 尺 上 尺 上 尺 上 尺" + next
        << "0:1/8 1/8:1/8 1/4:1/8 3/8:1/8 1/2:1/8 5/8:1/8 3/4:1/8 7/8:1/8 1:1" << "" << "0 0"
        << false;
    QTest::newRow("9: 4 then 2+1+2") << "一二" << "上 头板 尺 上 尺 上 尺 上 尺 上" + next
        << "0:1/8 1/8:1/8 1/4:1/8 3/8:1/8 1/2:1/8 5/8:1/8 3/4:1/8 7/8:1/16 15/16:1/16 1:1" << ""
        << "0 0" << false;
    QTest::newRow("small note: the tie splits early") << "一二" << "上 头板 尺x 工" + next
        << "0:1/2 1/2:1/4s 3/4:1/4 1:1" << "" << "0 0" << false;
    QTest::newRow("two small notes balance") << "一二" << "上 头板 尺x 工x 六" + next
        << "0:1/4 1/4:1/4s 1/2:1/4s 3/4:1/4 1:1" << "" << "0 0" << false;
    QTest::newRow("waist mark: its note split by the beat") << "一二三"
        << "上 头板 尺 | 工 腰板 六 | 五 小眼" << "0:1/2 1/2:1/4 3/4:3/4 3/2:1/2 2:1" << "" << "0 0"
        << false;
    QTest::newRow("halving: waist mark on a small note") << "一二三" << "上 头板 | 尺x 腰板 | 工"
        << "0:1/2 1/2:1s 3/2:1/2" << "" << "0 0" << false;
    QTest::newRow("pickup shares the beat before") << "一二三四五六"
        << "上 | 尺 | 工 头板 | 六 | 五 | 乙 小眼" << "-1:1/2 -1/2:1/2 0:1/2 1/2:1/4 3/4:1/4 1:1"
        << "" << "0 0" << false;
    QTest::newRow("pickup cut by a waist mark") << "一二三" << "上 | 尺 腰板 | 工 小眼"
        << "-1:1/2 -1/2:3/2 1:1" << "" << "0 0" << false;
    QTest::newRow("after the last mark: one beat") << "一二三" << "上 头板 | 尺 小眼 | 工"
        << "0:1 1:1/2 3/2:1/2" << "" << "0 0" << false;
    QTest::newRow("last note held to the next beat") << "一二" << "上 头板 尺 工 | 六 底板"
        << "0:1/4 1/4:1/4 1/2:1/4 3/4:5/4" << "" << "0 0" << false;
    QTest::newRow("halving: one mark") << "一二三" << "上 头板 | 尺 | 工"
        << "0:1/2 1/2:1/4 3/4:1/4" << "" << "0 0" << false;
    QTest::newRow("halving: two start marks on one note") << "一二" << "上 头板 小眼 | 尺"
        << "0:3/2 3/2:1/2" << "" << "0 0" << false;

    QTest::newRow("waist beat and final 底板") << "袅晴丝吹来闲庭院"
        << "上高 头板 尺高x 尺高 | 五 小眼 六 | 工 中眼 | 尺 小眼 工 | 尺 腰板 上 尺 | 工 小眼 尺 | 工 中眼 | 上' 小眼 底板"
        << "0:0.4 0.4:0.2s 0.6:0.4 1:0.5 1.5:0.5 2:1 3:0.4 3.4:0.4 3.8:0.4 4.2:0.4 4.6:0.4 5:0.5 5.5:0.5 6:1 7:2b"
        << "86 88 88 83 81 78 76 78 76 74 76 78 76 78 74" << "0 0" << true;
    QTest::newRow("two inside marks on one note") << "摇漾春如线"
        << "工 头板 尺 上 | 四 小眼 合 | 工低 中眼 | 工低 小眼 工低 | 合' 腰板 底板"
        << "0:1/3 1/3:1/3 2/3:1/3 1:0.5 1.5:0.5 2:1 3:3/7 24/7:3/7 27/7:15/7b"
        << "78 76 74 71 69 66 66 66 69" << "0 0" << true;
    QTest::newRow("clean eighths") << "停半晌、整花钿"
        << "上高 头板 六 | 五 小眼 尺高 | 五' 中眼 底板 | 尺 头板 工 | 六 小眼 | 工' 中眼 底板"
        << "0:0.5 0.5:0.5 1:0.5 1.5:0.5 2:2b 4:0.5 4.5:0.5 5:1 6:2b" << "" << "0 0" << false;
    QTest::newRow("ornament and triplet") << "没揣菱花，偷人半面"
        << "尺 头板 工 豁腔 | 上 小眼 尺 | 四 中眼 尺 四 | 工低' 小眼 底板 | 工 头板 六 | 五 小眼 | 工 中眼 六 | 尺' 小眼 底板"
        << "0:0.5 0.5:0.5o 1:0.5 1.5:0.5 2:1/3 7/3:1/3 8/3:1/3 3:2b 5:0.5 5.5:0.5 6:1 7:0.5 7.5:0.5 8:2b"
        << "" << "0 0" << true;
    QTest::newRow("waist syncopation") << "迤逗的彩云偏"
        << "五 头板 | 六 小眼 | 上高 中眼 尺高 | 上高 小眼 尺高 | 尺高 腰板 尺高 | 尺高' 小眼 底板"
        << "0:1 1:1 2:0.5 2.5:0.5 3:0.4 3.4:0.4 3.8:8/15 13/3:2/3 5:2b" << "" << "0 0" << true;
    QTest::newRow("no marks: a beat per note") << "一二三" << "上 | 上x | 上"
        << "0:1 1:1s 2:1" << "74 74 74" << "0 0" << false;
    QTest::newRow("one mark: a weight per beat") << "一二三" << "上 头板 | 尺 | 工"
        << "0:1 1:1 2:1" << "" << "0 0" << true;
    QTest::newRow("pickup before the first mark") << "一二三四五六"
        << "上 | 尺 | 工 头板 | 六 | 五 | 乙 小眼"
        << "-2/3:1/3 -1/3:1/3 0:1/3 1/3:1/3 2/3:1/3 1:1" << "" << "0 0" << true;
    QTest::newRow("two start marks on one note") << "一二" << "上 头板 小眼 | 尺"
        << "0:2 2:2" << "" << "0 0" << true;
    QTest::newRow("waist mark on a small note") << "一二三" << "上 头板 | 尺x 腰板 | 工"
        << "0:0.8 0.8:0.4s 1.2:0.8" << "" << "0 0" << true;
    QTest::newRow("character without notation is a rest") << "一二" << "上 |"
        << "0:1 1:1r" << "74 -1" << "0 0" << false;
    QTest::newRow("marks of an empty character sit on its rest") << "一二三"
        << "上 | 头板 | 尺" << "-1:1 0:1r 1:1" << "" << "0 0" << true;
    QTest::newRow("leading mark goes to the note before") << "一二" << "上 | 头板 尺"
        << "0:1 1:1" << "" << "0 0" << true;
    QTest::newRow("mark before any note dropped") << " 一" << "头板 豁腔 | 上"
        << "0:1" << "74" << "2 0" << false;
    QTest::newRow("疊腔气口 adds a breath") << "一" << "上 疊腔气口" << "0:1bo" << "" << "0 0" << false;
    QTest::newRow("stray text ignored") << "一" << "上 A 中" << "0:1" << "74" << "0 2" << false;
    QTest::newRow("sung space with notation has no lyric") << "一 " << "上 | 尺"
        << "0:1 1:1" << "74 76" << "0 0" << false;
}

void TestReading::beats()
{
    QFETCH(QString, lyric);
    QFETCH(QString, scores);
    QFETCH(QString, expected);
    QFETCH(QString, pitches);
    QFETCH(QString, counts);
    QFETCH(bool, proportional);

    Music::Options options;
    options.rhythm = proportional ? Music::Rhythm::Proportional : Music::Rhythm::Halving;
    const auto performance = Music::read(document({lyric}, scores), options);
    QCOMPARE(performance.sections.size(), 1);
    const auto &section = performance.sections.first();
    const QStringList want = expected.split(u' ');
    QCOMPARE(section.notes.size(), want.size());
    QStringList gotPitches;
    for (qsizetype n = 0; n < want.size(); ++n) {
        const auto &note = section.notes[n];
        QString flags = want[n].section(u':', 1);
        const QString length = flags.left(flags.indexOf(QRegularExpression("[a-z]|$")));
        flags.remove(0, length.size());
        const QByteArray where = QByteArray::number(n) + ": " + want[n].toUtf8();
        QVERIFY2(qAbs(note.onset - fraction(want[n].section(u':', 0, 0))) < 1e-9, where);
        QVERIFY2(qAbs(note.length - fraction(length)) < 1e-9, where);
        QString gotFlags;
        if (note.pitch < 0)
            gotFlags += u'r';
        if (note.flags & Music::Small)
            gotFlags += u's';
        if (note.flags & Music::Breath)
            gotFlags += u'b';
        if (note.flags & Music::Ornament)
            gotFlags += u'o';
        QVERIFY2(gotFlags == flags, where + " flags " + gotFlags.toUtf8());
        gotPitches << QString::number(note.pitch);
    }
    if (!pitches.isEmpty())
        QCOMPARE(gotPitches.join(u' '), pitches);
    QCOMPARE(QStringLiteral("%1 %2").arg(section.ignoredMarks).arg(section.strayCharacters),
             counts);

    // Each sung ideograph names itself on its first note, and on no other.
    QString lyrics;
    for (const auto &note : section.notes)
        lyrics += note.lyric;
    QString sung = lyric;
    sung.remove(QRegularExpression("[^一-龥]"));
    QCOMPARE(lyrics, sung);
}

// The bundled sample: every sung character has notation, its tune opens on
// 袅 上高 in 小工调, its 板 fall every four beats, and no note runs backwards.
void TestReading::sample()
{
    const LayoutItems items = SampleScore::layoutItems();
    QVERIFY(!items.isEmpty());
    const auto performance = Music::read(items, {});
    QVERIFY(!performance.sections.isEmpty());
    int lyrics = 0;
    for (const auto &section : performance.sections) {
        QVERIFY(!section.free);
        // Marks a beat apart: a 板 on every fourth, from the first.
        for (qsizetype m = 0; m < section.beatMarks.size(); ++m) {
            const char32_t code = section.beatMarks[m].code;
            const bool ban = code == Gongche::TouBan || code == Gongche::YaoBan || code == Gongche::DiBan;
            QVERIFY2(ban == (m % 4 == 0), qPrintable(QStringLiteral("mark %1").arg(m)));
        }
        QCOMPARE(section.meter, 4); // 一板三眼 throughout
        for (qsizetype n = 0; n < section.notes.size(); ++n) {
            const auto &note = section.notes[n];
            lyrics += !note.lyric.isEmpty();
            QVERIFY(note.length > 0);
            if (n > 0)
                QVERIFY(note.onset > section.notes[n - 1].onset);
        }
    }
    QCOMPARE(lyrics, 91);
    QCOMPARE(performance.sections.first().notes.first().pitch, 86);
}

void TestReading::meter_data()
{
    QTest::addColumn<QString>("starts"); // beats on which measures start
    QTest::addColumn<QString>("bars");   // beats of every 板
    QTest::addColumn<int>("meter");

    QTest::newRow("none") << "" << "" << 4;
    QTest::newRow("one") << "3" << "" << 4;
    QTest::newRow("一板三眼") << "0 4 8 17 21" << "" << 4;
    QTest::newRow("一板一眼") << "0 2 4 6 10" << "" << 2;
    QTest::newRow("流水板") << "0 1 2 3" << "" << 1;
    QTest::newRow("赠板") << "0 8 16" << "" << 8;
    QTest::newRow("tie goes to 4") << "0 2 4 8 12" << "" << 4;
    QTest::newRow("tie 2 before 8") << "0 2 10" << "" << 2;
    QTest::newRow("odd gaps do not vote") << "0 5 10 13" << "" << 4;
    // 头板 and 底板 taking turns every four beats.
    QTest::newRow("底板 in place of 头板") << "0 8 16 24" << "0 4 8 12 16 20 24" << 4;
    // A 底板 a beat before each 头板: bars of 3 and 1.
    QTest::newRow("底板 a beat early") << "0 4" << "0 3 4 7" << 4;
}

void TestReading::meter()
{
    QFETCH(QString, starts);
    QFETCH(QString, bars);
    QFETCH(int, meter);
    const auto beats = [](const QString &text) {
        QList<double> list;
        for (const QString &beat : text.split(u' ', Qt::SkipEmptyParts))
            list << beat.toDouble();
        return list;
    };
    QCOMPARE(Music::meterOf(beats(starts), beats(bars)), meter);
}

void TestReading::quantise_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("scores");
    // onsetUnits:lengthUnits[/breathUnits] per note, in 1/12 beat.
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("meter");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("proportional");

    QTest::newRow("triplet, sixteenths, waist beat") << "袅晴丝吹来闲庭院"
        << "上高 头板 尺高x 尺高 | 五 小眼 六 | 工 中眼 | 尺 小眼 工 | 尺 腰板 上 尺 | 工 小眼 尺 | 工 中眼 | 上' 小眼 底板"
        << "0:4 4:4 8:4 12:6 18:6 24:12 36:6 42:3 45:6 51:3 54:6 60:6 66:6 72:12 84:24/6"
        << 4 << 144 << true;
    // Its 底板 fall a beat before the next 头板: bars of 3, 1, 3 and 4.
    QTest::newRow("clean eighths, bars at every 板") << "停半晌、整花钿"
        << "上高 头板 六 | 五 小眼 尺高 | 五' 中眼 底板 | 尺 头板 工 | 六 小眼 | 工' 中眼 底板"
        << "0:6 6:6 12:6 18:6 24:24/6 48:6 54:6 60:12 72:24/6" << 4 << 132 << true;
    QTest::newRow("pickup padded to a measure") << "一二三四五六"
        << "上 | 尺 | 工 头板 | 六 | 五 | 乙 小眼"
        << "40:4 44:4 48:4 52:4 56:4 60:12" << 4 << 96 << true;
    QTest::newRow("散板") << "一二三" << "上 | 上x | 上" << "0:12 12:12 24:12" << 4 << 48 << false;
    QTest::newRow("赠板 measures of eight") << "一二三四五六七八九十"
        << "上 赠板 | 尺 小眼 | 工 中眼 | 六 小眼 | 五 头板 | 六 小眼 | 工 中眼 | 尺 小眼 | 上 赠板 | 尺 小眼"
        << "0:12 12:12 24:12 36:12 48:12 60:12 72:12 84:12 96:12 108:12" << 8 << 192 << false;
    QTest::newRow("note over 64 beats shortened by measures") << "一二"
        << "上 头板" + QString(" 小眼").repeated(99) + " | 尺" << "0:768 768:768" << 4 << 1536 << true;
    QStringList crowded, units;
    for (int n = 0; n < 15; ++n) {
        crowded << "尺";
        units << QStringLiteral("%1:1").arg(n);
    }
    QTest::newRow("fifteen notes in a beat pushed later") << "一"
        << "上 头板 " + crowded.mid(1).join(u' ') + " 工 小眼"
        << units.join(u' ') + " 15:9" << 4 << 48 << true;
    // Halved: a beat of 32nds at most; the breath on the beat's grid.
    QTest::newRow("halving: fifteen notes in a beat pushed by 32nds") << "一"
        << "上 头板 " + crowded.mid(1).join(u' ') + " 工 小眼"
        << "0:1.5 1.5:0.75 2.25:0.75 3:0.75 3.75:0.75 4.5:0.75 5.25:0.75 6:0.75 6.75:0.75 "
           "7.5:0.75 8.25:0.75 9:0.75 9.75:0.75 10.5:0.75 11.25:0.75 12:12"
        << 4 << 48 << false;
    QTest::newRow("halving: breaths") << "一二" << "上' 头板 尺 上' | 尺' 小眼"
        << "0:6/3 6:3 9:3 12:12/3" << 4 << 48 << false;
}

void TestReading::quantise()
{
    QFETCH(QString, lyric);
    QFETCH(QString, scores);
    QFETCH(QString, expected);
    QFETCH(int, meter);
    QFETCH(int, length);
    QFETCH(bool, proportional);

    Music::Options options;
    options.rhythm = proportional ? Music::Rhythm::Proportional : Music::Rhythm::Halving;
    const auto performance = Music::read(document({lyric}, scores), options);
    QCOMPARE(performance.sections.size(), 1);
    const auto &section = performance.sections.first();
    auto twelfths = [](int units) { return QString::number(units * 12.0 / Music::UnitsPerBeat); };
    QStringList got;
    for (const auto &note : section.notes)
        got << twelfths(note.onsetUnits) + u':' + twelfths(note.lengthUnits)
                   + (note.breathUnits ? u'/' + twelfths(note.breathUnits) : QString());
    QCOMPARE(got.join(u' '), expected);
    QCOMPARE(section.meter, meter);
    QCOMPARE(twelfths(section.lengthUnits), QString::number(length));
}

void TestReading::measures_data()
{
    QTest::addColumn<QString>("scores");
    QTest::addColumn<int>("meter");
    QTest::addColumn<QString>("bars"); // beats of each measure

    const QString eyes = QStringLiteral(" | 尺 小眼 | 工 中眼 | 六 小眼 | ");
    QTest::newRow("一板三眼") << "上 头板" + eyes + "五 头板" + eyes + "上 头板" << 4 << "4 4 4";
    QTest::newRow("底板 a beat before 头板: a bar of one")
        << "上 头板" + eyes + "五 底板 | 六 头板" + eyes + "上 头板" << 4 << "4 1 4 4";
    QTest::newRow("six beats between 板: 4 and 2")
        << "上 头板" + eyes + "五 中眼 | 六 小眼 | 上 头板" + eyes + "上 头板" << 4 << "4 2 4 4";
    QTest::newRow("pickup padded to a whole bar") << "上 | 尺 | 工 头板" + eyes + "五 头板"
        << 4 << "4 4 4";
    QTest::newRow("赠板: 头板 and 底板 inside the bar")
        << "上 赠板" + eyes + "五 头板" + eyes + "上 赠板 | 尺 小眼 | 工 底板 | 上 赠板" << 8
        << "8 3 8";
    QTest::newRow("散板") << "上 | 尺 | 工 | 六 | 五" << 4 << "4 4";
}

// Every 板 starts a bar; between two of them bars of the tune's meter, a
// shorter one last.
void TestReading::measures()
{
    QFETCH(QString, scores);
    QFETCH(int, meter);
    QFETCH(QString, bars);

    const QString lyric = QString(u'字').repeated(scores.count(u'|') + 1);
    for (auto rhythm : {Music::Rhythm::Halving, Music::Rhythm::Proportional}) {
        Music::Options options;
        options.rhythm = rhythm;
        const auto performance = Music::read(document({lyric}, scores), options);
        QCOMPARE(performance.sections.size(), 1);
        const auto &section = performance.sections.first();
        QStringList got;
        for (const auto &measure : section.measures)
            got << QString::number(measure.beats());
        QCOMPARE(got.join(u' '), bars);
        QCOMPARE(section.meter, meter);
        const QString broken = brokenInvariant(performance);
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
    }
}

void TestReading::invariants_data()
{
    QTest::addColumn<QStringList>("lyric");
    QTest::addColumn<QString>("scores");

    QTest::newRow("sample") << QStringList() << QString();
    QTest::newRow("two sections, pickup in the second")
        << QStringList{"【a】(凡字调)", "一二三", "【b】(正工调)", "四五六"}
        << "上 头板 | 尺 小眼 | 工' 中眼 底板 | 上 | 尺x | 工 头板 六 小眼";
    QTest::newRow("waist marks everywhere") << QStringList{"一二三四"}
        << "上 腰板 | 尺x 腰中眼 腰板 底板 | 工 腰板 腰赠板 | 六x' 腰中眼";
    QTest::newRow("thousands of marks on one note") << QStringList{"一二三"}
        << "上 底板" + QString(" 头板 中眼").repeated(2000) + " | 尺' | 工 豁腔";
    QTest::newRow("marks crowding the last beat") << QStringList{"一二三四五"}
        << "上 头板 | 尺 小眼" + QString(" 小眼").repeated(500) + " | 工 | 六 | 五'";
    QTest::newRow("damaged text") << QStringList{"一二三"}
        << QString(QChar(0xD800)) + " 上 头板 " + QChar(0xDFFF) + " | " + QChar(0xFFFF) + " "
               + QString::fromUcs4(U"\U000F001F") + " 尺 | 底板" + QChar(0xFFFE);
    QString breaths;
    for (int n = 0; n < 40; ++n)
        breaths += n % 3 ? " 上x'" : " 尺' 小眼";
    QTest::newRow("many short breaths") << QStringList{"一二"} << "上 头板" + breaths + " | 工";
}

// Onsets, lengths and breaths stay usable for the writers whatever the
// notation.
void TestReading::invariants()
{
    QFETCH(QStringList, lyric);
    QFETCH(QString, scores);
    const LayoutItems items = lyric.isEmpty() ? SampleScore::layoutItems() : document(lyric, scores);
    for (auto rhythm : {Music::Rhythm::Halving, Music::Rhythm::Proportional}) {
        Music::Options options;
        options.rhythm = rhythm;
        const auto performance = Music::read(items, options);
        QVERIFY(performance.noteCount() > 0);
        const QString broken = brokenInvariant(performance);
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
        // Figures stay inside their note: sounds never overlap or run backwards.
        int previousEnd = 0;
        for (const auto &section : performance.sections) {
            for (const auto &sound : Music::realise(section, {})) {
                QVERIFY(sound.startTick >= previousEnd && sound.endTick > sound.startTick);
                QVERIFY(sound.pitch >= 0 && sound.pitch <= 127);
                previousEnd = sound.endTick;
            }
        }
    }
}

void TestReading::options_data()
{
    QTest::addColumn<QString>("tempo");
    QTest::addColumn<double>("tempoValue"); // 0: refused
    QTest::addColumn<QString>("transpose");
    QTest::addColumn<int>("transposeValue"); // 99: refused

    QTest::newRow("plain") << "60" << 60.0 << "0" << 0;
    QTest::newRow("limits") << "400" << 400.0 << "-24" << -24;
    QTest::newRow("decimal, sign, spaces") << " 0.5 " << 0.5 << "+24" << 24;
    QTest::newRow("zero, past the limit") << "0" << 0.0 << "25" << 99;
    QTest::newRow("above 400, below -24") << "400.01" << 0.0 << "-25" << 99;
    QTest::newRow("negative, fraction") << "-5" << 0.0 << "1.5" << 99;
    QTest::newRow("words") << "fast" << 0.0 << "up" << 99;
    QTest::newRow("exponent, huge") << "1e3" << 0.0 << "99999999999" << 99;
    QTest::newRow("not a number") << "nan" << 0.0 << "" << 99;
    QTest::newRow("infinity") << "inf" << 0.0 << "0x3" << 99;
}

void TestReading::options()
{
    QFETCH(QString, tempo);
    QFETCH(double, tempoValue);
    QFETCH(QString, transpose);
    QFETCH(int, transposeValue);

    double bpm = -1;
    QCOMPARE(Music::parseTempo(tempo, &bpm), tempoValue > 0);
    QCOMPARE(bpm, tempoValue > 0 ? tempoValue : -1.0);
    int semitones = 99;
    QCOMPARE(Music::parseTranspose(transpose, &semitones), transposeValue != 99);
    QCOMPARE(semitones, transposeValue);

    // The same limits hold for options built in code.
    Music::Options options;
    options.tempo = tempoValue > 0 ? tempoValue : tempo.toDouble();
    QCOMPARE(Music::checkOptions(options).isEmpty(), tempoValue > 0);
    if (tempoValue <= 0)
        QVERIFY(Music::checkOptions(options).startsWith("tempo \""));
    options = {};
    options.transpose = transposeValue != 99 ? transposeValue : transpose.toInt();
    QCOMPARE(Music::checkOptions(options).isEmpty(), transposeValue != 99 || options.transpose == 0);
}

void TestReading::figures_data()
{
    QTest::addColumn<QString>("glyph");
    QTest::addColumn<int>("figure"); // Music::Figure
    QTest::addColumn<int>("units");  // length, breath: 1/12 beat
    QTest::addColumn<int>("breath");
    QTest::addColumn<bool>("ornaments");
    QTest::addColumn<QString>("expected"); // pitch:start-end in ticks

    using F = Music::Figure;
    QTest::newRow("plain") << "上" << int(F::None) << 12 << 0 << true << "74:0-480";
    QTest::newRow("豁腔 flicks up at the end") << "上" << int(F::HuoQiang) << 12 << 0 << true
                                               << "74:0-360 76:360-480";
    QTest::newRow("figures off") << "上" << int(F::HuoQiang) << 12 << 0 << false << "74:0-480";
    QTest::newRow("疊腔 touches the degree below") << "上" << int(F::DieQiang) << 24 << 0 << true
                                                   << "74:0-480 73:480-600 74:600-960";
    QTest::newRow("疊腔气口 inside the sounding part") << "上" << int(F::DieQiang) << 12 << 3
                                                       << true << "74:0-180 73:180-270 74:270-360";
    QTest::newRow("带腔撮腔 leads up a half step") << "工" << int(F::CuoQiang) << 12 << 0 << true
                                                  << "78:0-240 78:240-360 79:360-480";
    QTest::newRow("擻腔 shakes") << "尺" << int(F::SouQiang) << 24 << 0 << true
                                << "76:0-480 78:480-540 76:540-600 78:600-660 76:660-960";
    QTest::newRow("擻腔 too short") << "尺" << int(F::SouQiang) << 6 << 0 << true << "76:0-240";
    QTest::newRow("豁腔 too short") << "尺" << int(F::HuoQiang) << 3 << 0 << true << "76:0-120";
    QTest::newRow("rest sounds nothing") << "" << int(F::HuoQiang) << 12 << 0 << true << "";
}

void TestReading::figures()
{
    QFETCH(QString, glyph);
    QFETCH(int, figure);
    QFETCH(int, units);
    QFETCH(int, breath);
    QFETCH(bool, ornaments);
    QFETCH(QString, expected);

    Music::Section section;
    section.startUnits = 4 * Music::UnitsPerBeat; // a measure of 4/4 before this one
    Music::NoteEvent note;
    note.glyph = glyph.isEmpty() ? 0 : notation(glyph).toUcs4().value(0);
    note.pitch = Music::pitchOf(note.glyph, section.doMidi);
    note.figure = Music::Figure(figure);
    constexpr int twelfth = Music::UnitsPerBeat / 12;
    note.onsetUnits = 12 * twelfth;
    note.lengthUnits = units * twelfth;
    note.breathUnits = breath * twelfth;
    section.notes << note;
    Music::Options options;
    options.ornaments = ornaments;
    const int origin = 5 * Music::TicksPerQuarter;
    QStringList got;
    for (const auto &sound : Music::realise(section, options)) {
        QCOMPARE(sound.note, 0);
        got << QStringLiteral("%1:%2-%3")
                   .arg(sound.pitch)
                   .arg(sound.startTick - origin)
                   .arg(sound.endTick - origin);
    }
    QCOMPARE(got.join(u' '), expected);
}

QTEST_MAIN(TestReading)
#include "test_reading.moc"
