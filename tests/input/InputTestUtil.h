// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/SymbolDictionary.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// Shared by the input-method tests: compact text forms of candidate lists,
// so expectations read as one line each.
namespace InputTest {

// "F0027" for U+F0027 (the first code point of the text).
inline QString hex(const QString &symbol)
{
    const QList<uint> ucs4 = symbol.toUcs4();
    return ucs4.isEmpty() ? QString() : QString::number(ucs4.first(), 16).toUpper();
}

// The symbol of a code point written as hex ("F0027").
inline QString sym(const char *hexCode)
{
    const char32_t c = char32_t(QByteArray(hexCode).toUInt(nullptr, 16));
    return QString::fromUcs4(&c, 1);
}

// A concatenation of symbols written as hex codes separated by '+'.
inline QString syms(const char *hexCodes)
{
    QString out;
    for (const QByteArray &h : QByteArray(hexCodes).split('+'))
        out += sym(h.constData());
    return out;
}

// Every candidate as "F0027:0.6" (symbols of a combination joined by '+'),
// separated by spaces.
inline QString describe(const QList<Candidate> &list)
{
    QStringList parts;
    for (const Candidate &c : list) {
        QStringList codes;
        for (uint u : c.text.toUcs4())
            codes << QString::number(u, 16).toUpper();
        parts << codes.join(QLatin1Char('+')) + QLatin1Char(':')
                     + QString::number(double(c.weight), 'g', 4);
    }
    return parts.join(QLatin1Char(' '));
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace InputTest
