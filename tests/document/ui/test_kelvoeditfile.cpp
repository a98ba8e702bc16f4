// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/EditCommands.h"
#include "core/RecentFiles.h"
#include "document/GongcheSymbols.h"
#include "document/ui/FileChangeBar.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "document/ScoreFile.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"

#include "support/TestSupport.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Loading and saving a paired editor's .gcp file, with every dialog answered
// through the dialog seam.
class TestKelvoEditFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTestApplication(); }

    void loadExample();
    void load_data();
    void load();
    void roundTrip_data();
    void roundTrip();
    void saveNewDocument_data();
    void saveNewDocument();
    void saveBoundFileAsksNothing();
    void saveAsKeepsBinding();
    void changedExtensionOnDisk();
    void cancelledSaveDialog_data();
    void cancelledSaveDialog();
    void failedWrite_data();
    void failedWrite();
    void fullDisk_data();
    void fullDisk();
    void replacingAsksFirst_data();
    void replacingAsksFirst();
    void suggestedName_data();
    void suggestedName();
    void bundledSample();
    void pairingSurvivesSaveAndReopen_data();
    void pairingSurvivesSaveAndReopen();
    void outsideChangeBar_data();
    void outsideChangeBar();
    void reloadAndKeep();
};

namespace {

const QString Untitled = QStringLiteral("未命名");

QString symbols(std::initializer_list<char32_t> codes)
{
    QString s;
    for (char32_t c : codes)
        s += Gongche::toString(c);
    return s;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

void setTexts(KelvoEdit &editor, const QString &lyric, const QString &score)
{
    editor.lyricEdit()->setPlainText(lyric);
    editor.scoreEdit()->setPlainText(score);
}

// The message requests only (file dialogs left out).
QList<DialogRequest> messages(const ScriptedDialogs &dialogs)
{
    QList<DialogRequest> out;
    for (const DialogRequest &r : dialogs.requests)
        if (r.isMessage())
            out.append(r);
    return out;
}

// Every paired character with its notation: "好=A|人=B".
QString pairing(const KelvoEdit &editor)
{
    const QString paired = editor.lyricEdit()->pairedText();
    const QStringList score = editor.scoreEdit()->toPlainText().split(QLatin1Char('\n'));
    QStringList out;
    for (qsizetype i = 0; i < paired.size(); ++i)
        out << paired.at(i) + QLatin1Char('=') + score.value(i);
    return out.join(QLatin1Char('|'));
}

// What the file bar says ("" while hidden), with its visible buttons.
QString barState(const KelvoEdit &editor)
{
    const FileChangeBar *bar = editor.fileChangeBar();
    if (bar->isHidden())
        return QString();
    QString state = bar->label()->text();
    for (const QPushButton *button : {bar->reloadButton(), bar->keepButton()})
        if (button->isVisibleTo(bar))
            state += QLatin1Char('|') + button->text();
    if (bar->closeButton()->isVisibleTo(bar))
        state += QStringLiteral("|x");
    return state;
}

// Long enough for the watcher and the settling delay after it.
void settle()
{
    QTest::qWait(600);
}

} // namespace

void TestKelvoEditFile::loadExample()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("一.gcp"));
    writeBytes(path, QByteArray::fromHex("00000001000000024E000000000000000000"));

    KelvoEdit editor;
    QSignalSpy modified(&editor, &KelvoEdit::modifiedChanged);
    QVERIFY(editor.load(path));
    QCOMPARE(editor.lyricEdit()->toPlainText(), QString(QChar(0x4E00)));
    QCOMPARE(editor.scoreEdit()->toPlainText(), QString());
    QCOMPARE(editor.document()->filePath(), path);
    QVERIFY(!editor.document()->isModified());
    QCOMPARE(editor.document()->displayName(), QStringLiteral("一.gcp"));
    QVERIFY(!modified.isEmpty());
    QCOMPARE(modified.last().at(0).toBool(), false);
    QVERIFY(env.dialogs().requests.isEmpty());
    // The panes' own histories start empty: nothing to undo into.
    QVERIFY(!editor.lyricEdit()->document()->isUndoAvailable());
    QVERIFY(!editor.scoreEdit()->document()->isUndoAvailable());
}

void TestKelvoEditFile::load_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("content"); // hex, "missing" or "directory"
    QTest::addColumn<QString>("title");   // expected warning; empty: loads
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");

    const QString openError = QStringLiteral("打开文件时发生错误！");
    const QString typeError = QStringLiteral("请选择工尺谱文件（.gcp）格式！");
    const QString yi(QChar(0x4E00));
    const QString complete = "00000001" "00000002" "4E00" "00000002" "00000004" "DB80DC27";

    QTest::newRow("0-byte file") << "a.gcp" << "" << "" << "" << "" << "";
    QTest::newRow("ends after the lyric")
        << "a.gcp" << "00000001" "00000002" "4E00" << "" << "" << yi << "";
    QTest::newRow("upper-case extension") << "A.GCP" << complete << "" << "" << yi
                                          << symbols({0xF0027});
    QTest::newRow("other type") << "a.txt" << complete << "文件类型错误" << typeError << ""
                                << "";
    QTest::newRow("missing") << "a.gcp" << "missing" << "错误" << openError << "" << "";
    // The open comes first, so a missing file of another type is an open error.
    QTest::newRow("missing, other type") << "a.txt" << "missing" << "错误" << openError << ""
                                         << "";
    QTest::newRow("directory") << "d.gcp" << "directory" << "错误" << openError << "" << "";
    QTest::newRow("odd byte count") << "a.gcp" << "00000001" "00000003" "4E0000" << "错误"
                                    << openError << "" << "";
    QTest::newRow("count beyond the end") << "a.gcp" << "00000002" "00000004" "4E00" << "错误"
                                          << openError << "" << "";
    QTest::newRow("truncated inside the score")
        << "a.gcp" << "00000001" "00000002" "4E00" "00000002" "00000004" "DB80" << "错误"
        << openError << "" << "";
}

void TestKelvoEditFile::load()
{
    QFETCH(QString, fileName);
    QFETCH(QString, content);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    if (content == "directory")
        QVERIFY(QDir(dir.path()).mkdir(fileName));
    else if (content != "missing")
        writeBytes(path, QByteArray::fromHex(content.toLatin1()));

    KelvoEdit editor;
    const bool ok = editor.load(path);
    QCOMPARE(ok, title.isEmpty());
    QCOMPARE(editor.lyricEdit()->toPlainText(), lyric);
    QCOMPARE(editor.scoreEdit()->toPlainText(), score);
    QVERIFY(!editor.document()->isModified());
    if (ok) {
        QVERIFY(env.dialogs().requests.isEmpty());
        QCOMPARE(editor.document()->filePath(), path);
        QCOMPARE(editor.document()->displayName(), fileName);
        return;
    }
    QCOMPARE(editor.document()->filePath(), Untitled);
    QCOMPARE(env.dialogs().requests.size(), 1);
    const DialogRequest &r = env.dialogs().requests.first();
    QCOMPARE(r.kind, DialogRequest::Warning);
    QCOMPARE(r.title, title);
    QCOMPARE(r.text, text);
    QCOMPARE(r.parent.data(), &editor);
}

void TestKelvoEditFile::roundTrip_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("score");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("notation symbols")
        << QStringLiteral("# 游园\n【皂罗袍】(小工调)\n原来姹紫嫣红开遍，\n= 念白")
        << symbols({Gongche::TouBan, 0xF0027}) + "\n" + symbols({0xF0045}) + "\n\n"
               + symbols({0xF009B, Gongche::ZhongYan, 0xF0020}) + "\n\n\n\n";
    QTest::newRow("blank lines at the end") << QStringLiteral("一\n\n") << QStringLiteral("\n");
}

void TestKelvoEditFile::roundTrip()
{
    QFETCH(QString, lyric);
    QFETCH(QString, score);
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("谱.gcp"));

    KelvoEdit editor;
    setTexts(editor, lyric, score);
    env.dialogs().queuePath(path);
    QVERIFY(editor.save(false));
    QCOMPARE(readAll(path).toHex(), ScoreFile::encode(lyric, score).toHex());

    KelvoEdit reopened;
    QVERIFY(reopened.load(path));
    QCOMPARE(reopened.lyricEdit()->toPlainText(), lyric);
    QCOMPARE(reopened.scoreEdit()->toPlainText(), score);
}

void TestKelvoEditFile::saveNewDocument_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "曲谱" << "曲谱.gcp";
    QTest::newRow("lower-case extension") << "曲谱.gcp" << "曲谱.gcp";
    QTest::newRow("upper-case extension") << "曲谱.GCP" << "曲谱.GCP";
    QTest::newRow("other extension") << "曲谱.txt" << "曲谱.txt.gcp";
}

void TestKelvoEditFile::saveNewDocument()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    TestEnvironment env;
    QTemporaryDir dir;
    KelvoEdit editor;
    setTexts(editor, QStringLiteral("好"), symbols({0xF0027}));
    QVERIFY(editor.document()->isModified());
    QCOMPARE(editor.document()->displayName(), QStringLiteral("未命名*"));

    QSignalSpy modified(&editor, &KelvoEdit::modifiedChanged);
    const QString startDir = RecentFiles::instance()->lastDir(RecentFiles::ScoreKind);
    env.dialogs().queuePath(dir.filePath(typed));
    QVERIFY(editor.save(false));

    QCOMPARE(env.dialogs().requests.size(), 1);
    const DialogRequest &r = env.dialogs().requests.first();
    QCOMPARE(r.kind, DialogRequest::SaveFile);
    QCOMPARE(r.title, QStringLiteral("选择文件"));
    QCOMPARE(r.dir, startDir);
    QCOMPARE(r.defaultSuffix, QStringLiteral("gcp"));
    QCOMPARE(r.fileName, Untitled);
    QCOMPARE(r.filter, QStringLiteral("工尺谱文件 (*.gcp)"));
    QCOMPARE(r.parent.data(), &editor);

    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
    QCOMPARE(readAll(dir.filePath(written)),
             ScoreFile::encode(QStringLiteral("好"), symbols({0xF0027})));
    QCOMPARE(editor.document()->filePath(), dir.filePath(written));
    QCOMPARE(editor.document()->displayName(), written);
    QVERIFY(!editor.document()->isModified());
    QCOMPARE(modified.size(), 1);
    QCOMPARE(modified.first().at(0).toBool(), false);
}

void TestKelvoEditFile::saveBoundFileAsksNothing()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.GCP"));
    QVERIFY(ScoreFile::write(path, QStringLiteral("一"), QString()));
    KelvoEdit editor;
    QVERIFY(editor.load(path));
    editor.lyricEdit()->setPlainText(QStringLiteral("一二"));
    QVERIFY(editor.document()->isModified());

    QVERIFY(editor.save(false));
    QVERIFY(env.dialogs().requests.isEmpty());
    QCOMPARE(readAll(path), ScoreFile::encode(QStringLiteral("一二"), QString()));
    QVERIFY(!editor.document()->isModified());
    QCOMPARE(editor.document()->displayName(), QStringLiteral("a.GCP"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("a.GCP")});
}

void TestKelvoEditFile::saveAsKeepsBinding()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.gcp"));
    const QByteArray original = ScoreFile::encode(QStringLiteral("一"), QString());
    writeBytes(path, original);
    KelvoEdit editor;
    QVERIFY(editor.load(path));
    editor.lyricEdit()->setPlainText(QStringLiteral("一二"));

    QSignalSpy modified(&editor, &KelvoEdit::modifiedChanged);
    env.dialogs().queuePath(dir.filePath(QStringLiteral("副本")));
    QVERIFY(editor.save(true));

    const QString copy = dir.filePath(QStringLiteral("副本.gcp"));
    QCOMPARE(readAll(copy), ScoreFile::encode(QStringLiteral("一二"), QString()));
    QCOMPARE(readAll(path), original);
    QCOMPARE(editor.document()->filePath(), path);
    QVERIFY(editor.document()->isModified());
    QCOMPARE(editor.document()->displayName(), QStringLiteral("a.gcp*"));
    QVERIFY(modified.isEmpty());

    const QList<DialogRequest> shown = messages(env.dialogs());
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().kind, DialogRequest::Information);
    QCOMPARE(shown.first().title, QStringLiteral("提示"));
    QCOMPARE(shown.first().text, copy + QStringLiteral("保存成功！"));
    QCOMPARE(shown.first().parent.data(), &editor);

    // Save as always asks, even for a bound document.
    QVERIFY(!editor.save(true));
    QCOMPARE(env.dialogs().requests.last().kind, DialogRequest::SaveFile);
}

void TestKelvoEditFile::changedExtensionOnDisk()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("曲"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/a.gcp");
    QVERIFY(ScoreFile::write(path, QStringLiteral("一"), QString()));
    KelvoEdit editor;
    QVERIFY(editor.load(path));
    editor.lyricEdit()->setPlainText(QStringLiteral("一二"));
    const QString renamed = folder + QStringLiteral("/a.txt");
    QVERIFY(QFile::rename(path, renamed));

    // The file went away: saving writes it again where it was.
    QVERIFY(editor.save(false));
    QVERIFY(env.dialogs().requests.isEmpty());
    QCOMPARE(editor.document()->filePath(), path);
    QCOMPARE(readAll(path), ScoreFile::encode(QStringLiteral("一二"), QString()));
    QCOMPARE(readAll(renamed), ScoreFile::encode(QStringLiteral("一"), QString()));

    // With its folder gone too, the name is asked for.
    QVERIFY(QDir(folder).removeRecursively());
    env.dialogs().queuePath(dir.filePath(QStringLiteral("b")));
    QVERIFY(editor.save(false));
    QCOMPARE(env.dialogs().requests.size(), 1);
    QCOMPARE(env.dialogs().requests.first().kind, DialogRequest::SaveFile);
    QCOMPARE(editor.document()->filePath(), dir.filePath(QStringLiteral("b.gcp")));
}

void TestKelvoEditFile::cancelledSaveDialog_data()
{
    QTest::addColumn<bool>("saveAs");
    QTest::newRow("save") << false;
    QTest::newRow("save as") << true;
}

void TestKelvoEditFile::cancelledSaveDialog()
{
    QFETCH(bool, saveAs);
    TestEnvironment env;
    KelvoEdit editor;
    editor.lyricEdit()->setPlainText(QStringLiteral("一"));
    QVERIFY(!editor.save(saveAs)); // the scripted dialog answers an empty path
    QCOMPARE(env.dialogs().requests.size(), 1);
    QCOMPARE(env.dialogs().requests.first().kind, DialogRequest::SaveFile);
    QCOMPARE(editor.document()->filePath(), Untitled);
    QVERIFY(editor.document()->isModified());
}

void TestKelvoEditFile::failedWrite_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("saveAs");
    // Tests may run as root, so permissions cannot make a write fail; a
    // parent that is a regular file, or a target that is a directory, does.
    QTest::newRow("parent is a file") << "parentFile" << false;
    QTest::newRow("parent is a file, save as") << "parentFile" << true;
    QTest::newRow("target is a directory") << "directory" << false;
    QTest::newRow("target is a directory, save as") << "directory" << true;
}

void TestKelvoEditFile::failedWrite()
{
    QFETCH(QString, kind);
    QFETCH(bool, saveAs);
    TestEnvironment env;
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("x.gcp"));
    const QByteArray old = ScoreFile::encode(QStringLiteral("旧"), QString());
    QString target;
    if (kind == "parentFile") {
        writeBytes(blocker, old);
        target = blocker + QStringLiteral("/a.gcp");
    } else {
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("x.gcp/inner")));
        target = blocker;
    }

    KelvoEdit editor;
    editor.lyricEdit()->setPlainText(QStringLiteral("新"));
    env.dialogs().queuePath(target);
    QVERIFY(!editor.save(saveAs));

    const QList<DialogRequest> shown = messages(env.dialogs());
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().kind, DialogRequest::Warning);
    QCOMPARE(shown.first().title, QStringLiteral("错误"));
    QCOMPARE(shown.first().text, kind == "parentFile" ? QStringLiteral("保存文件时发生错误：所在的文件夹不存在！")
                                                      : QStringLiteral("保存文件时发生错误：目标是一个文件夹！"));
    QCOMPARE(shown.first().parent.data(), &editor);
    QVERIFY(editor.document()->isModified());
    // A plain save keeps the chosen name even though the write failed.
    QCOMPARE(editor.document()->filePath(), saveAs ? Untitled : target);
    if (kind == "parentFile")
        QCOMPARE(readAll(blocker), old);
    else
        QVERIFY(QFileInfo(blocker + QStringLiteral("/inner")).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("x.gcp")});
}

// A disk without room for the new file: the save fails with the message,
// the old file stays whole and the document stays modified.
void TestKelvoEditFile::fullDisk_data()
{
    QTest::addColumn<int>("oldChars");
    QTest::addColumn<int>("leave");
    QTest::addColumn<QString>("cause");
    QTest::newRow("no room left") << 100 << 0 << QStringLiteral("磁盘空间已满");
    QTest::newRow("10 KB score, 4 KB free") << 5000 << 4096 << QStringLiteral("磁盘空间已满");
    QTest::newRow("read-only") << 100 << -1 << QStringLiteral("磁盘是只读的");
}

void TestKelvoEditFile::fullDisk()
{
    QFETCH(int, oldChars);
    QFETCH(int, leave);
    QFETCH(QString, cause);
    SmallFileSystem fs;
    KELVO_REQUIRE_SMALL_FS(fs);
    TestEnvironment env;
    const QString path = fs.filePath(QStringLiteral("曲.gcp"));
    QVERIFY(ScoreFile::write(path, QString(oldChars, QChar(0x4E00)), QStringLiteral("\n")));
    const QByteArray old = readAll(path);

    KelvoEdit editor;
    QVERIFY(editor.load(path));
    setTexts(editor, QString(oldChars + 200, QChar(0x4E8C)), QString());
    QVERIFY(leave < 0 ? fs.remountReadOnly() : fs.fill(leave));
    QVERIFY(!editor.save(false));

    const QList<DialogRequest> shown = messages(env.dialogs());
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, QStringLiteral("保存文件时发生错误：%1！").arg(cause));
    QVERIFY(editor.document()->isModified());
    QCOMPARE(readAll(path), old);
    QCOMPARE(QDir(fs.path()).entryList(QDir::Files), QStringList{QStringLiteral("曲.gcp")});
}

void TestKelvoEditFile::replacingAsksFirst_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("saveAs");
    QTest::addColumn<int>("answer"); // NoButton: no question expected
    QTest::addColumn<bool>("replaced");
    QTest::newRow("typed without suffix, No") << "song" << false << int(QMessageBox::No) << false;
    QTest::newRow("typed without suffix, Yes") << "song" << false << int(QMessageBox::Yes) << true;
    QTest::newRow("save as, No") << "song" << true << int(QMessageBox::No) << false;
    QTest::newRow("save as, Yes") << "song" << true << int(QMessageBox::Yes) << true;
    // The dialog itself asked about the name it returned.
    QTest::newRow("typed with suffix") << "song.gcp" << false << int(QMessageBox::NoButton) << true;
}

void TestKelvoEditFile::replacingAsksFirst()
{
    QFETCH(QString, typed);
    QFETCH(bool, saveAs);
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    TestEnvironment env;
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("song.gcp"));
    const QByteArray old = ScoreFile::encode(QStringLiteral("旧"), QString());
    writeBytes(existing, old);

    KelvoEdit editor;
    editor.lyricEdit()->setPlainText(QStringLiteral("新"));
    env.dialogs().queuePath(dir.filePath(typed));
    if (answer != QMessageBox::NoButton)
        env.dialogs().queueButton(QMessageBox::StandardButton(answer));
    QCOMPARE(editor.save(saveAs), replaced);

    QCOMPARE(readAll(existing), replaced ? ScoreFile::encode(QStringLiteral("新"), QString()) : old);
    const QList<DialogRequest> shown = messages(env.dialogs());
    QList<DialogRequest> questions;
    for (const DialogRequest &r : shown)
        if (r.kind == DialogRequest::Question)
            questions << r;
    QCOMPARE(questions.size(), answer == QMessageBox::NoButton ? 0 : 1);
    if (!questions.isEmpty()) {
        QVERIFY(questions.first().text.contains(QStringLiteral("song.gcp")));
        QCOMPARE(questions.first().defaultButton, QMessageBox::No);
        QCOMPARE(questions.first().parent.data(), &editor);
    }
    if (!replaced) {
        // No shows the dialog again where the user was; cancelling it saves nothing.
        QCOMPARE(env.dialogs().requests.size(), 3);
        QCOMPARE(env.dialogs().requests.last().kind, DialogRequest::SaveFile);
        QCOMPARE(env.dialogs().requests.last().dir, dir.path());
        QCOMPARE(env.dialogs().requests.last().fileName, typed);
        QVERIFY(editor.document()->isModified());
        QVERIFY(RecentFiles::instance()->files().isEmpty());
    } else {
        // A saved name is a recent file, and its folder the next start.
        QCOMPARE(RecentFiles::instance()->files(), QStringList{existing});
        QCOMPARE(RecentFiles::instance()->lastDir(RecentFiles::ScoreKind), dir.path());
    }
}

void TestKelvoEditFile::suggestedName_data()
{
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<bool>("bound");
    QTest::addColumn<QString>("suggested");
    QTest::newRow("title line") << "# 游园\n原来" << false << "游园";
    QTest::newRow("title below lyric") << "原来\n# 惊梦" << false << "惊梦";
    QTest::newRow("unsafe characters") << "# 游/园:惊?梦" << false << "游_园_惊_梦";
    QTest::newRow("empty title") << "#  \n原来" << false << "未命名";
    QTest::newRow("no title") << "原来" << false << "未命名";
    QTest::newRow("saved file") << "# 游园" << true << "a.gcp";
}

void TestKelvoEditFile::suggestedName()
{
    QFETCH(QString, lyric);
    QFETCH(bool, bound);
    QFETCH(QString, suggested);
    TestEnvironment env;
    QTemporaryDir dir;
    KelvoEdit editor;
    if (bound) {
        const QString path = dir.filePath(QStringLiteral("a.gcp"));
        QVERIFY(ScoreFile::write(path, QString(), QString()));
        QVERIFY(editor.load(path));
    }
    editor.lyricEdit()->setPlainText(lyric);
    QVERIFY(!editor.save(true)); // cancelled
    QCOMPARE(env.dialogs().requests.size(), 1);
    QCOMPARE(env.dialogs().requests.first().fileName, suggested);
}

void TestKelvoEditFile::bundledSample()
{
    const QString path = QStringLiteral(KELVO_SOURCE_DIR "/examples/sample.gcp");
    if (!QFile::exists(path))
        QSKIP("examples/sample.gcp is not there yet");
    TestEnvironment env;
    KelvoEdit editor;
    QVERIFY(editor.load(path));
    QVERIFY(env.dialogs().requests.isEmpty());
    QVERIFY(!editor.document()->isModified());
    QCOMPARE(editor.document()->displayName(), QStringLiteral("sample.gcp"));
    QVERIFY2(editor.lyricEdit()->blockCount() > 20,
             qPrintable(QString::number(editor.lyricEdit()->blockCount())));
}

void TestKelvoEditFile::outsideChangeBar_data()
{
    // What happens to the loaded file ("一"), one step after another, and
    // what the bar says after each (";" between steps).
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("bars");
    const QString changed = QStringLiteral("文件已在别处被修改|重新载入|保留我的版本");
    const QString deleted = QStringLiteral("文件已被删除|x");
    QTest::newRow("another program saves") << "other:二" << changed;
    QTest::newRow("touched only") << "touch" << "";
    QTest::newRow("own saves") << "save;save" << ";";
    QTest::newRow("removed, back changed") << "remove;other:二" << deleted + ";" + changed;
    QTest::newRow("removal noted, then back changed")
        << "remove;dismiss;other:二" << deleted + ";;" + changed;
}

void TestKelvoEditFile::outsideChangeBar()
{
    QFETCH(QString, steps);
    QFETCH(QString, bars);
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.gcp"));
    QVERIFY(ScoreFile::write(path, QStringLiteral("一"), QString()));
    KelvoEdit editor;
    QVERIFY(editor.load(path));
    editor.show();
    const QStringList expected = bars.split(QLatin1Char(';'));
    const QStringList list = steps.split(QLatin1Char(';'));
    for (int i = 0; i < list.size(); ++i) {
        const QString &step = list.at(i);
        if (step.startsWith(QLatin1String("other:"))) {
            QVERIFY(ScoreFile::write(path, step.mid(6), QString()));
        } else if (step == QLatin1String("touch")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray bytes = file.readAll();
            QVERIFY(file.seek(0));
            QCOMPARE(file.write(bytes), bytes.size());
        } else if (step == QLatin1String("save")) {
            editor.lyricEdit()->insertPlainText(QStringLiteral("好"));
            QVERIFY(editor.save(false));
        } else if (step == QLatin1String("remove")) {
            QVERIFY(QFile::remove(path));
        } else if (step == QLatin1String("dismiss")) {
            editor.fileChangeBar()->closeButton()->click();
        }
        if (expected.at(i).isEmpty())
            settle();
        QTRY_COMPARE(barState(editor), expected.at(i));
    }
    // The watcher told the bar; no save needed to ask.
    QVERIFY(messages(env.dialogs()).isEmpty());
}

void TestKelvoEditFile::reloadAndKeep()
{
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.gcp"));
    QVERIFY(ScoreFile::write(path, QStringLiteral("一"), QString()));
    KelvoEdit editor;
    QVERIFY(editor.load(path));
    editor.show();
    editor.lyricEdit()->setPlainText(QStringLiteral("我的"));
    FileChangeBar *bar = editor.fileChangeBar();

    // Kept: the bar goes, the text stays modified and replaces that version
    // without a question.
    QVERIFY(ScoreFile::write(path, QStringLiteral("别处"), QString()));
    QTRY_VERIFY(bar->isVisible());
    bar->keepButton()->click();
    QVERIFY(bar->isHidden());
    QVERIFY(editor.document()->isModified());
    settle();
    QVERIFY(bar->isHidden());
    QVERIFY(editor.save(false));
    QVERIFY(env.dialogs().requests.isEmpty());
    QCOMPARE(readAll(path), ScoreFile::encode(QStringLiteral("我的"), QString()));

    // Not kept: a save asks first, and No leaves the other version alone.
    editor.lyricEdit()->setPlainText(QStringLiteral("我的二"));
    QVERIFY(ScoreFile::write(path, QStringLiteral("别处二"), QString()));
    const QByteArray outside = readAll(path);
    QVERIFY(!editor.save(false)); // answered No
    QCOMPARE(messages(env.dialogs()).size(), 1);
    QCOMPARE(messages(env.dialogs()).first().kind, DialogRequest::Question);
    QCOMPARE(messages(env.dialogs()).first().title, QStringLiteral("文件已在别处被修改"));
    QVERIFY(messages(env.dialogs()).first().text.contains(QStringLiteral("a.gcp")));
    QCOMPARE(readAll(path), outside);
    QVERIFY(bar->isVisible());

    // Reloaded: the other version replaces the text, unmodified, and an
    // undo brings the user's back.
    bar->reloadButton()->click();
    QCOMPARE(editor.lyricEdit()->toPlainText(), QStringLiteral("别处二"));
    QVERIFY(!editor.document()->isModified());
    QVERIFY(bar->isHidden());
    editor.document()->undoStack()->undo();
    QCOMPARE(editor.lyricEdit()->toPlainText(), QStringLiteral("我的二"));
    QVERIFY(editor.document()->isModified());
    editor.document()->undoStack()->redo();

    // A version that cannot be read is reported and the bar stays.
    writeBytes(path, QByteArray::fromHex("0000000100000003AAAAAA"));
    QTRY_VERIFY(bar->isVisible());
    bar->reloadButton()->click();
    QCOMPARE(messages(env.dialogs()).size(), 2);
    QCOMPARE(messages(env.dialogs()).last().text, QStringLiteral("打开文件时发生错误！"));
    QCOMPARE(editor.lyricEdit()->toPlainText(), QStringLiteral("别处二"));
    QVERIFY(bar->isVisible());
}

QTEST_MAIN(TestKelvoEditFile)
// A no-break space or a line separator reaches the lyric by typing, by an
// input method, by a paste or in a file; what the editor pairs must be what
// it saves and finds again on reopening.
void TestKelvoEditFile::pairingSurvivesSaveAndReopen_data()
{
    QTest::addColumn<QString>("route"); // key, commit, paste, payload, load
    QTest::addColumn<QString>("text");  // inserted after 好 in 好人 (A, B), or the file's lyric
    QTest::addColumn<QString>("score"); // the file's score (load only)
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QString>("paired");

    const QString nbsp(QChar::Nbsp);
    const QString ls(QChar::LineSeparator);
    QTest::newRow("no-break space typed") << "key" << nbsp << "" << "好 人" << "好=A| =|人=B";
    QTest::newRow("no-break space committed")
        << "commit" << nbsp + "乙" << "" << "好 乙人" << "好=A| =|乙=|人=B";
    QTest::newRow("line separator committed")
        << "commit" << ls + "#乙" << "" << "好\n#乙人" << "好=A";
    QTest::newRow("pasted from outside")
        << "paste" << "甲" + nbsp + ls + "乙" << "" << "好甲 \n乙人" << "好=A|甲=| =|乙=|人=B";
    QTest::newRow("structured paste") << "payload" << nbsp << "" << "好 人" << "好=A| =|人=B";
    QTest::newRow("file with a no-break space")
        << "load" << "好" + nbsp + "人" << "A\nB\n" << "好 人" << "好=A| =|人=B";
    QTest::newRow("file with a line separator")
        << "load" << "好" + ls + "人" << "A\nB\n" << "好\n人" << "好=A|人=B";
    QTest::newRow("file with a line separator before markup")
        << "load" << "好" + ls + "#人" + nbsp + "乙" << "A\nB\nC" << "好\n#人 乙" << "好=A";
    QTest::newRow("file with a line separator in the score")
        << "load" << "好人" << "A" + ls + "X\nB" << "好人" << "好=A X|人=B";
}

void TestKelvoEditFile::pairingSurvivesSaveAndReopen()
{
    QFETCH(QString, route);
    QFETCH(QString, text);
    QFETCH(QString, score);
    QFETCH(QString, lyric);
    QFETCH(QString, paired);
    TestEnvironment env;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("谱.gcp"));

    KelvoEdit editor;
    if (route == "load") {
        writeBytes(path, ScoreFile::encode(text, score));
        QVERIFY(editor.load(path));
    } else {
        setTexts(editor, QStringLiteral("好人"), QStringLiteral("A\nB\n"));
        editor.resize(600, 400);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.lyricEdit()->setFocus();
        QTextCursor cursor = editor.lyricEdit()->textCursor();
        cursor.setPosition(1);
        editor.lyricEdit()->setTextCursor(cursor);
        if (route == "key") {
            QTest::sendKeyEvent(QTest::Press, editor.lyricEdit(), Qt::Key_unknown, text, Qt::NoModifier);
        } else if (route == "commit") {
            QInputMethodEvent event;
            event.setCommitString(text);
            QCoreApplication::sendEvent(editor.lyricEdit(), &event);
        } else if (route == "paste") {
            QGuiApplication::clipboard()->setText(text);
            editor.paste();
        } else {
            auto *mime = new QMimeData;
            mime->setData(QLatin1String(ScoreClipboard::MimeType),
                          ScoreClipboard::encode({text}, {QString()}));
            mime->setText(text);
            QGuiApplication::clipboard()->setMimeData(mime);
            editor.paste();
        }
        env.dialogs().queuePath(path);
        QVERIFY(editor.save(false));
    }
    QCOMPARE(editor.lyricEdit()->toPlainText(), lyric);
    // The pane holds exactly what it saves.
    QCOMPARE(editor.lyricEdit()->document()->toRawText().replace(QChar::ParagraphSeparator, '\n'),
             lyric);
    QCOMPARE(pairing(editor), paired);

    if (route == "load")
        QVERIFY(editor.save(false));
    KelvoEdit reopened;
    QVERIFY(reopened.load(path));
    QCOMPARE(reopened.lyricEdit()->toPlainText(), lyric);
    QCOMPARE(pairing(reopened), paired);
}

#include "test_kelvoeditfile.moc"
