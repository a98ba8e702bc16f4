// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// The bytes of the shipped input-method dictionary, derived from the symbol
// tables: a header line, then one row per abbreviation of every symbol in
// ascending code-point order, "U" + eight hex digits, the abbreviation, the
// weight 0.6 and the symbol's name, each line ended by CR LF. The tool
// kelvo-make-wordsdict writes it to resources/wordsdict.csv, and a test
// compares the committed file with it, so the two cannot drift apart.
QByteArray shippedDictionaryContent();

// The user guide's abbreviation tables (Markdown), from the same tables as
// the shipped dictionary: the marks with all their abbreviations, the pitches
// by octave, and how the breath-mark and small suffixes combine.
QString guideAbbreviationTables();

// The guide's text with the lines between its two abbreviation markers
// replaced by guideAbbreviationTables(); empty when a marker is missing.
// kelvo-make-wordsdict --guide writes it back, and a test compares the
// committed guide with it.
QString withGuideAbbreviationTables(const QString &guide);
