// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/EditCommands.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "input/ui/InputMethod.h"

#include "KelvoEditTestUtil.h"
#include "support/TestSupport.h"

#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QRandomGenerator>

#include <typeinfo>

using namespace KelvoEditTest;

class TestEditCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void copyLyricPayload();
    void copyKeepsSurrogatePairsWhole();
    void pastePayloadInTheMiddle();
    void pastePayloadTurningLinesIntoMarkup();
    void pastePlainText();
    void pasteIntoScorePane();
    void cutLyric();
    void cutScoreKeepsLines();
    void pasteWithEmptyTextDoesNothing();
    void corruptPayloads_data();
    void corruptPayloads();
    void decode_data();
    void decode();

    void randomEditsUndoAndRedo();
    void undoLimit();
    void notationStaysWithItsCharacter_data();
    void notationStaysWithItsCharacter();
    void randomEditsNeverMoveNotation();

private:
    void setPayload(const QByteArray &json, const QString &text);
    KelvoEdit *edit = nullptr;
};

void TestEditCommands::init()
{
    edit = new KelvoEdit;
    showAndFocus(*edit, edit->lyricEdit());
}

void TestEditCommands::cleanup()
{
    if (InputMethod *im = InputMethod::existingInstance())
        im->reset();
    delete edit;
    edit = nullptr;
    QGuiApplication::clipboard()->clear();
}

void TestEditCommands::setPayload(const QByteArray &json, const QString &text)
{
    auto *mime = new QMimeData;
    mime->setData(QLatin1String(ScoreClipboard::MimeType), json);
    if (!text.isNull())
        mime->setText(text);
    QGuiApplication::clipboard()->setMimeData(mime);
}

void TestEditCommands::copyLyricPayload()
{
    setTexts(*edit, QStringLiteral("好人\n，们"), sym(1) + sym(9) + "\n" + sym(2) + "\n" + sym(3) + "\n");
    setCursor(edit->lyricEdit(), 4, 0);
    QTest::keyClick(edit->lyricEdit(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime->hasFormat("application/x-lyric-score-format"));
    QCOMPARE(mime->text(), QStringLiteral("好人\u2029，"));
    const QByteArray data = mime->data("application/x-lyric-score-format");
    QVERIFY(data.contains("\n    \"lyric\"")); // indented
    const QJsonObject object = QJsonDocument::fromJson(data).object();
    QCOMPARE(object.value("lyric").toArray().toVariantList(),
             QVariantList({"好", "人", "\n", "，"}));
    QCOMPARE(object.value("score").toArray().toVariantList(),
             QVariantList({sym(1) + sym(9), sym(2), "", ""}));
    // Copying changes nothing and pushes nothing.
    QCOMPARE(edit->document()->undoStack()->count(), 0);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人\n，们"));
}

void TestEditCommands::copyKeepsSurrogatePairsWhole()
{
    const QString extB = QString::fromUcs4(U"\U00020000", 1); // never paired
    setTexts(*edit, QStringLiteral("好") + extB + QStringLiteral("人"), QStringLiteral("A\nB\n"));
    setCursor(edit->lyricEdit(), 4, 0);
    edit->copy();
    QStringList lyric, score;
    QVERIFY(ScoreClipboard::decode(
        QGuiApplication::clipboard()->mimeData()->data(ScoreClipboard::MimeType), &lyric, &score));
    QCOMPARE(lyric, QStringList({"好", extB, "人"}));
    QCOMPARE(score, QStringList({"A", "", "B"}));
}

void TestEditCommands::pastePayloadInTheMiddle()
{
    setTexts(*edit, QStringLiteral("好人们\n月"), QStringLiteral("A\nB\nC\nD\n"));
    // Copy 人们 with its notation, then paste it after 月's predecessor.
    setCursor(edit->lyricEdit(), 3, 1);
    edit->copy();
    setCursor(edit->lyricEdit(), 1);
    QTest::keyClick(edit->lyricEdit(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人们人们\n月"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|B|C|B|C|D|"));
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    const auto *command = dynamic_cast<const PasteLyricCommand *>(edit->document()->undoStack()->command(0));
    QVERIFY(command);
    QCOMPARE(command->lyricStepCount(), 1);
    QCOMPARE(command->scoreStepCount(), 1);
    QCOMPARE(edit->lyricEdit()->textCursor().position(), 3);
    // Every score line still belongs to the right character.
    const LayoutItems items = edit->document()->layoutItems();
    QCOMPARE(items.at(0).scores, QStringList({"A", "B", "C", "B", "C"}));
    QCOMPARE(items.at(1).scores, QStringList({"D"}));

    edit->document()->undoStack()->undo();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人们\n月"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|B|C|D|"));
    edit->document()->undoStack()->redo();
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|B|C|B|C|D|"));
}

void TestEditCommands::pastePayloadTurningLinesIntoMarkup()
{
    // "#" pasted at a line start makes the rest of the line a title: its
    // characters give up their score lines. A line break then a sung
    // character after a title: the title's tail becomes sung again.
    setTexts(*edit, QStringLiteral("好人\n月"), QStringLiteral("A\nB\nC\n"));
    setPayload(ScoreClipboard::encode({"#"}, {""}), QStringLiteral("#"));
    setCursor(edit->lyricEdit(), 0);
    edit->paste();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("#好人\n月"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("C|"));

    setPayload(ScoreClipboard::encode({"星", "\n"}, {"X", ""}), QStringLiteral("星\u2029"));
    setCursor(edit->lyricEdit(), 0);
    edit->paste();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("星\n#好人\n月"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("X|C|"));

    // Pasting a sung character in front of the "#" un-marks the line.
    setPayload(ScoreClipboard::encode({"云"}, {"Y"}), QStringLiteral("云"));
    setCursor(edit->lyricEdit(), 2);
    edit->paste();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("星\n云#好人\n月"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("X|Y|||C|"));
    QCOMPARE(edit->document()->layoutItems().at(1).scores, QStringList({"Y", "", "", ""}));

    edit->document()->undoStack()->setIndex(0);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人\n月"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|B|C|"));
}

void TestEditCommands::pastePlainText()
{
    setTexts(*edit, QStringLiteral("好们"), QStringLiteral("A\nC\n"));
    QGuiApplication::clipboard()->setText(QStringLiteral("春 香，\r\n啊"));
    setCursor(edit->lyricEdit(), 1);
    edit->paste();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好春 香，\n啊们"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|||||C|"));
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    QVERIFY(dynamic_cast<const InsertLyricCommand *>(edit->document()->undoStack()->command(0)));
    edit->document()->undoStack()->undo();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好们"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|C|"));
}

void TestEditCommands::pasteIntoScorePane()
{
    setTexts(*edit, QStringLiteral("好人们月"), QStringLiteral("A\n\n\n\n"));
    showAndFocus(*edit, edit->scoreEdit());
    setCursor(edit->scoreEdit(), 2); // line 1
    QGuiApplication::clipboard()->setText(sym(1) + "\n" + sym(2) + "\r\n" + sym(3));
    QTest::keyClick(edit->scoreEdit(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(lines(edit->scoreEdit()), "A|" + sym(1) + "|" + sym(2) + "|" + sym(3) + "|");
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    edit->document()->undoStack()->undo();
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A||||"));

    // On the last lines the rest goes into the last line.
    setCursor(edit->scoreEdit(), 4); // line 3 of 5
    QTest::keyClick(edit->scoreEdit(), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(lines(edit->scoreEdit()), "A|||" + sym(1) + "|" + sym(2) + sym(3));
}

void TestEditCommands::cutLyric()
{
    setTexts(*edit, QStringLiteral("好人们"), QStringLiteral("A\nB\nC\n"));
    setCursor(edit->lyricEdit(), 3, 1);
    QTest::keyClick(edit->lyricEdit(), Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("人们"));
    QStringList lyric, score;
    QVERIFY(ScoreClipboard::decode(
        QGuiApplication::clipboard()->mimeData()->data(ScoreClipboard::MimeType), &lyric, &score));
    QCOMPARE(score, QStringList({"B", "C"}));
    // Pasting it back restores the document.
    QTest::keyClick(edit->lyricEdit(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好人们"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A|B|C|"));
}

void TestEditCommands::cutScoreKeepsLines()
{
    setTexts(*edit, QStringLiteral("好人们"), QStringLiteral("AA\nBB\nCC\n"));
    showAndFocus(*edit, edit->scoreEdit());
    setCursor(edit->scoreEdit(), 7, 1);
    QTest::keyClick(edit->scoreEdit(), Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("A||C|"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("A\nBB\nC"));
    QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasFormat(ScoreClipboard::MimeType));
    QCOMPARE(edit->document()->undoStack()->count(), 1);
    // Score copy without a selection does nothing; lyric copy without focus neither.
    setCursor(edit->scoreEdit(), 0);
    edit->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("A\nBB\nC"));
}

void TestEditCommands::pasteWithEmptyTextDoesNothing()
{
    setTexts(*edit, QStringLiteral("好"), QStringLiteral("A\n"));
    setPayload(ScoreClipboard::encode({"人"}, {"B"}), QString());
    setCursor(edit->lyricEdit(), 1);
    edit->paste();
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("好"));
    QCOMPARE(edit->document()->undoStack()->count(), 0);
    QGuiApplication::clipboard()->clear();
    edit->paste();
    QCOMPARE(edit->document()->undoStack()->count(), 0);
}

void TestEditCommands::corruptPayloads_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedLyric");
    QTest::addColumn<QString>("expectedScore");

    // Pasted between 甲 and 乙 (score X, Y).
    QTest::newRow("not json") << QByteArray("{oops") << "好人" << "甲好人乙" << "X|||Y|";
    QTest::newRow("empty data") << QByteArray() << "好" << "甲好乙" << "X||Y|";
    QTest::newRow("array, not object") << QByteArray("[\"好\"]") << "人" << "甲人乙" << "X||Y|";
    QTest::newRow("no lyric array") << QByteArray("{\"score\":[\"A\"]}") << "好" << "甲好乙" << "X||Y|";
    QTest::newRow("lyric is a string") << QByteArray("{\"lyric\":\"好\",\"score\":[]}") << "人" << "甲人乙" << "X||Y|";
    QTest::newRow("score shorter") << QByteArray("{\"lyric\":[\"好\",\"人\"],\"score\":[\"A\"]}")
                                   << "好人" << "甲好人乙" << "X|A||Y|";
    QTest::newRow("score longer") << QByteArray("{\"lyric\":[\"好\"],\"score\":[\"A\",\"B\",\"C\"]}")
                                  << "好" << "甲好乙" << "X|A|Y|";
    QTest::newRow("score missing") << QByteArray("{\"lyric\":[\"好\"]}") << "好" << "甲好乙" << "X||Y|";
    QTest::newRow("non-string elements")
        << QByteArray("{\"lyric\":[\"好\",3,null,{\"a\":1},\"人\"],\"score\":[7,\"B\",\"C\",\"D\",[1]]}")
        << "好人" << "甲好人乙" << "X|||Y|";
    QTest::newRow("several characters in one entry")
        << QByteArray("{\"lyric\":[\"好人\"],\"score\":[\"A\"]}") << "好人" << "甲好人乙" << "X|A||Y|";
    QTest::newRow("line break inside an entry")
        << QByteArray("{\"lyric\":[\"好\\r\\n人\"],\"score\":[\"A\"]}") << "好\n人" << "甲好\n人乙" << "X|A||Y|";
    QTest::newRow("empty arrays") << QByteArray("{\"lyric\":[],\"score\":[]}") << "好" << "甲乙" << "X|Y|";
    // A notation entry is one score line whatever breaks it carries.
    QTest::newRow("line feed in a notation")
        << QByteArray("{\"lyric\":[\"甲\",\"好\"],\"score\":[\"a\\nb\",\"c\"]}") << "甲好" << "甲甲好乙"
        << "X|a b|c|Y|";
    QTest::newRow("every line break in a notation")
        << QByteArray("{\"lyric\":[\"好\",\"人\"],\"score\":[\"a\\r\\nb\\rc\\u2028d\\u2029e\\ufdd0f\\ufdd1g\","
                      "\"\\n\\nh\\n\"]}")
        << "好人" << "甲好人乙" << "X|a b c d e f g|h|Y|";
    QTest::newRow("characters that are no line break stay")
        << QByteArray("{\"lyric\":[\"好\"],\"score\":[\"a\\u000bb\\u000cc\\u0085d\"]}") << "好" << "甲好乙"
        << QString("X|a\vb\fc") + QChar(0x85) + "d|Y|";
}

void TestEditCommands::corruptPayloads()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, text);
    QFETCH(QString, expectedLyric);
    QFETCH(QString, expectedScore);
    setTexts(*edit, QStringLiteral("甲乙"), QStringLiteral("X\nY\n"));
    setPayload(json, text);
    setCursor(edit->lyricEdit(), 1);
    edit->paste();
    QCOMPARE(edit->lyricEdit()->toPlainText(), expectedLyric);
    QCOMPARE(lines(edit->scoreEdit()), expectedScore);
    edit->document()->undoStack()->setIndex(0);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QStringLiteral("甲乙"));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("X|Y|"));
    edit->document()->undoStack()->setIndex(edit->document()->undoStack()->count());
    QCOMPARE(edit->lyricEdit()->toPlainText(), expectedLyric);
    QCOMPARE(lines(edit->scoreEdit()), expectedScore);
}

void TestEditCommands::decode_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("lyric");
    QTest::addColumn<QStringList>("score");
    QTest::newRow("round trip") << ScoreClipboard::encode({"好", "\n", "，"}, {"A", "", ""}) << true
                                << QStringList{"好", "\n", "，"} << QStringList{"A", "", ""};
    QTest::newRow("garbage") << QByteArray("\xff\xfe", 2) << false << QStringList{} << QStringList{};
    QTest::newRow("number") << QByteArray("42") << false << QStringList{} << QStringList{};
    QTest::newRow("nulls") << QByteArray("{\"lyric\":[null],\"score\":null}") << true << QStringList{""}
                           << QStringList{""};
    QTest::newRow("notation made one line") << QByteArray("{\"lyric\":[\"好\"],\"score\":[\"\\r\\na\\n\\nb\\n\"]}")
                                            << true << QStringList{"好"} << QStringList{"a b"};
}

void TestEditCommands::decode()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, ok);
    QFETCH(QStringList, lyric);
    QFETCH(QStringList, score);
    QStringList l, s;
    QCOMPARE(ScoreClipboard::decode(data, &l, &s), ok);
    if (ok) {
        QCOMPARE(l, lyric);
        QCOMPARE(s, score);
    }
}

// Every kind of command at random places; after each push both texts are
// recorded, then undo walks back through every state and redo forward.
void TestEditCommands::randomEditsUndoAndRedo()
{
    QRandomGenerator rng(20240611);
    setTexts(*edit, QStringLiteral("# 牡丹亭\n原来姹紫嫣红开遍，\n似这般都付与断井颓垣。"),
             [] {
                 QStringList l;
                 for (int i = 0; i < 18; ++i)
                     l << sym(i % 8) + sym(39 + i);
                 l << QString();
                 return l.join('\n');
             }());
    QList<QPair<QString, QString>> states{{edit->lyricEdit()->toPlainText(), edit->scoreEdit()->toPlainText()}};
    const QStringList lyricSteps = {"好", "月 ", "，", "a", "{RET}", "{BS}", "{DEL}", "{C-BS}", "{C-DEL}",
                                    "{CS-BS}", "#", ">", "{C-V}", "{C-X}", "{TAB}"};
    const QStringList scoreSteps = {"7", "-", "{RET}", "{S-RET}", "{BS}", "{S-BS}", "{DEL}", "{S-DEL}",
                                    "{C-BS}", "{C-DEL}", "{C-V}", "{C-X}"};
    QSet<QString> kinds;
    for (int round = 0; round < 120; ++round) {
        const bool lyricPane = rng.bounded(3) != 0;
        QPlainTextEdit *pane = lyricPane ? static_cast<QPlainTextEdit *>(edit->lyricEdit())
                                         : static_cast<QPlainTextEdit *>(edit->scoreEdit());
        showAndFocus(*edit, pane);
        const int end = pane->document()->characterCount() - 1;
        const int position = int(rng.bounded(end + 1));
        const int anchor = rng.bounded(4) == 0 ? int(rng.bounded(end + 1)) : -1;
        setCursor(pane, position, anchor);
        const int r = int(rng.bounded(20));
        if (r == 0 && lyricPane) {
            edit->copy();
        } else if (r == 1 && lyricPane) {
            // Templates and a structured paste of the copied text.
            const int which = int(rng.bounded(3));
            if (which == 0)
                edit->insertTitle();
            else if (which == 1)
                edit->insertQuPai();
            else
                edit->insertLineBreak();
        } else if (r == 2) {
            QGuiApplication::clipboard()->setText(QStringLiteral("春香\n") + sym(5));
        } else {
            const QStringList &steps = lyricPane ? lyricSteps : scoreSteps;
            runStep(pane, steps.at(int(rng.bounded(steps.size()))));
        }
        const int index = edit->document()->undoStack()->index();
        if (index > states.size() - 1) {
            for (int i = states.size() - 1; i < index; ++i) {
                const QUndoCommand &command = *edit->document()->undoStack()->command(i);
                kinds.insert(QString::fromLatin1(typeid(command).name()));
            }
            // Several commands at once (a replaced selection): record the
            // states in between by stepping back and forth.
            const int added = index - (states.size() - 1);
            QList<QPair<QString, QString>> between;
            for (int i = 0; i < added; ++i) {
                between.prepend({edit->lyricEdit()->toPlainText(), edit->scoreEdit()->toPlainText()});
                edit->document()->undoStack()->undo();
            }
            for (int i = 0; i < added; ++i)
                edit->document()->undoStack()->redo();
            states += between;
            QCOMPARE(edit->lyricEdit()->toPlainText(), states.last().first);
            QCOMPARE(edit->scoreEdit()->toPlainText(), states.last().second);
        }
        QCOMPARE(edit->document()->undoStack()->index(), states.size() - 1);
        if (InputMethod *im = InputMethod::existingInstance())
            im->reset();
    }
    QVERIFY2(states.size() > 60, qPrintable(QString::number(states.size())));
    QVERIFY2(kinds.size() >= 5, qPrintable(QStringList(kinds.values()).join(' ')));

    for (int i = states.size() - 1; i > 0; --i) {
        QCOMPARE(edit->lyricEdit()->toPlainText(), states.at(i).first);
        QCOMPARE(edit->scoreEdit()->toPlainText(), states.at(i).second);
        edit->document()->undoStack()->undo();
    }
    QCOMPARE(edit->lyricEdit()->toPlainText(), states.first().first);
    QCOMPARE(edit->scoreEdit()->toPlainText(), states.first().second);
    QVERIFY(!edit->document()->undoStack()->canUndo());
    for (int i = 1; i < states.size(); ++i) {
        edit->document()->undoStack()->redo();
        QCOMPARE(edit->lyricEdit()->toPlainText(), states.at(i).first);
        QCOMPARE(edit->scoreEdit()->toPlainText(), states.at(i).second);
    }
}

void TestEditCommands::undoLimit()
{
    for (int i = 0; i < 201; ++i)
        typeChar(edit->lyricEdit(), QChar(0x4E00 + i));
    QCOMPARE(edit->document()->undoStack()->count(), 200);
    int undone = 0;
    while (edit->document()->undoStack()->canUndo()) {
        edit->document()->undoStack()->undo();
        ++undone;
    }
    QCOMPARE(undone, 200);
    // The oldest command is gone: its character and score line stay.
    QCOMPARE(edit->lyricEdit()->toPlainText(), QString(QChar(0x4E00)));
    QCOMPARE(lines(edit->scoreEdit()), QStringLiteral("|"));
    QTest::keyClick(edit->lyricEdit(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(edit->lyricEdit()->toPlainText(), QString(QChar(0x4E00)));
    edit->document()->undoStack()->setIndex(200);
    QCOMPARE(edit->lyricEdit()->toPlainText().size(), 201);
    QCOMPARE(edit->scoreEdit()->document()->blockCount(), 202);
}

int main(int argc, char **argv)
{
    TestEnvironment env;
    QApplication app(argc, argv);
    initTestApplication();
    TestEditCommands test;
    return QTest::qExec(&test, argc, argv);
}

// Edits where characters leave the pairing and others join it at once
// (across a line's markup prefix): the same count before and after must not
// hand one character's notation to another.
void TestEditCommands::notationStaysWithItsCharacter_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("action"); // a key step, or "paste:" plain text, or "payload:" text
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("lines");

    QTest::newRow("delete across a title's #")
        << "好甲\n#人" << "A\nB\n" << 1 << 4 << "{DEL}" << "好人" << "A||";
    QTest::newRow("backspace across a title's #")
        << "甲乙\n#丙丁" << "A\nB\n" << 4 << 1 << "{BS}" << "甲丙丁" << "A|||";
    QTest::newRow("typing over a selection across #")
        << "好甲\n#人" << "A\nB\n" << 1 << 4 << "云" << "好云人" << "A|||";
    QTest::newRow("plain paste of a line break and #")
        << "人乙" << "B\nC\n" << 0 << 0 << "paste:甲\n#" << "甲\n#人乙" << "|";
    QTest::newRow("plain paste splitting a line before #")
        << "好人乙" << "A\nB\nC\n" << 1 << 1 << "paste:甲\n#" << "好甲\n#人乙" << "A||";
    QTest::newRow("structured paste of a line break and #")
        << "人乙" << "B\nC\n" << 0 << 0 << "payload:甲\n#" << "甲\n#人乙" << "|";
}

void TestEditCommands::notationStaysWithItsCharacter()
{
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(QString, action);
    QFETCH(QString, result);
    QFETCH(QString, lines);
    setTexts(*edit, lyric, score);
    setCursor(edit->lyricEdit(), position, anchor);
    if (action.startsWith("paste:")) {
        QGuiApplication::clipboard()->setText(action.mid(6));
        edit->paste();
    } else if (action.startsWith("payload:")) {
        QStringList entries;
        for (QChar c : action.mid(8))
            entries << QString(c);
        setPayload(ScoreClipboard::encode(entries, QStringList(entries.size(), QString())),
                   action.mid(8));
        edit->paste();
    } else {
        runStep(edit->lyricEdit(), action);
    }
    QCOMPARE(edit->lyricEdit()->toPlainText(), result);
    QCOMPARE(KelvoEditTest::lines(edit->scoreEdit()), lines);
    edit->document()->undoStack()->setIndex(0);
    QCOMPARE(edit->lyricEdit()->toPlainText(), lyric);
    QCOMPARE(edit->scoreEdit()->toPlainText(), score);
}

// Every character starts with a notation naming it; after any edit a
// character's notation is its own or empty, never another's.
void TestEditCommands::randomEditsNeverMoveNotation()
{
    QRandomGenerator rng(20240712);
    char16_t fresh = 0x4E00;
    QStringList lyricLines;
    QStringList scoreLines;
    for (int line = 0; line < 6; ++line) {
        QString text = line == 2 ? QStringLiteral("#") : QString();
        for (int i = 0; i < 4; ++i) {
            const QChar c(fresh++);
            text += c;
            if (line != 2)
                scoreLines << QStringLiteral("N") + c;
        }
        lyricLines << text;
    }
    scoreLines << QString();
    setTexts(*edit, lyricLines.join('\n'), scoreLines.join('\n'));
    const QString startLyric = edit->lyricEdit()->toPlainText();
    const QString startScore = edit->scoreEdit()->toPlainText();

    const QStringList pieces = {"\n#", "\n", "#", ";", "【", "，", " ", "@"};
    for (int round = 0; round < 90; ++round) {
        const int end = edit->lyricEdit()->document()->characterCount() - 1;
        setCursor(edit->lyricEdit(), int(rng.bounded(end + 1)),
                  rng.bounded(2) ? int(rng.bounded(end + 1)) : -1);
        const int r = int(rng.bounded(4));
        if (r == 0) {
            runStep(edit->lyricEdit(), rng.bounded(2) ? "{DEL}" : "{BS}");
        } else {
            QString text;
            for (int i = 0, n = 1 + int(rng.bounded(4)); i < n; ++i)
                text += rng.bounded(2) ? QString(QChar(fresh++)) : pieces.at(rng.bounded(pieces.size()));
            if (r == 1) {
                QGuiApplication::clipboard()->setText(text);
                edit->paste();
            } else {
                // As an input method commits it: one command.
                QInputMethodEvent event;
                event.setCommitString(text);
                QCoreApplication::sendEvent(edit->lyricEdit(), &event);
            }
        }
        const QString paired = edit->lyricEdit()->pairedText();
        const QStringList score = edit->scoreEdit()->toPlainText().split('\n');
        QVERIFY(score.size() > paired.size());
        for (qsizetype i = 0; i < paired.size(); ++i) {
            const QString own = paired.at(i) == ' ' ? QString() : QStringLiteral("N") + paired.at(i);
            QVERIFY2(score.at(i).isEmpty() || score.at(i) == own,
                     qPrintable(QString("round %1: %2 carries %3").arg(round).arg(paired.at(i)).arg(score.at(i))));
        }
    }
    QVERIFY(edit->document()->undoStack()->count() < edit->document()->undoStack()->undoLimit());
    const QString endLyric = edit->lyricEdit()->toPlainText();
    const QString endScore = edit->scoreEdit()->toPlainText();
    edit->document()->undoStack()->setIndex(0);
    QCOMPARE(edit->lyricEdit()->toPlainText(), startLyric);
    QCOMPARE(edit->scoreEdit()->toPlainText(), startScore);
    edit->document()->undoStack()->setIndex(edit->document()->undoStack()->count());
    QCOMPARE(edit->lyricEdit()->toPlainText(), endLyric);
    QCOMPARE(edit->scoreEdit()->toPlainText(), endScore);
}

#include "test_editcommands.moc"
