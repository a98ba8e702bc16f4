// SPDX-License-Identifier: GPL-3.0-or-later
#include "Player.h"

#include "audio/SoundFonts.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

namespace {

// How often the GUI thread looks whether the piece has ended.
constexpr int PollMilliseconds = 20;

QString noDeviceMessage()
{
    return QStringLiteral("没有可用的音频设备");
}

} // namespace

// Everything the audio thread touches lives here, and the audio thread is
// joined (by deleting the driver) before any of it goes away.
struct Player::Engine
{
    fluid_settings_t *settings = nullptr;
    fluid_synth_t *synth = nullptr;
    QString soundFontPath; // the one loaded in synth, kept for the next play
    fluid_player_t *player = nullptr;
    fluid_audio_driver_t *driver = nullptr;
    std::unique_ptr<QTemporaryDir> fileDriverDir;

    QTimer *poll = nullptr; // the Player's child, so it follows the Player's thread
    bool paused = false;
    double tempo = 0; // quarter beats a minute; 0: the file's own

    // Shared with the audio thread.
    std::atomic<int> tick{0};
    std::atomic<bool> holding{false}; // paused: the position stays put
    std::atomic<int> loopFrom{0}, loopTo{0};
    std::atomic<double> pendingTempo{0};
    // Closed while paused: the audio thread then passes no note-on to the
    // synth, so no note can start after the pause has silenced them all.
    std::mutex gateMutex;
    bool gateOpen = true;

    ~Engine()
    {
        stopPlayback();
        if (synth)
            delete_fluid_synth(synth);
        if (settings)
            delete_fluid_settings(settings);
    }

    // Ends playback: driver first (joins the audio thread), then the
    // player; the synth and its SoundFont stay for the next play.
    void stopPlayback()
    {
        if (poll)
            poll->stop();
        if (driver) {
            delete_fluid_audio_driver(driver);
            driver = nullptr;
        }
        if (player) {
            delete_fluid_player(player);
            player = nullptr;
        }
        if (synth)
            fluid_synth_all_sounds_off(synth, -1);
        paused = false;
        holding = false;
        tick = 0;
        std::lock_guard<std::mutex> lock(gateMutex);
        gateOpen = true;
    }

    bool prepareSynth(const QString &soundFont, QString *error)
    {
        if (synth && soundFont == soundFontPath)
            return true;
        if (soundFont.isEmpty()) {
            *error = QStringLiteral("没有可用的音色库（SoundFont），无法播放");
            return false;
        }
        const QFileInfo info(soundFont);
        if (!info.isFile()) {
            *error = QStringLiteral("找不到音色库文件：%1").arg(soundFont);
            return false;
        }
        if (!settings) {
            settings = new_fluid_settings();
            if (!settings) {
                *error = noDeviceMessage();
                return false;
            }
        }
        if (synth) {
            delete_fluid_synth(synth);
            synth = nullptr;
            soundFontPath.clear();
        }
        synth = new_fluid_synth(settings);
        if (!synth) {
            *error = noDeviceMessage();
            return false;
        }
        // The check also refuses files FluidSynth loads only to play them
        // silent (samples outside the sample data).
        if (!SoundFonts::isUsable(soundFont)
            || fluid_synth_sfload(synth, QFile::encodeName(soundFont).constData(), 1) == FLUID_FAILED) {
            delete_fluid_synth(synth);
            synth = nullptr;
            *error = QStringLiteral("音色库文件无法载入：%1").arg(soundFont);
            return false;
        }
        soundFontPath = soundFont;
        return true;
    }

    // The audio driver on the first candidate that opens.
    bool openDriver(QString *error)
    {
        for (const QString &name : Player::driverCandidates()) {
            if (fluid_settings_setstr(settings, "audio.driver", name.toUtf8().constData()) != FLUID_OK)
                continue;
            if (name == QLatin1String("file") && !setOutputFile())
                continue;
            driver = new_fluid_audio_driver(settings, synth);
            if (driver)
                return true;
        }
        *error = noDeviceMessage();
        return false;
    }

    // The file driver (tests, machines without sound) writes into a
    // folder of its own unless KELVO_AUDIO_FILE names the file.
    bool setOutputFile()
    {
        QString path = qEnvironmentVariable("KELVO_AUDIO_FILE");
        if (path.isEmpty()) {
            if (!fileDriverDir)
                fileDriverDir = std::make_unique<QTemporaryDir>();
            if (!fileDriverDir->isValid())
                return false;
            path = fileDriverDir->filePath(QStringLiteral("playback.wav"));
        }
        return fluid_settings_setstr(settings, "audio.file.name", QFile::encodeName(path).constData())
               == FLUID_OK;
    }

    // On the audio thread, once a tick.
    static int onTick(void *data, int tick)
    {
        auto *engine = static_cast<Engine *>(data);
        const double tempo = engine->pendingTempo.exchange(0);
        if (tempo > 0)
            fluid_player_set_tempo(engine->player, FLUID_PLAYER_TEMPO_EXTERNAL_BPM, tempo);
        const int from = engine->loopFrom, to = engine->loopTo;
        if (to > from && tick >= to)
            fluid_player_seek(engine->player, from);
        if (!engine->holding)
            engine->tick = tick;
        return FLUID_OK;
    }

    // On the audio thread, for every event the file sends.
    static int onEvent(void *data, fluid_midi_event_t *event)
    {
        auto *engine = static_cast<Engine *>(data);
        std::lock_guard<std::mutex> lock(engine->gateMutex);
        if (!engine->gateOpen && fluid_midi_event_get_type(event) == 0x90)
            return FLUID_OK;
        return fluid_synth_handle_midi_event(engine->synth, event);
    }

    void setGate(bool open)
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        gateOpen = open;
    }
};

Player::Player(QObject *parent)
    : QObject(parent)
    , m_engine(std::make_unique<Engine>())
{
    SoundFonts::quietFluidSynth();
    m_engine->poll = new QTimer(this);
    m_engine->poll->setInterval(PollMilliseconds);
    connect(m_engine->poll, &QTimer::timeout, this, [this] {
        Engine &e = *m_engine;
        if (!e.player || e.paused || fluid_player_get_status(e.player) != FLUID_PLAYER_DONE)
            return;
        const int from = e.loopFrom, to = e.loopTo;
        if (to > from) {
            // The loop reaches past the last note: go round from here.
            fluid_player_seek(e.player, from);
            e.tick = from;
            fluid_player_play(e.player);
            return;
        }
        e.stopPlayback();
        emit finished();
    });
}

Player::~Player() = default;

bool Player::play(const QByteArray &midi, const QString &soundFont, int fromTick, QString *error)
{
    QString message;
    Engine &e = *m_engine;
    e.stopPlayback();
    if (!e.prepareSynth(soundFont, &message)) {
        if (error)
            *error = message;
        return false;
    }
    e.player = new_fluid_player(e.synth);
    if (!e.player || fluid_player_add_mem(e.player, midi.constData(), size_t(midi.size())) != FLUID_OK) {
        e.stopPlayback();
        if (error)
            *error = QStringLiteral("乐谱无法播放");
        return false;
    }
    fluid_player_set_playback_callback(e.player, &Engine::onEvent, &e);
    fluid_player_set_tick_callback(e.player, &Engine::onTick, &e);
    if (e.tempo > 0)
        fluid_player_set_tempo(e.player, FLUID_PLAYER_TEMPO_EXTERNAL_BPM, e.tempo);
    e.pendingTempo = 0;
    fromTick = std::max(fromTick, 0);
    if (fromTick > 0)
        fluid_player_seek(e.player, fromTick);
    e.tick = fromTick;
    fluid_player_play(e.player);
    // The driver last: until it runs, nothing else touches the player.
    if (!e.openDriver(&message)) {
        e.stopPlayback();
        if (error)
            *error = message;
        return false;
    }
    e.poll->start();
    return true;
}

bool Player::prepare(const QString &soundFont, QString *error)
{
    if (isActive() && soundFont != m_engine->soundFontPath) {
        // The playing synth keeps its SoundFont until stopped.
        if (error)
            *error = QStringLiteral("播放时不能更换音色库");
        return false;
    }
    QString message;
    if (m_engine->prepareSynth(soundFont, &message))
        return true;
    if (error)
        *error = message;
    return false;
}

void Player::pause()
{
    Engine &e = *m_engine;
    if (!e.player || e.paused)
        return;
    e.paused = true;
    e.holding = true;
    e.setGate(false);
    fluid_player_stop(e.player);
    fluid_synth_all_notes_off(e.synth, -1);
}

void Player::resume()
{
    Engine &e = *m_engine;
    if (!e.player || !e.paused)
        return;
    e.paused = false;
    fluid_player_seek(e.player, e.tick);
    e.setGate(true);
    e.holding = false;
    fluid_player_play(e.player);
}

void Player::stop()
{
    m_engine->stopPlayback();
}

bool Player::isActive() const
{
    return m_engine->player != nullptr;
}

bool Player::isPaused() const
{
    return m_engine->paused;
}

int Player::currentTick() const
{
    return m_engine->tick;
}

void Player::setLoop(int fromTick, int toTick)
{
    fromTick = std::max(fromTick, 0);
    if (toTick <= fromTick)
        fromTick = toTick = 0;
    // The end first off, so the audio thread never sees a loop that ends
    // before it starts.
    m_engine->loopTo = 0;
    m_engine->loopFrom = fromTick;
    m_engine->loopTo = toTick;
}

void Player::setTempo(double beatsPerMinute)
{
    if (!std::isfinite(beatsPerMinute) || beatsPerMinute <= 0)
        return;
    Engine &e = *m_engine;
    e.tempo = std::clamp(beatsPerMinute, 1.0, 1000.0);
    if (e.player)
        e.pendingTempo = e.tempo; // taken up by the audio thread
}

QStringList Player::driverCandidates()
{
    const QString forced = qEnvironmentVariable("KELVO_AUDIO_DRIVER").trimmed();
    if (!forced.isEmpty())
        return {forced};
    QStringList names;
    SoundFonts::quietFluidSynth();
    if (fluid_settings_t *settings = new_fluid_settings()) {
        char *name = nullptr;
        // Empty when FluidSynth was built without a preference.
        if (fluid_settings_getstr_default(settings, "audio.driver", &name) == FLUID_OK && name
            && *name)
            names.append(QString::fromUtf8(name));
        delete_fluid_settings(settings);
    }
    for (const char *name : {"pulseaudio", "pipewire", "alsa"}) {
        if (!names.contains(QLatin1String(name)))
            names.append(QLatin1String(name));
    }
    return names;
}

QString Player::driverName()
{
    const QStringList names = driverCandidates();
    return names.isEmpty() ? QString() : names.first();
}
