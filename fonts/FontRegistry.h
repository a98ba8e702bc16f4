// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The notation fonts the program knows: the embedded one, whose family is the
// default everywhere a notation font is chosen, followed by the TrueType files
// the user installed into the fonts directory. Every font is registered with
// the application's font database so widgets and the renderer can use it.
class FontRegistry
{
public:
    // The process-wide registry on the data folder's "fonts" directory,
    // built on first use.
    static FontRegistry &instance();

    // The embedded notation font resource.
    static QString embeddedFontPath();

    // A registry of its own (tests, tools): registers defaultFontPath and
    // the files in fontsDirectory, creating the directory when missing.
    FontRegistry(const QString &fontsDirectory, const QString &defaultFontPath);

    FontRegistry(const FontRegistry &) = delete;
    FontRegistry &operator=(const FontRegistry &) = delete;

    // The default family first, then the installed families, each once.
    QStringList families() const { return m_families; }
    // Empty when the embedded font could not be registered.
    QString defaultFamily() const { return m_defaultFamily; }
    QString fontsDirectory() const { return m_fontsDirectory; }
    QString defaultFontPath() const { return m_defaultFontPath; }

    // Rebuilds the family list from the embedded font and the fonts directory.
    void reload();

    // Registers a font file (or reuses the registration made for the same
    // unchanged file) and returns the families it declares; empty when the
    // file cannot be registered. The registration stays in place.
    QStringList registerFile(const QString &path);

    // The "*.ttf" files of the fonts directory, in directory order.
    QStringList fontFiles() const;

private:
    int registrationFor(const QString &path);

    QString m_fontsDirectory;
    QString m_defaultFontPath;
    QStringList m_families;
    QString m_defaultFamily;

    // Font ids by file, so repeated reloads don't register the same
    // unchanged file over and over. Keyed by path, size and modification time.
    QHash<QString, int> m_registrations;
};
