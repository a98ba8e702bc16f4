// SPDX-License-Identifier: GPL-3.0-or-later
// kelvo-guide-html GUIDE.md OUT.html
//
// Converts the user guide to the HTML page compiled into the program, with
// Qt's own Markdown reader, so the build needs nothing beyond Qt. Headings
// get the anchors GitHub gives them, so the guide's links to its own
// sections work in the HTML too.

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <cstdio>

namespace {

// GitHub's heading anchor: lower case, spaces to "-", punctuation dropped.
QString slug(const QString &heading)
{
    QString out;
    for (const QChar c : heading.trimmed().toLower()) {
        if (c.isLetterOrNumber() || c == u'-' || c == u'_')
            out += c;
        else if (c == u' ')
            out += u'-';
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    // Runs during the build, where there may be no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: kelvo-guide-html GUIDE.md OUT.html\n");
        return 2;
    }
    QFile in(args.at(1));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("sans-serif"), 11));
    document.setMarkdown(QString::fromUtf8(in.readAll()), QTextDocument::MarkdownDialectGitHub);

    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0 || block.text().isEmpty())
            continue;
        if (document.metaInformation(QTextDocument::DocumentTitle).isEmpty())
            document.setMetaInformation(QTextDocument::DocumentTitle, block.text());
        QTextCursor cursor(block);
        // Room above a heading, as a reader expects of a page.
        QTextBlockFormat spacing;
        spacing.setTopMargin(block.blockFormat().headingLevel() <= 2 ? 24 : 16);
        spacing.setBottomMargin(8);
        cursor.mergeBlockFormat(spacing);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat anchor;
        anchor.setAnchor(true);
        anchor.setAnchorNames({slug(block.text())});
        cursor.mergeCharFormat(anchor);
    }

    // Tables with cell padding and single rules, not spaced double boxes.
    for (QTextFrame *frame : document.rootFrame()->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(frame)) {
            QTextTableFormat format = table->format();
            format.setCellPadding(4);
            format.setCellSpacing(0);
            format.setBorderCollapse(true);
            table->setFormat(format);
        }
    }

    QSaveFile out(args.at(2));
    const QByteArray html = document.toHtml().toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(html) != html.size() || !out.commit()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
