// SPDX-License-Identifier: GPL-3.0-or-later
// The embedded notation font: it must map every symbol to a real outline,
// keep the variants of a pitch apart, draw small glyphs small and give every
// symbol the same advance, because the score layout relies on all of that.

#include "document/GongcheSymbols.h"
#include "support/CoreTestSupport.h"

#include <QFile>
#include <QFontDatabase>
#include <QPainterPath>
#include <QRawFont>
#include <QtTest>

using namespace Gongche;

namespace {

const char *const kFontResource = ":/resources/fonts/tandelkx.ttf";
const qreal kPixelSize = 256; // large, so rounding never hides a difference

QByteArray rowName(char32_t c)
{
    return "U+" + QByteArray::number(uint(c), 16).toUpper() + " " + dictionaryName(c).toUtf8();
}

} // namespace

class TestNotationFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void familyName();
    void symbolHasOutline_data();
    void symbolHasOutline();
    void uniformAdvances();
    void pitchVariantsDistinct_data();
    void pitchVariantsDistinct();
    void smallGlyphSize_data();
    void smallGlyphSize();
    void smallOrnamentsAreSmall_data();
    void smallOrnamentsAreSmall();
    void beatMarkSize_data();
    void beatMarkSize();
    void marksDistinct();

private:
    quint32 glyphOf(char32_t c) const;
    QPainterPath pathOf(char32_t c) const;
    QRectF boxOf(char32_t c) const { return pathOf(c).boundingRect(); }

    QByteArray m_data;
    QRawFont m_raw;
    int m_fontId = -1;
};

void TestNotationFont::initTestCase()
{
    initCoreTestApplication();
    QFile file(QString::fromLatin1(kFontResource));
    QVERIFY2(file.open(QIODevice::ReadOnly), kFontResource);
    m_data = file.readAll();
    QVERIFY(!m_data.isEmpty());
    m_raw.loadFromData(m_data, kPixelSize, QFont::PreferNoHinting);
    QVERIFY(m_raw.isValid());
    m_fontId = QFontDatabase::addApplicationFontFromData(m_data);
    QVERIFY(m_fontId >= 0);
}

quint32 TestNotationFont::glyphOf(char32_t c) const
{
    const QList<quint32> glyphs = m_raw.glyphIndexesForString(toString(c));
    return glyphs.size() == 1 ? glyphs.first() : 0;
}

QPainterPath TestNotationFont::pathOf(char32_t c) const
{
    return m_raw.pathForGlyph(glyphOf(c));
}

void TestNotationFont::familyName()
{
    const QStringList families = QFontDatabase::applicationFontFamilies(m_fontId);
    QVERIFY(!families.isEmpty());
    QCOMPARE(families.first(), QStringLiteral("Kelvo工尺谱字体"));
    // QRawFont reports FreeType's ASCII rendering of the name, so only the
    // Latin part can be compared there.
    QVERIFY(m_raw.familyName().startsWith(QLatin1String("Kelvo")));
}

void TestNotationFont::symbolHasOutline_data()
{
    QTest::addColumn<char32_t>("code");
    QCOMPARE(allSymbols().size(), SymbolCount);
    for (char32_t c : allSymbols())
        QTest::newRow(rowName(c).constData()) << c;
}

void TestNotationFont::symbolHasOutline()
{
    QFETCH(char32_t, code);
    QVERIFY(m_raw.supportsCharacter(uint(code)));
    const quint32 glyph = glyphOf(code);
    QVERIFY(glyph != 0); // 0 is .notdef
    const QPainterPath path = m_raw.pathForGlyph(glyph);
    QVERIFY(!path.isEmpty());

    // The layout measures tight boxes: no flat or hairline box (a flat
    // stroke like 一 still has height), and the ink stays inside the line
    // the font declares, so nothing is clipped.
    const QRectF box = path.boundingRect();
    QVERIFY2(box.width() > kPixelSize * 0.08, qPrintable(QString::number(box.width())));
    QVERIFY2(box.height() > kPixelSize * 0.08, qPrintable(QString::number(box.height())));
    QVERIFY(box.left() >= 0);
    QVERIFY(box.right() <= kPixelSize);
    QVERIFY(box.top() >= -m_raw.ascent() - 0.5);
    QVERIFY(box.bottom() <= m_raw.descent() + 0.5);
}

void TestNotationFont::uniformAdvances()
{
    QList<quint32> glyphs;
    for (char32_t c : allSymbols())
        glyphs.append(glyphOf(c));
    const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(glyphs);
    QCOMPARE(advances.size(), glyphs.size());
    for (int i = 0; i < advances.size(); ++i) {
        // Full width like an ideograph: one em.
        QVERIFY2(qAbs(advances.at(i).x() - kPixelSize) < 0.01,
                 rowName(allSymbols().at(i)).constData());
    }
}

void TestNotationFont::pitchVariantsDistinct_data()
{
    QTest::addColumn<int>("pitch");
    for (int p = 0; p < PitchCount; ++p)
        QTest::newRow(pitchCharacter(Pitch(p)).toUtf8().constData()) << p;
}

// Every octave / breath / small combination of one pitch has its own
// outline, and none looks like the plain middle-octave character.
void TestNotationFont::pitchVariantsDistinct()
{
    QFETCH(int, pitch);
    QList<char32_t> variants;
    for (int o = 0; o < OctaveCount; ++o) {
        for (int breath = 0; breath < 2; ++breath) {
            for (int small = 0; small < 2; ++small) {
                const char32_t c = compose(Pitch(pitch), Octave(o), breath, small);
                if (c != 0)
                    variants.append(c);
            }
        }
    }
    // 合 四 一 exist in two octaves, 上..凡 in four, 六 五 乙 in three.
    QVERIFY(variants.size() >= 8);
    const char32_t base = compose(Pitch(pitch), Octave::Middle, false, false);
    QVERIFY(variants.contains(base));

    for (int i = 0; i < variants.size(); ++i) {
        const QPainterPath a = pathOf(variants.at(i));
        for (int j = i + 1; j < variants.size(); ++j) {
            const QPainterPath b = pathOf(variants.at(j));
            const bool same = a.elementCount() == b.elementCount()
                              && a.boundingRect().toRect() == b.boundingRect().toRect();
            QVERIFY2(!same && a != b,
                     (rowName(variants.at(i)) + " vs " + rowName(variants.at(j))).constData());
        }
    }
}

void TestNotationFont::smallGlyphSize_data()
{
    QTest::addColumn<char32_t>("small");
    QTest::addColumn<char32_t>("full");
    for (char32_t c : allSymbols()) {
        PitchGlyphParts parts;
        if (!decompose(c, &parts) || !parts.small)
            continue;
        parts.small = false;
        QTest::newRow(rowName(c).constData()) << c << compose(parts);
    }
}

void TestNotationFont::smallGlyphSize()
{
    QFETCH(char32_t, small);
    QFETCH(char32_t, full);
    QVERIFY(isSmallGlyph(small));
    QVERIFY(!isSmallGlyph(full));
    const QRectF s = boxOf(small);
    const QRectF f = boxOf(full);
    const qreal w = s.width() / f.width();
    const qreal h = s.height() / f.height();
    QVERIFY2(w >= 0.45 && w <= 0.75, qPrintable(QString::number(w)));
    QVERIFY2(h >= 0.45 && h <= 0.75, qPrintable(QString::number(h)));
    // Centred horizontally in the em, where a small note sits.
    QVERIFY(qAbs(s.center().x() - kPixelSize / 2) < kPixelSize * 0.05);
}

void TestNotationFont::smallOrnamentsAreSmall_data()
{
    QTest::addColumn<char32_t>("code");
    QTest::newRow("豁腔") << HuoQiang;
    QTest::newRow("擻腔") << SouQiang;
}

// 豁腔 and 擻腔 are placed like small notes, so they are drawn at the
// size of one.
void TestNotationFont::smallOrnamentsAreSmall()
{
    QFETCH(char32_t, code);
    QVERIFY(isSmallGlyph(code));
    const QRectF box = boxOf(code);
    QVERIFY(box.width() <= kPixelSize * 0.6);
    QVERIFY(box.height() <= kPixelSize * 0.6);
}

void TestNotationFont::beatMarkSize_data()
{
    QTest::addColumn<char32_t>("code");
    for (char32_t c = FirstMark; c <= LastMark; ++c) {
        if (isBanyanMark(c))
            QTest::newRow(rowName(c).constData()) << c;
    }
}

// Beat marks stand beside the notes at 0.8 of their own height; a mark
// as tall as a note would push the column apart.
void TestNotationFont::beatMarkSize()
{
    QFETCH(char32_t, code);
    const QRectF box = boxOf(code);
    const qreal extent = qMax(box.width(), box.height());
    QVERIFY2(extent >= kPixelSize * 0.35 && extent <= kPixelSize * 0.65,
             qPrintable(QString::number(extent / kPixelSize)));
}

void TestNotationFont::marksDistinct()
{
    for (char32_t a = FirstMark; a <= LastMark; ++a) {
        const QPainterPath pa = pathOf(a);
        for (char32_t b = a + 1; b <= LastMark; ++b) {
            const QPainterPath pb = pathOf(b);
            const bool same = pa.elementCount() == pb.elementCount()
                              && pa.boundingRect().toRect() == pb.boundingRect().toRect();
            QVERIFY2(!same && pa != pb, (rowName(a) + " vs " + rowName(b)).constData());
        }
    }
}

QTEST_MAIN(TestNotationFont)
#include "test_notationfont.moc"
