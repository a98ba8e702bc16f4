// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window: paging buttons and label, zoom steps, fit, wheel zoom.

#include "render/ui/PreviewWindow.h"
#include "support/TestSupport.h"

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>

namespace {

QByteArray svgPage(int n)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"595\" height=\"842\" "
                          "viewBox=\"0 0 595 842\"><rect x=\"10\" y=\"10\" width=\"100\" "
                          "height=\"%1\" fill=\"black\"/></svg>")
        .arg(100 + n)
        .toUtf8();
}

QList<QByteArray> svgPages(int count)
{
    QList<QByteArray> pages;
    for (int i = 0; i < count; ++i)
        pages << svgPage(i);
    return pages;
}

bool wheel(QWidget *viewport, int delta, Qt::KeyboardModifiers modifiers)
{
    const QPointF pos(viewport->width() / 2.0, viewport->height() / 2.0);
    QWheelEvent event(pos, viewport->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport, &event);
    return event.isAccepted();
}

} // namespace

class TestPreviewWindow : public QObject
{
    Q_OBJECT

    QPushButton *button(PreviewWindow &w, const char *name)
    {
        return w.findChild<QPushButton *>(QLatin1String(name));
    }
    QString label(PreviewWindow &w)
    {
        return w.findChild<QLabel *>(QStringLiteral("pageLabel"))->text();
    }

private slots:
    void initTestCase() { initTestApplication(); }

    void construction()
    {
        PreviewWindow w;
        QCOMPARE(w.windowTitle(), QStringLiteral("预览"));
        QVERIFY(w.windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(w.windowState() & Qt::WindowMaximized);
        QCOMPARE(w.minimumSize(), QSize(800, 600));
        QCOMPARE(w.scene()->backgroundBrush().color(), QColor(0xf0, 0xf0, 0xf0));
        QCOMPARE(w.view()->dragMode(), QGraphicsView::ScrollHandDrag);
        const QStringList texts = {QStringLiteral("上一页"), QStringLiteral("下一页"), QStringLiteral("缩小"),
                                   QStringLiteral("放大"), QStringLiteral("适应窗口")};
        const char *names[] = {"prevBtn", "nextBtn", "zoomOutBtn", "zoomInBtn", "fitBtn"};
        for (int i = 0; i < texts.size(); ++i) {
            QPushButton *b = button(w, names[i]);
            QVERIFY(b);
            QCOMPARE(b->text(), texts.at(i));
        }
    }

    // Label and button states through a walk over the pages.
    void paging_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("clicks"); // n = next, p = previous
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("prev");
        QTest::addColumn<bool>("next");
        QTest::newRow("one page") << 1 << QString() << QStringLiteral("1/1") << false << false;
        QTest::newRow("one page, next ignored") << 1 << QStringLiteral("n") << QStringLiteral("1/1") << false << false;
        QTest::newRow("first of three") << 3 << QString() << QStringLiteral("1/3") << false << true;
        QTest::newRow("middle") << 3 << QStringLiteral("n") << QStringLiteral("2/3") << true << true;
        QTest::newRow("last") << 3 << QStringLiteral("nn") << QStringLiteral("3/3") << true << false;
        QTest::newRow("past the last") << 3 << QStringLiteral("nnnn") << QStringLiteral("3/3") << true << false;
        QTest::newRow("back to the first") << 3 << QStringLiteral("nnpp") << QStringLiteral("1/3") << false << true;
        QTest::newRow("before the first") << 2 << QStringLiteral("pp") << QStringLiteral("1/2") << false << true;
    }
    void paging()
    {
        QFETCH(int, count);
        QFETCH(QString, clicks);
        QFETCH(QString, label);
        QFETCH(bool, prev);
        QFETCH(bool, next);
        PreviewWindow w;
        w.setPages(svgPages(count));
        for (const QChar c : clicks)
            (c == QLatin1Char('n') ? w.onNextClicked() : w.onPrevClicked());
        QCOMPARE(this->label(w), label);
        QCOMPARE(button(w, "prevBtn")->isEnabled(), prev);
        QCOMPARE(button(w, "nextBtn")->isEnabled(), next);
        // The scene shows exactly the current page.
        QCOMPARE(w.scene()->items().size(), 1);
        QCOMPARE(w.currentIndex(), label.section(QLatin1Char('/'), 0, 0).toInt() - 1);
        QCOMPARE(w.scene()->items().first()->boundingRect().size(), QSizeF(595, 842));
    }

    void emptyList()
    {
        PreviewWindow w;
        w.setPages(svgPages(2));
        w.setPages({});
        QVERIFY(w.scene()->items().isEmpty());
        QVERIFY(!button(w, "prevBtn")->isEnabled());
        QVERIFY(!button(w, "nextBtn")->isEnabled());
        const QTransform before = w.view()->transform();
        w.onFitClicked(); // nothing to fit
        QCOMPARE(w.view()->transform(), before);
    }

    // Zoom steps multiply and survive paging.
    void zoomSteps()
    {
        PreviewWindow w;
        w.setPages(svgPages(2));
        button(w, "zoomInBtn")->click();
        button(w, "zoomInBtn")->click();
        button(w, "zoomOutBtn")->click();
        QVERIFY(qFuzzyCompare(w.view()->transform().m11(), 1.152));
        QVERIFY(qFuzzyCompare(w.view()->transform().m22(), 1.152));
        button(w, "nextBtn")->click();
        QVERIFY(qFuzzyCompare(w.view()->transform().m11(), 1.152));
    }

    // After zooming, fitting shows the whole page again.
    void fitAfterZoom()
    {
        PreviewWindow w;
        w.setPages(svgPages(1));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i = 0; i < 4; ++i)
            button(w, "zoomInBtn")->click();
        button(w, "fitBtn")->click();
        QGraphicsItem *item = w.scene()->items().first();
        const QRect shown = w.view()->mapFromScene(item->sceneBoundingRect()).boundingRect();
        const QRect viewport = w.view()->viewport()->rect();
        QVERIFY2(viewport.adjusted(-1, -1, 1, 1).contains(shown),
                 qPrintable(QStringLiteral("%1x%2 in %3x%4").arg(shown.width()).arg(shown.height())
                                .arg(viewport.width()).arg(viewport.height())));
        // One side fills the view (fitInView leaves a small margin).
        QVERIFY(shown.height() >= viewport.height() - 12 || shown.width() >= viewport.width() - 12);
        const qreal expected = std::min(viewport.width() / 595.0, viewport.height() / 842.0);
        QVERIFY(qAbs(w.view()->transform().m11() - expected) < 0.05);
    }

    void wheelZoom_data()
    {
        QTest::addColumn<int>("delta");
        QTest::addColumn<qreal>("scale");
        QTest::newRow("ctrl up") << 120 << 1.2;
        QTest::newRow("ctrl down") << -120 << 0.8;
    }
    void wheelZoom()
    {
        QFETCH(int, delta);
        QFETCH(qreal, scale);
        PreviewWindow w;
        w.setPages(svgPages(1));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(wheel(w.view()->viewport(), delta, Qt::ControlModifier));
        QVERIFY(qFuzzyCompare(w.view()->transform().m11(), scale));
    }

    // Without Ctrl the wheel scrolls and leaves the scale alone.
    void plainWheelScrolls()
    {
        PreviewWindow w;
        w.setPages(svgPages(1));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i = 0; i < 5; ++i)
            w.onZoomInClicked(); // larger than the view: there is something to scroll
        const qreal before = w.view()->transform().m11();
        QScrollBar *bar = w.view()->verticalScrollBar();
        QVERIFY(bar->maximum() > bar->minimum());
        bar->setValue(bar->minimum());
        wheel(w.view()->viewport(), -120, Qt::NoModifier);
        QCOMPARE(w.view()->transform().m11(), before);
        QVERIFY(bar->value() > bar->minimum());
    }

    // The window keeps its own copy of the pages.
    void ownCopy()
    {
        QList<QByteArray> pages = svgPages(2);
        PreviewWindow w;
        w.setPages(pages);
        pages.clear();
        w.onNextClicked();
        QCOMPARE(label(w), QStringLiteral("2/2"));
        QCOMPARE(w.scene()->items().size(), 1);
    }
};

QTEST_MAIN(TestPreviewWindow)
#include "test_previewwindow.moc"
