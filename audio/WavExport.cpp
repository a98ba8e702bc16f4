// SPDX-License-Identifier: GPL-3.0-or-later
// FluidSynth's file renderer driven block by block: the MIDI player runs on
// the sample clock, so the rendering goes as fast as the CPU allows and the
// timing is exact whatever the load of the machine.

#include "WavExport.h"

#include "SoundFonts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <fluidsynth.h>

#include <cerrno>
#include <memory>

namespace Audio {

namespace {

// Samples per block: large enough to keep the per-block cost small. The
// player's events are still placed on the synthesiser's own 64-sample
// grid.
constexpr int PeriodSize = 512;
// FluidSynth's default gain (0.2) leaves room for many voices at once and
// makes a single melody line peak near -28 dBFS: far too quiet for a file
// handed to someone. A melody sounds one or two voices at a time, so ten
// times as much (peaks near -10 dBFS) still keeps clear of clipping.
constexpr double Gain = 2.0;

// Loudest sample of a file that counts as silent, about -60 dBFS: dither
// alone stays near 1, a note at the gain above is hundreds of times louder.
constexpr int SilenceLevel = 32;

const QString WriteFailure = QStringLiteral("WAV 文件无法写入");

} // namespace

QString tooLong()
{
    return QStringLiteral("乐曲太长，无法写成 WAV 文件（最长 %1 小时）")
        .arg(MaxWavSeconds / 3600, 0, 'f', 0);
}

namespace {

RenderResult failure(const QString &message)
{
    RenderResult result;
    result.message = message;
    return result;
}

// Writing the file failed, just now: the system's answer is kept.
RenderResult writeFailure()
{
    RenderResult result = failure(WriteFailure);
    result.writeFailed = true;
    result.writeError = errno;
    return result;
}

struct Fluid
{
    fluid_settings_t *settings = nullptr;
    fluid_synth_t *synth = nullptr;
    fluid_player_t *player = nullptr;
    fluid_file_renderer_t *renderer = nullptr;

    // Closing the renderer finishes the file (the WAV header's lengths).
    void closeRenderer()
    {
        if (renderer)
            delete_fluid_file_renderer(renderer);
        renderer = nullptr;
    }
    ~Fluid()
    {
        closeRenderer();
        if (player)
            delete_fluid_player(player);
        if (synth)
            delete_fluid_synth(synth);
        if (settings)
            delete_fluid_settings(settings);
    }
};

// Whether the 16-bit PCM WAV file holds a sample above SilenceLevel; it
// reads only as far as the first one.
bool audible(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(12).size() != 12)
        return false;
    for (;;) {
        const QByteArray head = file.read(8);
        if (head.size() < 8)
            return false;
        const quint32 size = qFromLittleEndian<quint32>(head.constData() + 4);
        if (head.startsWith("data"))
            break;
        if (!file.seek(file.pos() + size + (size & 1)))
            return false;
    }
    constexpr qint64 Block = 1 << 20;
    for (QByteArray block = file.read(Block); block.size() >= 2; block = file.read(Block)) {
        const char *data = block.constData();
        for (qsizetype i = 0; i + 1 < block.size(); i += 2) {
            const int sample = qFromLittleEndian<qint16>(data + i);
            if (sample > SilenceLevel || sample < -SilenceLevel)
                return true;
        }
    }
    return false;
}

// Counts the notes the player starts, on their way to the synthesiser.
struct NoteCounter
{
    fluid_synth_t *synth = nullptr;
    qint64 notes = 0;

    static int forward(void *data, fluid_midi_event_t *event)
    {
        auto *counter = static_cast<NoteCounter *>(data);
        if (fluid_midi_event_get_type(event) == 0x90 && fluid_midi_event_get_velocity(event) > 0)
            ++counter->notes;
        return fluid_synth_handle_midi_event(counter->synth, event);
    }
};

} // namespace

RenderResult renderWav(const QByteArray &midi, const QString &soundFont, const QString &path,
                       const std::function<bool(double)> &progress)
{
    if (midi.isEmpty())
        return failure(QStringLiteral("没有可导出的音符"));
    QString why;
    if (!SoundFonts::isUsable(soundFont, &why))
        return failure(why);
    const QFileInfo target(path);
    if (target.isDir()) {
        errno = EISDIR;
        return writeFailure();
    }

    SoundFonts::quietFluidSynth();
    Fluid fluid;
    fluid.settings = new_fluid_settings();
    if (!fluid.settings)
        return failure(QStringLiteral("合成器无法启动"));
    fluid_settings_setnum(fluid.settings, "synth.sample-rate", WavSampleRate);
    fluid_settings_setint(fluid.settings, "synth.audio-channels", 1); // one stereo pair
    fluid_settings_setint(fluid.settings, "synth.lock-memory", 0);
    fluid_settings_setnum(fluid.settings, "synth.gain", Gain);
    fluid_settings_setint(fluid.settings, "audio.period-size", PeriodSize);
    fluid_settings_setstr(fluid.settings, "player.timing-source", "sample");
    const QByteArray fileName = QFile::encodeName(path);
    if (fluid_settings_setstr(fluid.settings, "audio.file.type", "wav") != FLUID_OK
        || fluid_settings_setstr(fluid.settings, "audio.file.format", "s16") != FLUID_OK
        || fluid_settings_setstr(fluid.settings, "audio.file.name", fileName.constData())
               != FLUID_OK)
        return failure(QStringLiteral("此 FluidSynth 无法写入 WAV 文件"));

    fluid.synth = new_fluid_synth(fluid.settings);
    if (!fluid.synth)
        return failure(QStringLiteral("合成器无法启动"));
    if (fluid_synth_sfload(fluid.synth, QFile::encodeName(soundFont).constData(), 1)
        == FLUID_FAILED) {
        return failure(QStringLiteral("音色库“%1”无法载入。")
                           .arg(QDir::toNativeSeparators(soundFont)));
    }
    fluid.player = new_fluid_player(fluid.synth);
    if (!fluid.player
        || fluid_player_add_mem(fluid.player, midi.constData(), size_t(midi.size())) != FLUID_OK)
        return failure(QStringLiteral("MIDI 数据无法读取"));
    NoteCounter counter{fluid.synth};
    fluid_player_set_playback_callback(fluid.player, &NoteCounter::forward, &counter);
    errno = 0;
    fluid.renderer = new_fluid_file_renderer(fluid.synth);
    if (!fluid.renderer)
        return writeFailure();
    if (fluid_player_play(fluid.player) != FLUID_OK)
        return failure(QStringLiteral("MIDI 数据无法读取"));

    qint64 blocks = 0;
    const auto cancelled = [&](double fraction) {
        return progress && !progress(qBound(0.0, fraction, 1.0));
    };
    // The last fraction is kept for the tail and the finishing of the file.
    constexpr double PlayShare = 0.97;
    int lastPermille = -1;
    const qint64 maxBlocks = qint64(MaxWavSeconds * WavSampleRate / PeriodSize);
    // The player itself lingers after the last event until every voice has
    // died away, however long that takes; the piece ends at its last tick
    // here, and the tail below is the same for every SoundFont.
    while (fluid_player_get_status(fluid.player) == FLUID_PLAYER_PLAYING) {
        const int total = fluid_player_get_total_ticks(fluid.player);
        const int tick = fluid_player_get_current_tick(fluid.player);
        if (total > 0 && tick >= total)
            break;
        if (blocks >= maxBlocks)
            return failure(tooLong());
        errno = 0;
        if (fluid_file_renderer_process_block(fluid.renderer) != FLUID_OK)
            return writeFailure();
        ++blocks;
        const double fraction = total > 0 ? PlayShare * qMin(1.0, double(tick) / total) : 0.0;
        const int permille = int(fraction * 1000);
        if (permille != lastPermille) {
            lastPermille = permille;
            if (cancelled(fraction)) {
                RenderResult result;
                result.cancelled = true;
                return result;
            }
        }
    }
    const int tailBlocks = int(WavTailSeconds * WavSampleRate / PeriodSize + 0.5);
    for (int i = 0; i < tailBlocks; ++i, ++blocks) {
        errno = 0;
        if (fluid_file_renderer_process_block(fluid.renderer) != FLUID_OK)
            return writeFailure();
    }
    if (cancelled(PlayShare + (1 - PlayShare) / 2)) {
        RenderResult result;
        result.cancelled = true;
        return result;
    }
    fluid.closeRenderer();

    // The file must have come out whole: a full disk shows as a short one
    // (a device or a pipe has no length to check).
    const qint64 expected = 44 + blocks * PeriodSize * 4;
    const QFileInfo written(path);
    if (written.isFile() && written.size() < expected) {
        errno = 0; // no answer of the system to keep
        return writeFailure();
    }
    // A SoundFont can pass every check and still sound nothing (samples it
    // silences, an instrument it lacks): that is no sound to hand on. A
    // device or a pipe cannot be read back.
    if (counter.notes > 0 && written.isFile() && !audible(path)) {
        SoundFonts::setUnusable(soundFont, SoundFonts::silentReason());
        RenderResult result;
        SoundFonts::isUsable(soundFont, &result.message);
        result.silent = true;
        return result;
    }

    RenderResult result;
    result.ok = true;
    result.seconds = double(blocks) * PeriodSize / WavSampleRate;
    if (progress)
        progress(1.0);
    return result;
}

} // namespace Audio
