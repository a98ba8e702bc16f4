// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorConfig.h"
#include "editor/LyricHighlighter.h"
#include "support/CoreTestSupport.h"

#include <QDir>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

#include <memory>

namespace {

// One letter per role, each with a colour of its own (several defaults
// coincide, which would hide a rule applied in the wrong place).
const QList<QPair<QChar, QColor>> &roleColours()
{
    static const QList<QPair<QChar, QColor>> list = {
        {'t', QColor("#100000")}, // title
        {'c', QColor("#200000")}, // comment
        {'j', QColor("#300000")}, // 夹白
        {'n', QColor("#400000")}, // 念白
        {'q', QColor("#500000")}, // tune heading
        {'y', QColor("#600000")}, // sung characters
        {'p', QColor("#700000")}, // punctuation
        {'b', QColor("#800000")}, // break marker
    };
    return list;
}

void applyRoleColours(EditorConfig &config)
{
    const auto colour = [](char role) {
        for (const auto &[letter, c] : roleColours())
            if (letter == QLatin1Char(role))
                return c;
        return QColor();
    };
    config.setTitleColor(colour('t'));
    config.setCommentColor(colour('c'));
    config.setJiaBaiColor(colour('j'));
    config.setLianBaiColor(colour('n'));
    config.setQuPaiColor(colour('q'));
    config.setLyricColor(colour('y'));
    config.setBiaoDianColor(colour('p'));
    config.setBreakSymbolColor(colour('b'));
}

// The highlighting of one block as one character per UTF-16 unit: the role
// letter of its foreground colour, upper case when bold, '.' when nothing
// was applied, '?' for a colour of no role. Fails the test when a format
// touches anything but the foreground and the weight.
QString describe(const QTextBlock &block)
{
    QString out(block.text().size(), QLatin1Char('.'));
    const QList<QTextLayout::FormatRange> ranges = block.layout()->formats();
    for (const QTextLayout::FormatRange &range : ranges) {
        const QTextCharFormat &f = range.format;
        for (int property : f.properties().keys()) {
            if (property != QTextFormat::ForegroundBrush && property != QTextFormat::FontWeight) {
                qWarning("unexpected format property 0x%x", property);
                return QStringLiteral("<property>");
            }
        }
        QChar letter('?');
        for (const auto &[l, c] : roleColours())
            if (f.foreground().color() == c && f.foreground().style() == Qt::SolidPattern)
                letter = l;
        if (f.hasProperty(QTextFormat::FontWeight)) {
            if (f.fontWeight() != QFont::Bold)
                return QStringLiteral("<weight>");
            letter = letter.toUpper();
        }
        for (int i = range.start; i < range.start + range.length && i < out.size(); ++i)
            out[i] = letter;
    }
    return out;
}

// The lyric pane's document has a plain-text layout; without any layout a
// document reports no content changes and nothing gets re-highlighted.
void usePlainTextLayout(QTextDocument &document)
{
    document.setDocumentLayout(new QPlainTextDocumentLayout(&document));
}

} // namespace

class TestLyricHighlighter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initCoreTestApplication(); }
    void init();
    void cleanup();

    void lineKinds_data();
    void lineKinds();
    void linesAreIndependent();
    void configChangeRecolours();
    void settersAloneDoNotRecolour();
    void longChangeWaitsUntilShown();

private:
    std::unique_ptr<TestDataFolder> m_env;
    std::unique_ptr<EditorConfig> m_config;
};

void TestLyricHighlighter::init()
{
    m_env = std::make_unique<TestDataFolder>();
    m_config = std::make_unique<EditorConfig>(
        QDir(m_env->dataDir()).filePath(QStringLiteral("settings.ini")));
    applyRoleColours(*m_config);
}

void TestLyricHighlighter::cleanup()
{
    m_config.reset();
    m_env.reset();
}

void TestLyricHighlighter::lineKinds_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("title with latin") << "#第一出 Scene One" << QString(14, 'T');
    QTest::newRow("title only hash") << "#" << "T";
    QTest::newRow("latin in sung line") << "好Scene好" << "y.....y";
    QTest::newRow("both commas") << "花，好,月" << "ypypy";
    QTest::newRow("sung with full stop") << "春 香。" << "yyyp";
    QTest::newRow("line break marker") << "@换行符" << "bbbb";
    QTest::newRow("page break marker") << "@分页符" << "bbbb";
    QTest::newRow("marker then text") << "@换行符 好" << "bbbbyy";
    QTest::newRow("marker then latin") << "@分页符x" << "bbbb.";
    QTest::newRow("other at line") << "@其他" << ".yy";
    QTest::newRow("marker not at start") << "好@换行符" << "y.yyy";
    QTest::newRow("tune heading") << "【醉花阴】（北）" << "qqqqqqqq";
    QTest::newRow("tune heading ascii parens") << "【醉花阴】(北)" << "qqqqqqqq";
    QTest::newRow("tune heading without mode") << "【皂罗袍】" << "qqqqq";
    QTest::newRow("tune heading trailing space") << "【醉花阴】（北） " << "pyyyppypy";
    QTest::newRow("tune heading trailing latin") << "【醉花阴】x" << "pyyyp.";
    QTest::newRow("empty tune heading") << "【】" << "pp";
    QTest::newRow("ideographic space") << QString::fromUtf16(u"好\u3000好") << "y.y";
    QTest::newRow("ascii space") << "好 好" << "yyy";
    QTest::newRow("comment") << ";注释 note 1" << QString(10, 'c');
    QTest::newRow("jiabai") << ">夹白 abc，" << "jjjjjjjj";
    QTest::newRow("lianbai") << "=念白 abc。" << "nnnnnnnn";
    QTest::newRow("hash inside sung line") << "好#好" << "y.y";
    QTest::newRow("digits") << "好12" << "y..";
    QTest::newRow("extension ideograph") << QString::fromUtf16(u"好\U00020000好") << "y..y";
    QTest::newRow("stray surrogate") << QString::fromUtf16(u"好\xD800好，") << "y.yp";
    QTest::newRow("stray low surrogate at start") << QString::fromUtf16(u"\xDC00#好") << "..y";
    QTest::newRow("notation symbol") << QString::fromUtf16(u"好\U000F0000") << "y..";
    QTest::newRow("empty line") << "" << "";
}

void TestLyricHighlighter::lineKinds()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);

    QTextDocument document;
    usePlainTextLayout(document);
    document.setPlainText(line);
    auto *highlighter = new LyricHighlighter(&document, m_config.get());
    QCOMPARE(highlighter->parent(), &document);
    highlighter->rehighlight();
    QCOMPARE(describe(document.firstBlock()), expected);
}

// A title or comment line above does not leak into the lines below it.
void TestLyricHighlighter::linesAreIndependent()
{
    QTextDocument document;
    usePlainTextLayout(document);
    new LyricHighlighter(&document, m_config.get());
    document.setPlainText(QStringLiteral("#标题\n;注\n好x\n【醉花阴】\n@换行符"));
    QCoreApplication::processEvents();

    QStringList got;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        got.append(describe(b));
    QCOMPARE(got, QStringList({"TTT", "cc", "y.", "qqqqq", "bbbb"}));

    // Typing into a line re-highlights it.
    QTextCursor cursor(document.findBlockByNumber(2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QStringLiteral("，好"));
    QCOMPARE(describe(document.findBlockByNumber(2)), QStringLiteral("y.py"));
}

void TestLyricHighlighter::configChangeRecolours()
{
    QTextDocument document;
    usePlainTextLayout(document);
    new LyricHighlighter(&document, m_config.get());
    document.setPlainText(QStringLiteral("好花\n#题\n月，"));
    QCoreApplication::processEvents();
    QCOMPARE(describe(document.findBlockByNumber(0)), QStringLiteral("yy"));

    const QColor lyric("#0000aa");
    const QColor title("#00aa00");
    m_config->setLyricColor(lyric);
    m_config->setTitleColor(title);
    m_config->save();

    const auto colourAt = [&document](int blockNumber, int position) {
        const QTextBlock block = document.findBlockByNumber(blockNumber);
        for (const QTextLayout::FormatRange &r : block.layout()->formats())
            if (position >= r.start && position < r.start + r.length)
                return r.format.foreground().color();
        return QColor();
    };
    QCOMPARE(colourAt(0, 0), lyric);
    QCOMPARE(colourAt(0, 1), lyric);
    QCOMPARE(colourAt(1, 0), title);
    QCOMPARE(colourAt(1, 1), title);
    QCOMPARE(colourAt(2, 0), lyric);
    QCOMPARE(colourAt(2, 1), roleColours().at(6).second); // punctuation unchanged
}

void TestLyricHighlighter::settersAloneDoNotRecolour()
{
    QTextDocument document;
    usePlainTextLayout(document);
    new LyricHighlighter(&document, m_config.get());
    document.setPlainText(QStringLiteral("好花"));
    QCoreApplication::processEvents();
    m_config->setLyricColor(QColor("#0000aa"));
    QCoreApplication::processEvents();
    QCOMPARE(describe(document.firstBlock()), QStringLiteral("yy"));
}

// A change of many lines leaves them for a view to colour, and colouring
// them then gives what colouring them at once would.
void TestLyricHighlighter::longChangeWaitsUntilShown()
{
    QStringList lines;
    while (lines.size() < LyricHighlighter::ImmediateLines * 2)
        lines << QStringLiteral("#标题") << QStringLiteral("好，花") << QStringLiteral(";注");
    QTextDocument document;
    usePlainTextLayout(document);
    auto *highlighter = new LyricHighlighter(&document, m_config.get());
    QSignalSpy pending(highlighter, &LyricHighlighter::linesPending);
    document.setPlainText(lines.join(QLatin1Char('\n')));
    QCOMPARE(pending.count(), 1);
    const QTextBlock far = document.findBlockByNumber(301);
    QVERIFY(LyricHighlighter::isPending(far));
    QCOMPARE(describe(far), QStringLiteral("..."));

    highlighter->highlightBlocks(far, 3);
    QCOMPARE(describe(far), QStringLiteral("ypy"));
    QCOMPARE(describe(far.next()), QStringLiteral("cc"));
    QCOMPARE(describe(far.next().next()), QStringLiteral("TTT"));
    QVERIFY(LyricHighlighter::isPending(far.previous()));

    // A new colour reaches the lines shown later, and a short edit is
    // coloured at once.
    m_config->setLyricColor(QColor("#0000aa"));
    m_config->save();
    QVERIFY(LyricHighlighter::isPending(far));
    QTextCursor cursor(document.findBlockByNumber(10));
    cursor.insertText(QStringLiteral("好"));
    QVERIFY(!LyricHighlighter::isPending(document.findBlockByNumber(10)));
    highlighter->highlightBlocks(far, 1);
    QCOMPARE(far.layout()->formats().first().format.foreground().color(), QColor("#0000aa"));
}

QTEST_MAIN(TestLyricHighlighter)
#include "test_lyrichighlighter.moc"
