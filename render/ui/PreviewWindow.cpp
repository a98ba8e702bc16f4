// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/ui/PreviewWindow.h"

#include <QBoxLayout>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QSvgRenderer>
#include <QWheelEvent>
#include <QtSvgWidgets/QGraphicsSvgItem>

PreviewWindow::PreviewWindow(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("预览"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    setWindowState(windowState() | Qt::WindowMaximized);
    setMinimumSize(800, 600);

    m_scene = new QGraphicsScene(this);
    m_scene->setBackgroundBrush(QColor(QStringLiteral("#f0f0f0")));
    m_view = new QGraphicsView(m_scene, this);
    m_view->setObjectName(QStringLiteral("previewView"));
    m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setRenderHint(QPainter::SmoothPixmapTransform);
    m_view->setStyleSheet(QStringLiteral("QGraphicsView { border: 1px solid #dddddd; }"));

    const auto button = [this](const QString &text, const char *name) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    m_prevBtn = button(tr("上一页"), "prevBtn");
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("pageLabel"));
    m_nextBtn = button(tr("下一页"), "nextBtn");
    m_zoomOutBtn = button(tr("缩小"), "zoomOutBtn");
    m_zoomInBtn = button(tr("放大"), "zoomInBtn");
    m_fitBtn = button(tr("适应窗口"), "fitBtn");
    // Nothing to page through until pages arrive.
    m_prevBtn->setEnabled(false);
    m_nextBtn->setEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_prevBtn);
    buttons->addWidget(m_pageLabel);
    buttons->addWidget(m_nextBtn);
    buttons->addStretch();
    buttons->addWidget(m_zoomOutBtn);
    buttons->addWidget(m_zoomInBtn);
    buttons->addWidget(m_fitBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addLayout(buttons);

    connect(m_prevBtn, &QPushButton::clicked, this, &PreviewWindow::onPrevClicked);
    connect(m_nextBtn, &QPushButton::clicked, this, &PreviewWindow::onNextClicked);
    connect(m_zoomInBtn, &QPushButton::clicked, this, &PreviewWindow::onZoomInClicked);
    connect(m_zoomOutBtn, &QPushButton::clicked, this, &PreviewWindow::onZoomOutClicked);
    connect(m_fitBtn, &QPushButton::clicked, this, &PreviewWindow::onFitClicked);

    m_view->viewport()->installEventFilter(this);
}

void PreviewWindow::setPages(const QList<QByteArray> &pages)
{
    m_pages = pages;
    m_index = 0;
    if (!m_pages.isEmpty())
        showPage();
    else
        m_scene->clear();
    m_prevBtn->setEnabled(false);
    m_nextBtn->setEnabled(m_pages.size() > 1);
}

void PreviewWindow::showPage()
{
    m_scene->clear();
    if (m_index < 0 || m_index >= m_pages.size())
        return;
    // The item does not own a shared renderer: parent it to the item so it
    // goes away with the page.
    auto *item = new QGraphicsSvgItem;
    auto *renderer = new QSvgRenderer(m_pages.at(m_index), item);
    item->setSharedRenderer(renderer);
    m_scene->addItem(item);
    m_scene->setSceneRect(item->boundingRect());
    m_pageLabel->setText(QStringLiteral("%1/%2").arg(m_index + 1).arg(m_pages.size()));
    m_prevBtn->setEnabled(m_index > 0);
    m_nextBtn->setEnabled(m_index < m_pages.size() - 1);
}

void PreviewWindow::onPrevClicked()
{
    if (m_index > 0) {
        --m_index;
        showPage();
    }
}

void PreviewWindow::onNextClicked()
{
    if (m_index < m_pages.size() - 1) {
        ++m_index;
        showPage();
    }
}

void PreviewWindow::onZoomInClicked()
{
    m_view->scale(1.2, 1.2);
}

void PreviewWindow::onZoomOutClicked()
{
    m_view->scale(0.8, 0.8);
}

void PreviewWindow::onFitClicked()
{
    const QList<QGraphicsItem *> items = m_scene->items();
    if (items.isEmpty())
        return;
    m_view->resetTransform();
    QGraphicsItem *first = items.first();
    m_view->fitInView(first->sceneBoundingRect(), Qt::KeepAspectRatio);
}

bool PreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const qreal factor = wheel->angleDelta().y() > 0 ? 1.2 : 0.8;
            m_view->scale(factor, factor);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
