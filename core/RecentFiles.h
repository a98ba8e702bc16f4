// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// The recently opened scores and the folder last used by each kind of file
// dialog, kept in the group [Recent] of settings.ini. Nothing is cached, so
// every window and a redirected data folder (tests) read the same values.
class RecentFiles : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxFiles = 10;

    // Folder kinds: each dialog family remembers its own folder.
    static inline const QString ScoreKind = QStringLiteral("score");   // open and save scores
    static inline const QString ExportKind = QStringLiteral("export"); // exported files
    static inline const QString SchemeKind = QStringLiteral("scheme"); // export schemes
    static inline const QString FontKind = QStringLiteral("font");     // fonts to install

    static RecentFiles *instance();

    // Most recent first, at most MaxFiles, absolute paths.
    QStringList files() const;
    void addFile(const QString &path);
    void removeFile(const QString &path);
    void clearFiles();

    // The folder last used for kind; the user's documents folder (or home)
    // when none is stored, the stored one is relative (older versions) or
    // it no longer exists.
    QString lastDir(const QString &kind) const;
    // Accepts a folder or a file path (its folder is stored).
    void setLastDir(const QString &kind, const QString &path);

signals:
    void filesChanged();

private:
    using QObject::QObject;
    void storeFiles(const QStringList &files);
};
