// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Resources.h"

#include <QtGlobal>

static void initOnce()
{
    Q_INIT_RESOURCE(resources);
}

void initResources()
{
    static bool done = false;
    if (!done) {
        done = true;
        initOnce();
    }
}
