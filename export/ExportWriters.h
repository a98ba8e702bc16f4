#pragma once

#include <QPageLayout>
#include <QString>

class ExportConfig;

// Naming rules shared by the PDF, image and SVG writers (the writers
// themselves are members of GenerateSVG, implemented in ExportWriters.cpp)
// and by the command-line export, which reports where the files went.
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
QPageLayout pageLayout(const ExportConfig &config);

} // namespace ExportNames
