// SPDX-License-Identifier: GPL-3.0-or-later
// WAV export and the choice of SoundFont: the sound read back and its
// pitches measured, the fallback from unusable files, and nothing left
// behind by a failed or cancelled export.

#include "audio/SoundFonts.h"
#include "audio/WavExport.h"
#include "export/ExportWriters.h"
#include "music/Reading.h"

#include "support/CoreTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>

namespace {

const QString Fluid = QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2");
const QString Tim = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");

// 上 then 尺 in 小工调, a beat each: D5 then E5; the section may last
// longer.
Music::Performance phrase(int beats = 2)
{
    Music::Section section;
    section.lengthUnits = Music::UnitsPerBeat * beats;
    for (int i = 0; i < 2; ++i) {
        Music::NoteEvent note;
        note.pitch = 74 + 2 * i;
        note.onset = i;
        note.length = 1;
        note.onsetUnits = Music::UnitsPerBeat * i;
        note.lengthUnits = Music::UnitsPerBeat;
        section.notes << note;
    }
    Music::Performance performance;
    performance.sections << section;
    return performance;
}

struct Wav
{
    int rate = 0, channels = 0, bits = 0;
    QVector<double> left; // the first channel, -1..1
};

// A plain PCM WAV as FluidSynth writes it: RIFF/WAVE, "fmt ", "data".
Wav readWav(const QString &path)
{
    Wav wav;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return wav;
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return wav;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const char *body = bytes.constData() + at + 8;
        if (id == "fmt ") {
            wav.channels = qFromLittleEndian<quint16>(body + 2);
            wav.rate = int(qFromLittleEndian<quint32>(body + 4));
            wav.bits = qFromLittleEndian<quint16>(body + 14);
        } else if (id == "data" && wav.bits == 16 && wav.channels > 0) {
            const qsizetype frames = qMin<qsizetype>(size, bytes.size() - at - 8)
                                     / (2 * wav.channels);
            for (qsizetype i = 0; i < frames; ++i)
                wav.left << qFromLittleEndian<qint16>(body + 2 * wav.channels * i) / 32768.0;
        }
        at += 8 + size + (size & 1);
    }
    return wav;
}

// The pitch of a Hann-windowed stretch of samples: the lowest strong peak
// (a quarter of the loudest power or more, so a loud octave partial does
// not win over the fundamental) between 150 Hz and 2.4 kHz, in steps of
// 2 cents (Goertzel at each).
double pitchOf(const Wav &wav, double from, double to)
{
    const int first = int(from * wav.rate), count = int((to - from) * wav.rate);
    QVector<double> x(count);
    for (int i = 0; i < count; ++i)
        x[i] = wav.left.value(first + i) * (0.5 - 0.5 * std::cos(2 * M_PI * i / (count - 1)));
    QVector<double> frequencies, powers;
    for (double f = 150; f < 2400; f *= std::pow(2.0, 2.0 / 1200)) {
        const double k = 2 * std::cos(2 * M_PI * f / wav.rate);
        double s1 = 0, s2 = 0;
        for (double v : std::as_const(x)) {
            const double s = v + k * s1 - s2;
            s2 = s1;
            s1 = s;
        }
        frequencies << f;
        powers << s1 * s1 + s2 * s2 - k * s1 * s2;
    }
    const double loudest = *std::max_element(powers.cbegin(), powers.cend());
    int i = 0;
    while (powers[i] < loudest / 4)
        ++i;
    while (i + 1 < powers.size() && powers[i + 1] > powers[i])
        ++i;
    return frequencies[i];
}

double cents(double frequency, int midi)
{
    return 1200 * std::log2(frequency / (440.0 * std::pow(2.0, (midi - 69) / 12.0)));
}

double rms(const Wav &wav, double from, double to)
{
    double sum = 0;
    const int a = int(from * wav.rate), b = qMin(int(to * wav.rate), int(wav.left.size()));
    for (int i = a; i < b; ++i)
        sum += wav.left[i] * wav.left[i];
    return b > a ? std::sqrt(sum / (b - a)) : 0;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestWavExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initCoreTestApplication(); }
    void cleanup() { qunsetenv("KELVO_SOUNDFONT_DIR"); }

    // Two notes at 60 beats a minute, measured as sound.
    void twoNotes_data()
    {
        QTest::addColumn<QString>("soundFont");
        QTest::addColumn<int>("program");
        QTest::newRow("TimGM6mb flute") << Tim << 73;
        QTest::newRow("FluidR3 flute") << Fluid << 73;
        QTest::newRow("FluidR3 piano") << Fluid << 0;
    }
    void twoNotes()
    {
        QFETCH(QString, soundFont);
        QFETCH(int, program);
        if (!QFileInfo(soundFont).isFile())
            QSKIP("SoundFont not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("两音.wav"));
        Music::Options options;
        options.ornaments = false;
        options.program = program;
        int calls = 0;
        double last = -1;
        bool monotonic = true;
        const ExportResult result = ExportWriters::writeWav(
            phrase(), options, soundFont, path, [&](double fraction) {
                monotonic = monotonic && fraction >= last;
                last = fraction;
                ++calls;
                return true;
            });
        QVERIFY2(result.ok, qPrintable(result.message));
        QVERIFY(result.warning.isEmpty());
        QVERIFY(monotonic && calls > 2);
        QCOMPARE(last, 1.0);
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("两音.wav")});

        const Wav wav = readWav(path);
        QCOMPARE(wav.rate, 44100);
        QCOMPARE(wav.bits, 16);
        QCOMPARE(wav.channels, 2);
        const double seconds = double(wav.left.size()) / wav.rate;
        QCOMPARE(result.seconds, seconds);
        // Two beats, then the release tail.
        const double expected = 2 + Audio::WavTailSeconds;
        QVERIFY2(std::abs(seconds - expected) <= 0.05 * expected, qPrintable(QString::number(seconds)));
        for (int note = 0; note < 2; ++note) {
            const double frequency = pitchOf(wav, note + 0.3, note + 0.7);
            QVERIFY2(std::abs(cents(frequency, 74 + 2 * note)) <= 50,
                     qPrintable(QStringLiteral("note %1: %2 Hz").arg(note).arg(frequency)));
        }
        // Sound while the notes play, loud enough to hand on and never
        // clipped; fading after them.
        QVERIFY(rms(wav, 0.1, 1.9) > 0.01);
        const auto [low, high] = std::minmax_element(wav.left.cbegin(), wav.left.cend());
        QVERIFY(*high > 0.1 && *high < 0.9 && *low > -0.9);
        QVERIFY(rms(wav, 2.6, 3.0) < rms(wav, 0.1, 1.9) / 4);
    }

    // Which file is used, and what the user is told.
    void choice_data()
    {
        QTest::addColumn<QString>("preferred"); // @DIR@: a temporary folder
        QTest::addColumn<QByteArray>("content"); // written to preferred when set
        QTest::addColumn<bool>("systemFonts");
        QTest::addColumn<bool>("chosen"); // some file chosen
        QTest::addColumn<QString>("warning");
        const QByteArray cut = QByteArray("RIFF") + QByteArray::fromHex("00000100") + "sfbk";
        QTest::newRow("none preferred") << QString() << QByteArray() << true << true << QString();
        QTest::newRow("missing") << "@DIR@/无.sf2" << QByteArray() << true << true << "（文件不存在），已改用“";
        QTest::newRow("garbage") << "@DIR@/坏.sf2" << QByteArray(4000, '\x5a') << true << true << "（不是 SoundFont 音色库文件），已改用“";
        QTest::newRow("cut off") << "@DIR@/cut.sf2" << cut << true << true << "（文件已损坏），已改用“";
        QTest::newRow("a folder") << "@DIR@" << QByteArray() << true << true << "（不是文件）";
        QTest::newRow("none installed") << QString() << QByteArray() << false << false << "没有可用的音色库，请安装 fluid-soundfont-gm 或 timgm6mb-soundfont。";
        QTest::newRow("bad and none installed") << "@DIR@/坏.sf2" << QByteArray("RIFF") << false << false << "不是 SoundFont 音色库文件）。没有可用的音色库";
    }
    void choice()
    {
        QFETCH(QString, preferred);
        QFETCH(QByteArray, content);
        QFETCH(bool, systemFonts);
        QFETCH(bool, chosen);
        QFETCH(QString, warning);
        if (systemFonts && SoundFonts::systemSoundFonts().isEmpty())
            QSKIP("no Debian SoundFont installed");
        QTemporaryDir dir, empty;
        preferred.replace(QStringLiteral("@DIR@"), dir.path());
        if (!content.isEmpty())
            writeFile(preferred, content);
        if (!systemFonts)
            qputenv("KELVO_SOUNDFONT_DIR", QFile::encodeName(empty.path()));
        const SoundFonts::Choice choice = SoundFonts::choose(preferred);
        QCOMPARE(!choice.path.isEmpty(), chosen);
        if (chosen)
            QCOMPARE(choice.path, SoundFonts::systemSoundFonts().constFirst());
        QVERIFY2(warning.isEmpty() ? choice.warning.isEmpty() : choice.warning.contains(warning),
                 qPrintable(choice.warning));
        if (!preferred.isEmpty() && chosen)
            QVERIFY(choice.warning.contains(choice.path) && choice.warning.contains(preferred));

        // The export says the same and writes nothing without a SoundFont.
        const ExportResult result = ExportWriters::writeWav(
            phrase(), Music::Options(), preferred, empty.filePath(QStringLiteral("x.wav")),
            [](double) { return false; });
        if (!chosen) {
            QCOMPARE(result.message, choice.warning);
            QCOMPARE(entries(empty.path()), QStringList());
        }
    }

    // A SoundFont that loads and sounds nothing: the check refuses samples
    // past the sample data, the render finds silent ones; either way the
    // export falls back, or refuses when nothing else is left.
    void silentSoundFont_data()
    {
        QTest::addColumn<SoundFontDamage>("damage");
        QTest::addColumn<bool>("othersInstalled");
        QTest::addColumn<QString>("message");
        const auto past = SoundFontDamage::SamplesPastData, silent = SoundFontDamage::SilentSamples;
        QTest::newRow("samples past the data") << past << true << "（文件已损坏），已改用“";
        QTest::newRow("silent samples") << silent << true << "（奏出的音符没有声音），已改用“";
        QTest::newRow("samples past the data, alone") << past << false << "（文件已损坏）。没有可用的音色库";
        QTest::newRow("silent samples, alone") << silent << false << "（奏出的音符没有声音）。没有可用的音色库";
    }
    void silentSoundFont()
    {
        QFETCH(SoundFontDamage, damage);
        QFETCH(bool, othersInstalled);
        QFETCH(QString, message);
        const QByteArray damaged = damagedSoundFont(Tim, damage);
        if (damaged.isEmpty())
            QSKIP("TimGM6mb not installed");
        QTemporaryDir dir, fonts;
        // Alone: the damaged copy is the only system SoundFont.
        const QString soundFont = othersInstalled ? dir.filePath(QStringLiteral("坏.sf2"))
                                                  : fonts.filePath(QStringLiteral("TimGM6mb.sf2"));
        writeFile(soundFont, damaged);
        if (!othersInstalled)
            qputenv("KELVO_SOUNDFONT_DIR", QFile::encodeName(fonts.path()));
        QCOMPARE(SoundFonts::isUsable(soundFont), damage == SoundFontDamage::SilentSamples);

        const QString path = dir.filePath(QStringLiteral("x.wav"));
        const ExportResult result =
            ExportWriters::writeWav(phrase(), Music::Options(), soundFont, path);
        QCOMPARE(result.ok, othersInstalled);
        QVERIFY2((othersInstalled ? result.warning : result.message).contains(message),
                 qPrintable(result.warning + result.message));
        QVERIFY(!SoundFonts::isUsable(soundFont));
        if (othersInstalled)
            QVERIFY(rms(readWav(path), 0.1, 1.9) > 0.01);
        else
            QVERIFY(!QFile::exists(path));
    }

    // A failed or cancelled export leaves nothing new and the old file whole.
    void nothingLeftBehind_data()
    {
        QTest::addColumn<QString>("target"); // inside a temporary folder
        QTest::addColumn<int>("cancelAt");   // progress call that says stop; -1 never
        QTest::addColumn<int>("beats"); // of the phrase at 60 a minute; 0: no notes
        QTest::addColumn<QString>("message");
        QTest::newRow("under a regular file") << "plain/x.wav" << -1 << 2 << "导出WAV文件失败：所在的文件夹不存在！";
        QTest::newRow("target is a folder") << "folder" << -1 << 2 << "导出WAV文件失败：目标是一个文件夹！";
        QTest::newRow("cancelled at once") << "old.wav" << 0 << 2 << "";
        QTest::newRow("cancelled midway") << "new/deeper/x.wav" << 3 << 2 << "";
        QTest::newRow("no notes") << "old.wav" << -1 << 0 << "没有可导出的音符";
        QTest::newRow("over six hours") << "old.wav" << -1 << 6 * 3600 + 1 << "乐曲太长，无法写成 WAV 文件（最长 6 小时）";
    }
    void nothingLeftBehind()
    {
        QFETCH(QString, target);
        QFETCH(int, cancelAt);
        QFETCH(int, beats);
        QFETCH(QString, message);
        if (SoundFonts::systemSoundFonts().isEmpty())
            QSKIP("no Debian SoundFont installed");
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("plain")), "x");
        writeFile(dir.filePath(QStringLiteral("old.wav")), "old");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        const QStringList before = entries(dir.path());
        int calls = 0;
        const ExportResult result = ExportWriters::writeWav(
            beats ? phrase(beats) : Music::Performance(), Music::Options(), QString(),
            dir.filePath(target), [&](double) { return calls++ != cancelAt; });
        QVERIFY(!result.ok);
        QCOMPARE(result.message, message);
        QVERIFY(result.files.isEmpty());
        QCOMPARE(entries(dir.path()), before);
        QCOMPARE(entries(dir.filePath(QStringLiteral("folder"))), QStringList());
        QFile old(dir.filePath(QStringLiteral("old.wav")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }

    // A disk that fills up while rendering: reported, nothing left behind.
    void fullDisk()
    {
        if (SoundFonts::systemSoundFonts().isEmpty())
            QSKIP("no Debian SoundFont installed");
        SmallFileSystem disk(256); // three seconds of stereo need about 520 kB
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.skipReason()));
        const ExportResult result = ExportWriters::writeWav(
            phrase(), Music::Options(), QString(), disk.filePath(QStringLiteral("x.wav")));
        QVERIFY(!result.ok);
        QCOMPARE(result.message, QStringLiteral("导出WAV文件失败：磁盘空间已满！"));
        QCOMPARE(entries(disk.path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestWavExport)
#include "test_wavexport.moc"
