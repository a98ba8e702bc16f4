// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ui/ScoreEdit.h"

#include "document/GongcheSymbols.h"
#include "document/PairedDocument.h"
#include "editor/EditorConfig.h"
#include "editor/ui/LyricEdit.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QTextBlock>
#include <QtTest>

class TestScoreEdit : public QObject
{
    Q_OBJECT

private slots:
    void contextBeatMark_data();
    void contextBeatMark();
    void suggestBeatMarksUsesTextBeforeCursor_data();
    void suggestBeatMarksUsesTextBeforeCursor();

    void insertEmptyLines_data();
    void insertEmptyLines();
    void removeLines_data();
    void removeLines();

    void gutterLabels();
    void gutterWithoutLyricPane();
    void gutterFollowsItsDocument();
    void gutterPaintsOnlyPairedLines();

    void highlightLineAt();
    void inputMethodHintsAndFocusOut();
    void appearanceFollowsConfig();
};

namespace {

// Marks and other symbols by short names, so rows read as sequences.
QString seq(const QString &names)
{
    static const QHash<QString, char32_t> codes = {
        {QStringLiteral("TB"), Gongche::TouBan},      {QStringLiteral("XY"), Gongche::XiaoYan},
        {QStringLiteral("ZY"), Gongche::ZhongYan},    {QStringLiteral("ZB"), Gongche::ZengBan},
        {QStringLiteral("YXY"), Gongche::YaoXiaoYan}, {QStringLiteral("YZY"), Gongche::YaoZhongYan},
        {QStringLiteral("YB"), Gongche::YaoBan},      {QStringLiteral("YZB"), Gongche::YaoZengBan},
        {QStringLiteral("DQ"), Gongche::DieQiang},    {QStringLiteral("DB"), Gongche::DiBan},
        {QStringLiteral("P"), Gongche::PitchBlockStart},
        {QStringLiteral("Q"), Gongche::PitchBlockStart + 37},
    };
    QString text;
    for (const QString &name : names.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (name == QLatin1String("/"))
            text += QLatin1Char('\n');
        else if (codes.contains(name))
            text += Gongche::toString(codes.value(name));
        else
            text += name; // plain text, taken as is
    }
    return text;
}

QString mark(const QString &name)
{
    return seq(name);
}

} // namespace

void TestScoreEdit::contextBeatMark_data()
{
    QTest::addColumn<QString>("text"); // oldest first
    QTest::addColumn<QString>("expected");
    QTest::newRow("0 marks") << QString() << mark("TB");
    QTest::newRow("0 marks, other symbols") << seq("P Q DQ DB P / Q") << mark("TB");
    QTest::newRow("1 mark") << seq("P ZY Q") << mark("ZY");
    QTest::newRow("2 marks: second") << seq("P TB Q / P ZY Q") << mark("TB");
    QTest::newRow("3 marks: second") << seq("XY P ZY / P YB") << mark("ZY");
    QTest::newRow("4 marks: fourth") << seq("TB P XY Q ZY / P XY") << mark("TB");
    QTest::newRow("7 marks: fourth") << seq("TB XY P ZY YXY / YZY Q YB XY") << mark("YXY");
    QTest::newRow("8 marks, no zeng: fourth")
        << seq("TB XY ZY P YXY YZY / YB XY Q ZY") << mark("YZY");
    QTest::newRow("8 marks with zeng: eighth")
        << seq("TB ZB P ZY XY / YB XY Q ZY XY") << mark("TB");
    QTest::newRow("8 marks with yao zeng: eighth")
        << seq("YB YZB P ZY XY / TB XY Q ZY XY") << mark("YB");
    QTest::newRow("9 marks, seventh most recent is zeng: eighth")
        << seq("YB TB ZB ZY P XY YB / XY ZY Q XY") << mark("TB");
    QTest::newRow("9 marks, zeng only ninth: fourth")
        << seq("ZB TB XY ZY P XY YB / XY ZY Q XY") << mark("YB");
    QTest::newRow("9 marks, no zeng: fourth")
        << seq("YXY TB XY ZY XY YB / XY ZY XY") << mark("YB");
    QTest::newRow("bottom beat is not a context mark")
        << seq("TB DB ZY") << mark("TB");
    QTest::newRow("ideographs and Latin between")
        << seq("ZY 好 a XY 1") << mark("ZY");
    QTest::newRow("stray surrogates are single steps")
        << (seq("XY") + QChar(0xDC00) + seq("ZY") + QChar(0xDB80)) << mark("XY");
}

void TestScoreEdit::contextBeatMark()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ScoreEdit::contextBeatMark(text), expected);
}

void TestScoreEdit::suggestBeatMarksUsesTextBeforeCursor_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("symbolsIn");
    QTest::addColumn<QString>("expected");
    // Line 0: TB P XY   line 1: ZY P   line 2: XY ZB P   line 3: (empty)
    QTest::newRow("document start") << 0 << 0 << mark("TB");
    QTest::newRow("after first mark") << 0 << 1 << mark("TB");
    QTest::newRow("end of line 0") << 0 << 3 << mark("TB");
    QTest::newRow("line 1 after ZY") << 1 << 1 << mark("XY");
    QTest::newRow("line 2 middle") << 2 << 1 << mark("TB");
    QTest::newRow("empty last line: fourth of five") << 3 << 0 << mark("XY");
}

void TestScoreEdit::suggestBeatMarksUsesTextBeforeCursor()
{
    QFETCH(int, line);
    QFETCH(int, symbolsIn);
    QFETCH(QString, expected);
    ScoreEdit edit;
    edit.setPlainText(seq("TB P XY / ZY P / XY ZB P /"));
    QTextCursor cursor(edit.document()->findBlockByNumber(line));
    cursor.setPosition(cursor.position() + 2 * symbolsIn);
    edit.setTextCursor(cursor);
    QSignalSpy spy(&edit, &ScoreEdit::beatMarkSuggested);
    edit.suggestBeatMarks();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.first().first().toString(), expected);
    QCOMPARE(expected,
             ScoreEdit::contextBeatMark(edit.toPlainText().left(cursor.position())));
}

void TestScoreEdit::insertEmptyLines_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("after");
    QTest::newRow("k=0 on one line") << QStringLiteral("A") << 0 << 2 << QStringLiteral("\n\nA");
    QTest::newRow("k=0") << QStringLiteral("A\nB\nC") << 0 << 1 << QStringLiteral("\nA\nB\nC");
    QTest::newRow("negative k as 0") << QStringLiteral("A\nB\nC") << -2 << 1
                                     << QStringLiteral("\nA\nB\nC");
    QTest::newRow("middle") << QStringLiteral("A\nB\nC") << 1 << 1 << QStringLiteral("A\n\nB\nC");
    QTest::newRow("before the last") << QStringLiteral("A\nB\nC") << 2 << 3
                                     << QStringLiteral("A\nB\n\n\n\nC");
    QTest::newRow("k = line count: appends") << QStringLiteral("A\nB\nC") << 3 << 2
                                             << QStringLiteral("A\nB\nC\n\n");
    QTest::newRow("past the end: appends") << QStringLiteral("A\nB\nC") << 7 << 1
                                           << QStringLiteral("A\nB\nC\n");
    QTest::newRow("empty document") << QString() << 0 << 1 << QStringLiteral("\n");
}

void TestScoreEdit::insertEmptyLines()
{
    QFETCH(QString, before);
    QFETCH(int, k);
    QFETCH(int, n);
    QFETCH(QString, after);
    ScoreEdit edit;
    edit.setPlainText(before);
    QTextDocument *doc = edit.document();
    QVERIFY(!doc->isUndoAvailable());
    edit.insertEmptyLines(k, n);
    QCOMPARE(edit.toPlainText(), after);
    // One undo step takes it all back, and there was only one.
    doc->undo();
    QCOMPARE(edit.toPlainText(), before);
    QVERIFY(!doc->isUndoAvailable());
    doc->redo();
    QCOMPARE(edit.toPlainText(), after);
    QVERIFY(!doc->isRedoAvailable());
    // A second call is a step of its own, not merged into the first.
    edit.insertEmptyLines(k, n);
    doc->undo();
    QCOMPARE(edit.toPlainText(), after);
    doc->undo();
    QCOMPARE(edit.toPlainText(), before);
}

void TestScoreEdit::removeLines_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("after");
    const QString abc = QStringLiteral("A\nB\nC");
    QTest::newRow("k=0, n=1") << abc << 0 << 1 << QStringLiteral("B\nC");
    QTest::newRow("k=0, two") << abc << 0 << 2 << QStringLiteral("C");
    QTest::newRow("k=0, all: one empty line") << abc << 0 << 3 << QString();
    QTest::newRow("k=0, more than all") << abc << 0 << 10 << QString();
    QTest::newRow("negative k as 0") << abc << -1 << 1 << QStringLiteral("B\nC");
    QTest::newRow("middle") << abc << 1 << 1 << QStringLiteral("A\nC");
    QTest::newRow("middle, more than there are") << abc << 1 << 5 << QStringLiteral("A");
    QTest::newRow("last line") << abc << 2 << 1 << QStringLiteral("A\nB");
    QTest::newRow("k = line count: nothing") << abc << 3 << 1 << abc;
    QTest::newRow("past the end: nothing") << abc << 5 << 2 << abc;
    QTest::newRow("n = 0: nothing") << abc << 1 << 0 << abc;
    QTest::newRow("only line") << QStringLiteral("A") << 0 << 1 << QString();
    QTest::newRow("empty lines") << QStringLiteral("\n\n") << 1 << 1 << QStringLiteral("\n");
}

void TestScoreEdit::removeLines()
{
    QFETCH(QString, before);
    QFETCH(int, k);
    QFETCH(int, n);
    QFETCH(QString, after);
    ScoreEdit edit;
    edit.setPlainText(before);
    QTextDocument *doc = edit.document();
    edit.removeLines(k, n);
    QCOMPARE(edit.toPlainText(), after);
    if (after == before) {
        QVERIFY(!doc->isUndoAvailable()); // no empty undo step either
        return;
    }
    doc->undo();
    QCOMPARE(edit.toPlainText(), before);
    QVERIFY(!doc->isUndoAvailable());
    doc->redo();
    QCOMPARE(edit.toPlainText(), after);
    // Not merged with an earlier edit of the score text either.
    edit.setPlainText(before);
    QTextCursor typing(doc);
    typing.movePosition(QTextCursor::End);
    typing.insertText(QStringLiteral("x"));
    const QString typed = edit.toPlainText();
    edit.removeLines(k, n);
    doc->undo();
    QCOMPARE(edit.toPlainText(), typed);
}

void TestScoreEdit::gutterLabels()
{
    QWidget editor;
    PairedDocument document;
    auto *lyric = new LyricEdit(&editor);
    auto *score = new ScoreEdit(&editor);
    lyric->setPairedDocument(&document);
    score->setPairedDocument(&document);
    lyric->setPlainText(QStringLiteral("# 标题\n好 人\n=念白\n天地，"));
    // Five paired characters, five score lines and the trailing one.
    score->setPlainText(seq("P / Q / P / Q / P /"));
    QCOMPARE(score->pairedDocument(), &document);
    QCOMPARE(score->document(), document.scoreDocument());
    QCOMPARE(lyric->document(), document.lyricDocument());
    const QStringList expected = {QStringLiteral("好"), QStringLiteral(" "), QStringLiteral("人"),
                                  QStringLiteral("天"), QStringLiteral("地"), QString()};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(score->gutterLabel(i), expected.at(i));
    QCOMPARE(score->gutterLabel(-1), QString());
    QCOMPARE(score->gutterLabel(99), QString());

    // A new character in front: every label moves down with its line.
    QTextCursor cursor(lyric->document());
    cursor.setPosition(5);
    cursor.insertText(QStringLiteral("新"));
    score->insertEmptyLines(0, 1);
    QCOMPARE(score->gutterLabel(0), QStringLiteral("新"));
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(score->gutterLabel(i + 1), expected.at(i));
}

void TestScoreEdit::gutterWithoutLyricPane()
{
    ScoreEdit orphan;
    orphan.setPlainText(QStringLiteral("a\nb"));
    QCOMPARE(orphan.pairedDocument(), nullptr);
    QCOMPARE(orphan.gutterLabel(0), QString());
    orphan.resize(200, 200);
    orphan.lineNumberArea()->grab(); // paints without a lyric text

    // A document given later is used; one that goes away is forgotten.
    QWidget parent;
    auto *score = new ScoreEdit(&parent);
    auto *document = new PairedDocument;
    score->setPairedDocument(document);
    QCOMPARE(score->gutterLabel(0), QString());
    document->lyricDocument()->setPlainText(QStringLiteral("好"));
    QCOMPARE(score->gutterLabel(0), QStringLiteral("好"));
    score->setPairedDocument(nullptr);
    QCOMPARE(score->gutterLabel(0), QString());
    score->setPairedDocument(document);
    delete document;
    QCOMPARE(score->gutterLabel(0), QString());
    score->setPlainText(QStringLiteral("c")); // still a text to show
    parent.resize(200, 200);
    score->lineNumberArea()->grab();
}

void TestScoreEdit::gutterFollowsItsDocument()
{
    PairedDocument first;
    PairedDocument second;
    QWidget parent;
    first.lyricDocument()->setPlainText(QStringLiteral("甲"));
    second.lyricDocument()->setPlainText(QStringLiteral("乙"));
    auto *score = new ScoreEdit(&parent);
    score->setPairedDocument(&first);
    QCOMPARE(score->gutterLabel(0), QStringLiteral("甲"));
    score->setPairedDocument(&second);
    QCOMPARE(score->gutterLabel(0), QStringLiteral("乙"));
    QCOMPARE(score->document(), second.scoreDocument());
    // A sibling lyric pane of another text does not count.
    auto *lyric = new LyricEdit(&parent);
    lyric->setPlainText(QStringLiteral("丙"));
    QCOMPARE(score->gutterLabel(0), QStringLiteral("乙"));
}

void TestScoreEdit::gutterPaintsOnlyPairedLines()
{
    QWidget editor;
    PairedDocument document;
    auto *layout = new QHBoxLayout(&editor);
    auto *lyric = new LyricEdit(&editor);
    auto *score = new ScoreEdit(&editor);
    lyric->setPairedDocument(&document);
    score->setPairedDocument(&document);
    layout->addWidget(lyric);
    layout->addWidget(score);
    lyric->setPlainText(QStringLiteral("# 标题\n好人"));
    score->setPlainText(seq("P / Q / /"));
    editor.resize(600, 400);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCoreApplication::processEvents();

    const QImage image = score->lineNumberArea()->grab().toImage();
    const QColor bg = EditorConfig::instance()->scoreLineNumberBgColor();
    auto rowIsBlank = [&](int line) {
        const QTextBlock block = score->document()->findBlockByNumber(line);
        // The gutter and the viewport share their top edge.
        const QRect r = score->cursorRect(QTextCursor(block));
        for (int y = int(r.top()) + 1; y < int(r.bottom()) - 1 && y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != bg)
                    return false;
        return true;
    };
    QVERIFY(!rowIsBlank(0));
    QVERIFY(!rowIsBlank(1));
    QVERIFY(rowIsBlank(2)); // the trailing line belongs to no character
    QVERIFY(rowIsBlank(3));
}

void TestScoreEdit::highlightLineAt()
{
    ScoreEdit edit;
    edit.setPlainText(seq("P / Q"));
    edit.highlightLineAt(3);
    const auto selections = edit.extraSelections();
    QCOMPARE(selections.size(), 1);
    QCOMPARE(selections.first().cursor.position(), 3);
    QCOMPARE(selections.first().format.background().color(), QColor(0, 100, 100, 60));
    QVERIFY(selections.first().format.property(QTextFormat::FullWidthSelection).toBool());
    edit.highlightLineAt(-1);
    QCOMPARE(edit.extraSelections().size(), 1);
    QCOMPARE(edit.extraSelections().first().cursor.position(), 0);
}

void TestScoreEdit::inputMethodHintsAndFocusOut()
{
    ScoreEdit edit;
    QCOMPARE(int(edit.inputMethodHints()), 0x41);
    QSignalSpy spy(&edit, &ScoreEdit::focusLost);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&edit, &out);
    QCOMPARE(spy.size(), 1);
}

void TestScoreEdit::appearanceFollowsConfig()
{
    EditorConfig *config = EditorConfig::instance();
    const QColor oldColor = config->scoreColor();
    const QColor oldBg = config->scoreBgColor();
    config->setScoreColor(QColor(0x01, 0x02, 0x03));
    config->setScoreBgColor(QColor(0xf0, 0xf1, 0xf2));
    ScoreEdit edit;
    QTRY_COMPARE(edit.palette().color(QPalette::Active, QPalette::Text), QColor(0x01, 0x02, 0x03));
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        QCOMPARE(edit.palette().color(group, QPalette::Text), QColor(0x01, 0x02, 0x03));
        QCOMPARE(edit.palette().color(group, QPalette::Base), QColor(0xf0, 0xf1, 0xf2));
    }
    QCOMPARE(edit.font().family(), config->scoreFont().family());
    QCOMPARE(edit.font().pointSize(), config->scoreFontSize());

    config->setScoreColor(QColor(0x77, 0x00, 0x00));
    config->save();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(edit.palette().color(group, QPalette::Text), QColor(0x77, 0x00, 0x00));

    config->setScoreColor(oldColor);
    config->setScoreBgColor(oldBg);
    config->save();
}

int main(int argc, char **argv)
{
    // Declared before the application so that the settings file's folder
    // outlives the config's final save at exit.
    TestEnvironment env;
    QApplication app(argc, argv);
    initTestApplication();
    TestScoreEdit test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_scoreedit.moc"
