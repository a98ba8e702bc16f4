// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the fuzz targets: one-time set-up, scratch files and invariant
// checks. Every target is written as
//
//     KELVO_FUZZ_TARGET(name) { ...; return 0; }
//
// which is libFuzzer's entry point in a fuzzing build and, with
// KELVO_FUZZ_REPLAY, a function registered with the replay driver, so all
// targets share one ordinary test program.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

class EditorConfig;
class ExportConfig;

namespace Fuzz {

using TargetFunction = int (*)(const uint8_t *data, size_t size);

// Replay driver only: remembers a target under its name.
bool registerTarget(const char *name, TargetFunction function);
TargetFunction findTarget(const QString &name);
QStringList targetNames();

// Once per process: a QApplication on the offscreen platform, the
// compiled-in resources, a private data folder (nothing touches the user's
// settings) and dialogs answered without a user.
void init();

// The process's private scratch folder.
QString workDir();
// Writes the bytes to a new file in the scratch folder and returns its path.
// The previous file of the same stem is removed: a fresh path per input
// keeps loaders with per-path caches (QSettings) from reading stale data.
QString writeFile(const QString &stem, const QByteArray &bytes);
// A path in the scratch folder that does not exist yet (same renewal rule).
QString freshPath(const QString &stem);

// The input as bytes, without copying.
inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Reports a broken invariant and aborts, so that the fuzzer keeps the input
// and the replay test fails.
[[noreturn]] void fail(const char *condition, const char *file, int line, const QString &detail);

// Every value the getters report, as text (for comparisons with a readable
// difference).
QStringList snapshot(const ExportConfig &config);
QStringList snapshot(const EditorConfig &config);
// The ranges the getters promise, whatever was loaded.
void checkBounds(const ExportConfig &config);
void checkBounds(const EditorConfig &config);
// First differing entry of two snapshots, for failure messages.
QString difference(const QStringList &a, const QStringList &b);

// Reads the fuzzer's bytes as a sequence of small values; zeros once the
// data is used up.
class Reader
{
public:
    Reader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    bool atEnd() const { return m_pos >= m_size; }
    uint16_t word()
    {
        const uint16_t high = byte();
        return uint16_t(high << 8 | byte());
    }
    int int16() { return int(int16_t(word())); }
    // A value in lo..hi (inclusive).
    int range(int lo, int hi) { return lo + int(word() % uint32_t(hi - lo + 1)); }
    QByteArray rest()
    {
        const QByteArray r = bytes(m_data + m_pos, m_size - m_pos);
        m_pos = m_size;
        return r;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace Fuzz

#define FUZZ_CHECK(condition, detail)                                                  \
    do {                                                                               \
        if (!(condition))                                                              \
            ::Fuzz::fail(#condition, __FILE__, __LINE__, (detail));                    \
    } while (false)

#ifdef KELVO_FUZZ_REPLAY
#define KELVO_FUZZ_TARGET(name)                                                        \
    static int fuzzTarget_##name(const uint8_t *data, size_t size);                    \
    [[maybe_unused]] static const bool fuzzRegistered_##name =                         \
        ::Fuzz::registerTarget(#name, fuzzTarget_##name);                              \
    static int fuzzTarget_##name(const uint8_t *data, size_t size)
#else
#define KELVO_FUZZ_TARGET(name)                                                        \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
#endif
