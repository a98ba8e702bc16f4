// SPDX-License-Identifier: GPL-3.0-or-later
// The printed page read as a copyist checks it, over the page model: no
// glyph of one character (or heading, title, spoken cell) touches another's,
// no notation runs more than a quarter line past the top of the next
// character of its column, nothing leaves the page. On the bundled sample
// and on dense generated arias, in both styles and at the usual angles.

#include "support/CoreTestSupport.h"
#include "document/GongcheSymbols.h"
#include "document/SampleScore.h"
#include "document/ScoreFile.h"
#include "document/Pairing.h"
#include "document/TextNormalisation.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"
#include "render/ExportConfig.h"
#include "render/ExportStyles.h"
#include "render/GenerateSVG.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <numeric>
#include <map>
#include <memory>

namespace {

// Ink closer than this is antialiasing, not a collision.
constexpr qreal Tolerance = 0.5;

QString at(int page, const PlacedItem &item)
{
    return QStringLiteral("p%1 line %2 cell %3 %4").arg(page + 1).arg(item.line).arg(item.character).arg(item.text);
}

bool sameOwner(const PlacedItem &a, const PlacedItem &b)
{
    return a.line == b.line && a.character == b.character;
}

// What a reader would object to, one line each.
QStringList inkFaults(const GenerateSVG &gen, int lyricLine)
{
    QStringList faults;
    const QRectF page(QPointF(0, 0), QSizeF(gen.pageSize()));
    for (int p = 0; p < gen.pageItems().size(); ++p) {
        const PageItems &items = gen.pageItems().at(p);
        QList<QRectF> inks;
        for (const PlacedItem &item : items) {
            inks.append(item.pageInk());
            if (!page.adjusted(-Tolerance, -Tolerance, Tolerance, Tolerance).contains(inks.last()))
                faults << QStringLiteral("off the page: ") + at(p, item);
        }
        // Pairs, swept from left to right.
        QList<int> order(items.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return inks[a].left() < inks[b].left(); });
        for (int i = 0; i < order.size(); ++i)
            for (int j = i + 1; j < order.size() && inks[order[j]].left() < inks[order[i]].right(); ++j) {
                const PlacedItem &a = items[order[i]], &b = items[order[j]];
                if (!sameOwner(a, b) && PageModel::overlaps(a, b, Tolerance))
                    faults << QStringLiteral("overlap: ") + at(p, a) + QStringLiteral(" / ") + at(p, b);
            }
        // Sung characters column by column (a column is where their cells
        // start), top to bottom, with the foot of their notation.
        struct Sung
        {
            qreal top = 0;
            qreal foot = -1;
            const PlacedItem *item = nullptr;
        };
        std::map<int, QList<Sung>> columns;
        std::map<std::pair<int, int>, qreal> feet;
        for (const PlacedItem &item : items)
            if (item.isNotation()) {
                qreal &foot = feet.emplace(std::pair{item.line, item.character}, -1).first->second;
                foot = std::max(foot, item.pageInk().bottom());
            }
        for (const PlacedItem &item : items) {
            if (item.role != PlacedItem::Lyric || item.flags != Qt::AlignCenter)
                continue;
            const auto it = feet.find({item.line, item.character});
            columns[qRound(item.origin.x() + item.cell.x())].append(
                {item.origin.y() + item.cell.y(), it == feet.end() ? -1 : it->second, &item});
        }
        for (auto &[x, sung] : columns) {
            std::sort(sung.begin(), sung.end(), [](const Sung &a, const Sung &b) { return a.top < b.top; });
            for (int i = 0; i + 1 < sung.size(); ++i)
                if (sung[i].foot > sung[i + 1].top + lyricLine / 4.0 + Tolerance)
                    faults << QStringLiteral("notation %1 past the next character: ")
                                  .arg(sung[i].foot - sung[i + 1].top, 0, 'f', 1)
                               + at(p, *sung[i].item);
        }
    }
    return faults;
}

QString sym(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

// An aria as real transcriptions have it: up to 12 symbols on a character,
// several beat marks on one note, waist marks, ornaments, 底板 at phrase
// ends; headings, spoken lines, column and page breaks between.
LayoutItems denseAria(quint32 seed)
{
    QRandomGenerator rng(seed);
    const auto ideographs = [&](int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QChar(char16_t(0x4E00 + rng.bounded(0x3000)));
        return s;
    };
    const auto note = [&] {
        // Pitch glyphs, small ones among them.
        return sym(Gongche::PitchBlockStart + char32_t(rng.bounded(int(Gongche::LastPitchGlyph - Gongche::PitchBlockStart) + 1)));
    };
    const auto notation = [&](bool phraseEnd) {
        const int symbols = 1 + int(rng.bounded(12));
        QString s;
        while (Gongche::symbolsOf(s).size() < symbols) {
            s += note();
            for (int m = int(rng.bounded(4)); m > 0 && rng.bounded(2); --m)
                s += sym(Gongche::FirstMark + char32_t(rng.bounded(int(Gongche::LastMark - Gongche::FirstMark) + 1)));
        }
        if (phraseEnd)
            s += sym(Gongche::DiBan);
        return s;
    };
    LayoutItems items;
    items.append({QStringLiteral("# ") + ideographs(4), {}, LineKind::Title});
    for (int n = 0; n < 60; ++n) {
        const int r = int(rng.bounded(100));
        if (r < 8) {
            items.append({QStringLiteral("【") + ideographs(3) + QStringLiteral("】(") + ideographs(3) + QStringLiteral(")"), {}, LineKind::QuPai});
        } else if (r < 13) {
            items.append({QStringLiteral(">") + ideographs(3) + QStringLiteral("，") + ideographs(5) + QStringLiteral("。"), {}, LineKind::JiaBai});
        } else if (r < 17) {
            items.append({QStringLiteral("=") + ideographs(9) + QStringLiteral("，") + ideographs(6) + QStringLiteral("！"), {}, LineKind::LianBai});
        } else if (r < 19) {
            items.append({QStringLiteral("@换行符"), {}, LineKind::LineBreak});
        } else if (r < 20) {
            items.append({QStringLiteral("@分页符"), {}, LineKind::PageBreak});
        } else {
            LayoutItem line{ideographs(3 + int(rng.bounded(5))), {}, LineKind::Lyric};
            for (int i = 0; i < line.text.size(); ++i)
                line.scores.append(notation(i + 1 == line.text.size()));
            line.text += rng.bounded(2) ? QStringLiteral("，") : QStringLiteral("。");
            line.scores.append(QString());
            items.append(line);
        }
    }
    return items;
}

LayoutItems bundledSample()
{
    QFile file(SampleScore::resourcePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const ScoreFile::Decoded decoded = ScoreFile::decode(file.readAll());
    const ScoreSyntax::NormalisedDocument doc = ScoreSyntax::normaliseDocument(decoded.lyric, decoded.score);
    return ScoreSyntax::layoutItems(PlainLines(doc.lyric.split(QLatin1Char('\n'))),
                                    PlainLines(doc.score.split(QLatin1Char('\n'))));
}

} // namespace

class TestInkCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noCollisions_data();
    void noCollisions();
    void sampleNotationKeepsItsPlace();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FontRegistry> m_registry;
};

void TestInkCheck::initTestCase()
{
    initCoreTestApplication();
    installPlatformFontSubstitutions();
    m_registry = std::make_unique<FontRegistry>(m_dir.path(), FontRegistry::embeddedFontPath());
}

void TestInkCheck::noCollisions_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("angle"); // 1: the style's own
    for (const QString document : {"sample", "aria 1", "aria 2"}) {
        QTest::addRow("%s upright", qPrintable(document)) << document << QStringLiteral("upright") << 1;
        for (int angle : {-60, -45, -30, 0})
            QTest::addRow("%s slanted %d", qPrintable(document), angle) << document << QStringLiteral("slanted") << angle;
    }
}

void TestInkCheck::noCollisions()
{
    QFETCH(QString, document);
    QFETCH(QString, style);
    QFETCH(int, angle);
    const std::unique_ptr<ExportConfig> config = ExportConfig::inMemory(m_dir.filePath(QStringLiteral("none.ini")));
    QVERIFY(ExportStyles::apply(*config, style));
    if (angle != 1)
        config->setScoreAngle(angle);
    const LayoutItems items = document == QLatin1String("sample") ? bundledSample()
        : denseAria(document == QLatin1String("aria 1") ? 1 : 2);
    QVERIFY(!items.isEmpty());
    GenerateSVG gen(config.get());
    gen.generate(items, false);
    const QStringList faults = inkFaults(gen, GenerateSVG::lineHeight(config->lyricFontMetrics()));
    for (const QString &fault : faults.mid(0, 10))
        qWarning("%s", qPrintable(fault));
    QCOMPARE(faults.size(), 0);
}

// Every notation glyph of the bundled sample where it stands relative to its
// character's cell (the page and the spacing may move the character, never
// its notes away from it), against the golden file. In the notation font
// alone, so that no machine's fonts change the figures. KELVO_UPDATE_GOLDEN=1
// writes the file anew.
void TestInkCheck::sampleNotationKeepsItsPlace()
{
    const std::unique_ptr<ExportConfig> config = ExportConfig::inMemory(m_dir.filePath(QStringLiteral("none.ini")));
    const QFont font(m_registry->defaultFamily());
    for (auto set : {&ExportConfig::setTitleFont, &ExportConfig::setLyricFont, &ExportConfig::setScoreFont,
                     &ExportConfig::setQuPaiFont, &ExportConfig::setDiaoMingFont, &ExportConfig::setLianBaiFont,
                     &ExportConfig::setJiaBaiFont})
        (config.get()->*set)(font);
    GenerateSVG gen(config.get());
    gen.generate(bundledSample(), false);
    QStringList lines{QStringLiteral("pages %1").arg(gen.pageCount())};
    for (const PageItems &items : gen.pageItems()) {
        std::map<std::pair<int, int>, QPointF> cells;
        for (const PlacedItem &item : items)
            if (item.role == PlacedItem::Lyric && item.flags == Qt::AlignCenter)
                cells[{item.line, item.character}] = item.origin + item.cell.topLeft();
        for (const PlacedItem &item : items) {
            if (!item.isNotation())
                continue;
            QTransform frame;
            frame.translate(item.origin.x(), item.origin.y());
            frame.rotate(item.angle);
            const QPointF at = frame.map(item.cell.center()) - cells[{item.line, item.character}];
            lines << QStringLiteral("%1 %2 %3 %4 %5 %6")
                         .arg(item.line)
                         .arg(item.character)
                         .arg(uint(item.text.toUcs4().value(0)), 0, 16)
                         .arg(at.x(), 0, 'f', 2)
                         .arg(at.y(), 0, 'f', 2)
                         .arg(item.angle);
        }
    }
    const QString path = QStringLiteral(KELVO_RENDER_DATA "/sample-notation.txt");
    if (qEnvironmentVariableIsSet("KELVO_UPDATE_GOLDEN")) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    QFile golden(path);
    QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(path));
    const QStringList expected = QString::fromUtf8(golden.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i], expected[i]);
}

QTEST_MAIN(TestInkCheck)
#include "test_inkcheck.moc"
