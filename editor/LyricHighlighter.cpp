// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/LyricHighlighter.h"

#include "document/ScoreSyntax.h"
#include "editor/EditorConfig.h"

#include <QTextDocument>

namespace {

// Either break marker at the start of a line.
const QRegularExpression &breakMarkerPattern()
{
    static const QRegularExpression pattern = [] {
        QRegularExpression p(QStringLiteral("(%1)|(%2)")
                                 .arg(ScoreSyntax::patternSource(LineBreak),
                                      ScoreSyntax::patternSource(PageBreak)));
        p.optimize();
        return p;
    }();
    return pattern;
}

// The patterns refuse text holding a stray surrogate outright, which would
// leave the whole line unformatted. A replacement character of the same
// length keeps every position and matches no rule, so only the stray unit
// itself stays in the error colour.
QString withoutStraySurrogates(const QString &text)
{
    QString clean;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        bool stray = false;
        if (c.isHighSurrogate()) {
            if (i + 1 < n && text.at(i + 1).isLowSurrogate())
                ++i;
            else
                stray = true;
        } else if (c.isLowSurrogate()) {
            stray = true;
        }
        if (stray) {
            if (clean.isNull())
                clean = text;
            clean[i] = QChar::ReplacementCharacter;
        }
    }
    return clean.isNull() ? text : clean;
}

} // namespace

LyricHighlighter::LyricHighlighter(QTextDocument *document, EditorConfig *config)
    : QSyntaxHighlighter(document)
    , m_config(config ? config : EditorConfig::instance())
{
    setupRules();
    connect(m_config, &EditorConfig::configChanged, this, &LyricHighlighter::onConfigChanged);
}

void LyricHighlighter::setupRules()
{
    m_rules.clear();

    const auto add = [this](const QRegularExpression &pattern, QTextCharFormat &format,
                            const QColor &color) {
        format.setForeground(QBrush(color, Qt::SolidPattern));
        m_rules.append({pattern, format});
    };

    // Later rules overwrite earlier ones on the characters they cover.
    add(ScoreSyntax::pattern(Punctuation), m_punctuationFormat, m_config->biaoDianColor());
    add(ScoreSyntax::pattern(Lyric), m_lyricFormat, m_config->lyricColor());
    m_titleFormat.setFontWeight(QFont::Bold);
    add(ScoreSyntax::pattern(Title), m_titleFormat, m_config->titleColor());
    add(ScoreSyntax::pattern(JiaBai), m_jiaBaiFormat, m_config->jiaBaiColor());
    add(ScoreSyntax::pattern(LianBai), m_lianBaiFormat, m_config->lianBaiColor());
    add(ScoreSyntax::pattern(QuPai), m_quPaiFormat, m_config->quPaiColor());
    add(ScoreSyntax::pattern(Comment), m_commentFormat, m_config->commentColor());
    add(breakMarkerPattern(), m_breakFormat, m_config->breakSymbolColor());
}

void LyricHighlighter::onConfigChanged()
{
    setupRules();
    rehighlight();
}

void LyricHighlighter::highlightBlock(const QString &text)
{
    // Each line stands on its own: no block state.
    const QString subject = withoutStraySurrogates(text);
    for (const HighlightingRule &rule : std::as_const(m_rules)) {
        QRegularExpressionMatchIterator it = rule.pattern.globalMatch(subject);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            setFormat(int(match.capturedStart()), int(match.capturedLength()), rule.format);
        }
    }
}
