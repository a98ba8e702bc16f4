// SPDX-License-Identifier: GPL-3.0-or-later
// Export schemes (JSON): whatever a scheme holds, the settings stay within
// their promised ranges, a refused scheme changes nothing, and a scheme
// written back loads to the same settings.

#include "FuzzSupport.h"

#include "render/ExportConfig.h"

KELVO_FUZZ_TARGET(scheme)
{
    Fuzz::init();
    const QString scheme = Fuzz::writeFile(QStringLiteral("scheme"), Fuzz::bytes(data, size));
    ExportConfig config(Fuzz::freshPath(QStringLiteral("scheme-settings")));
    const QStringList before = Fuzz::snapshot(config);
    if (!config.loadScheme(scheme)) {
        FUZZ_CHECK(Fuzz::snapshot(config) == before,
                   Fuzz::difference(before, Fuzz::snapshot(config)));
        return 0;
    }
    Fuzz::checkBounds(config);
    const QStringList loaded = Fuzz::snapshot(config);

    const QString written = Fuzz::freshPath(QStringLiteral("scheme-written"));
    FUZZ_CHECK(config.saveScheme(written), written);
    ExportConfig other(Fuzz::freshPath(QStringLiteral("scheme-other")));
    FUZZ_CHECK(other.loadScheme(written), written);
    FUZZ_CHECK(Fuzz::snapshot(other) == loaded, Fuzz::difference(loaded, Fuzz::snapshot(other)));
    return 0;
}
