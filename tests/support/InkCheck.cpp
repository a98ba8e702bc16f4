// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/InkCheck.h"

#include "document/GongcheSymbols.h"
#include "document/Pairing.h"
#include "document/SampleScore.h"
#include "document/ScoreFile.h"
#include "document/TextNormalisation.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <map>
#include <numeric>

namespace InkCheck {

namespace {

QString at(int page, const PlacedItem &item)
{
    const QRectF r = item.pageInk();
    return QStringLiteral("p%1 line %2 cell %3 %4 role %5 shape %6 at %7,%8 %9x%10")
        .arg(page + 1).arg(item.line).arg(item.character).arg(item.text).arg(int(item.role)).arg(int(item.shape))
        .arg(r.x(), 0, 'f', 1).arg(r.y(), 0, 'f', 1).arg(r.width(), 0, 'f', 1).arg(r.height(), 0, 'f', 1);
}

bool sameOwner(const PlacedItem &a, const PlacedItem &b)
{
    return a.line == b.line && a.character == b.character;
}

} // namespace

QStringList faults(const QList<PageItems> &pages, QSize pageSize, int lyricLine)
{
    QStringList faults;
    const QRectF page(QPointF(0, 0), QSizeF(pageSize));
    for (int p = 0; p < pages.size(); ++p) {
        const PageItems &items = pages.at(p);
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

namespace {

QString sym(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

} // namespace

LayoutItems denseAria(quint32 seed, int maxSymbols)
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
        const int symbols = 1 + int(rng.bounded(maxSymbols));
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

} // namespace InkCheck
