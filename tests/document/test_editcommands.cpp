// SPDX-License-Identifier: GPL-3.0-or-later
// The edit commands on the document model alone: pasted payloads (sound or
// damaged) and edits across a line's markup, with no widget and no
// clipboard. The view's key paths to them are tested with KelvoEdit.
#include "DocumentTestUtil.h"
#include "document/EditCommands.h"
#include "document/PairedDocument.h"
#include "support/CoreTestSupport.h"

#include <QMimeData>
#include <QUndoStack>
#include <QtTest>

#include <memory>

using namespace DocumentTest;

class TestEditCommands : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_doc = std::make_unique<PairedDocument>(); }

    void pastePayloadTurningLinesIntoMarkup();
    void pasteWithEmptyTextDoesNothing();
    void corruptPayloads_data();
    void corruptPayloads();
    void decode_data();
    void decode();
    void notationStaysWithItsCharacter_data();
    void notationStaysWithItsCharacter();

private:
    void setTexts(const QString &lyric, const QString &score)
    {
        m_doc->restoreContent(lyric, score, QString());
    }
    void setCursor(int position, int anchor = -1)
    {
        m_doc->setLyricCursor(cursorAt(m_doc->lyricDocument(), position, anchor));
    }
    // What a paste from the clipboard hands the command: the payload (if
    // any) and the plain text (null: none).
    void paste(const QByteArray &json, const QString &text)
    {
        QMimeData mime;
        if (!json.isNull())
            mime.setData(QLatin1String(ScoreClipboard::MimeType), json);
        if (!text.isNull())
            mime.setText(text);
        EditCommand::pushIfEffective(m_doc.get(), new PasteLyricCommand(m_doc.get(), &mime));
    }
    // A key step of the lyric pane: {DEL}, {BS}, or text typed.
    void type(const QString &step)
    {
        const QString op = step == QLatin1String("{DEL}") ? QStringLiteral("del")
            : step == QLatin1String("{BS}")               ? QStringLiteral("bs")
                                                          : QStringLiteral("type:") + step;
        EditCommand::pushIfEffective(m_doc.get(), commandFor(m_doc.get(), false, op));
    }

    std::unique_ptr<PairedDocument> m_doc;
};

void TestEditCommands::pastePayloadTurningLinesIntoMarkup()
{
    // "#" pasted at a line start makes the rest of the line a title: its
    // characters give up their score lines. A line break then a sung
    // character after a title: the title's tail becomes sung again.
    setTexts(QStringLiteral("好人\n月"), QStringLiteral("A\nB\nC\n"));
    setCursor(0);
    paste(ScoreClipboard::encode({"#"}, {""}), QStringLiteral("#"));
    QCOMPARE(m_doc->lyricText(), QStringLiteral("#好人\n月"));
    QCOMPARE(lines(m_doc->scoreText()), QStringLiteral("C|"));

    setCursor(0);
    paste(ScoreClipboard::encode({"星", "\n"}, {"X", ""}), QStringLiteral("星\u2029"));
    QCOMPARE(m_doc->lyricText(), QStringLiteral("星\n#好人\n月"));
    QCOMPARE(lines(m_doc->scoreText()), QStringLiteral("X|C|"));

    // Pasting a sung character in front of the "#" un-marks the line.
    setCursor(2);
    paste(ScoreClipboard::encode({"云"}, {"Y"}), QStringLiteral("云"));
    QCOMPARE(m_doc->lyricText(), QStringLiteral("星\n云#好人\n月"));
    QCOMPARE(lines(m_doc->scoreText()), QStringLiteral("X|Y|||C|"));
    QCOMPARE(m_doc->layoutItems().at(1).scores, QStringList({"Y", "", "", ""}));

    m_doc->undoStack()->setIndex(0);
    QCOMPARE(m_doc->lyricText(), QStringLiteral("好人\n月"));
    QCOMPARE(lines(m_doc->scoreText()), QStringLiteral("A|B|C|"));
}

void TestEditCommands::pasteWithEmptyTextDoesNothing()
{
    setTexts(QStringLiteral("好"), QStringLiteral("A\n"));
    setCursor(1);
    paste(ScoreClipboard::encode({"人"}, {"B"}), QString());
    QCOMPARE(m_doc->lyricText(), QStringLiteral("好"));
    QCOMPARE(m_doc->undoStack()->count(), 0);
    QVERIFY(!EditCommand::pushIfEffective(m_doc.get(), new PasteLyricCommand(m_doc.get(), nullptr)));
    QCOMPARE(m_doc->undoStack()->count(), 0);
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
    setTexts(QStringLiteral("甲乙"), QStringLiteral("X\nY\n"));
    setCursor(1);
    paste(json, text);
    QCOMPARE(m_doc->lyricText(), expectedLyric);
    QCOMPARE(lines(m_doc->scoreText()), expectedScore);
    m_doc->undoStack()->setIndex(0);
    QCOMPARE(m_doc->lyricText(), QStringLiteral("甲乙"));
    QCOMPARE(lines(m_doc->scoreText()), QStringLiteral("X|Y|"));
    m_doc->undoStack()->setIndex(m_doc->undoStack()->count());
    QCOMPARE(m_doc->lyricText(), expectedLyric);
    QCOMPARE(lines(m_doc->scoreText()), expectedScore);
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
    setTexts(lyric, score);
    setCursor(position, anchor);
    if (action.startsWith("paste:")) {
        paste(QByteArray(), action.mid(6));
    } else if (action.startsWith("payload:")) {
        QStringList entries;
        for (QChar c : action.mid(8))
            entries << QString(c);
        paste(ScoreClipboard::encode(entries, QStringList(entries.size(), QString())),
              action.mid(8));
    } else {
        type(action);
    }
    QCOMPARE(m_doc->lyricText(), result);
    QCOMPARE(DocumentTest::lines(m_doc->scoreText()), lines);
    m_doc->undoStack()->setIndex(0);
    QCOMPARE(m_doc->lyricText(), lyric);
    QCOMPARE(m_doc->scoreText(), score);
}

QTEST_MAIN(TestEditCommands)
#include "test_editcommands.moc"
