// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

class QLockFile;

// Copies of unsaved documents, kept so that a crash loses at most a few
// minutes of work. Each running program writes into its own session folder
// under the autosave folder; a lock file beside that folder says the session
// is alive. A session folder whose lock nobody holds was left by a program
// that ended without closing cleanly, and its documents can be recovered.
// Per document the folder holds <id>.gcp (the score file's own format) and
// <id>.json (where it came from and when it was written). Plain code, no
// widgets; the caller chooses the folder.
class AutosaveStore
{
public:
    struct Entry
    {
        QString id;           // names the document's files in the session folder
        QString originalPath; // the user's file (absolute), empty for a document never saved
        // A relative path an older version recorded: shown, never bound,
        // since it does not say which folder it meant.
        QString unusablePath;
        QString title; // the tab title without the modified mark
        QDateTime savedAt;
    };

    explicit AutosaveStore(const QString &rootDir);
    // Releases the lock. A session holding no document is removed; one that
    // still holds documents stays to be offered at the next start.
    ~AutosaveStore();
    AutosaveStore(const AutosaveStore &) = delete;
    AutosaveStore &operator=(const AutosaveStore &) = delete;

    // Writes (atomically) one document's copy and its record, replacing the
    // earlier ones of the same id. The session folder is created and locked
    // on the first write. False when anything could not be written.
    bool write(const Entry &entry, const QString &lyric, const QString &score);
    void remove(const QString &id);
    // Whether the session folder holds a copy and a record of id now
    // (someone may have removed them).
    bool holds(const QString &id) const;
    // Puts back the session's lock and folder when they went missing since
    // the first write (the autosave folder removed by hand): the lock first,
    // so that no other program takes this live session for one left behind.
    // A lock taken over by another program meanwhile makes a new session
    // folder; the copies then have to be written again (see holds). True
    // when the session is whole, or none was started.
    bool keepSession();
    bool isEmpty() const;
    // Removes the session folder with everything in it (a clean close).
    void endSession();
    // Empty until the first write.
    QString sessionDir() const { return m_sessionDir; }

    // A session folder left behind by a program that did not close cleanly.
    // Holding this object holds the session's lock, so that two programs
    // starting together never offer the same documents.
    class Leftover
    {
    public:
        ~Leftover(); // releases the lock; removes the folder once it is empty
        Leftover(const Leftover &) = delete;
        Leftover &operator=(const Leftover &) = delete;

        QString dir() const { return m_dir; }
        // Documents in the folder, oldest first. A record that cannot be
        // read still gives an entry (its id as title), so it is not lost.
        QList<Entry> entries() const;
        // The document's two texts; false when its files are damaged.
        bool read(const Entry &entry, QString *lyric, QString *score) const;
        void discard(const Entry &entry);
        // Moves the document's files into the autosave folder's damaged/
        // folder (returned in *damagedDir), where nothing ever deletes them.
        // False when they could not all be moved: what was not stays here
        // and the document is offered again at the next start.
        bool setAside(const Entry &entry, QString *damagedDir);

    private:
        friend class AutosaveStore;
        Leftover(const QString &root, const QString &dir, std::unique_ptr<QLockFile> lock);
        QString m_root;
        QString m_dir;
        std::unique_ptr<QLockFile> m_lock;
    };

    // Claims every session folder under rootDir whose lock is free (its
    // program has ended); sessions of running programs are left alone.
    // Empty folders are removed on the way.
    static std::vector<std::unique_ptr<Leftover>> claimLeftovers(const QString &rootDir);

    // Document ids in the order their documents were opened ("doc-2"
    // before "doc-10"); recovery offers them so.
    static bool openedBefore(const QString &a, const QString &b)
    {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    }

private:
    bool ensureSession();
    bool holdsLock() const;
    bool lockSession(const QString &dir);
    // A lock whose file went or was taken over is let go (into m_yielded
    // when another program's file stands at its path).
    void dropLostLock();
    void releaseYielded();

    QString m_root;
    QString m_sessionDir;
    std::unique_ptr<QLockFile> m_lock;
    std::vector<std::pair<QString, std::unique_ptr<QLockFile>>> m_yielded;
};
