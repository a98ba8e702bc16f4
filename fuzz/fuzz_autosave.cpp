// SPDX-License-Identifier: GPL-3.0-or-later
// The autosave store of a running program among sessions left behind, with
// the folder disturbed under it. Input: steps of one byte each followed by
// their values (bytes; the input cycles through them until it ends):
//   0 a session left behind: its lock (none, stale, garbage) and up to three
//     documents whose copies (whole, cut off, raw bytes or none) and records
//     (a record, raw bytes or none) come from the input;
//   1 the program writes a document, 2 it removes one (saved or closed);
//   3 the folder is disturbed: the autosave folder, the session folder, its
//     lock or one copy removed, the lock replaced by another file, or a file
//     put where damaged copies are set aside;
//   4 the program's tick (what the Autosaver does: keep the session and write
//     every document whose copy has gone), then a second program looks;
//   5 a tick, then a second program claims what was left and answers each
//     document (discard, keep for later, restore into the running program);
//   6 the program crashes and starts again.
//
// Invariants: after a tick every document of the program is in its session,
// as last written, and no second program is offered that session; a copy
// left behind vanishes only when discarded or restored (a damaged one is set
// aside or stays where it is).

#include "FuzzSupport.h"

#include "document/AutosaveStore.h"
#include "document/ScoreFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QSysInfo>

#include <algorithm>
#include <memory>

namespace {

constexpr int Documents = 4;
constexpr int MaxSteps = 48;

struct Left
{
    QString dir;
    QString id;
    QByteArray bytes; // of its copy
};

bool put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Run
{
public:
    Run(const QString &root, Fuzz::Reader &reader)
        : m_root(root)
        , m_in(reader)
        , m_live(std::make_unique<AutosaveStore>(root))
    {
    }

    ~Run()
    {
        clearForeignLocks();
        m_live.reset();
    }

    void step(int op)
    {
        switch (op % 7) {
        case 0: leaveSession(); break;
        case 1: {
            const int n = m_in.byte() % Documents;
            write(n, text());
            break;
        }
        case 2: {
            const int n = m_in.byte() % Documents;
            m_live->remove(id(n));
            m_written[n] = false;
            break;
        }
        case 3: disturb(); break;
        case 4: tick(); break;
        case 5: tick(); claim(); break;
        default: crash(); break;
        }
    }

    // Every copy left behind is somewhere under the folder, byte for byte.
    void checkNothingVanished() const
    {
        QHash<QByteArray, int> found;
        QDirIterator it(m_root, {QStringLiteral("*.gcp")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            ++found[bytesOf(it.next())];
        for (const Left &left : m_left)
            FUZZ_CHECK(found[left.bytes]-- > 0,
                       QStringLiteral("copy %1 of %2 is gone").arg(left.id, left.dir));
    }

private:
    static QString id(int n) { return QStringLiteral("doc-%1").arg(n); }

    // Locks standing where the program's were (step 3) keep it from letting
    // go of its own for good (it never deletes another's file): out of the
    // way before it ends, as if their programs had ended too.
    void clearForeignLocks()
    {
        QDirIterator it(m_root, {QStringLiteral("*.lock")}, QDir::Files);
        while (it.hasNext()) {
            const QString lock = it.next();
            if (lock != m_live->sessionDir() + QStringLiteral(".lock"))
                QFile::remove(lock);
        }
    }

    QString text()
    {
        QByteArray bytes;
        for (int n = m_in.byte() % 24; n > 0; --n)
            bytes += char(m_in.byte());
        return QString::fromUtf8(bytes);
    }

    void write(int n, const QString &lyric)
    {
        AutosaveStore::Entry entry;
        entry.id = id(n);
        entry.originalPath = QStringLiteral("/scores/%1.gcp").arg(n);
        entry.title = lyric.left(8);
        FUZZ_CHECK(m_live->write(entry, lyric, QString()), entry.id);
        m_texts[n] = lyric;
        m_written[n] = true;
    }

    void leaveSession()
    {
        const QString dir =
            QDir(m_root).filePath(QStringLiteral("session-left-%1").arg(m_sessions++));
        if (!QDir().mkpath(dir))
            return;
        const QString lock = dir + QStringLiteral(".lock");
        switch (m_in.byte() % 3) {
        case 0: break;
        case 1: // a program that has ended (no such process)
            put(lock, QByteArray("99999999\nkelvo-gongche\n")
                          + QSysInfo::machineHostName().toUtf8() + '\n');
            break;
        default: put(lock, text().toUtf8()); break;
        }
        for (int d = m_in.byte() % 3; d >= 0; --d) {
            const QString name = id(m_in.byte() % Documents);
            const QString copy = QDir(dir).filePath(name + QStringLiteral(".gcp"));
            const QString record = QDir(dir).filePath(name + QStringLiteral(".json"));
            // One value after the other: arguments have no order of their own.
            const QString lyric = text();
            const QString score = text();
            const QByteArray whole = ScoreFile::encode(lyric, score);
            QByteArray bytes;
            switch (m_in.byte() % 4) {
            case 0: bytes = whole; break;
            case 1: bytes = whole.left(m_in.byte() % (whole.size() + 1)); break;
            case 2: bytes = text().toUtf8(); break;
            default: bytes = QByteArray(); break;
            }
            if (!bytes.isNull() && put(copy, bytes)) {
                m_left.erase(std::remove_if(m_left.begin(), m_left.end(),
                                            [&](const Left &l) { return l.dir == dir && l.id == name; }),
                             m_left.end());
                m_left.push_back({dir, name, bytes});
            }
            switch (m_in.byte() % 3) {
            case 0: {
                const QString path = m_in.byte() % 2 ? QStringLiteral("/a/b.gcp") : QStringLiteral("b.gcp");
                const QString title = text();
                const QString saved = text();
                put(record, QStringLiteral("{\"path\": \"%1\", \"title\": \"%2\", \"saved\": \"%3\"}")
                                .arg(path, title, saved)
                                .toUtf8());
                break;
            }
            case 1: put(record, text().toUtf8()); break;
            default: break;
            }
        }
    }

    void disturb()
    {
        const QString session = m_live->sessionDir();
        const int kind = m_in.byte() % 6;
        // No session yet: nothing of it to disturb (and an empty path would
        // name the current folder).
        if (session.isEmpty() && kind >= 1 && kind <= 4)
            return;
        switch (kind) {
        case 0:
            // The user's own doing: what was left behind goes with it.
            QDir(m_root).removeRecursively();
            m_left.clear();
            break;
        case 1: QDir(session).removeRecursively(); break;
        case 2: QFile::remove(session + QStringLiteral(".lock")); break;
        case 3: {
            const QString name = id(m_in.byte() % Documents);
            QFile::remove(QDir(session).filePath(
                name + (m_in.byte() % 2 ? QStringLiteral(".gcp") : QStringLiteral(".json"))));
            break;
        }
        case 4:
            if (QFile::remove(session + QStringLiteral(".lock")))
                put(session + QStringLiteral(".lock"), text().toUtf8());
            break;
        default: // where damaged copies are set aside
            put(QDir(m_root).filePath(QStringLiteral("damaged")), QByteArray());
            break;
        }
    }

    void tick()
    {
        FUZZ_CHECK(m_live->keepSession(), m_live->sessionDir());
        for (int n = 0; n < Documents; ++n) {
            if (m_written[n] && !m_live->holds(id(n)))
                write(n, m_texts[n]);
        }
        const QDir session(m_live->sessionDir());
        for (int n = 0; n < Documents; ++n) {
            if (!m_written[n])
                continue;
            const ScoreFile::Decoded copy =
                ScoreFile::decode(bytesOf(session.filePath(id(n) + QStringLiteral(".gcp"))));
            FUZZ_CHECK(copy.ok() && copy.lyric == m_texts[n], id(n) + QStringLiteral(" not kept"));
        }
        // A second program starting now.
        const auto leftovers = AutosaveStore::claimLeftovers(m_root);
        for (const auto &leftover : leftovers)
            FUZZ_CHECK(leftover->dir() != m_live->sessionDir(), QStringLiteral("live session offered"));
    }

    void claim()
    {
        const auto leftovers = AutosaveStore::claimLeftovers(m_root);
        for (const auto &leftover : leftovers) {
            FUZZ_CHECK(leftover->dir() != m_live->sessionDir(), QStringLiteral("live session offered"));
            for (const AutosaveStore::Entry &entry : leftover->entries()) {
                QString lyric;
                QString score;
                if (!leftover->read(entry, &lyric, &score)) {
                    QString damaged;
                    leftover->setAside(entry, &damaged);
                    continue;
                }
                const int answer = m_in.byte() % 3;
                if (answer == 1)
                    continue; // asked again next time
                if (answer == 2)
                    write(m_in.byte() % Documents, lyric);
                leftover->discard(entry);
                m_left.erase(std::remove_if(m_left.begin(), m_left.end(),
                                            [&](const Left &l) {
                                                return l.dir == leftover->dir() && l.id == entry.id;
                                            }),
                             m_left.end());
            }
        }
    }

    void crash()
    {
        // Its copies are now left behind, as they are on disk.
        const QString session = m_live->sessionDir();
        for (int n = 0; n < Documents; ++n) {
            const QString copy = QDir(session).filePath(id(n) + QStringLiteral(".gcp"));
            if (!session.isEmpty() && QFileInfo(copy).isFile())
                m_left.push_back({session, id(n), bytesOf(copy)});
            m_texts[n].clear();
            m_written[n] = false;
        }
        clearForeignLocks();
        m_live.reset();
        m_live = std::make_unique<AutosaveStore>(m_root);
    }

    QString m_root;
    Fuzz::Reader &m_in;
    std::unique_ptr<AutosaveStore> m_live;
    QString m_texts[Documents];
    bool m_written[Documents] = {};
    QList<Left> m_left;
    int m_sessions = 0;
};

} // namespace

KELVO_FUZZ_TARGET(autosave)
{
    if (size > 4096)
        return 0;
    Fuzz::init();
    static int runs = 0;
    const QString root = QDir(Fuzz::workDir()).filePath(QStringLiteral("autosave-%1").arg(runs++));
    {
        Fuzz::Reader reader(data, size);
        Run run(root, reader);
        for (int i = 0; i < MaxSteps && !reader.atEnd(); ++i) {
            run.step(reader.byte());
            run.checkNothingVanished();
        }
    }
    QDir(root).removeRecursively();
    return 0;
}
