// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// Live playback of a Standard MIDI File through FluidSynth's own audio
// driver thread. The GUI thread only starts, stops and polls the position.
class Player : public QObject
{
    Q_OBJECT

public:
    explicit Player(QObject *parent = nullptr);
    ~Player() override; // stops and waits for the driver thread

    // Starts playing from fromTick. False, with a message in *error, when
    // there is no audio device ("没有可用的音频设备") or no usable SoundFont.
    bool play(const QByteArray &midi, const QString &soundFont, int fromTick, QString *error);
    // Loads the SoundFont now (a large one takes a tenth of a second), so
    // that the first play() starts at once; play() does it when needed.
    // False with the message as play() gives it; also while playing with
    // another SoundFont.
    bool prepare(const QString &soundFont, QString *error = nullptr);
    void pause();
    void resume();
    void stop();

    bool isActive() const; // playing or paused
    bool isPaused() const;
    int currentTick() const;

    // Plays [fromTick, toTick) over and over; toTick <= fromTick: no loop.
    void setLoop(int fromTick, int toTick);
    void setTempo(double beatsPerMinute);

    // The audio driver; KELVO_AUDIO_DRIVER overrides it (tests use "file",
    // which writes to KELVO_AUDIO_FILE when set, else to a file of its own).
    static QString driverName();
    // The drivers play() tries in turn: the override alone, else
    // FluidSynth's default, PulseAudio, PipeWire, ALSA.
    static QStringList driverCandidates();

signals:
    void finished(); // played to the end (not after stop())

private:
    struct Engine;
    std::unique_ptr<Engine> m_engine;
};
