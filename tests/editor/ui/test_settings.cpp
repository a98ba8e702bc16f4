// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/MainWindow.h"
#include "shared/ui/ColorBox.h"
#include "editor/EditorConfig.h"
#include "shared/ui/FontBox.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"
#include "editor/ui/Settings.h"
#include "fonts/FontRegistry.h"
#include "support/TestSupport.h"
#include "ui_MainWindow.h"
#include "ui_Settings.h"

#include <QApplication>
#include <QFile>
#include <QFontComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// Colour pickers and the keys they edit.
const QList<QPair<QString, QString>> &colorControls()
{
    static const QList<QPair<QString, QString>> list = {
        {"scoreColorBox", "scoreColor"},
        {"scoreBgColorBox", "scoreBgColor"},
        {"scoreLineColorBox", "scoreLineNumberColor"},
        {"scoreLineBgColorBox", "scoreLineNumberBgColor"},
        {"lyricBgColorBox", "lyricBgColor"},
        {"lyricColorBox", "lyricColor"},
        {"titleColorBox", "titleColor"},
        {"quPaiColorBox", "quPaiColor"},
        {"jiaBaiColorBox", "jiaBaiColor"},
        {"lianBaiColorBox", "lianBaiColor"},
        {"lyricLineBgColorBox", "lyricLineNumberBgColor"},
        {"lyricLineColorBox", "lyricLineNumberColor"},
        {"commentColorBox", "commentColor"},
        {"biaoDianColorBox", "biaoDianColor"},
        {"breakSymbolColorBox", "breakSymbolColor"},
        {"errorColorBox", "errorColor"},
    };
    return list;
}

// Font pickers and their family and size keys.
const QList<QPair<QString, QString>> &fontControls()
{
    static const QList<QPair<QString, QString>> list = {
        {"scoreFontBox", "scoreFont"},
        {"scoreLineFontBox", "scoreLineNumberFont"},
        {"lyricFontBox", "lyricFont"},
        {"lyricLineFontBox", "lyricLineNumberFont"},
    };
    return list;
}

QColor distinctColor(int i) { return QColor(10 + i, 100 + i, 200 - i); }

QLineEdit *sizeField(Settings &dialog, const QString &name)
{
    QWidget *box = dialog.findChild<QWidget *>(name);
    if (auto *f = qobject_cast<FontBox *>(box))
        return f->lineEdit();
    if (auto *f = qobject_cast<CustomFontBox *>(box))
        return f->lineEdit();
    return nullptr;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initTestApplication();
        // One data folder for the whole run: the shared EditorConfig is
        // created in it on first use and outlives every case.
        m_env = std::make_unique<TestEnvironment>();
        m_config = EditorConfig::instance();
    }
    void init()
    {
        m_config->restoreDefaults();
        m_env->dialogs().requests.clear();
    }
    void cleanupTestCase() { m_env.reset(); }

    void form();
    void restoreThenCancelKeepsDefaults();
    void confirmUnchangedRewritesAndNotifies();
    void confirmUnchangedKeepsFamilyNames_data();
    void confirmUnchangedKeepsFamilyNames();
    void everyControlBoundToItsKey();
    void emptySizeAppliedAsBottom_data();
    void emptySizeAppliedAsBottom();
    void typedColorReachesOpenPanes();
    void guttersFollowFontAtOnce_data();
    void guttersFollowFontAtOnce();
    void gutterLabelsFitTheirRows_data();
    void gutterLabelsFitTheirRows();
    void settingActionOpensParentlessModal();

private:
    QVariant stored(const QString &key) const
    {
        QSettings file(m_config->settingsPath(), QSettings::IniFormat);
        return file.value(QStringLiteral("Editor/") + key);
    }

    std::unique_ptr<TestEnvironment> m_env;
    EditorConfig *m_config = nullptr;
};

void TestSettings::form()
{
    Settings dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("Settings"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("设置"));
    QCOMPARE(dialog.minimumSize(), QSize(750, 530));
    QCOMPARE(dialog.maximumSize(), QSize(750, 530));
    Ui::Settings *ui = dialog.form();
    for (QPushButton *b : {ui->restoreBtn, ui->cancelBtn, ui->submitBtn}) {
        QVERIFY(!b->autoDefault());
        QCOMPARE(b->maximumWidth(), 100);
    }
    QCOMPARE(ui->lyricLineFontBox->lineEdit()->placeholderText(), QStringLiteral("5~80"));
    QCOMPARE(ui->scoreFontBox->size(), 16);
    QCOMPARE(ui->scoreFontBox->font().family(), FontRegistry::instance().defaultFamily());
    QCOMPARE(ui->errorColorBox->color(), QColor("#ff0000"));
}

void TestSettings::restoreThenCancelKeepsDefaults()
{
    m_config->setErrorColor(QColor("#123456"));
    m_config->setLyricFontSize(30);
    m_config->save();

    Settings dialog;
    QCOMPARE(dialog.form()->errorColorBox->color(), QColor("#123456"));
    QSignalSpy changed(m_config, &EditorConfig::configChanged);

    QTest::mouseClick(dialog.form()->restoreBtn, Qt::LeftButton);
    QCOMPARE(changed.count(), 1); // in force at once
    QCOMPARE(dialog.form()->errorColorBox->color(), QColor("#ff0000"));
    QCOMPARE(dialog.form()->lyricFontBox->size(), 16);

    dialog.form()->errorColorBox->setColor(QColor("#abcdef"));
    QTest::mouseClick(dialog.form()->cancelBtn, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    QCOMPARE(m_config->errorColor(), QColor("#ff0000"));
    QCOMPARE(m_config->lyricFontSize(), 16);
    QCOMPARE(stored("errorColor").toString(), QStringLiteral("#ff0000"));
    QCOMPARE(stored("lyricFontSize").toInt(), 16);
    QCOMPARE(changed.count(), 1);
}

void TestSettings::confirmUnchangedRewritesAndNotifies()
{
    m_config->setQuPaiColor(QColor("#010203"));
    m_config->setScoreLineNumberFontSize(22);
    m_config->save();
    QVERIFY(QFile::remove(m_config->settingsPath()));

    Settings dialog;
    QSignalSpy changed(m_config, &EditorConfig::configChanged);
    QTest::mouseClick(dialog.form()->submitBtn, Qt::LeftButton);

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(changed.count(), 1);
    QSettings file(m_config->settingsPath(), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Editor"));
    QCOMPARE(file.childKeys().size(), EditorConfig::keys().size());
    QCOMPARE(file.value("quPaiColor").toString(), QStringLiteral("#010203"));
    QCOMPARE(file.value("scoreLineNumberFontSize").toInt(), 22);
    QCOMPARE(file.value("scoreFont").toString(), FontRegistry::instance().defaultFamily());
    QCOMPARE(m_config->quPaiColor(), QColor("#010203"));
    QCOMPARE(m_config->scoreLineNumberFontSize(), 22);
}

void TestSettings::confirmUnchangedKeepsFamilyNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("family");
    for (const auto &[name, key] : fontControls()) {
        if (key == QLatin1String("scoreFont"))
            continue; // only registered notation fonts there
        // The default family is drawn by a substitute (or a fallback face)
        // here; a family nobody has is drawn by a fallback face.
        QTest::newRow(qPrintable(key)) << name << key << QStringLiteral("楷体");
        QTest::newRow(qPrintable(key + " absent")) << name << key << QStringLiteral("Kelvo No Such Face");
    }
}

void TestSettings::confirmUnchangedKeepsFamilyNames()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QFETCH(QString, family);
    {
        QSettings file(m_config->settingsPath(), QSettings::IniFormat);
        file.setValue(QStringLiteral("Editor/") + key, family);
    }
    m_config->load();
    m_config->save();

    Settings dialog;
    QCOMPARE(dialog.findChild<FontBox *>(name)->fontComboBox()->currentText(), family);
    QTest::mouseClick(dialog.form()->submitBtn, Qt::LeftButton);
    QCOMPARE(stored(key).toString(), family);
}

// Every picker writes its own key on confirm and shows it on the next
// opening: a swapped pair of controls fails here.
void TestSettings::everyControlBoundToItsKey()
{
    QFontComboBox probe;
    const QString family = probe.itemText(probe.count() > 1 ? 1 : 0);

    {
        Settings dialog;
        int i = 0;
        for (const auto &[name, key] : colorControls()) {
            auto *box = dialog.findChild<ColorBox *>(name);
            QVERIFY2(box, qPrintable(name));
            box->setColor(distinctColor(i++));
        }
        i = 0;
        for (const auto &[name, key] : fontControls()) {
            if (auto *box = dialog.findChild<FontBox *>(name))
                box->setCurrentFont(QFont(family));
            sizeField(dialog, name)->setText(QString::number(20 + i++));
        }
        QTest::mouseClick(dialog.form()->submitBtn, Qt::LeftButton);
    }

    int i = 0;
    for (const auto &[name, key] : colorControls())
        QVERIFY2(stored(key).toString() == distinctColor(i++).name(), qPrintable(key));
    i = 0;
    for (const auto &[name, key] : fontControls()) {
        QVERIFY2(stored(key + "Size").toInt() == 20 + i++, qPrintable(key));
        const QString expected = key == "scoreFont" ? FontRegistry::instance().defaultFamily() : family;
        QVERIFY2(stored(key).toString() == expected, qPrintable(key));
    }

    Settings reopened;
    i = 0;
    for (const auto &[name, key] : colorControls())
        QVERIFY2(reopened.findChild<ColorBox *>(name)->color() == distinctColor(i++), qPrintable(name));
    i = 0;
    for (const auto &[name, key] : fontControls())
        QVERIFY2(sizeField(reopened, name)->text() == QString::number(20 + i++), qPrintable(name));
}

void TestSettings::emptySizeAppliedAsBottom_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    for (const auto &[name, key] : fontControls())
        QTest::newRow(qPrintable(name)) << name << key + "Size";
}

void TestSettings::emptySizeAppliedAsBottom()
{
    QFETCH(QString, name);
    QFETCH(QString, key);

    Settings dialog;
    sizeField(dialog, name)->clear();
    QTest::mouseClick(dialog.form()->submitBtn, Qt::LeftButton);
    QCOMPARE(stored(key).toInt(), 5);
}

// A colour typed as a user would, confirmed: the config has it and an open
// lyric pane re-applies it without being told anything else.
void TestSettings::typedColorReachesOpenPanes()
{
    LyricEdit pane;
    Settings dialog;
    QLineEdit *field = dialog.form()->lyricBgColorBox->lineEdit();
    field->clear();
    QTest::keyClicks(field, "#123");
    QTest::keyClick(field, Qt::Key_Return);
    QTest::mouseClick(dialog.form()->submitBtn, Qt::LeftButton);

    QCOMPARE(m_config->lyricBgColor(), QColor("#112233"));
    QCOMPARE(stored("lyricBgColor").toString(), QStringLiteral("#112233"));
    QCOMPARE(pane.palette().color(QPalette::Base), QColor("#112233"));
}

// An open pane takes a new gutter font at once: the gutter and the room
// reserved for it widen together, and narrow again with the defaults.
void TestSettings::guttersFollowFontAtOnce_data()
{
    QTest::addColumn<QString>("box");
    QTest::newRow("lyric") << QStringLiteral("lyricLineFontBox");
    QTest::newRow("score") << QStringLiteral("scoreLineFontBox");
}

void TestSettings::guttersFollowFontAtOnce()
{
    QFETCH(QString, box);
    LyricEdit lyric;
    ScoreEdit score;
    const bool isLyric = box == QLatin1String("lyricLineFontBox");
    QPlainTextEdit *pane = isLyric ? static_cast<QPlainTextEdit *>(&lyric) : &score;
    QWidget *gutter = isLyric ? lyric.lineNumberArea() : score.lineNumberArea();
    pane->resize(300, 200);
    pane->show();
    QCoreApplication::processEvents();
    auto fits = [&] { return pane->viewport()->geometry().left() == gutter->geometry().right() + 1; };
    const int before = gutter->width();
    QVERIFY(fits());

    {
        Settings dialog;
        sizeField(dialog, box)->setText(QStringLiteral("40"));
        QTest::mouseClick(dialog.form()->submitBtn, Qt::LeftButton);
    }
    QVERIFY(gutter->width() > before);
    QVERIFY(fits());

    Settings dialog;
    QTest::mouseClick(dialog.form()->restoreBtn, Qt::LeftButton);
    QCOMPARE(gutter->width(), before);
    QVERIFY(fits());
}

void TestSettings::gutterLabelsFitTheirRows_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("row");
    QTest::newRow("smaller than the row") << 10 << 30;
    QTest::newRow("much taller") << 40 << 21;
    QTest::newRow("largest") << 80 << 15;
}

void TestSettings::gutterLabelsFitTheirRows()
{
    QFETCH(int, points);
    QFETCH(int, row);
    QFont font(QStringLiteral("楷体"), points);
    const QFont label = GutteredTextEdit::labelFont(font, row);
    QVERIFY(QFontMetricsF(label).height() <= row);
    if (QFontMetricsF(font).height() <= row)
        QCOMPARE(label, font);
}

void TestSettings::settingActionOpensParentlessModal()
{
    MainWindow window;
    QString seenClass;
    bool parentless = false;
    bool modal = false;

    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w)
            return;
        seenClass = QString::fromLatin1(w->metaObject()->className());
        parentless = w->parentWidget() == nullptr;
        modal = w->isModal();
        if (auto *d = qobject_cast<QDialog *>(w))
            d->reject();
    });
    poll.start();
    // Guard: whatever happens, nothing stays open past this.
    QTimer::singleShot(5000, this, [] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            d->reject();
    });

    window.form()->settingAction->trigger();
    poll.stop();

    QCOMPARE(seenClass, QStringLiteral("Settings"));
    QVERIFY(parentless);
    QVERIFY(modal);
}

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
