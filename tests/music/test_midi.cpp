// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI writer, read back by a small reader of its own, and the music
// writers' whole-or-nothing files.

#include "document/GongcheSymbols.h"
#include "export/ExportWriters.h"
#include "music/MidiFile.h"
#include "music/Ornaments.h"
#include "music/Reading.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int twelfth = Music::UnitsPerBeat / 12;

// The events of each track as "tick what value" lines.
QList<QStringList> readSmf(const QByteArray &file, int *division)
{
    QList<QStringList> tracks;
    qsizetype at = 0;
    auto u8 = [&](qsizetype i) { return quint8(file.at(i)); };
    auto be = [&](qsizetype i, int n) {
        quint32 v = 0;
        for (int k = 0; k < n; ++k)
            v = (v << 8) | u8(i + k);
        return v;
    };
    if (file.left(4) != "MThd" || be(4, 4) != 6)
        return tracks;
    *division = int(be(12, 2));
    const int count = int(be(10, 2));
    at = 14;
    for (int t = 0; t < count && at + 8 <= file.size(); ++t) {
        if (file.mid(at, 4) != "MTrk")
            return {};
        const qsizetype end = at + 8 + be(at + 4, 4);
        at += 8;
        QStringList events;
        quint32 tick = 0;
        auto number = [&] {
            quint32 v = 0;
            quint8 b;
            do {
                b = u8(at++);
                v = (v << 7) | (b & 0x7F);
            } while (b & 0x80);
            return v;
        };
        while (at < end) {
            tick += number();
            const quint8 status = u8(at++);
            QString e;
            if (status == 0xFF) {
                const quint8 type = u8(at++);
                const quint32 length = number();
                const QByteArray data = file.mid(at, length);
                at += length;
                switch (type) {
                case 0x03: e = QStringLiteral("name ") + QString::fromUtf8(data); break;
                case 0x05: e = QStringLiteral("lyric ") + QString::fromUtf8(data); break;
                case 0x06: e = QStringLiteral("marker ") + QString::fromUtf8(data); break;
                case 0x51: e = QStringLiteral("tempo %1").arg(be(at - 3, 3)); break;
                case 0x58: e = QStringLiteral("time %1/%2").arg(u8(at - 4)).arg(1 << u8(at - 3)); break;
                case 0x59: e = QStringLiteral("key %1").arg(qint8(data.at(0))); break;
                case 0x2F: e = QStringLiteral("end"); break;
                default: e = QStringLiteral("meta %1").arg(type);
                }
            } else if ((status & 0xF0) == 0xC0) {
                e = QStringLiteral("program %1").arg(u8(at++));
            } else if ((status & 0xF0) == 0x90 || (status & 0xF0) == 0x80) {
                const quint8 pitch = u8(at++), velocity = u8(at++);
                e = QStringLiteral("%1 %2").arg((status & 0xF0) == 0x90 && velocity ? "on" : "off").arg(pitch);
            } else {
                return {}; // nothing else is ever written
            }
            events << QStringLiteral("%1 %2").arg(tick).arg(e);
        }
        tracks << events;
    }
    return tracks;
}

// A section from "heading|meter|fifths|start|length[|bars]" (bars: beats of
// each measure, comma-separated) and notes written as
// "pitch@onset+length[-breath][ lyric]" in twelfths of a beat (scaled to
// units).
Music::Section section(const QString &head, const QStringList &notes)
{
    const QStringList f = head.split(u'|');
    Music::Section s;
    s.heading = f.value(0);
    s.meter = f.value(1).toInt();
    s.fifths = f.value(2).toInt();
    s.startUnits = twelfth * f.value(3).toInt();
    s.lengthUnits = twelfth * f.value(4).toInt();
    int bar = 0;
    for (const QString &beats : f.value(5).split(u',', Qt::SkipEmptyParts)) {
        s.measures.append({bar, beats.toInt() * Music::UnitsPerBeat});
        bar += s.measures.last().lengthUnits;
    }
    for (const QString &text : notes) {
        static const QRegularExpression re(QStringLiteral("^(-?\\d+)@(\\d+)\\+(\\d+)(?:-(\\d+))?(?: (.+))?$"));
        const QRegularExpressionMatch m = re.match(text);
        Music::NoteEvent n;
        n.pitch = m.captured(1).toInt();
        n.onsetUnits = twelfth * m.captured(2).toInt();
        n.lengthUnits = twelfth * m.captured(3).toInt();
        n.breathUnits = twelfth * m.captured(4).toInt();
        n.lyric = m.captured(5);
        s.notes << n;
    }
    return s;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestMidi : public QObject
{
    Q_OBJECT

private slots:
    void encode_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<double>("tempo");
        QTest::addColumn<QList<Music::Section>>("sections");
        QTest::addColumn<QStringList>("conductor");
        QTest::addColumn<QStringList>("melody");

        QTest::newRow("one note")
            << QStringLiteral("游园") << 60.0
            << QList<Music::Section>{section(QStringLiteral("【步步娇】(小工调)|4|2|0|48"), {QStringLiteral("74@0+12 袅")})}
            << QStringList{"0 name 游园", "0 tempo 1000000", "0 time 4/4", "0 key 2", "0 marker 【步步娇】(小工调)", "1920 end"}
            << QStringList{"0 name 笛", "0 program 73", "0 lyric 袅", "0 on 74", "480 off 74", "1920 end"};
        // Equal ticks: the old note ends, then the next lyric, then its note.
        QTest::newRow("re-struck pitch, breath, rest, melisma")
            << QString() << 30.0
            << QList<Music::Section>{section(QStringLiteral("|2|-3|0|24"),
                                             {QStringLiteral("74@0+6 晴"), QStringLiteral("74@6+6"),
                                              QStringLiteral("76@12+6-2 丝"), QStringLiteral("-1@18+6 吹")})}
            << QStringList{"0 tempo 2000000", "0 time 2/4", "0 key -3", "960 end"}
            << QStringList{"0 name 笛", "0 program 73", "0 lyric 晴", "0 on 74", "240 off 74",
                           "240 on 74", "480 off 74", "480 lyric 丝", "480 on 76", "640 off 76",
                           "720 lyric 吹", "960 end"};
        QTest::newRow("two sections")
            << QStringLiteral("T") << 90.0
            << QList<Music::Section>{section(QStringLiteral("【甲】|4|2|0|48"), {QStringLiteral("74@44+4 一")}),
                                     section(QStringLiteral("【乙】(凡字调)|8|-3|48|96"), {QStringLiteral("75@0+12 二")})}
            << QStringList{"0 name T", "0 tempo 666667", "0 time 4/4", "0 key 2", "0 marker 【甲】",
                           "1920 time 8/4", "1920 key -3", "1920 marker 【乙】(凡字调)", "5760 end"}
            << QStringList{"0 name 笛", "0 program 73", "1760 lyric 一", "1760 on 74", "1920 off 74",
                           "1920 lyric 二", "1920 on 75", "2400 off 75", "5760 end"};
        // A bar of another length has its own time, the next goes back.
        QTest::newRow("irregular bar")
            << QString() << 60.0
            << QList<Music::Section>{section(QStringLiteral("|4|2|0|108|4,1,4"), {QStringLiteral("74@0+12 一")})}
            << QStringList{"0 tempo 1000000", "0 time 4/4", "0 key 2", "1920 time 1/4", "2400 time 4/4", "4320 end"}
            << QStringList{"0 name 笛", "0 program 73", "0 lyric 一", "0 on 74", "480 off 74", "4320 end"};
    }
    void encode()
    {
        QFETCH(QString, title);
        QFETCH(double, tempo);
        QFETCH(QList<Music::Section>, sections);
        QFETCH(QStringList, conductor);
        QFETCH(QStringList, melody);
        Music::Performance performance;
        performance.title = title;
        performance.sections = sections;
        Music::Options options;
        options.tempo = tempo;
        int division = 0;
        const QList<QStringList> tracks = readSmf(Midi::encode(performance, options), &division);
        QCOMPARE(division, 480);
        QCOMPARE(tracks.size(), 2);
        QCOMPARE(tracks[0], conductor);
        QCOMPARE(tracks[1], melody);
    }

    // A figure adds notes inside its note and nothing outside; switched off,
    // every note sounds once.
    void ornaments_data()
    {
        QTest::addColumn<int>("figure");
        for (Music::Figure f : {Music::Figure::DieQiang, Music::Figure::CuoQiang,
                                Music::Figure::HuoQiang, Music::Figure::SouQiang})
            QTest::addRow("figure %d", int(f)) << int(f);
    }
    void ornaments()
    {
        QFETCH(int, figure);
        Music::Performance performance;
        performance.sections << section(QStringLiteral("|4|2|0|48"),
                                        {QStringLiteral("74@0+24 一"), QStringLiteral("76@24+24 二")});
        Music::NoteEvent &note = performance.sections[0].notes[0];
        note.flags |= Music::Ornament;
        note.figure = Music::Figure(figure);
        note.ornaments = 1;
        note.glyph = Gongche::compose(Gongche::Pitch::Shang, Gongche::Octave::Middle, false, false);
        for (bool on : {false, true}) {
            Music::Options options;
            options.ornaments = on;
            int division = 0;
            const QStringList melody = readSmf(Midi::encode(performance, options), &division).value(1);
            const QStringList ons = melody.filter(QRegularExpression(QStringLiteral("^\\d+ on ")));
            QCOMPARE(melody.filter(QStringLiteral(" off ")).size(), ons.size());
            QCOMPARE(ons.first(), QStringLiteral("0 on 74"));
            QCOMPARE(ons.last(), QStringLiteral("960 on 76"));
            if (!on)
                QCOMPARE(ons.size(), 2);
            else
                QVERIFY2(ons.size() > 2, qPrintable(melody.join(u',')));
            for (const QString &e : ons.mid(1, ons.size() - 2))
                QVERIFY2(e.section(u' ', 0, 0).toInt() < 960, qPrintable(e));
        }
    }

    void writers_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("target"); // inside a temporary folder
        QTest::addColumn<bool>("notes");
        QTest::addColumn<QString>("message"); // empty: success
        for (const QString format : {"midi", "musicxml"}) {
            const QString lead = format == QLatin1String("midi") ? QStringLiteral("导出MIDI文件失败")
                                                                 : QStringLiteral("导出MusicXML文件失败");
            QTest::newRow(qPrintable(format + " no notes")) << format << "a.out" << false << "没有可导出的音符";
            QTest::newRow(qPrintable(format + " under a regular file")) << format << "plain/a.out" << true << lead + "：所在的文件夹不存在！";
            QTest::newRow(qPrintable(format + " a folder")) << format << "folder" << true << lead + "：目标是一个文件夹！";
        }
        QTest::newRow("midi into missing folders") << "midi" << "new/deep/a.mid" << true << "";
    }
    void writers()
    {
        QFETCH(QString, format);
        QFETCH(QString, target);
        QFETCH(bool, notes);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        Music::Performance performance;
        performance.sections << section(QStringLiteral("|4|2|0|48"),
                                        {notes ? QStringLiteral("74@0+12 一") : QStringLiteral("-1@0+12 一")});
        const QString path = dir.filePath(target);
        const Music::Options options;
        const ExportResult result = format == QLatin1String("midi")
                                        ? ExportWriters::writeMidi(performance, options, path)
                                        : ExportWriters::writeMusicXml(performance, options, path);
        QCOMPARE(result.message, message);
        QCOMPARE(result.ok, message.isEmpty());
        if (result.ok) {
            QCOMPARE(result.files, QStringList{path});
            QVERIFY(fileBytes(path).startsWith("MThd"));
        } else {
            QVERIFY(result.files.isEmpty());
            QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                     (QStringList{QStringLiteral("folder"), QStringLiteral("plain")}));
            QVERIFY(QDir(dir.filePath(QStringLiteral("folder"))).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestMidi)
#include "test_midi.moc"
