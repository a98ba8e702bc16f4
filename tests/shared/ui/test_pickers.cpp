// SPDX-License-Identifier: GPL-3.0-or-later
#include "shared/ui/ColorBox.h"
#include "shared/ui/FontBox.h"
#include "fonts/FontRegistry.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QFontComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class TestPickers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initTestApplication();
        m_env = std::make_unique<TestEnvironment>();
    }
    void cleanupTestCase() { m_env.reset(); }
    void init() { m_env->dialogs().requests.clear(); }

    void typedColor_data();
    void typedColor();
    void colorDialog_data();
    void colorDialog();
    void setColorIsSilent();

    void sizeField_data();
    void sizeField();
    void customFontBoxSelectsExactFamily();
    void fontBoxReportsFamily();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void TestPickers::typedColor_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("accepted"); // empty: rejected

    QTest::newRow("three digits") << "#abc" << "#aabbcc";
    QTest::newRow("six digits, upper case") << "#12AB3F" << "#12ab3f";
    QTest::newRow("four digits") << "#abcd" << "";
    QTest::newRow("five digits") << "#abcde" << "";
    QTest::newRow("hash only") << "#" << "";
}

// The field keeps what was typed when it names a colour; anything else is
// refused with a warning and the last good name comes back.
void TestPickers::typedColor()
{
    QFETCH(QString, typed);
    QFETCH(QString, accepted);

    ColorBox box;
    box.setColor(QColor("#102030"));
    QSignalSpy spy(&box, &ColorBox::colorChanged);

    box.lineEdit()->clear();
    QTest::keyClicks(box.lineEdit(), typed);
    QTest::keyClick(box.lineEdit(), Qt::Key_Return);

    const QList<DialogRequest> &requests = m_env->dialogs().requests;
    if (accepted.isEmpty()) {
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogRequest::Warning);
        QCOMPARE(requests[0].title, QStringLiteral("警告"));
        QCOMPARE(requests[0].text, QStringLiteral("错误的颜色值!"));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(box.lineEdit()->text(), QStringLiteral("#102030"));
        QCOMPARE(box.color(), QColor("#102030"));
    } else {
        QVERIFY(requests.isEmpty());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy[0][0].value<QColor>(), QColor(accepted));
        QCOMPARE(box.color(), QColor(accepted));
        QCOMPARE(box.lineEdit()->text(), typed);
        QVERIFY(box.pushButton()->styleSheet().startsWith(
            "QPushButton{ background-color: " + accepted + ";}"));
    }
}

void TestPickers::colorDialog_data()
{
    QTest::addColumn<QColor>("answer"); // invalid: cancelled
    QTest::newRow("cancelled") << QColor();
    QTest::newRow("chosen") << QColor("#336699");
}

void TestPickers::colorDialog()
{
    QFETCH(QColor, answer);

    ColorBox box;
    box.setColor(QColor("#102030"));
    const QString sheetBefore = box.pushButton()->styleSheet();
    QSignalSpy spy(&box, &ColorBox::colorChanged);
    m_env->dialogs().queueColor(answer);

    QTest::mouseClick(box.pushButton(), Qt::LeftButton);

    const QList<DialogRequest> &requests = m_env->dialogs().requests;
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].kind, DialogRequest::Color);
    QCOMPARE(requests[0].title, QStringLiteral("选择颜色"));
    QCOMPARE(requests[0].color, QColor("#102030"));
    QCOMPARE(requests[0].parent.data(), &box);

    const QColor expected = answer.isValid() ? answer : QColor("#102030");
    QCOMPARE(box.color(), expected);
    QCOMPARE(box.lineEdit()->text(), expected.name());
    QCOMPARE(spy.count(), answer.isValid() ? 1 : 0);
    if (answer.isValid())
        QVERIFY(box.pushButton()->styleSheet().startsWith(
            "QPushButton{ background-color: #336699;}"));
    else
        QCOMPARE(box.pushButton()->styleSheet(), sheetBefore);
}

void TestPickers::setColorIsSilent()
{
    ColorBox box;
    QCOMPARE(box.color(), QColor(Qt::white));
    QSignalSpy spy(&box, &ColorBox::colorChanged);

    box.setColor(QColor(10, 20, 30));
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("#0a141e"));
    box.setColor(QColor()); // ignored
    QCOMPARE(box.color(), QColor(10, 20, 30));
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("#0a141e"));
    QCOMPARE(spy.count(), 0);
}

void TestPickers::sizeField_data()
{
    QTest::addColumn<bool>("custom");
    QTest::addColumn<QString>("text");       // put into the field before editing finishes
    QTest::addColumn<QString>("shown");      // field text afterwards
    QTest::addColumn<int>("reported");       // size in fontChanged

    for (bool custom : {false, true}) {
        const char *kind = custom ? "CustomFontBox" : "FontBox";
        QTest::addRow("%s in range", kind) << custom << "40" << "40" << 40;
        QTest::addRow("%s above range", kind) << custom << "300" << "80" << 80;
        QTest::addRow("%s below range", kind) << custom << "2" << "5" << 5;
        QTest::addRow("%s empty", kind) << custom << "" << "" << 5;
    }
}

template<typename Box>
static void checkSizeField(const QString &text, const QString &shown, int reported)
{
    Box box;
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("5"));
    box.setSizeRange(5, 80);
    QCOMPARE(box.lineEdit()->placeholderText(), QStringLiteral("5~80"));

    QSignalSpy spy(&box, &Box::fontChanged);
    box.setSize(12); // silent
    QCOMPARE(box.size(), 12);
    QCOMPARE(box.font().pointSize(), 12);
    QCOMPARE(spy.count(), 0);

    box.lineEdit()->setText(text);
    box.onLineEditChanged();
    QCOMPARE(box.lineEdit()->text(), shown);
    QCOMPARE(box.size(), reported);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][1].toInt(), reported);
}

void TestPickers::sizeField()
{
    QFETCH(bool, custom);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(int, reported);
    if (custom)
        checkSizeField<CustomFontBox>(text, shown, reported);
    else
        checkSizeField<FontBox>(text, shown, reported);
}

void TestPickers::customFontBoxSelectsExactFamily()
{
    const QStringList families = FontRegistry::instance().families();
    QVERIFY(!families.isEmpty());

    CustomFontBox box;
    QCOMPARE(box.comboBox()->count(), families.size());
    QCOMPARE(box.comboBox()->currentText(), families.first());
    QSignalSpy spy(&box, &CustomFontBox::fontChanged);

    box.setCurrentFont(QFont(QStringLiteral("No Such Family")));
    box.setCurrentFont(QFont(families.first().toUpper() + QStringLiteral("x")));
    QCOMPARE(box.comboBox()->currentIndex(), 0);
    QCOMPARE(spy.count(), 0);

    box.setSize(30);
    QCOMPARE(box.font().family(), families.first());
    QCOMPARE(box.font().pointSize(), 30);
}

// The export dialog takes the family from font(): it must be the one shown.
void TestPickers::fontBoxReportsFamily()
{
    FontBox box;
    QFontComboBox *list = box.fontComboBox();
    if (list->count() < 2)
        QSKIP("needs two system font families");
    const QString family = list->itemText(list->currentIndex() == 1 ? 0 : 1);
    QSignalSpy spy(&box, &FontBox::fontChanged);

    box.setCurrentFont(QFont(family));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].value<QFont>().family(), family);
    QCOMPARE(spy[0][1].toInt(), 5);
    QCOMPARE(box.font().family(), family);
}

QTEST_MAIN(TestPickers)
#include "test_pickers.moc"
