#pragma once

#include <QByteArray>

// The bytes of the shipped input-method dictionary, derived from the symbol
// tables: a header line, then one row per abbreviation of every symbol in
// ascending code-point order, "U" + eight hex digits, the abbreviation, the
// weight 0.6 and the symbol's name, each line ended by CR LF. The tool
// kelvo-make-wordsdict writes it to resources/wordsdict.csv, and a test
// compares the committed file with it, so the two cannot drift apart.
QByteArray shippedDictionaryContent();
