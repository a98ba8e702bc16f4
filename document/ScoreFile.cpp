// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/ScoreFile.h"

#include "core/SafeWrite.h"

#include <QDataStream>
#include <QIODevice>
#include <QFile>

namespace {

// Pinned so that a newer Qt can never change what is written; the layout of
// 32-bit integers and QStrings has been the same in every Qt 6 version.
constexpr QDataStream::Version StreamVersion = QDataStream::Qt_6_0;

constexpr quint32 NullStringMarker = 0xFFFFFFFFu;

// A null QString would be streamed as the null marker; an empty pane is
// stored with byte count 0.
QString nonNull(const QString &text)
{
    return text.isNull() ? QString(QLatin1String("")) : text;
}

// Where the data of one field ends, relative to the stream.
enum class Field { Present, EndOfData, Corrupt };

// The 32-bit length that precedes each string; its value is not used.
Field skipLength(QDataStream &in)
{
    if (in.atEnd())
        return Field::EndOfData;
    qint32 ignored = 0;
    in >> ignored;
    return in.status() == QDataStream::Ok ? Field::Present : Field::Corrupt;
}

Field readText(QDataStream &in, QString &text)
{
    text.clear();
    if (in.atEnd())
        return Field::EndOfData;
    QIODevice *device = in.device();
    const qint64 available = device->bytesAvailable();
    if (available < 4)
        return Field::Corrupt;
    // Check the byte count before QDataStream reads the string, so that a
    // damaged count can neither allocate a huge buffer nor pass as valid.
    QByteArray countBytes = device->peek(4);
    const quint32 count = (quint32(quint8(countBytes[0])) << 24)
                          | (quint32(quint8(countBytes[1])) << 16)
                          | (quint32(quint8(countBytes[2])) << 8) | quint32(quint8(countBytes[3]));
    if (count != NullStringMarker && ((count & 1u) != 0 || qint64(count) > available - 4))
        return Field::Corrupt;
    in >> text;
    // A null string (the marker) reads as an empty text.
    return in.status() == QDataStream::Ok ? Field::Present : Field::Corrupt;
}

} // namespace

QString ScoreFile::dialogFilter()
{
    return QStringLiteral("工尺谱文件 (*.gcp)");
}

bool ScoreFile::hasScoreExtension(const QString &path)
{
    return path.endsWith(QLatin1String(".gcp"), Qt::CaseInsensitive);
}

QString ScoreFile::wrongTypeTitle()
{
    return QStringLiteral("文件类型错误");
}

QString ScoreFile::wrongTypeText()
{
    return QStringLiteral("请选择工尺谱文件（.gcp）格式！");
}

QString ScoreFile::withScoreExtension(const QString &path)
{
    return hasScoreExtension(path) ? path : path + QLatin1String(".gcp");
}

QByteArray ScoreFile::encode(const QString &lyric, const QString &score)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(StreamVersion);
    out.setByteOrder(QDataStream::BigEndian);
    out << qint32(lyric.size()) << nonNull(lyric) << qint32(score.size()) << nonNull(score);
    return bytes;
}

ScoreFile::Decoded ScoreFile::decode(const QByteArray &bytes)
{
    Decoded result;
    QDataStream in(bytes);
    in.setVersion(StreamVersion);
    in.setByteOrder(QDataStream::BigEndian);

    // Data may end at any field boundary (what is missing is empty), but
    // never inside a field: a damaged file is refused instead of opening
    // half-empty, where a later save would overwrite the original with it.
    QString *texts[] = {&result.lyric, &result.score};
    for (QString *text : texts) {
        Field f = skipLength(in);
        if (f == Field::Present)
            f = readText(in, *text);
        if (f == Field::Corrupt) {
            result = Decoded();
            result.status = Decoded::Corrupt;
            return result;
        }
        if (f == Field::EndOfData)
            break;
    }
    // Anything after the score string is ignored, as it always was.
    return result;
}

bool ScoreFile::write(const QString &path, const QString &lyric, const QString &score,
                      SafeWrite::Failure *why)
{
    return write(path, encode(lyric, score), why);
}

bool ScoreFile::write(const QString &path, const QByteArray &bytes, SafeWrite::Failure *why)
{
    // Only a complete new file replaces the old one; a writable file in a
    // folder the user may not write is written in place, as before.
    return SafeWrite::writeWhole(path, bytes, SafeWrite::userFile(), why);
}
