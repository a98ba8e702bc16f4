// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"
#include "render/ExportConfig.h"
#include "render/PageModel.h"

#include <QByteArray>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPageRanges>
#include <QPainter>
#include <QPicture>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

class QPagedPaintDevice;

// Lays a document's line list out into printed pages: vertical columns filled
// from right to left, each lyric character with its notation as a slanted
// column beside it.
//
// The layout places every glyph first (pageItems(): the page model), then
// paints each finished page once from its items into a QPicture in page units
// (one unit is one point; fonts carry pixel sizes equal to their configured
// sizes, so what ExportConfig's metrics measure is what gets drawn). Every
// output replays that recording: the SVG documents of pages(), the preview,
// PDF and images.
class GenerateSVG : public QObject
{
    Q_OBJECT

public:
    // nullptr uses ExportConfig::instance(). The config must outlive this object.
    explicit GenerateSVG(ExportConfig *config = nullptr, QObject *parent = nullptr);
    ~GenerateSVG() override;

    ExportConfig *config() const { return m_config; }
    // The settings the last generation laid out (taken from config() when
    // it began); the writers of its pages read these.
    const ExportSettings &settings() const { return m_settings; }

    // Lays the items out into pages (always at least one). With previewOnly
    // it stops as soon as a second page has been started.
    void generate(const LayoutItems &items, bool previewOnly);
    // Drops the pages of the last generation; the title is kept.
    void clearPages();
    // Takes pages laid out elsewhere (numbered notation) from the given
    // settings as this generation's: each painted once like its own pages
    // (background, then PageModel::paint), so that every writer, printing
    // and the preview serve them unchanged. At least one page (an empty one
    // for none), at most maxPages(); the page size is the settings'.
    void adoptPages(const ExportSettings &settings, const QList<PageItems> &pages,
                    const QString &title, const QStringList &warnings);

    // One SVG document per page, built from the recordings on first use and
    // cached until the next clearPages() or generate().
    const QList<QByteArray> &pages() const;
    // One recording per page, in page units (72 dpi); its bounding rectangle
    // is the page (0, 0, W, H).
    const QList<QPicture> &pictures() const { return m_pictures; }
    int pageCount() const { return int(m_pictures.size()); }
    // What each page is made of, in page order (see PlacedItem).
    const QList<PageItems> &pageItems() const { return m_pageItems; }
    // (W, H) in points of the last generation.
    QSize pageSize() const { return m_pageSize; }
    // True when the last generation stopped at its page limit: maxPages(),
    // or the two pages of a preview.
    bool wasTruncated() const { return m_truncated; }
    // What the last generation could not set as the settings ask, one
    // sentence each (a column too narrow for its notation at the chosen
    // angle, ...); empty when everything went as asked. The export dialog
    // shows them under its preview, the command line on standard error.
    const QStringList &layoutWarnings() const { return m_warnings; }
    // A generation never makes more pages than this, whatever the settings.
    static constexpr int maxPages() { return 10000; }

    // The document title: the title line's ideographs, or the qupai name when
    // no title line came first. Kept across generations.
    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }

    // Draws pages onto a paged device (PDF writer, printer) through a painter
    // already active on it: one device page per entry of order (0-based page
    // indexes), each scaled to fit the device's paint rectangle and centred.
    // Emits progressUpdate(ProgressStep, n, order size) after the n-th page.
    void replayPages(QPainter *painter, QPagedPaintDevice *device, const QList<int> &order);
    // The pages a print job draws, in order: those the ranges select
    // (1-based; empty ranges select all), clamped to the pages there are,
    // repeated copies times — the whole selection per copy when collated,
    // each page copies times in a row otherwise.
    static QList<int> printOrder(int pageCount, const QPageRanges &ranges, int copies,
                                 bool collate);
    // No print job repeats a document more often than this.
    static constexpr int maxCopies() { return 999; }

    // Replays a page recording in the painter's current coordinates, one
    // unit per point, whatever the device's resolution. (QPicture on its own
    // rescales by the device's dpi against the screen's, which would shrink
    // or grow the page depending on the machine.) Writers and the preview
    // draw pages through this.
    static void paintPage(QPainter *painter, const QPicture &page);

    // ---- Page model and layout routines (public for tests) ----------------

    // Starts a generation by hand: caches reset, one empty page, cursor at the
    // content origin. generate() does this itself.
    void beginPages();
    // Ends the page being drawn. Layout routines called outside
    // beginPages()/endPages() only move the cursor.
    void endPages();

    // (W − marginLeft − marginRight, H − marginTop − marginBottom); may be
    // negative with absurd margins.
    QSize contentSize() const;
    // Moves to a new column of the given width (≤ 0: colWidth), starting a new
    // page when the column does not fit on this one. A column wider than the
    // content gets a page of its own, placed at the content's left edge.
    void nextColumn(int width);

    void layoutTitle(const QString &text);
    void layoutQuPaiHeading(const QString &text);
    void layoutLyricLine(const QString &text, const QStringList &scores);
    void layoutJiaBai(const QString &text);
    void layoutLianBai(const QString &text);

    struct LianBaiBalance
    {
        int height = 0;  // block height
        int columns = 1; // sub-columns used
    };
    LianBaiBalance balanceLianBai(const QString &text, int columns) const;

    // A notation column placed for a character whose cell has its top-left
    // corner at (0, 0) of the content: each symbol with its frame, cell and
    // ink, in the order of the string.
    struct NotationColumn
    {
        PageItems items;
        // The rotation it was set at: the chosen angle, or a steeper one
        // when that would run into the neighbouring column.
        int angle = 0;
        // How far its ink reaches below the character's top and right of
        // the column's left edge.
        qreal foot = 0;
        qreal right = 0;
        bool steepened = false;
        // False when even upright notation is wider than the column.
        bool fits = true;
    };
    // The one placement routine of a notation column: measureScore and
    // drawScore, and the lyric layout, all take what it places.
    NotationColumn placeScore(const QString &score) const;
    // Vertical extent of a notation column below the top of its character's
    // cell (its lowest ink, rounded up); 0 for an empty string.
    int measureScore(const QString &score) const;
    // Places the notation column of the character whose cell starts at the
    // cursor.
    void drawScore(const QString &score);

    // The vertical presentation form of a punctuation character; anything
    // else unchanged.
    static QChar verticalForm(QChar ch);
    static bool isSentencePunctuation(QChar ch);

    int cursorX() const { return m_cursorX; }
    int cursorY() const { return m_cursorY; }
    int scoreOverhang() const { return m_scoreOverhang; }

    // The integer measures the layout uses, shared with the tests.
    static int lineHeight(const QFontMetricsF &fm);
    static int averageWidth(const QFontMetricsF &fm);
    // Size of the tight bounding rectangle of a text (rounded up).
    static QSize tightSize(const QFontMetricsF &fm, const QString &text);
    // Size of the bounding rectangle of a text (rounded up); for a single
    // character that of its glyph.
    static QSize boundingSize(const QFontMetricsF &fm, const QString &text);

    // Column widths as the layout uses them: never below 1.
    int effectiveColWidth() const;
    int effectiveMColWidth() const;
    int effectiveTitleWidth() const;

    // The status of progressUpdate: a task starts (value 0 of maxValue, with
    // a window title and a tip), value of maxValue is done, the task ends.
    enum ProgressStatus : int { ProgressStart = 0, ProgressStep = 1, ProgressEnd = 2 };

signals:
    // status is a ProgressStatus.
    void progressUpdate(int status, int value, int maxValue, const QString &winTitle,
                        const QString &tip);

private:
    // The order of the slot table in GenerateSVG.cpp.
    enum FontSlot { TitleSlot, LyricSlot, ScoreSlot, QuPaiSlot, DiaoMingSlot, LianBaiSlot,
                    JiaBaiSlot, SlotCount };

    struct Measures
    {
        int lineHeight = 0;
        int averageWidth = 0;
    };

    void newPage();
    void finishPage();
    // The content's top-right corner on the page: where x 0, y 0 of the
    // layout lies.
    QPointF contentOrigin() const;
    // A text cell in the column (content coordinates), with its ink.
    PlacedItem cellItem(PlacedItem::Role role, FontSlot slot, const QRectF &rect, int flags,
                        const QString &text) const;
    // How far down the items must move to clear the ink of the column's
    // other characters (the notation above them reaches down into the
    // column); 0 when they already do.
    qreal clearanceInColumn(const PageItems &items) const;
    // Adds items to the page (and to the column's ink the next ones must
    // clear when keepInColumn).
    void place(const PageItems &items, bool keepInColumn = true);
    void place(const PlacedItem &item, bool keepInColumn = true);
    // Moves items down until they clear the column's other characters;
    // returns by how much.
    int settle(PageItems &items) const;
    // Moves items down by dy.
    static void shift(PageItems &items, qreal dy);
    void resetCaches();
    const QFontMetricsF &metrics(FontSlot slot) const;
    Measures measures(FontSlot slot) const;
    QSize cachedTight(FontSlot slot, char32_t code, const QString &text) const;
    QSize cachedBounding(FontSlot slot, char32_t code, const QString &text) const;
    QSize cachedSize(QHash<char32_t, QSize> &cache, FontSlot slot, char32_t code,
                     const QString &text,
                     QSize (*measure)(const QFontMetricsF &, const QString &)) const;
    bool pageLimitReached() const { return m_truncated; }
    // The glyph's ink in a cell drawn with Qt's alignment flags.
    QRectF inkIn(FontSlot slot, const QRectF &cell, int flags, const QString &text) const;

    ExportConfig *m_config = nullptr;
    ExportSettings m_settings;

    QList<QPicture> m_pictures;
    QList<PageItems> m_pageItems;
    QStringList m_pageTitles; // SVG title of each page (empty: generator default)
    bool m_generating = false;
    // The owner of the items being placed: layout item and cell.
    int m_line = -1;
    int m_character = -1;
    // The current column's ink that later cells must clear (pruned as the
    // cursor moves down), and the lowest notation in it.
    struct ColumnInk
    {
        PlacedItem item;
        QRectF bounds; // item.pageInk(), kept
    };
    QList<ColumnInk> m_columnInk;
    qreal m_columnNotationFoot = 0;
    bool m_columnHasNotation = false;
    // Notation columns set steeper than asked, and those wider than the
    // column even upright, in this generation.
    int m_steepened = 0;
    int m_tooWide = 0;

    mutable QList<QByteArray> m_svgPages;
    mutable bool m_svgValid = false;

    QSize m_pageSize;
    int m_cursorX = 0;
    int m_cursorY = 0;
    int m_scoreOverhang = 0;
    bool m_columnOnPage = false; // a column has been opened on this page
    QString m_title;
    QStringList m_warnings;
    bool m_truncated = false;
    int m_pageLimit = maxPages();

    // Measurements of single characters per font, reset at every generation
    // (the settings may have changed in between).
    mutable QHash<char32_t, QSize> m_tight[SlotCount];
    mutable QHash<char32_t, QSize> m_bounding[SlotCount];
    // A glyph as aligned text drawing sets it: the line's natural width and
    // height, and the outline's ink from the line's top-left.
    struct Glyph
    {
        QRectF ink;
        qreal advance = 0;
        qreal height = 0;
    };
    Glyph glyphOf(FontSlot slot, const QString &text) const;
    QFont fontOf(FontSlot slot) const;
    mutable QHash<char32_t, Glyph> m_glyphs[SlotCount];
    QString m_glyphFonts[SlotCount];
    mutable Measures m_measures[SlotCount];
    mutable bool m_measuresValid[SlotCount] = {};
};
