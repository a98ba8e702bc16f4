// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/PairingIndex.h"
#include "document/Pairing.h"

#include "support/CoreTestSupport.h"

#include <QGuiApplication>
#include <QPlainTextDocumentLayout>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

#include <memory>

// The cache must give exactly what the uncached rules give, after any edit.
class TestPairingIndex : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answersMatchRules_data();
    void answersMatchRules();
    void staysRightThroughEdits_data();
    void staysRightThroughEdits();
    void queriesInsideAnOpenEditBlock();
    void documentDestroyed();

private:
    std::unique_ptr<TestDataFolder> m_env;
};

namespace {

// Compares every answer of the index with ScoreSyntax over the same
// document. Positions: all of them for short texts, a sample otherwise.
void compareAll(const PairingIndex &index, const QTextDocument &doc, QRandomGenerator *rng,
                const QByteArray &context)
{
    const DocumentLines lines(doc);
    const int end = lines.endPosition();
    const int count = ScoreSyntax::pairedCount(lines);
    QCOMPARE(index.pairedCount(), count);
    QCOMPARE(index.pairedText(), ScoreSyntax::pairedText(lines));

    QList<int> positions = {-3, -1, 0, end, end + 1, end + 50};
    if (end <= 400) {
        for (int p = 1; p < end; ++p)
            positions.append(p);
    } else {
        for (int i = 0; i < 300; ++i)
            positions.append(int(rng->bounded(end + 1)));
    }
    for (int p : std::as_const(positions)) {
        if (index.scoreLineAt(p) != ScoreSyntax::scoreLineAt(lines, p))
            QFAIL(qPrintable(QStringLiteral("%1: scoreLineAt(%2) %3 != %4")
                                 .arg(QString::fromLatin1(context))
                                 .arg(p)
                                 .arg(index.scoreLineAt(p))
                                 .arg(ScoreSyntax::scoreLineAt(lines, p))));
    }
    QList<int> counts = {-2, -1, 0, count, count + 1, count + 7};
    if (count <= 300) {
        for (int n = 1; n < count; ++n)
            counts.append(n);
    } else {
        for (int i = 0; i < 300; ++i)
            counts.append(int(rng->bounded(count + 1)));
    }
    for (int n : std::as_const(counts)) {
        if (index.positionAfterPaired(n) != ScoreSyntax::positionAfterPaired(lines, n))
            QFAIL(qPrintable(QStringLiteral("%1: positionAfterPaired(%2) %3 != %4")
                                 .arg(QString::fromLatin1(context))
                                 .arg(n)
                                 .arg(index.positionAfterPaired(n))
                                 .arg(ScoreSyntax::positionAfterPaired(lines, n))));
        QCOMPARE(index.pairedCharacterAt(n), ScoreSyntax::pairedCharacterAt(lines, n));
    }
    for (int i = 0; i < 20; ++i) {
        const int a = int(rng->bounded(lines.lineCount() + 2)) - 1;
        const int b = int(rng->bounded(lines.lineCount() + 2)) - 1;
        QCOMPARE(index.pairedCountInLines(a, b), ScoreSyntax::pairedCountInLines(lines, a, b));
    }
}

// Pieces that exercise every rule: markup starts, spaces, U+3000, Latin,
// punctuation, extension-block ideographs (surrogate pairs), line breaks.
const QStringList &pieces()
{
    static const QStringList list = {
        QStringLiteral("好"), QStringLiteral("天地"), QStringLiteral(" "), QStringLiteral("，"),
        QStringLiteral("。"), QStringLiteral("\u3000"), QStringLiteral("ab"), QStringLiteral("#"),
        QStringLiteral(";"), QStringLiteral(">"), QStringLiteral("="), QStringLiteral("【"),
        QStringLiteral("@"), QStringLiteral("\n"), QStringLiteral("\n"), QStringLiteral("\n"),
        QStringLiteral("𠀀"), QStringLiteral("【曲牌名】(调)"), QStringLiteral("@换行符"),
        QStringLiteral("花 开\n月 明"), QStringLiteral("\n# 标题\n"), QStringLiteral("1"),
    };
    return list;
}

QString randomText(QRandomGenerator *rng, int pieceCount)
{
    QString text;
    for (int i = 0; i < pieceCount; ++i)
        text += pieces().at(int(rng->bounded(qsizetype(pieces().size()))));
    return text;
}

} // namespace

void TestPairingIndex::initTestCase()
{
    m_env = std::make_unique<TestDataFolder>();
}

void TestPairingIndex::answersMatchRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("markup only") << QStringLiteral("# 标题\n【曲牌】\n= 念白");
    QTest::newRow("first non-markup line without paired")
        << QStringLiteral("#t\nabc\n好 人");
    QTest::newRow("title and two") << QStringLiteral("# 标题\n好 人");
    QTest::newRow("mixed") << QStringLiteral("# 标题\n【曲牌名】(调)\n天地玄黄，宇宙洪荒。\n= 念白\n\n"
                                             "  \n@换行符 好\nLatin 字\n𠀀好\u3000人");
}

void TestPairingIndex::answersMatchRules()
{
    QFETCH(QString, text);
    QTextDocument doc;
    doc.setPlainText(text);
    PairingIndex index(&doc);
    QRandomGenerator rng(7);
    compareAll(index, doc, &rng, QTest::currentDataTag());
}

void TestPairingIndex::staysRightThroughEdits_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("plainLayout");
    QTest::newRow("seed 1") << quint32(1) << true;
    QTest::newRow("seed 2") << quint32(2) << true;
    QTest::newRow("seed 3, bare document") << quint32(3) << false;
}

// A fixed-seed random walk of edits: typing, deleting, multi-line paste over
// a selection, edit blocks, undo, redo, setPlainText and clear.
void TestPairingIndex::staysRightThroughEdits()
{
    QFETCH(quint32, seed);
    QFETCH(bool, plainLayout);
    QRandomGenerator rng(seed);
    QTextDocument doc;
    if (plainLayout)
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
    doc.setPlainText(randomText(&rng, 60));
    PairingIndex index(&doc);
    QTextCursor cursor(&doc);

    auto randomPos = [&] { return int(rng.bounded(doc.characterCount())); };
    for (int step = 0; step < 400; ++step) {
        const int op = int(rng.bounded(12));
        QByteArray what;
        switch (op) {
        case 0:
        case 1: { // typing a few characters one by one
            cursor.setPosition(randomPos());
            const int n = 1 + int(rng.bounded(4));
            for (int i = 0; i < n; ++i)
                cursor.insertText(pieces().at(int(rng.bounded(qsizetype(pieces().size())))));
            what = "type";
            break;
        }
        case 2: { // backspace / delete
            cursor.setPosition(randomPos());
            if (rng.bounded(2))
                cursor.deletePreviousChar();
            else
                cursor.deleteChar();
            what = "delete";
            break;
        }
        case 3: { // delete a range, possibly over many lines
            cursor.setPosition(randomPos());
            cursor.setPosition(randomPos(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            what = "delete range";
            break;
        }
        case 4:
        case 5: { // multi-line paste over a selection
            cursor.setPosition(randomPos());
            cursor.setPosition(randomPos(), QTextCursor::KeepAnchor);
            cursor.insertText(randomText(&rng, 1 + int(rng.bounded(12))));
            what = "paste";
            break;
        }
        case 6: { // several changes in one edit block
            cursor.beginEditBlock();
            for (int i = 0; i < 3; ++i) {
                cursor.setPosition(randomPos());
                cursor.setPosition(randomPos(), QTextCursor::KeepAnchor);
                cursor.insertText(randomText(&rng, int(rng.bounded(4))));
            }
            cursor.endEditBlock();
            what = "edit block";
            break;
        }
        case 7:
        case 8: {
            const int n = 1 + int(rng.bounded(3));
            for (int i = 0; i < n; ++i)
                doc.undo();
            what = "undo";
            break;
        }
        case 9: {
            const int n = 1 + int(rng.bounded(3));
            for (int i = 0; i < n; ++i)
                doc.redo();
            what = "redo";
            break;
        }
        case 10:
            if (rng.bounded(8) == 0) {
                doc.clear();
                what = "clear";
            } else if (rng.bounded(4) == 0) {
                doc.setPlainText(randomText(&rng, 10 + int(rng.bounded(60))));
                what = "setPlainText";
            } else {
                cursor.setPosition(randomPos());
                cursor.insertBlock();
                what = "insertBlock";
            }
            break;
        default: { // a line-level edit at a block boundary
            const QTextBlock block = doc.findBlockByNumber(int(rng.bounded(doc.blockCount())));
            cursor.setPosition(block.position());
            cursor.insertText(rng.bounded(2) ? QStringLiteral("#") : QStringLiteral("好\n"));
            what = "line start";
            break;
        }
        }
        // Sometimes let several edits pile up before the next question.
        if (rng.bounded(4) == 0 && step != 399)
            continue;
        compareAll(index, doc, &rng, "step " + QByteArray::number(step) + " " + what);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestPairingIndex::queriesInsideAnOpenEditBlock()
{
    QTextDocument doc;
    doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
    doc.setPlainText(QStringLiteral("# 标题\n好 人\n天地"));
    PairingIndex index(&doc);
    QRandomGenerator rng(11);
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    cursor.setPosition(5);
    cursor.insertText(QStringLiteral("花"));
    compareAll(index, doc, &rng, "first change");
    // Same revision, same length: only a re-read can see this one.
    cursor.setPosition(5);
    cursor.setPosition(6, QTextCursor::KeepAnchor);
    cursor.insertText(QStringLiteral("x"));
    compareAll(index, doc, &rng, "second change");
    cursor.setPosition(0);
    cursor.insertText(QStringLiteral("云\n"));
    compareAll(index, doc, &rng, "third change");
    cursor.endEditBlock();
    compareAll(index, doc, &rng, "after the block");
    doc.undo();
    compareAll(index, doc, &rng, "undone");
    QCOMPARE(index.pairedText(), QStringLiteral("好 人天地"));
    doc.redo();
    compareAll(index, doc, &rng, "redone");
    QCOMPARE(index.pairedText(), QStringLiteral("云好 人天地"));
}

void TestPairingIndex::documentDestroyed()
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setPlainText(QStringLiteral("好"));
    PairingIndex index(doc.get());
    QCOMPARE(index.pairedCount(), 1);
    doc.reset();
    QCOMPARE(index.document(), nullptr);
    QCOMPARE(index.scoreLineAt(3), -1);
    QCOMPARE(index.positionAfterPaired(1), 0);
    QCOMPARE(index.pairedCharacterAt(1), QString());
    QCOMPARE(index.pairedCount(), 0);
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    initCoreTestApplication();
    TestPairingIndex test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_pairingindex.moc"
