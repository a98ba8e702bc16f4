// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/GongcheSymbols.h"
#include "document/LayoutItem.h"
#include "document/ScoreSyntax.h"
#include "render/ExportConfig.h"
#include "fonts/FontRegistry.h"
#include "render/GenerateSVG.h"
#include "support/CoreTestSupport.h"

#include <QElapsedTimer>
#include <QPaintEngine>
#include <QPainterPath>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtMath>
#include <QtTest>

#include <memory>

namespace {

// One text drawn on a page, as a device sees it when the recording is replayed.
struct TextOp
{
    QString text;
    QPointF pos;          // baseline origin in local coordinates
    QTransform transform; // world transform at the time
    QColor color;
    QFont font;
    QPointF pagePos() const { return transform.map(pos); }
};

class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & DirtyTransform)
            m_transform = state.transform();
        if (state.state() & DirtyPen)
            m_pen = state.pen();
        if (state.state() & DirtyFont)
            m_font = state.font();
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawRects(const QRectF *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            fills.append(m_transform.mapRect(rects[i]));
    }
    void drawPath(const QPainterPath &path) override { fills.append(m_transform.mapRect(path.boundingRect())); }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        texts.append({item.text(), p, m_transform, m_pen.color(), item.font()});
    }
    Type type() const override { return QPaintEngine::User; }

    QList<TextOp> texts;
    QList<QRectF> fills;

private:
    QTransform m_transform;
    QPen m_pen;
    QFont m_font;
};

class RecordingDevice : public QPaintDevice
{
public:
    QPaintEngine *paintEngine() const override { return const_cast<RecordingEngine *>(&engine); }
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
        case PdmHeight:
            return 100000;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 72;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 1;
        }
    }
    RecordingEngine engine;
};

struct Replay
{
    QList<TextOp> texts;
    QList<QRectF> fills;
};

Replay replay(const QPicture &page)
{
    RecordingDevice device;
    QPainter painter(&device);
    GenerateSVG::paintPage(&painter, page);
    painter.end();
    return {device.engine.texts, device.engine.fills};
}

// Where a cell's text lands when drawn by QPainter in that rectangle: the
// expected position is found by the same text machinery, so the comparison
// does not depend on which fallback font draws an ideograph on this machine.
QPointF expectedPagePos(const QFont &font, const QTransform &transform, const QRectF &rect,
                        int flags, const QString &text)
{
    QPicture picture;
    QPainter painter(&picture);
    painter.setTransform(transform);
    painter.setFont(font);
    painter.drawText(rect, flags, text);
    painter.end();
    const Replay r = replay(picture);
    return r.texts.isEmpty() ? QPointF(qQNaN(), qQNaN()) : r.texts.first().pagePos();
}

bool isPlain(const QTransform &t)
{
    return !t.isRotating() && qAbs(t.m11() - 1) < 1e-9 && qAbs(t.m22() - 1) < 1e-9;
}

bool near(const QPointF &a, const QPointF &b)
{
    return qAbs(a.x() - b.x()) < 0.01 && qAbs(a.y() - b.y()) < 0.01;
}

QString sym(char32_t c)
{
    return Gongche::toString(c);
}

const char32_t Note = Gongche::PitchBlockStart;          // a plain pitch glyph
const char32_t Note2 = Gongche::PitchBlockStart + 5;
const char32_t SmallNote = Gongche::PitchBlockStart + 2 * Gongche::PitchBlockSize;

LayoutItem item(int kind, const QString &text)
{
    LayoutItem it;
    it.kind = LineKind(kind);
    it.text = text;
    return it;
}

// A lyric line; scores given per character (missing ones empty).
LayoutItem lyric(const QString &text, const QStringList &scores = {})
{
    LayoutItem it = item(LineKind::Lyric, text);
    for (int i = 0; i < text.size(); ++i)
        it.scores.append(scores.value(i));
    return it;
}

} // namespace

Q_DECLARE_METATYPE(LayoutItems)

class TestGenerateSvg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyListGivesOnePage_data();
    void emptyListGivesOnePage();
    void pageBreakFirstLeavesFirstPageEmpty();
    void previewOnlyStopsAtTwoPages();
    void landscapeA4();
    void wideColumnsTakeOnePageEach();
    void narrowPagesKeepTextOnPage_data();
    void narrowPagesKeepTextOnPage();
    void columnsAndPagesFill();
    void progressSignals_data();
    void progressSignals();
    void titlePosition_data();
    void titlePosition();
    void titleLaterStartsOwnColumn();
    void quPaiHeadingWithMode();
    void punctuationTakesItsGlyphHeight_data();
    void punctuationTakesItsGlyphHeight();
    void lyricPunctuation_data();
    void lyricPunctuation();
    void notationOverflowSwitchesColumn_data();
    void notationOverflowSwitchesColumn();
    void lianBaiBalancedIntoThreeSubColumns_data();
    void lianBaiBalancedIntoThreeSubColumns();
    void lianBaiStartsBelowNotation();
    void emptySpokenLinesAddNoSpace_data();
    void emptySpokenLinesAddNoSpace();
    void penColoursByClass();
    void drawScoreShiftRules_data();
    void drawScoreShiftRules();
    void measureScoreStraightAndSlanted_data();
    void measureScoreStraightAndSlanted();
    void absurdSettingsStayBounded_data();
    void absurdSettingsStayBounded();
    void pageCountIsCapped();
    void settingsChangedMidGenerationWaitForTheNext();
    void svgPagesAreWellFormed_data();
    void svgPagesAreWellFormed();
    void svgCacheFollowsGeneration();

private:
    QPointF origin() const
    {
        return QPointF(m_config->pageSizePoints().width() - m_config->marginRight(),
                       m_config->marginTop());
    }
    QTransform pageTransform() const
    {
        return QTransform::fromTranslate(origin().x(), origin().y());
    }
    int lyricLine() const { return GenerateSVG::lineHeight(m_config->lyricFontMetrics()); }
    int lyricAvg() const { return GenerateSVG::averageWidth(m_config->lyricFontMetrics()); }
    int contentHeight() const
    {
        return m_config->pageSizePoints().height() - m_config->marginTop()
            - m_config->marginBottom();
    }
    // The recorded text of page p, in drawing order.
    QList<TextOp> textsOf(int page) const { return replay(m_gen->pictures().at(page)).texts; }
    void expectCell(const TextOp &op, const QFont &font, const QTransform &transform,
                    const QRectF &rect, int flags, const QString &text)
    {
        QCOMPARE(op.text, text);
        const QPointF expected = expectedPagePos(font, transform, rect, flags, text);
        if (!near(op.pagePos(), expected))
            QFAIL(qPrintable(QStringLiteral("%1 drawn at (%2, %3), expected in cell (%4, %5, %6, %7) at (%8, %9)")
                                 .arg(text)
                                 .arg(op.pagePos().x())
                                 .arg(op.pagePos().y())
                                 .arg(rect.x())
                                 .arg(rect.y())
                                 .arg(rect.width())
                                 .arg(rect.height())
                                 .arg(expected.x())
                                 .arg(expected.y())));
    }

    QString m_family;
    std::unique_ptr<FontRegistry> m_registry;
    std::unique_ptr<TestDataFolder> m_env;
    std::unique_ptr<ExportConfig> m_config;
    std::unique_ptr<GenerateSVG> m_gen;
    QTemporaryDir m_fontsDir;
};

void TestGenerateSvg::initTestCase()
{
    initCoreTestApplication();
    m_registry = std::make_unique<FontRegistry>(m_fontsDir.path(), FontRegistry::embeddedFontPath());
    m_family = m_registry->defaultFamily();
    QVERIFY(!m_family.isEmpty());
}

void TestGenerateSvg::init()
{
    m_env = std::make_unique<TestDataFolder>();
    m_config = std::make_unique<ExportConfig>(m_env->dataDir() + QStringLiteral("/settings.ini"));
    // One fixed family everywhere, so the metrics are the same on every machine.
    const QFont font(m_family);
    m_config->setTitleFont(font);
    m_config->setLyricFont(font);
    m_config->setScoreFont(font);
    m_config->setQuPaiFont(font);
    m_config->setDiaoMingFont(font);
    m_config->setLianBaiFont(font);
    m_config->setJiaBaiFont(font);
    m_gen = std::make_unique<GenerateSVG>(m_config.get());
}

void TestGenerateSvg::cleanup()
{
    m_gen.reset();
    m_config.reset();
    m_env.reset();
}

// ---- Page model -----------------------------------------------------------

void TestGenerateSvg::emptyListGivesOnePage_data()
{
    QTest::addColumn<bool>("transparent");
    QTest::newRow("background") << false;
    QTest::newRow("transparent") << true;
}

void TestGenerateSvg::emptyListGivesOnePage()
{
    QFETCH(bool, transparent);
    m_config->setIsBgTransparent(transparent);
    m_config->setBackgroundColor(QColor(0x12, 0x34, 0x56));
    m_gen->generate({}, false);
    QCOMPARE(m_gen->pictures().size(), 1);
    QCOMPARE(m_gen->pageSize(), QSize(595, 842));
    QCOMPARE(m_gen->pictures().first().boundingRect(), QRect(0, 0, 595, 842));
    const Replay r = replay(m_gen->pictures().first());
    QVERIFY(r.texts.isEmpty());
    if (transparent)
        QVERIFY(r.fills.isEmpty());
    else
        QCOMPARE(r.fills, QList<QRectF>{QRectF(0, 0, 595, 842)});
}

void TestGenerateSvg::pageBreakFirstLeavesFirstPageEmpty()
{
    m_gen->generate({item(LineKind::PageBreak, QStringLiteral("@分页符")), lyric(QStringLiteral("好"))},
                    false);
    QCOMPARE(m_gen->pictures().size(), 2);
    QVERIFY(textsOf(0).isEmpty());
    const QList<TextOp> texts = textsOf(1);
    QCOMPARE(texts.size(), 1);
    // The new page's first column, lyricSpace below the top.
    expectCell(texts[0], m_config->lyricFont(), pageTransform(),
               QRectF(-130, m_config->lyricSpace(), lyricAvg(), lyricLine()), Qt::AlignCenter,
               QStringLiteral("好"));
}

void TestGenerateSvg::previewOnlyStopsAtTwoPages()
{
    LayoutItems items;
    for (int page = 0; page < 3; ++page) {
        items.append(lyric(QStringLiteral("好好")));
        items.append(item(LineKind::PageBreak, QStringLiteral("@分页符")));
    }
    items.append(lyric(QStringLiteral("好")));
    m_gen->generate(items, false);
    QCOMPARE(m_gen->pictures().size(), 4);
    m_gen->clearPages();
    m_gen->generate(items, true);
    QCOMPARE(m_gen->pictures().size(), 2);
    // The first page is complete, the second holds what overflowed onto it
    // (nothing here: the loop stops before the next item).
    QCOMPARE(textsOf(0).size(), 2);
    QCOMPARE(textsOf(1).size(), 0);
}

void TestGenerateSvg::landscapeA4()
{
    m_config->setPageSizeId(7);
    m_config->setIsLandscape(true);
    m_config->setMarginRight(40);
    m_config->setMarginTop(30);
    m_gen->generate({lyric(QStringLiteral("好"))}, false);
    QCOMPARE(m_gen->pageSize(), QSize(842, 595));
    QCOMPARE(m_gen->pictures().first().boundingRect(), QRect(0, 0, 842, 595));
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), 1);
    QVERIFY(isPlain(texts[0].transform));
    QVERIFY(near(texts[0].transform.map(QPointF(0, 0)), QPointF(842 - 40, 30)));
}

void TestGenerateSvg::wideColumnsTakeOnePageEach()
{
    m_config->setColWidth(600); // wider than the 545 of content
    LayoutItems items;
    for (int i = 0; i < 6; ++i) {
        items.append(lyric(QStringLiteral("好")));
        items.append(item(LineKind::LineBreak, QStringLiteral("@换行符")));
    }
    m_gen->generate(items, false);
    // The line break after the last character opens a seventh, empty page.
    QCOMPARE(m_gen->pictures().size(), 7);
    for (int p = 0; p < 6; ++p) {
        const QList<TextOp> texts = textsOf(p);
        QCOMPARE(texts.size(), 1);
        // At the content's left edge, not off the page.
        expectCell(texts[0], m_config->lyricFont(), pageTransform(),
                   QRectF(-545, m_config->lyricSpace(), lyricAvg(), lyricLine()),
                   Qt::AlignCenter, QStringLiteral("好"));
    }
}

void TestGenerateSvg::narrowPagesKeepTextOnPage_data()
{
    // Page widths around the content width that just holds one 130 column.
    QTest::addColumn<int>("pageWidth");
    for (int w : {150, 170, 179, 180, 181, 190, 311})
        QTest::newRow(qPrintable(QString::number(w))) << w;
}

void TestGenerateSvg::narrowPagesKeepTextOnPage()
{
    QFETCH(int, pageWidth);
    const QString score = sym(Note) + sym(Gongche::TouBan) + sym(Note2) + sym(SmallNote);
    LayoutItems items{item(LineKind::Title, QStringLiteral("#游园")),
                      item(LineKind::QuPai, QStringLiteral("【步步娇】（仙吕）"))};
    for (int i = 0; i < 6; ++i) {
        items.append(lyric(QStringLiteral("袅晴丝吹来闲庭院，摇漾春如线。"), QStringList(15, score)));
        items.append(item(LineKind::LianBai, QStringLiteral("=停半晌，整花钿，没揣菱花偷人半面。")));
        items.append(item(LineKind::JiaBai, QStringLiteral(">（介）好也。")));
    }
    auto drawnTexts = [this] {
        int n = 0;
        for (int p = 0; p < m_gen->pageCount(); ++p)
            n += int(textsOf(p).size());
        return n;
    };
    m_gen->generate(items, false);
    const int expected = drawnTexts();

    m_config->setPageSizeId(ExportConfig::CustomPageSizeId);
    m_config->setPageWidth(pageWidth);
    m_gen->generate(items, false);
    QVERIFY(!m_gen->wasTruncated());
    QCOMPARE(drawnTexts(), expected);
    const QRectF page(0, 0, pageWidth, 842);
    for (int p = 0; p < m_gen->pageCount(); ++p) {
        for (const TextOp &op : textsOf(p)) {
            const QRectF ink = op.transform.mapRect(
                QFontMetricsF(op.font).boundingRect(op.text).translated(op.pos));
            if (!page.contains(ink))
                QFAIL(qPrintable(QStringLiteral("%1 on page %2 drawn at x %3..%4")
                                     .arg(op.text).arg(p + 1).arg(ink.left()).arg(ink.right())));
        }
    }
}

void TestGenerateSvg::columnsAndPagesFill()
{
    const int step = m_config->lyricSpace() + lyricLine();
    // The first column starts lyricSpace down; a character that overflows
    // loses its lyricSpace and starts the next column at the very top.
    const int perColumn = contentHeight() / step;
    const int perLaterColumn = (contentHeight() - lyricLine()) / step + 1;
    QVERIFY(perColumn > 1);
    const int onFirstPage = perColumn + 3 * perLaterColumn; // 545 / 130 = 4 columns
    const int total = onFirstPage + 2;
    m_gen->generate({lyric(QString(total, QChar(0x597D)))}, false);
    QCOMPARE(m_gen->pictures().size(), 2);
    const QList<TextOp> first = textsOf(0);
    QCOMPARE(first.size(), onFirstPage);
    // Last cell of the first column and first cell of the second.
    expectCell(first[perColumn - 1], m_config->lyricFont(), pageTransform(),
               QRectF(-130, (perColumn - 1) * step + m_config->lyricSpace(), lyricAvg(), lyricLine()),
               Qt::AlignCenter, QStringLiteral("好"));
    expectCell(first[perColumn], m_config->lyricFont(), pageTransform(),
               QRectF(-260, 0, lyricAvg(), lyricLine()), Qt::AlignCenter, QStringLiteral("好"));
    const QList<TextOp> second = textsOf(1);
    QCOMPARE(second.size(), 2);
    // Overflow lost the lyricSpace of the moved character: it starts at the top.
    expectCell(second[0], m_config->lyricFont(), pageTransform(),
               QRectF(-130, 0, lyricAvg(), lyricLine()), Qt::AlignCenter, QStringLiteral("好"));
}

void TestGenerateSvg::progressSignals_data()
{
    QTest::addColumn<bool>("previewOnly");
    QTest::newRow("preview") << true;
    QTest::newRow("full") << false;
}

void TestGenerateSvg::progressSignals()
{
    QFETCH(bool, previewOnly);
    QSignalSpy spy(m_gen.get(), &GenerateSVG::progressUpdate);
    const LayoutItems items{lyric(QStringLiteral("好")), item(LineKind::Comment, QStringLiteral(";x")),
                            lyric(QStringLiteral("好"))};
    m_gen->generate(items, previewOnly);
    QCOMPARE(spy.size(), 5);
    const int m = previewOnly ? 0 : 3;
    QCOMPARE(spy[0], (QVariantList{0, 0, m,
                                   previewOnly ? QStringLiteral("生成预览") : QStringLiteral("绘制曲谱"),
                                   previewOnly ? QStringLiteral("正在生成预览···")
                                               : QStringLiteral("正在绘制曲谱···")}));
    QCOMPARE(spy[1], (QVariantList{1, 0, m, QString(), QString()}));
    QCOMPARE(spy[3], (QVariantList{1, 2, m, QString(), QString()}));
    QCOMPARE(spy[4], (QVariantList{2, 3, m, QString(), QString()}));
}

// ---- Titles and headings --------------------------------------------------

void TestGenerateSvg::titlePosition_data()
{
    QTest::addColumn<int>("pos");
    QTest::newRow("top") << 0;
    QTest::newRow("centre") << 1;
    QTest::newRow("bottom") << 2;
}

void TestGenerateSvg::titlePosition()
{
    QFETCH(int, pos);
    m_config->setTitlePos(pos);
    m_config->setTitleWidth(100);
    m_gen->generate({item(LineKind::Title, QStringLiteral("#游园（上）")), lyric(QStringLiteral("好"))},
                    false);
    QCOMPARE(m_gen->title(), QStringLiteral("游园上"));
    const int lh = GenerateSVG::lineHeight(m_config->titleFontMetrics());
    const int length = 5;
    const int y = pos == 0 ? 0 : pos == 1 ? (contentHeight() - lh * length) / 2 : contentHeight() - lh * length;
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), 6);
    const QString drawn = QStringLiteral("游园︵上︶");
    for (int i = 0; i < length; ++i)
        expectCell(texts[i], m_config->titleFont(), pageTransform(), QRectF(-100, y + i * lh, 100, lh),
                   Qt::AlignCenter, drawn.mid(i, 1));
    // The title fills its column: the lyric starts the next one.
    expectCell(texts[5], m_config->lyricFont(), pageTransform(),
               QRectF(-230, 0, lyricAvg(), lyricLine()), Qt::AlignCenter, QStringLiteral("好"));
}

void TestGenerateSvg::titleLaterStartsOwnColumn()
{
    m_config->setTitleWidth(90);
    m_gen->generate({lyric(QStringLiteral("好")), item(LineKind::Title, QStringLiteral("#游园"))}, false);
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), 3);
    expectCell(texts[1], m_config->titleFont(), pageTransform(),
               QRectF(-130 - 90, 0, 90, GenerateSVG::lineHeight(m_config->titleFontMetrics())),
               Qt::AlignCenter, QStringLiteral("游"));
}

// The name runs down its column, each glyph below the ink of the one
// above; the mode stands in its own narrower cells to the right, clear of
// the name's ink, and the next item starts below the longer of the two.
void TestGenerateSvg::quPaiHeadingWithMode()
{
    m_config->setDiaoMingFontSize(20);
    m_gen->generate({item(LineKind::QuPai, QStringLiteral("【步步娇】(仙吕)"))}, false);
    QCOMPARE(m_gen->title(), QStringLiteral("步步娇"));
    const QString name = QStringLiteral("︻步步娇︼");
    const QString mode = QStringLiteral("︵仙吕︶");
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), name.size() + mode.size());
    const PageItems &items = m_gen->pageItems().at(0);
    QCOMPARE(items.size(), texts.size());
    const int nameWidth = GenerateSVG::averageWidth(m_config->quPaiFontMetrics());
    qreal nameRight = 0, bottom = 0;
    for (int i = 0; i < items.size(); ++i) {
        const PlacedItem &item = items[i];
        const bool inName = i < name.size();
        QCOMPARE(item.text, inName ? name.mid(i, 1) : mode.mid(i - name.size(), 1));
        QCOMPARE(item.role, inName ? PlacedItem::QuPai : PlacedItem::DiaoMing);
        QCOMPARE(texts[i].text, item.text);
        if (inName) {
            QCOMPARE(item.cell.left(), -130.0);
            QCOMPARE(item.cell.width(), qreal(nameWidth));
            nameRight = qMax(nameRight, item.pageInk().right());
        } else {
            QVERIFY(item.cell.left() >= -130 + nameWidth + 10);
            QVERIFY(item.pageInk().left() >= nameRight + 4);
        }
        if (i > 0 && i != name.size())
            QVERIFY(!PageModel::overlaps(items[i - 1], item));
        bottom = qMax(bottom, item.pageInk().bottom() - m_config->marginTop());
    }
    QCOMPARE(m_gen->cursorX(), -130);
    QVERIFY(m_gen->cursorY() >= bottom - 1);
}

// A bracket or a full stop in a heading or a jiabai run is as high as its
// glyph's ink, not a whole line: the heading of a score is otherwise far too
// tall and everything below it moves down.
void TestGenerateSvg::punctuationTakesItsGlyphHeight_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("heading") << int(LineKind::QuPai) << QStringLiteral("【好】");
    QTest::newRow("jiabai") << int(LineKind::JiaBai) << QStringLiteral(">好。");
}

void TestGenerateSvg::punctuationTakesItsGlyphHeight()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    const bool heading = kind == int(LineKind::QuPai);
    const QFontMetricsF &fm = heading ? m_config->quPaiFontMetrics() : m_config->jiaBaiFontMetrics();
    const int line = GenerateSVG::lineHeight(fm);
    auto glyph = [&fm](QChar c) { return qCeil(fm.boundingRect(c).height()); };
    QVERIFY(glyph(QChar(0xFE3B)) < line);
    QVERIFY(glyph(QChar(0x3002)) < line);

    m_gen->generate({item(kind, text)}, false);
    if (heading) {
        // Stacked by their ink, the brackets still take far less than lines.
        QVERIFY(m_gen->cursorY() >= glyph(QChar(0xFE3B)) + line + glyph(QChar(0xFE3C)));
        QVERIFY(m_gen->cursorY() < 2 * line);
    } else {
        QCOMPARE(m_gen->cursorY(), m_config->lyricSpace() + line + glyph(QChar(0x3002)));
    }
}

// ---- Lyric line -----------------------------------------------------------

void TestGenerateSvg::lyricPunctuation_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("drawn");
    QTest::newRow("hidden comma") << true << QStringLiteral("好，") << QStringLiteral("好");
    QTest::newRow("comma") << false << QStringLiteral("好，") << QStringLiteral("好，");
    QTest::newRow("quote") << false << QStringLiteral("“好") << QStringLiteral("﹃好");
    QTest::newRow("paren") << false << QStringLiteral("好（") << QStringLiteral("好︵");
}

void TestGenerateSvg::lyricPunctuation()
{
    QFETCH(bool, hidden);
    QFETCH(QString, text);
    QFETCH(QString, drawn);
    m_config->setIsHiddenSymbol(hidden);
    m_config->setLyricSpace(7);
    // A score on the punctuation would be ignored by measureScore only if
    // hidden; give the ideograph one note and the punctuation none.
    QStringList scores;
    for (QChar c : text)
        scores.append(ScoreSyntax::isPairedCharacter(c) ? sym(Note) : QString());
    LayoutItem line = lyric(text, scores);
    m_gen->generate({line}, false);
    const QList<TextOp> all = textsOf(0);
    QList<TextOp> texts;
    for (const TextOp &op : all)
        if (op.font.family() == m_config->lyricFont().family() && op.text.size() == 1
            && isPlain(op.transform))
            texts.append(op);
    QCOMPARE(texts.size(), drawn.size());
    int y = 0;
    const QFontMetricsF &fm = m_config->lyricFontMetrics();
    for (int i = 0; i < drawn.size(); ++i) {
        const QChar c = drawn[i];
        const bool punctuation = ScoreSyntax::isPunctuation(c);
        const bool sentence = GenerateSVG::isSentencePunctuation(c);
        const QSize tight = GenerateSVG::tightSize(fm, QString(c));
        const int h = punctuation ? tight.height() : lyricLine();
        if (!sentence)
            y += 7;
        if (sentence)
            expectCell(texts[i], m_config->lyricFont(), pageTransform(),
                       QRectF(-130 + lyricAvg() / 2, y, tight.width(), h), Qt::AlignBottom | Qt::AlignLeft,
                       QString(c));
        else
            expectCell(texts[i], m_config->lyricFont(), pageTransform(), QRectF(-130, y, lyricAvg(), h),
                       Qt::AlignCenter, QString(c));
        y += h;
    }
    QCOMPARE(m_gen->cursorY(), y);
    // Exactly one notation glyph: the ideograph's.
    QCOMPARE(all.size() - texts.size(), 1);
}

void TestGenerateSvg::notationOverflowSwitchesColumn_data()
{
    QTest::addColumn<bool>("scoreDecides");
    QTest::newRow("notation decides") << true;
    QTest::newRow("character decides") << false;
}

void TestGenerateSvg::notationOverflowSwitchesColumn()
{
    QFETCH(bool, scoreDecides);
    m_config->setIsLineBreakScoreOverflow(scoreDecides);
    const QString score = QString(sym(Note)).repeated(10);
    const int s = m_gen->measureScore(score);
    const int space = m_config->lyricSpace();
    QVERIFY(s > space + lyricLine() + 1);
    // The character fits with one unit to spare, its notation does not.
    m_config->setMarginBottom(842 - 25 - (space + lyricLine() + 1));
    QCOMPARE(contentHeight(), space + lyricLine() + 1);
    m_gen->generate({lyric(QStringLiteral("好"), {score})}, false);
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), 11);
    const QRectF cell = scoreDecides ? QRectF(-260, 0, lyricAvg(), lyricLine())
                                     : QRectF(-130, space, lyricAvg(), lyricLine());
    expectCell(texts[0], m_config->lyricFont(), pageTransform(), cell, Qt::AlignCenter, QStringLiteral("好"));
}

// ---- Spoken text ------------------------------------------------------------

void TestGenerateSvg::lianBaiBalancedIntoThreeSubColumns_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("perSubColumn"); // right to left
    QTest::newRow("10 characters") << 10 << QList<int>{4, 4, 2};
    QTest::newRow("9 characters") << 9 << QList<int>{3, 3, 3};
}

void TestGenerateSvg::lianBaiBalancedIntoThreeSubColumns()
{
    QFETCH(int, length);
    QFETCH(QList<int>, perSubColumn);
    m_config->setColWidth(130);
    m_config->setMColWidth(35);
    const QString t = QString(length, QChar(0x767D)); // 白
    const int lh = GenerateSVG::lineHeight(m_config->lianBaiFontMetrics());
    const int rows = perSubColumn.first();
    const GenerateSVG::LianBaiBalance balance = m_gen->balanceLianBai(t, 3);
    QCOMPARE(balance.columns, 3);
    QCOMPARE(balance.height, rows * lh);

    m_gen->generate({item(LineKind::LianBai, QStringLiteral("=") + t)}, false);
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), length);
    const int top = m_config->lyricSpace();
    int index = 0;
    for (int column = 0; column < perSubColumn.size(); ++column)
        for (int row = 0; row < perSubColumn[column]; ++row)
            expectCell(texts[index++], m_config->lianBaiFont(), pageTransform(),
                       QRectF(-130 + 35 * (2 - column), top + row * lh, 35, lh),
                       Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("白"));
    QCOMPARE(m_gen->cursorX(), -130);
    QCOMPARE(m_gen->cursorY(), top + rows * lh);
}

void TestGenerateSvg::lianBaiStartsBelowNotation()
{
    const QString score = QString(sym(Note)).repeated(6);
    const int s = m_gen->measureScore(score);
    QVERIFY(s > lyricLine());
    const int space = m_config->lyricSpace();
    m_gen->generate({lyric(QStringLiteral("好"), {score}), item(LineKind::LianBai, QStringLiteral("=白"))},
                    false);
    const QList<TextOp> texts = textsOf(0);
    const TextOp &spoken = texts.last();
    const int lh = GenerateSVG::lineHeight(m_config->lianBaiFontMetrics());
    // lyric cell ends at space + lyricLine; the overhang is s - lyricLine.
    expectCell(spoken, m_config->lianBaiFont(), pageTransform(), QRectF(-130, space + s + space, 35, lh),
               Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("白"));
}

void TestGenerateSvg::emptySpokenLinesAddNoSpace_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("jiabai") << int(LineKind::JiaBai) << QStringLiteral(">  ");
    QTest::newRow("lianbai") << int(LineKind::LianBai) << QStringLiteral("=");
}

void TestGenerateSvg::emptySpokenLinesAddNoSpace()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    m_gen->generate({item(kind, text), lyric(QStringLiteral("好"))}, false);
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), 1);
    expectCell(texts[0], m_config->lyricFont(), pageTransform(),
               QRectF(-130, m_config->lyricSpace(), lyricAvg(), lyricLine()), Qt::AlignCenter,
               QStringLiteral("好"));
}

// ---- Notation column --------------------------------------------------------

void TestGenerateSvg::penColoursByClass()
{
    m_config->setBanColor(QColor(0xff, 0, 0));
    m_config->setXiaoYanColor(QColor(0, 0xff, 0));
    m_config->setZhongYanColor(QColor(0, 0, 0xff));
    m_config->setQiangGeColor(QColor(0x80, 0x80, 0));
    m_config->setScoreColor(QColor(0, 0x80, 0x80));
    m_config->setLyricColor(QColor(0x40, 0x40, 0x40));
    const QString score = sym(Note) + sym(Gongche::TouBan) + sym(Note2) + sym(Gongche::XiaoYan)
        + sym(Gongche::DieQiang) + sym(Gongche::ZhongYan) + sym(Gongche::HuoQiang) + sym(Gongche::DiBan);
    m_gen->generate({lyric(QStringLiteral("好"), {score})}, false);
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), 9);
    QCOMPARE(texts[0].color, QColor(0x40, 0x40, 0x40));
    const QColor expected[] = {QColor(0, 0x80, 0x80), QColor(0xff, 0, 0),   QColor(0, 0x80, 0x80),
                               QColor(0, 0xff, 0),    QColor(0x80, 0x80, 0), QColor(0, 0, 0xff),
                               QColor(0x80, 0x80, 0), QColor(0xff, 0, 0)};
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(texts[i + 1].color, expected[i]);
        QCOMPARE(texts[i + 1].font.family(), m_config->scoreFont().family());
    }
}

void TestGenerateSvg::drawScoreShiftRules_data()
{
    QTest::addColumn<QList<uint>>("codes");
    QTest::newRow("banyan first") << QList<uint>{Gongche::TouBan, Note};
    QTest::newRow("waist first") << QList<uint>{Gongche::YaoXiaoYan, Note};
    QTest::newRow("bottom beat") << QList<uint>{Note, Gongche::DiBan, Note2, Note};
    QTest::newRow("two marks stack") << QList<uint>{Note, Gongche::TouBan, Gongche::YaoBan, Note2};
    QTest::newRow("small glyph and ornaments")
        << QList<uint>{SmallNote, Gongche::HuoQiang, Gongche::DieQiang, Gongche::XiaoYan};
}

// Each case spelled out by hand from the placement rules (no loop that
// mirrors the routine), with the default spaces of 0 and angle -45.
void TestGenerateSvg::drawScoreShiftRules()
{
    QFETCH(QList<uint>, codes);
    QString score;
    for (uint c : codes)
        score += sym(c);
    m_gen->generate({lyric(QStringLiteral("好"), {score})}, false);
    const QList<TextOp> texts = textsOf(0);
    QCOMPARE(texts.size(), 1 + codes.size());

    const QFontMetricsF &sfm = m_config->scoreFontMetrics();
    const int avg = GenerateSVG::averageWidth(sfm);
    auto size = [&](uint c) { return GenerateSVG::tightSize(sfm, sym(c)); };
    auto mh = [&](uint c) { return int(size(c).height() * 0.8); };
    QTransform base = pageTransform();
    base.translate(-130 + lyricAvg(), m_config->lyricSpace() + lyricLine() * 3 / 5);
    base.rotate(-45);
    const QFont font = m_config->scoreFont();
    auto note = [&](int index, const QTransform &t, uint c) {
        const QSize s = size(c);
        const QRectF r = Gongche::isSmallGlyph(c) ? QRectF(avg / 5, 0, s.width(), s.height())
                                                  : QRectF(0, 0, avg, s.height());
        expectCell(texts[1 + index], font, t, r, Qt::AlignCenter, sym(c));
    };
    auto mark = [&](int index, const QTransform &t, qreal x, qreal y, uint c) {
        expectCell(texts[1 + index], font, t, QRectF(x, y, size(c).width(), mh(c)), Qt::AlignCenter, sym(c));
    };
    const QByteArray tag = QTest::currentDataTag();
    if (tag == "banyan first") {
        const uint b = codes[0], n = codes[1];
        mark(0, base, avg, 0, b);
        // The note is the last symbol: it goes 6 below the mark.
        note(1, QTransform(base).translate(0, mh(b) + 6), n);
    } else if (tag == "waist first") {
        const uint w = codes[0], n = codes[1];
        mark(0, base, avg, mh(w), w);
        note(1, QTransform(base).translate(0, 2 * mh(w) + 6), n);
    } else if (tag == "bottom beat") {
        const uint n1 = codes[0], d = codes[1], n2 = codes[2], n3 = codes[3];
        note(0, base, n1);
        const QTransform afterFirst = QTransform(base).translate(0, size(n1).height());
        // Half the average width, never above the origin.
        mark(1, afterFirst, avg / 2, 0, d);
        // After a bottom beat: shifted by max(markY, 0) only, no 6.
        const QTransform second = QTransform(afterFirst).translate(0, mh(d));
        note(2, second, n2);
        const QTransform third = QTransform(second).translate(0, size(n2).height());
        note(3, third, n3);
    } else if (tag == "two marks stack") {
        const uint n1 = codes[0], b1 = codes[1], b2 = codes[2], n2 = codes[3];
        note(0, base, n1);
        const QTransform afterFirst = QTransform(base).translate(0, size(n1).height());
        const int top = -size(n1).height();
        mark(1, afterFirst, avg, top, b1);
        // The second mark is a waist mark but follows a mark: not lowered.
        mark(2, afterFirst, avg, top + mh(b1), b2);
        const int markY = top + mh(b1) + mh(b2);
        QTransform last = afterFirst;
        if (markY >= -5)
            last.translate(0, markY + 6);
        note(3, last, n2);
    } else {
        const uint s1 = codes[0], huo = codes[1], die = codes[2], x = codes[3];
        QVERIFY(size(s1).height() > 5 && size(huo).height() > 5 && size(die).height() > 5);
        note(0, base, s1);
        QTransform t = QTransform(base).translate(0, size(s1).height());
        note(1, t, huo); // placed like a small glyph; markY was -h(s1) < -5: no shift
        t.translate(0, size(huo).height());
        note(2, t, die); // full-size placement, before a mark: would shift only if markY >= -5
        t.translate(0, size(die).height());
        mark(3, t, avg, -size(die).height(), x);
    }
}

void TestGenerateSvg::measureScoreStraightAndSlanted_data()
{
    QTest::addColumn<int>("angle");
    for (int angle : {0, -30, -45, -60})
        QTest::addRow("%d", angle) << angle;
}

// The extent is where the placed column's lowest ink ends below its
// character's top, and a slant shortens it.
void TestGenerateSvg::measureScoreStraightAndSlanted()
{
    QFETCH(int, angle);
    m_config->setScoreSpace(0);
    const QString score = sym(Note) + sym(Gongche::TouBan) + sym(Note2) + sym(SmallNote);
    m_config->setScoreAngle(0);
    m_gen->beginPages(); // lays out the settings as they are now
    const int straight = m_gen->measureScore(score);
    m_config->setScoreAngle(angle);
    m_gen->generate({lyric(QStringLiteral("好"), {score})}, false);
    const PageItems &items = m_gen->pageItems().at(0);
    QCOMPARE(items.size(), 5);
    const qreal top = items[0].origin.y() + items[0].cell.y();
    qreal foot = 0;
    for (const PlacedItem &item : items)
        if (item.isNotation())
            foot = qMax(foot, item.pageInk().bottom() - top);
    QCOMPARE(m_gen->measureScore(score), qCeil(foot));
    QVERIFY(angle == 0 ? qCeil(foot) == straight : qCeil(foot) < straight);
    QCOMPARE(m_gen->measureScore(QString()), 0);
}

// ---- Robustness ----------------------------------------------------------------

void TestGenerateSvg::absurdSettingsStayBounded_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("value");
    QTest::newRow("colWidth 0") << "colWidth" << 0;
    QTest::newRow("colWidth negative") << "colWidth" << -50;
    QTest::newRow("mColWidth 0") << "mColWidth" << 0;
    QTest::newRow("titleWidth 0") << "titleWidth" << 0;
    QTest::newRow("margins beyond page") << "margins" << 5000;
    QTest::newRow("negative margins") << "margins" << -5000;
    QTest::newRow("font size 0") << "fontSize" << 0;
    QTest::newRow("font size negative") << "fontSize" << -30;
    QTest::newRow("font size giant") << "fontSize" << 2000000000;
    QTest::newRow("giant page") << "page" << 2000000000;
    QTest::newRow("lyricSpace giant negative") << "lyricSpace" << -2000000000;
}

void TestGenerateSvg::absurdSettingsStayBounded()
{
    QFETCH(QString, key);
    QFETCH(int, value);
    if (key == QLatin1String("colWidth"))
        m_config->setColWidth(value);
    else if (key == QLatin1String("mColWidth"))
        m_config->setMColWidth(value);
    else if (key == QLatin1String("titleWidth"))
        m_config->setTitleWidth(value);
    else if (key == QLatin1String("lyricSpace"))
        m_config->setLyricSpace(value);
    else if (key == QLatin1String("page")) {
        m_config->setPageWidth(value);
        m_config->setPageHeight(value);
    } else if (key == QLatin1String("margins")) {
        m_config->setMarginTop(value);
        m_config->setMarginBottom(value);
        m_config->setMarginLeft(value);
        m_config->setMarginRight(value);
    } else {
        m_config->setTitleFontSize(value);
        m_config->setLyricFontSize(value);
        m_config->setScoreFontSize(value);
        m_config->setLianBaiFontSize(value);
        m_config->setJiaBaiFontSize(value);
        m_config->setQuPaiFontSize(value);
        m_config->setDiaoMingFontSize(value);
    }
    const QString score = sym(Note) + sym(Gongche::TouBan) + sym(Note2) + sym(Gongche::YaoXiaoYan);
    LayoutItems items{item(LineKind::Title, QStringLiteral("#游园惊梦")),
                      item(LineKind::QuPai, QStringLiteral("【步步娇】（仙吕）"))};
    for (int i = 0; i < 40; ++i) {
        items.append(lyric(QStringLiteral("袅晴丝吹来闲庭院，摇漾春如线。"),
                           QStringList(15, score)));
        items.append(item(LineKind::LianBai, QStringLiteral("=停半晌，整花钿，没揣菱花偷人半面。")));
        items.append(item(LineKind::JiaBai, QStringLiteral(">（介）好也。")));
    }
    QElapsedTimer timer;
    timer.start();
    m_gen->generate(items, false);
    QVERIFY2(timer.elapsed() < 20000, "generation took too long");
    QVERIFY(m_gen->pictures().size() >= 1);
    QVERIFY(m_gen->pictures().size() <= GenerateSVG::maxPages());
    QVERIFY(m_gen->pageSize().width() >= 1 && m_gen->pageSize().height() >= 1);
    m_gen->clearPages();
    m_gen->generate(items, true);
    QVERIFY(m_gen->pictures().size() <= 2);
    QVERIFY(!m_gen->pages().isEmpty());
}

void TestGenerateSvg::pageCountIsCapped()
{
    LayoutItems items(GenerateSVG::maxPages() + 50, item(LineKind::PageBreak, QStringLiteral("@分页符")));
    m_gen->generate(items, false);
    QCOMPARE(m_gen->pictures().size(), GenerateSVG::maxPages());
    QVERIFY(m_gen->wasTruncated());
    m_gen->generate({}, false);
    QVERIFY(!m_gen->wasTruncated());
    QCOMPARE(m_gen->pictures().size(), 1);
}

// The live dialog may change a setting while pages are laid out (here from a
// progress step): the pages keep the settings they began with.
void TestGenerateSvg::settingsChangedMidGenerationWaitForTheNext()
{
    const LayoutItems items(30, lyric(QStringLiteral("袅晴丝吹来闲庭院"), QStringList(8, sym(Note))));
    m_gen->generate(items, false);
    const QList<PageItems> before = m_gen->pageItems();
    const QByteArray svgBefore = m_gen->pages().value(0);
    const auto connection = connect(m_gen.get(), &GenerateSVG::progressUpdate, this, [this] {
        m_config->setColWidth(m_config->colWidth() * 2);
        m_config->setLyricFontSize(m_config->lyricFontSize() + 7);
    });
    m_gen->generate(items, false);
    disconnect(connection);
    QCOMPARE(m_gen->pageItems().size(), before.size());
    QCOMPARE(m_gen->pages().value(0), svgBefore);
    m_gen->generate(items, false);
    QVERIFY(m_gen->pages().value(0) != svgBefore);
}

// ---- SVG documents ---------------------------------------------------------------

void TestGenerateSvg::svgPagesAreWellFormed_data()
{
    QTest::addColumn<LayoutItems>("items");
    QTest::addColumn<QString>("firstTitle");
    const LayoutItem pageBreak = item(LineKind::PageBreak, QStringLiteral("@分页符"));
    QTest::newRow("title line") << LayoutItems{item(LineKind::Title, QStringLiteral("#游园")),
                                               lyric(QStringLiteral("好")), pageBreak,
                                               lyric(QStringLiteral("好"))}
                                << QStringLiteral("游园");
    QTest::newRow("qupai name") << LayoutItems{item(LineKind::QuPai, QStringLiteral("【皂罗袍】")),
                                               lyric(QStringLiteral("好")), pageBreak}
                                << QStringLiteral("皂罗袍");
    QTest::newRow("untitled") << LayoutItems{lyric(QStringLiteral("好")), pageBreak}
                              << QStringLiteral("Kelvo工尺谱导出曲谱");
}

void TestGenerateSvg::svgPagesAreWellFormed()
{
    QFETCH(LayoutItems, items);
    QFETCH(QString, firstTitle);
    m_gen->generate(items, false);
    const QList<QByteArray> &pages = m_gen->pages();
    QCOMPARE(pages.size(), 2);
    for (int p = 0; p < pages.size(); ++p) {
        QXmlStreamReader xml(pages[p]);
        QString viewBox, title, desc;
        int texts = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("svg"))
                viewBox = xml.attributes().value(QLatin1String("viewBox")).toString();
            else if (xml.name() == QLatin1String("title"))
                title = xml.readElementText();
            else if (xml.name() == QLatin1String("desc"))
                desc = xml.readElementText();
            else if (xml.name() == QLatin1String("text"))
                ++texts;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(viewBox, QStringLiteral("0 0 595 842"));
        if (p == 0) {
            QCOMPARE(title, firstTitle);
            QCOMPARE(desc, QStringLiteral("Kelvo工尺谱导出曲谱"));
            QVERIFY(texts >= 1);
        }
    }
    // Text is drawn at its own size in page units: 30 units for the lyric.
    QVERIFY(pages[0].contains("font-size=\"30\""));
}

void TestGenerateSvg::svgCacheFollowsGeneration()
{
    m_gen->generate({lyric(QStringLiteral("好"))}, false);
    const QByteArray first = m_gen->pages().first();
    QCOMPARE(m_gen->pages().first(), first);
    m_config->setBackgroundColor(QColor(0x11, 0x22, 0x33));
    m_gen->clearPages();
    QVERIFY(m_gen->pages().isEmpty());
    m_gen->generate({lyric(QStringLiteral("好"))}, false);
    QVERIFY(m_gen->pages().first() != first);
    QVERIFY(m_gen->pages().first().contains("#112233"));
}

QTEST_MAIN(TestGenerateSvg)
#include "test_generatesvg.moc"
