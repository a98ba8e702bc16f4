// SPDX-License-Identifier: GPL-3.0-or-later
#include "fonts/ui/FontManager.h"

#include "shared/ui/DialogService.h"
#include "core/RecentFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

FontManager::FontManager(FontRegistry &registry, QWidget *parent)
    : QDialog(parent)
    , m_registry(&registry)
    , m_fontList(new QListWidget(this))
    , m_installBtn(new QPushButton(tr("安装字体"), this))
    , m_deleteBtn(new QPushButton(tr("删除字体"), this))
    , m_closeBtn(new QPushButton(tr("关闭"), this))
{
    setWindowTitle(tr("字体管理"));
    setMinimumSize(400, 300);

    auto *label = new QLabel(tr("已安装字体列表"), this);
    label->setObjectName(QStringLiteral("titleLabel"));
    label->setStyleSheet(QStringLiteral("font-weight: bold; font-size: 14px;"));

    m_fontList->setObjectName(QStringLiteral("fontList"));
    m_fontList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_installBtn->setObjectName(QStringLiteral("installBtn"));
    m_deleteBtn->setObjectName(QStringLiteral("deleteBtn"));
    m_closeBtn->setObjectName(QStringLiteral("closeBtn"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_installBtn);
    buttons->addWidget(m_deleteBtn);
    buttons->addStretch();
    buttons->addWidget(m_closeBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_fontList);
    layout->addLayout(buttons);

    connect(m_installBtn, &QPushButton::clicked, this, &FontManager::installFont);
    connect(m_deleteBtn, &QPushButton::clicked, this, &FontManager::deleteFont);
    connect(m_closeBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_fontList, &QListWidget::itemSelectionChanged, this,
            &FontManager::updateDeleteButton);

    refreshFontList();
}

void FontManager::refreshFontList()
{
    m_fontList->clear();
    const QStringList families = m_registry->families();
    const QString defaultFamily = m_registry->defaultFamily();
    for (const QString &family : families) {
        auto *item = new QListWidgetItem(family, m_fontList);
        if (family == defaultFamily) {
            item->setToolTip(tr("默认字体 (不可删除)"));
            item->setForeground(QBrush(Qt::blue));
            QFont font = item->font();
            font.setWeight(QFont::Bold);
            item->setFont(font);
        }
    }
    m_deleteBtn->setEnabled(false);
}

void FontManager::updateDeleteButton()
{
    const QList<QListWidgetItem *> selected = m_fontList->selectedItems();
    if (selected.isEmpty()) {
        m_deleteBtn->setEnabled(false);
        return;
    }
    m_deleteBtn->setEnabled(selected.first()->text() != m_registry->defaultFamily());
}

void FontManager::installFont()
{
    RecentFiles *recent = RecentFiles::instance();
    const QString source = Dialogs::getOpenFileName(
        this, tr("选择字体文件"), recent->lastDir(RecentFiles::FontKind), tr("字体文件 (*.ttf)"));
    if (source.isEmpty())
        return;
    recent->setLastDir(RecentFiles::FontKind, source);

    const QString directory = m_registry->fontsDirectory();
    QDir().mkpath(directory);
    const QString fileName = QFileInfo(source).fileName();
    const QString target = QDir(directory).filePath(fileName);

    // Checked before the file is read: an existing font is never replaced.
    if (QFileInfo::exists(target)) {
        Dialogs::warning(this, tr("安装失败"), tr("字体文件\"%1\"已存在。").arg(fileName));
        return;
    }

    const int probe = QFontDatabase::addApplicationFont(source);
    if (probe < 0) {
        Dialogs::warning(this, tr("安装失败"), tr("无法读取字体文件\"%1\"。").arg(fileName));
        return;
    }
    const QStringList declared = QFontDatabase::applicationFontFamilies(probe);
    QFontDatabase::removeApplicationFont(probe);

    const QStringList installed = m_registry->families();
    for (const QString &family : declared) {
        if (installed.contains(family, Qt::CaseSensitive)) {
            Dialogs::warning(this, tr("安装失败"), tr("字体名称\"%1\"已存在。").arg(family));
            return;
        }
    }

    if (!QFile::copy(source, target)) {
        Dialogs::critical(this, tr("安装失败"), tr("无法复制字体文件到安装目录。"));
        return;
    }

    m_registry->reload();
    refreshFontList();
    Dialogs::information(this, tr("安装成功"), tr("字体\"%1\"已成功安装。").arg(fileName));
}

void FontManager::deleteFont()
{
    const QList<QListWidgetItem *> selected = m_fontList->selectedItems();
    if (selected.isEmpty())
        return;
    const QString name = selected.first()->text();

    if (name == m_registry->defaultFamily()) {
        Dialogs::warning(this, tr("删除失败"), tr("默认字体不能被删除。"));
        return;
    }

    if (Dialogs::question(this, tr("确认删除"), tr("确定要删除字体\"%1\"吗？").arg(name),
                          QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;

    const QString file = findFontFile(name);
    if (file.isEmpty()) {
        Dialogs::warning(this, tr("删除失败"), tr("无法找到字体\"%1\"的文件。").arg(name));
        return;
    }

    // Platforms that lock registered font files get one registration
    // released; the registry's own registration stays for fonts in use.
    const int again = QFontDatabase::addApplicationFont(file);
    if (again >= 0)
        QFontDatabase::removeApplicationFont(again);

    if (QFile::remove(file)) {
        m_registry->reload();
        refreshFontList();
        Dialogs::information(this, tr("删除成功"), tr("字体\"%1\"已成功删除。").arg(name));
    } else {
        Dialogs::critical(this, tr("删除失败"),
                          tr("无法删除字体文件，可能是文件被占用。请关闭使用该字体的应用程序后重试。"));
    }
}

QString FontManager::findFontFile(const QString &family)
{
    // Only files directly inside the fonts directory are candidates, so a
    // deletion can never reach anything else.
    const QStringList files = m_registry->fontFiles();
    for (const QString &file : files) {
        if (m_registry->registerFile(file).contains(family, Qt::CaseSensitive))
            return file;
    }
    return QString();
}
