// The symbol dictionary: the shipped wordsdict.csv against the symbol
// tables, loading rules and damaged files, lookup, segmentation, beat-mark
// suggestions, and the working copy in the data folder.

#include "InputTestUtil.h"

#include "core/DataPaths.h"
#include "document/GongcheSymbols.h"
#include "input/DictionaryContent.h"
#include "input/SymbolDictionary.h"
#include "support/CoreTestSupport.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace InputTest;

namespace {

const QByteArray Header = QByteArray("unicode编码 拼音 权重 注释");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSymbolDictionary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initCoreTestApplication(); }

    void resourceMatchesGenerator();
    void resourceLayout();
    void markRows_data();
    void markRows();
    void pitchRows_data();
    void pitchRows();

    void lookup_data();
    void lookup();
    void prefixListIsSorted();
    void segmentInput_data();
    void segmentInput();
    void suggestions_data();
    void suggestions();

    void loading_data();
    void loading();
    void missingFile();
    void longLineAndBinary();

    void firstRunCopy();
    void existingWorkingCopyWins_data();
    void existingWorkingCopyWins();
    void unwritableDataFolderReadsResource();

private:
    SymbolDictionary shipped() const
    {
        return SymbolDictionary::fromFile(SymbolDictionary::resourcePath());
    }
    QTemporaryDir m_tmp;
};

void TestSymbolDictionary::resourceMatchesGenerator()
{
    // The embedded copy is compiled from resources/wordsdict.csv; rerun
    // kelvo-make-wordsdict when this fails after a change of the tables.
    const QByteArray embedded = readAll(SymbolDictionary::resourcePath());
    QVERIFY(!embedded.isEmpty());
    QCOMPARE(embedded, shippedDictionaryContent());
}

void TestSymbolDictionary::resourceLayout()
{
    const QByteArray content = shippedDictionaryContent();
    QVERIFY(content.endsWith("\r\n"));
    QList<QByteArray> lines = content.split('\n');
    QVERIFY(lines.last().isEmpty());
    lines.removeLast();
    for (const QByteArray &line : lines)
        QVERIFY2(line.endsWith('\r') && !line.chopped(1).contains('\r'), line.constData());
    QCOMPARE(lines.first().chopped(1), Header);
    QCOMPARE(lines.size(), 157);

    QSet<QString> codes;
    uint previous = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList fields = QString::fromUtf8(lines.at(i).chopped(1)).split(QLatin1Char(' '));
        QCOMPARE(fields.size(), 4);
        QVERIFY(QRegularExpression(QStringLiteral("^U[0-9A-F]{8}$")).match(fields.at(0)).hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^[a-z]+$")).match(fields.at(1)).hasMatch());
        QCOMPARE(fields.at(2), QStringLiteral("0.6"));
        const uint code = fields.at(0).mid(1).toUInt(nullptr, 16);
        QVERIFY(code >= previous);
        previous = code;
        QVERIFY(Gongche::isSymbol(code));
        QCOMPARE(fields.at(3), Gongche::dictionaryName(code));
        codes.insert(fields.at(0));
    }
    QCOMPARE(codes.size(), 138);
    QCOMPARE(shipped().entryCount(), 156);
}

void TestSymbolDictionary::markRows_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("abbreviations");
    QTest::newRow("头板") << 0xF0000u << "tb b";
    QTest::newRow("头眼/末眼") << 0xF0001u << "ty my xy y";
    QTest::newRow("中眼") << 0xF0002u << "zy y";
    QTest::newRow("赠板") << 0xF0003u << "zb b";
    QTest::newRow("腰头眼/腰末眼") << 0xF0004u << "yty ymy cty cmy yy cy";
    QTest::newRow("腰中眼") << 0xF0005u << "yzy czy yy cy";
    QTest::newRow("腰板") << 0xF0006u << "yb b";
    QTest::newRow("腰赠板") << 0xF0007u << "yzb zb";
    QTest::newRow("疊腔") << 0xF0008u << "dq";
    QTest::newRow("疊腔气口") << 0xF0009u << "dqqk";
    QTest::newRow("底板") << 0xF000Au << "db b";
    QTest::newRow("带腔撮腔") << 0xF000Bu << "dq cq";
    QTest::newRow("豁腔") << 0xF000Cu << "hq";
    QTest::newRow("擻腔") << 0xF000Du << "sq";
}

// The rows of one code point in the shipped file, in file order.
static QStringList abbreviationsInFile(uint code)
{
    const QString prefix = QStringLiteral("U%1 ").arg(code, 8, 16, QLatin1Char('0')).toUpper();
    QStringList out;
    for (const QByteArray &line : shippedDictionaryContent().split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.startsWith(prefix))
            out << text.split(QLatin1Char(' ')).at(1);
    }
    return out;
}

void TestSymbolDictionary::markRows()
{
    QFETCH(uint, code);
    QFETCH(QString, abbreviations);
    QCOMPARE(abbreviationsInFile(code).join(QLatin1Char(' ')), abbreviations);
}

void TestSymbolDictionary::pitchRows_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("abbreviation");
    QTest::addColumn<QString>("name");
    QTest::newRow("合") << 0xF0027u << "h" << "合";
    QTest::newRow("合低八度") << 0xF0020u << "hd" << "合低八度";
    QTest::newRow("上高八度") << 0xF0031u << "su" << "上高八度";
    QTest::newRow("上高十六度") << 0xF0038u << "suu" << "上高十六度";
    QTest::newRow("合低八度气口") << 0xF003Fu << "hdq" << "合低八度气口";
    QTest::newRow("上高八度气口") << 0xF0050u << "suq" << "上高八度气口";
    QTest::newRow("合小") << 0xF0065u << "hx" << "合小";
    QTest::newRow("合低八度气口小") << 0xF007Du << "hdqx" << "合低八度气口小";
    QTest::newRow("上高八度气口小") << 0xF008Eu << "suqx" << "上高八度气口小";
    QTest::newRow("乙高十六度气口小") << 0xF009Bu << "yuuqx" << "乙高十六度气口小";
}

void TestSymbolDictionary::pitchRows()
{
    QFETCH(uint, code);
    QFETCH(QString, abbreviation);
    QFETCH(QString, name);
    QCOMPARE(abbreviationsInFile(code), QStringList{abbreviation});
    QCOMPARE(Gongche::dictionaryName(code), name);
    const QList<Candidate> exact = shipped().lookup(abbreviation, false);
    bool found = false;
    for (const Candidate &c : exact)
        found = found || c.text == Gongche::toString(code);
    QVERIFY(found);
}

void TestSymbolDictionary::lookup_data()
{
    QTest::addColumn<QString>("abbreviation");
    QTest::addColumn<bool>("prefix");
    QTest::addColumn<QString>("expected");
    QTest::newRow("h exact") << "h" << false << "F0027:0.6";
    QTest::newRow("h prefix")
        << "h" << true
        << "F0027:0.6 F0020:0.5 F000C:0.5 F0046:0.5 F0065:0.5 "
           "F003F:0.4167 F005E:0.4167 F0084:0.4167 F007D:0.3472";
    QTest::newRow("b exact, file order") << "b" << false << "F0000:0.6 F0003:0.6 F0006:0.6 F000A:0.6";
    QTest::newRow("b prefix, no longer rows") << "b" << true << "F0000:0.6 F0003:0.6 F0006:0.6 F000A:0.6";
    QTest::newRow("hq: two symbols") << "hq" << false << "F000C:0.6 F0046:0.6";
    QTest::newRow("yt: a node without entries") << "yt" << false << "";
    QTest::newRow("yt prefix") << "yt" << true << "F0004:0.5";
    QTest::newRow("unknown letter") << "a" << true << "";
    QTest::newRow("uppercase never matches") << "H" << true << "";
    QTest::newRow("beyond a leaf") << "hdqxh" << true << "";
}

void TestSymbolDictionary::lookup()
{
    QFETCH(QString, abbreviation);
    QFETCH(bool, prefix);
    QFETCH(QString, expected);
    QCOMPARE(describe(shipped().lookup(abbreviation, prefix)), expected);
}

void TestSymbolDictionary::prefixListIsSorted()
{
    const SymbolDictionary dict = shipped();
    for (const QString &abbreviation : {QStringLiteral("s"), QStringLiteral("y"), QStringLiteral("c"),
                                        QStringLiteral("d")}) {
        const QList<Candidate> list = dict.lookup(abbreviation, true);
        QVERIFY(list.size() > 1);
        for (qsizetype i = 1; i < list.size(); ++i)
            QVERIFY(list.at(i - 1).weight >= list.at(i).weight);
    }
}

void TestSymbolDictionary::segmentInput_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("expected"); // text, '!' marks an incomplete one
    QTest::newRow("hs") << "hs" << "h s";
    QTest::newRow("sux") << "sux" << "sux";
    QTest::newRow("hdqxh") << "hdqxh" << "hdqx h";
    QTest::newRow("hk") << "hk" << "h k!";
    QTest::newRow("ab") << "ab" << "a! b";
    QTest::newRow("yth") << "yth" << "yt! h";
    QTest::newRow("yt at the end is a beginning") << "yt" << "yt";
    QTest::newRow("two unknown") << "ak" << "a! k!";
    QTest::newRow("uppercase") << "H" << "H!";
    QTest::newRow("empty") << "" << "";
}

void TestSymbolDictionary::segmentInput()
{
    QFETCH(QString, letters);
    QFETCH(QString, expected);
    QStringList got;
    for (const Segment &s : shipped().segmentInput(letters))
        got << s.text + (s.complete ? QString() : QStringLiteral("!"));
    QCOMPARE(got.join(QLatin1Char(' ')), expected);
}

void TestSymbolDictionary::suggestions_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const char *ornaments = " F000C F000D F0008 F0009 F000A F000B";
    QTest::newRow("F0000") << sym("F0000") << QString("F0000 F0006 F0003 F0007 F0001 F0002 F0004 F0005") + ornaments;
    QTest::newRow("F0001") << sym("F0001") << QString("F0001 F0004 F0002 F0005 F0000 F0006 F0003 F0007") + ornaments;
    QTest::newRow("F0002") << sym("F0002") << QString("F0002 F0005 F0001 F0004 F0000 F0006 F0003 F0007") + ornaments;
    QTest::newRow("F0003") << sym("F0003") << QString("F0003 F0007 F0000 F0006 F0001 F0002 F0004 F0005") + ornaments;
    QTest::newRow("F0004") << sym("F0004") << QString("F0004 F0001 F0002 F0005 F0000 F0006 F0003 F0007") + ornaments;
    QTest::newRow("F0005") << sym("F0005") << QString("F0005 F0002 F0001 F0004 F0000 F0006 F0003 F0007") + ornaments;
    QTest::newRow("F0006") << sym("F0006") << QString("F0006 F0000 F0003 F0007 F0001 F0002 F0004 F0005") + ornaments;
    QTest::newRow("F0007") << sym("F0007") << QString("F0007 F0003 F0000 F0006 F0001 F0002 F0004 F0005") + ornaments;
    QTest::newRow("an ornament") << sym("F0008") << QString();
    QTest::newRow("a pitch") << sym("F0027") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("two marks") << syms("F0000+F0000") << QString();
    QTest::newRow("lone high surrogate") << sym("F0000").left(1) << QString();
}

void TestSymbolDictionary::suggestions()
{
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QStringList got;
    for (const QString &s : shipped().suggestionsFor(key)) {
        QCOMPARE(s.size(), 2);
        got << hex(s);
    }
    QCOMPARE(got.join(QLatin1Char(' ')), expected);
    if (!expected.isEmpty())
        QCOMPARE(got.size(), 14);
}

void TestSymbolDictionary::loading_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("abbreviation");
    QTest::addColumn<QString>("expected"); // exact lookup
    QTest::addColumn<int>("entries");

    const QByteArray h = Header + "\n";
    QTest::newRow("empty file") << QByteArray() << "h" << "" << 0;
    QTest::newRow("header only") << Header << "h" << "" << 0;
    QTest::newRow("header is never a row") << QByteArray("U000F0027 h 0.6 合\n") << "h" << "" << 0;
    QTest::newRow("LF") << h + "U000F0027 h 0.6 合\nU000F0028 s 0.6 四\n" << "s" << "F0028:0.6" << 2;
    QTest::newRow("CRLF") << Header + "\r\nU000F0027 h 0.6 合\r\nU000F0028 s 0.6 四\r\n"
                          << "s" << "F0028:0.6" << 2;
    QTest::newRow("CRLF, three fields keep their weight")
        << Header + "\r\nU000F0027 h 0.75\r\n" << "h" << "F0027:0.75" << 1;
    QTest::newRow("no final line end") << h + "U000F0027 h 0.6" << "h" << "F0027:0.6" << 1;
    QTest::newRow("BOM on the header") << "\xEF\xBB\xBF" + h + "U000F0027 h 0.6 合\n"
                                       << "h" << "F0027:0.6" << 1;
    QTest::newRow("two fields skipped") << h + "U000F0027 h\nU000F0028 h 0.6 四\n"
                                        << "h" << "F0028:0.6" << 1;
    QTest::newRow("non-hex code skipped") << h + "U000G0027 h 0.6 合\nU000F0028 h 0.6 四\n"
                                          << "h" << "F0028:0.6" << 1;
    QTest::newRow("lowercase u is not removed") << h + "u000F0027 h 0.6 合\n" << "h" << "" << 0;
    QTest::newRow("every U removed") << h + "UU000F0027U h 0.6 合\n" << "h" << "F0027:0.6" << 1;
    QTest::newRow("empty code skipped") << h + " h 0.6 合\n" << "h" << "" << 0;
    QTest::newRow("negative code skipped") << h + "U-1 h 0.6 x\n" << "h" << "" << 0;
    QTest::newRow("surrogate code skipped") << h + "U0000D800 h 0.6 x\n" << "h" << "" << 0;
    QTest::newRow("beyond U+10FFFF skipped") << h + "U00110000 h 0.6 x\n" << "h" << "" << 0;
    QTest::newRow("beyond 32 bits skipped") << h + "U1FFFFFFFF h 0.6 x\n" << "h" << "" << 0;
    QTest::newRow("BMP code") << h + "U00004E00 y 0.6 一\n" << "y" << "4E00:0.6" << 1;
    QTest::newRow("weight not a number") << h + "U000F0027 h abc 合\n" << "h" << "F0027:0" << 1;
    QTest::newRow("weight nan") << h + "U000F0027 h nan 合\n" << "h" << "F0027:0" << 1;
    QTest::newRow("weight inf") << h + "U000F0027 h inf 合\n" << "h" << "F0027:0" << 1;
    QTest::newRow("uppercase abbreviation loaded, no lowercase match")
        << h + "U000F0027 H 0.6 合\n" << "h" << "" << 1;
    QTest::newRow("uppercase abbreviation under its own key")
        << h + "U000F0027 H 0.6 合\n" << "H" << "F0027:0.6" << 1;
    QTest::newRow("duplicate rows") << h + "U000F0027 h 0.6 合\nU000F0027 h 0.6 合\n"
                                    << "h" << "F0027:0.6 F0027:0.6" << 2;
    QTest::newRow("two spaces shift the fields")
        << h + "U000F0027  h 0.6\n" << "h" << "" << 1;
    QTest::newRow("file order kept for equal weights")
        << h + "U000F000A b 0.6 x\nU000F0000 b 0.6 x\n" << "b" << "F000A:0.6 F0000:0.6" << 2;
    QTest::newRow("higher weight first")
        << h + "U000F0000 b 0.2 x\nU000F000A b 0.9 x\n" << "b" << "F000A:0.9 F0000:0.2" << 2;
    QTest::newRow("non-Latin-1 letter keyed as 0")
        << h + "U000F0027 合 0.6 x\n" << QString(QChar(0x5408)) << "F0027:0.6" << 1;
    QTest::newRow("overlong abbreviation skipped")
        << h + "U000F0027 " + QByteArray(SymbolDictionary::MaxAbbreviationLength + 1, 'h')
               + " 0.6 x\nU000F0028 h 0.6 x\n"
        << "h" << "F0028:0.6" << 1;
}

void TestSymbolDictionary::loading()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, abbreviation);
    QFETCH(QString, expected);
    QFETCH(int, entries);
    const QString path = m_tmp.filePath(QStringLiteral("dict.csv"));
    QVERIFY(writeFile(path, content));
    const SymbolDictionary dict = SymbolDictionary::fromFile(path);
    QCOMPARE(dict.path(), path);
    QCOMPARE(dict.entryCount(), entries);
    QCOMPARE(describe(dict.lookup(abbreviation, false)), expected);
    for (const Candidate &c : dict.lookup(abbreviation, true))
        QVERIFY(!c.text.isEmpty() && !c.text.isNull());
}

void TestSymbolDictionary::missingFile()
{
    for (const QString &path : {m_tmp.filePath(QStringLiteral("nothing-here.csv")), QString(),
                                m_tmp.path()}) {
        const SymbolDictionary dict = SymbolDictionary::fromFile(path);
        QVERIFY(dict.isEmpty());
        QVERIFY(dict.lookup(QStringLiteral("h"), true).isEmpty());
        QCOMPARE(dict.segmentInput(QStringLiteral("h")).size(), 1);
        QVERIFY(!dict.segmentInput(QStringLiteral("h")).first().complete);
        // The suggestions are built in code and still work.
        QCOMPARE(dict.suggestionsFor(sym("F0000")).size(), 14);
    }
}

void TestSymbolDictionary::longLineAndBinary()
{
    // A megabyte-long line between two rows, then a stretch of binary data
    // with NULs and invalid UTF-8: both rows load, nothing else does.
    QByteArray content = Header + "\nU000F0027 h 0.6 合\n";
    content += "U000F0028 " + QByteArray(1 << 20, 's') + " 0.6 x\n";
    QByteArray binary;
    for (int i = 0; i < 200000; ++i)
        binary += char((i * 7919 + (i >> 3)) & 0xFF);
    content += binary + "\nU000F002A s 0.6 上\n";
    const QString path = m_tmp.filePath(QStringLiteral("damaged.csv"));
    QVERIFY(writeFile(path, content));
    const SymbolDictionary dict = SymbolDictionary::fromFile(path);
    QCOMPARE(describe(dict.lookup(QStringLiteral("h"), false)), QStringLiteral("F0027:0.6"));
    QCOMPARE(describe(dict.lookup(QStringLiteral("s"), false)), QStringLiteral("F002A:0.6"));
    QVERIFY(dict.entryCount() <= 4);
}

void TestSymbolDictionary::firstRunCopy()
{
    TestDataFolder env;
    const QString target = DataPaths::dictionaryFile();
    QVERIFY(!QFile::exists(target));
    const SymbolDictionary dict;
    QCOMPARE(dict.path(), target);
    QVERIFY(QFile::exists(target));
    QCOMPARE(QFileInfo(target).absolutePath(), QDir(env.dataDir()).absolutePath());
    // Copied in text mode, so the line ends are the platform's own.
    QCOMPARE(readAll(target).replace("\r\n", "\n"),
             readAll(SymbolDictionary::resourcePath()).replace("\r\n", "\n"));
    QCOMPARE(dict.entryCount(), 156);
    // The copy is a normal file the user may edit.
    QVERIFY(QFileInfo(target).isWritable());

    // Another file name sits beside the working copy.
    const QString other = SymbolDictionary::resolveDictionaryPath(QStringLiteral("other.csv"));
    QCOMPARE(other, QDir(env.dataDir()).filePath(QStringLiteral("other.csv")));
}

void TestSymbolDictionary::existingWorkingCopyWins_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("entries");
    QTest::newRow("edited copy") << Header + "\nU000F0027 zz 0.6 合\n" << 1;
    QTest::newRow("empty copy") << QByteArray() << 0;
}

void TestSymbolDictionary::existingWorkingCopyWins()
{
    QFETCH(QByteArray, content);
    QFETCH(int, entries);
    TestDataFolder env;
    const QString target = DataPaths::dictionaryFile();
    QVERIFY(writeFile(target, content));
    const SymbolDictionary dict(QStringLiteral("wordsdict.csv"));
    QCOMPARE(dict.path(), target);
    QCOMPARE(dict.entryCount(), entries);
    QCOMPARE(readAll(target), content); // never overwritten
    QVERIFY(dict.lookup(QStringLiteral("h"), true).isEmpty());
    QCOMPARE(dict.suggestionsFor(sym("F0003")).size(), 14);
    if (entries)
        QCOMPARE(describe(dict.lookup(QStringLiteral("zz"), false)), QStringLiteral("F0027:0.6"));

    // Deleting the copy restores the shipped dictionary at the next start.
    QVERIFY(QFile::remove(target));
    QCOMPARE(SymbolDictionary().entryCount(), 156);
}

void TestSymbolDictionary::unwritableDataFolderReadsResource()
{
    // A data folder below a regular file can never be created, not even by
    // root: the embedded dictionary is read directly.
    TestDataFolder env;
    const QString blocker = QDir(env.dataDir()).filePath(QStringLiteral("a-file"));
    QVERIFY(writeFile(blocker, "x"));
    DataPaths::setOverride(QDir(blocker).filePath(QStringLiteral("data")));
    const SymbolDictionary dict;
    DataPaths::setOverride(env.dataDir());
    QCOMPARE(dict.path(), SymbolDictionary::resourcePath());
    QCOMPARE(dict.entryCount(), 156);
}

QTEST_GUILESS_MAIN(TestSymbolDictionary)
#include "test_symboldictionary.moc"
