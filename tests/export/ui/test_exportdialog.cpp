// SPDX-License-Identifier: GPL-3.0-or-later
// The export dialog: every control bound to its key, page-size switching,
// live preview, wheel filter, schemes, export through the dialog seam,
// progress dialog, saving on close, and the main window's export action.

#include "app/ui/MainWindow.h"
#include "audio/PlaybackSettings.h"
#include "core/RecentFiles.h"
#include "document/SampleScore.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "document/ui/KelvoEdit.h"
#include "document/PairedDocument.h"
#include "music/MidiFile.h"
#include "music/Reading.h"
#include "shared/ui/NumberField.h"
#include "export/ui/Export.h"
#include "render/ExportConfig.h"
#include "render/GenerateSVG.h"
#include "render/ui/PreviewWindow.h"
#include "support/TestSupport.h"
#include "ui_Export.h"
#include "ui_MainWindow.h"

#include <QFile>
#include <QGraphicsEffect>
#include <QMenu>
#include <QFontDatabase>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

LayoutItems sampleItems()
{
    LayoutItem title;
    title.kind = Title;
    title.text = QStringLiteral("# 测试曲");
    LayoutItem line;
    line.kind = Lyric;
    line.text = QStringLiteral("天地玄黄");
    line.scores = QStringList(4, QString());
    return {title, line};
}

QString boolText(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

// One control of the form: how a user changes it, which key it writes, and
// how a loaded key shows in it.
struct Binding
{
    QString object;
    enum Kind { Edit, Combo, Color, Font, Check } kind;
    QString userInput;   // text typed, label chosen, colour typed, size typed; a check toggles
    QString keyAfterUser;
    std::function<QString(const ExportConfig &)> read;
    std::function<void(ExportConfig &, const QString &)> write;
    QString loadedKey;
    QString loadedShown;
};

#define INT_KEY(key, Set) \
    [](const ExportConfig &c) { return QString::number(c.key()); }, \
    [](ExportConfig &c, const QString &v) { c.Set(v.toInt()); }
#define BOOL_KEY(key, Set) \
    [](const ExportConfig &c) { return boolText(c.key()); }, \
    [](ExportConfig &c, const QString &v) { c.Set(v == QLatin1String("true")); }
#define COLOR_KEY(key, Set) \
    [](const ExportConfig &c) { return c.key().name(); }, \
    [](ExportConfig &c, const QString &v) { c.Set(QColor(v)); }

QList<Binding> bindings()
{
    using B = Binding;
    return {
        {"pageSizeBox", B::Combo, "A5 (420, 595)", "8", INT_KEY(pageSizeId, setPageSizeId), "18", "B4 (709, 1001)"},
        {"isLandscapeBox", B::Combo, "横向", "true", BOOL_KEY(isLandscape, setIsLandscape), "true", "横向"},
        {"widthBox", B::Edit, "600", "600", INT_KEY(pageWidth, setPageWidth), "700", "700"},
        {"heightBox", B::Edit, "900", "900", INT_KEY(pageHeight, setPageHeight), "800", "800"},
        {"marginTopBox", B::Edit, "30", "30", INT_KEY(marginTop, setMarginTop), "40", "40"},
        {"marginBottomBox", B::Edit, "31", "31", INT_KEY(marginBottom, setMarginBottom), "41", "41"},
        {"marginLeftBox", B::Edit, "32", "32", INT_KEY(marginLeft, setMarginLeft), "42", "42"},
        {"marginRightBox", B::Edit, "33", "33", INT_KEY(marginRight, setMarginRight), "43", "43"},
        {"isLineBreakScoreOverflowBox", B::Combo, "不换行", "false",
         BOOL_KEY(isLineBreakScoreOverflow, setIsLineBreakScoreOverflow), "false", "不换行"},
        {"colWidthBox", B::Edit, "140", "140", INT_KEY(colWidth, setColWidth), "150", "150"},
        {"lyricSpaceBox", B::Edit, "-7", "-7", INT_KEY(lyricSpace, setLyricSpace), "9", "9"},
        {"mColWidthBox", B::Edit, "40", "40", INT_KEY(mColWidth, setMColWidth), "45", "45"},
        {"scoreBanYanSpaceBox", B::Edit, "3", "3", INT_KEY(scoreBanYanSpace, setScoreBanYanSpace), "-3", "-3"},
        {"titlePosBox", B::Combo, "底部", "2", INT_KEY(titlePos, setTitlePos), "1", "居中"},
        {"titleWidthBox", B::Edit, "150", "150", INT_KEY(titleWidth, setTitleWidth), "160", "160"},
        {"scoreSpaceBox", B::Edit, "2", "2", INT_KEY(scoreSpace, setScoreSpace), "-2", "-2"},
        {"lyricScoreSpaceBox", B::Edit, "4", "4", INT_KEY(lyricScoreSpace, setLyricScoreSpace), "-4", "-4"},
        {"banYanSpaceBox", B::Edit, "5", "5", INT_KEY(banYanSpace, setBanYanSpace), "-5", "-5"},
        {"scoreAngleBox", B::Edit, "-30", "-30", INT_KEY(scoreAngle, setScoreAngle), "20", "20"},
        {"banColorBox", B::Color, "#123", "#112233", COLOR_KEY(banColor, setBanColor), "#654321", "#654321"},
        {"xiaoYanColorBox", B::Color, "#123456", "#123456", COLOR_KEY(xiaoYanColor, setXiaoYanColor), "#654321", "#654321"},
        {"zhongYanColorBox", B::Color, "#123456", "#123456", COLOR_KEY(zhongYanColor, setZhongYanColor), "#654321", "#654321"},
        {"qiangGeColorBox", B::Color, "#123456", "#123456", COLOR_KEY(qiangGeColor, setQiangGeColor), "#654321", "#654321"},
        {"scoreColorBox", B::Color, "#123456", "#123456", COLOR_KEY(scoreColor, setScoreColor), "#654321", "#654321"},
        {"titleColorBox", B::Color, "#123456", "#123456", COLOR_KEY(titleColor, setTitleColor), "#654321", "#654321"},
        {"quPaiColorBox", B::Color, "#123456", "#123456", COLOR_KEY(quPaiColor, setQuPaiColor), "#654321", "#654321"},
        {"diaoMingColorBox", B::Color, "#123456", "#123456", COLOR_KEY(diaoMingColor, setDiaoMingColor), "#654321", "#654321"},
        {"lyricColorBox", B::Color, "#123456", "#123456", COLOR_KEY(lyricColor, setLyricColor), "#654321", "#654321"},
        {"lianBaiColorBox", B::Color, "#123456", "#123456", COLOR_KEY(lianBaiColor, setLianBaiColor), "#654321", "#654321"},
        {"jiaBaiColorBox", B::Color, "#123456", "#123456", COLOR_KEY(jiaBaiColor, setJiaBaiColor), "#654321", "#654321"},
        {"backgroundColorBox", B::Color, "#123456", "#123456", COLOR_KEY(backgroundColor, setBackgroundColor), "#654321", "#654321"},
        {"bgTransparentBox", B::Check, "", "true", BOOL_KEY(isBgTransparent, setIsBgTransparent), "true", "true"},
        {"hiddenSymbolBox", B::Check, "", "true", BOOL_KEY(isHiddenSymbol, setIsHiddenSymbol), "true", "true"},
        {"titleFontBox", B::Font, "44", "44", INT_KEY(titleFontSize, setTitleFontSize), "55", "55"},
        {"lyricFontBox", B::Font, "44", "44", INT_KEY(lyricFontSize, setLyricFontSize), "55", "55"},
        {"scoreFontBox", B::Font, "44", "44", INT_KEY(scoreFontSize, setScoreFontSize), "55", "55"},
        {"quPaiFontBox", B::Font, "44", "44", INT_KEY(quPaiFontSize, setQuPaiFontSize), "55", "55"},
        {"diaoMingFontBox", B::Font, "44", "44", INT_KEY(diaoMingFontSize, setDiaoMingFontSize), "55", "55"},
        {"lianBaiFontBox", B::Font, "44", "44", INT_KEY(lianBaiFontSize, setLianBaiFontSize), "55", "55"},
        {"jiaBaiFontBox", B::Font, "44", "44", INT_KEY(jiaBaiFontSize, setJiaBaiFontSize), "55", "55"},
    };
}

Binding bindingFor(const QString &object)
{
    for (const Binding &b : bindings())
        if (b.object == object)
            return b;
    return {};
}

// Changes a control the way its picker or field reports a user's change.
void userChange(Export &dialog, const Binding &b)
{
    QWidget *w = dialog.findChild<QWidget *>(b.object);
    QVERIFY2(w, qPrintable(b.object));
    switch (b.kind) {
    case Binding::Edit: {
        auto *edit = qobject_cast<QLineEdit *>(w);
        edit->setText(b.userInput);
        emit edit->editingFinished();
        break;
    }
    case Binding::Combo: {
        auto *combo = qobject_cast<QComboBox *>(w);
        combo->setCurrentIndex(combo->findText(b.userInput));
        break;
    }
    case Binding::Color: {
        QLineEdit *edit = qobject_cast<ColorBox *>(w)->lineEdit();
        edit->setText(b.userInput);
        emit edit->editingFinished();
        break;
    }
    case Binding::Font: {
        auto *custom = qobject_cast<CustomFontBox *>(w);
        QLineEdit *edit = custom ? custom->lineEdit() : qobject_cast<FontBox *>(w)->lineEdit();
        edit->setText(b.userInput);
        emit edit->editingFinished();
        break;
    }
    case Binding::Check: {
        auto *check = qobject_cast<QCheckBox *>(w);
        check->setChecked(!check->isChecked());
        break;
    }
    }
}

QString shown(Export &dialog, const Binding &b)
{
    QWidget *w = dialog.findChild<QWidget *>(b.object);
    switch (b.kind) {
    case Binding::Edit: return qobject_cast<QLineEdit *>(w)->text();
    case Binding::Combo: return qobject_cast<QComboBox *>(w)->currentText();
    case Binding::Color: return qobject_cast<ColorBox *>(w)->color().name();
    case Binding::Font:
        if (auto *custom = qobject_cast<CustomFontBox *>(w))
            return QString::number(custom->size());
        return QString::number(qobject_cast<FontBox *>(w)->size());
    case Binding::Check: return boolText(qobject_cast<QCheckBox *>(w)->isChecked());
    }
    return {};
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The layout's warnings as a test chooses them.
class WarnedExport : public Export
{
public:
    using Export::Export;
    QStringList warnings;

protected:
    QStringList layoutWarnings() const override { return warnings; }
};

} // namespace

class TestExportDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<ExportConfig> config;

    QString settingsPath() const { return env->dataDir() + QStringLiteral("/export.ini"); }
    ScriptedDialogs &dialogs() { return env->dialogs(); }
    std::unique_ptr<Export> makeDialog(const LayoutItems &items = sampleItems())
    {
        return std::make_unique<Export>(nullptr, items, config.get());
    }

private slots:
    void initTestCase() { initTestApplication(); }
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        config = std::make_unique<ExportConfig>(settingsPath());
    }
    void cleanup()
    {
        config.reset();
        env.reset();
    }

    void opensWithTheFirstPage()
    {
        auto dialog = makeDialog();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("导出"));
        QVERIFY(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
        // The form is larger than the test's screen (800 x 600): it fits all
        // the same, inside the room a window manager leaves.
        dialog->show();
        QVERIFY(dialog->screen()->availableGeometry().contains(dialog->frameGeometry()));
        QVERIFY(dialog->minimumSize().width() <= 880 && dialog->minimumSize().height() <= 630);
        QVERIFY(dialog->previewPage().startsWith("<?xml") || dialog->previewPage().contains("<svg"));
        QCOMPARE(dialog->form()->fileTypeBox->count(), 7);
        QCOMPARE(dialog->form()->widthBox->placeholderText(), QStringLiteral("10~10000"));
        QCOMPARE(dialog->form()->lyricSpaceBox->placeholderText(), QStringLiteral("-200~200"));
        QVERIFY(!dialog->form()->widthBox->isEnabled()); // A4 is not custom
    }

    void userChangeWritesKey_data()
    {
        QTest::addColumn<QString>("object");
        for (const Binding &b : bindings())
            QTest::newRow(qPrintable(b.object)) << b.object;
    }
    void userChangeWritesKey()
    {
        QFETCH(QString, object);
        const Binding b = bindingFor(object);
        if (object == QLatin1String("widthBox") || object == QLatin1String("heightBox"))
            config->setPageSizeId(ExportConfig::CustomPageSizeId);
        auto dialog = makeDialog();
        QSignalSpy refreshed(dialog.get(), &Export::previewRefreshed);

        userChange(*dialog, b);
        QCOMPARE(b.read(*config), b.keyAfterUser);
        QCOMPARE(refreshed.count(), 1);

        // The same value again is no change: nothing regenerates.
        if (b.kind != Binding::Check) {
            userChange(*dialog, b);
            QCOMPARE(refreshed.count(), 1);
        }
    }

    void loadShowsKeyAndWritesNothing_data() { userChangeWritesKey_data(); }
    void loadShowsKeyAndWritesNothing()
    {
        QFETCH(QString, object);
        const Binding b = bindingFor(object);
        config->setPageSizeId(ExportConfig::CustomPageSizeId);
        auto dialog = makeDialog();
        QSignalSpy refreshed(dialog.get(), &Export::previewRefreshed);

        b.write(*config, b.loadedKey);
        config->save();
        const QByteArray before = fileBytes(settingsPath());
        dialog->loadControls();
        QCOMPARE(shown(*dialog, b), b.loadedShown);
        QCOMPARE(refreshed.count(), 0);
        config->save();
        QCOMPARE(fileBytes(settingsPath()), before);
    }

    QString otherFamily()
    {
        const QStringList families = QFontDatabase::families();
        return families.first() != config->lyricFont().family() ? families.first()
                                                                : families.value(1);
    }

    void fontFamilyFromPickerIsStored()
    {
        const QString other = otherFamily();
        auto dialog = makeDialog();
        dialog->form()->lyricFontBox->setCurrentFont(QFont(other));
        const QString picked = dialog->form()->lyricFontBox->font().family();
        QCOMPARE(config->lyricFont().family(), picked);
        QCOMPARE(config->lyricFontSize(), 30); // size kept
        QCOMPARE(config->lyricFont().pixelSize(), 30);
    }

    // Selecting the family in the picker reports the size field as it was
    // before the new size is shown; a load must not store that.
    void loadingFamilyAndSizeTogether()
    {
        auto dialog = makeDialog();
        const QString other = otherFamily();
        config->setLyricFont(QFont(other));
        config->setLyricFontSize(55);
        dialog->loadControls();
        QCOMPARE(config->lyricFontSize(), 55);
        QCOMPARE(config->lyricFont().family(), other);
        QCOMPARE(dialog->form()->lyricFontBox->font().family(), other);
        QCOMPARE(dialog->form()->lyricFontBox->size(), 55);
    }

    void customPageSizeEnablesFieldsWithoutRegenerating()
    {
        auto dialog = makeDialog();
        Ui::Export *f = dialog->form();
        QSignalSpy refreshed(dialog.get(), &Export::previewRefreshed);

        f->pageSizeBox->setCurrentIndex(f->pageSizeBox->findText(QStringLiteral("自定义")));
        QCOMPARE(config->pageSizeId(), 31);
        QVERIFY(f->widthBox->isEnabled() && f->heightBox->isEnabled());
        QCOMPARE(config->pageWidth(), 595);
        QCOMPARE(refreshed.count(), 0);

        f->widthBox->setText(QStringLiteral("500"));
        emit f->widthBox->editingFinished();
        QCOMPARE(config->pageWidth(), 500);
        QCOMPARE(refreshed.count(), 1);

        f->pageSizeBox->setCurrentIndex(f->pageSizeBox->findText(QStringLiteral("A5 (420, 595)")));
        QVERIFY(!f->widthBox->isEnabled() && !f->heightBox->isEnabled());
        QCOMPARE(f->widthBox->text(), QStringLiteral("420"));
        QCOMPARE(f->heightBox->text(), QStringLiteral("595"));
        QCOMPARE(config->pageWidth(), 420);
        QCOMPARE(refreshed.count(), 2);
    }

    // An entry the validator will not take is marked while typed and, once
    // the field is left, gives way to the value in force.
    void refusedEntryGivesWayToValueInForce_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("typed");
        QTest::newRow("margin too large") << QStringLiteral("marginTopBox") << QStringLiteral("20000");
        QTest::newRow("column too narrow") << QStringLiteral("colWidthBox") << QStringLiteral("5");
        QTest::newRow("emptied") << QStringLiteral("scoreAngleBox") << QString();
        QTest::newRow("lone minus") << QStringLiteral("lyricSpaceBox") << QStringLiteral("-");
    }
    void refusedEntryGivesWayToValueInForce()
    {
        QFETCH(QString, object);
        QFETCH(QString, typed);
        const Binding b = bindingFor(object);
        auto dialog = makeDialog();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        auto *field = dialog->findChild<QLineEdit *>(object);
        const QString inForce = b.read(*config);
        QCOMPARE(field->text(), inForce);
        QVERIFY(!NumberField::isMarkedInvalid(field));

        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typed);
        QCOMPARE(field->text(), typed);
        QVERIFY(NumberField::isMarkedInvalid(field));
        QVERIFY(field->palette().color(QPalette::Base)
                != dialog->form()->titleWidthBox->palette().color(QPalette::Base));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(NumberField::isMarkedInvalid(field));

        dialog->form()->titleWidthBox->setFocus();
        QCOMPARE(field->text(), inForce);
        QVERIFY(!NumberField::isMarkedInvalid(field));
        QCOMPARE(b.read(*config), inForce);
    }

    void livePreviewOffKeepsTheOldPage()
    {
        auto dialog = makeDialog();
        Ui::Export *f = dialog->form();
        const QByteArray first = dialog->previewPage();
        QSignalSpy refreshed(dialog.get(), &Export::previewRefreshed);

        f->livePreviewBox->setChecked(false);
        QVERIFY(!config->isLivePreview());
        f->lyricColorBox->lineEdit()->setText(QStringLiteral("#ff0000"));
        emit f->lyricColorBox->lineEdit()->editingFinished();
        QCOMPARE(config->lyricColor(), QColor(Qt::red));
        QCOMPARE(dialog->previewPage(), first);
        QCOMPARE(refreshed.count(), 0);

        f->livePreviewBox->setChecked(true);
        QCOMPARE(refreshed.count(), 1);
        QVERIFY(dialog->previewPage() != first);
    }

    void wheelOverPageSizeChangesNothing()
    {
        auto dialog = makeDialog();
        QComboBox *box = dialog->form()->pageSizeBox;
        dialog->show();
        const int index = box->currentIndex();
        const QPointF pos(box->width() / 2.0, box->height() / 2.0);
        for (int delta : {-120, 120, 120}) {
            QWheelEvent event(pos, box->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(box, &event);
        }
        QCOMPARE(box->currentIndex(), index);
        QCOMPARE(config->pageSizeId(), 7);
    }

    void fileTypeSetsQuality_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("dpiEnabled");
        QTest::newRow("svg") << "svg" << false;
        QTest::newRow("png") << "png" << true;
        QTest::newRow("jpg") << "jpg" << true;
        QTest::newRow("pdf") << "pdf" << false;
    }
    void fileTypeSetsQuality()
    {
        QFETCH(QString, type);
        QFETCH(bool, dpiEnabled);
        auto dialog = makeDialog();
        Ui::Export *f = dialog->form();
        f->fileTypeBox->setCurrentIndex(f->fileTypeBox->findText(type == "pdf" ? "svg" : "pdf"));
        f->fileTypeBox->setCurrentIndex(f->fileTypeBox->findText(type));
        QCOMPARE(f->dpiBox->isEnabled(), dpiEnabled);
    }

    void importScheme_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("colWidth");
        QTest::newRow("object") << QByteArray("{\"colWidth\": 200}") << "成功" << "导入成功！" << 200;
        QTest::newRow("array") << QByteArray("[{\"colWidth\": 200}]") << "错误"
                               << "导入失败，文件错误！" << 130;
        QTest::newRow("garbage") << QByteArray("colWidth=200") << "错误" << "导入失败，文件错误！"
                                 << 130;
    }
    void importScheme()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(int, colWidth);
        const QString path = env->dataDir() + QStringLiteral("/scheme.json");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();

        auto dialog = makeDialog();
        QSignalSpy refreshed(dialog.get(), &Export::previewRefreshed);
        dialogs().queuePath(path);
        dialog->form()->importBtn->click();

        QCOMPARE(dialogs().requests.size(), 2);
        QCOMPARE(dialogs().requests[0].title, QStringLiteral("导入方案"));
        QCOMPARE(dialogs().requests[0].filter, QStringLiteral("JSON文件 (*.json)"));
        QCOMPARE(dialogs().requests[1].title, title);
        QCOMPARE(dialogs().requests[1].text, text);
        QCOMPARE(config->colWidth(), colWidth);
        QCOMPARE(dialog->form()->colWidthBox->text(), QString::number(colWidth));
        QCOMPARE(refreshed.count(), colWidth == 200 ? 1 : 0);
    }

    void saveScheme_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("written") << "scheme.json" << "保存成功！";
        QTest::newRow("no such folder") << "missing/scheme.json" << "保存失败：所在的文件夹不存在！";
    }
    void saveScheme()
    {
        QFETCH(QString, file);
        QFETCH(QString, text);
        auto dialog = makeDialog();
        dialogs().queuePath(env->dataDir() + QLatin1Char('/') + file);
        dialog->form()->saveBtn->click();
        QCOMPARE(dialogs().requests.size(), 2);
        QCOMPARE(dialogs().requests[0].title, QStringLiteral("保存方案"));
        QCOMPARE(dialogs().requests[0].kind, DialogRequest::SaveFile);
        QCOMPARE(dialogs().requests[1].text, text);
    }

    void restoreDefaultsReloadsControls()
    {
        config->setColWidth(170);
        auto dialog = makeDialog();
        QCOMPARE(dialog->form()->colWidthBox->text(), QStringLiteral("170"));
        dialog->form()->restoreBtn->click();
        QCOMPARE(config->colWidth(), 130);
        QCOMPARE(dialog->form()->colWidthBox->text(), QStringLiteral("130"));
    }

    void exportToPdf()
    {
        auto dialog = makeDialog();
        dialog->show();
        const QString path = env->dataDir() + QStringLiteral("/out.pdf");
        dialogs().queuePath(path);
        dialog->form()->submitBtn->click();

        QCOMPARE(dialogs().requests.size(), 2);
        QCOMPARE(dialogs().requests[0].title, QStringLiteral("导出为PDF文件"));
        QCOMPARE(dialogs().requests[0].filter, QStringLiteral("PDF文件 (*.pdf)"));
        QCOMPARE(dialogs().requests[1].title, QStringLiteral("成功"));
        QCOMPARE(dialogs().requests[1].text, QStringLiteral("导出成功！"));
        QVERIFY(fileBytes(path).startsWith("%PDF"));
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        // The writer's progress dialog was closed again.
        QVERIFY(dialog->progressDialog() && !dialog->progressDialog()->isVisible());
        QVERIFY(dialog->isEnabled());
    }

    // A refused target: the writer's own message through the dialog seam,
    // no success, the dialog stays open.
    void exportFailureShowsWriterMessage()
    {
        auto dialog = makeDialog();
        dialog->show();
        QFile plain(env->dataDir() + QStringLiteral("/plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        dialogs().queuePath(plain.fileName() + QStringLiteral("/out.pdf"));
        dialog->form()->submitBtn->click();

        QCOMPARE(dialogs().requests.size(), 2);
        QCOMPARE(dialogs().requests[1].kind, DialogRequest::Warning);
        QCOMPARE(dialogs().requests[1].title, QStringLiteral("错误"));
        QCOMPARE(dialogs().requests[1].text, QStringLiteral("导出PDF文件失败：所在的文件夹不存在！"));
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->isEnabled());
    }

    void pdfNameGetsSuffix_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<int>("answer"); // NoButton: no question expected
        QTest::newRow("new file") << false << int(QMessageBox::NoButton);
        QTest::newRow("existing, No") << true << int(QMessageBox::No);
        QTest::newRow("existing, Yes") << true << int(QMessageBox::Yes);
    }
    void pdfNameGetsSuffix()
    {
        QFETCH(bool, existing);
        QFETCH(int, answer);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("曲谱.pdf"));
        if (existing) {
            QFile f(pdf);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        auto dialog = makeDialog();
        dialog->show();
        const QString startDir = RecentFiles::instance()->lastDir(RecentFiles::ExportKind);
        dialogs().queuePath(dir.filePath(QStringLiteral("曲谱")));
        if (answer != QMessageBox::NoButton)
            dialogs().queueButton(QMessageBox::StandardButton(answer));
        dialog->form()->submitBtn->click();

        const DialogRequest first = dialogs().requests.first();
        QCOMPARE(first.dir, startDir);
        QCOMPARE(first.fileName, QStringLiteral("测试曲")); // the title line
        QCOMPARE(first.defaultSuffix, QStringLiteral("pdf"));
        const bool written = answer != QMessageBox::No;
        QCOMPARE(dialogs().requests.size(), answer == QMessageBox::NoButton ? 2 : 3);
        QCOMPARE(dialogs().requests.last().title,
                 written ? QStringLiteral("成功") : QStringLiteral("导出为PDF文件"));
        QCOMPARE(fileBytes(pdf).startsWith("%PDF"), written);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("曲谱.pdf")});
        QCOMPARE(RecentFiles::instance()->lastDir(RecentFiles::ExportKind),
                 written ? dir.path() : startDir);
    }

    void cancelledChooserExportsNothing_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("kind");
        QTest::newRow("pdf") << "pdf" << "导出为PDF文件" << int(DialogRequest::SaveFile);
        QTest::newRow("jpg") << "jpg" << "导出为JPG文件" << int(DialogRequest::ExistingDirectory);
        QTest::newRow("png") << "png" << "导出为PNG文件" << int(DialogRequest::ExistingDirectory);
        QTest::newRow("svg") << "svg" << "导出为SVG文件" << int(DialogRequest::ExistingDirectory);
        QTest::newRow("midi") << "midi" << "导出为MIDI文件" << int(DialogRequest::SaveFile);
        QTest::newRow("musicxml") << "musicxml" << "导出为MusicXML文件" << int(DialogRequest::SaveFile);
        QTest::newRow("wav") << "wav" << "导出为WAV音频" << int(DialogRequest::SaveFile);
    }
    void cancelledChooserExportsNothing()
    {
        QFETCH(QString, type);
        QFETCH(QString, caption);
        QFETCH(int, kind);
        QTemporaryDir last;
        RecentFiles::instance()->setLastDir(RecentFiles::ExportKind, last.path());
        auto dialog = makeDialog();
        dialog->show();
        dialog->form()->fileTypeBox->setCurrentIndex(dialog->form()->fileTypeBox->findText(type));
        dialog->form()->submitBtn->click();
        QCOMPARE(dialogs().requests.size(), 1);
        QCOMPARE(dialogs().requests[0].title, caption);
        QCOMPARE(dialogs().requests[0].dir, last.path());
        QCOMPARE(int(dialogs().requests[0].kind), kind);
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->progressDialog());
    }

    // Which controls apply to which type; a score without notes is refused
    // without writing anything.
    void musicTypes_data()
    {
        QTest::addColumn<QString>("type");
        // settings, dpi, tempo, transpose, rhythm, ornaments, what works on pages
        // (preview, schemes), the page and a swatch in full colour
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("filter"); // of the save dialog; empty: none asked for
        QTest::newRow("pdf") << "pdf" << "10000011" << "";
        QTest::newRow("png") << "png" << "11000011" << "";
        QTest::newRow("midi") << "midi" << "00111100" << "MIDI 文件 (*.mid)";
        QTest::newRow("musicxml") << "musicxml" << "00111000" << "MusicXML 文件 (*.musicxml)";
        QTest::newRow("wav") << "wav" << "00111100" << "WAV 音频 (*.wav)";
    }
    void musicTypes()
    {
        QFETCH(QString, type);
        QFETCH(QString, enabled);
        QFETCH(QString, filter);
        auto dialog = makeDialog(); // characters without notation: no notes
        dialog->show();
        Ui::Export *form = dialog->form();
        form->fileTypeBox->setCurrentIndex(form->fileTypeBox->findText(type));
        QString shown;
        for (QWidget *w : std::initializer_list<QWidget *>{form->scrollAreaWidgetContents, form->dpiBox, form->tempoBox, form->transposeBox, form->rhythmBox, form->ornamentsBox})
            shown += w->isEnabled() ? u'1' : u'0';
        QString pageTools;
        for (QWidget *w : std::initializer_list<QWidget *>{form->preViewFrame, form->livePreviewBox, form->previewAllBtn, form->restoreBtn, form->saveBtn, form->importBtn})
            pageTools += w->isEnabled() ? u'1' : u'0';
        shown += pageTools == QStringLiteral("111111") ? u'1' : pageTools == QStringLiteral("000000") ? u'0' : u'?';
        // The style shades the swatch: nearer its colour than the window's.
        QPushButton *swatch = form->banColorBox->pushButton();
        const QColor middle = swatch->grab().toImage().pixelColor(swatch->rect().center());
        const auto distance = [&middle](const QColor &c) {
            return qAbs(middle.red() - c.red()) + qAbs(middle.green() - c.green())
                   + qAbs(middle.blue() - c.blue());
        };
        const bool swatchColoured = distance(form->banColorBox->color())
                                    < distance(dialog->palette().color(QPalette::Window));
        shown += !form->preViewWidget->graphicsEffect()->isEnabled() && swatchColoured ? u'1' : u'0';
        QCOMPARE(shown, enabled);
        if (filter.isEmpty())
            return;
        QTemporaryDir dir;
        dialogs().queuePath(dir.filePath(QStringLiteral("曲")));
        form->submitBtn->click();
        QCOMPARE(dialogs().requests.size(), 2);
        QCOMPARE(dialogs().requests[0].filter, filter);
        QCOMPARE(dialogs().requests[1].kind, DialogRequest::Warning);
        QCOMPARE(dialogs().requests[1].text, QStringLiteral("没有可导出的音符"));
        QVERIFY(QDir(dir.path()).isEmpty());
        QVERIFY(dialog->isVisible());
    }

    // 记谱 简谱: the preview turns into numbered notation, read with the music
    // row, which then applies to the page formats; the choice is the setting
    // that printing follows.
    void numberedNotation()
    {
        auto dialog = makeDialog(SampleScore::layoutItems());
        Ui::Export *form = dialog->form();
        QVERIFY(!form->rhythmBox->isEnabled());
        const auto digits = [&dialog] {
            int n = 0;
            for (const PlacedItem &item : dialog->generator()->pageItems().value(0))
                n += item.role == PlacedItem::JianpuDigit;
            return n;
        };
        QCOMPARE(digits(), 0);
        QSignalSpy refreshed(dialog.get(), &Export::previewRefreshed);
        form->notationBox->setCurrentIndex(form->notationBox->findText(QStringLiteral("简谱")));
        QCOMPARE(config->notation(), ExportSettings::JianpuNotation);
        QCOMPARE(refreshed.count(), 1);
        QVERIFY(digits() > 20);
        QVERIFY(form->rhythmBox->isEnabled() && form->tempoBox->isEnabled());
        form->tempoBox->setValue(90); // shown in the heading: the page follows
        QCOMPARE(refreshed.count(), 2);
        form->fileTypeBox->setCurrentIndex(form->fileTypeBox->findText(QStringLiteral("midi")));
        QVERIFY(!form->notationBox->isEnabled());
        form->fileTypeBox->setCurrentIndex(form->fileTypeBox->findText(QStringLiteral("pdf")));
        form->notationBox->setCurrentIndex(form->notationBox->findText(QStringLiteral("工尺谱")));
        QCOMPARE(digits(), 0);
        QVERIFY(!form->rhythmBox->isEnabled());
    }

    // The sound of the sample through the progress dialog, which can cancel
    // it; nothing is left of a cancelled export.
    void exportsWav_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("written") << false;
        QTest::newRow("cancelled") << true;
    }
    void exportsWav()
    {
        QFETCH(bool, cancel);
        if (!QFileInfo::exists(QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2"))
            && !QFileInfo::exists(QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2")))
            QSKIP("no Debian SoundFont installed");
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("游园.wav"));
        auto dialog = makeDialog(SampleScore::layoutItems());
        dialog->show();
        Ui::Export *form = dialog->form();
        form->fileTypeBox->setCurrentIndex(form->fileTypeBox->findText(QStringLiteral("wav")));
        form->tempoBox->setValue(cancel ? 30 : 200);
        dialogs().queuePath(target);
        bool cancelled = false;
        QTimer canceller;
        connect(&canceller, &QTimer::timeout, [&] {
            QProgressDialog *progress = dialog->progressDialog();
            if (cancel && !cancelled && progress && progress->isVisible()) {
                QPushButton *button = progress->findChild<QPushButton *>();
                QVERIFY(button);
                button->click();
                cancelled = true;
            }
        });
        canceller.start(5);
        form->submitBtn->click();
        QCOMPARE(cancelled, cancel);
        QVERIFY(!dialog->progressDialog()->isVisible());
        QVERIFY(!dialog->progressDialog()->findChild<QPushButton *>());
        QCOMPARE(dialog->isVisible(), cancel);
        QCOMPARE(dialogs().requests.size(), cancel ? 1 : 2);
        if (cancel) {
            QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        } else {
            QCOMPARE(dialogs().requests.last().title, QStringLiteral("成功"));
            QVERIFY(fileBytes(target).startsWith("RIFF"));
        }
    }

    void progressDialogFollowsUpdates()
    {
        auto dialog = makeDialog();
        dialog->show();
        dialog->onProgressUpdate(0, 0, 5, QStringLiteral("导出"), QStringLiteral("正在导出···"));
        QProgressDialog *progress = dialog->progressDialog();
        QVERIFY(progress && progress->isVisible());
        QVERIFY(progress->isModal());
        QVERIFY(!progress->findChild<QPushButton *>());
        QVERIFY(!(progress->windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(progress->windowTitle(), QStringLiteral("导出"));
        QCOMPARE(progress->labelText(), QStringLiteral("正在导出···"));
        QCOMPARE(progress->maximum(), 5);
        QVERIFY(!dialog->isEnabled());
        dialog->onProgressUpdate(1, 3, 5, QString(), QString());
        QCOMPARE(progress->value(), 3);
        dialog->onProgressUpdate(2, 5, 5, QString(), QString());
        QVERIFY(!progress->isVisible());
        QVERIFY(dialog->isEnabled());
    }

    void previewFitsFrame_data()
    {
        QTest::addColumn<bool>("landscape");
        QTest::newRow("portrait") << false;
        QTest::newRow("landscape") << true;
    }
    void previewFitsFrame()
    {
        QFETCH(bool, landscape);
        config->setIsLandscape(landscape);
        auto dialog = makeDialog();
        dialog->resize(1000, 700);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        const QSize page = config->pageSizePoints();
        for (const QSize size : {QSize(1000, 700), QSize(1300, 760)}) {
            dialog->resize(size);
            QTRY_VERIFY(dialog->form()->preViewFrame->size().width() > 0);
            QCoreApplication::processEvents();
            const QRect inner = dialog->form()->preViewFrame->contentsRect();
            const double s = std::min(0.9 * inner.width() / page.width(),
                                      0.9 * inner.height() / page.height());
            const QRect widget = dialog->form()->preViewWidget->geometry();
            QCOMPARE(widget.size(), QSize(qRound(page.width() * s), qRound(page.height() * s)));
            QVERIFY(qAbs(widget.center().x() - inner.center().x()) <= 1);
            QVERIFY(qAbs(widget.center().y() - inner.center().y()) <= 1);
        }
    }

    void previewAllWithoutContentWarns()
    {
        auto dialog = makeDialog({});
        dialog->form()->previewAllBtn->click();
        QCOMPARE(dialogs().requests.size(), 1);
        QCOMPARE(dialogs().requests[0].title, QStringLiteral("警告"));
        QCOMPARE(dialogs().requests[0].text, QStringLiteral("没有可预览的内容"));
    }

    void previewAllOpensThePreviewWindow()
    {
        auto dialog = makeDialog();
        dialog->show();
        int pages = -1;
        // Closes the modal preview from inside its own event loop.
        QTimer guard;
        connect(&guard, &QTimer::timeout, [&] {
            if (auto *preview = qobject_cast<PreviewWindow *>(QApplication::activeModalWidget())) {
                pages = preview->pageCount();
                preview->reject();
            }
        });
        guard.start(20);
        dialog->form()->previewAllBtn->click();
        QCOMPARE(pages, 1);
        QVERIFY(dialog->findChildren<PreviewWindow *>().isEmpty());
        QVERIFY(dialogs().requests.isEmpty());
    }

    // A style from the menu shows in the controls and the preview at once,
    // and closing without saving a scheme leaves the file as it was.
    void styleMenuAppliesInMemory_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("angle");
        QTest::addColumn<QString>("banColor");
        QTest::newRow("upright") << "upright" << "0" << "#000000";
        QTest::newRow("slanted") << "slanted" << "-45" << "#ff4c00";
    }
    void styleMenuAppliesInMemory()
    {
        QFETCH(QString, id);
        QFETCH(QString, angle);
        QFETCH(QString, banColor);
        config->setColWidth(170);
        config->setBanColor(QColor(0x12, 0x34, 0x56));
        config->setIsLivePreview(false); // a style refreshes all the same
        config->save();
        const QByteArray before = fileBytes(settingsPath());
        auto dialog = makeDialog();
        dialog->show();
        QSignalSpy refreshed(dialog.get(), &Export::previewRefreshed);
        const QByteArray page = dialog->previewPage();
        QAction *action = dialog->form()->styleBtn->menu()->findChild<QAction *>(QStringLiteral("style_") + id);
        QVERIFY(action);
        action->trigger();
        QCOMPARE(refreshed.count(), 1);
        QVERIFY(dialog->previewPage() != page);
        QCOMPARE(dialog->form()->scoreAngleBox->text(), angle);
        QCOMPARE(dialog->form()->banColorBox->color().name(), banColor);
        QCOMPARE(QString::number(config->scoreAngle()), angle);
        dialog->close();
        QCOMPARE(fileBytes(settingsPath()), before);
        config.reset(); // and at exit
        QCOMPARE(fileBytes(settingsPath()), before);
    }

    // One line under the preview while the layout has something to say,
    // each warning once, renewed with every preview.
    void layoutWarningsUnderPreview()
    {
        WarnedExport dialog(nullptr, sampleItems(), config.get());
        QLabel *line = dialog.form()->layoutWarningLabel;
        QVERIFY(line->isHidden());
        dialog.warnings = {QStringLiteral("栏太窄"), QStringLiteral("字太大"), QStringLiteral("栏太窄")};
        dialog.refreshPreview(true);
        QVERIFY(!line->isHidden());
        QCOMPARE(line->text(), QStringLiteral("未能照设置排版：栏太窄；字太大"));
        QVERIFY(!line->text().contains(QLatin1Char('\n')));
        dialog.warnings.clear();
        dialog.refreshPreview(true);
        QVERIFY(line->isHidden());
    }

    void closingSavesTheSettings()
    {
        auto dialog = makeDialog();
        dialog->show();
        dialog->form()->colWidthBox->setText(QStringLiteral("222"));
        emit dialog->form()->colWidthBox->editingFinished();
        QCOMPARE(ExportConfig(settingsPath()).colWidth(), 130);
        dialog->close();
        QCOMPARE(ExportConfig(settingsPath()).colWidth(), 222);
    }

    void mainWindowExportAction()
    {
        MainWindow window;
        window.exportAction(); // no tab: nothing opens (a modal would hang here)
        window.newAction();
        QVERIFY(window.currentEditor());
        QString opened;
        QTimer guard;
        connect(&guard, &QTimer::timeout, [&] {
            if (auto *dialog = qobject_cast<Export *>(QApplication::activeModalWidget())) {
                opened = dialog->windowTitle();
                QCOMPARE(dialog->parentWidget(), &window);
                dialog->reject();
            }
        });
        guard.start(20);
        window.form()->exportAction->trigger();
        QCOMPARE(opened, QStringLiteral("导出"));
    }

    // The sample, from the window's export action to a MIDI file, read with
    // the rhythm chosen in the form.
    void mainWindowExportsMidi()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("游园.mid"));
        MainWindow window;
        window.openSampleCopy();
        QVERIFY(window.currentEditor());
        bool submitted = false;
        QTimer guard;
        connect(&guard, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<Export *>(QApplication::activeModalWidget());
            if (!dialog || submitted)
                return;
            submitted = true;
            QComboBox *types = dialog->form()->fileTypeBox;
            types->setCurrentIndex(types->findText(QStringLiteral("midi")));
            dialog->form()->tempoBox->setValue(90);
            QCOMPARE(dialog->form()->rhythmBox->currentText(), QStringLiteral("对半分"));
            dialog->form()->rhythmBox->setCurrentIndex(int(Music::Rhythm::Proportional));
            dialogs().queuePath(target);
            dialog->form()->submitBtn->click();
            if (dialog->isVisible())
                dialog->reject(); // never leave a modal behind
        });
        guard.start(20);
        window.form()->exportAction->trigger();
        QVERIFY(submitted);
        QCOMPARE(dialogs().requests.last().title, QStringLiteral("成功"));
        const QByteArray midi = fileBytes(target);
        QVERIFY(midi.startsWith("MThd"));
        QVERIFY(midi.contains(QByteArray::fromHex("ff5103") + QByteArray::fromHex("0a2c2b"))); // 90 bpm
        const Music::Options options =
            PlaybackSettings::musicOptions(90, 0, Music::Rhythm::Proportional);
        QCOMPARE(midi, Midi::encode(Music::read(window.currentEditor()->document()->layoutItems(),
                                                options),
                                    options));
    }
};

QTEST_MAIN(TestExportDialog)
#include "test_exportdialog.moc"
