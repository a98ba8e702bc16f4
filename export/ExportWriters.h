// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"

#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <functional>

class ExportConfig;
class ExportSettings;
class GenerateSVG;

namespace Music {
struct Options;
struct Performance;
} // namespace Music

// What one run of a writer did.
struct ExportResult
{
    bool ok = false;
    // The message for the user when it failed: title and text, both empty
    // on success and for the one quiet failure (a chosen directory that
    // neither exists nor can be made).
    QString messageTitle;
    QString message;
    // Where the pages went: the PDF file, or the folder made for the image
    // or SVG files. Empty when the export failed.
    QString target;
    // Every file written, absolute paths in page order (for SVG the pages,
    // then the font and the note file). Empty when the export failed: what
    // a failed export wrote is taken away again.
    QStringList files;
    // Worth telling even though the export succeeded (a SoundFont that
    // could not be used and was replaced by another).
    QString warning;
    // The audio formats: the length of the sound written, in seconds.
    double seconds = 0;
};

// The writers of the pages of a finished generation (made with
// previewOnly false). They read the generator's pages, title and settings,
// report progress through its progressUpdate signal and show nothing
// themselves. The image and SVG writers give an untitled generator the
// default title, which it keeps.
namespace ExportWriters {

// One PDF at path; an existing file is replaced only by a complete one.
ExportResult writePdf(GenerateSVG &pages, const QString &path);
// One image per page in a new folder inside directory; format "png" or
// "jpg" (any case); qualityIndex as for dpiForQuality().
ExportResult writeImages(GenerateSVG &pages, const QString &directory, int qualityIndex,
                         const QString &format);
// One SVG per page, the notation font and a note file in a new folder
// inside directory.
ExportResult writeSvg(GenerateSVG &pages, const QString &directory);

// The score as music, read from its lines with the options (which must
// pass Music::checkOptions): a Standard MIDI File or a MusicXML file at
// path, replaced only by a complete one. A performance without a single
// note writes nothing and fails with a message.
ExportResult writeMidi(const Music::Performance &performance, const Music::Options &options,
                       const QString &path);
ExportResult writeMusicXml(const Music::Performance &performance,
                           const Music::Options &options, const QString &path);

// The score as sound: a 44.1 kHz 16-bit stereo WAV file at path, rendered
// with the SoundFont (a preferred one that cannot be used is replaced by
// Debian's, with a warning; empty: Debian's) and replaced only by a
// complete file. progress(fraction 0..1) returning false cancels: the
// export then fails quietly and leaves nothing behind.
using AudioProgress = std::function<bool(double)>;
ExportResult writeWav(const Music::Performance &performance, const Music::Options &options,
                      const QString &soundFont, const QString &path,
                      const AudioProgress &progress = {});

// Passes a failure's message, or a success's warning, to Reporting.
// Returns result.ok.
bool report(const ExportResult &result);

// 96, 160, 300, 600 for quality 0..3; any other index counts as 0.
int dpiForQuality(int qualityIndex);

} // namespace ExportWriters

// Naming rules shared by the PDF, image and SVG writers and by the
// command-line export.
namespace ExportNames {

// The base name used when a document has neither title nor qupai heading.
QString defaultTitle();

// Longest base of exported file and folder names, in UTF-8 bytes: room is
// left for "_png_123" or "_1234.jpg" within the 255 bytes a file name may
// have on common file systems.
constexpr int MaxBaseBytes = 200;

// text cut to at most maxBytes of UTF-8, only between whole characters
// (never inside a surrogate pair or a character with its marks).
QString shortenUtf8(const QString &text, int maxBytes);

// The base of the folder and page file names for a title: trimmed (a title
// line usually has a space after its marker), the default title when
// empty, shortened to MaxBaseBytes.
QString exportBase(const QString &title);

// The first of base_suffix, base_suffix_0, base_suffix_1 … that names
// nothing yet inside directory (absolute path; not created here).
QString firstFreeFolder(const QString &directory, const QString &base, const QString &suffix);

// A file name for the copied notation font built from a font family. The
// family comes from an installed font, so anything that could leave the
// target folder or confuse a file system (path separators, "..", control
// characters, leading dots) is removed; an empty result falls back to the
// embedded font's own name. Always ends in ".ttf".
QString fontFileName(const QString &family);

// The text of the note file written beside exported SVG pages.
QString svgNoteText();

// Largest page image the image writer allocates, in bytes. Far beyond any
// page size at 600 dpi up to A1; B1 at 600 dpi (about 1.6 GB) is refused
// with a message instead of risking an allocation the machine cannot serve.
constexpr qint64 MaxImageBytes = qint64(1280) * 1024 * 1024;

// The paper of the PDF writer and of printing: the settings' page size in
// points (matched to a standard size when within a fraction of a point),
// their orientation, and no device margins — the score's own margins are
// part of every page.
QPageLayout pageLayout(const ExportSettings &config);

} // namespace ExportNames
