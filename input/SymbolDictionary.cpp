// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/SymbolDictionary.h"

#include "core/DataPaths.h"
#include "core/SafeWrite.h"
#include "document/GongcheSymbols.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

// Longer lines cannot be dictionary rows; they are skipped without being
// held in memory, so a binary or damaged file costs nothing.
constexpr qint64 MaxLineBytes = 4096;

// Reads one line of at most MaxLineBytes into line, without the line end.
// Returns false at the end of the device; *tooLong is set (and the rest of
// the line consumed) when the line was longer.
bool readBoundedLine(QIODevice &device, QByteArray *line, bool *tooLong)
{
    *tooLong = false;
    line->clear();
    if (device.atEnd())
        return false;
    QByteArray chunk = device.readLine(MaxLineBytes + 1);
    if (chunk.isEmpty()) // end or read error: stop either way
        return false;
    if (!chunk.endsWith('\n') && !device.atEnd()) {
        // Overlong: drop everything up to the next line end.
        *tooLong = true;
        while (!device.atEnd()) {
            chunk = device.readLine(64 * 1024);
            if (chunk.isEmpty() || chunk.endsWith('\n'))
                break;
        }
        return true;
    }
    if (chunk.endsWith('\n'))
        chunk.chop(1);
    if (chunk.endsWith('\r'))
        chunk.chop(1);
    *line = chunk;
    return true;
}

bool isValidCodePoint(qint64 v)
{
    return v >= 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF);
}

} // namespace

SymbolDictionary::SymbolDictionary(const QString &fileName)
    : SymbolDictionary(LoadTag{}, resolveDictionaryPath(fileName))
{
}

SymbolDictionary::SymbolDictionary(LoadTag, const QString &path)
    : m_path(path), m_root(std::make_unique<TrieNode>())
{
    buildSuggestions();
    load();
}

SymbolDictionary SymbolDictionary::fromFile(const QString &path)
{
    return SymbolDictionary(LoadTag{}, path);
}

SymbolDictionary::SymbolDictionary(SymbolDictionary &&) noexcept = default;
SymbolDictionary &SymbolDictionary::operator=(SymbolDictionary &&) noexcept = default;
SymbolDictionary::~SymbolDictionary() = default;

QString SymbolDictionary::resourcePath()
{
    return QStringLiteral(":/resources/wordsdict.csv");
}

QString SymbolDictionary::resolveDictionaryPath(const QString &fileName)
{
    // The data folder decides where the working copy lives; other names
    // (tests) sit beside it.
    QString target = DataPaths::dictionaryFile();
    if (!fileName.isEmpty() && fileName != QFileInfo(target).fileName())
        target = QFileInfo(target).absoluteDir().filePath(fileName);

    if (QFileInfo::exists(target))
        return target;

    QFile resource(resourcePath());
    if (!resource.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QByteArray content = resource.readAll();

    // Written to a temporary file and renamed, so a failed write never
    // leaves a truncated copy that would win on every later start.
    SafeWrite::Options options;
    options.text = true;
    SafeWrite::Failure why;
    if (SafeWrite::writeWhole(target, content, options, &why))
        return target;
    qWarning("the dictionary could not be copied to %s (%s); the bundled one is read",
             qPrintable(target), qPrintable(why.reason()));
    return resourcePath();
}

uchar SymbolDictionary::trieKey(QChar c)
{
    const char16_t unit = c.unicode();
    return unit > 255 ? 0 : uchar(unit);
}

void SymbolDictionary::insert(const QString &abbreviation, const DictionaryEntry &entry)
{
    TrieNode *node = m_root.get();
    for (QChar c : abbreviation) {
        std::unique_ptr<TrieNode> &child = node->children[trieKey(c)];
        if (!child)
            child = std::make_unique<TrieNode>();
        node = child.get();
    }
    node->entries.append(entry);
    ++m_entryCount;
}

void SymbolDictionary::load()
{
    if (m_path.isEmpty())
        return;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;

    QByteArray raw;
    bool tooLong = false;
    if (!readBoundedLine(file, &raw, &tooLong)) // the header
        return;
    while (readBoundedLine(file, &raw, &tooLong)) {
        if (tooLong)
            continue;
        const QStringList parts = QString::fromUtf8(raw).split(QLatin1Char(' '));
        if (parts.size() < 3)
            continue;

        QString codeText = parts.at(0);
        codeText.remove(QLatin1Char('U'));
        bool ok = false;
        const int code = codeText.toInt(&ok, 16);
        // A number that is no code point (negative, beyond U+10FFFF, a
        // surrogate) would make a broken string: skip the row.
        if (!ok || !isValidCodePoint(code))
            continue;

        const QString &abbreviation = parts.at(1);
        if (abbreviation.size() > MaxAbbreviationLength)
            continue;

        float weight = parts.at(2).toFloat(&ok);
        // "nan" or "inf" would break the ranking order.
        if (!ok || !std::isfinite(weight))
            weight = 0;

        insert(abbreviation, DictionaryEntry{Gongche::toString(char32_t(code)), weight});
    }
}

const SymbolDictionary::TrieNode *SymbolDictionary::find(const QString &abbreviation) const
{
    const TrieNode *node = m_root.get();
    for (QChar c : abbreviation) {
        const auto it = node->children.find(trieKey(c));
        if (it == node->children.end())
            return nullptr;
        node = it->second.get();
    }
    return node;
}

void SymbolDictionary::collect(const TrieNode *node, int depth, QList<Candidate> *out)
{
    for (const auto &child : node->children)
        collect(child.second.get(), depth + 1, out);
    const double divisor = std::pow(1.2, depth);
    for (const DictionaryEntry &e : node->entries)
        out->append(Candidate{e.symbol, float(double(e.weight) / divisor)});
}

QList<Candidate> SymbolDictionary::lookup(const QString &abbreviation, bool prefix) const
{
    QList<Candidate> result;
    const TrieNode *node = find(abbreviation);
    if (!node)
        return result;
    if (prefix) {
        for (const auto &child : node->children)
            collect(child.second.get(), 1, &result);
    }
    for (const DictionaryEntry &e : node->entries)
        result.append(Candidate{e.symbol, e.weight});
    if (result.size() > 1)
        std::stable_sort(result.begin(), result.end(),
                         [](const Candidate &a, const Candidate &b) { return a.weight > b.weight; });
    return result;
}

QList<Segment> SymbolDictionary::segmentInput(const QString &letters) const
{
    QList<Segment> segments;
    qsizetype start = 0;
    qsizetype i = 0;
    const TrieNode *node = m_root.get();
    while (i < letters.size()) {
        const auto it = node->children.find(trieKey(letters.at(i)));
        if (it != node->children.end()) {
            node = it->second.get();
            ++i;
        } else if (i == start) {
            // Not even the start of an abbreviation: a segment of its own.
            segments.append(Segment{letters.mid(i, 1), false});
            start = ++i;
            node = m_root.get();
        } else {
            // Letter i starts the next segment.
            segments.append(Segment{letters.mid(start, i - start), !node->entries.isEmpty()});
            start = i;
            node = m_root.get();
        }
    }
    if (start < letters.size())
        segments.append(Segment{letters.mid(start),
                                !node->entries.isEmpty() || !node->children.empty()});
    return segments;
}

void SymbolDictionary::buildSuggestions()
{
    // Each list: the mark itself and its twin (waist form of a plain mark or
    // plain form of a waist mark), the other beat marks, then the ornaments.
    static const char32_t table[8][14] = {
        {0xF0000, 0xF0006, 0xF0003, 0xF0007, 0xF0001, 0xF0002, 0xF0004, 0xF0005, 0xF000C,
         0xF000D, 0xF0008, 0xF0009, 0xF000A, 0xF000B},
        {0xF0001, 0xF0004, 0xF0002, 0xF0005, 0xF0000, 0xF0006, 0xF0003, 0xF0007, 0xF000C,
         0xF000D, 0xF0008, 0xF0009, 0xF000A, 0xF000B},
        {0xF0002, 0xF0005, 0xF0001, 0xF0004, 0xF0000, 0xF0006, 0xF0003, 0xF0007, 0xF000C,
         0xF000D, 0xF0008, 0xF0009, 0xF000A, 0xF000B},
        {0xF0003, 0xF0007, 0xF0000, 0xF0006, 0xF0001, 0xF0002, 0xF0004, 0xF0005, 0xF000C,
         0xF000D, 0xF0008, 0xF0009, 0xF000A, 0xF000B},
        {0xF0004, 0xF0001, 0xF0002, 0xF0005, 0xF0000, 0xF0006, 0xF0003, 0xF0007, 0xF000C,
         0xF000D, 0xF0008, 0xF0009, 0xF000A, 0xF000B},
        {0xF0005, 0xF0002, 0xF0001, 0xF0004, 0xF0000, 0xF0006, 0xF0003, 0xF0007, 0xF000C,
         0xF000D, 0xF0008, 0xF0009, 0xF000A, 0xF000B},
        {0xF0006, 0xF0000, 0xF0003, 0xF0007, 0xF0001, 0xF0002, 0xF0004, 0xF0005, 0xF000C,
         0xF000D, 0xF0008, 0xF0009, 0xF000A, 0xF000B},
        {0xF0007, 0xF0003, 0xF0000, 0xF0006, 0xF0001, 0xF0002, 0xF0004, 0xF0005, 0xF000C,
         0xF000D, 0xF0008, 0xF0009, 0xF000A, 0xF000B},
    };
    for (const auto &row : table) {
        QStringList list;
        for (char32_t c : row)
            list.append(Gongche::toString(c));
        m_beatSuggestions[row[0]] = list;
    }
}

QStringList SymbolDictionary::suggestionsFor(const QString &symbol) const
{
    // Only a string that is exactly one code point can be a key.
    const QList<uint> ucs4 = symbol.toUcs4();
    if (ucs4.size() != 1 || symbol.size() != (ucs4.first() > 0xFFFF ? 2 : 1))
        return QStringList();
    const auto it = m_beatSuggestions.find(char32_t(ucs4.first()));
    return it == m_beatSuggestions.end() ? QStringList() : it->second;
}
