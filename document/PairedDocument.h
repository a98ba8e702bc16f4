// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/FileStamp.h"
#include "document/LayoutItem.h"

#include <QObject>
#include <QString>
#include <QTextCursor>

class PairingIndex;
namespace ScoreFile {
struct Decoded;
}
class QTextDocument;
class QUndoStack;

// One score document without any widget: the lyric and score texts, the
// pairing between them, the undo stack of the edit commands, the file
// binding and the modified state. The edit commands work on it alone.
//
// It also keeps one cursor per text: where the next command edits and
// where the last one left the user. A view shows the texts and keeps these
// cursors equal to its panes' cursors: it reports the user's moves with
// adoptCursors and places its panes when lyricCursorChanged or
// scoreCursorChanged say that the document moved a cursor.
class PairedDocument : public QObject
{
    Q_OBJECT

public:
    // The outcome of load and save: the message a view shows (a warning
    // when not ok, information when ok), empty when there is nothing to say.
    struct FileResult
    {
        bool ok = false;
        QString title;
        QString text;
    };

    explicit PairedDocument(QObject *parent = nullptr);
    ~PairedDocument() override;

    // They carry a layout that lays nothing out: a view gives them the one
    // it draws with.
    QTextDocument *lyricDocument() const { return m_lyric; }
    QTextDocument *scoreDocument() const { return m_score; }
    QString lyricText() const;
    QString scoreText() const;
    QUndoStack *undoStack() const { return m_undoStack; }

    // ---- Pairing (cached; see PairingIndex) ----
    const PairingIndex &pairing() const { return *m_pairing; }
    int scoreLineAt(int position) const;
    int positionAfterPaired(int n) const;
    QString pairedText() const;
    QString pairedCharacterAt(int n) const;

    // n empty score lines so that they become lines k .. k + n - 1
    // (appended when k is past the end). One undo step of the score text.
    void insertEmptyLines(int k, int n);
    // Removes score lines k .. k + n - 1 (as many as exist); nothing when k
    // is past the end or n < 1. One undo step of the score text.
    void removeLines(int k, int n);
    // The same on any score text.
    static void insertEmptyLines(QTextDocument *score, int k, int n);
    static void removeLines(QTextDocument *score, int k, int n);

    // ---- Cursors ----
    QTextCursor lyricCursor() const { return m_lyricCursor; }
    QTextCursor scoreCursor() const { return m_scoreCursor; }
    // Moves a cursor and tells the views (lyricCursorChanged, ...).
    void setLyricCursor(const QTextCursor &cursor);
    void setScoreCursor(const QTextCursor &cursor);
    // Takes over the cursors a view's panes have now, telling nobody.
    void adoptCursors(const QTextCursor &lyric, const QTextCursor &score);
    // Places the score cursor where the lyric cursor's pairing says (a
    // selection of whole score lines for a lyric selection), then emits
    // lyricCursorMirrored. Nothing while syncing.
    void mirrorLyricCursor();
    // The other way round: the lyric cursor after the paired character of
    // the score line (the paired characters of a line selection), then
    // scoreCursorMirrored. Nothing while syncing.
    void mirrorScoreCursor();

    // True while an edit or a cursor synchronisation is being applied; the
    // cursor handlers of a view then do nothing.
    bool isSyncing() const { return m_syncing; }
    void setSyncing(bool syncing) { m_syncing = syncing; }

    // ---- File binding and modified state ----
    QString filePath() const { return m_filePath; }
    void setFilePath(const QString &path) { m_filePath = path; }
    // True for a document never bound to a file (filePath() is "未命名").
    bool isUntitled() const;
    // File name of filePath() ("未命名" for a new document), "*" when modified.
    QString displayName() const;
    bool isModified() const { return m_modified; }
    // Emits modifiedChanged(modified) when the state changes.
    void setModified(bool modified);
    // Marks the document modified if either text was edited since the last
    // look; formatting (highlighting) is no edit. Called on every change.
    void markModifiedIfEdited();

    // Reads a .gcp file into this document (texts, absolute path,
    // unmodified, empty histories). Not ok: the document is unchanged.
    FileResult load(const QString &path);
    // Reads the bound file again in place of the texts, as one undo step
    // (undoing it brings the user's text back, modified). Unmodified
    // afterwards. Not ok: the document is unchanged.
    FileResult reload();
    // Writes both texts to path. Unless asCopy, the document is bound to
    // path before writing (a failed write keeps the new name and the
    // modified state) and is unmodified after a good one; a copy changes
    // neither and reports its success.
    FileResult save(const QString &path, bool asCopy = false);
    // Recovered texts: bound to path (empty or relative: left as it is) and
    // modified, so that nothing reaches a file until the user saves.
    void restoreContent(const QString &lyric, const QString &score, const QString &path);

    // ---- The bound file on disk ----
    enum class OutsideChange { None, Modified, Deleted };
    // Whether someone else has changed or removed the bound file since this
    // document last read or wrote it, or since the user chose to keep their
    // text over the version found then (keepOwnVersion). Reads the file.
    // None while nothing is known of it: untitled, or bound by setFilePath
    // alone.
    OutsideChange outsideChange() const;
    // The user keeps their text over the outside version the last
    // outsideChange() found: it counts as a change no more, and a save
    // replaces it without asking. A later version counts again.
    void keepOwnVersion();

    // The line list of the document as it is now.
    LayoutItems layoutItems() const;

signals:
    void modifiedChanged(bool modified);
    // The document read or wrote its bound file: what is on disk is its own
    // again.
    void diskStampChanged();
    void lyricCursorChanged();
    void scoreCursorChanged();
    void lyricCursorMirrored();
    void scoreCursorMirrored();

private:
    void setTexts(const QString &lyric, const QString &score);
    // Clears the modified state and always tells the listeners, even when
    // it was already clear (an empty file loaded into an empty document).
    void markSaved();
    // Reads and decodes a .gcp file; the error a load reports when it cannot.
    static FileResult readFile(const QString &path, QByteArray *bytes, ScoreFile::Decoded *decoded);
    // What the bound file holds now is this document's own version.
    void stampDisk(const FileStamp &stamp);

    QTextDocument *m_lyric;
    QTextDocument *m_score;
    PairingIndex *m_pairing;
    QUndoStack *m_undoStack;
    QTextCursor m_lyricCursor;
    QTextCursor m_scoreCursor;
    QString m_filePath;
    // The bound file as read or written, the path it was taken for, the
    // outside version the user kept their text over, and the last version
    // outsideChange() found.
    FileStamp m_diskStamp;
    QString m_stampedPath;
    FileStamp m_keptOver;
    mutable FileStamp m_lastSeen;
    bool m_modified = false;
    bool m_syncing = false;
};
