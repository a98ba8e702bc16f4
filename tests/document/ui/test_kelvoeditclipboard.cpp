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

class TestKelvoEditClipboard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void copyLyricPayload();
    void copyKeepsSurrogatePairsWhole();
    void pastePayloadInTheMiddle();
    void pastePlainText();
    void pasteIntoScorePane();
    void cutLyric();
    void cutScoreKeepsLines();

    void randomEditsUndoAndRedo();
    void undoLimit();
    void randomEditsNeverMoveNotation();

private:
    void setPayload(const QByteArray &json, const QString &text);
    KelvoEdit *edit = nullptr;
};

void TestKelvoEditClipboard::init()
{
    edit = new KelvoEdit;
    showAndFocus(*edit, edit->lyricEdit());
}

void TestKelvoEditClipboard::cleanup()
{
    if (InputMethod *im = InputMethod::existingInstance())
        im->reset();
    delete edit;
    edit = nullptr;
    QGuiApplication::clipboard()->clear();
}

void TestKelvoEditClipboard::setPayload(const QByteArray &json, const QString &text)
{
    auto *mime = new QMimeData;
    mime->setData(QLatin1String(ScoreClipboard::MimeType), json);
    if (!text.isNull())
        mime->setText(text);
    QGuiApplication::clipboard()->setMimeData(mime);
}

void TestKelvoEditClipboard::copyLyricPayload()
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

void TestKelvoEditClipboard::copyKeepsSurrogatePairsWhole()
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

void TestKelvoEditClipboard::pastePayloadInTheMiddle()
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

void TestKelvoEditClipboard::pastePlainText()
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

void TestKelvoEditClipboard::pasteIntoScorePane()
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

void TestKelvoEditClipboard::cutLyric()
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

void TestKelvoEditClipboard::cutScoreKeepsLines()
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

// Every kind of command at random places; after each push both texts are
// recorded, then undo walks back through every state and redo forward.
void TestKelvoEditClipboard::randomEditsUndoAndRedo()
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

void TestKelvoEditClipboard::undoLimit()
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
    TestKelvoEditClipboard test;
    return QTest::qExec(&test, argc, argv);
}

// Edits where characters leave the pairing and others join it at once
// (across a line's markup prefix): the same count before and after must not
// hand one character's notation to another.
// Every character starts with a notation naming it; after any edit a
// character's notation is its own or empty, never another's.
void TestKelvoEditClipboard::randomEditsNeverMoveNotation()
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

#include "test_kelvoeditclipboard.moc"
