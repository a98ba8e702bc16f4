// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundFonts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QtEndian>

#include <fluidsynth.h>

#include <mutex>

namespace {

struct Known
{
    qint64 size = -1;
    QDateTime modified;
    QString reason; // empty: usable
};

QMutex knownLock;
QHash<QString, Known> known;

QString sentence(const QString &path, const QString &reason)
{
    return QStringLiteral("音色库“%1”无法使用（%2）。")
        .arg(QDir::toNativeSeparators(path), reason);
}

quint32 littleEndian32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

// The chunks inside [from, to) of a RIFF file: id and the place and size
// of the body. False when one reaches past the end (a cut or broken file).
template<typename Visit>
bool forEachChunk(QFile &file, qint64 from, qint64 to, Visit visit)
{
    for (qint64 at = from; at + 8 <= to;) {
        if (!file.seek(at))
            return false;
        const QByteArray head = file.read(8);
        if (head.size() < 8)
            return false;
        const qint64 size = littleEndian32(head.constData() + 4);
        if (at + 8 + size > to)
            return false;
        visit(head.left(4), at + 8, size);
        at += 8 + size + (size & 1);
    }
    return true;
}

// Whether every sample header stays inside the sample data. FluidSynth
// loads a file whose headers point past it, and silences those samples:
// the notes would come out as silence.
bool samplesInside(QFile &file, qint64 riffEnd)
{
    qint64 sampleBytes = -1, headersAt = -1, headersSize = 0;
    bool whole = true;
    whole &= forEachChunk(file, 12, riffEnd, [&](const QByteArray &id, qint64 at, qint64 size) {
        if (id != "LIST" || size < 4 || !file.seek(at))
            return;
        const QByteArray kind = file.read(4);
        whole &= forEachChunk(file, at + 4, at + size, [&](const QByteArray &sub, qint64 subAt, qint64 subSize) {
            if (kind == "sdta" && sub == "smpl")
                sampleBytes = subSize;
            else if (kind == "pdta" && sub == "shdr") {
                headersAt = subAt;
                headersSize = subSize;
            }
        });
    });
    if (!whole)
        return false;
    if (sampleBytes < 0 || headersAt < 0)
        return true; // FluidSynth's loader judges the rest
    constexpr int Record = 46;
    constexpr quint16 Rom = 0x8000, Vorbis = 0x10;
    if (!file.seek(headersAt))
        return false;
    const QByteArray headers = file.read(headersSize);
    if (headers.size() != headersSize)
        return false;
    // The last record only closes the list.
    for (qint64 i = 0; (i + 2) * Record <= headers.size(); ++i) {
        const char *record = headers.constData() + i * Record;
        const quint16 type = qFromLittleEndian<quint16>(record + 44);
        if (type & Rom)
            continue;
        // Compressed samples count bytes, the others 16-bit sample points.
        const qint64 limit = (type & Vorbis) ? sampleBytes : sampleBytes / 2;
        const qint64 start = littleEndian32(record + 20), end = littleEndian32(record + 24);
        if (start >= limit || end > limit)
            return false;
    }
    return true;
}

// The short reason why path is no usable SoundFont, empty when it is one.
QString problem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("文件不存在");
    if (!info.isFile())
        return QStringLiteral("不是文件");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("文件无法读取");
    const QByteArray head = file.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "sfbk")
        return QStringLiteral("不是 SoundFont 音色库文件");
    // A cut-off copy is the commonest damage; caught here it never reaches
    // the loaders (which would complain on standard error).
    const qint64 riffEnd = qint64(littleEndian32(head.constData() + 4)) + 8;
    if (riffEnd > info.size() || !samplesInside(file, riffEnd))
        return QStringLiteral("文件已损坏");
    file.close();

    // The structure is read without the samples: quick even for FluidR3.
    SoundFonts::quietFluidSynth();
    fluid_settings_t *settings = new_fluid_settings();
    if (!settings)
        return QStringLiteral("合成器无法启动");
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(settings, "synth.lock-memory", 0);
    fluid_synth_t *synth = new_fluid_synth(settings);
    QString reason;
    if (!synth) {
        reason = QStringLiteral("合成器无法启动");
    } else {
        if (fluid_synth_sfload(synth, QFile::encodeName(path).constData(), 0) == FLUID_FAILED)
            reason = QStringLiteral("文件已损坏");
        delete_fluid_synth(synth);
    }
    delete_fluid_settings(settings);
    return reason;
}

// problem(), remembered while the file's size and time stay the same.
QString reasonAgainst(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("没有指定文件");
    const QFileInfo info(path);
    const QString key = info.absoluteFilePath();
    // Only what the file holds is remembered: a missing or locked file may
    // be put right without changing its time.
    const bool remembered = info.isFile() && info.isReadable();
    const qint64 size = remembered ? info.size() : -1;
    const QDateTime modified = info.lastModified();
    if (remembered) {
        QMutexLocker lock(&knownLock);
        const auto it = known.constFind(key);
        if (it != known.constEnd() && it->size == size && it->modified == modified)
            return it->reason;
    }
    const QString reason = problem(path);
    if (remembered) {
        QMutexLocker lock(&knownLock);
        known.insert(key, Known{size, modified, reason});
    }
    return reason;
}

} // namespace

namespace SoundFonts {

void quietFluidSynth()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

QString systemFolder()
{
    const QString dir = qEnvironmentVariable("KELVO_SOUNDFONT_DIR");
    return dir.isEmpty() ? QStringLiteral("/usr/share/sounds/sf2") : dir;
}

QStringList systemSoundFonts()
{
    const QDir dir(systemFolder());
    QStringList found;
    for (const char *name : {"FluidR3_GM.sf2", "TimGM6mb.sf2"}) {
        const QString path = dir.absoluteFilePath(QString::fromLatin1(name));
        if (QFileInfo(path).isFile())
            found << path;
    }
    return found;
}

bool isUsable(const QString &path, QString *why)
{
    const QString reason = reasonAgainst(path);
    if (why && !reason.isEmpty())
        *why = sentence(path, reason);
    return reason.isEmpty();
}

void setUnusable(const QString &path, const QString &reason)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return;
    QMutexLocker lock(&knownLock);
    known.insert(info.absoluteFilePath(), Known{info.size(), info.lastModified(), reason});
}

QString silentReason()
{
    return QStringLiteral("奏出的音符没有声音");
}

QString noneUsableMessage()
{
    return QStringLiteral("没有可用的音色库，请安装 fluid-soundfont-gm 或 timgm6mb-soundfont。");
}

Choice choose(const QString &preferred)
{
    Choice choice;
    const QString reason = preferred.isEmpty() ? QString() : reasonAgainst(preferred);
    if (!preferred.isEmpty() && reason.isEmpty()) {
        choice.path = preferred;
        return choice;
    }
    for (const QString &path : systemSoundFonts()) {
        if (path == QFileInfo(preferred).absoluteFilePath() || !isUsable(path))
            continue;
        choice.path = path;
        if (!preferred.isEmpty())
            choice.warning = QStringLiteral("音色库“%1”无法使用（%2），已改用“%3”。")
                                 .arg(QDir::toNativeSeparators(preferred), reason,
                                      QDir::toNativeSeparators(path));
        return choice;
    }
    choice.warning = preferred.isEmpty() ? noneUsableMessage()
                                         : sentence(preferred, reason) + noneUsableMessage();
    return choice;
}

} // namespace SoundFonts
