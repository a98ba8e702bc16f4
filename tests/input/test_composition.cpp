// SPDX-License-Identifier: GPL-3.0-or-later
// The input method's composition logic with the shipped dictionary and
// small made-up ones: segmentation while typing, candidate lists and their
// weights, Backspace, paging and selection, numbers, suggestion mode.

#include "InputTestUtil.h"

#include "input/Composition.h"
#include "input/SymbolDictionary.h"
#include "support/CoreTestSupport.h"

#include <QtTest>

#include <memory>

using namespace InputTest;

namespace {

QString segmentsOf(const Composition &c)
{
    QStringList out;
    for (const Segment &s : c.segments())
        out << s.text + (s.complete ? QString() : QStringLiteral("!"));
    return out.join(QLatin1Char(' '));
}

QString hexList(const QStringList &candidates)
{
    QStringList out;
    for (const QString &c : candidates) {
        QStringList codes;
        for (uint u : c.toUcs4())
            codes << QString::number(u, 16).toUpper();
        out << codes.join(QLatin1Char('+'));
    }
    return out.join(QLatin1Char(' '));
}

void type(Composition &c, const QString &letters)
{
    for (QChar ch : letters)
        c.appendLetter(ch);
}

// Applies key steps: '>' next page, '<' previous page, 'L' Left, 'R' Right.
void navigate(Composition &c, const QString &ops)
{
    for (QChar op : ops) {
        switch (op.unicode()) {
        case '>': c.nextPage(); break;
        case '<': c.previousPage(); break;
        case 'L': c.previousCandidate(); break;
        case 'R': c.nextCandidate(); break;
        default: QFAIL("unknown step");
        }
    }
}

} // namespace

class TestComposition : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void compose_data();
    void compose();
    void hsWeights();
    void sixSegmentsThenSeventhLetterIgnored();
    void combine_data();
    void combine();
    void removeLetter_data();
    void removeLetter();
    void commit_data();
    void commit();
    void paging_data();
    void paging();
    void selectByNumber_data();
    void selectByNumber();
    void suggestionMode();
    void suggestionsForOtherSymbols();
    void emptyDictionary();

private:
    // A dictionary of count rows under the abbreviation "p", weights falling,
    // so candidate i is U+4E00 + i.
    SymbolDictionary numbered(int count);

    std::unique_ptr<SymbolDictionary> m_shipped;
    QTemporaryDir m_tmp;
};

void TestComposition::initTestCase()
{
    initCoreTestApplication();
    m_shipped = std::make_unique<SymbolDictionary>(
        SymbolDictionary::fromFile(SymbolDictionary::resourcePath()));
    QCOMPARE(m_shipped->entryCount(), 156);
}

SymbolDictionary TestComposition::numbered(int count)
{
    QByteArray content = "unicode编码 拼音 权重 注释\n";
    for (int i = 0; i < count; ++i)
        content += QStringLiteral("U%1 p %2 x\n")
                       .arg(QString::number(0x4E00 + i, 16).toUpper().rightJustified(8, '0'))
                       .arg(100 - i)
                       .toUtf8();
    const QString path = m_tmp.filePath(QStringLiteral("numbered-%1.csv").arg(count));
    if (!writeFile(path, content))
        qFatal("cannot write %s", qPrintable(path));
    return SymbolDictionary::fromFile(path);
}

void TestComposition::compose_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("segments");
    QTest::addColumn<QString>("composition");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first"); // leading candidates

    QTest::newRow("h") << "h" << "h" << "h" << 9
                       << "F0027 F0020 F000C F0046 F0065 F003F F005E F0084 F007D";
    QTest::newRow("hs") << "hs" << "h s" << "h's" << 25 << "F0027+F0028 F0027+F002A";
    QTest::newRow("hk: only the h") << "hk" << "h k!" << "h'k" << 1 << "F0027";
    QTest::newRow("a: one empty") << "a" << "a!" << "a" << 1 << "";
    QTest::newRow("b: four in file order") << "b" << "b" << "b" << 4 << "F0000 F0003 F0006 F000A";
    QTest::newRow("sux") << "sux" << "sux" << "sux" << 1 << "F006F";
    QTest::newRow("hdqxh") << "hdqxh" << "hdqx h" << "hdqx'h" << 9 << "F007D+F0027";
    QTest::newRow("yth") << "yth" << "yt! h" << "yt'h" << 9 << "F0027 F0020";
    QTest::newRow("ab") << "ab" << "a! b" << "a'b" << 4 << "F0000 F0003 F0006 F000A";
    QTest::newRow("six segments capped at 60") << "ssssss" << "s s s s s s" << "s's's's's's" << 60
                                               << "";
}

void TestComposition::compose()
{
    QFETCH(QString, letters);
    QFETCH(QString, segments);
    QFETCH(QString, composition);
    QFETCH(int, count);
    QFETCH(QString, first);

    Composition c(m_shipped.get());
    for (QChar ch : letters) {
        QVERIFY(c.appendLetter(ch));
        // One stack entry per segment, whatever the letter did.
        QCOMPARE(c.exactStack().size(), c.segments().size());
        QCOMPARE(c.prefixStack().size(), c.segments().size());
        QCOMPARE(c.page(), 0);
        QCOMPARE(c.selection(), 0);
    }
    QVERIFY(c.isActive());
    QVERIFY(!c.isSuggesting());
    QCOMPARE(segmentsOf(c), segments);
    QCOMPARE(c.compositionString(), composition);
    QCOMPARE(c.candidates().size(), count);
    QCOMPARE(hexList(c.candidates()).left(first.size()), first);
    QCOMPARE(c.pageCandidates(), c.candidates().mid(0, 6));

    // The list on show is the ranked prefix list of the last stack entry.
    const QList<Candidate> &top = c.prefixStack().last();
    for (qsizetype i = 1; i < top.size(); ++i)
        QVERIFY(top.at(i - 1).weight >= top.at(i).weight);
}

void TestComposition::hsWeights()
{
    Composition c(m_shipped.get());
    type(c, QStringLiteral("hs"));
    QCOMPARE(describe(c.exactStack().last()), QStringLiteral("F0027+F0028:1.2 F0027+F002A:1.2"));
    // 合 with every prefix match of s: the exact ones first at 1.2.
    const QList<Candidate> prefix = c.prefixStack().last();
    QCOMPARE(describe(prefix.mid(0, 2)), QStringLiteral("F0027+F0028:1.2 F0027+F002A:1.2"));
    QCOMPARE(describe(prefix.mid(2, 1)).section(QLatin1Char(':'), 1), QStringLiteral("1.1"));
    QCOMPARE(describe(m_shipped->lookup(QStringLiteral("s"), true)).count(QLatin1Char(':')),
             prefix.size());
}

void TestComposition::sixSegmentsThenSeventhLetterIgnored()
{
    Composition c(m_shipped.get());
    type(c, QStringLiteral("hshshs"));
    QCOMPARE(c.segments().size(), 6);
    c.nextCandidate();
    const QStringList before = c.candidates();
    // "x" would only lengthen the last segment to "sx"; still ignored.
    for (QChar ch : {QChar('x'), QChar('h'), QChar('a')}) {
        QVERIFY(!c.appendLetter(ch));
        QCOMPARE(segmentsOf(c), QStringLiteral("h s h s h s"));
        QCOMPARE(c.candidates(), before);
        QCOMPARE(c.selection(), 1);
    }
    // Room again after Backspace.
    c.removeLetter();
    QVERIFY(c.appendLetter(QLatin1Char('x')));
    QCOMPARE(segmentsOf(c), QStringLiteral("h s h s hx"));
}

void TestComposition::combine_data()
{
    QTest::addColumn<int>("previous");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected"); // leading candidates, as "a.b"
    // Candidates are numbered; weights equal, so the loop order shows.
    QTest::newRow("empty previous") << 0 << 2 << 2 << "n0 n1";
    QTest::newRow("empty next") << 2 << 0 << 2 << "p0 p1";
    QTest::newRow("both empty") << 0 << 0 << 0 << "";
    QTest::newRow("next outer, previous inner") << 2 << 2 << 4 << "p0n0 p1n0 p0n1 p1n1";
    QTest::newRow("cap at 60") << 8 << 8 << 60 << "p0n0 p1n0";
    QTest::newRow("exactly 60") << 6 << 10 << 60 << "p0n0";
}

void TestComposition::combine()
{
    QFETCH(int, previous);
    QFETCH(int, next);
    QFETCH(int, count);
    QFETCH(QString, expected);
    QList<Candidate> p, n;
    for (int i = 0; i < previous; ++i)
        p << Candidate{QStringLiteral("p%1").arg(i), 1};
    for (int i = 0; i < next; ++i)
        n << Candidate{QStringLiteral("n%1").arg(i), 1};
    const QList<Candidate> result = Composition::combine(p, n);
    QCOMPARE(result.size(), count);
    QStringList texts;
    for (const Candidate &c : result)
        texts << c.text;
    QCOMPARE(texts.join(QLatin1Char(' ')).left(expected.size()), expected);
    if (previous == 8 && next == 8) // the last four of the loop order fall away
        QCOMPARE(texts.last(), QStringLiteral("p3n7"));
}

void TestComposition::removeLetter_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("segments"); // after Backspace; "" = reset
    QTest::newRow("hd") << "hd" << "h";
    QTest::newRow("hs") << "hs" << "h";
    QTest::newRow("single letter") << "h" << "";
    QTest::newRow("unknown single letter") << "a" << "";
    QTest::newRow("hdqxh") << "hdqxh" << "hdqx";
    // yt keeps the flag its segmentation gave it: no letter of it changed.
    QTest::newRow("yth") << "yth" << "yt!";
    QTest::newRow("abh") << "abh" << "a! b";
    QTest::newRow("hk") << "hk" << "h";
}

void TestComposition::removeLetter()
{
    QFETCH(QString, letters);
    QFETCH(QString, segments);
    Composition c(m_shipped.get());
    type(c, letters);
    c.nextCandidate();
    c.removeLetter();
    QCOMPARE(segmentsOf(c), segments);
    QCOMPARE(c.page(), 0);
    QCOMPARE(c.selection(), 0);
    if (segments.isEmpty()) {
        QVERIFY(!c.isActive());
        QVERIFY(c.candidates().isEmpty());
        QVERIFY(c.compositionString().isEmpty());
        QVERIFY(c.exactStack().isEmpty() && c.prefixStack().isEmpty());
        return;
    }
    // Same state as typing the remaining letters afresh.
    Composition fresh(m_shipped.get());
    type(fresh, QString(letters).chopped(1));
    QCOMPARE(c.candidates(), fresh.candidates());
    QCOMPARE(c.compositionString(), fresh.compositionString());
    QCOMPARE(c.exactStack().size(), c.segments().size());
    QCOMPARE(c.prefixStack().size(), c.segments().size());
}

void TestComposition::commit_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("ops");
    QTest::addColumn<QString>("expected");
    QTest::newRow("h") << "h" << "" << "F0027";
    QTest::newRow("h, Right") << "h" << "R" << "F0020";
    QTest::newRow("h, next page") << "h" << ">" << "F005E";
    QTest::newRow("hs") << "hs" << "" << "F0027+F0028";
    QTest::newRow("a inserts nothing") << "a" << "" << "";
    QTest::newRow("hk") << "hk" << "" << "F0027";
}

void TestComposition::commit()
{
    QFETCH(QString, letters);
    QFETCH(QString, ops);
    QFETCH(QString, expected);
    Composition c(m_shipped.get());
    type(c, letters);
    navigate(c, ops);
    QCOMPARE(hexList({c.currentCandidate()}), expected);
    QCOMPARE(hexList({c.commitCurrent()}), expected);
    QVERIFY(!c.isActive());
    QVERIFY(c.candidates().isEmpty());
    QCOMPARE(c.page(), 0);
    // Nothing is learned: the same letters give the same list again.
    Composition again(m_shipped.get());
    type(again, letters);
    type(c, letters);
    QCOMPARE(c.candidates(), again.candidates());
}

void TestComposition::paging_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("ops");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("selection");

    QTest::newRow("8: start") << 8 << "" << 0 << 0;
    QTest::newRow("8: next page") << 8 << ">" << 1 << 0;
    QTest::newRow("8: next page clamps the selection") << 8 << "RRR>" << 1 << 1;
    QTest::newRow("8: next page on the last page") << 8 << ">>" << 1 << 0;
    QTest::newRow("8: previous page keeps the selection") << 8 << "R><" << 0 << 1;
    QTest::newRow("8: previous page on page 0") << 8 << "<" << 0 << 0;
    QTest::newRow("8: Right across the page") << 8 << "RRRRRR" << 1 << 0;
    QTest::newRow("8: Right stops at the last candidate") << 8 << "RRRRRRRRRR" << 1 << 1;
    QTest::newRow("8: Left on page 0 first stays") << 8 << "L" << 0 << 0;
    QTest::newRow("8: Left on page 1 first") << 8 << ">L" << 0 << 5;
    QTest::newRow("8: Left on page 1") << 8 << ">RL" << 1 << 0;
    QTest::newRow("14: next page keeps the selection") << 14 << "RR>" << 1 << 2;
    QTest::newRow("14: to the last page") << 14 << "RRRR>>" << 2 << 1;
    QTest::newRow("14: next page thrice") << 14 << ">>>" << 2 << 0;
    QTest::newRow("14: Left from the last page") << 14 << ">>L" << 1 << 5;
    QTest::newRow("14: Right to the end") << 14 << "RRRRRRRRRRRRRRRRRRRR" << 2 << 1;
    QTest::newRow("14: back to the start") << 14 << ">><<<" << 0 << 0;
    QTest::newRow("12: Right to the end") << 12 << "RRRRRRRRRRRRRR" << 1 << 5;
    QTest::newRow("12: next page") << 12 << "RRRR>" << 1 << 4;
    QTest::newRow("6: one page") << 6 << "RRRRRRR>" << 0 << 5;
    QTest::newRow("7: Right onto page 2") << 7 << "RRRRRRR" << 1 << 0;
    QTest::newRow("1: nowhere to go") << 1 << "RR>L<" << 0 << 0;
}

void TestComposition::paging()
{
    QFETCH(int, count);
    QFETCH(QString, ops);
    QFETCH(int, page);
    QFETCH(int, selection);
    const SymbolDictionary dict = numbered(count);
    Composition c(&dict);
    c.appendLetter(QLatin1Char('p'));
    QCOMPARE(c.candidates().size(), count);
    QCOMPARE(c.pageCount(), (count - 1) / 6 + 1);
    navigate(c, ops);
    QCOMPARE(c.page(), page);
    QCOMPARE(c.selection(), selection);
    QCOMPARE(c.pageCandidates().size(), qMin(6, count - 6 * page));
    QCOMPARE(c.currentCandidate(), sym(QByteArray::number(0x4E00 + 6 * page + selection, 16)));
    // Moving never changes the composition.
    QCOMPARE(c.compositionString(), QStringLiteral("p"));
}

void TestComposition::selectByNumber_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("ops");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("index"); // -1: nothing selected

    QTest::newRow("8, page 0, 1") << 8 << "" << 1 << 0;
    QTest::newRow("8, page 0, 6") << 8 << "" << 6 << 5;
    QTest::newRow("8, page 0, 7") << 8 << "" << 7 << -1;
    QTest::newRow("8, page 0, 0") << 8 << "" << 0 << -1;
    QTest::newRow("8, page 1, 1") << 8 << ">" << 1 << 6;
    QTest::newRow("8, page 1, 2") << 8 << ">" << 2 << 7;
    QTest::newRow("8, page 1, 3") << 8 << ">" << 3 << -1;
    QTest::newRow("8, page 1, 0") << 8 << ">" << 0 << -1;
    QTest::newRow("8, page 1, 9") << 8 << ">" << 9 << -1;
    QTest::newRow("14, page 2, 2") << 14 << ">>" << 2 << 13;
    QTest::newRow("14, page 2, 3") << 14 << ">>" << 3 << -1;
    QTest::newRow("12, page 1, 6") << 12 << ">" << 6 << 11;
    QTest::newRow("3, 3") << 3 << "" << 3 << 2;
    QTest::newRow("3, 4") << 3 << "" << 4 << -1;
    QTest::newRow("negative") << 8 << "" << -1 << -1;
}

void TestComposition::selectByNumber()
{
    QFETCH(int, count);
    QFETCH(QString, ops);
    QFETCH(int, number);
    QFETCH(int, index);
    const SymbolDictionary dict = numbered(count);
    Composition c(&dict);
    c.appendLetter(QLatin1Char('p'));
    navigate(c, ops);
    c.nextCandidate(); // a selection that a refused number must keep
    const int page = c.page();
    const int selection = c.selection();
    const QString chosen = c.selectByNumber(number);
    if (index < 0) {
        QVERIFY(chosen.isEmpty());
        QVERIFY(c.isActive());
        QCOMPARE(c.page(), page);
        QCOMPARE(c.selection(), selection);
        QCOMPARE(c.candidates().size(), count);
    } else {
        QCOMPARE(chosen, sym(QByteArray::number(0x4E00 + index, 16)));
        QVERIFY(!c.isActive());
    }
}

void TestComposition::suggestionMode()
{
    Composition c(m_shipped.get());
    c.showSuggestions(sym("F0000"));
    QVERIFY(c.isActive());
    QVERIFY(c.isSuggesting());
    QCOMPARE(segmentsOf(c), QStringLiteral("*"));
    QCOMPARE(c.compositionString(), sym("F0000"));
    QCOMPARE(c.candidates().size(), 14);
    QCOMPARE(c.pageCount(), 3);
    QCOMPARE(hexList(c.pageCandidates()), QStringLiteral("F0000 F0006 F0003 F0007 F0001 F0002"));

    // Letters are ignored.
    QVERIFY(!c.appendLetter(QLatin1Char('h')));
    QCOMPARE(c.candidates().size(), 14);
    QCOMPARE(segmentsOf(c), QStringLiteral("*"));

    c.nextPage();
    c.nextPage();
    QCOMPARE(c.page(), 2);
    QCOMPARE(hexList(c.pageCandidates()), QStringLiteral("F000A F000B"));
    QVERIFY(c.selectByNumber(3).isEmpty());
    QCOMPARE(hexList({c.selectByNumber(2)}), QStringLiteral("F000B"));
    QVERIFY(!c.isActive());

    // Backspace closes it.
    c.showSuggestions(sym("F0005"));
    c.removeLetter();
    QVERIFY(!c.isActive());
    QVERIFY(c.candidates().isEmpty());
    // Afterwards letters compose again.
    QVERIFY(c.appendLetter(QLatin1Char('b')));
    QCOMPARE(c.candidates().size(), 4);
}

void TestComposition::suggestionsForOtherSymbols()
{
    // No suggestions after a pitch: nothing to choose, and choosing must
    // not read past the empty list.
    Composition c(m_shipped.get());
    c.showSuggestions(sym("F0027"));
    QVERIFY(c.isSuggesting());
    QVERIFY(c.candidates().isEmpty());
    QVERIFY(c.pageCandidates().isEmpty());
    c.nextCandidate();
    c.nextPage();
    c.previousCandidate();
    QCOMPARE(c.page(), 0);
    QCOMPARE(c.selection(), 0);
    QVERIFY(c.selectByNumber(1).isEmpty());
    QVERIFY(c.commitCurrent().isEmpty());
    QVERIFY(!c.isActive());
}

void TestComposition::emptyDictionary()
{
    for (const QByteArray &content : {QByteArray(), QByteArray("unicode编码 拼音 权重 注释\n")}) {
        const QString path = m_tmp.filePath(QStringLiteral("empty.csv"));
        QVERIFY(writeFile(path, content));
        const SymbolDictionary dict = SymbolDictionary::fromFile(path);
        Composition c(&dict);
        type(c, QStringLiteral("hs"));
        QCOMPARE(segmentsOf(c), QStringLiteral("h! s!"));
        QCOMPARE(c.candidates(), QStringList{QString()});
        QCOMPARE(c.pageCount(), 1);
        QVERIFY(c.commitCurrent().isEmpty());
        c.showSuggestions(sym("F0001"));
        QCOMPARE(c.candidates().size(), 14);
    }
}

QTEST_GUILESS_MAIN(TestComposition)
#include "test_composition.moc"
