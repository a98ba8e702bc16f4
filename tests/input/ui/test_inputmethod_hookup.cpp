// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/ui/InputMethod.h"

#include "app/ui/MainWindow.h"
#include "document/GongcheSymbols.h"
#include "document/ui/KelvoEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "ui_MainWindow.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QTabWidget>
#include <QtTest>

#include <memory>

// The process-wide input method and the places that reach it: the main
// window at start-up and on tab changes, the score pane on Space and on
// losing the focus. One process, one instance: the cases run in order.
class TestInputMethodHookup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void mainWindowCreatesInstanceAtStartUp();
    void tabChangeSetsTarget();
    void closedTabLeavesNoDanglingTarget();

    void suggestBeatMarksOpensSuggestions_data();
    void suggestBeatMarksOpensSuggestions();
    void focusOutResets_data();
    void focusOutResets();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

namespace {

QString mark(char32_t c)
{
    return Gongche::toString(c);
}

// A document tab page: the paired editor, whose score pane the window hands
// to the input method.
QWidget *documentPage(ScoreEdit **pane)
{
    auto *page = new KelvoEdit;
    *pane = page->scoreEdit();
    return page;
}

} // namespace

void TestInputMethodHookup::initTestCase()
{
    initTestApplication();
    m_env = std::make_unique<TestEnvironment>();
}

void TestInputMethodHookup::cleanup()
{
    if (InputMethod *im = InputMethod::existingInstance())
        im->reset();
}

void TestInputMethodHookup::mainWindowCreatesInstanceAtStartUp()
{
    QVERIFY(!InputMethod::existingInstance());
    MainWindow window;
    InputMethod *im = InputMethod::existingInstance();
    QVERIFY(im);
    QCOMPARE(InputMethod::instance(), im);
    QVERIFY(im->isHidden());
    // The dictionary was loaded from the first-run copy in the data folder.
    const QString copy = QDir(m_env->dataDir()).filePath(QStringLiteral("wordsdict.csv"));
    QCOMPARE(im->dictionary().path(), copy);
    QVERIFY(QFile::exists(copy));
    QVERIFY(!im->dictionary().isEmpty());
    QVERIFY(!im->dictionary().lookup(QStringLiteral("h"), false).isEmpty());
}

void TestInputMethodHookup::tabChangeSetsTarget()
{
    MainWindow window;
    QTabWidget *tabs = window.form()->tabWidget;
    ScoreEdit *first = nullptr;
    ScoreEdit *second = nullptr;
    tabs->addTab(documentPage(&first), QStringLiteral("one"));
    QCOMPARE(InputMethod::instance()->target(), static_cast<QPlainTextEdit *>(first));
    tabs->addTab(documentPage(&second), QStringLiteral("two"));
    tabs->setCurrentIndex(1);
    QCOMPARE(InputMethod::instance()->target(), static_cast<QPlainTextEdit *>(second));
    tabs->setCurrentIndex(0);
    QCOMPARE(InputMethod::instance()->target(), static_cast<QPlainTextEdit *>(first));
}

void TestInputMethodHookup::closedTabLeavesNoDanglingTarget()
{
    MainWindow window;
    QTabWidget *tabs = window.form()->tabWidget;
    ScoreEdit *pane = nullptr;
    tabs->addTab(documentPage(&pane), QStringLiteral("one"));
    InputMethod *im = InputMethod::instance();
    QCOMPARE(im->target(), static_cast<QPlainTextEdit *>(pane));

    // Closing the last tab: the target stays set until its pane goes.
    QWidget *page = tabs->widget(0);
    tabs->removeTab(0);
    QCOMPARE(im->target(), static_cast<QPlainTextEdit *>(pane));
    delete page;
    QVERIFY(!im->target());
    im->appendLetter(QStringLiteral("hs"));
    QVERIFY(im->isVisible());
    QCOMPARE(im->anchorPoint(), QCursor::pos());
    QVERIFY(!im->commitCurrent().isEmpty());
}

void TestInputMethodHookup::suggestBeatMarksOpensSuggestions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("context");
    QTest::newRow("empty score: 头板") << QString() << mark(Gongche::TouBan);
    QTest::newRow("after 中眼") << mark(Gongche::ZhongYan) << mark(Gongche::ZhongYan);
    QTest::newRow("after 腰赠板") << mark(Gongche::YaoZengBan) << mark(Gongche::YaoZengBan);
}

void TestInputMethodHookup::suggestBeatMarksOpensSuggestions()
{
    QFETCH(QString, text);
    QFETCH(QString, context);
    ScoreEdit edit;
    edit.setPlainText(text);
    edit.moveCursor(QTextCursor::End);
    InputMethod *im = InputMethod::instance();
    im->setTarget(&edit);
    edit.suggestBeatMarks();

    QVERIFY(im->isVisible());
    QVERIFY(im->composition().isSuggesting());
    QCOMPARE(im->composition().compositionString(), context);
    const QStringList expected = im->dictionary().suggestionsFor(context);
    QCOMPARE(expected.size(), 14);
    QCOMPARE(im->composition().candidates(), expected);
    QCOMPARE(im->pageIndicatorText(), QStringLiteral("1/3"));
    // Space again commits the first suggestion, the context mark itself.
    QCOMPARE(im->commitCurrent(), context);
    QVERIFY(im->isHidden());
    im->setTarget(nullptr);
}

void TestInputMethodHookup::focusOutResets_data()
{
    QTest::addColumn<bool>("suggest");
    QTest::newRow("composing") << false;
    QTest::newRow("suggesting") << true;
}

void TestInputMethodHookup::focusOutResets()
{
    QFETCH(bool, suggest);
    ScoreEdit edit;
    InputMethod *im = InputMethod::instance();
    if (suggest)
        edit.suggestBeatMarks();
    else
        im->appendLetter(QStringLiteral("hs"));
    QVERIFY(im->isVisible());
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(&edit, &out);
    QVERIFY(im->isHidden());
    QVERIFY(!im->isComposing());
    QVERIFY(im->composition().candidates().isEmpty());
}

QTEST_MAIN(TestInputMethodHookup)
#include "test_inputmethod_hookup.moc"
