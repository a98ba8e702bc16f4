// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/ui/FileChangeBar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace {

// The warning and error tints of KDE's message bars: readable on light and
// dark palettes once mixed with the window colour.
const QColor WarningTint(0xf6, 0x74, 0x00);
const QColor ErrorTint(0xda, 0x44, 0x53);

QColor mixed(const QColor &base, const QColor &tint, qreal amount)
{
    return QColor::fromRgbF(float(base.redF() + (tint.redF() - base.redF()) * amount),
                            float(base.greenF() + (tint.greenF() - base.greenF()) * amount),
                            float(base.blueF() + (tint.blueF() - base.blueF()) * amount));
}

} // namespace

FileChangeBar::FileChangeBar(QWidget *parent)
    : QWidget(parent)
    , m_icon(new QLabel(this))
    , m_label(new QLabel(this))
    , m_reload(new QPushButton(tr("重新载入"), this))
    , m_keep(new QPushButton(tr("保留我的版本"), this))
    , m_close(new QToolButton(this))
{
    setObjectName(QStringLiteral("fileChangeBar"));
    m_label->setObjectName(QStringLiteral("fileChangeText"));
    m_reload->setObjectName(QStringLiteral("reloadButton"));
    m_keep->setObjectName(QStringLiteral("keepButton"));
    m_close->setObjectName(QStringLiteral("closeButton"));
    // Buttons of a bar inside the editor: Return stays with the text.
    for (QPushButton *button : {m_reload, m_keep}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }
    m_close->setAutoRaise(true);
    m_close->setFocusPolicy(Qt::TabFocus);
    m_close->setToolTip(tr("关闭"));
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 6, 4);
    layout->addWidget(m_icon);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_reload);
    layout->addWidget(m_keep);
    layout->addWidget(m_close);

    connect(m_reload, &QPushButton::clicked, this, &FileChangeBar::reloadRequested);
    connect(m_keep, &QPushButton::clicked, this, &FileChangeBar::keepRequested);
    connect(m_close, &QToolButton::clicked, this, &FileChangeBar::dismissed);
    updateColours();
    hide();
}

void FileChangeBar::showMessage(Message message)
{
    m_message = message;
    const bool modified = message == Message::Modified;
    m_label->setText(modified ? tr("文件已在别处被修改") : tr("文件已被删除"));
    m_reload->setVisible(modified);
    m_keep->setVisible(modified);
    m_close->setVisible(!modified);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    m_icon->setPixmap(style()
                          ->standardIcon(modified ? QStyle::SP_MessageBoxWarning
                                                  : QStyle::SP_MessageBoxCritical,
                                         nullptr, this)
                          .pixmap(size, size));
    updateColours();
    show();
}

void FileChangeBar::updateColours()
{
    const QColor tint = m_message == Message::Modified ? WarningTint : ErrorTint;
    m_fill = mixed(palette().color(QPalette::Window), tint, 0.2);
    m_border = tint;
    update();
}

void FileChangeBar::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        updateColours();
    QWidget::changeEvent(event);
}

void FileChangeBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_border, 1));
    painter.setBrush(m_fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
}
