// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/HtmlReducer.h"

#include <QHash>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <vector>
#include <QVector>

// Qt has no HTML sanitizer, and QXmlStreamReader rejects the tag soup real
// pages are made of, so this is a small hand tokenizer. It reads the input
// once from left to right (every search starts where the last one ended and
// an unterminated construct ends the page), keeps a stack of at most
// MaxDepth elements, and writes at most MaxOutputChars: time and memory stay
// linear in the capped input whatever the markup.

namespace HtmlReducer {

namespace {

enum class Kind {
    Ignored, // the tag goes, its content stays
    Raw,     // the tag and its content go
    Inline,
    Block,
    List,
    Item,
    Break,
    Boundary, // container: a line break
    Cell,     // table cell: a space
};

struct Element
{
    const char *name; // lower case
    Kind kind;
};

// The elements this reducer knows, by name; any other tag is Ignored.
const Element *elementNamed(QStringView name)
{
    static const std::vector<Element> elements = [] {
        std::vector<Element> e;
        for (const char *n : {"a", "b", "strong", "i", "em", "u", "small", "span"})
            e.push_back({n, Kind::Inline});
        for (const char *n : {"p", "h1", "h2", "h3", "h4"})
            e.push_back({n, Kind::Block});
        for (const char *n : {"ul", "ol"})
            e.push_back({n, Kind::List});
        e.push_back({"li", Kind::Item});
        e.push_back({"br", Kind::Break});
        for (const char *n : {"script", "style", "iframe", "textarea", "title", "noscript",
                              "xmp", "noembed", "noframes", "template", "svg", "math",
                              "plaintext", "select"})
            e.push_back({n, Kind::Raw});
        for (const char *n : {"div", "table", "tr", "tbody", "thead", "tfoot", "caption",
                              "section", "article", "header", "footer", "nav", "main",
                              "aside", "blockquote", "center", "dl", "dt", "dd", "address",
                              "figure", "figcaption", "pre", "form", "fieldset", "h5", "h6",
                              "hr", "body", "html"})
            e.push_back({n, Kind::Boundary});
        for (const char *n : {"td", "th"})
            e.push_back({n, Kind::Cell});
        std::sort(e.begin(), e.end(),
                  [](const Element &a, const Element &b) { return strcmp(a.name, b.name) < 0; });
        return e;
    }();
    // Tags come by the hundred thousand in a hostile page: no allocation here.
    char key[12];
    if (name.isEmpty() || name.size() >= qsizetype(sizeof key))
        return nullptr;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (u >= 0x80)
            return nullptr;
        key[i] = char(u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u);
    }
    key[name.size()] = 0;
    const auto it = std::lower_bound(
        elements.begin(), elements.end(), key,
        [](const Element &e, const char *k) { return strcmp(e.name, k) < 0; });
    return it != elements.end() && strcmp(it->name, key) == 0 ? &*it : nullptr;
}

// Named entities a sponsor page plausibly uses; others stay as written.
char32_t namedEntity(QStringView name)
{
    static const QHash<QString, char32_t> entities = {
        {QStringLiteral("amp"), U'&'},       {QStringLiteral("lt"), U'<'},
        {QStringLiteral("gt"), U'>'},        {QStringLiteral("quot"), U'"'},
        {QStringLiteral("apos"), U'\''},     {QStringLiteral("nbsp"), 0xA0},
        {QStringLiteral("copy"), 0xA9},      {QStringLiteral("reg"), 0xAE},
        {QStringLiteral("trade"), 0x2122},   {QStringLiteral("middot"), 0xB7},
        {QStringLiteral("laquo"), 0xAB},     {QStringLiteral("raquo"), 0xBB},
        {QStringLiteral("ndash"), 0x2013},   {QStringLiteral("mdash"), 0x2014},
        {QStringLiteral("hellip"), 0x2026},  {QStringLiteral("lsquo"), 0x2018},
        {QStringLiteral("rsquo"), 0x2019},   {QStringLiteral("ldquo"), 0x201C},
        {QStringLiteral("rdquo"), 0x201D},   {QStringLiteral("yen"), 0xA5},
        {QStringLiteral("euro"), 0x20AC},    {QStringLiteral("times"), 0xD7},
    };
    return entities.value(name.toString(), 0);
}

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')
        || c == QLatin1Char('\r') || c == QLatin1Char('\f');
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode() | 0x20;
    return isDigit(c) || (u >= 'a' && u <= 'f');
}

// Decodes the entity starting at text[at] == '&'. Returns the characters it
// stands for and sets *length to the characters consumed; an unknown or
// malformed entity returns the '&' alone.
QString decodeEntity(QStringView text, qsizetype at, qsizetype *length)
{
    *length = 1;
    qsizetype i = at + 1;
    const qsizetype n = text.size();
    if (i < n && text[i] == QLatin1Char('#')) {
        ++i;
        const bool hex = i < n && (text[i] == QLatin1Char('x') || text[i] == QLatin1Char('X'));
        if (hex)
            ++i;
        const qsizetype start = i;
        while (i < n && i - start < 8 && (hex ? isHexDigit(text[i]) : isDigit(text[i])))
            ++i;
        if (i == start)
            return QStringLiteral("&");
        bool ok = false;
        uint code = text.mid(start, i - start).toUInt(&ok, hex ? 16 : 10);
        if (i < n && text[i] == QLatin1Char(';'))
            ++i;
        *length = i - at;
        // No NUL, controls, surrogates or values outside Unicode.
        if (!ok || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)
            || (code < 0x20 && code != '\t' && code != '\n') || (code >= 0x7F && code < 0xA0))
            code = 0xFFFD;
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    const qsizetype start = i;
    while (i < n && i - start <= 8 && (isAsciiLetter(text[i]) || isDigit(text[i])))
        ++i;
    if (i == start || i >= n || text[i] != QLatin1Char(';'))
        return QStringLiteral("&");
    const char32_t c = namedEntity(text.mid(start, i - start));
    if (!c)
        return QStringLiteral("&");
    *length = i + 1 - at;
    return QString::fromUcs4(&c, 1);
}

QString decodeEntities(QStringView text)
{
    QString out;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == QLatin1Char('&')) {
            qsizetype length;
            out += decodeEntity(text, i, &length);
            i += length;
        } else {
            out += text[i++];
        }
    }
    return out;
}

void appendEscaped(QString &out, QStringView text)
{
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        default: out += c;
        }
    }
}

const char *alignment(QStringView value)
{
    for (const char *a : {"left", "center", "right"})
        if (value.compare(QLatin1String(a), Qt::CaseInsensitive) == 0)
            return a;
    return nullptr;
}

// A web address the view may offer, or empty.
QString safeHref(QStringView raw)
{
    if (raw.size() > MaxUrlChars * 2)
        return QString();
    const QString text = decodeEntities(raw).trimmed();
    if (text.isEmpty() || text.size() > MaxUrlChars)
        return QString();
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QString();
    return text;
}

struct Tag
{
    const Element *element = nullptr;
    bool end = false;
    QString href;
    const char *align = nullptr;
};

class Reducer
{
public:
    explicit Reducer(const QString &in) : m_in(in) {}

    QString run()
    {
        const qsizetype n = m_in.size();
        while (m_pos < n && !m_full) {
            const QChar c = m_in[m_pos];
            if (c == QLatin1Char('<')) {
                if (!markup())
                    break;
            } else if (c == QLatin1Char('&')) {
                qsizetype length;
                const QString decoded = decodeEntity(m_in, m_pos, &length);
                m_pos += length;
                for (QChar d : decoded)
                    character(d);
            } else {
                character(c);
                ++m_pos;
            }
        }
        closeUntil(0);
        return m_hasText ? m_out : QString();
    }

private:
    struct Open
    {
        const Element *element;
        QString href;
        const char *align;
        bool written;
    };

    // Handles the markup at m_pos ('<'); false when the page ends inside it.
    bool markup()
    {
        const qsizetype n = m_in.size();
        const qsizetype next = m_pos + 1;
        if (next >= n)
            return false;
        const QChar c = m_in[next];
        if (QStringView(m_in).mid(next, 3) == QLatin1String("!--")) {
            const qsizetype end = m_in.indexOf(QLatin1String("-->"), next + 3);
            if (end < 0)
                return false;
            m_pos = end + 3;
            return true;
        }
        const bool endTag = c == QLatin1Char('/');
        if (c == QLatin1Char('!') || c == QLatin1Char('?')
            || (endTag && (next + 1 >= n || !isAsciiLetter(m_in[next + 1])))) {
            // Declarations, processing instructions and bogus end tags.
            const qsizetype end = m_in.indexOf(QLatin1Char('>'), next);
            if (end < 0)
                return false;
            m_pos = end + 1;
            return true;
        }
        if (!endTag && !isAsciiLetter(c)) {
            character(QLatin1Char('<'));
            ++m_pos;
            return true;
        }
        Tag tag;
        if (!readTag(&tag))
            return false;
        apply(tag);
        return true;
    }

    // Reads a start or end tag with its attributes up to and past its '>'.
    bool readTag(Tag *tag)
    {
        const qsizetype n = m_in.size();
        qsizetype i = m_pos + 1;
        tag->end = m_in[i] == QLatin1Char('/');
        if (tag->end)
            ++i;
        const qsizetype nameStart = i;
        while (i < n && !isSpace(m_in[i]) && m_in[i] != QLatin1Char('/')
               && m_in[i] != QLatin1Char('>'))
            ++i;
        tag->element = elementNamed(QStringView(m_in).mid(nameStart, i - nameStart));
        for (;;) {
            while (i < n && (isSpace(m_in[i]) || m_in[i] == QLatin1Char('/')))
                ++i;
            if (i >= n)
                return false;
            if (m_in[i] == QLatin1Char('>'))
                break;
            const qsizetype attrStart = i;
            ++i; // a name may begin with '='
            while (i < n && !isSpace(m_in[i]) && m_in[i] != QLatin1Char('/')
                   && m_in[i] != QLatin1Char('>') && m_in[i] != QLatin1Char('='))
                ++i;
            const QStringView attr = QStringView(m_in).mid(attrStart, i - attrStart);
            while (i < n && isSpace(m_in[i]))
                ++i;
            if (i >= n || m_in[i] != QLatin1Char('='))
                continue;
            ++i;
            while (i < n && isSpace(m_in[i]))
                ++i;
            if (i >= n)
                return false;
            qsizetype valueStart = i;
            qsizetype valueEnd;
            const QChar quote = m_in[i];
            if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
                valueStart = i + 1;
                valueEnd = m_in.indexOf(quote, valueStart);
                if (valueEnd < 0)
                    return false;
                i = valueEnd + 1;
            } else {
                while (i < n && !isSpace(m_in[i]) && m_in[i] != QLatin1Char('>'))
                    ++i;
                valueEnd = i;
            }
            const QStringView value = QStringView(m_in).mid(valueStart, valueEnd - valueStart);
            if (attr.compare(QLatin1String("href"), Qt::CaseInsensitive) == 0)
                tag->href = safeHref(value);
            else if (attr.compare(QLatin1String("align"), Qt::CaseInsensitive) == 0)
                tag->align = alignment(value);
        }
        m_pos = i + 1;
        return true;
    }

    void apply(const Tag &tag)
    {
        const Element *element = tag.element;
        const Kind kind = element ? element->kind : Kind::Ignored;
        switch (kind) {
        case Kind::Ignored:
            return;
        case Kind::Raw:
            if (!tag.end)
                skipRawContent(QLatin1String(element->name));
            return;
        case Kind::Break:
            if (m_hasText && m_breaks < 2)
                ++m_breaks;
            return;
        case Kind::Boundary:
            lineBoundary();
            return;
        case Kind::Cell:
            if (!m_lineStart)
                m_space = true;
            return;
        case Kind::Inline:
        case Kind::Block:
        case Kind::List:
        case Kind::Item:
            break;
        }
        if (tag.end) {
            const int at = find(element);
            if (at >= 0)
                closeUntil(at);
            else if (kind != Kind::Inline)
                lineBoundary();
            return;
        }
        const bool link = strcmp(element->name, "a") == 0;
        if (kind == Kind::Block || kind == Kind::List) {
            // A paragraph or heading ends where the next block begins.
            const int block = findKind(Kind::Block);
            if (block >= 0)
                closeUntil(block);
        } else if (kind == Kind::Item) {
            const int list = findKind(Kind::List);
            if (list < 0) {
                lineBoundary();
                return;
            }
            const int item = findKind(Kind::Item);
            if (item > list)
                closeUntil(item);
        } else if (link) {
            const int open = find(element);
            if (open >= 0)
                closeUntil(open);
        }
        if (m_stack.size() >= MaxDepth)
            return;
        if (kind == Kind::List && countKind(Kind::List) >= MaxListDepth)
            return;
        if (link && tag.href.isEmpty())
            return; // a link to nowhere is plain text
        m_stack.append({element, link ? tag.href : QString(),
                        kind == Kind::Block ? tag.align : nullptr, false});
    }

    void writeStartTag(const Open &open)
    {
        m_out += QLatin1Char('<') + QLatin1String(open.element->name);
        if (!open.href.isEmpty()) {
            m_out += QLatin1String(" href=\"");
            appendEscaped(m_out, open.href);
            m_out += QLatin1Char('"');
        }
        if (open.align)
            m_out += QLatin1String(" align=\"") + QLatin1String(open.align) + QLatin1Char('"');
        m_out += QLatin1Char('>');
    }

    // Drops everything up to the matching end tag, or the rest of the page.
    void skipRawContent(QLatin1String name)
    {
        const qsizetype end = m_in.indexOf(QLatin1String("</") + name, m_pos, Qt::CaseInsensitive);
        if (end < 0) {
            m_pos = m_in.size();
            return;
        }
        const qsizetype close = m_in.indexOf(QLatin1Char('>'), end);
        m_pos = close < 0 ? m_in.size() : close + 1;
    }

    void lineBoundary()
    {
        if (!m_lineStart && m_breaks == 0)
            m_breaks = 1;
    }

    int find(const Element *element) const
    {
        for (int i = m_stack.size() - 1; i >= 0; --i)
            if (m_stack[i].element == element)
                return i;
        return -1;
    }

    int findKind(Kind kind) const
    {
        for (int i = m_stack.size() - 1; i >= 0; --i)
            if (m_stack[i].element->kind == kind)
                return i;
        return -1;
    }

    int countKind(Kind kind) const
    {
        int count = 0;
        for (const Open &open : m_stack)
            count += open.element->kind == kind;
        return count;
    }

    // Closes the elements from the top of the stack down to index at.
    void closeUntil(int at)
    {
        while (m_stack.size() > at) {
            const Open open = m_stack.takeLast();
            if (!open.written)
                continue;
            m_out += QLatin1String("</") + QLatin1String(open.element->name) + QLatin1Char('>');
            if (open.element->kind != Kind::Inline) {
                m_lineStart = true;
                m_breaks = 0;
                m_space = false;
            }
        }
    }

    // Room for n more characters and the end tags of the open elements.
    bool room(qsizetype n)
    {
        if (m_out.size() + n + m_stack.size() * 10 > MaxOutputChars)
            m_full = true;
        return !m_full;
    }

    void character(QChar c)
    {
        if (isSpace(c)) {
            if (!m_lineStart)
                m_space = true;
            return;
        }
        // Controls never show; the view could only trip over them.
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            return;
        if (!room(64))
            return;
        bool opensBlock = false;
        for (const Open &open : std::as_const(m_stack))
            opensBlock |= !open.written && open.element->kind != Kind::Inline;
        if (!opensBlock && m_breaks > 0) {
            for (; m_breaks > 0; --m_breaks)
                m_out += QLatin1String("<br>");
            m_space = false;
        }
        m_breaks = 0;
        if (m_space && !opensBlock) {
            m_out += QLatin1Char(' ');
            m_word = 0;
        }
        m_space = false;
        for (Open &open : m_stack) {
            if (open.written)
                continue;
            writeStartTag(open);
            open.written = true;
            if (open.element->kind != Kind::Inline)
                m_word = 0;
        }
        // A break opportunity inside long runs, never inside a surrogate pair.
        if (c == QChar(0x200B))
            m_word = -1;
        else if (m_word >= MaxWordChars && !c.isLowSurrogate()) {
            m_out += QChar(0x200B);
            m_word = 0;
        }
        appendEscaped(m_out, QStringView(&c, 1));
        ++m_word;
        m_lineStart = false;
        m_hasText = true;
    }

    const QString m_in;
    qsizetype m_pos = 0;
    QString m_out;
    QVector<Open> m_stack;
    int m_breaks = 0;        // line breaks waiting for the next text
    bool m_space = false;    // a space waiting for the next text
    bool m_lineStart = true; // nothing on the current line yet
    bool m_hasText = false;
    bool m_full = false;
    int m_word = 0; // characters since the last break opportunity
};

} // namespace

QString reduce(const QByteArray &html)
{
    return Reducer(QString::fromUtf8(html.left(MaxInputBytes))).run();
}

} // namespace HtmlReducer
