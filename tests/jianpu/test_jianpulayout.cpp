// SPDX-License-Identifier: GPL-3.0-or-later
// Numbered-notation pages read back as a student reads them: digits, octave
// dots, underlines, augmentation dots, dashes, ties and bar lines, compared
// with the reading model's notes and measures; and the copyist's ink check.

#include "support/CoreTestSupport.h"
#include "support/InkCheck.h"
#include "document/GongcheSymbols.h"
#include "fonts/FontRegistry.h"
#include "fonts/FontSubstitutions.h"
#include "jianpu/JianpuLayout.h"
#include "music/PitchTable.h"
#include "music/Reading.h"
#include "render/ExportConfig.h"
#include "render/GenerateSVG.h"

#include <QPageSize>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int U = Music::UnitsPerBeat;

struct Note
{
    int degree = 0, octave = 0, units = 0;
    bool operator==(const Note &o) const { return degree == o.degree && octave == o.octave && units == o.units; }
};

QString show(const QList<Note> &notes, int from)
{
    QStringList out;
    for (int i = from; i < std::min<int>(from + 6, notes.size()); ++i)
        out << QStringLiteral("%1/%2/%3").arg(notes[i].degree).arg(notes[i].octave).arg(notes[i].units);
    return out.join(QLatin1Char(' '));
}

struct Read
{
    QList<Note> notes; // pitched and rests, ties joined
    QList<int> measures;
};

bool isDigit(const PlacedItem &i)
{
    return i.shape == PlacedItem::Glyph
           && (i.role == PlacedItem::JianpuDigit || i.role == PlacedItem::JianpuSmallDigit);
}

// The pages as a reader takes them: system by system, left to right.
Read readBack(const QList<PageItems> &pages)
{
    Read read;
    int measure = 0;
    qreal lastBar = -1e9;
    for (const PageItems &items : pages) {
        QList<const PlacedItem *> digits;
        for (const PlacedItem &i : items)
            if (isDigit(i))
                digits << &i;
        // Systems: digits on one baseline.
        std::sort(digits.begin(), digits.end(), [](const PlacedItem *a, const PlacedItem *b) {
            return a->pageInk().bottom() < b->pageInk().bottom();
        });
        QList<QList<const PlacedItem *>> systems;
        for (const PlacedItem *d : digits) {
            if (systems.isEmpty() || d->pageInk().bottom() - systems.last().last()->pageInk().bottom() > 1.5)
                systems.append(QList<const PlacedItem *>());
            systems.last() << d;
        }
        for (const QList<const PlacedItem *> &system : systems) {
            qreal top = 1e9, bottom = -1e9;
            for (const PlacedItem *d : system) {
                top = std::min(top, d->pageInk().top());
                bottom = std::max(bottom, d->pageInk().bottom());
            }
            const qreal h = bottom - top;
            struct Event
            {
                qreal x;
                int kind; // 0 digit, 1 dash, 2 bar
                const PlacedItem *item;
            };
            QList<Event> events;
            for (const PlacedItem *d : system)
                events.append({d->pageInk().left(), 0, d});
            for (const PlacedItem &i : items) {
                if (i.role != PlacedItem::Line || i.shape != PlacedItem::Rule)
                    continue;
                const QRectF r = i.pageInk();
                if (r.center().y() < top || r.center().y() > bottom)
                    continue;
                events.append({r.left(), r.width() > r.height() ? 1 : 2, &i});
            }
            std::sort(events.begin(), events.end(), [](const Event &a, const Event &b) { return a.x < b.x; });
            for (const Event &e : events) {
                const QRectF ink = e.item->pageInk();
                if (e.kind == 2) {
                    // The two strokes of a double bar are one bar.
                    if (ink.left() - lastBar > h * 0.6) {
                        read.measures << measure;
                        measure = 0;
                    }
                    lastBar = ink.right();
                    continue;
                }
                lastBar = -1e9;
                if (e.kind == 1) {
                    if (!read.notes.isEmpty())
                        read.notes.last().units += U;
                    measure += U;
                    continue;
                }
                int underlines = 0, octave = 0;
                bool dotted = false, tied = false;
                const qreal cx = ink.center().x();
                for (const PlacedItem &i : items) {
                    const QRectF r = i.pageInk();
                    if (i.role == PlacedItem::Line && i.shape == PlacedItem::Rule && r.width() > r.height()
                        && r.top() > bottom && r.top() < bottom + h * 1.6 && r.left() <= cx && r.right() >= cx)
                        ++underlines;
                    if (i.role == PlacedItem::Line && i.shape == PlacedItem::Dot) {
                        const QPointF c = r.center();
                        if (std::abs(c.x() - cx) < 1 && c.y() < ink.top() && c.y() > ink.top() - h)
                            ++octave;
                        else if (std::abs(c.x() - cx) < 1 && c.y() > bottom && c.y() < bottom + h * 2.2)
                            --octave;
                        else if (c.y() > ink.top() && c.y() < ink.bottom() && c.x() > ink.right()
                                 && c.x() < ink.right() + h * 0.6)
                            dotted = true;
                    }
                    if (i.role == PlacedItem::Line && i.shape == PlacedItem::Arc && r.bottom() < top
                        && r.bottom() > top - 3 * h && std::abs(r.right() - ink.left()) < 0.5)
                        tied = true;
                }
                const int units = (U >> underlines) * (dotted ? 3 : 2) / 2;
                const int degree = e.item->text.toInt();
                measure += units;
                if (tied && !read.notes.isEmpty() && read.notes.last().degree == degree
                    && read.notes.last().octave == octave)
                    read.notes.last().units += units;
                else
                    read.notes.append({degree, octave, units});
            }
        }
    }
    return read;
}

// What the reading model says, in the same terms.
Read expected(const Music::Performance &music)
{
    static constexpr int Scale[7] = {0, 2, 4, 5, 7, 9, 11};
    Read read;
    for (const Music::Section &section : music.sections) {
        for (const Music::NoteEvent &e : section.notes) {
            const int degree = e.pitch < 0 ? 0 : Music::degreeOf(e.glyph);
            const int octave = degree ? int(std::lround((e.pitch - section.doMidi - Scale[degree - 1]) / 12.0)) : 0;
            read.notes.append({degree, octave, e.lengthUnits});
        }
        if (section.free) {
            read.measures << section.lengthUnits;
            continue;
        }
        for (const Music::Measure &m : Music::measuresOf(section))
            read.measures << m.lengthUnits;
    }
    return read;
}

QList<Note> pitched(const QList<Note> &notes)
{
    QList<Note> out;
    for (const Note &n : notes)
        if (n.degree > 0)
            out << n;
    return out;
}

QString sym(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

LayoutItems lines(const QList<QPair<QString, QStringList>> &sung, const QStringList &headings = {})
{
    LayoutItems items{{QStringLiteral("# 测试"), {}, LineKind::Title}};
    for (int i = 0; i < sung.size(); ++i) {
        if (i < headings.size() && !headings[i].isEmpty())
            items.append({headings[i], {}, LineKind::QuPai});
        items.append({sung[i].first, sung[i].second, LineKind::Lyric});
    }
    return items;
}

// A tune at its densest, as the music checks write it: up to ten notes and
// eight beat marks on a character, small notes, 气口 on held notes and inside
// beats, a phrase held to its 底板. Tokens: a pitch (x small, ' breath) or
// a mark.
LayoutItems melisma()
{
    using Gongche::Octave;
    using Gongche::Pitch;
    const QMap<QChar, Pitch> pitches{{u'上', Pitch::Shang}, {u'尺', Pitch::Chi}, {u'工', Pitch::Gong},
                                     {u'六', Pitch::Liu},   {u'五', Pitch::Wu},  {u'四', Pitch::Si},
                                     {u'合', Pitch::He}};
    const QMap<QChar, char32_t> marks{{u'板', Gongche::TouBan}, {u'眼', Gongche::XiaoYan},
                                      {u'中', Gongche::ZhongYan}, {u'腰', Gongche::YaoBan},
                                      {u'底', Gongche::DiBan},  {u'豁', Gongche::HuoQiang}};
    const QStringList characters{
        "上 板 尺 工 六 五 六 工 尺 上 尺'",
        "工 眼 六x 工 尺 中 上 尺x 工 眼 六 五 六'",
        "五 板 六 工 眼 尺 中 上 尺 眼 工 板 六 眼 五 中 六' 眼",
        "六 底 五 六x 工 尺 工 豁 上 尺 四 合'",
        "上 眼 尺x 上 中 四 上 眼 尺 工 六 五 六 工 板 尺 眼 上'",
        "尺 中 工 眼 六 工 尺 上 尺 工 上 尺 板 工'",
        "上 眼 中 眼 底",
    };
    QStringList scores;
    for (const QString &c : characters) {
        QString score;
        for (const QString &t : c.split(QLatin1Char(' ')))
            score += marks.contains(t[0]) ? sym(marks[t[0]])
                                          : sym(Gongche::compose(pitches[t[0]], Octave::Middle,
                                                                 t.contains(QLatin1Char('\'')),
                                                                 t.contains(QLatin1Char('x'))));
        scores << score;
    }
    return lines({{QStringLiteral("没乱里春情难遣"), scores}}, {QStringLiteral("【山坡羊】(小工调)")});
}

LayoutItems documentNamed(const QString &name)
{
    if (name == QLatin1String("sample"))
        return InkCheck::bundledSample();
    if (name == QLatin1String("melisma"))
        return melisma();
    return InkCheck::denseAria(quint32(name.mid(6).toInt()), 18);
}

} // namespace

class TestJianpuLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pieces_data();
    void pieces();
    void readsAsTheReading_data();
    void readsAsTheReading();
    void noCollisions_data();
    void noCollisions();
    void headings();
    void noNotes();
    void spokenLineAfterTheHeldNote();
    void adoptedByTheGenerator();

private:
    std::unique_ptr<ExportConfig> freshConfig() const
    {
        return ExportConfig::inMemory(m_dir.filePath(QStringLiteral("none.ini")));
    }
    // The defaults on the given paper.
    std::unique_ptr<ExportConfig> configOn(int pageSizeId, bool landscape) const
    {
        auto config = freshConfig();
        config->setPageSizeId(pageSizeId);
        config->setIsLandscape(landscape);
        return config;
    }
    QTemporaryDir m_dir;
    std::unique_ptr<FontRegistry> m_registry;
};

void TestJianpuLayout::initTestCase()
{
    initCoreTestApplication();
    installPlatformFontSubstitutions();
    m_registry = std::make_unique<FontRegistry>(m_dir.path(), FontRegistry::embeddedFontPath());
}

void TestJianpuLayout::pieces_data()
{
    QTest::addColumn<int>("onset");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("rest");
    QTest::addColumn<QString>("written"); // onset:underlines[.][-dashes] ...
    QTest::newRow("quarter") << 0 << U << false << "0:0";
    QTest::newRow("half") << 0 << 2 * U << false << "0:0-1";
    QTest::newRow("whole") << U << 4 * U << false << "96:0-3";
    QTest::newRow("dotted quarter") << 0 << U * 3 / 2 << false << "0:0.";
    QTest::newRow("eighth") << 48 << 48 << false << "48:1";
    QTest::newRow("sixteenth") << 24 << 24 << false << "24:2";
    QTest::newRow("32nd") << 3 << 3 << false << "3:5";
    QTest::newRow("dotted eighth") << 0 << 72 << false << "0:1.";
    QTest::newRow("three quarters off the beat") << 24 << 72 << false << "24:1.";
    QTest::newRow("across the beat") << 48 << U << false << "48:1 96:1";
    QTest::newRow("two and a half beats") << 0 << U * 5 / 2 << false << "0:0-1 192:1";
    QTest::newRow("seven eighths") << 0 << 84 << false << "0:1. 72:3";
    QTest::newRow("rest of two beats") << 0 << 2 * U << true << "0:0 96:0";
    QTest::newRow("rest never dotted") << 0 << 72 << true << "0:1 48:2";
    QTest::newRow("triplet eighth") << 0 << 32 << false << "0:2";
}

void TestJianpuLayout::pieces()
{
    QFETCH(int, onset);
    QFETCH(int, length);
    QFETCH(bool, rest);
    QFETCH(QString, written);
    QStringList out;
    for (const Jianpu::Piece &p : Jianpu::piecesOf(onset, length, rest))
        out << QStringLiteral("%1:%2%3%4")
                   .arg(p.onset)
                   .arg(p.underlines)
                   .arg(p.dotted ? QStringLiteral(".") : QString())
                   .arg(p.dashes ? QStringLiteral("-%1").arg(p.dashes) : QString());
    QCOMPARE(out.join(QLatin1Char(' ')), written);
}

void TestJianpuLayout::readsAsTheReading_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("page"); // QPageSize id
    QTest::addColumn<bool>("landscape");
    QTest::newRow("sample A4") << "sample" << int(QPageSize::A4) << false;
    QTest::newRow("sample B5 landscape") << "sample" << int(QPageSize::B5) << true;
    QTest::newRow("melisma") << "melisma" << int(QPageSize::A4) << false;
    for (int seed = 1; seed <= 4; ++seed)
        QTest::addRow("dense %d", seed) << QStringLiteral("dense %1").arg(seed) << int(QPageSize::A4) << false;
}

void TestJianpuLayout::readsAsTheReading()
{
    QFETCH(QString, document);
    QFETCH(int, page);
    QFETCH(bool, landscape);
    const LayoutItems items = documentNamed(document);
    const auto config = configOn(page, landscape);
    const Music::Options options;
    const Jianpu::Pages pages = Jianpu::layout(items, options, config->snapshot());
    const Read want = expected(Music::read(items, options));
    const Read got = readBack(pages.pages);
    QVERIFY(!want.notes.isEmpty());
    const QList<Note> a = pitched(got.notes), b = pitched(want.notes);
    for (int i = 0; i < std::min(a.size(), b.size()); ++i)
        QVERIFY2(a[i] == b[i], qPrintable(QStringLiteral("note %1: read %2, reading %3")
                                              .arg(i).arg(show(a, i), show(b, i))));
    QCOMPARE(a.size(), b.size());
    QCOMPARE(got.measures, want.measures);
}

void TestJianpuLayout::noCollisions_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("landscape");
    for (const QString document : {"sample", "melisma", "dense 1", "dense 2"})
        for (const int page : {int(QPageSize::A4), int(QPageSize::B5)})
            for (const bool landscape : {false, true})
                QTest::addRow("%s %s%s", qPrintable(document), page == QPageSize::A4 ? "A4" : "B5",
                              landscape ? " landscape" : "")
                    << document << page << landscape;
}

void TestJianpuLayout::noCollisions()
{
    QFETCH(QString, document);
    QFETCH(int, page);
    QFETCH(bool, landscape);
    const LayoutItems items = documentNamed(document);
    const auto config = configOn(page, landscape);
    const Jianpu::Pages pages = Jianpu::layout(items, Music::Options(), config->snapshot());
    const QStringList faults = InkCheck::faults(pages.pages, config->pageSizePoints(), 0);
    for (const QString &fault : faults.mid(0, 10))
        qWarning("%s", qPrintable(fault));
    QCOMPARE(faults.size(), 0);
}

// Each tune its own key and signature; 散板 the word and no bar lines.
void TestJianpuLayout::headings()
{
    const QString shang = sym(Gongche::compose(Gongche::Pitch::Shang, Gongche::Octave::Middle, false, false));
    const QString ban = sym(Gongche::TouBan), yan = sym(Gongche::ZhongYan);
    const LayoutItems items = lines({{QStringLiteral("一二"), {shang + ban, shang + yan}},
                                     {QStringLiteral("三四"), {shang + ban, shang + yan}},
                                     {QStringLiteral("五六"), {shang, shang}}},
                                    {QStringLiteral("【甲】(小工调)"), QStringLiteral("【乙】(凡字调)"),
                                     QStringLiteral("【丙】(散板)")});
    const auto config = freshConfig();
    const Jianpu::Pages pages = Jianpu::layout(items, Music::Options(), config->snapshot());
    QStringList texts;
    int bars = 0;
    for (const PageItems &page : pages.pages)
        for (const PlacedItem &i : page) {
            if (i.shape == PlacedItem::Glyph && i.role != PlacedItem::JianpuDigit && i.role != PlacedItem::Lyric)
                texts << i.text;
            if (i.shape == PlacedItem::Rule && i.cell.height() > i.cell.width())
                ++bars;
        }
    QCOMPARE(pages.title, QStringLiteral("测试"));
    QCOMPARE(texts.mid(0, 11), (QStringList{"测试", "【甲】", "（小工调）", "1=D", "4/4", "×", "○",
                                            "【乙】", "（凡字调）", "1=♭E", "4/4"}));
    QVERIFY(texts.contains(QStringLiteral("散板")));

    // A 底板 a beat before the next 头板: a bar of 1/4, then 4/4 again.
    const QString four = shang + ban + shang + yan + shang + yan + shang + yan;
    const LayoutItems changing = lines({{QStringLiteral("一二三"), {four, shang + sym(Gongche::DiBan), four}}});
    QStringList meters;
    const Jianpu::Pages changed = Jianpu::layout(changing, Music::Options(), config->snapshot());
    for (const PlacedItem &i : changed.pages.first())
        if (i.role == PlacedItem::JianpuText && i.text.endsWith(QLatin1String("/4")))
            meters << i.text;
    QCOMPARE(meters, (QStringList{"4/4", "1/4", "4/4"}));
    // One measure each: a double bar (two strokes) per tune, none else in 散板.
    QCOMPARE(bars, 6);
}

// No notes: the title and the lyric as text, said once.
void TestJianpuLayout::noNotes()
{
    const LayoutItems items = lines({{QStringLiteral("无谱之词"), {QString(), QString(), QString(), QString()}}});
    Music::Options options;
    const auto config = freshConfig();
    const LayoutItems none{{QStringLiteral("# 标题"), {}, LineKind::Title},
                           {QStringLiteral("=白口"), {}, LineKind::LianBai}};
    const Jianpu::Pages pages = Jianpu::layout(none, options, config->snapshot());
    QCOMPARE(pages.warnings.size(), 1);
    QVERIFY(pages.warnings.first().contains(QStringLiteral("没有音符")));
    QCOMPARE(pages.pages.size(), 1);
    QStringList texts;
    for (const PlacedItem &i : pages.pages.first())
        texts << i.text;
    QCOMPARE(texts, (QStringList{"标题", "白口", "1"}));
    // Characters without notation are rests only: no notes either.
    QCOMPARE(Jianpu::layout(items, options, config->snapshot()).warnings, pages.warnings);
}

// A spoken line follows the system where the note before it ends: never
// between a held note and its tied end.
void TestJianpuLayout::spokenLineAfterTheHeldNote()
{
    const auto config = freshConfig();
    const Jianpu::Pages pages = Jianpu::layout(InkCheck::bundledSample(), Music::Options(), config->snapshot());
    QPair<int, int> before{-1, -1}, after{-1, -1};
    bool spoken = false;
    for (const PageItems &items : pages.pages)
        for (const PlacedItem &i : items) {
            if (i.role == PlacedItem::LianBai && i.text.contains(QStringLiteral("好天气也")))
                spoken = true;
            else if (isDigit(i) && i.line >= 0 && !spoken)
                before = {i.line, i.character};
            else if (isDigit(i) && i.line >= 0 && after.first < 0)
                after = {i.line, i.character};
        }
    QVERIFY(spoken && before.first >= 0 && after.first >= 0);
    QVERIFY(before != after);
}

void TestJianpuLayout::adoptedByTheGenerator()
{
    const auto config = freshConfig();
    GenerateSVG gen(config.get());
    Jianpu::generate(gen, InkCheck::bundledSample(), Music::Options());
    const Jianpu::Pages pages = Jianpu::layout(InkCheck::bundledSample(), Music::Options(), config->snapshot());
    QCOMPARE(gen.pageCount(), pages.pages.size());
    QCOMPARE(gen.pageItems().size(), pages.pages.size());
    QCOMPARE(gen.pageItems().first().size(), pages.pages.first().size());
    QVERIFY(!gen.title().isEmpty());
}

QTEST_MAIN(TestJianpuLayout)
#include "test_jianpulayout.moc"
