// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QTextDocument;

// A read-only view of a text as numbered lines with document positions:
// line i starts at lineStart(i), a line break counts as one position, and
// position lineStart(i) + k is in front of the k-th UTF-16 unit of line i.
// The pairing rules (document/Pairing.h) are written once against this interface so that
// they give the same answers for the lyric pane's document and for plain
// strings.
class LineSource
{
public:
    virtual ~LineSource();

    // Always at least 1: an empty text is one empty line.
    virtual int lineCount() const = 0;
    // Empty for an index outside 0 .. lineCount() - 1.
    virtual QString lineText(int line) const = 0;
    // Clamped to the first / last line.
    virtual int lineStart(int line) const = 0;
    // Index of the line holding a position; positions before the start
    // give the first line, positions past the end the last line.
    virtual int lineAt(int position) const = 0;

    // The last cursor position of the text: after the last character of
    // the last line.
    int endPosition() const;
};

// The blocks of a QTextDocument (the lyric or score pane's document). Holds
// a reference: the document must outlive the adapter.
class DocumentLines : public LineSource
{
public:
    explicit DocumentLines(const QTextDocument &document);

    int lineCount() const override;
    QString lineText(int line) const override;
    int lineStart(int line) const override;
    int lineAt(int position) const override;

private:
    const QTextDocument &m_document;
};

// Plain lines with the same position arithmetic as a document holding
// them. Building one is linear; keep it around for repeated lookups.
class PlainLines : public LineSource
{
public:
    explicit PlainLines(const QStringList &lines);
    // Split at '\n' only.
    explicit PlainLines(const QString &text);

    int lineCount() const override;
    QString lineText(int line) const override;
    int lineStart(int line) const override;
    int lineAt(int position) const override;

    const QStringList &lines() const { return m_lines; }

private:
    void indexLines();

    QStringList m_lines;
    QList<int> m_starts;
};
