// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/GongcheSymbols.h"
#include "document/ScoreFile.h"

#include "support/CoreTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// The .gcp byte layout and the atomic write, without any widget.
class TestScoreFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initCoreTestApplication(); }

    void exampleBytes_data();
    void exampleBytes();
    void roundTrip_data();
    void roundTrip();
    void decode_data();
    void decode();
    void extension_data();
    void extension();
    void writeReplacesFile();
    void failedWrite_data();
    void failedWrite();
    void writeKeepsFileAttributes_data();
    void writeKeepsFileAttributes();
};

namespace {

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

QString symbols(std::initializer_list<char32_t> codes)
{
    QString s;
    for (char32_t c : codes)
        s += Gongche::toString(c);
    return s;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

} // namespace

void TestScoreFile::exampleBytes_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QByteArray>("bytes");
    const QString yi(QChar(0x4E00));
    const QByteArray example = hex("00000001" "00000002" "4E00" "00000000" "00000000");
    QTest::newRow("一, empty score") << yi << QStringLiteral("") << example;
    // A null string must not be written as the null marker.
    QTest::newRow("一, null score") << yi << QString() << example;
    QTest::newRow("both null") << QString() << QString()
                               << hex("00000000" "00000000" "00000000" "00000000");
    QTest::newRow("line break, surrogate pair")
        << QStringLiteral("a\nb") << symbols({0xF0027})
        << hex("00000003" "00000006" "0061000A0062" "00000002" "00000004" "DB80DC27");
}

void TestScoreFile::exampleBytes()
{
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ScoreFile::encode(lyric, score).toHex(), bytes.toHex());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("一.gcp"));
    QVERIFY(ScoreFile::write(path, lyric, score));
    QCOMPARE(readAll(path).toHex(), bytes.toHex());
}

void TestScoreFile::roundTrip_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("cjk and markup")
        << QStringLiteral("# 牡丹亭·游园\n【皂罗袍】(小工调)\n原来姹紫嫣红开遍，\n= 念白\n@换行符")
        << QStringLiteral("\n\n\n\n\n\n");
    QTest::newRow("notation symbols")
        << QStringLiteral("原来")
        << symbols({Gongche::TouBan, 0xF0027, 0xF0045}) + QStringLiteral("\n")
               + symbols({0xF009B, Gongche::ZhongYan});
    QTest::newRow("trailing line breaks") << QStringLiteral("一\n\n") << QStringLiteral("\n\n\n");
    QTest::newRow("long") << QString(QChar(0x4E00)).repeated(40000)
                          << (symbols({0xF0020}) + QStringLiteral("\n")).repeated(40000);
}

void TestScoreFile::roundTrip()
{
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    const ScoreFile::Decoded d = ScoreFile::decode(ScoreFile::encode(lyric, score));
    QVERIFY(d.ok());
    QCOMPARE(d.lyric, lyric);
    QCOMPARE(d.score, score);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.gcp"));
    QVERIFY(ScoreFile::write(path, lyric, score));
    const ScoreFile::Decoded fromFile = ScoreFile::decode(readAll(path));
    QVERIFY(fromFile.ok());
    QCOMPARE(fromFile.lyric, lyric);
    QCOMPARE(fromFile.score, score);
}

void TestScoreFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");
    const QString yi(QChar(0x4E00));
    const QString er(QChar(0x4E8C));

    // What is missing at the end of the data is empty.
    QTest::newRow("0 bytes") << QByteArray() << true << "" << "";
    QTest::newRow("ends after lyric length") << hex("00000001") << true << "" << "";
    QTest::newRow("ends after lyric") << hex("00000001" "00000002" "4E00") << true << yi << "";
    QTest::newRow("ends after score length")
        << hex("00000001" "00000002" "4E00" "00000001") << true << yi << "";
    QTest::newRow("complete") << hex("00000001" "00000002" "4E00" "00000001" "00000002" "4E8C")
                              << true << yi << er;
    QTest::newRow("null strings") << hex("00000000" "FFFFFFFF" "00000000" "FFFFFFFF") << true
                                  << "" << "";
    // The length fields are never used when reading.
    QTest::newRow("wrong length fields")
        << hex("7FFFFFFF" "00000002" "4E00" "FFFFFFFF" "00000002" "4E8C") << true << yi << er;
    QTest::newRow("data after the score is ignored")
        << hex("00000001" "00000002" "4E00" "00000001" "00000002" "4E8C" "DEADBEEF") << true << yi
        << er;

    // A damaged stream is refused, never read half.
    QTest::newRow("inside lyric length") << hex("0000") << false << "" << "";
    QTest::newRow("inside lyric byte count") << hex("00000001" "0000") << false << "" << "";
    QTest::newRow("odd lyric byte count") << hex("00000001" "00000003" "4E0000") << false << ""
                                          << "";
    QTest::newRow("lyric count beyond end") << hex("00000002" "00000004" "4E00") << false << ""
                                            << "";
    QTest::newRow("huge lyric count") << hex("00000001" "7FFFFFFE" "4E00") << false << "" << "";
    QTest::newRow("inside score length") << hex("00000001" "00000002" "4E00" "0000") << false
                                         << "" << "";
    QTest::newRow("odd score byte count")
        << hex("00000001" "00000002" "4E00" "00000001" "00000001" "4E") << false << "" << "";
    QTest::newRow("score truncated in the middle")
        << hex("00000001" "00000002" "4E00" "00000002" "00000004" "4E8C") << false << "" << "";
    QTest::newRow("score count beyond end")
        << hex("00000001" "00000002" "4E00" "00000001" "FFFFFFFE") << false << "" << "";
}

void TestScoreFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    const ScoreFile::Decoded d = ScoreFile::decode(bytes);
    QCOMPARE(d.ok(), ok);
    QCOMPARE(d.status, ok ? ScoreFile::Decoded::Ok : ScoreFile::Decoded::Corrupt);
    QCOMPARE(d.lyric, lyric);
    QCOMPARE(d.score, score);
}

void TestScoreFile::extension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("withExtension");
    QTest::newRow("lower") << "/a/曲谱.gcp" << true << "/a/曲谱.gcp";
    QTest::newRow("upper") << "/a/曲谱.GCP" << true << "/a/曲谱.GCP";
    QTest::newRow("mixed") << "b.GcP" << true << "b.GcP";
    QTest::newRow("none") << "/a/曲谱" << false << "/a/曲谱.gcp";
    QTest::newRow("other type") << "/a/曲谱.txt" << false << "/a/曲谱.txt.gcp";
    QTest::newRow("gcp not last") << "/a/b.gcp.txt" << false << "/a/b.gcp.txt.gcp";
    QTest::newRow("no dot") << "/a/bgcp" << false << "/a/bgcp.gcp";
    QTest::newRow("gcp directory") << "/a.gcp/b" << false << "/a.gcp/b.gcp";
}

void TestScoreFile::extension()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    QFETCH(QString, withExtension);
    QCOMPARE(ScoreFile::hasScoreExtension(path), accepted);
    QCOMPARE(ScoreFile::withScoreExtension(path), withExtension);
}

void TestScoreFile::writeReplacesFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.gcp"));
    QVERIFY(ScoreFile::write(path, QStringLiteral("一二三四五六七八九十"), QStringLiteral("\n")));
    QVERIFY(ScoreFile::write(path, QStringLiteral("一"), QString()));
    // A shorter text leaves nothing of the longer one behind.
    QCOMPARE(readAll(path), ScoreFile::encode(QStringLiteral("一"), QString()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("a.gcp")});
}

void TestScoreFile::failedWrite_data()
{
    QTest::addColumn<QString>("kind");
    // Tests may run as root, so permissions cannot make a write fail; a
    // parent that is a regular file, or a target that is a directory, does.
    QTest::newRow("parent is a file") << "parentFile";
    QTest::newRow("target is a directory") << "directory";
}

void TestScoreFile::failedWrite()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("x.gcp"));
    QString target;
    if (kind == "parentFile") {
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();
        target = blocker + QStringLiteral("/a.gcp");
    } else {
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("x.gcp/inner")));
        target = blocker;
    }
    QVERIFY(!ScoreFile::write(target, QStringLiteral("一"), QStringLiteral("")));

    // What was there before is untouched and no temporary file is left.
    if (kind == "parentFile")
        QCOMPARE(readAll(blocker), QByteArray("old"));
    else
        QVERIFY(QFileInfo(blocker + QStringLiteral("/inner")).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("x.gcp")});
}

void TestScoreFile::writeKeepsFileAttributes_data()
{
    QTest::addColumn<bool>("folderWritable");
    QTest::newRow("read-only folder, writable file") << false;
    QTest::newRow("writable folder") << true;
}

void TestScoreFile::writeKeepsFileAttributes()
{
    QFETCH(bool, folderWritable);
    // Root ignores permissions: as root the file belongs to another user,
    // whom the read-only case then runs as (effective ids only, restored).
    const bool root = ::geteuid() == 0;
    const uid_t owner = root ? 65534 : ::geteuid();
    const gid_t group = root ? 65534 : ::getegid();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("f"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/a.gcp");
    QVERIFY(ScoreFile::write(path, QStringLiteral("旧"), QString()));
    const QByteArray dirName = QFile::encodeName(dir.path());
    const QByteArray folderName = QFile::encodeName(folder);
    const QByteArray pathName = QFile::encodeName(path);
    QCOMPARE(::chmod(dirName.constData(), 0755), 0);
    QCOMPARE(::chown(pathName.constData(), owner, group), 0);
    QCOMPARE(::chmod(pathName.constData(), 0640), 0);
    if (!folderWritable)
        QCOMPARE(::chmod(folderName.constData(), 0555), 0);

    const bool switchIds = root && !folderWritable;
    if (switchIds) {
        QCOMPARE(::setegid(group), 0);
        QCOMPARE(::seteuid(owner), 0);
    }
    const bool written = ScoreFile::write(path, QStringLiteral("新"), QString());
    if (switchIds) {
        QCOMPARE(::seteuid(0), 0);
        QCOMPARE(::setegid(0), 0);
    }
    ::chmod(folderName.constData(), 0755);

    QVERIFY(written);
    QCOMPARE(readAll(path), ScoreFile::encode(QStringLiteral("新"), QString()));
    struct stat after;
    QCOMPARE(::stat(pathName.constData(), &after), 0);
    QCOMPARE(after.st_mode & 07777, mode_t(0640));
    QCOMPARE(after.st_uid, owner);
    QCOMPARE(after.st_gid, group);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("a.gcp")});
}

QTEST_GUILESS_MAIN(TestScoreFile)
#include "test_scorefile.moc"
