// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/EditCommands.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "editor/EditorConfig.h"
#include "input/ui/InputMethod.h"
#include "ui_KelvoEdit.h"

#include "KelvoEditTestUtil.h"
#include "support/TestSupport.h"

#include <QClipboard>
#include <QScreen>
#include <QInputMethodEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>

using namespace KelvoEditTest;

class TestKelvoEdit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void construction();
    void typingRepaintsWhatChanged();
    void lyricKeys_data();
    void lyricKeys();
    void firstIdeographInsertsScoreLineInFront();
    void hashAtLineStartRemovesAndRestoresNotation();
    void selectionReplacedByTypingIsTwoSteps();
    void inputMethodCommitInLyricPane();
    void keysThatWouldBypassTheStack();

    void templates_data();
    void templates();

    void scoreKeys_data();
    void scoreKeys();
    void scoreLettersGoToInputMethod();
    void scoreSpaceOpensSuggestions();
    void scoreCompositionKeys();

    void lyricToScoreSync_data();
    void lyricToScoreSync();
    void scoreToLyricSync_data();
    void scoreToLyricSync();
    void selectionSyncBothWays();
    void textReplacedUnderSelection_data();
    void textReplacedUnderSelection();
    void undoRedoOfScoreDeleteKeepsPanesInStep_data();
    void undoRedoOfScoreDeleteKeepsPanesInStep();

    void modifiedFlag();
    void appearanceChangeKeepsDocumentUnmodified();
    void undoRedoSignalsAndActions();
    void contextMenu_data();
    void contextMenu();
    void textAreaMenuIsTheEditorsOwn();
    void layoutItemsOnePerLine();

private:
    KelvoEdit *edit = nullptr;
};

void TestKelvoEdit::init()
{
    edit = new KelvoEdit;
    showAndFocus(*edit, edit->lyricEdit());
}

void TestKelvoEdit::cleanup()
{
    if (InputMethod *im = InputMethod::existingInstance())
        im->reset();
    delete edit;
    edit = nullptr;
}

// The panes repaint only the rows a keystroke changes and move the score
// rows below a new line instead of painting them again: what the window
// shows after typing and deleting is what painting it afresh shows.
void TestKelvoEdit::typingRepaintsWhatChanged()
{
    QStringList lyric, score;
    for (int i = 0; i < 40; ++i) {
        lyric << (i % 5 == 0 ? QStringLiteral("# 标题") : QStringLiteral("好花，月圆"));
        if (i % 5)
            score << sym(1) + sym(2) << sym(3) << QString() << sym(4) << sym(5) + sym(6);
    }
    setTexts(*edit, lyric.join('\n'), score.join('\n'));
    showAndFocus(*edit, edit->lyricEdit());
    setCursor(edit->lyricEdit(), edit->lyricEdit()->document()->findBlockByNumber(3).position() + 2);
    QCoreApplication::processEvents();
    const auto shownMatchesFresh = [this] {
        QCoreApplication::processEvents();
        const QImage shown = edit->screen()->grabWindow(edit->winId()).toImage();
        const QImage fresh = edit->grab().toImage();
        return shown.convertToFormat(QImage::Format_RGB32) == fresh.convertToFormat(QImage::Format_RGB32);
    };
    // The long one wraps the line onto a second row, moving the rows below.
    for (const QString &step : {QStringLiteral("春"), QStringLiteral("，"), QStringLiteral("{BS}"),
                                QStringLiteral("{BS}"), QStringLiteral("{RET}"),
                                QStringLiteral("春花秋月何时了往事知多少小楼昨夜又东风故国不堪回首月明中"
                                               "雕栏玉砌应犹在只是朱颜改问君能有几多愁恰似一江春水向东流")}) {
        runStep(edit->lyricEdit(), step);
        QVERIFY2(shownMatchesFresh(), qPrintable(step));
    }
}

void TestKelvoEdit::construction()
{
    QCOMPARE(edit->objectName(), QStringLiteral("KelvoEdit"));
    QCOMPARE(edit->windowTitle(), QStringLiteral("Kelvo_Edit"));
    QCOMPARE(edit->document()->filePath(), QStringLiteral("未命名"));
    QCOMPARE(edit->document()->displayName(), QStringLiteral("未命名"));
    QVERIFY(!edit->document()->isModified());
    QCOMPARE(edit->document()->undoStack()->undoLimit(), 200);
    // The panes show the document's texts and pair through it.
    QCOMPARE(edit->lyricEdit()->document(), edit->document()->lyricDocument());
    QCOMPARE(edit->scoreEdit()->document(), edit->document()->scoreDocument());
    QCOMPARE(edit->scoreEdit()->pairedDocument(), edit->document());
    QCOMPARE(&edit->lyricEdit()->pairingIndex(), &edit->document()->pairing());
    QCOMPARE(edit->document()->undoStack(), edit->document()->undoStack());
    QCOMPARE(edit->navigationKeys(),
             QList<int>({Qt::Key_Comma, Qt::Key_Period, Qt::Key_Escape, Qt::Key_Backspace,
                         Qt::Key_Delete, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}));
    Ui::KelvoEdit *ui = edit->form();
    QVERIFY(!ui->undoAction->isEnabled());
    QVERIFY(!ui->redoAction->isEnabled());
    QCOMPARE(ui->undoAction->text(), QStringLiteral("撤销"));
    QCOMPARE(ui->undoAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
    QCOMPARE(ui->redoAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    QCOMPARE(ui->pasteAction->text(), QStringLiteral("粘贴"));
    QVERIFY(!ui->cutAction->icon().isNull());
    QCOMPARE(ui->horizontalLayout->stretch(0), ui->horizontalLayout->stretch(1));
    for (QPlainTextEdit *pane : {static_cast<QPlainTextEdit *>(edit->lyricEdit()),
                                 static_cast<QPlainTextEdit *>(edit->scoreEdit())}) {
        QVERIFY(!pane->acceptDrops());
        QVERIFY(!pane->backgroundVisible());
        QVERIFY(!pane->centerOnScroll());
        QCOMPARE(pane->frameShape(), QFrame::StyledPanel);
        QCOMPARE(pane->frameShadow(), QFrame::Plain);
        QCOMPARE(pane->textInteractionFlags(), Qt::TextEditorInteraction);
        QTRY_COMPARE(pane->palette().color(QPalette::Inactive, QPalette::Highlight), QColor(0x00, 0x78, 0xd7));
        QCOMPARE(pane->palette().color(QPalette::Inactive, QPalette::HighlightedText), QColor(Qt::white));
        QVERIFY(pane->toPlainText().isEmpty());
    }
    // The widgets stay after the form's own deletion order.
    QCOMPARE(edit->lyricEdit(), ui->lyricEdit);
    QCOMPARE(edit->scoreEdit(), ui->scoreEdit);
}

// Score texts use "|" for line breaks. N1 .. N3 stand for notation.
void TestKelvoEdit::lyricKeys_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expectedLyric");
    QTest::addColumn<QString>("expectedScore");
    QTest::addColumn<int>("commands");

    const QString n3 = "N1|N2|N3|";
    QTest::newRow("ideographs") << "" << "" << 0 << QStringList{"好人"} << "好人" << "||" << 2;
    QTest::newRow("spaces are paired") << "" << "" << 0 << QStringList{"好 人"} << "好 人" << "|||" << 3;
    QTest::newRow("ideographic space is not") << "" << "" << 0 << QStringList{"好\u3000人"} << "好\u3000人" << "||" << 3;
    QTest::newRow("full-width comma") << "" << "" << 0 << QStringList{"好，"} << "好，" << "|" << 2;
    QTest::newRow("latin letters and digits") << "" << "" << 0 << QStringList{"ab1"} << "ab1" << "" << 3;
    QTest::newRow("return") << "" << "" << 0 << QStringList{"好", "{RET}", "人"} << "好\n人" << "||" << 3;
    QTest::newRow("keypad enter") << "" << "" << 0 << QStringList{"好", "{ENTER}", "人"} << "好\n人" << "||" << 3;
    QTest::newRow("return splits a line") << "好人们" << n3 << 1 << QStringList{"{RET}"} << "好\n人们" << n3 << 1;
    QTest::newRow("typing in the middle") << "好们" << "N1|N3|" << 1 << QStringList{"人"} << "好人们" << "N1||N3|" << 1;
    QTest::newRow("backspace") << "好人们" << n3 << 3 << QStringList{"{BS}"} << "好人" << "N1|N2|" << 1;
    QTest::newRow("backspace in the middle") << "好人们" << n3 << 2 << QStringList{"{BS}"} << "好们" << "N1|N3|" << 1;
    QTest::newRow("backspace at start") << "好人们" << n3 << 0 << QStringList{"{BS}"} << "好人们" << n3 << 0;
    QTest::newRow("ctrl backspace") << "好人们" << n3 << 2 << QStringList{"{C-BS}"} << "们" << "N3|" << 1;
    QTest::newRow("ctrl shift backspace") << "好人们" << n3 << 2 << QStringList{"{CS-BS}"} << "好们" << "N1|N3|" << 1;
    QTest::newRow("shift backspace") << "好人们" << n3 << 2 << QStringList{"{S-BS}"} << "好们" << "N1|N3|" << 1;
    QTest::newRow("delete") << "好人们" << n3 << 1 << QStringList{"{DEL}"} << "好们" << "N1|N3|" << 1;
    QTest::newRow("delete at end") << "好人们" << n3 << 3 << QStringList{"{DEL}"} << "好人们" << n3 << 0;
    QTest::newRow("ctrl delete") << "好人们" << n3 << 1 << QStringList{"{C-DEL}"} << "好" << "N1|" << 1;
    QTest::newRow("ctrl shift delete") << "好人们" << n3 << 1 << QStringList{"{CS-DEL}"} << "好们" << "N1|N3|" << 1;
    QTest::newRow("backspace joins sung lines") << "好\n人们" << n3 << 2 << QStringList{"{BS}"} << "好人们" << n3 << 1;
    QTest::newRow("backspace joins onto a title")
        << "# 标题\n好人" << "N1|N2|" << 5 << QStringList{"{BS}"} << "# 标题好人" << "" << 1;
    QTest::newRow("delete joins a title with the next line")
        << "# 标题\n好人" << "N1|N2|" << 4 << QStringList{"{DEL}"} << "# 标题好人" << "" << 1;
    QTest::newRow("backspace removes the title mark")
        << "#好人\n们" << "N3|" << 1 << QStringList{"{BS}"} << "好人\n们" << "||N3|" << 1;
    QTest::newRow("hash at the start of a sung line")
        << "好人们" << n3 << 0 << QStringList{"#"} << "#好人们" << "" << 1;
    QTest::newRow("hash in the middle") << "好人们" << n3 << 1 << QStringList{"#"} << "好#人们" << n3 << 1;
    QTest::newRow("selection replaced") << "好人们" << n3 << 1 << QStringList{"{S-RIGHT}", "月"}
                                        << "好月们" << "N1||N3|" << 2;
    QTest::newRow("selection over lines deleted")
        << "好人\n们" << n3 << 1 << QStringList{"{S-RIGHT}", "{S-RIGHT}", "{BS}"} << "好们" << "N1|N3|" << 1;
    QTest::newRow("arrow keys only move") << "好人们" << n3 << 0
                                          << QStringList{"{RIGHT}", "{END}", "{LEFT}", "{HOME}"} << "好人们" << n3 << 0;
}

void TestKelvoEdit::lyricKeys()
{
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    QFETCH(int, position);
    QFETCH(QStringList, steps);
    QFETCH(QString, expectedLyric);
    QFETCH(QString, expectedScore);
    QFETCH(int, commands);

    setTexts(*edit, lyric, QString(score).replace('|', '\n'));
    setCursor(edit->lyricEdit(), position);
    runSteps(edit->lyricEdit(), steps);
    QCOMPARE(edit->lyricEdit()->toPlainText(), expectedLyric);
    QCOMPARE(lines(edit->scoreEdit()), expectedScore);
    QCOMPARE(edit->document()->undoStack()->count(), commands);

    // One undo per command restores both panes; redo brings the edit back.
    while (edit->document()->undoStack()->canUndo())
        edit->document()->undoStack()->undo();
    QCOMPARE(edit->lyricEdit()->toPlainText(), lyric);
    QCOMPARE(lines(edit->scoreEdit()), score);
    while (edit->document()->undoStack()->canRedo())
        edit->document()->undoStack()->redo();
    QCOMPARE(edit->lyricEdit()->toPlainText(), expectedLyric);
    QCOMPARE(lines(edit->scoreEdit()), expectedScore);
}

void TestKelvoEdit::firstIdeographInsertsScoreLineInFront()
{
    typeText(edit->lyricEdit(), QStringLiteral("好"));
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    const auto *command = dynamic_cast<const InsertLyricCommand *>(edit->document()->undoStack()->command(0));
    QVERIFY(command);
    QCOMPARE(command->lyricStepCount(), 1);
    QCOMPARE(command->scoreStepCount(), 1);
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("|"));
    // The score cursor went onto the new line of 好 (line 0), not the trailing one.
    QCOMPARE(edit->scoreEdit()->textCursor().blockNumber(), 0);

    typeText(edit->lyricEdit(), QStringLiteral("，"));
    const auto *comma = dynamic_cast<const InsertLyricCommand *>(edit->document()->undoStack()->command(1));
    QVERIFY(comma);
    QCOMPARE(comma->scoreStepCount(), 0);

    QTest::keyClick(edit->lyricEdit(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(edit->lyricEdit(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QString());
    QCOMPARE(edit->scoreEdit()->toPlainText(), QString());
    QVERIFY(!edit->document()->undoStack()->canUndo());
    QTest::keyClick(edit->lyricEdit(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("|"));
}

void TestKelvoEdit::hashAtLineStartRemovesAndRestoresNotation()
{
    const QString score = sym(1) + sym(40) + "\n" + sym(2) + "\n" + sym(3) + sym(41) + "\n" + sym(4) + "\n";
    setTexts(*edit, QStringLiteral("好人们\n月"), score);
    setCursor(edit->lyricEdit(), 0);
    typeText(edit->lyricEdit(), QStringLiteral("#"));
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("#好人们\n月"));
    QCOMPARE(edit->scoreEdit()->toPlainText(), sym(4) + "\n");
    const auto *command = dynamic_cast<const InsertLyricCommand *>(edit->document()->undoStack()->command(0));
    QVERIFY(command);
    QCOMPARE(command->lyricStepCount(), 1);
    QCOMPARE(command->scoreStepCount(), 1);
    // The gutter now pairs 月 with the first line.
    QCOMPARE(edit->scoreEdit()->gutterLabel(0), QStringLiteral("月"));

    QTest::keyClick(edit->lyricEdit(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人们\n月"));
    QCOMPARE(edit->scoreEdit()->toPlainText(), score);
    QCOMPARE(edit->scoreEdit()->gutterLabel(0), QStringLiteral("好"));
}

void TestKelvoEdit::selectionReplacedByTypingIsTwoSteps()
{
    setTexts(*edit, QStringLiteral("好人们"), QStringLiteral("A\nB\nC\n"));
    setCursor(edit->lyricEdit(), 3, 1);
    typeText(edit->lyricEdit(), QStringLiteral("月"));
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好月"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A||"));
    QCOMPARE(edit->document()->undoStack()->count(), 2);
    QVERIFY(dynamic_cast<const DeleteLyricCommand *>(edit->document()->undoStack()->command(0)));
    QVERIFY(dynamic_cast<const InsertLyricCommand *>(edit->document()->undoStack()->command(1)));
    edit->document()->undoStack()->undo();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|"));
    edit->document()->undoStack()->undo();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人们"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|B|C|"));
}

void TestKelvoEdit::inputMethodCommitInLyricPane()
{
    QInputMethodEvent preedit(QStringLiteral("hao"), {});
    QCoreApplication::sendEvent(edit->lyricEdit(), &preedit);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QString());
    QCOMPARE(edit->document()->undoStack()->count(), 0);

    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("好人"));
    QCoreApplication::sendEvent(edit->lyricEdit(), &commit);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("||"));
    QCOMPARE(edit->document()->undoStack()->count(), 1);
}

// Keys the plain-text editor would otherwise apply to its document on its
// own, leaving the panes' histories out of step with the commands.
void TestKelvoEdit::keysThatWouldBypassTheStack()
{
    setTexts(*edit, QStringLiteral("好人们"), QStringLiteral("A\nB\nC\n"));
    setCursor(edit->lyricEdit(), 1);
    QTest::keyClick(edit->lyricEdit(), Qt::Key_K, Qt::ControlModifier); // delete to line end on X11
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人们"));
    QTest::keyClick(edit->lyricEdit(), Qt::Key_Tab);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好\t人们"));
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    QTest::keyClick(edit->lyricEdit(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人们"));
    QTest::keyClick(edit->lyricEdit(), Qt::Key_Y, Qt::ControlModifier); // the other redo key
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好\t人们"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|B|C|"));

    // Middle-button paste of the selection clipboard into the text area.
    QGuiApplication::clipboard()->setText(QStringLiteral("好"), QClipboard::Selection);
    QTest::mouseClick(edit->lyricEdit()->viewport(), Qt::MiddleButton, {}, QPoint(40, 8));
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好\t人们"));
}

void TestKelvoEdit::templates_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("position"); // cursor position afterwards

    const struct
    {
        const char *op;
        QString text;
        QString selected;
        int back; // characters from the end of the text to the cursor
    } templates[] = {
        {"insertTitle", QStringLiteral("# 标题"), QStringLiteral("标题"), 2},
        {"insertQuPai", QStringLiteral("【曲牌名】(调)"), QStringLiteral("曲牌名"), 7},
        {"insertLianBai", QStringLiteral("= "), QString(), 0},
        {"insertJiaBai", QStringLiteral("> "), QString(), 0},
        {"insertComment", QStringLiteral("; "), QString(), 0},
        {"insertLineBreak", QStringLiteral("@换行符"), QString(), 0},
        {"insertPageBreak", QStringLiteral("@分页符"), QString(), 0},
    };
    for (const auto &t : templates) {
        QTest::addRow("%s on an empty line", t.op)
            << t.op << QString() << t.text << t.selected << int(t.text.size()) - t.back;
        const QString after = QStringLiteral("好人\n") + t.text;
        QTest::addRow("%s on a sung line", t.op)
            << t.op << QStringLiteral("好人") << after << t.selected << int(after.size()) - t.back;
    }
}

void TestKelvoEdit::templates()
{
    QFETCH(QString, operation);
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QFETCH(QString, selected);
    QFETCH(int, position);

    setTexts(*edit, line, line.isEmpty() ? QString() : QStringLiteral("A\nB\n"));
    setCursor(edit->lyricEdit(), line.isEmpty() ? 0 : 1); // inside the line
    edit->scoreEdit()->setFocus();
    QTRY_VERIFY(edit->scoreEdit()->hasFocus());
    if (operation == "insertTitle")
        edit->insertTitle();
    else if (operation == "insertQuPai")
        edit->insertQuPai();
    else if (operation == "insertLianBai")
        edit->insertLianBai();
    else if (operation == "insertJiaBai")
        edit->insertJiaBai();
    else if (operation == "insertComment")
        edit->insertComment();
    else if (operation == "insertLineBreak")
        edit->insertLineBreak();
    else
        edit->insertPageBreak();

    QCOMPARE(edit->lyricEdit()->toPlainText(), expected);
    // Template lines are markup: the score is untouched.
    QCOMPARE(lines(edit->scoreEdit()), line.isEmpty() ? QString() : QStringLiteral("A|B|"));
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    const QTextCursor cursor = edit->lyricEdit()->textCursor();
    QCOMPARE(cursor.selectedText(), selected);
    QCOMPARE(cursor.position(), position);
    QTRY_VERIFY(edit->lyricEdit()->hasFocus());

    if (!selected.isEmpty()) {
        // Typing replaces the placeholder.
        typeText(edit->lyricEdit(), QStringLiteral("牡丹亭"));
        QVERIFY(edit->lyricEdit()->toPlainText().contains(QStringLiteral("牡丹亭")));
        QVERIFY(!edit->lyricEdit()->toPlainText().contains(selected));
        QCOMPARE(lines(edit->scoreEdit()), line.isEmpty() ? QString() : QStringLiteral("A|B|"));
    }
    edit->document()->undoStack()->setIndex(0);
    QCOMPARE(edit->lyricEdit()->toPlainText(), line);
}

// Score texts with "|" for line breaks; positions in the score document.
void TestKelvoEdit::scoreKeys_data()
{
    QTest::addColumn<QString>("score");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("anchor"); // -1: no selection
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expectedScore");
    QTest::addColumn<int>("expectedPosition");
    QTest::addColumn<int>("commands");

    QTest::newRow("return moves to the next line") << "AB|CD|EF|" << 1 << -1 << QStringList{"{RET}"} << "AB|CD|EF|" << 3 << 0;
    QTest::newRow("return on the last line stays") << "AB|CD" << 4 << -1 << QStringList{"{RET}"} << "AB|CD" << 4 << 0;
    QTest::newRow("shift return splits") << "AB|CD|" << 1 << -1 << QStringList{"{S-RET}"} << "A|B|CD|" << 2 << 1;
    QTest::newRow("backspace at line start only moves") << "AB|CD|" << 3 << -1 << QStringList{"{BS}"} << "AB|CD|" << 2 << 0;
    QTest::newRow("backspace removes one symbol") << "AB|CD|" << 5 << -1 << QStringList{"{BS}"} << "AB|C|" << 4 << 1;
    QTest::newRow("ctrl backspace to line start") << "AB|CDE|" << 5 << -1 << QStringList{"{C-BS}"} << "AB|E|" << 3 << 1;
    QTest::newRow("shift backspace joins") << "AB|CD|" << 3 << -1 << QStringList{"{S-BS}"} << "ABCD|" << 2 << 1;
    QTest::newRow("delete at line end only moves") << "AB|CD|" << 2 << -1 << QStringList{"{DEL}"} << "AB|CD|" << 3 << 0;
    QTest::newRow("delete removes one symbol") << "AB|CD|" << 0 << -1 << QStringList{"{DEL}"} << "B|CD|" << 0 << 1;
    QTest::newRow("ctrl delete to line end") << "AB|CDE|" << 4 << -1 << QStringList{"{C-DEL}"} << "AB|C|" << 4 << 1;
    QTest::newRow("shift delete joins") << "AB|CD|" << 2 << -1 << QStringList{"{S-DEL}"} << "ABCD|" << 2 << 1;
    QTest::newRow("delete across three lines keeps three lines")
        << "AB|CD|EF|" << 7 << 1 << QStringList{"{DEL}"} << "A||F|" << 3 << 1;
    QTest::newRow("backward selection keeps its place")
        << "AB|CD|EF|" << 1 << 7 << QStringList{"{BS}"} << "A||F|" << 1 << 1;
    QTest::newRow("shift delete of a selection joins")
        << "AB|CD|EF|" << 7 << 1 << QStringList{"{S-DEL}"} << "AF|" << 1 << 1;
    QTest::newRow("digit while not composing") << "AB|CD|" << 2 << -1 << QStringList{"7"} << "AB7|CD|" << 3 << 1;
    QTest::newRow("punctuation while not composing") << "AB|CD|" << 2 << -1 << QStringList{"-"} << "AB-|CD|" << 3 << 1;
    QTest::newRow("digit replaces a selection over lines")
        << "AB|CD|EF|" << 7 << 1 << QStringList{"7"} << "A7||F|" << 2 << 2;
    QTest::newRow("arrows move") << "AB|CD|" << 0 << -1 << QStringList{"{DOWN}", "{RIGHT}"} << "AB|CD|" << 4 << 0;
}

void TestKelvoEdit::scoreKeys()
{
    QFETCH(QString, score);
    QFETCH(int, position);
    QFETCH(int, anchor);
    QFETCH(QStringList, steps);
    QFETCH(QString, expectedScore);
    QFETCH(int, expectedPosition);
    QFETCH(int, commands);

    const QString lyric = QStringLiteral("好人们");
    setTexts(*edit, lyric, QString(score).replace('|', '\n'));
    showAndFocus(*edit, edit->scoreEdit());
    setCursor(edit->scoreEdit(), position, anchor);
    runSteps(edit->scoreEdit(), steps);
    QCOMPARE(lines(edit->scoreEdit()), expectedScore);
    QCOMPARE(edit->scoreEdit()->textCursor().position(), expectedPosition);
    QCOMPARE(edit->document()->undoStack()->count(), commands);
    QCOMPARE(edit->lyricEdit()->toPlainText(), lyric);

    while (edit->document()->undoStack()->canUndo())
        edit->document()->undoStack()->undo();
    QCOMPARE(lines(edit->scoreEdit()), score);
    while (edit->document()->undoStack()->canRedo())
        edit->document()->undoStack()->redo();
    QCOMPARE(lines(edit->scoreEdit()), expectedScore);
}

void TestKelvoEdit::scoreLettersGoToInputMethod()
{
    setTexts(*edit, QStringLiteral("好人"), QStringLiteral("\n\n"));
    showAndFocus(*edit, edit->scoreEdit());
    InputMethod *im = InputMethod::instance();
    QTest::keyClick(edit->scoreEdit(), 'g');
    QVERIFY(im->isComposing());
    QVERIFY(im->isVisible());
    QCOMPARE(im->target(), edit->scoreEdit());
    QCOMPARE(edit->scoreEdit()->toPlainText(), QStringLiteral("\n\n"));
    QCOMPARE(edit->document()->undoStack()->count(), 0);

    // Shift+letter neither composes nor lands in the text.
    im->reset();
    QTest::keyClick(edit->scoreEdit(), Qt::Key_G, Qt::ShiftModifier);
    QCOMPARE(edit->scoreEdit()->toPlainText(), QStringLiteral("\n\n"));

    QTest::keyClick(edit->scoreEdit(), 'g');
    QTest::keyClick(edit->scoreEdit(), Qt::Key_Space);
    QVERIFY(!im->isVisible());
    const QString first = edit->scoreEdit()->document()->firstBlock().text();
    QVERIFY(!first.isEmpty());
    for (QChar c : first)
        QVERIFY(c.isSurrogate()); // notation symbols only, no letters
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    QVERIFY(dynamic_cast<const InsertScoreCommand *>(edit->document()->undoStack()->command(0)));

    QTest::keyClick(edit->scoreEdit(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(edit->scoreEdit()->toPlainText(), QStringLiteral("\n\n"));
}

void TestKelvoEdit::scoreSpaceOpensSuggestions()
{
    setTexts(*edit, QStringLiteral("好人"), QStringLiteral("\n\n"));
    showAndFocus(*edit, edit->scoreEdit());
    InputMethod *im = InputMethod::instance();
    QSignalSpy suggested(edit->scoreEdit(), &ScoreEdit::beatMarkSuggested);
    QTest::keyClick(edit->scoreEdit(), Qt::Key_Space);
    QCOMPARE(suggested.count(), 1);
    QVERIFY(im->isVisible());
    QCOMPARE(edit->scoreEdit()->toPlainText(), QStringLiteral("\n\n"));
    // A digit picks a suggestion as one undoable insertion.
    QTest::keyClick(edit->scoreEdit(), '1');
    QVERIFY(!im->isVisible());
    QVERIFY(!edit->scoreEdit()->document()->firstBlock().text().isEmpty());
    QCOMPARE(edit->document()->undoStack()->count(), 1);
}

void TestKelvoEdit::scoreCompositionKeys()
{
    setTexts(*edit, QStringLiteral("好人"), QStringLiteral("\n\n"));
    showAndFocus(*edit, edit->scoreEdit());
    InputMethod *im = InputMethod::instance();

    QTest::keyClick(edit->scoreEdit(), 'g');
    // While composing, Backspace edits the composition, not the text.
    QTest::keyClick(edit->scoreEdit(), Qt::Key_Backspace);
    QVERIFY(!im->isVisible());
    QCOMPARE(edit->document()->undoStack()->count(), 0);

    QTest::keyClick(edit->scoreEdit(), 'g');
    QTest::keyClick(edit->scoreEdit(), 'q');
    // Printable keys and arrows are consumed; nothing reaches the text.
    runSteps(edit->scoreEdit(), {"-", "{RIGHT}", "{LEFT}", "{DOWN}", "{UP}"});
    QCOMPARE(edit->scoreEdit()->toPlainText(), QStringLiteral("\n\n"));
    QVERIFY(im->isVisible());
    QTest::keyClick(edit->scoreEdit(), Qt::Key_Return);
    QVERIFY(!im->isVisible());
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    QCOMPARE(edit->scoreEdit()->document()->blockCount(), 3);
    QVERIFY(!edit->scoreEdit()->document()->firstBlock().text().isEmpty());

    // Escape drops a composition without inserting anything.
    QTest::keyClick(edit->scoreEdit(), 'h');
    QTest::keyClick(edit->scoreEdit(), Qt::Key_Escape);
    QVERIFY(!im->isVisible());
    QCOMPARE(edit->document()->undoStack()->count(), 1);
}

void TestKelvoEdit::lyricToScoreSync_data()
{
    QTest::addColumn<int>("lyricPosition");
    QTest::addColumn<int>("scoreLine"); // -1: start of the text
    // Lyric "好人\n# 标题\n们，" with score lines A, BB, C, "".
    QTest::newRow("before the first paired character") << 0 << -1;
    QTest::newRow("after the first") << 1 << 0;
    QTest::newRow("after the second") << 2 << 1;
    QTest::newRow("start of the title") << 3 << 1;
    QTest::newRow("inside the title") << 5 << 1;
    QTest::newRow("start of the last line") << 8 << 1;
    QTest::newRow("after the last paired") << 9 << 2;
    QTest::newRow("after the comma") << 10 << 2;
}

void TestKelvoEdit::lyricToScoreSync()
{
    QFETCH(int, lyricPosition);
    QFETCH(int, scoreLine);
    setTexts(*edit, QStringLiteral("好人\n# 标题\n们，"), QStringLiteral("A\nBB\nC\n"));
    // A click where the cursor already is moves nothing; start elsewhere.
    setCursor(edit->lyricEdit(), lyricPosition == 0 ? 1 : 0);
    setCursor(edit->lyricEdit(), lyricPosition);
    const QTextCursor s = edit->scoreEdit()->textCursor();
    QVERIFY(!s.hasSelection());
    if (scoreLine < 0) {
        QCOMPARE(s.position(), 0);
    } else {
        QCOMPARE(s.blockNumber(), scoreLine);
        QVERIFY(s.atBlockEnd());
    }
    const auto tints = edit->scoreEdit()->extraSelections();
    QCOMPARE(tints.size(), 1);
    QCOMPARE(tints.first().cursor.blockNumber(), std::max(scoreLine, 0));
    QCOMPARE(edit->lyricEdit()->extraSelections().size(), 1);
    QCOMPARE(edit->lyricEdit()->textCursor().position(), lyricPosition); // not moved back
}

void TestKelvoEdit::scoreToLyricSync_data()
{
    QTest::addColumn<int>("scoreLine");
    QTest::addColumn<int>("lyricPosition");
    QTest::newRow("line 0") << 0 << 1;
    QTest::newRow("line 1") << 1 << 2;
    QTest::newRow("line 2 after the title") << 2 << 9;
    QTest::newRow("trailing line") << 3 << 10;
}

void TestKelvoEdit::scoreToLyricSync()
{
    QFETCH(int, scoreLine);
    QFETCH(int, lyricPosition);
    setTexts(*edit, QStringLiteral("好人\n# 标题\n们，"), QStringLiteral("A\nBB\nC\n"));
    showAndFocus(*edit, edit->scoreEdit());
    const QTextBlock block = edit->scoreEdit()->document()->findBlockByNumber(scoreLine);
    setCursor(edit->scoreEdit(), block.position());
    const QTextCursor l = edit->lyricEdit()->textCursor();
    QVERIFY(!l.hasSelection());
    QCOMPARE(l.position(), lyricPosition);
    const auto tints = edit->lyricEdit()->extraSelections();
    QCOMPARE(tints.size(), 1);
    QCOMPARE(tints.first().cursor.selectionEnd(), lyricPosition);
    QCOMPARE(edit->scoreEdit()->textCursor().position(), block.position());
}

void TestKelvoEdit::selectionSyncBothWays()
{
    setTexts(*edit, QStringLiteral("好人\n# 标题\n们，月"), QStringLiteral("A\nBB\nC\nD\n"));
    // Score lines 0 .. 2 (partly) select exactly 好 .. 们 in the lyric pane.
    setCursor(edit->scoreEdit(), 6, 1);
    QTextCursor l = edit->lyricEdit()->textCursor();
    QCOMPARE(l.selectionStart(), 0);
    QCOMPARE(l.selectionEnd(), 9);
    QVERIFY(edit->lyricEdit()->extraSelections().isEmpty());
    // Made backwards: the same lines.
    setCursor(edit->scoreEdit(), 1, 6);
    l = edit->lyricEdit()->textCursor();
    QCOMPARE(l.selectionStart(), 0);
    QCOMPARE(l.selectionEnd(), 9);

    // Lyric 人 .. 们 selects score lines 1 .. 2 whole (selected backwards:
    // only a moved cursor position triggers the synchronisation).
    setCursor(edit->lyricEdit(), 1, 9);
    const QTextCursor s = edit->scoreEdit()->textCursor();
    QCOMPARE(s.selectedText(), QStringLiteral("BB\u2029C"));
    QVERIFY(edit->scoreEdit()->extraSelections().isEmpty());
}

void TestKelvoEdit::textReplacedUnderSelection_data()
{
    QTest::addColumn<bool>("lyricPane"); // the pane with the selection, else the score's
    QTest::addColumn<bool>("replaceLyric");
    QTest::newRow("lyric selected, lyric replaced") << true << true;
    QTest::newRow("lyric selected, score replaced") << true << false;
    QTest::newRow("score selected, score replaced") << false << false;
    QTest::newRow("score selected, lyric replaced") << false << true;
}

// A pane's text replaced while it holds a selection: the selection goes
// while the pane's cursor is briefly null.
void TestKelvoEdit::textReplacedUnderSelection()
{
    QFETCH(bool, lyricPane);
    QFETCH(bool, replaceLyric);
    setTexts(*edit, QStringLiteral("好人们\n月"), QStringLiteral("A\nB\nC\nD\n"));
    if (lyricPane)
        setCursor(edit->lyricEdit(), 3, 1);
    else
        setCursor(edit->scoreEdit(), 5, 1);
    QVERIFY(edit->lyricEdit()->textCursor().hasSelection());
    if (replaceLyric)
        edit->lyricEdit()->setPlainText(QStringLiteral("好"));
    else
        edit->scoreEdit()->setPlainText(QStringLiteral("E\n"));
    // Both panes still edit and follow each other.
    setCursor(edit->lyricEdit(), 1);
    typeText(edit->lyricEdit(), QStringLiteral("人"));
    QVERIFY(edit->lyricEdit()->toPlainText().startsWith(QStringLiteral("好人")));
}

void TestKelvoEdit::undoRedoOfScoreDeleteKeepsPanesInStep_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("anchor"); // -1: no selection
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("moveTo"); // the cursor moved before undo; -1: not moved
    // Score "AB|CD|EF|" beside 好人们.
    QTest::newRow("line break deleted and put back") << 2 << 3 << "{DEL}" << -1;
    QTest::newRow("undo lands on the same number a line up") << 0 << 2 << "{DEL}" << 2;
    QTest::newRow("ctrl delete, cursor moved") << 3 << -1 << "{C-DEL}" << 5;
    QTest::newRow("over three lines") << 7 << 1 << "{DEL}" << -1;
}

void TestKelvoEdit::undoRedoOfScoreDeleteKeepsPanesInStep()
{
    QFETCH(int, position);
    QFETCH(int, anchor);
    QFETCH(QString, key);
    QFETCH(int, moveTo);
    setTexts(*edit, QStringLiteral("好人们"), QStringLiteral("AB\nCD\nEF\n"));
    showAndFocus(*edit, edit->scoreEdit());
    setCursor(edit->scoreEdit(), position, anchor);
    runStep(edit->scoreEdit(), key);
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    if (moveTo >= 0)
        setCursor(edit->scoreEdit(), moveTo);

    // After each history step the lyric cursor and its tint sit on the
    // character paired with the score cursor's line.
    for (const char *step : {"undo", "redo", "undo"}) {
        if (qstrcmp(step, "undo") == 0)
            edit->document()->undoStack()->undo();
        else
            edit->document()->undoStack()->redo();
        const QTextCursor s = edit->scoreEdit()->textCursor();
        QVERIFY(!s.hasSelection());
        const int expected = edit->lyricEdit()->positionAfterPaired(s.blockNumber() + 1);
        QVERIFY2(edit->lyricEdit()->textCursor().position() == expected, step);
        const auto tints = edit->lyricEdit()->extraSelections();
        QCOMPARE(tints.size(), 1);
        QVERIFY2(tints.first().cursor.selectionEnd() == expected, step);
    }
}

void TestKelvoEdit::modifiedFlag()
{
    QSignalSpy spy(edit, &KelvoEdit::modifiedChanged);
    typeText(edit->lyricEdit(), QStringLiteral("好人"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toBool(), true);
    QVERIFY(edit->document()->isModified());
    QCOMPARE(edit->document()->displayName(), QStringLiteral("未命名*"));
    // Undoing back to the start does not clear it.
    edit->document()->undoStack()->setIndex(0);
    QVERIFY(edit->document()->isModified());
    QCOMPARE(spy.count(), 1);

    edit->document()->setModified(false);
    QCOMPARE(spy.count(), 2);
    edit->document()->setFilePath(QStringLiteral("/tmp/somewhere/游园.gcp"));
    QCOMPARE(edit->document()->displayName(), QStringLiteral("游园.gcp"));
    // A score-only edit marks it too.
    showAndFocus(*edit, edit->scoreEdit());
    QTest::keyClick(edit->scoreEdit(), '5');
    QVERIFY(edit->document()->isModified());
    QCOMPARE(edit->document()->displayName(), QStringLiteral("游园.gcp*"));
    QCOMPARE(spy.count(), 3);
}

// Re-highlighting after a settings change re-formats every line; that is
// not an edit of the document.
void TestKelvoEdit::appearanceChangeKeepsDocumentUnmodified()
{
    setTexts(*edit, QStringLiteral("# 游园\n原来姹紫嫣红开遍，"), QStringLiteral("\n\n\n\n\n\n\n"));
    edit->document()->setModified(false);
    QSignalSpy spy(edit, &KelvoEdit::modifiedChanged);
    EditorConfig *config = EditorConfig::instance();
    config->setLyricColor(QColor(0, 0, 0xcc));
    config->setLyricFontSize(config->lyricFontSize() + 2);
    config->save();
    QCoreApplication::processEvents();
    QVERIFY(!edit->document()->isModified());
    QCOMPARE(spy.count(), 0);
    // A real edit afterwards still counts, and so does undoing it after a save.
    typeText(edit->lyricEdit(), QStringLiteral("好"));
    QVERIFY(edit->document()->isModified());
    edit->document()->setModified(false);
    edit->document()->undoStack()->undo();
    QVERIFY(edit->document()->isModified());
}

void TestKelvoEdit::undoRedoSignalsAndActions()
{
    QSignalSpy canUndo(edit, &KelvoEdit::canUndoChanged);
    QSignalSpy canRedo(edit, &KelvoEdit::canRedoChanged);
    Ui::KelvoEdit *ui = edit->form();
    typeText(edit->lyricEdit(), QStringLiteral("好人"));
    QVERIFY(canUndo.count() >= 1);
    QCOMPARE(canUndo.last().first().toBool(), true);
    QVERIFY(ui->undoAction->isEnabled());
    QVERIFY(!ui->redoAction->isEnabled());
    ui->undoAction->trigger();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好"));
    QVERIFY(ui->redoAction->isEnabled());
    QCOMPARE(canRedo.last().first().toBool(), true);
    ui->undoAction->trigger();
    QVERIFY(!ui->undoAction->isEnabled());
    QCOMPARE(canUndo.last().first().toBool(), false);
    ui->redoAction->trigger();
    ui->redoAction->trigger();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("||"));
    QVERIFY(!ui->redoAction->isEnabled());
}

namespace {

// Runs `pressOrEvent` while a timer looks at the popup menu it opens and
// closes it. Gives the actions shown (null for a separator).
QList<QAction *> menuShownBy(const std::function<void()> &pressOrEvent, bool *shown)
{
    QList<QAction *> actions;
    *shown = false;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            *shown = true;
            for (QAction *a : menu->actions())
                actions.append(a->isSeparator() ? nullptr : a);
            menu->close();
            timer.stop();
        }
    });
    timer.start();
    QTimer guard; // never hang: close whatever popup remains
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    });
    guard.start(3000);
    pressOrEvent();
    return actions;
}

} // namespace

void TestKelvoEdit::contextMenu_data()
{
    QTest::addColumn<int>("selection"); // 0 none, 1 lyric, 2 score
    QTest::addColumn<bool>("onScorePane");
    QTest::newRow("no selection, lyric gutter") << 0 << false;
    QTest::newRow("no selection, score gutter") << 0 << true;
    QTest::newRow("lyric selection") << 1 << true;
    QTest::newRow("score selection") << 2 << false;
}

void TestKelvoEdit::contextMenu()
{
    QFETCH(int, selection);
    QFETCH(bool, onScorePane);
    setTexts(*edit, QStringLiteral("好人们"), QStringLiteral("A\nB\nC\n"));
    if (selection == 1) {
        setCursor(edit->lyricEdit(), 2, 0);
    } else if (selection == 2) {
        // Score selection within one line: the lyric side stays unselected.
        setCursor(edit->scoreEdit(), 0);
        QTextCursor c = edit->scoreEdit()->textCursor();
        c.setPosition(1, QTextCursor::KeepAnchor);
        edit->document()->setSyncing(true);
        edit->scoreEdit()->setTextCursor(c);
        edit->document()->setSyncing(false);
        setCursor(edit->lyricEdit(), 0);
        edit->document()->setSyncing(true);
        edit->scoreEdit()->setTextCursor(c);
        edit->document()->setSyncing(false);
    }
    QPlainTextEdit *pane = onScorePane ? static_cast<QPlainTextEdit *>(edit->scoreEdit())
                                       : static_cast<QPlainTextEdit *>(edit->lyricEdit());
    QWidget *gutter = onScorePane ? edit->scoreEdit()->lineNumberArea() : edit->lyricEdit()->lineNumberArea();
    bool shown = false;
    const QList<QAction *> actions = menuShownBy(
        [&] { QTest::mousePress(gutter, Qt::RightButton, {}, QPoint(5, 5)); }, &shown);
    QTest::mouseRelease(gutter, Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(shown);
    Ui::KelvoEdit *ui = edit->form();
    QCOMPARE(actions, QList<QAction *>({ui->undoAction, ui->redoAction, nullptr, ui->cutAction,
                                        ui->copyAction, ui->pasteAction}));
    QCOMPARE(ui->cutAction->isEnabled(), selection != 0);
    QCOMPARE(ui->copyAction->isEnabled(), selection != 0);
    QVERIFY(ui->pasteAction->isEnabled());
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人们"));
    Q_UNUSED(pane);
}

void TestKelvoEdit::textAreaMenuIsTheEditorsOwn()
{
    QWidget *viewport = edit->lyricEdit()->viewport();
    bool shown = false;
    const QList<QAction *> actions = menuShownBy(
        [&] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 5), viewport->mapToGlobal(QPoint(20, 5)));
            QCoreApplication::sendEvent(viewport, &event);
        },
        &shown);
    QVERIFY(shown);
    QVERIFY(actions.contains(edit->form()->undoAction));
    QCOMPARE(actions.size(), 6);
}

void TestKelvoEdit::layoutItemsOnePerLine()
{
    setTexts(*edit, QStringLiteral("# 标题\n好，\n\n人"), QStringLiteral("A\nB\n"));
    const LayoutItems items = edit->document()->layoutItems();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items.at(0).kind, 0);
    QCOMPARE(items.at(1).scores, QStringList({"A", ""}));
    QCOMPARE(items.at(2).kind, 10);
    QCOMPARE(items.at(3).scores, QStringList({"B"}));
}

int main(int argc, char **argv)
{
    TestEnvironment env;
    QApplication app(argc, argv);
    initTestApplication();
    TestKelvoEdit test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_kelvoedit.moc"
