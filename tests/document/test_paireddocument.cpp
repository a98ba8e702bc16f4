// SPDX-License-Identifier: GPL-3.0-or-later
// The document model and its edit commands with no widget at all: this
// program links only the core library and runs under a QGuiApplication.
#include "DocumentTestUtil.h"
#include "document/EditCommands.h"
#include "document/PairedDocument.h"
#include "document/PairingIndex.h"
#include "document/ScoreFile.h"
#include "support/CoreTestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QDir>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QUndoStack>
#include <QtTest>

using namespace DocumentTest;

class TestPairedDocument : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QGuiApplication::clipboard()->clear(); }

    void pairingFollowsTextWithoutView();
    void nullCursorsKeepTheCursors();
    void lyricCommands_data();
    void lyricCommands();
    void scoreCommands_data();
    void scoreCommands();
    void copyAndPasteCarryNotation();
    void saveAndLoad();
    void loadRefusals_data();
    void loadRefusals();
    void saveCopyAndFailedSave();
    void reloadIsOneUndoStep();
    void outsideChange_data();
    void outsideChange();
    void bindingIsAbsolute_data();
    void bindingIsAbsolute();
    void failedSaveTellsWhy_data();
    void failedSaveTellsWhy();
};

void TestPairedDocument::pairingFollowsTextWithoutView()
{
    // No view has given the texts a layout: edits must still reach the
    // pairing cache.
    PairedDocument document;
    document.lyricDocument()->setPlainText(QStringLiteral("好人"));
    QCOMPARE(document.pairing().pairedCount(), 2);
    QTextCursor cursor(document.lyricDocument());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("\n# 标题\n们"));
    QCOMPARE(document.pairedText(), QStringLiteral("好人们"));
    QCOMPARE(document.scoreLineAt(cursor.position()), 2);
}

void TestPairedDocument::nullCursorsKeepTheCursors()
{
    // A pane's cursor is null while its text is replaced.
    PairedDocument document;
    document.lyricDocument()->setPlainText(QStringLiteral("好人"));
    document.setLyricCursor(cursorAt(document.lyricDocument(), 1, -1));
    document.adoptCursors(QTextCursor(), QTextCursor());
    document.setLyricCursor(QTextCursor());
    document.setScoreCursor(QTextCursor());
    QCOMPARE(document.lyricCursor().position(), 1);
    QCOMPARE(document.scoreCursor().document(), document.scoreDocument());
}

void TestPairedDocument::lyricCommands_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("lyricAfter");
    QTest::addColumn<QString>("scoreAfter"); // "|" for line breaks
    QTest::addColumn<int>("pushed");
    QTest::addColumn<int>("scoreCursor"); // where the mirrored score cursor ends

    QTest::newRow("first ideograph") << "" << "" << 0 << -1 << "type:好" << "好" << "|" << 1 << 0;
    QTest::newRow("typed at a line end") << "好\n人" << "A\nB\n" << 3 << -1 << "type:们"
                                         << "好\n人们" << "A|B||" << 1 << 4;
    QTest::newRow("comma owns no line") << "好" << "A\n" << 1 << -1 << "type:，" << "好，" << "A|" << 1 << 1;
    QTest::newRow("hash makes a title") << "好人们" << "A\nB\nC\n" << 0 << -1 << "type:#"
                                        << "#好人们" << "" << 1 << 0;
    QTest::newRow("backspace joins a title") << "# 标题\n好人" << "A\nB\n" << 5 << -1 << "bs"
                                             << "# 标题好人" << "" << 1 << 0;
    QTest::newRow("ctrl backspace") << "好人们" << "A\nB\nC\n" << 2 << -1 << "c-bs" << "们" << "C|" << 1 << 0;
    QTest::newRow("ctrl shift backspace") << "好人们" << "A\nB\nC\n" << 2 << -1 << "cs-bs"
                                          << "好们" << "A|C|" << 1 << 1;
    QTest::newRow("ctrl delete") << "好人们" << "A\nB\nC\n" << 1 << -1 << "c-del" << "好" << "A|" << 1 << 1;
    QTest::newRow("typing over a selection") << "好人们" << "A\nB\nC\n" << 2 << 0 << "type:天"
                                             << "天们" << "|C|" << 2 << 0;
    QTest::newRow("backspace at the start") << "好" << "A\n" << 0 << -1 << "bs" << "好" << "A|" << 0 << 0;
}

void TestPairedDocument::lyricCommands()
{
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    QFETCH(int, position);
    QFETCH(int, anchor);
    QFETCH(QString, op);
    QFETCH(QString, lyricAfter);
    QFETCH(QString, scoreAfter);
    QFETCH(int, pushed);
    QFETCH(int, scoreCursor);

    PairedDocument document;
    document.restoreContent(lyric, score, QString());
    document.setLyricCursor(cursorAt(document.lyricDocument(), position, anchor));
    EditCommand::pushIfEffective(&document, commandFor(&document, false, op));

    QCOMPARE(document.lyricText(), lyricAfter);
    QCOMPARE(lines(document.scoreText()), scoreAfter);
    QCOMPARE(document.undoStack()->count(), pushed);
    QCOMPARE(document.scoreCursor().position(), scoreCursor);
    QVERIFY(!document.isSyncing());

    // Every pushed step comes undone, score lines with their notation.
    while (document.undoStack()->canUndo())
        document.undoStack()->undo();
    QCOMPARE(document.lyricText(), lyric);
    QCOMPARE(document.scoreText(), score);
    while (document.undoStack()->canRedo())
        document.undoStack()->redo();
    QCOMPARE(document.lyricText(), lyricAfter);
    QCOMPARE(lines(document.scoreText()), scoreAfter);
    QCOMPARE(document.scoreCursor().position(), scoreCursor);
}

void TestPairedDocument::scoreCommands_data()
{
    QTest::addColumn<QString>("score");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("scoreAfter");
    QTest::addColumn<bool>("pushed");
    QTest::addColumn<int>("scoreCursor");
    QTest::addColumn<int>("lyricCursor"); // after the mirroring

    // The lyric text is "好人们" throughout.
    QTest::newRow("backspace at a line start moves") << "A\nB\nC\n" << 2 << -1 << "bs" << "A|B|C|"
                                                     << false << 1 << 1;
    QTest::newRow("shift backspace joins lines") << "A\nB\nC\n" << 2 << -1 << "s-bs" << "AB|C|"
                                                 << true << 1 << 1;
    QTest::newRow("delete across lines keeps them") << "AB\nCD\nEF\n" << 7 << 1 << "del"
                                                    << "A||F|" << true << 3 << 3;
    QTest::newRow("ctrl backspace") << "AB\nC\n" << 2 << -1 << "c-bs" << "|C|" << true << 0 << 1;
    QTest::newRow("return moves to the next line") << "A\nB\n" << 0 << -1 << "type:\n" << "A|B|"
                                                   << false << 2 << 2;
    QTest::newRow("shift return adds a line") << "A\nB\n" << 1 << -1 << "s-type:\n" << "A||B|"
                                              << true << 2 << 2;
    QTest::newRow("lines fill lines") << "A\nB\nC\n" << 0 << -1 << "type:X\nY\nZ" << "XA|YB|ZC|"
                                      << true << 7 << 3;
}

void TestPairedDocument::scoreCommands()
{
    QFETCH(QString, score);
    QFETCH(int, position);
    QFETCH(int, anchor);
    QFETCH(QString, op);
    QFETCH(QString, scoreAfter);
    QFETCH(bool, pushed);
    QFETCH(int, scoreCursor);
    QFETCH(int, lyricCursor);

    PairedDocument document;
    document.restoreContent(QStringLiteral("好人们"), score, QString());
    document.setScoreCursor(cursorAt(document.scoreDocument(), position, anchor));
    QCOMPARE(EditCommand::pushIfEffective(&document, commandFor(&document, true, op)), pushed);

    QCOMPARE(lines(document.scoreText()), scoreAfter);
    QCOMPARE(document.scoreCursor().position(), scoreCursor);
    QCOMPARE(document.lyricCursor().position(), lyricCursor);
    QCOMPARE(document.lyricText(), QStringLiteral("好人们"));
    if (!pushed)
        return;
    document.undoStack()->undo();
    QCOMPARE(document.scoreText(), score);
    document.undoStack()->redo();
    QCOMPARE(lines(document.scoreText()), scoreAfter);
}

void TestPairedDocument::copyAndPasteCarryNotation()
{
    PairedDocument document;
    document.restoreContent(QStringLiteral("好人们\n，月"), QStringLiteral("A\nB\nC\nD\n"), QString());
    document.setLyricCursor(cursorAt(document.lyricDocument(), 5, 1)); // 人们, line break, comma
    const std::unique_ptr<QMimeData> copied = ScoreClipboard::lyricSelection(&document);
    QStringList lyric, score;
    const QMimeData *mime = copied.get();
    QVERIFY(ScoreClipboard::decode(mime->data(ScoreClipboard::MimeType), &lyric, &score));
    QCOMPARE(lyric, QStringList({"人", "们", "\n", "，"}));
    QCOMPARE(score, QStringList({"B", "C", "", ""}));
    QCOMPARE(mime->text(), QStringLiteral("人们\u2029，"));

    document.setLyricCursor(cursorAt(document.lyricDocument(), 1, -1));
    QVERIFY(EditCommand::pushIfEffective(&document, new PasteLyricCommand(&document, mime)));
    QCOMPARE(document.lyricText(), QStringLiteral("好人们\n，人们\n，月"));
    QCOMPARE(lines(document.scoreText()), QStringLiteral("A|B|C|B|C|D|"));
    QCOMPARE(document.layoutItems().at(1).scores, QStringList({"", "B", "C"}));
    document.undoStack()->undo();
    QCOMPARE(document.lyricText(), QStringLiteral("好人们\n，月"));
    QCOMPARE(lines(document.scoreText()), QStringLiteral("A|B|C|D|"));
}

void TestPairedDocument::saveAndLoad()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("曲.gcp"));
    PairedDocument document;
    QSignalSpy modified(&document, &PairedDocument::modifiedChanged);
    QCOMPARE(document.displayName(), QStringLiteral("未命名"));
    EditCommand::pushIfEffective(&document, new InsertLyricCommand(&document, QStringLiteral("好人")));
    EditCommand::pushIfEffective(&document, new InsertLyricCommand(&document, QStringLiteral("们")));
    QCOMPARE(modified.count(), 1); // marked once, not per edit
    QCOMPARE(document.displayName(), QStringLiteral("未命名*"));
    document.undoStack()->undo();
    QVERIFY(document.isModified()); // undo is an edit too

    const PairedDocument::FileResult saved = document.save(path);
    QVERIFY(saved.ok);
    QVERIFY(saved.text.isEmpty());
    QVERIFY(!document.isModified());
    QCOMPARE(document.displayName(), QStringLiteral("曲.gcp"));
    QCOMPARE(modified.last().at(0).toBool(), false);

    PairedDocument reopened;
    QSignalSpy reopenedModified(&reopened, &PairedDocument::modifiedChanged);
    QVERIFY(reopened.load(path).ok);
    QCOMPARE(reopened.lyricText(), QStringLiteral("好人"));
    QCOMPARE(reopened.scoreText(), QStringLiteral("\n\n"));
    QCOMPARE(reopened.filePath(), path);
    QVERIFY(!reopened.isModified());
    QVERIFY(!reopenedModified.isEmpty());
    QCOMPARE(reopenedModified.last().at(0).toBool(), false);
    QCOMPARE(reopened.undoStack()->count(), 0);
    QVERIFY(!reopened.lyricDocument()->isUndoAvailable());
    // Typing goes on from the start of the loaded text.
    EditCommand::pushIfEffective(&reopened, new InsertLyricCommand(&reopened, QStringLiteral("天")));
    QCOMPARE(reopened.lyricText(), QStringLiteral("天好人"));
    QCOMPARE(reopened.scoreText(), QStringLiteral("\n\n\n"));
    QVERIFY(reopened.isModified());
}

void TestPairedDocument::loadRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // null: no file
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    const QString openTitle = QStringLiteral("错误");
    const QString openText = QStringLiteral("打开文件时发生错误！");
    QTest::newRow("missing") << "none.txt" << QByteArray() << openTitle << openText;
    QTest::newRow("wrong type") << "a.txt" << ScoreFile::encode("好", "")
                                << ScoreFile::wrongTypeTitle() << ScoreFile::wrongTypeText();
    QTest::newRow("damaged") << "b.gcp" << QByteArray("\0\0\0\1\0\0\0\x40\x4e", 9) << openTitle
                             << openText;
}

void TestPairedDocument::loadRefusals()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (!bytes.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    PairedDocument document;
    document.restoreContent(QStringLiteral("好"), QStringLiteral("A\n"), QString());
    const PairedDocument::FileResult result = document.load(path);
    QVERIFY(!result.ok);
    QCOMPARE(result.title, title);
    QCOMPARE(result.text, text);
    // Nothing of the document is lost.
    QCOMPARE(document.lyricText(), QStringLiteral("好"));
    QCOMPARE(document.scoreText(), QStringLiteral("A\n"));
    QVERIFY(document.isUntitled());
    QVERIFY(document.isModified());
}

void TestPairedDocument::saveCopyAndFailedSave()
{
    QTemporaryDir dir;
    PairedDocument document;
    const QString original = dir.filePath(QStringLiteral("a.gcp"));
    document.restoreContent(QStringLiteral("好"), QStringLiteral("A\n"), original);

    const QString copyPath = dir.filePath(QStringLiteral("copy.gcp"));
    const PairedDocument::FileResult copy = document.save(copyPath, true);
    QVERIFY(copy.ok);
    QCOMPARE(copy.title, QStringLiteral("提示"));
    QCOMPARE(copy.text, copyPath + QStringLiteral("保存成功！"));
    QCOMPARE(document.filePath(), original);
    QVERIFY(document.isModified());
    QVERIFY(QFile::exists(copyPath));

    // A failed save binds the new name but keeps the document modified.
    const QString unwritable = dir.filePath(QStringLiteral("no/such/folder/b.gcp"));
    const PairedDocument::FileResult failed = document.save(unwritable);
    QVERIFY(!failed.ok);
    QCOMPARE(failed.title, QStringLiteral("错误"));
    QCOMPARE(failed.text, QStringLiteral("保存文件时发生错误：所在的文件夹不存在！"));
    QCOMPARE(document.filePath(), unwritable);
    QVERIFY(document.isModified());
}

void TestPairedDocument::reloadIsOneUndoStep()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("曲.gcp"));
    QVERIFY(ScoreFile::write(path, QStringLiteral("甲"), QStringLiteral("A")));
    PairedDocument document;
    QVERIFY(document.load(path).ok);
    EditCommand::pushIfEffective(&document, new InsertLyricCommand(&document, QStringLiteral("我")));
    QCOMPARE(document.lyricText(), QStringLiteral("我甲"));
    QVERIFY(ScoreFile::write(path, QStringLiteral("乙丙"), QStringLiteral("B\nC")));

    QVERIFY(document.reload().ok);
    QCOMPARE(document.lyricText(), QStringLiteral("乙丙"));
    QCOMPARE(document.scoreText(), QStringLiteral("B\nC"));
    QCOMPARE(document.pairedText(), QStringLiteral("乙丙"));
    QVERIFY(!document.isModified());
    QCOMPARE(document.outsideChange(), PairedDocument::OutsideChange::None);
    QCOMPARE(document.undoStack()->count(), 2);

    // Undone, the user's text is back, modified, and pairs as before.
    document.undoStack()->undo();
    QCOMPARE(document.lyricText(), QStringLiteral("我甲"));
    QCOMPARE(document.scoreText(), QStringLiteral("\nA"));
    QCOMPARE(document.pairedText(), QStringLiteral("我甲"));
    QVERIFY(document.isModified());
    QCOMPARE(document.lyricCursor().position(), 1); // after the typed character
    document.undoStack()->redo();
    QCOMPARE(document.lyricText(), QStringLiteral("乙丙"));

    // The same text again is no step; a damaged file leaves all as it is.
    QVERIFY(document.reload().ok);
    QCOMPARE(document.undoStack()->count(), 2);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("0000000100000003AAAAAA"));
    file.close();
    QVERIFY(!document.reload().ok);
    QCOMPARE(document.lyricText(), QStringLiteral("乙丙"));
}

void TestPairedDocument::outsideChange_data()
{
    // Steps on a file first holding the lyric "甲": load, edit, save, copy
    // (save a copy over the bound file), bind (setFilePath only), restore
    // (recovered texts bound to it), keep (keepOwnVersion), other:X
    // (another program saves the lyric X atomically), touch (the same bytes
    // written again in place), remove. After each step, what
    // outsideChange() says: N(one), M(odified), D(eleted).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const char *steps, const char *expected) {
        QTest::newRow(name) << QString::fromUtf8(steps).split(QLatin1Char(' ')) << expected;
    };
    row("untouched and touched", "load touch", "NN");
    row("another program saves", "load other:乙", "NM");
    row("removed", "load remove", "ND");
    row("removed, back as it was", "load remove other:甲", "NDN");
    row("removed, back changed", "load remove other:乙", "NDM");
    row("own saves", "load edit save copy", "NNNN");
    row("kept over one version", "load other:乙 keep touch other:丙 keep save other:丁", "NMNNMNNM");
    row("kept over a removal", "load remove keep other:乙", "NDNM");
    row("saved over the change", "load other:乙 save", "NMN");
    row("recovered texts", "restore other:乙", "NM");
    row("only named", "bind other:乙", "NN");
}

void TestPairedDocument::outsideChange()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("曲.gcp"));
    QVERIFY(ScoreFile::write(path, QStringLiteral("甲"), QString()));
    PairedDocument document;
    QSignalSpy stamped(&document, &PairedDocument::diskStampChanged);
    QString seen;
    for (const QString &step : steps) {
        if (step == QLatin1String("load")) {
            QVERIFY(document.load(path).ok);
        } else if (step == QLatin1String("edit")) {
            EditCommand::pushIfEffective(&document, new InsertLyricCommand(&document, QStringLiteral("好")));
        } else if (step == QLatin1String("save") || step == QLatin1String("copy")) {
            QVERIFY(document.save(path, step == QLatin1String("copy")).ok);
        } else if (step == QLatin1String("bind")) {
            document.setFilePath(path);
        } else if (step == QLatin1String("restore")) {
            document.restoreContent(QStringLiteral("乙"), QString(), path);
        } else if (step == QLatin1String("keep")) {
            document.keepOwnVersion();
        } else if (step.startsWith(QLatin1String("other:"))) {
            QVERIFY(ScoreFile::write(path, step.mid(6), QString()));
        } else if (step == QLatin1String("touch")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray bytes = file.readAll();
            QVERIFY(file.seek(0));
            QCOMPARE(file.write(bytes), bytes.size());
        } else if (step == QLatin1String("remove")) {
            QVERIFY(QFile::remove(path));
        }
        const PairedDocument::OutsideChange change = document.outsideChange();
        seen += change == PairedDocument::OutsideChange::Modified  ? QLatin1Char('M')
                : change == PairedDocument::OutsideChange::Deleted ? QLatin1Char('D')
                                                                   : QLatin1Char('N');
    }
    QCOMPARE(seen, expected);
    // Reading and writing the bound file are announced; naming it is not.
    QCOMPARE(stamped.isEmpty(), steps.first() == QLatin1String("bind"));
}

void TestPairedDocument::bindingIsAbsolute_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("path"); // relative to the current folder
    QTest::addColumn<bool>("bound");
    QTest::newRow("load") << "load" << "scores/曲.gcp" << true;
    QTest::newRow("load with dots") << "load" << "./scores/../scores/曲.gcp" << true;
    QTest::newRow("save") << "save" << "scores/新.gcp" << true;
    // A relative path (older records) says nothing about its folder.
    QTest::newRow("restore relative") << "restore" << "scores/曲.gcp" << false;
}

void TestPairedDocument::bindingIsAbsolute()
{
    QFETCH(QString, how);
    QFETCH(QString, path);
    QFETCH(bool, bound);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("scores")));
    const QString existing = dir.filePath(QStringLiteral("scores/曲.gcp"));
    QVERIFY(ScoreFile::write(existing, QStringLiteral("好"), QString()));
    PairedDocument document;
    {
        const CurrentFolder startedIn(dir.path());
        if (how == "load")
            QVERIFY(document.load(path).ok);
        else if (how == "save")
            QVERIFY(document.save(path).ok);
        else
            document.restoreContent(QStringLiteral("好"), QString(), path);
    }
    if (bound)
        QCOMPARE(document.filePath(), QDir::cleanPath(dir.filePath(path)));
    else
        QVERIFY(document.isUntitled());
}

// The message of a failed save says what stopped it (a folder removed is
// above).
void TestPairedDocument::failedSaveTellsWhy_data()
{
    QTest::addColumn<QString>("target"); // "@DIR@": a folder that takes no new file
    QTest::addColumn<QString>("text");
    QTest::newRow("disk full") << "/dev/full" << "保存文件时发生错误：磁盘空间已满！";
    QTest::newRow("no permission") << "@DIR@/a.gcp" << "保存文件时发生错误：没有写入权限！";
}

void TestPairedDocument::failedSaveTellsWhy()
{
    QFETCH(QString, target);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther
                                                  | QFile::ExeOther));
    target.replace(QStringLiteral("@DIR@"), dir.path());
    PairedDocument document;
    document.restoreContent(QStringLiteral("好"), QStringLiteral("A\n"), QString());
    PairedDocument::FileResult result;
    {
        AsUnprivileged unprivileged;
        result = document.save(target);
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!result.ok);
    QCOMPARE(result.text, text);
    QVERIFY(document.isModified());
    QVERIFY(QDir(dir.path()).isEmpty());
}

QTEST_MAIN(TestPairedDocument)
#include "test_paireddocument.moc"
