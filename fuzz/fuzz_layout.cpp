// SPDX-License-Identifier: GPL-3.0-or-later
// Preview generation from random settings and a random document: the
// settings come from the first bytes (any value, in range or not), the rest
// is the lyric text, a NUL, and the score text; the line list is built as
// the editor builds it. A generation must finish with at least one page of
// the configured size, within the preview's two pages; the numbered-notation
// layout of the same items with at least one page, within the page limit.

#include "FuzzSupport.h"

#include "document/Pairing.h"
#include "jianpu/JianpuLayout.h"
#include "render/ExportConfig.h"
#include "render/GenerateSVG.h"

#include <QFont>

namespace {

void configure(ExportConfig &c, Fuzz::Reader &in)
{
    const int id = in.range(0, 40);
    c.setPageSizeId(id);
    if (id == ExportConfig::CustomPageSizeId || id > 31) {
        c.setPageWidth(in.int16());
        c.setPageHeight(in.int16());
    }
    c.setMarginTop(in.int16());
    c.setMarginBottom(in.int16());
    c.setMarginLeft(in.int16());
    c.setMarginRight(in.int16());
    c.setTitleFontSize(in.range(-5, 1100));
    c.setLyricFontSize(in.range(-5, 1100));
    c.setScoreFontSize(in.range(-5, 1100));
    c.setQuPaiFontSize(in.range(-5, 1100));
    c.setDiaoMingFontSize(in.range(-5, 1100));
    c.setLianBaiFontSize(in.range(-5, 1100));
    c.setJiaBaiFontSize(in.range(-5, 1100));
    c.setColWidth(in.int16());
    c.setMColWidth(in.int16());
    c.setTitleWidth(in.int16());
    c.setLyricSpace(in.int16());
    c.setScoreSpace(in.int16());
    c.setBanYanSpace(in.int16());
    c.setLyricScoreSpace(in.int16());
    c.setScoreBanYanSpace(in.int16());
    c.setScoreAngle(in.int16());
    c.setTitlePos(in.range(-1, 3));
    const uint8_t flags = in.byte();
    c.setIsLandscape(flags & 1);
    c.setIsHiddenSymbol(flags & 2);
    c.setIsLineBreakScoreOverflow(flags & 4);
    c.setIsBgTransparent(flags & 8);
    // The seeds' bytes keep their meaning: the numbered notation takes
    // values already drawn.
    c.setIsJianpuBanYan(flags & 16);
    c.setJianpuFontSize(c.scoreFontSize());
    c.setJianpuSystemSpace(c.scoreSpace());
}

} // namespace

KELVO_FUZZ_TARGET(layout)
{
    if (size > 8192)
        return 0;
    Fuzz::init();
    // One configuration for the run; every input sets all of its values.
    static ExportConfig *config = new ExportConfig(Fuzz::freshPath(QStringLiteral("layout-settings")));

    Fuzz::Reader in(data, size);
    configure(*config, in);
    const QString text = QString::fromUtf8(in.rest());
    const qsizetype nul = text.indexOf(QChar(0));
    const PlainLines lyric(nul < 0 ? text : text.left(nul));
    const PlainLines score(nul < 0 ? QString() : text.mid(nul + 1));
    const LayoutItems items = ScoreSyntax::layoutItems(lyric, score);

    GenerateSVG generator(config);
    generator.generate(items, true);
    const QString settings = Fuzz::snapshot(*config).join(QLatin1Char(' '));
    FUZZ_CHECK(generator.pageCount() >= 1 && generator.pageCount() <= 2, settings);
    FUZZ_CHECK(generator.pageSize() == config->pageSizePoints(), settings);

    const Jianpu::Pages jianpu = Jianpu::layout(items, Music::Options(), config->snapshot());
    FUZZ_CHECK(!jianpu.pages.isEmpty() && jianpu.pages.size() <= GenerateSVG::maxPages(), settings);
    return 0;
}
