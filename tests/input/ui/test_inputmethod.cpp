// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/ui/InputMethod.h"

#include "document/GongcheSymbols.h"
#include "editor/ui/ScoreEdit.h"
#include "fonts/FontRegistry.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The candidate window on its own: size, place, painting and keys. Windows
// of their own are built for each case; the process-wide one is left to the
// hook-up test.
class TestInputMethod : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void startsHiddenAsToolTip();

    void size_data();
    void size();
    void placement_data();
    void placement();
    void pageIndicator_data();
    void pageIndicator();

    void paintsSelectionInAlertColour_data();
    void paintsSelectionInAlertColour();
    void paintsIncompleteSegmentInAlertColour_data();
    void paintsIncompleteSegmentInAlertColour();
    void paintsBorderAndPageIndicator();

    void anchorsUnderTargetCursor();
    void deletedTargetAnchorsAtMouse();

    void visibilityAfterOperation_data();
    void visibilityAfterOperation();
    void handleKey_data();
    void handleKey();
    void selectByNumber_data();
    void selectByNumber();

private:
    std::unique_ptr<InputMethod> shippedWindow() const;
    std::unique_ptr<InputMethod> testWindow() const;

    std::unique_ptr<TestEnvironment> m_env;
    QTemporaryDir m_dir;
    QString m_testDictionary;
};

namespace {

QString glyph(int offset)
{
    return Gongche::toString(Gongche::PitchBlockStart + offset);
}

// Fourteen candidates for "a" and seven for "p", weights falling in file
// order so the ranking is the file order.
QByteArray testDictionary()
{
    QByteArray text = "unicode编码 拼音 权重 注释\r\n";
    for (int i = 0; i < 14; ++i)
        text += QStringLiteral("U%1 a %2 x\r\n")
                    .arg(Gongche::PitchBlockStart + i, 8, 16, QLatin1Char('0'))
                    .arg(1.0 - i * 0.01)
                    .toUtf8();
    for (int i = 0; i < 7; ++i)
        text += QStringLiteral("U%1 p %2 x\r\n")
                    .arg(Gongche::PitchBlockStart + 40 + i, 8, 16, QLatin1Char('0'))
                    .arg(1.0 - i * 0.01)
                    .toUtf8();
    return text;
}

bool isAlert(QRgb c)
{
    return qRed(c) >= 0xE0 && qGreen(c) <= 0x70 && qBlue(c) <= 0x50;
}

bool isNormal(QRgb c)
{
    return qRed(c) <= 0x40 && qGreen(c) >= 0x50 && qGreen(c) <= 0x90 && qBlue(c) >= 0xC0;
}

int countPixels(const QImage &image, const QRect &area, bool (*test)(QRgb))
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// Where candidate j of the page is painted.
QRect candidateArea(const InputMethod &im, int j)
{
    const QFontMetrics comp(im.compositionFont());
    const QFontMetrics cand(im.candidateFont());
    const QStringList page = im.composition().pageCandidates();
    int x = InputMethod::LeftMargin;
    for (int i = 0; i < j; ++i)
        x += comp.horizontalAdvance(QString::number(i + 1) + QLatin1Char(' '))
            + cand.horizontalAdvance(page.at(i)) + InputMethod::CandidateGap;
    const int width = comp.horizontalAdvance(QString::number(j + 1) + QLatin1Char(' '))
        + cand.horizontalAdvance(page.at(j));
    const int top = InputMethod::TopMargin + comp.height() + InputMethod::RowGap;
    return QRect(x, top, width, cand.height());
}

QRect firstRow(const InputMethod &im)
{
    const QFontMetrics comp(im.compositionFont());
    return QRect(0, 0, im.width(), InputMethod::TopMargin + comp.height() + 2);
}

} // namespace

void TestInputMethod::initTestCase()
{
    initTestApplication();
    // The shipped dictionary's first-run copy lands in this data folder.
    m_env = std::make_unique<TestEnvironment>();
    QVERIFY(m_dir.isValid());
    m_testDictionary = m_dir.filePath(QStringLiteral("test.csv"));
    QFile file(m_testDictionary);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(testDictionary());
}

std::unique_ptr<InputMethod> TestInputMethod::shippedWindow() const
{
    return std::make_unique<InputMethod>();
}

std::unique_ptr<InputMethod> TestInputMethod::testWindow() const
{
    return std::make_unique<InputMethod>(SymbolDictionary::fromFile(m_testDictionary));
}

void TestInputMethod::startsHiddenAsToolTip()
{
    auto im = shippedWindow();
    QVERIFY(im->isHidden());
    QCOMPARE(im->windowType(), Qt::ToolTip);
    QVERIFY(!im->parentWidget());
    QVERIFY(!im->isComposing());
    QVERIFY(!im->target());
    QCOMPARE(im->size(), im->preferredSize());
    // The working copy was made in the data folder and loaded.
    QCOMPARE(im->dictionary().path(), QDir(m_env->dataDir()).filePath(QStringLiteral("wordsdict.csv")));
    QVERIFY(QFile::exists(im->dictionary().path()));
    QVERIFY(!im->dictionary().isEmpty());

    QCOMPARE(im->compositionFont().family(), QStringLiteral("console"));
    QCOMPARE(im->compositionFont().pointSize(), 12);
    QCOMPARE(im->candidateFont().family(), FontRegistry::instance().defaultFamily());
    QCOMPARE(im->candidateFont().pointSize(), 16);
    QCOMPARE(im->pageFont().family(), QStringLiteral("console"));
    QCOMPARE(im->pageFont().pointSize(), 8);
}

// Which term of the width formula a state is meant to exercise.
enum class WidthTerm { Candidates, Composition, Minimum };
Q_DECLARE_METATYPE(WidthTerm)

void TestInputMethod::size_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<int>("onPage");
    QTest::addColumn<WidthTerm>("term");
    QTest::newRow("h: six candidates") << "h" << 6 << WidthTerm::Candidates;
    QTest::newRow("hdqx: one candidate") << "hdqx" << 1 << WidthTerm::Minimum;
    QTest::newRow("a: the empty candidate") << "a" << 1 << WidthTerm::Minimum;
    QTest::newRow("five long segments") << QString("yuuqx").repeated(4) + "hdqx" << 1
                                       << WidthTerm::Composition;
    QTest::newRow("hs: first page of many") << "hs" << 6 << WidthTerm::Candidates;
}

void TestInputMethod::size()
{
    QFETCH(QString, letters);
    QFETCH(int, onPage);
    QFETCH(WidthTerm, term);
    auto im = shippedWindow();
    im->appendLetter(letters);
    const QStringList page = im->composition().pageCandidates();
    QCOMPARE(page.size(), onPage);

    const QFontMetrics comp(im->compositionFont());
    const QFontMetrics cand(im->candidateFont());
    int candidates = 20 * (onPage - 1);
    for (const QString &c : page)
        candidates += cand.horizontalAdvance(c) + comp.horizontalAdvance(QStringLiteral("0 "));
    const int composition = comp.horizontalAdvance(im->composition().compositionString());
    const int expectedWidth = std::max(std::max(candidates, composition) + 20, 200);
    QCOMPARE(im->width(), expectedWidth);
    QCOMPARE(im->height(), comp.height() + 3 + 6 + cand.height() + 8);

    switch (term) {
    case WidthTerm::Candidates:
        QVERIFY(candidates > composition && candidates + 20 > 200);
        break;
    case WidthTerm::Composition:
        QVERIFY(composition > candidates && composition + 20 > 200);
        break;
    case WidthTerm::Minimum:
        QVERIFY(std::max(candidates, composition) + 20 < 200);
        break;
    }
}

void TestInputMethod::placement_data()
{
    QTest::addColumn<QPoint>("anchor");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QPoint>("expected");
    const QSize w(200, 50);
    const QSize s(1000, 800);
    QTest::newRow("inside") << QPoint(100, 100) << w << s << QPoint(100, 110);
    QTest::newRow("right edge, just fits") << QPoint(790, 100) << w << s << QPoint(790, 110);
    QTest::newRow("right edge, one over") << QPoint(791, 100) << w << s << QPoint(790, 110);
    QTest::newRow("right edge, far over") << QPoint(990, 100) << w << s << QPoint(790, 110);
    QTest::newRow("bottom, just fits") << QPoint(100, 740) << w << s << QPoint(100, 750);
    QTest::newRow("bottom, one over") << QPoint(100, 741) << w << s << QPoint(100, 740);
    QTest::newRow("bottom right corner") << QPoint(995, 795) << w << s << QPoint(790, 740);
    // Only the right and bottom edges are guarded.
    QTest::newRow("left and top untouched") << QPoint(-50, -30) << w << s << QPoint(-50, -20);
}

void TestInputMethod::placement()
{
    QFETCH(QPoint, anchor);
    QFETCH(QSize, window);
    QFETCH(QSize, screen);
    QFETCH(QPoint, expected);
    QCOMPARE(InputMethod::placement(anchor, window, screen), expected);
}

void TestInputMethod::pageIndicator_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<int>("nextPages");
    QTest::addColumn<QString>("indicator");
    QTest::addColumn<int>("onPage");
    QTest::newRow("7: first page") << "p" << 0 << "1/2" << 6;
    QTest::newRow("7: second page") << "p" << 1 << "2/2" << 1;
    QTest::newRow("7: past the last page") << "p" << 3 << "2/2" << 1;
    QTest::newRow("14: third page") << "a" << 2 << "3/3" << 2;
}

void TestInputMethod::pageIndicator()
{
    QFETCH(QString, letters);
    QFETCH(int, nextPages);
    QFETCH(QString, indicator);
    QFETCH(int, onPage);
    auto im = testWindow();
    im->appendLetter(letters);
    for (int i = 0; i < nextPages; ++i)
        im->handleKey(Qt::Key_Period);
    QCOMPARE(im->pageIndicatorText(), indicator);
    QCOMPARE(im->composition().pageCandidates().size(), onPage);
    // Every page change resizes the window to its page.
    QCOMPARE(im->size(), im->preferredSize());
}

void TestInputMethod::paintsSelectionInAlertColour_data()
{
    QTest::addColumn<int>("selection");
    QTest::newRow("first") << 0;
    QTest::newRow("second") << 1;
    QTest::newRow("last on page") << 5;
}

void TestInputMethod::paintsSelectionInAlertColour()
{
    QFETCH(int, selection);
    auto im = shippedWindow();
    im->appendLetter(QStringLiteral("hs"));
    for (int i = 0; i < selection; ++i)
        im->handleKey(Qt::Key_Right);
    QCOMPARE(im->composition().selection(), selection);
    const QImage image = im->grab().toImage();
    const int onPage = int(im->composition().pageCandidates().size());
    QCOMPARE(onPage, 6);
    for (int j = 0; j < onPage; ++j) {
        const QRect area = candidateArea(*im, j);
        if (j == selection) {
            QVERIFY2(countPixels(image, area, isAlert) > 0, qPrintable(QString::number(j)));
            QCOMPARE(countPixels(image, area, isNormal), 0);
        } else {
            QVERIFY2(countPixels(image, area, isNormal) > 0, qPrintable(QString::number(j)));
            QCOMPARE(countPixels(image, area, isAlert), 0);
        }
    }
}

void TestInputMethod::paintsIncompleteSegmentInAlertColour_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<bool>("alert");
    QTest::newRow("hs: both complete") << "hs" << false;
    QTest::newRow("hk: k incomplete") << "hk" << true;
    QTest::newRow("ab: a incomplete") << "ab" << true;
}

void TestInputMethod::paintsIncompleteSegmentInAlertColour()
{
    QFETCH(QString, letters);
    QFETCH(bool, alert);
    auto im = shippedWindow();
    im->appendLetter(letters);
    const QImage image = im->grab().toImage();
    const QRect row = firstRow(*im);
    QVERIFY(countPixels(image, row, isNormal) > 0);
    QCOMPARE(countPixels(image, row, isAlert) > 0, alert);
}

void TestInputMethod::paintsBorderAndPageIndicator()
{
    auto im = shippedWindow();
    im->appendLetter(QStringLiteral("h"));
    const QImage image = im->grab().toImage();
    // The border runs along the edge; its colour is bluish grey, not white.
    const QRgb top = image.pixel(image.width() / 2, 0);
    const QRgb left = image.pixel(0, image.height() / 2);
    for (QRgb c : {top, left}) {
        QVERIFY2(c != qRgb(255, 255, 255), qPrintable(QColor(c).name()));
        QVERIFY2(qBlue(c) > qRed(c) && qGreen(c) > qRed(c), qPrintable(QColor(c).name()));
    }
    // The body is white.
    QCOMPARE(image.pixel(image.width() - 3, image.height() - 3), qRgb(255, 255, 255));

    // The indicator's grey text ends 10 px from the right edge.
    const QFontMetrics pageMetrics(im->pageFont());
    const int advance = pageMetrics.horizontalAdvance(im->pageIndicatorText());
    const QRect indicator(im->width() - 10 - advance, 0, advance, firstRow(*im).height());
    auto isGrey = [](QRgb c) {
        return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qRed(c) <= 0xC0;
    };
    int grey = 0;
    for (int y = indicator.top(); y <= indicator.bottom(); ++y)
        for (int x = indicator.left(); x <= indicator.right(); ++x)
            grey += isGrey(image.pixel(x, y)) ? 1 : 0;
    QVERIFY(grey > 0);
    // Nothing grey right of the indicator.
    for (int y = indicator.top(); y <= indicator.bottom(); ++y)
        for (int x = indicator.right() + 3; x < im->width() - 2; ++x)
            QVERIFY(!isGrey(image.pixel(x, y)));
}

void TestInputMethod::anchorsUnderTargetCursor()
{
    ScoreEdit edit;
    edit.setPlainText(glyph(7) + glyph(8) + QStringLiteral("\n") + glyph(9));
    edit.resize(300, 200);
    edit.move(50, 60);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QTextCursor cursor = edit.textCursor();
    cursor.movePosition(QTextCursor::End);
    edit.setTextCursor(cursor);

    auto im = shippedWindow();
    im->setTarget(&edit);
    QCOMPARE(im->target(), static_cast<QPlainTextEdit *>(&edit));
    im->appendLetter(QStringLiteral("h"));
    QVERIFY(im->isVisible());
    const QPoint anchor = edit.viewport()->mapToGlobal(edit.cursorRect().bottomLeft());
    QCOMPARE(im->anchorPoint(), anchor);
    // Far from the screen edges: right under the cursor, 10 px down.
    QVERIFY(anchor.x() + im->width() < im->screen()->size().width() - 10);
    QCOMPARE(im->pos(), anchor + QPoint(0, 10));
    QVERIFY(anchor.y() > edit.mapToGlobal(QPoint(0, 0)).y());
}

void TestInputMethod::deletedTargetAnchorsAtMouse()
{
    auto im = shippedWindow();
    auto *edit = new ScoreEdit;
    edit->setPlainText(glyph(7));
    im->setTarget(edit);
    delete edit; // e.g. the last tab closed, keeping its pane as target
    QVERIFY(!im->target());

    QCursor::setPos(123, 145);
    const QPoint mouse = QCursor::pos();
    im->appendLetter(QStringLiteral("h"));
    QVERIFY(im->isVisible());
    QCOMPARE(im->anchorPoint(), mouse);
    QCOMPARE(im->pos(), InputMethod::placement(mouse, im->size(), im->screen()->size()));
    im->handleKey(Qt::Key_Period);
    im->removeLetter();
    QVERIFY(im->isHidden());
}

enum class Operation { Commit, Escape, Backspace, Number, NumberOutOfRange, Delete, Letter };
Q_DECLARE_METATYPE(Operation)

void TestInputMethod::visibilityAfterOperation_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<bool>("suggest");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("composition");
    QTest::newRow("commit") << "hs" << false << Operation::Commit << false << "";
    QTest::newRow("commit the empty candidate") << "a" << false << Operation::Commit << false
                                                << "";
    QTest::newRow("escape") << "hs" << false << Operation::Escape << false << "";
    QTest::newRow("backspace of the last letter")
        << "h" << false << Operation::Backspace << false << "";
    QTest::newRow("backspace with a letter left")
        << "hs" << false << Operation::Backspace << true << "h";
    QTest::newRow("backspace after hd") << "hd" << false << Operation::Backspace << true << "h";
    QTest::newRow("number commits") << "h" << false << Operation::Number << false << "";
    QTest::newRow("number beyond the page keeps it")
        << "h" << false << Operation::NumberOutOfRange << true << "h";
    QTest::newRow("delete does nothing") << "hs" << false << Operation::Delete << true << "h's";
    QTest::newRow("suggestions: commit") << "" << true << Operation::Commit << false << "";
    QTest::newRow("suggestions: escape") << "" << true << Operation::Escape << false << "";
    QTest::newRow("suggestions: backspace") << "" << true << Operation::Backspace << false << "";
    QTest::newRow("suggestions ignore letters") << "" << true << Operation::Letter << true
                                                << Gongche::toString(Gongche::ZhongYan);
}

void TestInputMethod::visibilityAfterOperation()
{
    QFETCH(QString, letters);
    QFETCH(bool, suggest);
    QFETCH(Operation, operation);
    QFETCH(bool, visible);
    QFETCH(QString, composition);
    auto im = shippedWindow();
    if (suggest)
        im->showSuggestions(Gongche::toString(Gongche::ZhongYan));
    im->appendLetter(letters);
    QVERIFY(im->isVisible());
    QVERIFY(im->isComposing());

    QString result;
    switch (operation) {
    case Operation::Commit:
        result = im->commitCurrent();
        break;
    case Operation::Escape:
        im->handleKey(Qt::Key_Escape);
        break;
    case Operation::Backspace:
        im->handleKey(Qt::Key_Backspace);
        break;
    case Operation::Number:
        result = im->selectByNumber(1);
        QVERIFY(!result.isEmpty());
        break;
    case Operation::NumberOutOfRange:
        QCOMPARE(im->selectByNumber(0), QString());
        QCOMPARE(im->selectByNumber(7), QString());
        break;
    case Operation::Delete:
        im->handleKey(Qt::Key_Delete);
        break;
    case Operation::Letter:
        QVERIFY(!im->appendLetter(QChar(u'h')));
        break;
    }
    QCOMPARE(im->isVisible(), visible);
    QCOMPARE(im->isComposing(), visible);
    QCOMPARE(im->composition().compositionString(), composition);
    if (visible)
        QCOMPARE(im->size(), im->preferredSize());
}

void TestInputMethod::handleKey_data()
{
    QTest::addColumn<int>("startIndex"); // reached with Right from the first
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("selection");
    // 14 candidates: pages of 6, 6 and 2.
    QTest::newRow("comma: previous page") << 8 << int(Qt::Key_Comma) << 0 << 2;
    QTest::newRow("up: previous page") << 8 << int(Qt::Key_Up) << 0 << 2;
    QTest::newRow("comma on page 0") << 3 << int(Qt::Key_Comma) << 0 << 3;
    QTest::newRow("period: next page") << 3 << int(Qt::Key_Period) << 1 << 3;
    QTest::newRow("down: next page") << 3 << int(Qt::Key_Down) << 1 << 3;
    QTest::newRow("period onto the short last page clamps") << 10 << int(Qt::Key_Period) << 2
                                                            << 1;
    QTest::newRow("period on the last page stays") << 13 << int(Qt::Key_Period) << 2 << 1;
    QTest::newRow("left") << 2 << int(Qt::Key_Left) << 0 << 1;
    QTest::newRow("left across pages") << 6 << int(Qt::Key_Left) << 0 << 5;
    QTest::newRow("left on the very first") << 0 << int(Qt::Key_Left) << 0 << 0;
    QTest::newRow("right") << 0 << int(Qt::Key_Right) << 0 << 1;
    QTest::newRow("right across pages") << 5 << int(Qt::Key_Right) << 1 << 0;
    QTest::newRow("right on the very last") << 13 << int(Qt::Key_Right) << 2 << 1;
    QTest::newRow("delete") << 7 << int(Qt::Key_Delete) << 1 << 1;
    QTest::newRow("printable") << 7 << int(Qt::Key_Semicolon) << 1 << 1;
}

void TestInputMethod::handleKey()
{
    QFETCH(int, startIndex);
    QFETCH(int, key);
    QFETCH(int, page);
    QFETCH(int, selection);
    auto im = testWindow();
    im->appendLetter(QStringLiteral("a"));
    QCOMPARE(im->composition().candidates().size(), 14);
    for (int i = 0; i < startIndex; ++i)
        im->handleKey(Qt::Key_Right);
    QCOMPARE(im->composition().page() * 6 + im->composition().selection(), startIndex);

    im->handleKey(key);
    QCOMPARE(im->composition().page(), page);
    QCOMPARE(im->composition().selection(), selection);
    QVERIFY(im->isVisible());
    QCOMPARE(im->size(), im->preferredSize());
    QCOMPARE(im->pos(), InputMethod::placement(im->anchorPoint(), im->size(), im->screen()->size()));
    // The composition itself is untouched by moving.
    QCOMPARE(im->composition().compositionString(), QStringLiteral("a"));
    // Committing takes what is selected.
    QCOMPARE(im->commitCurrent(), glyph(page * 6 + selection));
}

void TestInputMethod::selectByNumber_data()
{
    QTest::addColumn<int>("nextPages");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("chosen"); // -1: nothing
    QTest::newRow("1 on page 0") << 0 << 1 << 0;
    QTest::newRow("6 on page 0") << 0 << 6 << 5;
    QTest::newRow("0") << 0 << 0 << -1;
    QTest::newRow("7") << 0 << 7 << -1;
    QTest::newRow("2 on the last page") << 2 << 2 << 13;
    QTest::newRow("3 beyond the last page") << 2 << 3 << -1;
    QTest::newRow("6 on page 1") << 1 << 6 << 11;
}

void TestInputMethod::selectByNumber()
{
    QFETCH(int, nextPages);
    QFETCH(int, number);
    QFETCH(int, chosen);
    auto im = testWindow();
    im->appendLetter(QStringLiteral("a"));
    for (int i = 0; i < nextPages; ++i)
        im->handleKey(Qt::Key_Period);
    const QString result = im->selectByNumber(number);
    if (chosen < 0) {
        QCOMPARE(result, QString());
        QVERIFY(im->isVisible());
        QCOMPARE(im->composition().page(), nextPages);
    } else {
        QCOMPARE(result, glyph(chosen));
        QVERIFY(im->isHidden());
        QVERIFY(!im->isComposing());
    }
}

QTEST_MAIN(TestInputMethod)
#include "test_inputmethod.moc"
