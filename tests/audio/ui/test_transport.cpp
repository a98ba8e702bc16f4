// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/MainWindow.h"
#include "audio/Player.h"
#include "audio/SoundFonts.h"
#include "audio/ui/Transport.h"
#include "core/DataPaths.h"
#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "music/Performance.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QPointer>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QUndoStack>
#include <QtTest>

#include <memory>

namespace {

const QString SmallSoundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");

void writePlaybackSettings(const QString &lines)
{
    QFile file(DataPaths::settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(("[playback]\n" + lines).toUtf8());
}

// A shown window on the bundled sample, playing through the file driver
// with the small SoundFont.
struct Playing
{
    std::unique_ptr<MainWindow> window{new MainWindow};
    Transport *transport() const { return window->transport(); }
    KelvoEdit *editor() const { return window->currentEditor(); }

    bool open()
    {
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        window->openSample();
        editor()->lyricEdit()->setFocus();
        return editor() != nullptr;
    }
};

// The lyric character and the score line a pane shows as being played.
QString playingLyric(KelvoEdit *editor)
{
    return editor->lyricEdit()->playingRange().selectedText();
}

QString playingScore(KelvoEdit *editor)
{
    const QTextCursor range = editor->scoreEdit()->playingRange();
    return range.isNull() ? QString() : range.block().text();
}

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initTestApplication();
        if (!QFile::exists(SmallSoundFont))
            QSKIP("no General MIDI SoundFont installed (timgm6mb-soundfont)");
    }
    void init()
    {
        qputenv("KELVO_AUDIO_DRIVER", "file");
        qunsetenv("KELVO_AUDIO_FILE");
    }

    // F5 through the window plays the sample; the tint follows the clock
    // from character to character in both panes, and leaves the user's
    // cursor where it was.
    void followsThePosition()
    {
        TestEnvironment env;
        writePlaybackSettings("soundFont=" + SmallSoundFont + "\ntempo=200\n");
        Playing p;
        QVERIFY(p.open());
        const int cursor = p.editor()->lyricEdit()->textCursor().position();
        QTest::keyClick(p.editor()->lyricEdit(), Qt::Key_F5);
        QVERIFY(p.transport()->isPlaying());
        QCOMPARE(p.transport()->playAction()->text(), QStringLiteral("暂停"));
        // The real clock moves the tint on by itself.
        QTRY_VERIFY_WITH_TIMEOUT(p.transport()->shownCue() >= 2, 8000);

        int fake = 0;
        p.transport()->setTickSource([&fake] { return fake; });
        const LayoutItems items = p.editor()->document()->layoutItems();
        const QList<Audio::Cue> cues = p.transport()->cues();
        QVERIFY(cues.size() > 10);
        for (int k : {0, 1, 5, int(cues.size()) - 1}) {
            const Audio::Cue &cue = cues.at(k);
            fake = (cue.startTick + cue.endTick) / 2;
            p.transport()->follow();
            QCOMPARE(p.transport()->shownCue(), k);
            QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, items[cue.item].text);
            int from = 0;
            for (int i = 0; i < cue.character; ++i)
                from = int(graphemes.toNextBoundary());
            const int to = int(graphemes.toNextBoundary());
            QCOMPARE(playingLyric(p.editor()), items[cue.item].text.mid(from, to - from));
            QCOMPARE(playingScore(p.editor()), items[cue.item].scores.value(cue.character));
            // Scrolled into view in both panes.
            for (GutteredTextEdit *pane : {static_cast<GutteredTextEdit *>(p.editor()->lyricEdit()),
                                           static_cast<GutteredTextEdit *>(p.editor()->scoreEdit())})
                QVERIFY(pane->viewport()->rect().contains(
                    pane->cursorRect(pane->playingRange()).center()));
        }
        QCOMPARE(p.editor()->lyricEdit()->textCursor().position(), cursor);

        // Before the first note nothing is tinted; F5 pauses and resumes.
        fake = -1;
        p.transport()->follow();
        QVERIFY(playingLyric(p.editor()).isEmpty());
        QTest::keyClick(p.editor()->scoreEdit(), Qt::Key_F5);
        QVERIFY(p.transport()->isPaused());
        QTest::keyClick(p.editor()->lyricEdit(), Qt::Key_F5);
        QVERIFY(p.transport()->isPlaying() && !p.transport()->isPaused());

        // Another key reads the music again and plays on from the same place.
        fake = cues.at(3).startTick;
        p.transport()->transposeBox()->setValue(2);
        QVERIFY(p.transport()->isPlaying());
        p.transport()->setTickSource(nullptr);
        QVERIFY(p.transport()->player()->currentTick() >= cues.at(3).startTick);

        QTest::keyClick(p.editor()->lyricEdit(), Qt::Key_F5, Qt::ShiftModifier);
        QVERIFY(!p.transport()->isPlaying());
        QVERIFY(!p.editor()->lyricEdit()->isShowingPlaying());
        QVERIFY(!p.editor()->scoreEdit()->isShowingPlaying());
        QVERIFY(env.dialogs().requests.isEmpty());
    }

    // Any change of either text stops the music and its tint; moving the
    // cursor does not.
    void editingStops_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("stops");
        QTest::newRow("click elsewhere") << "click" << false;
        QTest::newRow("select in the lyric") << "select" << false;
        QTest::newRow("type in the lyric") << "lyric" << true;
        QTest::newRow("change the score") << "score" << true;
        QTest::newRow("undo") << "undo" << true;
    }
    void editingStops()
    {
        QFETCH(QString, action);
        QFETCH(bool, stops);
        TestEnvironment env;
        writePlaybackSettings("soundFont=" + SmallSoundFont + "\n");
        Playing p;
        QVERIFY(p.open());
        if (action == "undo") {
            p.editor()->insertComment();
            QVERIFY(p.editor()->document()->undoStack()->canUndo());
        }
        QTest::keyClick(p.window.get(), Qt::Key_F5);
        QVERIFY(p.transport()->isPlaying());
        p.transport()->setTickSource([] { return 0; });
        p.transport()->follow();
        QVERIFY(p.editor()->lyricEdit()->isShowingPlaying());

        LyricEdit *lyric = p.editor()->lyricEdit();
        if (action == "click") {
            const QTextBlock block = lyric->document()->findBlockByNumber(3);
            QTest::mouseClick(lyric->viewport(), Qt::LeftButton, {},
                              lyric->cursorRect(QTextCursor(block)).center());
        } else if (action == "select") {
            QTest::keyClick(lyric, Qt::Key_Right, Qt::ShiftModifier);
        } else if (action == "lyric") {
            QTest::keyClick(lyric, Qt::Key_End);
            QTest::keyClicks(lyric, QStringLiteral("la"));
        } else if (action == "score") {
            QTextCursor(p.editor()->document()->scoreDocument()).insertText(QStringLiteral("五"));
        } else if (action == "undo") {
            p.editor()->document()->undoStack()->undo();
        }
        QCOMPARE(p.transport()->isPlaying(), !stops);
        QCOMPARE(lyric->isShowingPlaying(), !stops);
        QCOMPARE(p.editor()->scoreEdit()->isShowingPlaying(), !stops);
    }

    // Leaving the document while it plays stops the music without a hang.
    void leaving_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("another tab") << "switch";
        QTest::newRow("close the tab") << "tab";
        QTest::newRow("close the window") << "close";
        QTest::newRow("delete the window") << "delete";
    }
    void leaving()
    {
        QFETCH(QString, how);
        TestEnvironment env;
        writePlaybackSettings("soundFont=" + SmallSoundFont + "\n");
        Playing p;
        QVERIFY(p.open());
        QPointer<KelvoEdit> sample = p.editor();
        QTest::keyClick(p.editor()->lyricEdit(), Qt::Key_F5);
        QVERIFY(p.transport()->isPlaying());
        QTRY_VERIFY(p.transport()->player()->currentTick() > 0);
        QElapsedTimer clock;
        clock.start();
        if (how == "switch") {
            p.window->newAction();
            QVERIFY(!sample->lyricEdit()->isShowingPlaying());
        } else if (how == "tab") {
            QVERIFY(p.window->tabWidgetClose(0));
            QVERIFY(!sample);
        } else if (how == "close") {
            QVERIFY(p.window->close());
            QVERIFY(!sample);
        } else {
            p.window.reset();
            QVERIFY(!sample);
            QVERIFY(clock.elapsed() < 2000);
            return;
        }
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!p.transport()->isPlaying());
        QVERIFY(!p.transport()->player()->isActive());
        QVERIFY(env.dialogs().requests.isEmpty());
    }

    // What cannot play says so once, and nothing else changes.
    void refused_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("sample");
        QTest::addColumn<QString>("lyric"); // of a new document
        QTest::addColumn<QString>("message");
        QTest::newRow("no audio device") << "nonexistent" << true << "" << "没有可用的音频设备";
        QTest::newRow("empty document") << "file" << false << "" << "没有可以播放的音符";
        QTest::newRow("lyric without notation")
            << "file" << false << "原来姹紫嫣红开遍" << "没有可以播放的音符";
    }
    void refused()
    {
        QFETCH(QString, driver);
        QFETCH(bool, sample);
        QFETCH(QString, lyric);
        QFETCH(QString, message);
        qputenv("KELVO_AUDIO_DRIVER", driver.toUtf8());
        TestEnvironment env;
        writePlaybackSettings("soundFont=" + SmallSoundFont + "\n");
        Playing p;
        QVERIFY(p.open());
        if (!sample) {
            p.window->newAction();
            p.editor()->lyricEdit()->setPlainText(lyric);
        }
        const QString before = p.editor()->lyricEdit()->toPlainText();
        QTest::keyClick(p.editor()->lyricEdit(), Qt::Key_F5);
        QCOMPARE(env.dialogs().requests.size(), 1);
        QCOMPARE(env.dialogs().requests.first().text, message);
        QVERIFY(!p.transport()->isPlaying());
        QCOMPARE(p.transport()->playAction()->text(), QStringLiteral("播放"));
        QCOMPARE(p.editor()->lyricEdit()->toPlainText(), before);
    }

    // Looping the selected characters plays round their cues, from the
    // first of them.
    void loopsTheSelection()
    {
        TestEnvironment env;
        writePlaybackSettings("soundFont=" + SmallSoundFont + "\n");
        Playing p;
        QVERIFY(p.open());
        p.transport()->loopAction()->setChecked(true);
        QTest::keyClick(p.window.get(), Qt::Key_F5);
        const QList<Audio::Cue> cues = p.transport()->cues();
        QCOMPARE(p.transport()->loopTo(), 0); // nothing selected: no loop
        p.transport()->stop();

        KelvoEdit *editor = p.editor();
        QTextCursor selection = editor->lyricEdit()->textCursor();
        selection.setPosition(editor->lyricPosition(cues.at(2).item, cues.at(2).character));
        selection.setPosition(editor->lyricPosition(cues.at(4).item, cues.at(4).character) + 1,
                              QTextCursor::KeepAnchor);
        editor->lyricEdit()->setTextCursor(selection);
        QTest::keyClick(p.window.get(), Qt::Key_F5);
        QVERIFY(p.transport()->isPlaying());
        QCOMPARE(p.transport()->loopFrom(), cues.at(2).startTick);
        QCOMPARE(p.transport()->loopTo(), cues.at(4).endTick);
        QVERIFY(p.transport()->player()->currentTick() >= cues.at(2).startTick);
        p.transport()->loopAction()->setChecked(false);
        QCOMPARE(p.transport()->loopTo(), 0);
    }

    // The controls come back as they were left; what the file says that
    // makes no sense reads as the defaults.
    void settingsPersist_data()
    {
        QTest::addColumn<QString>("stored"); // empty: set through the controls
        QTest::addColumn<int>("tempo");
        QTest::addColumn<int>("transpose");
        QTest::addColumn<int>("instrument");
        QTest::addColumn<bool>("loop");
        QTest::addColumn<int>("rhythm");
        QTest::newRow("set in the controls") << "" << 95 << -3 << 2 << true << 1;
        QTest::newRow("absurd")
            << "tempo=9999\ntranspose=abc\ninstrument=tuba\nloop=maybe\nrhythm=7\n" << 60 << 0 << 0
            << false << 0;
        QTest::newRow("too low") << "tempo=29\ntranspose=-13\n" << 60 << 0 << 0 << false << 0;
        QTest::newRow("edges") << "tempo=30\ntranspose=12\ninstrument=piano\nrhythm=proportional\n"
                               << 30 << 12 << 3 << false << 1;
    }
    void settingsPersist()
    {
        QFETCH(QString, stored);
        QFETCH(int, tempo);
        QFETCH(int, transpose);
        QFETCH(int, instrument);
        QFETCH(bool, loop);
        QFETCH(int, rhythm);
        TestEnvironment env;
        if (stored.isEmpty()) {
            MainWindow first;
            first.transport()->tempoBox()->setValue(tempo);
            first.transport()->transposeBox()->setValue(transpose);
            first.transport()->instrumentBox()->setCurrentIndex(instrument);
            first.transport()->loopAction()->setChecked(loop);
            first.transport()->rhythmBox()->setCurrentIndex(rhythm);
        } else {
            writePlaybackSettings(stored);
        }
        MainWindow w;
        QCOMPARE(w.transport()->tempoBox()->value(), tempo);
        QCOMPARE(w.transport()->transposeBox()->value(), transpose);
        QCOMPARE(w.transport()->instrumentBox()->currentIndex(), instrument);
        QCOMPARE(w.transport()->loopAction()->isChecked(), loop);
        QCOMPARE(w.transport()->instrumentBox()->count(), 4);
        QCOMPARE(w.transport()->rhythmBox()->currentIndex(), rhythm);
        QCOMPARE(w.transport()->rhythmBox()->currentText(), Music::rhythmLabel(Music::Rhythm(rhythm)));
    }

    // Another SoundFont is taken only when it can be used, and kept.
    void chooseSoundFont()
    {
        TestEnvironment env;
        const QString bad = env.dataDir() + QStringLiteral("/bad.sf2");
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("RIFF not really a SoundFont");
        file.close();
        {
            MainWindow w;
            env.dialogs().queuePath(bad);
            w.transport()->soundFontAction()->trigger();
            QCOMPARE(env.dialogs().requests.size(), 2);
            // Nothing chosen yet: the dialog opens where the system keeps them.
            QCOMPARE(env.dialogs().requests.at(0).dir, SoundFonts::systemFolder());
            QCOMPARE(env.dialogs().requests.at(0).filter, QStringLiteral("SoundFont 文件 (*.sf2)"));
            QCOMPARE(env.dialogs().requests.at(1).kind, DialogRequest::Warning);
            QVERIFY(w.transport()->settings().soundFont.isEmpty());
            if (!SoundFonts::isUsable(SmallSoundFont))
                QSKIP("SoundFont checks not built into this tree");
            env.dialogs().queuePath(SmallSoundFont);
            w.transport()->soundFontAction()->trigger();
            QCOMPARE(env.dialogs().requests.size(), 3);
        }
        MainWindow again;
        QCOMPARE(again.transport()->settings().soundFont, SmallSoundFont);
    }
};

QTEST_MAIN(TestTransport)
#include "test_transport.moc"
