// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/StartPage.h"

#include "core/RecentFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString IconDir = QStringLiteral(":/icons/resources/icons/");

// The same white page and grey text as the sponsor page it replaces, in one
// face. Left to the platform, the Chinese words may fall back to a 楷 face
// beside the sans of the file names; the program's sans family (黑体, see
// FontSubstitutions) has Latin letters of its own.
const char *const PageStyle = R"(
#startPageContent { background-color: #ffffff; }
#startPageContent QLabel, #startPageContent QToolButton { font-family: "黑体"; }
#startPageContent QLabel { color: #404040; }
#startPageContent QLabel[role="heading"] { font-size: 13pt; font-weight: bold; }
#startPageContent QLabel[role="hint"] { color: #808080; }
#startPageContent QToolButton { color: #1a5fb4; font-size: 11pt; padding: 3px 6px; }
#markupCard { background-color: #f6f7f9; border: 1px solid #dcdfe4; border-radius: 6px; }
#markupCard QLabel[role="code"] { color: #8b2500; font-weight: bold; }
)";

QLabel *label(const QString &text, const char *role = nullptr)
{
    auto *l = new QLabel(text);
    if (role)
        l->setProperty("role", QString::fromLatin1(role));
    return l;
}

QToolButton *linkButton(const QString &objectName, const QString &text, const QString &icon)
{
    auto *button = new QToolButton;
    button->setObjectName(objectName);
    button->setText(text);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    if (!icon.isEmpty()) {
        button->setIcon(QIcon(IconDir + icon));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    return button;
}

} // namespace

StartPage::StartPage(QWidget *parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("startPage"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);

    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("startPageContent"));
    content->setStyleSheet(QString::fromUtf8(PageStyle));

    auto *title = label(tr("Kelvo工尺谱"), "heading");
    QFont titleFont = title->font();
    titleFont.setPointSize(18);
    title->setFont(titleFont);

    auto *columns = new QHBoxLayout;
    columns->setSpacing(64);
    columns->addStretch(1);
    columns->addWidget(buildStartColumn(), 0, Qt::AlignTop);
    columns->addWidget(buildMarkupCard(), 0, Qt::AlignTop);
    columns->addStretch(1);

    auto *page = new QVBoxLayout(content);
    page->setContentsMargins(48, 32, 48, 32);
    page->setSpacing(24);
    page->addWidget(title, 0, Qt::AlignHCenter);
    page->addLayout(columns);
    page->addStretch(1);
    setWidget(content);

    connect(RecentFiles::instance(), &RecentFiles::filesChanged, this, &StartPage::refreshRecent);
    refreshRecent();
}

QWidget *StartPage::buildStartColumn()
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    layout->addWidget(label(tr("开始"), "heading"));
    QToolButton *newButton = linkButton(QStringLiteral("startNewButton"), tr("新建"),
                                        QStringLiteral("new.png"));
    QToolButton *openButton = linkButton(QStringLiteral("startOpenButton"), tr("打开…"),
                                         QStringLiteral("open.png"));
    QToolButton *sampleButton = linkButton(QStringLiteral("startSampleButton"),
                                           tr("示例曲谱"), QStringLiteral("logo-qt.png"));
    sampleButton->setToolTip(tr("打开示例曲谱《牡丹亭·游园》"));
    connect(newButton, &QToolButton::clicked, this, &StartPage::newRequested);
    connect(openButton, &QToolButton::clicked, this, &StartPage::openRequested);
    connect(sampleButton, &QToolButton::clicked, this, &StartPage::sampleRequested);
    for (QToolButton *button : {newButton, openButton, sampleButton})
        layout->addWidget(button, 0, Qt::AlignLeft);

    layout->addSpacing(16);
    layout->addWidget(label(tr("最近打开"), "heading"));
    m_recentLayout = new QVBoxLayout;
    m_recentLayout->setSpacing(0);
    layout->addLayout(m_recentLayout);
    return column;
}

QWidget *StartPage::buildMarkupCard()
{
    auto *card = new QFrame;
    card->setObjectName(QStringLiteral("markupCard"));
    auto *layout = new QGridLayout(card);
    layout->setContentsMargins(18, 14, 18, 14);
    layout->setHorizontalSpacing(18);
    layout->setVerticalSpacing(6);

    layout->addWidget(label(tr("歌词标记"), "heading"), 0, 0, 1, 3);
    const struct {
        QString code;
        QString meaning;
        QString shortcut;
    } rows[] = {
        {QStringLiteral("#"), tr("标题（曲名）"), QStringLiteral("Alt+B")},
        {QStringLiteral(";"), tr("注释：只留在文字里，不排进曲谱"), QStringLiteral("Alt+Z")},
        {QStringLiteral(">"), tr("夹白：唱句间插入的说白"), QStringLiteral("Alt+J")},
        {QStringLiteral("="), tr("念白：整段的说白"), QStringLiteral("Alt+L")},
        {tr("【曲牌名】(调)"), tr("曲牌，括号里写调（可省）"), QStringLiteral("Alt+Q")},
        {tr("@换行符"), tr("换行：其后从新的一列排起"), QStringLiteral("Alt+Enter")},
        {tr("@分页符"), tr("分页：其后从新的一页排起"), QStringLiteral("Alt+Shift+Enter")},
    };
    int row = 1;
    for (const auto &entry : rows) {
        layout->addWidget(label(entry.code, "code"), row, 0);
        layout->addWidget(label(entry.meaning), row, 1);
        layout->addWidget(label(entry.shortcut, "hint"), row, 2);
        ++row;
    }
    auto *note = label(tr("标记写在行首。其余各行的每个汉字（及半角空格）\n"
                          "对应右栏的一行工尺。"),
                       "hint");
    layout->addWidget(note, row, 0, 1, 3);
    return card;
}

void StartPage::refreshRecent()
{
    // Deleted later: a click on one of these entries may be what changed
    // the list (the opened file moves to the top).
    while (QLayoutItem *item = m_recentLayout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    const QStringList files = RecentFiles::instance()->files();
    if (files.isEmpty()) {
        m_recentLayout->addWidget(label(tr("还没有打开过曲谱"), "hint"));
        return;
    }
    for (const QString &path : files) {
        const QFileInfo info(path);
        const QString folder = QDir::toNativeSeparators(info.path());
        QToolButton *button =
            linkButton(QStringLiteral("startRecentButton"), info.fileName(), QString());
        button->setProperty("path", path);
        button->setToolTip(QDir::toNativeSeparators(path));
        connect(button, &QToolButton::clicked, this, [this, path] { emit recentRequested(path); });

        auto *folderLabel = new QLabel;
        folderLabel->setProperty("role", QStringLiteral("hint"));
        // Long folders are shortened in the middle, where they differ least.
        folderLabel->setText(
            folderLabel->fontMetrics().elidedText(folder, Qt::ElideMiddle, 320));
        folderLabel->setToolTip(folder);

        auto *entry = new QWidget;
        auto *row = new QHBoxLayout(entry);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(button);
        row->addWidget(folderLabel);
        row->addStretch(1);
        m_recentLayout->addWidget(entry);
    }
}
