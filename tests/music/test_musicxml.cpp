// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/GongcheSymbols.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "music/MusicXml.h"
#include "music/PitchTable.h"
#include "music/Reading.h"
#include "document/SampleScore.h"

#include <QXmlStreamReader>
#include <QtTest>

#include <array>

namespace {

constexpr int twelfth = Music::UnitsPerBeat / 12;

// A section written by hand, already quantised:
//   "<doMidi> <fifths> <meter> <length> [bars]: note note …"
// (bars: beats of each measure, comma-separated)
// a note is pitch[高|低][x][']@onset+length[~breath][/lyric] in twelfths of
// a beat (scaled to units; 0.375 is a 32nd of a beat), pitch one of
// 合四一上尺工凡六五乙, x small, ' breath; R is a rest.
Music::Section section(const QString &written, int startUnits)
{
    Music::Section s;
    const QStringList head = written.section(u':', 0, 0).split(u' ', Qt::SkipEmptyParts);
    s.doMidi = head[0].toInt();
    s.fifths = head[1].toInt();
    s.meter = head[2].toInt();
    s.lengthUnits = twelfth * head[3].toInt();
    s.startUnits = startUnits;
    int bar = 0;
    for (const QString &beats : head.value(4).split(u',', Qt::SkipEmptyParts)) {
        s.measures.append({bar, beats.toInt() * Music::UnitsPerBeat});
        bar += s.measures.last().lengthUnits;
    }
    s.heading = QStringLiteral("【皂罗袍】(调)");
    int character = 0;
    static const QRegularExpression re(
        QStringLiteral("^(R|[合四一上尺工凡六五乙])(高|低)?(x)?(')?@([\\d.]+)\\+([\\d.]+)(?:~([\\d.]+))?(?:/(.+))?$"));
    for (const QString &token : written.section(u':', 1).split(u' ', Qt::SkipEmptyParts)) {
        const auto m = re.match(token);
        Q_ASSERT_X(m.hasMatch(), "section", qPrintable(token));
        Music::NoteEvent note;
        if (m.captured(1) != u"R") {
            const auto pitch = Gongche::Pitch(QStringLiteral("合四一上尺工凡六五乙").indexOf(m.captured(1)));
            const auto octave = m.captured(2) == u"高"   ? Gongche::Octave::High
                                : m.captured(2) == u"低" ? Gongche::Octave::Low
                                                          : Gongche::Octave::Middle;
            note.glyph = Gongche::compose(pitch, octave, m.hasCaptured(4), m.hasCaptured(3));
            note.pitch = Music::pitchOf(note.glyph, s.doMidi);
            note.flags = (m.hasCaptured(3) ? Music::Small : 0) | (m.hasCaptured(4) ? Music::Breath : 0);
        }
        note.onsetUnits = int(twelfth * m.captured(5).toDouble());
        note.lengthUnits = int(twelfth * m.captured(6).toDouble());
        note.breathUnits = int(twelfth * m.captured(7).toDouble());
        note.lyric = m.captured(8);
        character += !note.lyric.isEmpty();
        note.item = 1;
        note.character = character;
        s.notes << note;
    }
    return s;
}

// What a reader of the document finds, as comparable text.
struct Reading
{
    QString error;
    QStringList badMeasures; // number:sum where a measure's durations miss its time
    int measures = 0, onsets = 0, lyrics = 0;
    int ties = 0, tieStops = 0, tuplets = 0, tupletStops = 0, extends = 0, extendStops = 0;
    QStringList fifths, beats, spelled, badOrder;
    QStringList times; // measure:beats where a time is written
    QStringList texts; // each lyric, "~" after one with a melisma line
    QStringList beams; // per note its beam letters by level (b c e f k), "-" for none
    QStringList badBeams; // measure:level where a beam opens, closes or crosses a beat wrongly
    int breaths = 0, pitchedUnits = 0;
};

// Children of <note> in the order the schema asks for.
const QStringList kNoteOrder = {"chord", "pitch", "rest", "duration", "tie", "voice", "type",
                                "dot", "accidental", "time-modification", "beam", "notations", "lyric"};

Reading readBack(const QByteArray &bytes)
{
    Reading r;
    QXmlStreamReader xml(bytes);
    int divisions = 0, beats = 4, sum = 0, measure = 0, lastChild = -1, alter = 0;
    QString step, octave;
    bool inNote = false, pitched = false, tieStop = false;
    int noteStart = 0;
    QString noteBeams;
    std::array<int, 9> beamBeat; // per level: the beat its open beam started in, -1: none
    beamBeat.fill(-1);
    auto badBeam = [&](int level) { r.badBeams << QStringLiteral("%1:%2").arg(measure).arg(level); };
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringView name = xml.name();
        if (xml.isEndElement()) {
            if (name == u"measure" && sum != divisions * beats)
                r.badMeasures << QStringLiteral("%1:%2").arg(measure).arg(sum);
            if (name == u"measure") {
                for (size_t level = 1; level < beamBeat.size(); ++level)
                    if (beamBeat[level] >= 0)
                        badBeam(int(level));
                beamBeat.fill(-1);
            }
            if (name == u"note") {
                inNote = false;
                r.beams << (noteBeams.isEmpty() ? QStringLiteral("-") : noteBeams);
                if (pitched)
                    r.pitchedUnits += sum - noteStart;
                // A beam stays inside the beat it started in.
                for (size_t level = 1; level < beamBeat.size(); ++level)
                    if (beamBeat[level] >= 0 && divisions > 0
                        && (sum - 1) / divisions != beamBeat[level])
                        badBeam(int(level));
                if (pitched && !tieStop) {
                    ++r.onsets;
                    r.spelled << step + (alter > 0 ? "#" : alter < 0 ? "b" : "") + octave;
                }
            }
            continue;
        }
        if (!xml.isStartElement())
            continue;
        if (inNote && kNoteOrder.contains(name.toString())) {
            const int at = kNoteOrder.indexOf(name.toString());
            if (at < lastChild)
                r.badOrder << name.toString();
            lastChild = at;
        }
        if (name == u"measure") {
            ++r.measures;
            measure = xml.attributes().value(QLatin1String("number")).toInt();
            sum = 0;
        } else if (name == u"divisions") {
            divisions = xml.readElementText().toInt();
        } else if (name == u"fifths") {
            r.fifths << xml.readElementText();
        } else if (name == u"beats") {
            r.beats << xml.readElementText();
            beats = r.beats.last().toInt();
            r.times << QStringLiteral("%1:%2").arg(measure).arg(beats);
        } else if (name == u"note") {
            inNote = true;
            pitched = tieStop = false;
            noteStart = sum;
            noteBeams.clear();
            lastChild = -1;
            alter = 0;
        } else if (name == u"pitch") {
            pitched = true;
        } else if (name == u"step") {
            step = xml.readElementText();
        } else if (name == u"alter") {
            alter = xml.readElementText().toInt();
        } else if (name == u"octave") {
            octave = xml.readElementText();
        } else if (name == u"duration" && inNote) {
            sum += xml.readElementText().toInt();
        } else if (name == u"tie") {
            const bool stop = xml.attributes().value(QLatin1String("type")) == u"stop";
            (stop ? r.tieStops : r.ties) += 1;
            tieStop = tieStop || stop;
        } else if (name == u"beam") {
            const int level = xml.attributes().value(QLatin1String("number")).toInt();
            const QString kind = xml.readElementText();
            static const QStringList kinds = {"begin", "continue", "end", "forward hook",
                                              "backward hook"};
            if (level < 1 || level >= int(beamBeat.size()) || !kinds.contains(kind)) {
                badBeam(level);
                continue;
            }
            noteBeams = noteBeams.leftJustified(level - 1, u'.');
            noteBeams.insert(level - 1, QChar(u"bcefk"[kinds.indexOf(kind)]));
            int &open = beamBeat[size_t(level)];
            if ((kind == u"begin") != (open < 0) && kind != u"forward hook" && kind != u"backward hook")
                badBeam(level);
            if (kind == u"begin")
                open = divisions > 0 ? noteStart / divisions : 0;
            else if (kind == u"end") {
                if (divisions > 0 && (sum - 1) / divisions != open)
                    badBeam(level);
                open = -1;
            }
        } else if (name == u"breath-mark") {
            ++r.breaths;
        } else if (name == u"tuplet") {
            (xml.attributes().value(QLatin1String("type")) == u"stop" ? r.tupletStops : r.tuplets) += 1;
        } else if (name == u"extend") {
            const bool stop = xml.attributes().value(QLatin1String("type")) == u"stop";
            (stop ? r.extendStops : r.extends) += 1;
            if (!stop && !r.texts.isEmpty())
                r.texts.last() += u'~';
        } else if (name == u"text" && inNote) {
            ++r.lyrics;
            r.texts << xml.readElementText();
        }
    }
    if (xml.hasError())
        r.error = xml.errorString();
    return r;
}

Music::Performance performanceOf(const QString &sections)
{
    Music::Performance p;
    p.title = QStringLiteral("游园");
    int start = 0;
    for (const QString &written : sections.split(u';', Qt::SkipEmptyParts)) {
        p.sections << section(written, start);
        start += p.sections.last().lengthUnits;
    }
    return p;
}

} // namespace

class TestMusicXml : public QObject
{
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void beamsAndBreaths_data();
    void beamsAndBreaths();
    void bars_data();
    void bars();
    void repeatedNotes();
    void sample();
};

void TestMusicXml::encode_data()
{
    QTest::addColumn<QString>("sections");
    QTest::addColumn<int>("measures");
    QTest::addColumn<QString>("counts"); // ties, tuplets, lyrics, extends
    QTest::addColumn<QString>("keys");   // fifths/beats where they change
    QTest::addColumn<QString>("spelled"); // pitched onsets; empty: not checked

    // 袅晴丝吹来闲庭院: a triplet, a note tied over the 腰板 beat, a held
    // final note with its breath.
    QTest::newRow("triplet, waist tie, breath")
        << "74 2 4 144: 上高@0+4/袅 尺高x@4+4 尺高@8+4 五@12+6/晴 六@18+6 工@24+12/丝 "
           "尺@36+6/吹 工@42+3 尺@45+6/来 上@51+3 尺@54+6 工@60+6/闲 尺@66+6 工@72+12/庭 "
           "上'@84+24~6/院"
        << 3 << "2 1 8 6" << "2/4"
        << "D6 E6 E6 B5 A5 F#5 E5 F#5 E5 D5 E5 F#5 E5 F#5 D5";
    QTest::newRow("whole beats merge into one value")
        << "74 2 4 96: 上@0+36/一 尺@36+48/二 工@84+12/三" << 2 << "1 0 3 1" << "2/4" << "D5 E5 F#5";
    QTest::newRow("sextuplet and a value needing a tie")
        << "74 2 4 48: 上@0+2/一 尺@2+2 工@4+4 六@8+4 五@12+10/二 六@22+2" << 1 << "1 2 2 2" << "2/4"
        << "D5 E5 F#5 A5 B5 A5";
    QTest::newRow("twelfths of a beat") << "74 2 4 48: 上@0+1/一 尺@1+11" << 1 << "1 1 1 1" << "2/4"
                                        << "D5 E5";
    QTest::newRow("pickup rest and bars of two")
        << "74 2 2 72: 上@18+6/一 尺@24+30/二 R@54+6/三 工@60+12/四" << 3 << "1 0 3 1" << "2/2"
        << "D5 E5 F#5";
    QTest::newRow("赠板 bars of eight") << "74 2 8 96: 上@0+96/一" << 1 << "0 0 1 0" << "2/8" << "D5";
    QTest::newRow("small notes and overlaps stay sound")
        << "74 2 4 48: 上x@0+6/一 尺@3+6 六@12+12/二" << 1 << "0 0 2 1" << "2/4" << "D5 E5 A5";
    QTest::newRow("two keys, transposed spellings")
        << "75 -3 4 48: 上@0+12/一 凡@12+12 乙@24+12 一@36+12;"
           "73 -5 2 24: 上@0+6/二 工@6+6 凡@12+6 乙@18+6;"
           "66 -6 1 12: 凡@0+12/三;"
           "71 5 4 48: 乙高@0+12/四 合低@12+36"
        << 4 << "0 0 4 3" << "-3/4 -5/2 -6/1 5/4"
        << "Eb5 Ab5 D6 D5 Db5 F5 Gb5 C6 Cb5 A#6 F#3";
    QTest::newRow("a new tune in the same key and time restates neither")
        << "74 2 4 48: 上@0+48/一;74 2 4 48: 尺@0+48/二" << 2 << "0 0 2 0" << "2/4" << "D5 E5";
    QTest::newRow("empty performance") << "" << 1 << "0 0 0 0" << "2/4" << "";
}

void TestMusicXml::encode()
{
    QFETCH(QString, sections);
    QFETCH(int, measures);
    QFETCH(QString, counts);
    QFETCH(QString, keys);
    QFETCH(QString, spelled);

    const Music::Performance performance = performanceOf(sections);
    const QByteArray bytes = MusicXml::encode(performance, {});
    QVERIFY(bytes.contains("<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0"));
    const Reading r = readBack(bytes);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY2(r.badMeasures.isEmpty(), qPrintable(r.badMeasures.join(u' ')));
    QVERIFY2(r.badOrder.isEmpty(), qPrintable(r.badOrder.join(u' ')));
    QCOMPARE(r.measures, measures);
    QCOMPARE(r.ties, r.tieStops);
    QCOMPARE(r.tuplets, r.tupletStops);
    QCOMPARE(r.extendStops, 0);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(r.ties).arg(r.tuplets).arg(r.lyrics).arg(r.extends),
             counts);
    QStringList gotKeys;
    for (qsizetype i = 0; i < r.fifths.size(); ++i)
        gotKeys << r.fifths[i] + u'/' + r.beats.value(i);
    QCOMPARE(gotKeys.join(u' '), keys);
    QCOMPARE(r.onsets, performance.noteCount());
    QCOMPARE(r.spelled.join(u' '), spelled);
    QVERIFY2(r.badBeams.isEmpty(), qPrintable(r.badBeams.join(u' ')));
}

// Beams by level for every written note (b begin, c continue, e end,
// f forward hook, k backward hook, "-" none), and the breath marks.
void TestMusicXml::beamsAndBreaths_data()
{
    QTest::addColumn<QString>("sections");
    QTest::addColumn<QString>("beams");
    QTest::addColumn<int>("breaths");

    QTest::newRow("four sixteenths") << "74 2 1 12: 上@0+3/一 尺@3+3 工@6+3 六@9+3" << "bb cc cc ee" << 0;
    QTest::newRow("dotted eighth, sixteenth") << "74 2 1 12: 上@0+9/一 尺@9+3" << "b ek" << 0;
    QTest::newRow("sixteenth, dotted eighth") << "74 2 1 12: 上@0+3/一 尺@3+9" << "bf e" << 0;
    QTest::newRow("eighth, two sixteenths") << "74 2 1 12: 上@0+6/一 尺@6+3 工@9+3" << "b cb ee" << 0;
    QTest::newRow("a rest breaks the group")
        << "74 2 1 12: 上@0+3/一 尺@6+3 工@9+3" << "- - bb ee" << 0;
    QTest::newRow("a tie across the beat ends it")
        << "74 2 2 24: 上@0+6/一 尺@6+12 工@18+6" << "b e b e" << 0;
    QTest::newRow("triplet") << "74 2 1 12: 上@0+4/一 尺@4+4 工@8+4" << "b c e" << 0;
    QTest::newRow("sextuplet") << "74 2 1 12: 上@0+2/一 尺@2+2 工@4+4 六@8+4" << "bb ce c e" << 0;
    QTest::newRow("quarters and a lone eighth stay unbeamed")
        << "74 2 2 24: 上@0+12/一 尺@12+6" << "- - -" << 0;
    // The 气口 keeps the note whole: a mark after its last tied part.
    QTest::newRow("breath on a held note") << "74 2 2 24: 上'@0+24~6/一" << "-" << 1;
    QTest::newRow("breath inside a beamed beat")
        << "74 2 1 12: 上'@0+6~1/一 尺'@6+6~1" << "b e" << 2;
}

void TestMusicXml::beamsAndBreaths()
{
    QFETCH(QString, sections);
    QFETCH(QString, beams);
    QFETCH(int, breaths);
    const Reading r = readBack(MusicXml::encode(performanceOf(sections), {}));
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY2(r.badOrder.isEmpty(), qPrintable(r.badOrder.join(u' ')));
    QVERIFY2(r.badBeams.isEmpty(), qPrintable(r.badBeams.join(u' ')));
    QCOMPARE(r.beams.join(u' '), beams);
    QCOMPARE(r.breaths, breaths);
}

void TestMusicXml::bars_data()
{
    QTest::addColumn<QString>("sections");
    QTest::addColumn<QString>("times"); // measure:beats where a time is written
    QTest::addColumn<int>("tuplets");

    QTest::newRow("a bar of one, then back to four")
        << "74 2 4 108 4,1,4: 上@0+48/一 尺@48+12/二 工@60+48/三" << "1:4 2:1 3:4" << 0;
    QTest::newRow("a short first bar") << "74 2 4 72 2,4: 上@0+24/一 尺@24+48/二" << "1:2 2:4" << 0;
    // Halved beats: 32nds of a beat and an eighth and two sixteenths,
    // plain values; thirds still make a triplet.
    QTest::newRow("halved values need no tuplet")
        << "74 2 4 48: 上@0+0.375/一 尺@0.375+0.375 工@0.75+0.75 六@1.5+4.5 五@6+3 六@9+3 "
           "工@12+36" << "1:4" << 0;
    QTest::newRow("thirds") << "74 2 4 48: 上@0+4/一 尺@4+4 工@8+40" << "1:4" << 1;
}

// Each bar sums to its own time; a time is written where the length changes.
void TestMusicXml::bars()
{
    QFETCH(QString, sections);
    QFETCH(QString, times);
    QFETCH(int, tuplets);
    const Music::Performance performance = performanceOf(sections);
    const Reading r = readBack(MusicXml::encode(performance, {}));
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY2(r.badMeasures.isEmpty(), qPrintable(r.badMeasures.join(u' ')));
    QCOMPARE(r.times.join(u' '), times);
    QCOMPARE(r.tuplets, tuplets);
    QCOMPARE(r.onsets, performance.noteCount());
}

// Notes written alike keep their own lyric and melisma line.
void TestMusicXml::repeatedNotes()
{
    const Reading r = readBack(MusicXml::encode(
        performanceOf("74 2 4 48: 上@0+12/一 尺@12+12 上@24+12/<&> 上@36+12/一"), {}));
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.texts.join(u' '), QStringLiteral("一~ <&> 一"));
    QCOMPARE(r.spelled.join(u' '), QStringLiteral("D5 E5 D5 D5"));
}

// The bundled sample as the program reads it: whole bars, one written
// onset per note and the lyric under every character.
void TestMusicXml::sample()
{
    const LayoutItems items = SampleScore::layoutItems();
    QVERIFY(!items.isEmpty());
    for (auto rhythm : {Music::Rhythm::Halving, Music::Rhythm::Proportional}) {
        Music::Options options;
        options.rhythm = rhythm;
        const auto performance = Music::read(items, options);
        const Reading r = readBack(MusicXml::encode(performance, options));
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QVERIFY2(r.badMeasures.isEmpty(), qPrintable(r.badMeasures.join(u' ')));
        QCOMPARE(r.onsets, performance.noteCount());
        QCOMPARE(r.ties, r.tieStops);
        QCOMPARE(r.tuplets, r.tupletStops);
        // Halved beats are plain values; the sample's shared beats are not.
        QCOMPARE(r.tuplets == 0, rhythm == Music::Rhythm::Halving);
        QCOMPARE(r.lyrics, 91);
        QVERIFY2(r.badBeams.isEmpty(), qPrintable(r.badBeams.join(u' ')));
        QVERIFY(r.beams.filter(QStringLiteral("b")).size() > 10);
        // Every note keeps its whole value: breaths are marks, not rests.
        int units = 0, breaths = 0;
        for (const auto &section : performance.sections) {
            for (const auto &note : section.notes) {
                if (note.pitch >= 0) {
                    units += note.lengthUnits;
                    breaths += bool(note.flags & Music::Breath);
                }
            }
        }
        QCOMPARE(r.pitchedUnits, units);
        QVERIFY(breaths > 0);
        QCOMPARE(r.breaths, breaths);
    }
}

QTEST_MAIN(TestMusicXml)
#include "test_musicxml.moc"
