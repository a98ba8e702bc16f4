// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

// One dictionary row as the trie keeps it: the symbol (one code point,
// usually a surrogate pair) and its ranking weight.
struct DictionaryEntry
{
    QString symbol;
    float weight = 0;
};

// A proposal of the input method: the symbols of one or more segments
// concatenated, with the summed weight.
struct Candidate
{
    QString text;
    float weight = 0;
};

// A piece of the typed letters that names one symbol. complete: the letters
// are an abbreviation (or, for the last piece, the start of one).
struct Segment
{
    QString text;
    bool complete = false;
};

// The input method's data: the abbreviation trie loaded from wordsdict.csv
// (rows "Uxxxxxxxx abbreviation weight note", space separated, one header
// line) and the fixed beat-mark suggestions offered on Space. Immutable
// once loaded.
class SymbolDictionary
{
public:
    // Resolves the working copy in the data folder (creating it from the
    // embedded dictionary on first run) and loads it.
    explicit SymbolDictionary(const QString &fileName = QStringLiteral("wordsdict.csv"));
    // Loads exactly this file; a missing or unreadable one gives an empty trie.
    static SymbolDictionary fromFile(const QString &path);

    SymbolDictionary(SymbolDictionary &&) noexcept;
    SymbolDictionary &operator=(SymbolDictionary &&) noexcept;
    ~SymbolDictionary();

    QString path() const { return m_path; }

    // Exact: the symbols of this abbreviation in file order. Prefix: also
    // every longer abbreviation starting with it, each extra letter dividing
    // the weight by 1.2. Sorted by weight, highest first; equal weights keep
    // collection order (children in key order, the node's own entries last).
    QList<Candidate> lookup(const QString &abbreviation, bool prefix) const;
    // Cuts typed letters into segments by a greedy walk of the trie.
    QList<Segment> segmentInput(const QString &letters) const;
    // The 14 suggestions after a beat mark, or empty for any other symbol.
    QStringList suggestionsFor(const QString &symbol) const;

    // Number of rows loaded.
    int entryCount() const { return m_entryCount; }
    bool isEmpty() const { return m_entryCount == 0; }

    // Where the dictionary is read from: the working copy in the data folder
    // when it exists (whatever it holds); otherwise a fresh copy of the
    // embedded dictionary written there; when that copy cannot be written,
    // the embedded resource itself; "" when not even that can be read.
    static QString resolveDictionaryPath(const QString &fileName);
    static QString resourcePath(); // ":/resources/wordsdict.csv"

    // Rows whose abbreviation is longer than this are skipped: nobody types
    // them, and a damaged file must not build an arbitrarily deep trie.
    static constexpr int MaxAbbreviationLength = 64;

private:
    struct TrieNode
    {
        std::map<uchar, std::unique_ptr<TrieNode>> children;
        QList<DictionaryEntry> entries;
    };

    struct LoadTag {};
    SymbolDictionary(LoadTag, const QString &path);

    static uchar trieKey(QChar c);
    const TrieNode *find(const QString &abbreviation) const;
    static void collect(const TrieNode *node, int depth, QList<Candidate> *out);
    void load();
    void insert(const QString &abbreviation, const DictionaryEntry &entry);
    void buildSuggestions();

    QString m_path;
    std::unique_ptr<TrieNode> m_root;
    std::map<char32_t, QStringList> m_beatSuggestions;
    int m_entryCount = 0;
};
