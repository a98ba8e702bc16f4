// SPDX-License-Identifier: GPL-3.0-or-later
// settings.ini with its [Editor] and [Export] groups: any file loads to
// values within their ranges, and load -> save -> load gives the same values.

#include "FuzzSupport.h"

#include "editor/EditorConfig.h"
#include "render/ExportConfig.h"

KELVO_FUZZ_TARGET(settings)
{
    Fuzz::init();
    const QString path = Fuzz::writeFile(QStringLiteral("settings"), Fuzz::bytes(data, size));
    QStringList editorFirst;
    QStringList exportFirst;
    {
        // Both on one file, as in the program.
        EditorConfig editor(path);
        ExportConfig exporter(path);
        Fuzz::checkBounds(editor);
        Fuzz::checkBounds(exporter);
        editorFirst = Fuzz::snapshot(editor);
        exportFirst = Fuzz::snapshot(exporter);
        editor.save();
        exporter.save();
    }
    EditorConfig editor(path);
    ExportConfig exporter(path);
    FUZZ_CHECK(Fuzz::snapshot(editor) == editorFirst,
               Fuzz::difference(editorFirst, Fuzz::snapshot(editor)));
    FUZZ_CHECK(Fuzz::snapshot(exporter) == exportFirst,
               Fuzz::difference(exportFirst, Fuzz::snapshot(exporter)));
    return 0;
}
