// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The addresses, paths and version the two start-up exchanges need, shared by
// the main window and the update check. Filled once on first use.
//
// No vendor servers exist, so the bases default to hosts under a reserved
// domain that never resolves. A deployment sets them in settings.ini (group
// "Server", keys apiBase and webBase); the environment variables
// KELVO_API_BASE and KELVO_WEB_BASE override both (tests point them at a
// local server).
struct ServerConstants
{
    QString apiBase;  // scheme and host, no trailing slash
    QString webBase;  // scheme and host, no trailing slash
    QString contentType;
    QString version;
    QString updatePath;
    QString sponsorPath;
    QString rootPath;
    QString sponsorCacheFile;
    QString cacheDir;
    QString sponsorCache; // the cached sponsor page as read at start-up

    bool isFilled() const { return !version.isEmpty(); }
    void fill();

    // The process-wide block, filled on first use.
    static ServerConstants *instance();
    // Forgets everything so that the next use reads the environment, the
    // settings and the data folder again (tests change all three).
    static void reset();

    // KELVO_OFFLINE set to anything but "" or "0": no network request at all.
    // Every test that builds a window runs this way.
    static bool offline();
};
