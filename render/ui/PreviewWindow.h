// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>

class QGraphicsScene;
class QGraphicsView;
class QLabel;
class QPushButton;

// Shows every page of a full generation, one at a time, in a zoomable view.
// Keeps its own copy of the pages, so regenerating elsewhere while it is open
// changes nothing here.
class PreviewWindow : public QDialog
{
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget *parent = nullptr);

    // Shows page 0 of the new list (nothing for an empty list).
    void setPages(const QList<QByteArray> &pages);
    // Shows the page at the current index; an index outside the list leaves
    // the view empty.
    void showPage();

    int currentIndex() const { return m_index; }
    int pageCount() const { return int(m_pages.size()); }
    QGraphicsView *view() const { return m_view; }
    QGraphicsScene *scene() const { return m_scene; }

public slots:
    void onPrevClicked();
    void onNextClicked();
    void onZoomInClicked();
    void onZoomOutClicked();
    void onFitClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QByteArray> m_pages;
    int m_index = 0;
    QGraphicsView *m_view = nullptr;
    QGraphicsScene *m_scene = nullptr;
    QPushButton *m_prevBtn = nullptr;
    QPushButton *m_nextBtn = nullptr;
    QPushButton *m_zoomOutBtn = nullptr;
    QPushButton *m_zoomInBtn = nullptr;
    QPushButton *m_fitBtn = nullptr;
    QLabel *m_pageLabel = nullptr;
};
