// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/Pairing.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QtTest>

using namespace ScoreSyntax;

namespace {

QString u(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

// ---- Reference: the pairing rules applied literally, with regexes ----------
// Positions index the lines joined with '\n'.
namespace Ref {

QRegularExpression re(const QString &source)
{
    static QHash<QString, QRegularExpression> cache;
    auto it = cache.find(source);
    if (it == cache.end())
        it = cache.insert(source, QRegularExpression(source));
    return *it;
}

const QString LyricRe = QStringLiteral("[一-龥 ]+");
const QString PairedRe = QStringLiteral("[一-龥 ]");

int classify(const QString &line)
{
    const QList<QPair<int, QString>> order = {
        {0, QStringLiteral("^#.*")},
        {1, QStringLiteral("^;.*")},
        {2, QStringLiteral("^>.*")},
        {3, QStringLiteral("^=.*")},
        {4, QStringLiteral("^【.+?】([（(].+?[)）])?$")},
        {6, QStringLiteral("^@换行符")},
        {7, QStringLiteral("^@分页符")},
        {8, LyricRe},
    };
    for (const auto &entry : order)
        if (re(entry.second).match(line).hasMatch())
            return entry.first;
    return 10;
}

bool isMarkup(const QString &line)
{
    return re(QStringLiteral("^[#;>=【@]")).match(line).hasMatch();
}

int matchLength(const QString &text)
{
    int n = 0;
    auto it = re(LyricRe).globalMatch(text);
    while (it.hasNext())
        n += int(it.next().capturedLength());
    return n;
}

int lineCount(const QString &line)
{
    return isMarkup(line) ? 0 : matchLength(line);
}

struct Text
{
    QStringList lines;
    QString full;
    QList<int> starts;

    explicit Text(const QStringList &l)
        : lines(l)
        , full(l.join(QLatin1Char('\n')))
    {
        int s = 0;
        for (const QString &line : lines) {
            starts.append(s);
            s += int(line.size()) + 1;
        }
    }
    int end() const { return int(full.size()); }
    int lineOf(int pos) const { return int(full.left(pos).count(QLatin1Char('\n'))); }
};

int scoreLineAt(const Text &t, int pos)
{
    pos = std::clamp(pos, 0, t.end());
    const int line = t.lineOf(pos);
    int sum = 0;
    for (int i = 0; i < line; ++i)
        sum += lineCount(t.lines[i]);
    if (!isMarkup(t.lines[line])) {
        QString prefix = t.lines[line].left(pos - t.starts[line]);
        // A position inside a surrogate pair leaves half a character, which
        // the regex engine would refuse along with the whole prefix; that
        // half is no paired character either way.
        if (!prefix.isEmpty() && prefix.back().isHighSurrogate())
            prefix.chop(1);
        sum += matchLength(prefix);
    }
    return sum - 1;
}

// Document positions of every paired character, in order.
QList<int> pairedPositions(const Text &t)
{
    QList<int> result;
    for (int i = 0; i < t.lines.size(); ++i) {
        if (isMarkup(t.lines[i]))
            continue;
        auto it = re(PairedRe).globalMatch(t.lines[i]);
        while (it.hasNext())
            result.append(t.starts[i] + int(it.next().capturedStart()));
    }
    return result;
}

int positionAfterPaired(const Text &t, int n)
{
    n = std::max(n, 0);
    const QList<int> paired = pairedPositions(t);
    if (n > paired.size())
        return t.end();
    if (n > 0)
        return paired[n - 1] + 1;
    for (int i = 0; i < t.lines.size(); ++i) {
        if (isMarkup(t.lines[i]))
            continue;
        const int first = int(re(PairedRe).match(t.lines[i]).capturedStart());
        return t.starts[i] + std::max(first, 0);
    }
    return t.end();
}

QString pairedText(const Text &t)
{
    QString s;
    for (const QString &line : t.lines) {
        if (isMarkup(line))
            continue;
        auto it = re(LyricRe).globalMatch(line);
        while (it.hasNext())
            s += it.next().captured();
    }
    return s;
}

QString pairedCharacterAt(const Text &t, int n) // n >= 1
{
    if (pairedText(t).size() < n)
        return QString();
    const int p = positionAfterPaired(t, n);
    if (p <= 0)
        return QString();
    if (isMarkup(t.lines[t.lineOf(p - 1)]))
        return QString();
    return t.full.mid(p - 1, 1);
}

LayoutItems layoutItems(const Text &t, const QStringList &scores)
{
    LayoutItems items;
    for (int i = 0; i < t.lines.size(); ++i) {
        const QString line = t.lines[i];
        LayoutItem item;
        item.kind = LineKind(classify(line));
        if (item.kind != 8) {
            item.text = line;
        } else {
            QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line);
            int start = 0;
            for (int end = int(finder.toNextBoundary()); end > 0 && start < line.size();
                 end = int(finder.toNextBoundary())) {
                const QString ch = line.mid(start, end - start);
                item.text += ch;
                if (!isMarkup(line) && re(PairedRe).match(ch).hasMatch()) {
                    const int k = scoreLineAt(t, t.starts[i] + end);
                    item.scores.append(k >= 0 && k < scores.size() ? scores[k] : QString());
                } else {
                    item.scores.append(QString());
                }
                start = end;
            }
        }
        items.append(item);
    }
    return items;
}

} // namespace Ref

// ---- Random texts ------------------------------------------------------------

QStringList randomLines(QRandomGenerator &rng, bool allowCarriageReturn)
{
    static const QStringList pieces = {
        QStringLiteral("好"), QStringLiteral("人"), QStringLiteral("一"), u(0x9FA5), u(0x9FA6),
        QStringLiteral(" "), QStringLiteral(" "), u(0x3000), QStringLiteral("a"), QStringLiteral("1"),
        QStringLiteral("，"), QStringLiteral(","), QStringLiteral("。"), QStringLiteral("#"),
        QStringLiteral("="), QStringLiteral("【"), QStringLiteral("】"), QStringLiteral("("),
        QStringLiteral("（"), QStringLiteral(")"), QStringLiteral("）"), QStringLiteral("@"),
        QStringLiteral("换行符"), QStringLiteral("曲牌"), u(0x20000), u(0x0301), QStringLiteral("\t"),
    };
    static const QStringList starts = {
        QStringLiteral("#"), QStringLiteral(";"), QStringLiteral(">"), QStringLiteral("="),
        QStringLiteral("【"), QStringLiteral("@"), QStringLiteral("@换行符"), QStringLiteral("@分页符"),
        QStringLiteral(" "), QStringLiteral("【曲牌名】(调)"), QStringLiteral("【曲牌名】（调）"),
        QStringLiteral("【曲】"),
    };
    QStringList lines;
    const int count = 1 + rng.bounded(10);
    for (int i = 0; i < count; ++i) {
        QString line;
        if (rng.bounded(10) < 4)
            line += starts[rng.bounded(int(starts.size()))];
        const int length = rng.bounded(7);
        for (int k = 0; k < length; ++k)
            line += pieces[rng.bounded(int(pieces.size()))];
        if (allowCarriageReturn && rng.bounded(10) == 0)
            line.insert(rng.bounded(int(line.size()) + 1), QLatin1Char('\r'));
        lines.append(line);
    }
    return lines;
}

QStringList randomScores(QRandomGenerator &rng, int paired)
{
    QStringList scores;
    const int count = rng.bounded(paired + 3);
    for (int i = 0; i < count; ++i)
        scores.append(QStringLiteral("s%1").arg(i));
    return scores;
}

// Readable form of random lines for failure messages.
QString describe(const QStringList &lines)
{
    QStringList out;
    for (const QString &line : lines) {
        QString d;
        for (const QChar c : line)
            d += c.unicode() < 0x7F && c.isPrint() ? QString(c)
                                                 : QStringLiteral("<%1>").arg(c.unicode(), 0, 16);
        out += d;
    }
    return out.join(QStringLiteral(" | "));
}

void compareItems(const LayoutItems &actual, const LayoutItems &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i) {
        QCOMPARE(actual[i].kind, expected[i].kind);
        QCOMPARE(actual[i].text, expected[i].text);
        QCOMPARE(actual[i].scores, expected[i].scores);
    }
}

LayoutItem item(int kind, const QString &text, const QStringList &scores = {})
{
    LayoutItem it;
    it.kind = LineKind(kind);
    it.text = text;
    it.scores = scores;
    return it;
}

} // namespace

Q_DECLARE_METATYPE(LayoutItems)

class TestScoreSyntax : public QObject
{
    Q_OBJECT

private slots:
    void patternTable();
    void characterClasses();
    void classify_data();
    void classify();
    void pairedCountInLinesSpan();
    void mappings_data();
    void mappings();
    void pairedCharacters();
    void layout_data();
    void layout();
    void adaptersAgree();
    void matchesReference();
};

void TestScoreSyntax::patternTable()
{
    const QList<QPair<int, QString>> expected = {
        {0, QStringLiteral("^#.*")},
        {1, QStringLiteral("^;.*")},
        {2, QStringLiteral("^>.*")},
        {3, QStringLiteral("^=.*")},
        {4, QStringLiteral("^【.+?】([（(].+?[)）])?$")},
        {6, QStringLiteral("^@换行符")},
        {7, QStringLiteral("^@分页符")},
        {8, QStringLiteral("[一-龥 ]+")},
        {9, QStringLiteral("[。，,、；;：:？?！!‘’“”（）()《》【】［］\\[\\]—︹︺︽︾﹁﹂﹃﹄︻︼︗︘︵︶|｜~]")},
        {10, QStringLiteral(".+")},
    };
    for (const auto &entry : expected) {
        QVERIFY(hasPattern(entry.first));
        QCOMPARE(patternSource(entry.first), entry.second);
        QCOMPARE(pattern(entry.first).pattern(), entry.second);
        QVERIFY2(pattern(entry.first).isValid(), qPrintable(pattern(entry.first).errorString()));
        QCOMPARE(pattern(entry.first).patternOptions(), QRegularExpression::NoPatternOption);
        // one shared object, not a fresh one per call
        QCOMPARE(&pattern(entry.first), &pattern(entry.first));
    }
    for (int code : {-1, 5, 11, 100}) {
        QVERIFY(!hasPattern(code));
        QVERIFY(patternSource(code).isEmpty());
        for (const QString &s : {QString(), QStringLiteral("好"), QStringLiteral("#x")})
            QVERIFY(!pattern(code).match(s).hasMatch());
    }
    QCOMPARE(markupPatternSource(), QStringLiteral("^[#;>=【@]"));
}

void TestScoreSyntax::characterClasses()
{
    const QList<char16_t> punctuation = {
        0x3002, 0xFF0C, 0x002C, 0x3001, 0xFF1B, 0x003B, 0xFF1A, 0x003A, 0xFF1F, 0x003F,
        0xFF01, 0x0021, 0x2018, 0x2019, 0x201C, 0x201D, 0xFF08, 0xFF09, 0x0028, 0x0029,
        0x300A, 0x300B, 0x3010, 0x3011, 0xFF3B, 0xFF3D, 0x005B, 0x005D, 0x2014, 0xFE39,
        0xFE3A, 0xFE3D, 0xFE3E, 0xFE41, 0xFE42, 0xFE43, 0xFE44, 0xFE3B, 0xFE3C, 0xFE17,
        0xFE18, 0xFE35, 0xFE36, 0x007C, 0xFF5C, 0x007E,
    };
    QCOMPARE(punctuation.size(), 46);
    const QRegularExpression &punct = pattern(Punctuation);
    const QRegularExpression &lyric = pattern(Lyric);
    const QRegularExpression markup(markupPatternSource());
    int punctuationCount = 0;
    for (char32_t cp = 0; cp <= 0xFFFF; ++cp) {
        const QChar c{char16_t(cp)};
        if (c.isSurrogate())
            continue;
        const QString s(c);
        const bool listed = punctuation.contains(char16_t(cp));
        QVERIFY2(punct.match(s).hasMatch() == listed, qPrintable(QString::number(cp, 16)));
        QVERIFY2(isPunctuation(cp) == listed, qPrintable(QString::number(cp, 16)));
        QVERIFY2(isPunctuation(c) == listed, qPrintable(QString::number(cp, 16)));
        punctuationCount += listed;
        QVERIFY2(isPairedCharacter(c) == lyric.match(s).hasMatch(), qPrintable(QString::number(cp, 16)));
        QVERIFY2(isMarkupLine(s + QStringLiteral("x")) == markup.match(s + QStringLiteral("x")).hasMatch(),
                 qPrintable(QString::number(cp, 16)));
    }
    QCOMPARE(punctuationCount, 46);
    QVERIFY(!isPunctuation(char32_t(0x1FF0C)));
    QVERIFY(!isPunctuation(char32_t(0xF0000)));
    // paired range boundaries
    QVERIFY(isPairedCharacter(QChar(0x4E00)));
    QVERIFY(isPairedCharacter(QChar(0x9FA5)));
    QVERIFY(!isPairedCharacter(QChar(0x4DFF)));
    QVERIFY(!isPairedCharacter(QChar(0x9FA6)));
    QVERIFY(!isPairedCharacter(QChar(0x3000)));
    QVERIFY(isPairedCharacter(QChar(u' ')));
    QVERIFY(!isPairedCharacter(QChar(u'\t')));
}

void TestScoreSyntax::classify_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("markup");
    QTest::addColumn<int>("paired");

    auto row = [](const char *name, const QString &line, int kind, bool markup, int paired) {
        QTest::newRow(name) << line << kind << markup << paired;
    };
    row("empty", QString(), Other, false, 0);
    row("latin and digits", QStringLiteral("abc123"), Other, false, 0);
    row("punctuation only", QStringLiteral("，。！,"), Other, false, 0);
    row("ideographs", QStringLiteral("好人"), Lyric, false, 2);
    row("five ideographs and comma", QStringLiteral("一二三四五，"), Lyric, false, 5);
    row("spaces only", QStringLiteral("   "), Lyric, false, 3);
    row("space is paired", QStringLiteral("好 人"), Lyric, false, 3);
    row("space then hash", QStringLiteral(" #标题"), Lyric, false, 3);
    row("title template", QStringLiteral("# 标题"), Title, true, 0);
    row("bare hash", QStringLiteral("#"), Title, true, 0);
    row("hash mid-line", QStringLiteral("好#人"), Lyric, false, 2);
    row("equals mid-line", QStringLiteral("好=人"), Lyric, false, 2);
    row("comment", QStringLiteral("; 注释"), Comment, true, 0);
    row("jiabai", QStringLiteral("> 白"), JiaBai, true, 0);
    row("lianbai", QStringLiteral("= 白"), LianBai, true, 0);
    row("qupai template", QStringLiteral("【曲牌名】(调)"), QuPai, true, 0);
    row("qupai full-width parens", QStringLiteral("【曲牌名】（调）"), QuPai, true, 0);
    row("qupai mixed parens", QStringLiteral("【曲牌名】（调)"), QuPai, true, 0);
    row("qupai bare", QStringLiteral("【曲牌名】"), QuPai, true, 0);
    row("qupai latin name", QStringLiteral("【a】"), QuPai, true, 0);
    row("qupai empty name", QStringLiteral("【】"), Other, true, 0);
    row("qupai empty parens", QStringLiteral("【曲牌名】()"), Lyric, true, 0);
    row("qupai trailing text", QStringLiteral("【曲牌名】x"), Lyric, true, 0);
    row("template plus ideograph", QStringLiteral("【曲牌名】(调) 好"), Lyric, true, 0);
    row("qupai then carriage return", QStringLiteral("【曲牌名】(调)\r"), Lyric, true, 0);
    row("line break", QStringLiteral("@换行符"), LineBreak, true, 0);
    row("line break with text", QStringLiteral("@换行符xxx好"), LineBreak, true, 0);
    row("page break", QStringLiteral("@分页符"), PageBreak, true, 0);
    row("page break with text", QStringLiteral("@分页符 更多"), PageBreak, true, 0);
    row("at other ideographs", QStringLiteral("@其他汉字"), Lyric, true, 0);
    row("at latin", QStringLiteral("@abc"), Other, true, 0);
    row("space then line break", QStringLiteral(" @换行符"), Lyric, false, 4);
    row("ideographic space only", u(0x3000), Other, false, 0);
    row("ideographic space between", QStringLiteral("好") + u(0x3000) + QStringLiteral("人"), Lyric, false, 2);
    row("extension ideograph only", u(0x20000), Other, false, 0);
    row("extension ideograph with ideograph", u(0x20000) + QStringLiteral("好"), Lyric, false, 1);
    row("U+4E00", u(0x4E00), Lyric, false, 1);
    row("U+9FA5", u(0x9FA5), Lyric, false, 1);
    row("U+9FA6", u(0x9FA6), Other, false, 0);
    row("U+4DFF", u(0x4DFF), Other, false, 0);
    row("notation symbol", u(0xF0000), Other, false, 0);
    // Stray surrogates: one unknown character each, not a reason to lose
    // the rest of the line.
    row("lone high surrogate in lyric",
        QStringLiteral("好") + QChar(0xD800) + QStringLiteral("人"), Lyric, false, 2);
    row("lone low surrogate in title", QStringLiteral("#") + QChar(0xDC00), Title, true, 0);
    row("lone surrogate in qupai",
        QStringLiteral("【曲") + QChar(0xD800) + QStringLiteral("】(调)"), QuPai, true, 0);
    row("lone surrogate after qupai",
        QStringLiteral("【曲】") + QChar(0xDBFF), Lyric, true, 0);
}

void TestScoreSyntax::classify()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(bool, markup);
    QFETCH(int, paired);

    QCOMPARE(int(ScoreSyntax::classify(line)), kind);
    QCOMPARE(isMarkupLine(line), markup);
    QCOMPARE(linePairedCount(line), paired);
    if (!markup)
        QCOMPARE(countPairedCharacters(line), paired);

    bool validUtf16 = true;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate())
            ++i;
        else if (line[i].isSurrogate())
            validUtf16 = false;
    }
    if (validUtf16) {
        QCOMPARE(int(ScoreSyntax::classify(line)), Ref::classify(line));
        QCOMPARE(isMarkupLine(line), Ref::isMarkup(line));
        QCOMPARE(linePairedCount(line), Ref::lineCount(line));
    }
}

void TestScoreSyntax::pairedCountInLinesSpan()
{
    const PlainLines lines(QStringLiteral("好\n# 标题\n人 人\n@其他"));
    QCOMPARE(pairedCountInLines(lines, 0, 3), 4);
    QCOMPARE(pairedCountInLines(lines, 1, 1), 0);
    QCOMPARE(pairedCountInLines(lines, 2, 9), 3);
    QCOMPARE(pairedCountInLines(lines, -4, 0), 1);
    QCOMPARE(pairedCountInLines(lines, 3, 1), 0);
    QCOMPARE(pairedCount(lines), 4);
    QCOMPARE(scoreLineText(lines, -1), QString());
    QCOMPARE(scoreLineText(lines, 4), QString());
    QCOMPARE(scoreLineText(lines, 2), QStringLiteral("人 人"));
}

void TestScoreSyntax::mappings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("toScore"); // scoreLineAt, else positionAfterPaired
    QTest::addColumn<int>("argument");
    QTest::addColumn<int>("expected");

    // "# 标题" 0..4, "好 人" 5..8, "; 注释" 9..13, "一二" 14..16
    const QString t = QStringLiteral("# 标题\n好 人\n; 注释\n一二");
    const QList<QPair<int, int>> score = {
        {-5, -1}, {0, -1}, {3, -1}, {4, -1}, {5, -1}, {6, 0}, {7, 1}, {8, 2},
        {9, 2}, {11, 2}, {13, 2}, {14, 2}, {15, 3}, {16, 4}, {17, 4}, {1000, 4},
    };
    for (const auto &p : score)
        QTest::addRow("scoreLineAt %d", p.first) << t << true << p.first << p.second;
    const QList<QPair<int, int>> after = {
        {-3, 5}, {0, 5}, {1, 6}, {2, 7}, {3, 8}, {4, 15}, {5, 16}, {6, 16}, {100, 16},
    };
    for (const auto &p : after)
        QTest::addRow("positionAfterPaired %d", p.first) << t << false << p.first << p.second;

    QTest::newRow("empty text, position 0") << QString() << true << 0 << -1;
    QTest::newRow("empty text, n 0") << QString() << false << 0 << 0;
    QTest::newRow("empty text, n 1") << QString() << false << 1 << 0;
    QTest::newRow("n 0, first line has none") << QStringLiteral("abc\n好") << false << 0 << 0;
    QTest::newRow("n 0, first paired mid-line") << QStringLiteral("a，好") << false << 0 << 2;
    QTest::newRow("n 0, markup lines skipped") << QStringLiteral("# 标题\nab好") << false << 0 << 7;
    QTest::newRow("n 0, only markup") << QStringLiteral("# 标题\n; x") << false << 0 << 8;
    QTest::newRow("after paired skips punctuation") << QStringLiteral("好，人") << false << 2 << 3;
    QTest::newRow("space is paired") << QStringLiteral("   ") << false << 2 << 2;
    QTest::newRow("U+3000 not paired") << QStringLiteral("　好") << true << 1 << -1;
    QTest::newRow("markup line after lyric")
        << QStringLiteral("好人\n@其他汉字") << true << 7 << 1;
    QTest::newRow("extension ideograph not paired")
        << (u(0x20000) + QStringLiteral("好")) << false << 1 << 3;
    // Positions inside a surrogate pair occur when callers step through a
    // selection one code unit at a time.
    QTest::newRow("inside a surrogate pair")
        << (QStringLiteral("好") + u(0x20000) + QStringLiteral("人")) << true << 2 << 0;
    QTest::newRow("end of line without separator") << QStringLiteral("好\n") << false << 2 << 2;
}

void TestScoreSyntax::mappings()
{
    QFETCH(QString, text);
    QFETCH(bool, toScore);
    QFETCH(int, argument);
    QFETCH(int, expected);

    QTextDocument document;
    document.setPlainText(text);
    const DocumentLines docLines(document);
    const PlainLines plainLines(text);
    for (const LineSource *source : {static_cast<const LineSource *>(&docLines),
                                     static_cast<const LineSource *>(&plainLines)}) {
        if (toScore)
            QCOMPARE(scoreLineAt(*source, argument), expected);
        else
            QCOMPARE(positionAfterPaired(*source, argument), expected);
    }
}

void TestScoreSyntax::pairedCharacters()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("# 标题\n好 人"));
    const DocumentLines lines(document);
    QCOMPARE(pairedText(lines), QStringLiteral("好 人"));
    QCOMPARE(pairedCharacterAt(lines, 1), QStringLiteral("好"));
    QCOMPARE(pairedCharacterAt(lines, 2), QStringLiteral(" "));
    QCOMPARE(pairedCharacterAt(lines, 3), QStringLiteral("人"));
    QCOMPARE(pairedCharacterAt(lines, 4), QString());
    // 0 and negatives name no character (the literal rule would pick the
    // character in front of the first paired one)
    QCOMPARE(pairedCharacterAt(PlainLines(QStringLiteral("a好")), 0), QString());
    QCOMPARE(pairedCharacterAt(lines, -1), QString());
    QCOMPARE(pairedText(PlainLines(QStringLiteral("@其他\n，"))), QString());
}

void TestScoreSyntax::layout_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");
    QTest::addColumn<LayoutItems>("expected");

    QTest::newRow("five ideographs and comma")
        << QStringLiteral("一二三四五，") << QStringLiteral("a\nb\nc\nd\ne\n")
        << LayoutItems{item(Lyric, QStringLiteral("一二三四五，"),
                            {"a", "b", "c", "d", "e", ""})};
    QTest::newRow("fewer score lines")
        << QStringLiteral("好人\n一二") << QStringLiteral("x\ny")
        << LayoutItems{item(Lyric, QStringLiteral("好人"), {"x", "y"}),
                       item(Lyric, QStringLiteral("一二"), {"", ""})};
    QTest::newRow("empty score text")
        << QStringLiteral("好") << QString()
        << LayoutItems{item(Lyric, QStringLiteral("好"), {""})};
    QTest::newRow("more score lines")
        << QStringLiteral("好") << QStringLiteral("x\ny\nz")
        << LayoutItems{item(Lyric, QStringLiteral("好"), {"x"})};
    QTest::newRow("markup lyric line owns nothing")
        << QStringLiteral("【曲牌名】(调) 好\n人") << QStringLiteral("a\nb")
        << LayoutItems{item(Lyric, QStringLiteral("【曲牌名】(调) 好"),
                            {"", "", "", "", "", "", "", "", "", ""}),
                       item(Lyric, QStringLiteral("人"), {"a"})};
    QTest::newRow("at other ideographs")
        << QStringLiteral("@其他\n好") << QStringLiteral("a")
        << LayoutItems{item(Lyric, QStringLiteral("@其他"), {"", "", ""}),
                       item(Lyric, QStringLiteral("好"), {"a"})};
    QTest::newRow("extension ideograph is one step")
        << (QStringLiteral("好") + u(0x20000) + QStringLiteral("人")) << QStringLiteral("a\nb")
        << LayoutItems{item(Lyric, QStringLiteral("好") + u(0x20000) + QStringLiteral("人"),
                            {"a", "", "b"})};
    QTest::newRow("combining mark joins its base")
        << (QStringLiteral("好") + u(0x0301) + QStringLiteral("人")) << QStringLiteral("a\nb")
        << LayoutItems{item(Lyric, QStringLiteral("好") + u(0x0301) + QStringLiteral("人"),
                            {"a", "b"})};
    QTest::newRow("spaces")
        << QStringLiteral("  ") << QStringLiteral("a\nb")
        << LayoutItems{item(Lyric, QStringLiteral("  "), {"a", "b"})};
    QTest::newRow("ideographic space")
        << (QStringLiteral("好") + u(0x3000) + QStringLiteral("人")) << QStringLiteral("a\nb")
        << LayoutItems{item(Lyric, QStringLiteral("好") + u(0x3000) + QStringLiteral("人"),
                            {"a", "", "b"})};
    QTest::newRow("other kinds and empty lines")
        << QStringLiteral("# 标题\n\nabc\n@换行符\n@分页符\n【曲牌名】(调)\n; 注\n> 白\n= 白\n")
        << QStringLiteral("a")
        << LayoutItems{item(Title, QStringLiteral("# 标题")), item(Other, QString()),
                       item(Other, QStringLiteral("abc")), item(LineBreak, QStringLiteral("@换行符")),
                       item(PageBreak, QStringLiteral("@分页符")),
                       item(QuPai, QStringLiteral("【曲牌名】(调)")),
                       item(Comment, QStringLiteral("; 注")), item(JiaBai, QStringLiteral("> 白")),
                       item(LianBai, QStringLiteral("= 白")), item(Other, QString())};
    QTest::newRow("pairing continues across markup")
        << QStringLiteral("好\n# 标题\n人") << QStringLiteral("a\nb\n")
        << LayoutItems{item(Lyric, QStringLiteral("好"), {"a"}),
                       item(Title, QStringLiteral("# 标题")),
                       item(Lyric, QStringLiteral("人"), {"b"})};
}

void TestScoreSyntax::layout()
{
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    QFETCH(LayoutItems, expected);

    compareItems(layoutItems(PlainLines(lyric), PlainLines(score)), expected);
    QTextDocument lyricDoc, scoreDoc;
    lyricDoc.setPlainText(lyric);
    scoreDoc.setPlainText(score);
    compareItems(layoutItems(DocumentLines(lyricDoc), DocumentLines(scoreDoc)), expected);
    compareItems(Ref::layoutItems(Ref::Text(lyric.split(QLatin1Char('\n'))),
                                  score.split(QLatin1Char('\n'))),
                 expected);
}

void TestScoreSyntax::adaptersAgree()
{
    QRandomGenerator rng(20240611);
    for (int round = 0; round < 150; ++round) {
        const QStringList lines = randomLines(rng, false);
        const QString text = lines.join(QLatin1Char('\n'));
        QTextDocument document;
        document.setPlainText(text);
        QCOMPARE(document.blockCount(), lines.size());
        const DocumentLines doc(document);
        const PlainLines plain(lines);

        QCOMPARE(doc.lineCount(), plain.lineCount());
        for (int i = 0; i < plain.lineCount(); ++i) {
            QCOMPARE(doc.lineText(i), plain.lineText(i));
            QCOMPARE(doc.lineStart(i), plain.lineStart(i));
        }
        QCOMPARE(doc.endPosition(), plain.endPosition());
        QCOMPARE(doc.endPosition(), document.characterCount() - 1);
        for (int pos = -2; pos <= plain.endPosition() + 2; ++pos) {
            QCOMPARE(doc.lineAt(pos), plain.lineAt(pos));
            QCOMPARE(scoreLineAt(doc, pos), scoreLineAt(plain, pos));
        }
        const int total = pairedCount(plain);
        QCOMPARE(pairedCount(doc), total);
        for (int n = -2; n <= total + 2; ++n) {
            QCOMPARE(positionAfterPaired(doc, n), positionAfterPaired(plain, n));
            QCOMPARE(pairedCharacterAt(doc, n), pairedCharacterAt(plain, n));
        }
        QCOMPARE(pairedText(doc), pairedText(plain));

        const QStringList scores = randomScores(rng, total);
        QTextDocument scoreDocument;
        scoreDocument.setPlainText(scores.join(QLatin1Char('\n')));
        compareItems(layoutItems(doc, DocumentLines(scoreDocument)),
                     layoutItems(plain, PlainLines(scores)));
    }
}

void TestScoreSyntax::matchesReference()
{
    QRandomGenerator rng(7);
    for (int round = 0; round < 250; ++round) {
        const QStringList lines = randomLines(rng, true);
        const Ref::Text ref(lines);
        const PlainLines plain(lines);

        for (const QString &line : lines) {
            QCOMPARE(int(ScoreSyntax::classify(line)), Ref::classify(line));
            QCOMPARE(isMarkupLine(line), Ref::isMarkup(line));
            QCOMPARE(linePairedCount(line), Ref::lineCount(line));
        }
        QCOMPARE(plain.endPosition(), ref.end());
        for (int pos = -2; pos <= ref.end() + 2; ++pos)
            QVERIFY2(scoreLineAt(plain, pos) == Ref::scoreLineAt(ref, pos),
                     qPrintable(QStringLiteral("%1 at %2: %3 vs %4")
                                    .arg(describe(lines)).arg(pos)
                                    .arg(scoreLineAt(plain, pos)).arg(Ref::scoreLineAt(ref, pos))));
        const QString paired = Ref::pairedText(ref);
        QCOMPARE(pairedText(plain), paired);
        for (int n = -2; n <= paired.size() + 2; ++n) {
            QCOMPARE(positionAfterPaired(plain, n), Ref::positionAfterPaired(ref, n));
            if (n >= 1)
                QCOMPARE(pairedCharacterAt(plain, n), Ref::pairedCharacterAt(ref, n));
        }
        // Applied to the position after a paired character, scoreLineAt
        // names that character's own score line.
        for (int n = 1; n <= paired.size(); ++n)
            QCOMPARE(scoreLineAt(plain, positionAfterPaired(plain, n)), n - 1);

        const QStringList scores = randomScores(rng, int(paired.size()));
        compareItems(layoutItems(plain, PlainLines(scores)), Ref::layoutItems(ref, scores));
    }
}

QTEST_MAIN(TestScoreSyntax)
#include "test_scoresyntax.moc"
