// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/Following.h"
#include "audio/PlaybackSettings.h"
#include "audio/Player.h"
#include "music/MidiFile.h"
#include "music/Ornaments.h"
#include "music/Reading.h"
#include "support/CoreTestSupport.h"
#include "document/SampleScore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int Beat = Music::TicksPerQuarter;

// A note of `beats` beats on (item, character); pitch -1 is a rest.
Music::NoteEvent note(int onsetBeats, int beats, int item, int character, int pitch = 69)
{
    Music::NoteEvent n;
    n.pitch = pitch;
    n.onsetUnits = onsetBeats * Music::UnitsPerBeat;
    n.lengthUnits = beats * Music::UnitsPerBeat;
    n.item = item;
    n.character = character;
    return n;
}

// Two sections: the second starts at beat 8. Character (1,0) has two
// notes, (1,1) a rest, (1,2) one note; then (3,0) and (3,1).
Music::Performance handMade()
{
    Music::Section first;
    first.lengthUnits = 8 * Music::UnitsPerBeat;
    first.notes = {note(0, 1, 1, 0), note(1, 2, 1, 0), note(3, 1, 1, 1, -1), note(4, 4, 1, 2)};
    Music::Section second;
    second.startUnits = 8 * Music::UnitsPerBeat;
    second.lengthUnits = 4 * Music::UnitsPerBeat;
    second.notes = {note(0, 2, 3, 0), note(2, 2, 3, 1)};
    Music::Performance performance;
    performance.sections = {first, second};
    return performance;
}

// A plain tune of `beats` one-beat notes, as a Standard MIDI File.
QByteArray tune(int beats, double tempo = 120)
{
    Music::Section section;
    section.lengthUnits = beats * Music::UnitsPerBeat;
    for (int i = 0; i < beats; ++i)
        section.notes.append(note(i, 1, 0, i, 60 + i % 12));
    Music::Performance performance;
    performance.sections = {section};
    Music::Options options;
    options.tempo = tempo;
    return Midi::encode(performance, options);
}

QString soundFont()
{
    const QString path = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    return QFile::exists(path) ? path : QString();
}

// The loudest 16-bit sample in the last `milliseconds` the file driver
// wrote (stereo at 44.1 kHz, after the header).
int recentPeak(const QString &path, int milliseconds)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 44)
        return -1;
    const qint64 bytes = qint64(milliseconds) * 441 / 10 * 4;
    const qint64 from = std::max<qint64>(44, (file.size() - bytes) / 2 * 2);
    file.seek(from);
    const QByteArray data = file.readAll();
    const auto *samples = reinterpret_cast<const qint16 *>(data.constData());
    int peak = 0;
    for (qsizetype i = 0; i < data.size() / 2; ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    return peak;
}

#define REQUIRE_SOUNDFONT()                                                                        \
    do {                                                                                           \
        if (::soundFont().isEmpty())                                                               \
            QSKIP("no General MIDI SoundFont installed (timgm6mb-soundfont)");                     \
    } while (false)

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void cueAt_data();
    void cueAt();
    void startTickFor_data();
    void startTickFor();
    void sampleFollowing_data();
    void sampleFollowing();

    void settingsLoad_data();
    void settingsLoad();
    void settingsRoundTrip();

    void playPauseStop();
    void fromTickAndFinish();
    void loopAndTempo();
    void stopSendsNoFinished();
    void destroyWhilePlaying();
    void rapidCycles();
    void refused_data();
    void refused();
};

void TestPlayback::initTestCase()
{
    initCoreTestApplication();
}

void TestPlayback::init()
{
    qputenv("KELVO_AUDIO_DRIVER", "file");
    qunsetenv("KELVO_AUDIO_FILE");
}

// The hand-made performance at a tick: which (item, character) sounds.
void TestPlayback::cueAt_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("character");

    QTest::newRow("before the start") << -1 << -1 << -1;
    QTest::newRow("first note") << 0 << 1 << 0;
    QTest::newRow("second note of the same character") << Beat * 2 << 1 << 0;
    QTest::newRow("a rest keeps the last character") << Beat * 3 + 10 << 1 << 0;
    QTest::newRow("third character") << Beat * 4 << 1 << 2;
    QTest::newRow("one tick before the next section") << Beat * 8 - 1 << 1 << 2;
    QTest::newRow("second section, after its start") << Beat * 8 << 3 << 0;
    QTest::newRow("last character") << Beat * 10 << 3 << 1;
    QTest::newRow("long after the end") << Beat * 100 << 3 << 1;
}

void TestPlayback::cueAt()
{
    QFETCH(int, tick);
    QFETCH(int, item);
    QFETCH(int, character);
    const QList<Audio::Cue> cues = Audio::cues(handMade());
    QCOMPARE(cues.size(), 4);
    QCOMPARE(cues.at(0).endTick, Beat * 3); // both notes of (1, 0)
    QCOMPARE(cues.at(3).endTick, Beat * 12);
    const int at = Audio::cueAt(cues, tick);
    QCOMPARE(at < 0 ? -1 : cues.at(at).item, item);
    QCOMPARE(at < 0 ? -1 : cues.at(at).character, character);
}

void TestPlayback::startTickFor_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("character");
    QTest::addColumn<int>("tick");

    QTest::newRow("a sung character") << 1 << 2 << Beat * 4;
    QTest::newRow("the rest plays from the next character") << 1 << 1 << Beat * 4;
    QTest::newRow("a line before any notes") << 0 << 5 << 0;
    QTest::newRow("a line between the sections") << 2 << 0 << Beat * 8;
    QTest::newRow("past the line's last character") << 1 << 9 << Beat * 8;
    QTest::newRow("after the last character") << 3 << 2 << 0;
    QTest::newRow("after the last line") << 7 << 0 << 0;
}

void TestPlayback::startTickFor()
{
    QFETCH(int, item);
    QFETCH(int, character);
    QFETCH(int, tick);
    QCOMPARE(Audio::startTickFor(Audio::cues(handMade()), item, character), tick);
}

// The bundled sample on a fake clock: after so many milliseconds at a
// tempo, the character being sung.
void TestPlayback::sampleFollowing_data()
{
    QTest::addColumn<int>("milliseconds");
    QTest::addColumn<double>("tempo");
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<int>("character");

    const QString first = QStringLiteral("袅晴丝吹来闲庭院，");
    QTest::newRow("start") << 0 << 60.0 << first << 0;
    QTest::newRow("end of the first beat") << 999 << 60.0 << first << 0;
    QTest::newRow("second beat") << 1000 << 60.0 << first << 1;
    QTest::newRow("twice as fast") << 1000 << 120.0 << first << 2;
    QTest::newRow("inside a beat") << 3500 << 60.0 << first << 3;
    QTest::newRow("off the beat") << 3800 << 60.0 << first << 4;
    QTest::newRow("the line's last character") << 8999 << 60.0 << first << 7;
    QTest::newRow("the next line") << 9000 << 60.0 << QStringLiteral("摇漾春如线。") << 0;
    // The first tune: thirteen bars of 4/4.
    QTest::newRow("the second tune") << 52000 << 60.0 << QStringLiteral("原来姹紫嫣红开遍，") << 0;
}

void TestPlayback::sampleFollowing()
{
    QFETCH(int, milliseconds);
    QFETCH(double, tempo);
    QFETCH(QString, lyric);
    QFETCH(int, character);
    const LayoutItems items = SampleScore::layoutItems();
    QVERIFY(!items.isEmpty());
    const QList<Audio::Cue> cues = Audio::cues(Music::read(items, {}));
    // The player's clock: ticks at 480 a beat.
    const int tick = int(qint64(milliseconds) * tempo * Beat / 60000);
    const int at = Audio::cueAt(cues, tick);
    QVERIFY(at >= 0);
    QCOMPARE(items.at(cues.at(at).item).text, lyric);
    QCOMPARE(cues.at(at).character, character);
    // Playing from that character starts on its first note.
    QCOMPARE(Audio::startTickFor(cues, cues.at(at).item, character), cues.at(at).startTick);
}

// What a hand-edited [playback] group reads as.
void TestPlayback::settingsLoad_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<int>("tempo");
    QTest::addColumn<int>("transpose");
    QTest::addColumn<int>("instrument");
    QTest::addColumn<bool>("loop");
    QTest::addColumn<int>("rhythm"); // Music::Rhythm

    const int flute = PlaybackSettings::Flute;
    QTest::newRow("missing group") << QString() << 60 << 0 << flute << false << 0;
    QTest::newRow("all set")
        << "tempo=45\ntranspose=-3\ninstrument=voice\nloop=true\nrhythm=proportional\n" << 45 << -3
        << int(PlaybackSettings::Voice) << true << 1;
    QTest::newRow("limits") << "tempo=200\ntranspose=12\ninstrument=Piano\n" << 200 << 12
                            << int(PlaybackSettings::Piano) << false << 0;
    QTest::newRow("name as shown") << "instrument=箫\n" << 60 << 0 << int(PlaybackSettings::Xiao)
                                   << false << 0;
    QTest::newRow("decimal tempo rounds") << "tempo=72.4\n" << 72 << 0 << flute << false << 0;
    QTest::newRow("tempo too slow") << "tempo=29\n" << 60 << 0 << flute << false << 0;
    QTest::newRow("tempo too fast") << "tempo=1e9\n" << 60 << 0 << flute << false << 0;
    QTest::newRow("tempo NaN") << "tempo=nan\ntranspose=inf\n" << 60 << 0 << flute << false << 0;
    QTest::newRow("tempo text") << "tempo=fast\ntranspose=up\n" << 60 << 0 << flute << false << 0;
    QTest::newRow("transpose out of range") << "transpose=-13\n" << 60 << 0 << flute << false << 0;
    QTest::newRow("unknown instrument") << "instrument=kazoo\n" << 60 << 0 << flute << false << 0;
    QTest::newRow("instrument as a number") << "instrument=2\n" << 60 << 0 << flute << false << 0;
    QTest::newRow("garbled loop and rhythm") << "loop=perhaps\nrhythm=triplets\n" << 60 << 0 << flute
                                             << false << 0;
}

void TestPlayback::settingsLoad()
{
    QFETCH(QString, ini);
    QFETCH(int, tempo);
    QFETCH(int, transpose);
    QFETCH(int, instrument);
    QFETCH(bool, loop);
    QFETCH(int, rhythm);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(("[playback]\n" + ini).toUtf8());
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    const PlaybackSettings loaded = PlaybackSettings::load(settings);
    QCOMPARE(loaded.tempo, tempo);
    QCOMPARE(loaded.transpose, transpose);
    QCOMPARE(int(loaded.instrument), instrument);
    QCOMPARE(loaded.loop, loop);
    QCOMPARE(int(loaded.rhythm), rhythm);
    QCOMPARE(settings.group(), QString());
}

void TestPlayback::settingsRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    PlaybackSettings saved;
    saved.tempo = 33;
    saved.transpose = -12;
    saved.instrument = PlaybackSettings::Xiao;
    saved.soundFont = QStringLiteral("/home/a, b/My Font.sf2");
    saved.loop = true;
    saved.rhythm = Music::Rhythm::Proportional;
    {
        QSettings settings(path, QSettings::IniFormat);
        saved.save(settings);
    }
    QSettings settings(path, QSettings::IniFormat);
    const PlaybackSettings loaded = PlaybackSettings::load(settings);
    QCOMPARE(loaded.tempo, saved.tempo);
    QCOMPARE(loaded.transpose, saved.transpose);
    QCOMPARE(loaded.instrument, saved.instrument);
    QCOMPARE(loaded.soundFont, saved.soundFont);
    QCOMPARE(loaded.loop, saved.loop);
    QCOMPARE(loaded.rhythm, saved.rhythm);
    QCOMPARE(PlaybackSettings::musicOptions(60, 0, saved.rhythm).rhythm, saved.rhythm);
    QCOMPARE(PlaybackSettings::program(PlaybackSettings::Voice), 52);
    QCOMPARE(PlaybackSettings::name(PlaybackSettings::Piano), QStringLiteral("钢琴"));
}

void TestPlayback::playPauseStop()
{
    REQUIRE_SOUNDFONT();
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.wav"));
    qputenv("KELVO_AUDIO_FILE", QFile::encodeName(out));
    Player player;
    QString error;
    QVERIFY2(player.prepare(soundFont(), &error), qPrintable(error));
    QVERIFY2(player.play(tune(32), soundFont(), 0, &error), qPrintable(error));
    QVERIFY(!player.prepare(QStringLiteral("/elsewhere.sf2"), &error));
    QVERIFY(player.isActive());
    QTRY_VERIFY(player.currentTick() > Beat / 2);
    QVERIFY(recentPeak(out, 100) > 500);

    player.pause();
    QVERIFY(player.isPaused());
    const int held = player.currentTick();
    QTest::qWait(150);
    QCOMPARE(player.currentTick(), held);
    // No note hangs on: after the release and the reverb, silence.
    QTRY_VERIFY_WITH_TIMEOUT(recentPeak(out, 100) < 50, 3000);

    player.resume();
    QVERIFY(!player.isPaused());
    QTRY_VERIFY(player.currentTick() > held + Beat / 4);

    player.stop();
    QVERIFY(!player.isActive());
    QCOMPARE(player.currentTick(), 0);
}

void TestPlayback::fromTickAndFinish()
{
    REQUIRE_SOUNDFONT();
    Player player;
    QSignalSpy finished(&player, &Player::finished);
    QString error;
    // Four beats at 240 a minute: one second, started after the second beat.
    QVERIFY2(player.play(tune(4, 240), soundFont(), Beat * 2, &error), qPrintable(error));
    QVERIFY(player.currentTick() >= Beat * 2);
    QTRY_VERIFY(player.currentTick() > Beat * 2 + 10);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QVERIFY(!player.isActive());
    // Playing again after the end works the same.
    QVERIFY2(player.play(tune(2, 240), soundFont(), 0, &error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 5000);
}

void TestPlayback::loopAndTempo()
{
    REQUIRE_SOUNDFONT();
    Player player;
    QSignalSpy finished(&player, &Player::finished);
    player.setTempo(480); // eight beats a second
    player.setLoop(Beat, Beat * 3);
    QString error;
    QVERIFY2(player.play(tune(8, 60), soundFont(), Beat, &error), qPrintable(error));
    // At the file's 60 a minute a round would take two seconds; at 480 it
    // takes a quarter, so within a second the position has wrapped.
    QElapsedTimer clock;
    clock.start();
    int highest = 0;
    bool wrapped = false;
    int last = player.currentTick();
    while (clock.elapsed() < 1000) {
        QTest::qWait(5);
        const int now = player.currentTick();
        highest = std::max(highest, now);
        wrapped = wrapped || now < last;
        last = now;
    }
    QVERIFY(wrapped);
    QVERIFY2(highest < Beat * 3 + Beat / 2, qPrintable(QString::number(highest)));
    QVERIFY(player.isActive());

    // Off the loop and faster still: the piece ends.
    player.setLoop(0, 0);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
}

void TestPlayback::stopSendsNoFinished()
{
    REQUIRE_SOUNDFONT();
    Player player;
    QSignalSpy finished(&player, &Player::finished);
    QString error;
    QVERIFY2(player.play(tune(2, 600), soundFont(), 0, &error), qPrintable(error));
    player.stop();
    player.stop();
    QTest::qWait(400);
    QCOMPARE(finished.size(), 0);
    player.pause();
    player.resume();
    QVERIFY(!player.isActive());
}

void TestPlayback::destroyWhilePlaying()
{
    REQUIRE_SOUNDFONT();
    for (bool paused : {false, true}) {
        auto player = std::make_unique<Player>();
        QString error;
        QVERIFY2(player->play(tune(16), soundFont(), 0, &error), qPrintable(error));
        QTRY_VERIFY(player->currentTick() > 0);
        if (paused)
            player->pause();
        player.reset();
    }
}

// Play, pause, resume, stop, loop, tempo and delete in a random order as
// fast as they come, on one player and on fresh ones.
void TestPlayback::rapidCycles()
{
    REQUIRE_SOUNDFONT();
    QRandomGenerator random(17);
    const QByteArray midi = tune(8, 240);
    auto player = std::make_unique<Player>();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 50; ++i) {
        switch (random.bounded(7)) {
        case 0: {
            QString error;
            QVERIFY2(player->play(midi, soundFont(), random.bounded(Beat * 8), &error), qPrintable(error));
            break;
        }
        case 1: player->pause(); break;
        case 2: player->resume(); break;
        case 3: player->stop(); break;
        case 4: player->setLoop(random.bounded(Beat * 4), random.bounded(Beat * 8)); break;
        case 5: player->setTempo(30 + random.bounded(400)); break;
        case 6: player = std::make_unique<Player>(); break;
        }
        if (random.bounded(3) == 0)
            QTest::qWait(random.bounded(30));
    }
    player.reset();
    QVERIFY2(clock.elapsed() < 30000, "play and stop must not block");
}

// A missing, unreadable or bad SoundFont, or no audio device: false and
// one clear message.
void TestPlayback::refused_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("soundFont"); // "bad": a text file named .sf2
    QTest::addColumn<QString>("message");   // the message contains it

    QTest::newRow("no SoundFont") << "file" << QString() << QStringLiteral("音色库");
    QTest::newRow("missing SoundFont") << "file" << "/nonexistent/gm.sf2" << "/nonexistent/gm.sf2";
    QTest::newRow("damaged SoundFont") << "file" << "bad" << QStringLiteral("无法载入");
    QTest::newRow("samples past the data") << "file" << "past" << QStringLiteral("无法载入");
    QTest::newRow("no audio device") << "nonexistent" << QString("default")
                                     << QStringLiteral("没有可用的音频设备");
}

void TestPlayback::refused()
{
    QFETCH(QString, driver);
    QFETCH(QString, soundFont);
    QFETCH(QString, message);
    qputenv("KELVO_AUDIO_DRIVER", driver.toUtf8());
    QTemporaryDir dir;
    if (soundFont == QLatin1String("bad")) {
        soundFont = dir.filePath(QStringLiteral("bad.sf2"));
        QFile file(soundFont);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("RIFF not really a SoundFont");
    } else if (soundFont == QLatin1String("past")) {
        // FluidSynth loads it, and would play it silent.
        const QByteArray damaged = damagedSoundFont(::soundFont(), SoundFontDamage::SamplesPastData);
        if (damaged.isEmpty())
            QSKIP("no General MIDI SoundFont installed (timgm6mb-soundfont)");
        soundFont = dir.filePath(QStringLiteral("past.sf2"));
        QFile file(soundFont);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    } else if (soundFont == QLatin1String("default")) {
        REQUIRE_SOUNDFONT();
        soundFont = ::soundFont();
    }
    Player player;
    QString error;
    QCOMPARE(player.prepare(soundFont, &error), driver == QLatin1String("file") ? false : true);
    QVERIFY(!player.play(tune(4), soundFont, 0, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(!player.isActive());
    QCOMPARE(Player::driverName(), driver);
}

QTEST_MAIN(TestPlayback)
#include "test_playback.moc"
