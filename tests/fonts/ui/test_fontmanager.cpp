// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/MainWindow.h"
#include "fonts/ui/FontManager.h"
#include "fonts/FontRegistry.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString kDefaultFamily = QStringLiteral("Kelvo工尺谱字体");

QString fixture(const QString &name)
{
    return QDir(QStringLiteral(KELVO_FONT_FIXTURES)).filePath(name);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A data folder with a fonts directory (pre-filled with fixtures), a
// registry on it and the dialog, all answered by scripted dialogs.
struct Fixture
{
    explicit Fixture(const QStringList &installed = {})
    {
        QDir().mkpath(fonts());
        for (const QString &name : installed)
            QFile::copy(fixture(name), QDir(fonts()).filePath(name));
        registry = std::make_unique<FontRegistry>(fonts(), FontRegistry::embeddedFontPath());
        dialog = std::make_unique<FontManager>(*registry);
        list = dialog->findChild<QListWidget *>("fontList");
        installBtn = dialog->findChild<QPushButton *>("installBtn");
        deleteBtn = dialog->findChild<QPushButton *>("deleteBtn");
        closeBtn = dialog->findChild<QPushButton *>("closeBtn");
    }

    QString fonts() const { return QDir(env.dataDir()).filePath("fonts"); }
    QStringList fontFiles() const
    {
        QStringList names = QDir(fonts()).entryList(QDir::Files);
        names.sort();
        return names;
    }
    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }
    bool select(const QString &family)
    {
        const auto items = list->findItems(family, Qt::MatchExactly);
        if (items.isEmpty())
            return false;
        list->setCurrentItem(items.first());
        return items.first()->isSelected();
    }

    TestEnvironment env;
    std::unique_ptr<FontRegistry> registry;
    std::unique_ptr<FontManager> dialog;
    QListWidget *list = nullptr;
    QPushButton *installBtn = nullptr;
    QPushButton *deleteBtn = nullptr;
    QPushButton *closeBtn = nullptr;
};

} // namespace

class TestFontManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTestApplication(); }

    void layout();
    void defaultItemLooks();
    void deleteButtonFollowsSelection();

    void installSucceeds();
    void installCancelled();
    void installRefused_data();
    void installRefused();
    void installCreatesMissingDirectory();
    void installCopyFailure();

    void deleteDefaultRefused();
    void deleteNothingSelected();
    void deleteAnsweredNo();
    void deleteSucceeds();
    void deleteVanishedFile();
    void deleteStaysInsideFontsDirectory();

    void mainWindowOpensParentlessModal();
};

void TestFontManager::layout()
{
    Fixture f;
    FontManager &d = *f.dialog;
    QCOMPARE(d.windowTitle(), QString("字体管理"));
    QCOMPARE(d.minimumSize(), QSize(400, 300));

    auto *label = d.findChild<QLabel *>();
    QVERIFY(label);
    QCOMPARE(label->text(), QString("已安装字体列表"));
    QCOMPARE(label->styleSheet(), QString("font-weight: bold; font-size: 14px;"));

    QVERIFY(f.list && f.installBtn && f.deleteBtn && f.closeBtn);
    QCOMPARE(f.list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(f.installBtn->text(), QString("安装字体"));
    QCOMPARE(f.deleteBtn->text(), QString("删除字体"));
    QCOMPARE(f.closeBtn->text(), QString("关闭"));

    // Top to bottom: label, list, button row with a stretch before "关闭".
    auto *outer = qobject_cast<QVBoxLayout *>(d.layout());
    QVERIFY(outer);
    QCOMPARE(outer->count(), 3);
    QCOMPARE(outer->itemAt(0)->widget(), label);
    QCOMPARE(outer->itemAt(1)->widget(), f.list);
    auto *row = qobject_cast<QHBoxLayout *>(outer->itemAt(2)->layout());
    QVERIFY(row);
    QCOMPARE(row->count(), 4);
    QCOMPARE(row->itemAt(0)->widget(), f.installBtn);
    QCOMPARE(row->itemAt(1)->widget(), f.deleteBtn);
    QVERIFY(row->itemAt(2)->spacerItem());
    QCOMPARE(row->itemAt(3)->widget(), f.closeBtn);

    QSignalSpy accepted(&d, &QDialog::accepted);
    f.closeBtn->click();
    QCOMPARE(accepted.count(), 1);
    QVERIFY(f.env.dialogs().requests.isEmpty());
}

void TestFontManager::defaultItemLooks()
{
    Fixture f({"kelvo_test_one.ttf", "kelvo_default_family.ttf"});
    QCOMPARE(f.listed(), (QStringList{kDefaultFamily, "KelvoTestOne"}));

    QListWidgetItem *def = f.list->item(0);
    QCOMPARE(def->toolTip(), QString("默认字体 (不可删除)"));
    QCOMPARE(def->foreground().color(), QColor(Qt::blue));
    QCOMPARE(def->foreground().style(), Qt::SolidPattern);
    QCOMPARE(def->font().weight(), QFont::Bold);
    QCOMPARE(def->font().pointSize(), f.list->font().pointSize());

    QListWidgetItem *other = f.list->item(1);
    QVERIFY(other->toolTip().isEmpty());
    QVERIFY(other->font().weight() != QFont::Bold);
    QVERIFY(!f.deleteBtn->isEnabled());
}

void TestFontManager::deleteButtonFollowsSelection()
{
    Fixture f({"kelvo_test_one.ttf"});
    QVERIFY(!f.deleteBtn->isEnabled());
    QVERIFY(f.select(kDefaultFamily));
    QVERIFY(!f.deleteBtn->isEnabled());
    QVERIFY(f.select("KelvoTestOne"));
    QVERIFY(f.deleteBtn->isEnabled());
    f.list->clearSelection();
    QVERIFY(!f.deleteBtn->isEnabled());
    QVERIFY(f.select("KelvoTestOne"));
    f.dialog->refreshFontList();
    QVERIFY(!f.deleteBtn->isEnabled());
}

void TestFontManager::installSucceeds()
{
    Fixture f({"kelvo_test_one.ttf"});
    ScriptedDialogs &dialogs = f.env.dialogs();
    dialogs.queuePath(fixture("kelvo_test_two.ttf"));
    // While the success message is up, list and registry already show the font.
    QStringList listedDuringMessage;
    dialogs.onRequest = [&](const DialogRequest &r) {
        if (r.kind == DialogRequest::Information)
            listedDuringMessage = f.listed();
    };
    f.installBtn->click();

    QCOMPARE(dialogs.requests.size(), 2);
    const DialogRequest &open = dialogs.requests[0];
    QCOMPARE(open.kind, DialogRequest::OpenFile);
    QCOMPARE(open.parent.data(), f.dialog.get());
    QCOMPARE(open.title, QString("选择字体文件"));
    QCOMPARE(open.dir, QDir::homePath());
    QCOMPARE(open.filter, QString("字体文件 (*.ttf)"));

    const DialogRequest &done = dialogs.requests[1];
    QCOMPARE(done.kind, DialogRequest::Information);
    QCOMPARE(done.parent.data(), f.dialog.get());
    QCOMPARE(done.title, QString("安装成功"));
    QCOMPARE(done.text, QString("字体\"kelvo_test_two.ttf\"已成功安装。"));
    QCOMPARE(done.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    const QString installed = QDir(f.fonts()).filePath("kelvo_test_two.ttf");
    QCOMPARE(contents(installed), contents(fixture("kelvo_test_two.ttf")));
    QVERIFY(f.registry->families().contains("KelvoTestTwo"));
    QCOMPARE(f.registry->families().first(), kDefaultFamily);
    QCOMPARE(f.listed().first(), kDefaultFamily);
    QVERIFY(f.listed().contains("KelvoTestTwo"));
    QVERIFY(f.listed().contains("KelvoTestOne"));
    QCOMPARE(listedDuringMessage, f.listed());
    QCOMPARE(f.list->item(0)->font().weight(), QFont::Bold);
    QVERIFY(!f.deleteBtn->isEnabled());
}

void TestFontManager::installCancelled()
{
    Fixture f({"kelvo_test_one.ttf"});
    f.installBtn->click(); // empty queue: the file dialog is cancelled
    QCOMPARE(f.env.dialogs().requests.size(), 1);
    QCOMPARE(f.fontFiles(), QStringList{"kelvo_test_one.ttf"});
    QCOMPARE(f.listed(), (QStringList{kDefaultFamily, "KelvoTestOne"}));
}

void TestFontManager::installRefused_data()
{
    QTest::addColumn<QString>("source"); // fixture name, "garbage:NAME" or "missing:NAME"
    QTest::addColumn<QString>("text");

    // The installed file's name with garbage behind it: refused by name,
    // so the contents are never looked at.
    QTest::newRow("existing file name")
        << "garbage:kelvo_test_one.ttf" << "字体文件\"kelvo_test_one.ttf\"已存在。";
    QTest::newRow("installed family")
        << "kelvo_test_one_again.ttf" << "字体名称\"KelvoTestOne\"已存在。";
    QTest::newRow("default family")
        << "kelvo_default_family.ttf" << "字体名称\"Kelvo工尺谱字体\"已存在。";
    QTest::newRow("not a font") << "garbage:broken.ttf" << "无法读取字体文件\"broken.ttf\"。";
    QTest::newRow("empty file") << "garbage:empty.ttf" << "无法读取字体文件\"empty.ttf\"。";
    QTest::newRow("missing file") << "missing:gone.ttf" << "无法读取字体文件\"gone.ttf\"。";
}

void TestFontManager::installRefused()
{
    QFETCH(QString, source);
    QFETCH(QString, text);

    Fixture f({"kelvo_test_one.ttf"});
    QTemporaryDir elsewhere;
    QString path;
    if (source.startsWith("garbage:")) {
        path = QDir(elsewhere.path()).filePath(source.mid(8));
        QVERIFY(writeFile(path, path.endsWith("empty.ttf") ? QByteArray()
                                                           : QByteArray("not a font\n")));
    } else if (source.startsWith("missing:")) {
        path = QDir(elsewhere.path()).filePath(source.mid(8));
    } else {
        path = fixture(source);
    }
    const QByteArray installedBefore = contents(QDir(f.fonts()).filePath("kelvo_test_one.ttf"));
    const QStringList familiesBefore = f.registry->families();

    f.env.dialogs().queuePath(path);
    f.installBtn->click();

    const auto &requests = f.env.dialogs().requests;
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[1].kind, DialogRequest::Warning);
    QCOMPARE(requests[1].parent.data(), f.dialog.get());
    QCOMPARE(requests[1].title, QString("安装失败"));
    QCOMPARE(requests[1].text, text);

    QCOMPARE(f.fontFiles(), QStringList{"kelvo_test_one.ttf"});
    QCOMPARE(contents(QDir(f.fonts()).filePath("kelvo_test_one.ttf")), installedBefore);
    QCOMPARE(f.registry->families(), familiesBefore);
    QCOMPARE(f.listed(), familiesBefore);
}

void TestFontManager::installCreatesMissingDirectory()
{
    Fixture f;
    QVERIFY(QDir(f.fonts()).removeRecursively());
    f.env.dialogs().queuePath(fixture("kelvo_test_two.ttf"));
    f.installBtn->click();

    QCOMPARE(f.fontFiles(), QStringList{"kelvo_test_two.ttf"});
    QCOMPARE(f.env.dialogs().requests.last().kind, DialogRequest::Information);
    QCOMPARE(f.listed(), (QStringList{kDefaultFamily, "KelvoTestTwo"}));
}

void TestFontManager::installCopyFailure()
{
    // A plain file where the fonts directory should be: the copy must fail
    // and be reported, not announced as success.
    Fixture f;
    QVERIFY(QDir(f.fonts()).removeRecursively());
    QVERIFY(writeFile(f.fonts(), "in the way"));
    f.env.dialogs().queuePath(fixture("kelvo_test_two.ttf"));
    f.installBtn->click();

    const auto &requests = f.env.dialogs().requests;
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[1].kind, DialogRequest::Critical);
    QCOMPARE(requests[1].title, QString("安装失败"));
    QCOMPARE(requests[1].text, QString("无法复制字体文件到安装目录。"));
    QCOMPARE(f.listed(), QStringList{kDefaultFamily});
}

void TestFontManager::deleteDefaultRefused()
{
    // The button is disabled for it; the slot refuses on its own as well.
    Fixture f({"kelvo_default_family.ttf"});
    QVERIFY(f.select(kDefaultFamily));
    QVERIFY(!f.deleteBtn->isEnabled());
    f.dialog->deleteFont();

    const auto &requests = f.env.dialogs().requests;
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].kind, DialogRequest::Warning);
    QCOMPARE(requests[0].parent.data(), f.dialog.get());
    QCOMPARE(requests[0].title, QString("删除失败"));
    QCOMPARE(requests[0].text, QString("默认字体不能被删除。"));
    QCOMPARE(f.fontFiles(), QStringList{"kelvo_default_family.ttf"});
}

void TestFontManager::deleteNothingSelected()
{
    Fixture f({"kelvo_test_one.ttf"});
    f.dialog->deleteFont();
    QVERIFY(f.env.dialogs().requests.isEmpty());
    QCOMPARE(f.fontFiles(), QStringList{"kelvo_test_one.ttf"});
}

void TestFontManager::deleteAnsweredNo()
{
    Fixture f({"kelvo_test_one.ttf"});
    QVERIFY(f.select("KelvoTestOne"));
    f.env.dialogs().queueButton(QMessageBox::No);
    f.deleteBtn->click();

    const auto &requests = f.env.dialogs().requests;
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].kind, DialogRequest::Question);
    QCOMPARE(requests[0].parent.data(), f.dialog.get());
    QCOMPARE(requests[0].title, QString("确认删除"));
    QCOMPARE(requests[0].text, QString("确定要删除字体\"KelvoTestOne\"吗？"));
    QCOMPARE(requests[0].buttons, QMessageBox::Yes | QMessageBox::No);

    QCOMPARE(f.fontFiles(), QStringList{"kelvo_test_one.ttf"});
    QCOMPARE(f.listed(), (QStringList{kDefaultFamily, "KelvoTestOne"}));
    QVERIFY(f.registry->families().contains("KelvoTestOne"));
}

void TestFontManager::deleteSucceeds()
{
    Fixture f({"kelvo_test_one.ttf", "kelvo_test_two.ttf"});
    QVERIFY(f.select("KelvoTestOne"));
    f.env.dialogs().queueButton(QMessageBox::Yes);
    f.deleteBtn->click();

    const auto &requests = f.env.dialogs().requests;
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[1].kind, DialogRequest::Information);
    QCOMPARE(requests[1].parent.data(), f.dialog.get());
    QCOMPARE(requests[1].title, QString("删除成功"));
    QCOMPARE(requests[1].text, QString("字体\"KelvoTestOne\"已成功删除。"));

    QCOMPARE(f.fontFiles(), QStringList{"kelvo_test_two.ttf"});
    QCOMPARE(f.listed(), (QStringList{kDefaultFamily, "KelvoTestTwo"}));
    QCOMPARE(f.registry->families(), (QStringList{kDefaultFamily, "KelvoTestTwo"}));
    QVERIFY(!f.deleteBtn->isEnabled());
}

void TestFontManager::deleteVanishedFile()
{
    Fixture f({"kelvo_test_one.ttf"});
    QVERIFY(f.select("KelvoTestOne"));
    QVERIFY(QFile::remove(QDir(f.fonts()).filePath("kelvo_test_one.ttf")));
    f.env.dialogs().queueButton(QMessageBox::Yes);
    f.deleteBtn->click();

    const auto &requests = f.env.dialogs().requests;
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[1].kind, DialogRequest::Warning);
    QCOMPARE(requests[1].title, QString("删除失败"));
    QCOMPARE(requests[1].text, QString("无法找到字体\"KelvoTestOne\"的文件。"));
    // Nothing reloaded on a refusal.
    QCOMPARE(f.listed(), (QStringList{kDefaultFamily, "KelvoTestOne"}));
}

void TestFontManager::deleteStaysInsideFontsDirectory()
{
    // A link in the fonts directory to a font elsewhere: deleting the font
    // removes the link, never the file it points to.
    QTemporaryDir elsewhere;
    const QString outside = QDir(elsewhere.path()).filePath("kelvo_test_two.ttf");
    QVERIFY(QFile::copy(fixture("kelvo_test_two.ttf"), outside));

    Fixture f;
    QVERIFY(QFile::link(outside, QDir(f.fonts()).filePath("linked.ttf")));
    f.registry->reload();
    f.dialog->refreshFontList();
    QVERIFY(f.select("KelvoTestTwo"));
    f.env.dialogs().queueButton(QMessageBox::Yes);
    f.deleteBtn->click();

    QCOMPARE(f.env.dialogs().requests.last().kind, DialogRequest::Information);
    QVERIFY(!QFileInfo(QDir(f.fonts()).filePath("linked.ttf")).isSymLink());
    QVERIFY(QFileInfo::exists(outside));
    QCOMPARE(contents(outside), contents(fixture("kelvo_test_two.ttf")));
}

void TestFontManager::mainWindowOpensParentlessModal()
{
    TestEnvironment env;
    MainWindow window;
    QString title;
    bool parentless = false;
    bool sawDialog = false;
    // Closes whatever modal dialog the action opens, so the test cannot hang.
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<FontManager *>(QApplication::activeModalWidget())) {
            sawDialog = true;
            title = dialog->windowTitle();
            parentless = dialog->parent() == nullptr;
            dialog->reject();
        } else if (QWidget *other = QApplication::activeModalWidget()) {
            other->close();
        }
    });
    closer.start();
    window.fontManagerAction();
    closer.stop();

    QVERIFY(sawDialog);
    QVERIFY(parentless);
    QCOMPARE(title, QString("字体管理"));
}

QTEST_MAIN(TestFontManager)
#include "test_fontmanager.moc"
