// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ui/LyricEdit.h"

#include "document/Pairing.h"
#include "editor/EditorConfig.h"
#include "editor/LyricHighlighter.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

Q_DECLARE_METATYPE(LyricEdit::FindResult)

class TestLyricEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void lineLabel_data();
    void lineLabel();
    void scoreLineAt_data();
    void scoreLineAt();
    void positionAfterPaired_data();
    void positionAfterPaired();
    void pairedCharacterAt_data();
    void pairedCharacterAt();
    void mappingFollowsEdits();

    void highlightCharacterBefore_data();
    void highlightCharacterBefore();
    void highlightLineAt();
    void playingShowsInsideSelection_data();
    void playingShowsInsideSelection();

    void find_data();
    void find();
    void findWithoutMatchClearsHighlighting();

    void appearanceFollowsConfig();
    void hasHighlighter();
    void coloursTheLinesItShows();
};

namespace {

// Lines: "# 标题" (0..4), "好 人" (5..8), "=念白" (9..12), "天地，" (13..16).
const QString MappingText = QStringLiteral("# 标题\n好 人\n=念白\n天地，");

} // namespace

void TestLyricEdit::initTestCase()
{
    // The environment lives as long as the process (see main).
    QVERIFY(EditorConfig::instance());
}

void TestLyricEdit::lineLabel_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("label");
    QTest::newRow("title") << QStringLiteral("# 标题") << QStringLiteral("标题");
    QTest::newRow("title with Latin") << QStringLiteral("#Title abc") << QStringLiteral("标题");
    QTest::newRow("comment") << QStringLiteral("; 注释") << QStringLiteral("注释");
    QTest::newRow("jiabai") << QStringLiteral("> 夹白") << QStringLiteral("夹白");
    QTest::newRow("lianbai") << QStringLiteral("= 念白") << QStringLiteral("念白");
    QTest::newRow("qupai template") << QStringLiteral("【曲牌名】(调)") << QStringLiteral("曲牌");
    QTest::newRow("qupai full-width") << QStringLiteral("【皂罗袍】（小工调）") << QStringLiteral("曲牌");
    QTest::newRow("qupai bare") << QStringLiteral("【曲牌名】") << QStringLiteral("曲牌");
    QTest::newRow("qupai plus space and ideograph")
        << QStringLiteral("【曲牌名】(调) 好") << QStringLiteral("唱");
    QTest::newRow("line break") << QStringLiteral("@换行符") << QStringLiteral("换行");
    QTest::newRow("page break with text") << QStringLiteral("@分页符xx") << QStringLiteral("分页");
    QTest::newRow("at other ideographs") << QStringLiteral("@其他") << QStringLiteral("唱");
    QTest::newRow("at Latin") << QStringLiteral("@abc") << QString();
    QTest::newRow("sung") << QStringLiteral("原来姹紫嫣红开遍，") << QStringLiteral("唱");
    QTest::newRow("spaces only") << QStringLiteral("   ") << QStringLiteral("唱");
    QTest::newRow("space then hash") << QStringLiteral(" #好") << QStringLiteral("唱");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("Latin") << QStringLiteral("abc") << QString();
    QTest::newRow("punctuation only") << QStringLiteral("，。") << QString();
    QTest::newRow("ideographic space only") << QStringLiteral("\u3000") << QString();
}

void TestLyricEdit::lineLabel()
{
    QFETCH(QString, line);
    QFETCH(QString, label);
    QCOMPARE(LyricEdit::lineLabel(line), label);
}

void TestLyricEdit::scoreLineAt_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("scoreLine");
    QTest::newRow("negative") << -5 << -1;
    QTest::newRow("start") << 0 << -1;
    QTest::newRow("inside title") << 3 << -1;
    QTest::newRow("start of first sung line") << 5 << -1;
    QTest::newRow("after first") << 6 << 0;
    QTest::newRow("after space") << 7 << 1;
    QTest::newRow("end of line") << 8 << 2;
    QTest::newRow("inside markup line") << 11 << 2;
    QTest::newRow("start of last line") << 13 << 2;
    QTest::newRow("after comma") << 16 << 4;
    QTest::newRow("past the end") << 1000 << 4;
}

void TestLyricEdit::scoreLineAt()
{
    QFETCH(int, position);
    QFETCH(int, scoreLine);
    LyricEdit edit;
    edit.setPlainText(MappingText);
    QCOMPARE(edit.scoreLineAt(position), scoreLine);
    QCOMPARE(ScoreSyntax::scoreLineAt(DocumentLines(*edit.document()), position), scoreLine);
}

void TestLyricEdit::positionAfterPaired_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("position");
    QTest::newRow("n=0: first paired character") << MappingText << 0 << 5;
    QTest::newRow("negative as 0") << MappingText << -3 << 5;
    QTest::newRow("1") << MappingText << 1 << 6;
    QTest::newRow("2: after the space") << MappingText << 2 << 7;
    QTest::newRow("3: end of its line") << MappingText << 3 << 8;
    QTest::newRow("4: skips the markup line") << MappingText << 4 << 14;
    QTest::newRow("5") << MappingText << 5 << 15;
    QTest::newRow("beyond: end") << MappingText << 6 << 16;
    QTest::newRow("far beyond: end") << MappingText << 100 << 16;
    QTest::newRow("n=0, first non-markup line has none")
        << QStringLiteral("#t\nabc\n好") << 0 << 3;
    QTest::newRow("n=0, leading Latin") << QStringLiteral("ab好") << 0 << 2;
    QTest::newRow("n=0, markup only") << QStringLiteral("# 标题\n= 白") << 0 << 8;
    QTest::newRow("empty document") << QString() << 1 << 0;
}

void TestLyricEdit::positionAfterPaired()
{
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(int, position);
    LyricEdit edit;
    edit.setPlainText(text);
    QCOMPARE(edit.positionAfterPaired(n), position);
    QCOMPARE(ScoreSyntax::positionAfterPaired(DocumentLines(*edit.document()), n), position);
}

void TestLyricEdit::pairedCharacterAt_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("character");
    QTest::newRow("1") << 1 << QStringLiteral("好");
    QTest::newRow("2: the space") << 2 << QStringLiteral(" ");
    QTest::newRow("3") << 3 << QStringLiteral("人");
    QTest::newRow("4: beyond") << 4 << QString();
    QTest::newRow("0") << 0 << QString();
    QTest::newRow("negative") << -1 << QString();
}

void TestLyricEdit::pairedCharacterAt()
{
    QFETCH(int, n);
    QFETCH(QString, character);
    LyricEdit edit;
    edit.setPlainText(QStringLiteral("# 标题\n好 人"));
    QCOMPARE(edit.pairedCharacterAt(n), character);
    QCOMPARE(edit.pairedText(), QStringLiteral("好 人"));
}

void TestLyricEdit::mappingFollowsEdits()
{
    LyricEdit edit;
    edit.setPlainText(MappingText);
    QCOMPARE(edit.pairedCharacterAt(4), QStringLiteral("天"));
    QTextCursor cursor(edit.document());
    cursor.setPosition(5);
    cursor.insertText(QStringLiteral("新"));
    QCOMPARE(edit.pairedCharacterAt(1), QStringLiteral("新"));
    QCOMPARE(edit.scoreLineAt(17), 5);
    cursor.setPosition(10); // start of "=念白"
    cursor.deleteChar();    // the line becomes sung
    QCOMPARE(edit.pairedText(), QStringLiteral("新好 人念白天地"));
    edit.document()->undo();
    QCOMPARE(edit.pairedText(), QStringLiteral("新好 人天地"));
    edit.setPlainText(QStringLiteral("月"));
    QCOMPARE(edit.pairedText(), QStringLiteral("月"));
    QCOMPARE(edit.positionAfterPaired(1), 1);
}

void TestLyricEdit::highlightCharacterBefore_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::newRow("0: first character") << 0 << 0 << 1;
    QTest::newRow("negative: first character") << -4 << 0 << 1;
    QTest::newRow("1") << 1 << 0 << 1;
    QTest::newRow("middle") << 7 << 6 << 7;
    QTest::newRow("end") << 8 << 7 << 8;
}

void TestLyricEdit::highlightCharacterBefore()
{
    QFETCH(int, position);
    QFETCH(int, start);
    QFETCH(int, end);
    LyricEdit edit;
    edit.setPlainText(QStringLiteral("# 标题\n好 人"));
    edit.highlightLineAt(2); // replaced, not added to
    edit.highlightCharacterBefore(position);
    const auto selections = edit.extraSelections();
    QCOMPARE(selections.size(), 1);
    QCOMPARE(selections.first().cursor.selectionStart(), start);
    QCOMPARE(selections.first().cursor.selectionEnd(), end);
    QCOMPARE(selections.first().format.background().color(), QColor(0, 100, 100, 60));
    QVERIFY(!selections.first().format.property(QTextFormat::FullWidthSelection).toBool());
}

void TestLyricEdit::highlightLineAt()
{
    LyricEdit edit;
    edit.setPlainText(QStringLiteral("# 标题\n好 人"));
    edit.highlightCharacterBefore(3);
    edit.highlightLineAt(6);
    const auto selections = edit.extraSelections();
    QCOMPARE(selections.size(), 1);
    QCOMPARE(selections.first().cursor.position(), 6);
    QVERIFY(!selections.first().cursor.hasSelection());
    QCOMPARE(selections.first().format.background().color(), QColor(0, 100, 100, 60));
    QVERIFY(selections.first().format.property(QTextFormat::FullWidthSelection).toBool());
}

// Each row is a sequence of calls ('n' findNext, 'p' findPrevious) from a
// given cursor position, with the result and cursor position after each.
void TestLyricEdit::playingShowsInsideSelection_data()
{
    QTest::addColumn<bool>("fullWidth");
    QTest::newRow("character") << false;
    QTest::newRow("whole row") << true;
}

// Looping a selection plays inside it: the played character must show
// through the selection (the base class draws the selection over tints).
void TestLyricEdit::playingShowsInsideSelection()
{
    QFETCH(bool, fullWidth);
    LyricEdit edit;
    edit.resize(400, 200);
    edit.setPlainText(QStringLiteral("好人\n们天"));
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QTextCursor selection(edit.document());
    selection.setPosition(4, QTextCursor::KeepAnchor);
    edit.setTextCursor(selection);
    QTextCursor played(edit.document());
    played.setPosition(1);
    played.setPosition(2, QTextCursor::KeepAnchor);
    edit.showPlaying(played, fullWidth);

    const QImage image = edit.viewport()->grab().toImage();
    const QColor highlight = edit.palette().color(QPalette::Inactive, QPalette::Highlight);
    const QColor active = edit.palette().color(QPalette::Active, QPalette::Highlight);
    auto selectedPixels = [&](int position) {
        QTextCursor at(edit.document());
        at.setPosition(position);
        const QRect left = edit.cursorRect(at);
        at.setPosition(position + 1);
        const QRect cell(left.topLeft(), QPoint(edit.cursorRect(at).left() - 1, left.bottom()));
        int n = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                n += image.pixelColor(x, y) == highlight || image.pixelColor(x, y) == active;
        return n;
    };
    QVERIFY(selectedPixels(3) > 0); // selected and not played
    QCOMPARE(selectedPixels(1), 0);
}

void TestLyricEdit::find_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QList<int>>("expected"); // current, count, cursor per call

    // Matches, case-insensitive: [0,3) [5,8) [10,13).
    const QString text = QStringLiteral("abc xabc yABC z");
    QTest::newRow("next from start, wraps")
        << text << QStringLiteral("abc") << 0 << QStringLiteral("nnnn")
        << QList<int>{1, 3, 3, 2, 3, 8, 3, 3, 13, 1, 3, 3};
    QTest::newRow("previous from end, wraps")
        << text << QStringLiteral("abc") << 15 << QStringLiteral("pppp")
        << QList<int>{3, 3, 10, 2, 3, 5, 1, 3, 0, 3, 3, 10};
    QTest::newRow("previous before the first match wraps")
        << QStringLiteral("  abc abc abc") << QStringLiteral("abc") << 1 << QStringLiteral("p")
        << QList<int>{3, 3, 10};
    QTest::newRow("next: match holding the cursor is current")
        << text << QStringLiteral("abc") << 6 << QStringLiteral("n") << QList<int>{2, 3, 8};
    QTest::newRow("previous: match holding the cursor is not current")
        << text << QStringLiteral("abc") << 6 << QStringLiteral("p") << QList<int>{1, 3, 0};
    QTest::newRow("next after the last match wraps")
        << text << QStringLiteral("abc") << 14 << QStringLiteral("n") << QList<int>{1, 3, 3};
    QTest::newRow("back and forth")
        << text << QStringLiteral("abc") << 0 << QStringLiteral("nnp")
        << QList<int>{1, 3, 3, 2, 3, 8, 2, 3, 5};
    QTest::newRow("ideographs over lines")
        << QStringLiteral("好人\n好\n人好人") << QStringLiteral("好") << 0 << QStringLiteral("nnnn")
        << QList<int>{1, 3, 1, 2, 3, 4, 3, 3, 7, 1, 3, 1};
    QTest::newRow("no match")
        << text << QStringLiteral("qq") << 4 << QStringLiteral("np")
        << QList<int>{0, 0, 4, 0, 0, 4};
}

void TestLyricEdit::find()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(int, cursor);
    QFETCH(QString, calls);
    QFETCH(QList<int>, expected);
    LyricEdit edit;
    edit.setPlainText(text);
    QTextCursor c = edit.textCursor();
    c.setPosition(cursor);
    edit.setTextCursor(c);
    for (int i = 0; i < calls.size(); ++i) {
        const LyricEdit::FindResult result = calls.at(i) == QLatin1Char('n')
            ? edit.findNext(search)
            : edit.findPrevious(search);
        const QByteArray step = "call " + QByteArray::number(i);
        QVERIFY2(result.current == expected.at(3 * i), step);
        QVERIFY2(result.count == expected.at(3 * i + 1), step);
        QVERIFY2(edit.textCursor().position() == expected.at(3 * i + 2), step);
        QVERIFY2(!edit.textCursor().hasSelection(), step);

        // One orange selection on the current match, yellow on the others.
        const auto selections = edit.extraSelections();
        QCOMPARE(selections.size(), result.count);
        int orange = 0;
        for (const auto &s : selections) {
            QCOMPARE(s.cursor.selectedText().compare(search, Qt::CaseInsensitive), 0);
            const QColor color = s.format.background().color();
            if (color == QColor(255, 150, 50)) {
                ++orange;
                const int at = calls.at(i) == QLatin1Char('n') ? s.cursor.selectionEnd()
                                                               : s.cursor.selectionStart();
                QCOMPARE(at, edit.textCursor().position());
            } else {
                QCOMPARE(color, QColor(255, 255, 0));
            }
        }
        QCOMPARE(orange, result.count > 0 ? 1 : 0);
    }
}

void TestLyricEdit::findWithoutMatchClearsHighlighting()
{
    LyricEdit edit;
    edit.setPlainText(QStringLiteral("好人好"));
    QCOMPARE(edit.findNext(QStringLiteral("好")), (LyricEdit::FindResult{1, 2}));
    QCOMPARE(edit.extraSelections().size(), 2);
    const int before = edit.textCursor().position();
    QCOMPARE(edit.findPrevious(QStringLiteral("天")), (LyricEdit::FindResult{0, 0}));
    QVERIFY(edit.extraSelections().isEmpty());
    QCOMPARE(edit.textCursor().position(), before);
}

void TestLyricEdit::appearanceFollowsConfig()
{
    EditorConfig *config = EditorConfig::instance();
    const QColor oldError = config->errorColor();
    const QColor oldBg = config->lyricBgColor();
    config->setErrorColor(QColor(0x12, 0x34, 0x56));
    config->setLyricBgColor(QColor(0xfe, 0xdc, 0xba));

    LyricEdit edit;
    // Applied on the event loop, after construction.
    QTRY_COMPARE(edit.palette().color(QPalette::Active, QPalette::Text), QColor(0x12, 0x34, 0x56));
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        QCOMPARE(edit.palette().color(group, QPalette::Text), QColor(0x12, 0x34, 0x56));
        QCOMPARE(edit.palette().color(group, QPalette::Base), QColor(0xfe, 0xdc, 0xba));
    }
    QCOMPARE(edit.font().family(), config->lyricFont().family());
    QCOMPARE(edit.font().pointSize(), config->lyricFontSize());

    config->setErrorColor(QColor(0xaa, 0x00, 0x11));
    config->setLyricFontSize(config->lyricFontSize() + 3);
    config->save();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(edit.palette().color(group, QPalette::Text), QColor(0xaa, 0x00, 0x11));
    QCOMPARE(edit.font().pointSize(), config->lyricFontSize());

    config->setErrorColor(oldError);
    config->setLyricBgColor(oldBg);
    config->setLyricFontSize(config->lyricFontSize() - 3);
    config->save();
}

void TestLyricEdit::hasHighlighter()
{
    LyricEdit edit;
    QVERIFY(edit.document()->findChild<LyricHighlighter *>());
}

// A long text is coloured where the pane shows it, wherever it scrolls.
void TestLyricEdit::coloursTheLinesItShows()
{
    LyricEdit edit;
    edit.resize(300, 200);
    edit.show();
    QStringList lines;
    for (int i = 0; i < LyricHighlighter::ImmediateLines * 3; ++i)
        lines << QStringLiteral("好花");
    edit.setPlainText(lines.join(QLatin1Char('\n')));
    const QTextDocument *document = edit.document();
    const auto formatted = [document](int line) {
        return !LyricHighlighter::isPending(document->findBlockByNumber(line))
            && !document->findBlockByNumber(line).layout()->formats().isEmpty();
    };
    QTRY_VERIFY(formatted(0));
    QVERIFY(!formatted(document->blockCount() - 1));
    edit.moveCursor(QTextCursor::End);
    QTRY_VERIFY(formatted(document->blockCount() - 1));
}

int main(int argc, char **argv)
{
    // Declared before the application so that the settings file's folder
    // outlives the config's final save at exit.
    TestEnvironment env;
    QApplication app(argc, argv);
    initTestApplication();
    TestLyricEdit test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_lyricedit.moc"
