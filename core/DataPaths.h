// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Decides where the program keeps the files that live beside it: the settings
// file, the working copy of the input-method dictionary, installed notation
// fonts and the cache. That is the executable's folder when it is writable
// (a portable install), otherwise the user's standard application data folder;
// an installed program (one with its desktop entry in ../share/applications)
// always uses the user's folder.
// Nothing else in the program computes these paths.
class DataPaths
{
public:
    // The folder itself, created on first use when it is missing.
    static QString dataDir();

    static QString settingsFile();   // settings.ini
    static QString dictionaryFile(); // wordsdict.csv
    static QString fontsDir();       // fonts/ (not created here)
    static QString cacheDir();       // cache/ (not created here)
    static QString autosaveDir();    // autosave/ (not created here)

    // Redirects every path to dir (tests, or a KELVO_DATA_DIR environment
    // variable for scripted runs). An empty dir restores the normal choice.
    static void setOverride(const QString &dir);

    // The choice made without any override, for a given executable folder.
    static QString chooseFor(const QString &executableDir);

private:
    static QString s_override;
    static QString s_cached;
};
