// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/Following.h"
#include "audio/PlaybackSettings.h"

#include <QPair>
#include <QPointer>
#include <QToolBar>

#include <functional>

class KelvoEdit;
class Player;
class QComboBox;
class QSpinBox;
class QTimer;

// The main window's playback controls: play/pause, stop, play from the
// cursor's character, tempo, transposition, instrument, looping of the
// selected characters and the SoundFont. While a document plays, a timer
// on the GUI thread reads the player's position and tints the character
// being sung in both panes; the sound itself comes from the player's
// driver thread. Any edit of the document, another tab or closing it stops
// playback.
class Transport : public QToolBar
{
    Q_OBJECT

public:
    explicit Transport(QWidget *parent = nullptr);
    ~Transport() override;

    // The document the controls act on (the current tab's); another one,
    // or none, stops what is playing.
    void setEditor(KelvoEdit *editor);
    KelvoEdit *editor() const { return m_editor; }
    // Stops at once when editor is the one playing (its tab is closing).
    void release(KelvoEdit *editor);

    bool isPlaying() const; // started and not stopped (perhaps paused)
    bool isPaused() const;
    const PlaybackSettings &settings() const { return m_settings; }
    Player *player() const { return m_player; }
    // The cues of the performance playing, and the one tinted (-1: none).
    const QList<Audio::Cue> &cues() const { return m_cues; }
    int shownCue() const { return m_shownCue; }
    // Loop range set on the player (equal ends: none).
    int loopFrom() const { return m_loopFrom; }
    int loopTo() const { return m_loopTo; }

    QAction *playAction() const { return m_play; }
    QAction *stopAction() const { return m_stop; }
    QAction *playFromCursorAction() const { return m_playFromCursor; }
    QAction *loopAction() const { return m_loop; }
    QAction *soundFontAction() const { return m_soundFont; }
    QSpinBox *tempoBox() const { return m_tempo; }
    QSpinBox *transposeBox() const { return m_transpose; }
    QComboBox *instrumentBox() const { return m_instrument; }
    QComboBox *rhythmBox() const { return m_rhythm; }

    // Where the following reads the position (tests: a fake clock); null
    // restores the player's.
    void setTickSource(std::function<int()> source);
    // Tints the character at the position now; the timer calls it about
    // thirty times a second while playing.
    void follow();

public slots:
    void playPause();
    void stop();
    void playFromCursor();
    void chooseSoundFont();

signals:
    void playingChanged(bool playing);

private:
    // Reads the current document and starts the player at the tick where
    // picks from its cues; false, after saying why, when nothing plays.
    bool start(const std::function<int(const QList<Audio::Cue> &)> &where);
    // The ticks of the selected characters when looping them, else (0, 0).
    QPair<int, int> loopRange(const QList<Audio::Cue> &cues) const;
    void finish(); // back to idle: timer off, tints gone
    void restartHere(); // after a change that needs the music read again
    void applyLoop();
    void onDocumentChanged();
    void onSettingChanged();
    void saveSettings() const;
    QString soundFontPath() const; // the one to play with
    void refreshActions();
    QString documentText() const;

    Player *m_player;
    QTimer *m_timer;
    std::function<int()> m_tickSource;
    PlaybackSettings m_settings;
    QPointer<KelvoEdit> m_editor;  // the current tab's
    QPointer<KelvoEdit> m_playing; // the one playing, null when idle
    QString m_playedText;          // both texts as they were when playing started
    QList<Audio::Cue> m_cues;
    int m_shownCue = -1;
    int m_loopFrom = 0, m_loopTo = 0;
    QString m_warnedSoundFont;

    QAction *m_play, *m_stop, *m_playFromCursor, *m_loop, *m_soundFont;
    QSpinBox *m_tempo, *m_transpose;
    QComboBox *m_instrument, *m_rhythm;
};
