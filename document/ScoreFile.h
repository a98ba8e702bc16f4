// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SafeWrite.h"

#include <QByteArray>
#include <QString>

// The .gcp score file: the lyric text and the score text as a big-endian
// QDataStream (per text a 32-bit length that is never read back, then the
// QString itself). Nothing else is stored. Plain code, no widgets.
namespace ScoreFile {

// The filter offered by the open and save dialogs.
QString dialogFilter();

// True when the path ends with ".gcp", in any letter case.
bool hasScoreExtension(const QString &path);
// The warning for a path without that extension, as the editor shows it
// and the command line prints it.
QString wrongTypeTitle();
QString wrongTypeText();
// The path with ".gcp" appended unless it already ends with it.
QString withScoreExtension(const QString &path);

// The exact bytes of a file holding these two texts.
QByteArray encode(const QString &lyric, const QString &score);

struct Decoded
{
    enum Status {
        Ok,
        // A string with an odd byte count, a byte count beyond the end of the
        // data, or data ending inside a length field or a string.
        Corrupt,
    };
    Status status = Ok;
    QString lyric;
    QString score;

    bool ok() const { return status == Ok; }
};

// Reads the two texts. Empty data is an empty document; data ending right
// after the lyric string (or after the score length field) gives an empty
// score text; a null string (byte count 0xFFFFFFFF) is an empty text.
// Anything after the score string is ignored.
Decoded decode(const QByteArray &bytes);

// Writes the two texts atomically (SafeWrite::userFile()): the previous
// file stays as it was unless the new one was written completely. False on
// any failure, with its cause in *why.
bool write(const QString &path, const QString &lyric, const QString &score,
           SafeWrite::Failure *why = nullptr);
// The same with the bytes already encoded.
bool write(const QString &path, const QByteArray &bytes, SafeWrite::Failure *why = nullptr);

} // namespace ScoreFile
