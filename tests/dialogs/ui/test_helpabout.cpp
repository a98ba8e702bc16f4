// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/ui/About.h"
#include "dialogs/ui/Help.h"

#include "app/ui/MainWindow.h"
#include "document/GongcheSymbols.h"
#include "input/SymbolDictionary.h"
#include "core/DataPaths.h"
#include "online/ServerConstants.h"
#include "ui_MainWindow.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QTimer>
#include <QtTest>

#include <functional>

class TestHelpAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTestApplication(); }

    void form_data();
    void form();
    void linksGoToTheDesktop_data();
    void linksGoToTheDesktop();
    void guideLinkOpensBundledGuide_data();
    void guideLinkOpensBundledGuide();
    void bundledGuide();

    void helpTable();
    void helpAbbreviationsFindTheirSymbols_data();
    void helpAbbreviationsFindTheirSymbols();
    void helpRulesAndExamplesFindTheirSymbols();
    void helpSections();

    void aboutPage();

    void actionsOpenParentlessModals_data();
    void actionsOpenParentlessModals();
};

namespace {

std::unique_ptr<QDialog> makeDialog(const QString &which)
{
    if (which == QLatin1String("Help"))
        return std::make_unique<Help>();
    return std::make_unique<About>();
}

QTextBrowser *browserOf(QDialog *dialog)
{
    if (auto *help = qobject_cast<Help *>(dialog))
        return help->textBrowser();
    return static_cast<About *>(dialog)->textBrowser();
}

QTextTable *firstTable(QTextDocument *document)
{
    for (QTextFrame *frame : document->rootFrame()->childFrames())
        if (auto *table = qobject_cast<QTextTable *>(frame))
            return table;
    return nullptr;
}

QString cellText(QTextTable *table, int row, int column)
{
    const QTextTableCell cell = table->cellAt(row, column);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return cursor.selectedText().trimmed();
}

// The help table's rows, header first.
QList<QPair<QString, QString>> helpRows()
{
    Help help;
    QTextTable *table = firstTable(help.textBrowser()->document());
    QList<QPair<QString, QString>> rows;
    if (!table || table->columns() != 2)
        return rows;
    for (int r = 0; r < table->rows(); ++r)
        rows.append({cellText(table, r, 0), cellText(table, r, 1)});
    return rows;
}

// The names the help page uses that are not the dictionary's own: 小眼
// is the common name of 头眼/末眼, and 侧 the other name of 腰.
QString dictionaryNameFor(const QString &named)
{
    if (named == QStringLiteral("小眼"))
        return QStringLiteral("头眼");
    QString name = named;
    if (name.startsWith(u'侧'))
        name[0] = u'腰';
    return name;
}

// True when the exact lookup of the abbreviation offers a symbol whose
// dictionary name is the named one (or one of its "/" alternatives).
bool findsSymbol(const SymbolDictionary &dictionary, const QString &abbreviation,
                 const QString &named, QString *offered)
{
    const QString wanted = dictionaryNameFor(named);
    for (const Candidate &c : dictionary.lookup(abbreviation, false)) {
        const QList<char32_t> codes = Gongche::symbolsOf(c.text);
        if (codes.size() != 1)
            continue;
        const QString name = Gongche::dictionaryName(codes.first());
        offered->append(name + QLatin1Char(' '));
        if (name == wanted || name.split(QLatin1Char('/')).contains(wanted))
            return true;
    }
    return false;
}

SymbolDictionary shippedDictionary()
{
    return SymbolDictionary::fromFile(SymbolDictionary::resourcePath());
}

} // namespace

void TestHelpAbout::form_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("documentTitle");
    QTest::addColumn<QString>("family");
    QTest::newRow("Help") << "Help" << QSize(817, 568) << QStringLiteral("曲谱输入法使用教程")
                          << QStringLiteral("宋体");
    QTest::newRow("About") << "About" << QSize(822, 543) << QStringLiteral("关于Kelvo工尺谱")
                           << QStringLiteral("SimSun");
}

void TestHelpAbout::form()
{
    QFETCH(QString, which);
    QFETCH(QSize, size);
    QFETCH(QString, documentTitle);
    QFETCH(QString, family);
    auto dialog = makeDialog(which);
    QCOMPARE(dialog->objectName(), which);
    QCOMPARE(dialog->windowTitle(), which);
    QCOMPARE(dialog->size(), size);
    QVERIFY(!dialog->parentWidget());

    auto *layout = qobject_cast<QHBoxLayout *>(dialog->layout());
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QStringLiteral("horizontalLayout"));
    QTextBrowser *browser = browserOf(dialog.get());
    QCOMPARE(browser->objectName(), QStringLiteral("textBrowser"));
    QCOMPARE(dialog->findChildren<QWidget *>().size(), browser->findChildren<QWidget *>().size() + 1);
    QCOMPARE(browser->documentTitle(), documentTitle);
    QVERIFY(browser->toPlainText().startsWith(documentTitle));
    const QString html = browser->document()->toHtml();
    QVERIFY(html.contains(family));
    QVERIFY(html.contains(QStringLiteral("16px")));

    // The browser fills the dialog, and follows it when resized.
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QMargins margins = layout->contentsMargins();
    QCOMPARE(browser->geometry(), dialog->rect().marginsRemoved(margins));
    QVERIFY(dialog->minimumSize().width() < size.width());
    QVERIFY(dialog->maximumSize().width() > size.width());
    dialog->resize(size + QSize(200, 100));
    QTRY_COMPARE(dialog->size(), size + QSize(200, 100));
    QTRY_COMPARE(browser->geometry(), dialog->rect().marginsRemoved(margins));
}

// Every web link takes its base from the configured web address; the
// guide link opens the guide bundled with the program.
void TestHelpAbout::linksGoToTheDesktop_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("href"); // {base} stands for the configured base
    QTest::newRow("web site") << "About" << "{base}/";
    QTest::newRow("feedback") << "About" << "{base}/feedback";
    QTest::newRow("mail") << "About" << "mailto:support@kelvo.example";
    QTest::newRow("guide") << "Help" << "kelvo:guide";
}

void TestHelpAbout::linksGoToTheDesktop()
{
    QFETCH(QString, which);
    QFETCH(QString, href);
    const QString base = QStringLiteral("http://127.0.0.1:8080/kelvo");
    qputenv("KELVO_WEB_BASE", (base + "/").toUtf8()); // the slash is dropped
    ServerConstants::reset();
    TestEnvironment env;
    auto dialog = makeDialog(which);
    qunsetenv("KELVO_WEB_BASE");
    ServerConstants::reset();
    QTextBrowser *browser = browserOf(dialog.get());
    const QString page = browser->toPlainText();

    QStringList links;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                links << it.fragment().charFormat().anchorHref();
    for (const QString &link : links)
        QVERIFY2(!link.startsWith(QLatin1String("http")) || link.startsWith(base), qPrintable(link));
    href.replace(QStringLiteral("{base}"), base);
    QVERIFY2(links.contains(href), qPrintable(links.join(' ')));

    emit browser->anchorClicked(QUrl(href));
    QCOMPARE(env.dialogs().requests.size(), 1);
    QCOMPARE(env.dialogs().requests.first().kind, DialogRequest::OpenUrl);
    if (href != Help::guideLink().toString())
        QCOMPARE(env.dialogs().requests.first().url, QUrl(href));
    QCOMPARE(browser->toPlainText(), page);
}

// With a browser the guide opens there from the cache folder (a stale copy
// is replaced); without one it shows in a window of the help dialog.
void TestHelpAbout::guideLinkOpensBundledGuide_data()
{
    QTest::addColumn<bool>("browser");
    QTest::addColumn<bool>("stale");
    QTest::newRow("browser") << true << false;
    QTest::newRow("stale copy") << true << true;
    QTest::newRow("no browser") << false << false;
}

void TestHelpAbout::guideLinkOpensBundledGuide()
{
    QFETCH(bool, browser);
    QFETCH(bool, stale);
    TestEnvironment env;
    const QString cached = DataPaths::cacheDir() + QStringLiteral("/guide.html");
    if (stale) {
        QVERIFY(QDir().mkpath(DataPaths::cacheDir()));
        QFile old(cached);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("<html>old</html>");
    }
    DialogAnswer answer;
    answer.ok = browser;
    env.dialogs().queue(answer);
    Help help;
    emit help.textBrowser()->anchorClicked(Help::guideLink());

    QCOMPARE(env.dialogs().requests.size(), 1);
    QCOMPARE(env.dialogs().requests.first().url, QUrl::fromLocalFile(cached));
    QFile file(cached), bundled(Help::bundledGuide());
    QVERIFY(file.open(QIODevice::ReadOnly) && bundled.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bundled.readAll());
    QCOMPARE(help.guideWindow() != nullptr, !browser);
    if (!browser) {
        QVERIFY(help.guideWindow()->isVisible());
        QVERIFY(help.guideWindow()->toPlainText().contains(QStringLiteral("唱词的标记")));
        // A link to one of its sections scrolls there and asks nothing more.
        QTextBrowser *window = help.guideWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->verticalScrollBar()->value(), 0);
        emit window->anchorClicked(QUrl(QStringLiteral("qrc:/docs/guide.html#english")));
        QCOMPARE(env.dialogs().requests.size(), 1);
        QVERIFY(window->verticalScrollBar()->value() > 0);
    }
}

void TestHelpAbout::bundledGuide()
{
    QFile file(Help::bundledGuide());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QVERIFY(html.contains(QStringLiteral("<title>Kelvo工尺谱 使用文档 / User Guide</title>")));
    for (const char *heading : {"1. 唱词的标记", "2. 哪些字有曲谱行", "1. Lyric markup",
                                "8. Where files are kept"})
        QVERIFY2(html.contains(QString::fromUtf8(heading)), heading);
    // The Markdown tables became tables, and the sections' own links find
    // their anchors.
    QVERIFY(html.contains(QStringLiteral("<table")));
    QVERIFY(html.contains(QStringLiteral("<a name=\"english\">")));
    QVERIFY(!html.contains(QStringLiteral("abbreviations: end")));
}

void TestHelpAbout::helpTable()
{
    const QList<QPair<QString, QString>> rows = helpRows();
    const QList<QPair<QString, QString>> expected = {
        {"拼音", "曲谱符号"},
        {"h", "合"}, {"s", "四"}, {"y", "一"}, {"s", "上"}, {"c", "尺"},
        {"g", "工"}, {"f", "凡"}, {"l", "六"}, {"w", "五"}, {"y", "乙"},
        {"tb", "头板"}, {"ty/xy", "头眼/小眼"}, {"zy", "中眼"}, {"my/xy", "末眼/小眼"},
        {"zb", "赠板"}, {"yty/cty", "腰头眼/侧头眼"}, {"yzy/czy", "腰中眼/侧中眼"},
        {"ymy/cmy", "腰末眼/侧末眼"}, {"db", "底板"}, {"yzb", "腰赠板"},
        {"dq", "疊腔"}, {"hq", "豁腔"}, {"sq", "擻腔"},
    };
    QCOMPARE(rows, expected);
}

void TestHelpAbout::helpAbbreviationsFindTheirSymbols_data()
{
    QTest::addColumn<QString>("abbreviation");
    QTest::addColumn<QString>("named");
    const QList<QPair<QString, QString>> rows = helpRows();
    QCOMPARE(rows.size(), 24);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList abbreviations = rows.at(r).first.split(QLatin1Char('/'));
        const QStringList names = rows.at(r).second.split(QLatin1Char('/'));
        QCOMPARE(abbreviations.size(), names.size());
        for (qsizetype i = 0; i < abbreviations.size(); ++i)
            QTest::addRow("row %d: %s", int(r), qPrintable(abbreviations.at(i)))
                << abbreviations.at(i) << names.at(i);
    }
}

void TestHelpAbout::helpAbbreviationsFindTheirSymbols()
{
    QFETCH(QString, abbreviation);
    QFETCH(QString, named);
    const SymbolDictionary dictionary = shippedDictionary();
    QVERIFY(!dictionary.isEmpty());
    QString offered;
    QVERIFY2(findsSymbol(dictionary, abbreviation, named, &offered),
             qPrintable(abbreviation + " -> " + named + ", offered: " + offered));
}

void TestHelpAbout::helpRulesAndExamplesFindTheirSymbols()
{
    // Rules and examples name abbreviations as "gu（工高八度）".
    Help help;
    const QString page = help.textBrowser()->toPlainText();
    static const QRegularExpression example(QStringLiteral("\\b([a-z]+)（([^）]+)）"));
    QStringList named;
    const SymbolDictionary dictionary = shippedDictionary();
    for (auto it = example.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        named << m.captured(1);
        QString offered;
        QVERIFY2(findsSymbol(dictionary, m.captured(1), m.captured(2), &offered),
                 qPrintable(m.captured(0) + ", offered: " + offered));
    }
    named.removeDuplicates();
    named.sort();
    QCOMPARE(named, QStringList({"gd", "gq", "gu", "guu", "gx", "hqx", "suqx"}));
}

void TestHelpAbout::helpSections()
{
    Help help;
    const QString page = help.textBrowser()->toPlainText();
    qsizetype at = 0;
    for (const char *section : {"曲谱输入法使用教程", "简介", "输入法拼音字符对应表", "规则", "示例"}) {
        const qsizetype found = page.indexOf(QString::fromUtf8(section), at);
        QVERIFY2(found >= at, section);
        at = found;
    }
    // Three examples after the last heading.
    const QString examples = page.mid(at);
    for (const char *abbreviation : {"suqx", "gd", "hqx"})
        QVERIFY(examples.contains(QLatin1String(abbreviation)));
}

void TestHelpAbout::aboutPage()
{
    About about;
    QTextDocument *document = about.textBrowser()->document();
    const QString page = document->toPlainText();
    // Version line: one paragraph, two spans.
    QTextBlock version;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        if (block.text().startsWith(QStringLiteral("当前软件版本")))
            version = block;
    QVERIFY(version.isValid());
    QCOMPARE(version.text(), QStringLiteral("当前软件版本：2.1"));
    QCOMPARE(QStringLiteral("2.1"), QStringLiteral(KELVO_VERSION));
    int fragments = 0;
    for (auto it = version.begin(); !it.atEnd(); ++it)
        ++fragments;
    QCOMPARE(fragments, 2);

    // Five features in a list.
    QList<int> listSizes;
    QSet<QTextList *> seen;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        if (QTextList *list = block.textList(); list && !seen.contains(list)) {
            seen.insert(list);
            listSizes << list->count();
        }
    QVERIFY(!listSizes.isEmpty());
    QCOMPARE(listSizes.first(), 5);
    for (const char *feature : {"JPG", "PNG", "PDF", "SVG", ".gcp"})
        QVERIFY(page.contains(QLatin1String(feature)));
    QVERIFY(page.contains(QStringLiteral("kelvo.example")));
}

void TestHelpAbout::actionsOpenParentlessModals_data()
{
    QTest::addColumn<QString>("which");
    QTest::newRow("Help") << "Help";
    QTest::newRow("About") << "About";
}

void TestHelpAbout::actionsOpenParentlessModals()
{
    QFETCH(QString, which);
    TestEnvironment env;
    MainWindow window;
    QString seenName;
    bool parentless = false;
    bool modal = false;
    int tries = 0;
    // Close whatever modal shows up; give up (and fail) rather than hang.
    std::function<void()> closeModal = [&]() {
        if (QWidget *w = QApplication::activeModalWidget()) {
            seenName = w->objectName();
            parentless = !w->parentWidget();
            modal = w->isModal();
            static_cast<QDialog *>(w)->reject();
            return;
        }
        if (++tries < 200)
            QTimer::singleShot(10, closeModal);
        else
            QApplication::closeAllWindows();
    };
    QTimer::singleShot(0, closeModal);
    if (which == QLatin1String("Help"))
        window.form()->helpAction->trigger();
    else
        window.form()->aboutAction->trigger();
    QCOMPARE(seenName, which);
    QVERIFY(parentless);
    QVERIFY(modal);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestHelpAbout)
#include "test_helpabout.moc"
