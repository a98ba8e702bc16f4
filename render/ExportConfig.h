// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SafeWrite.h"
#include "core/SettingsTable.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSettings>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <memory>
#include <utility>
#include <vector>

// The values of the export settings as the layout reads them: a copy taken
// when a generation begins stays as it is, whatever the dialog changes
// meanwhile. Every getter returns a value the layout can live with (see
// ExportConfig for the ranges).
class ExportSettings
{
public:
    ExportSettings() : m_metrics(FontCount, QFontMetricsF(QFont())) {}

    // Ranges the getters keep to (see above).
    static constexpr int MinFontSize = 1;
    static constexpr int MaxFontSize = 1000;
    static constexpr int MinPageSide = 1;
    static constexpr int MaxPageSide = 20000;
    static constexpr int MaxWidth = 20000;   // colWidth, titleWidth, mColWidth
    static constexpr int MaxAngle = 360;
    static constexpr int MaxSpace = 10000;
    static constexpr int CustomPageSizeId = 31;

    // The keys in save order; public for the implementation's key table.
    enum Key {
        PageWidth, PageHeight, PageSizeId,
        MarginTop, MarginBottom, MarginLeft, MarginRight,
        TitleFontSize, LyricFontSize, ScoreFontSize, QuPaiFontSize,
        DiaoMingFontSize, LianBaiFontSize, JiaBaiFontSize, JianpuFontSize,
        TitleFont, LyricFont, ScoreFont, QuPaiFont, DiaoMingFont, LianBaiFont, JiaBaiFont,
        JianpuFont,
        TitleColor, LyricColor, QuPaiColor, DiaoMingColor, LianBaiColor, JiaBaiColor,
        ScoreColor, BanColor, XiaoYanColor, ZhongYanColor, QiangGeColor, BackgroundColor,
        IsBgTransparent, IsHiddenSymbol, IsLandscape, IsLineBreakScoreOverflow,
        ColWidth, LyricSpace, ScoreSpace, BanYanSpace, ScoreAngle,
        LyricScoreSpace, ScoreBanYanSpace, MColWidth, TitleWidth, TitlePos,
        IsLivePreview,
        JianpuSystemSpace, IsJianpuBanYan, Notation,
        KeyCount
    };

    // (pageWidth, pageHeight), swapped when isLandscape.
    QSize pageSizePoints() const;

    // ---- Page ----
    int pageWidth() const { return bounded(m_ints[PageWidth], MinPageSide, MaxPageSide); }
    int pageHeight() const { return bounded(m_ints[PageHeight], MinPageSide, MaxPageSide); }
    int pageSizeId() const { return m_ints[PageSizeId]; }
    int marginTop() const;
    int marginBottom() const;
    int marginLeft() const;
    int marginRight() const;

    // ---- Font sizes, fonts (with the size applied as pixel size), metrics ----
    int titleFontSize() const { return fontSize(TitleF); }
    int lyricFontSize() const { return fontSize(LyricF); }
    int scoreFontSize() const { return fontSize(ScoreF); }
    int quPaiFontSize() const { return fontSize(QuPaiF); }
    int diaoMingFontSize() const { return fontSize(DiaoMingF); }
    int lianBaiFontSize() const { return fontSize(LianBaiF); }
    int jiaBaiFontSize() const { return fontSize(JiaBaiF); }
    int jianpuFontSize() const { return fontSize(JianpuF); }

    QFont titleFont() const { return m_fonts[TitleF]; }
    QFont lyricFont() const { return m_fonts[LyricF]; }
    QFont scoreFont() const { return m_fonts[ScoreF]; }
    QFont quPaiFont() const { return m_fonts[QuPaiF]; }
    QFont diaoMingFont() const { return m_fonts[DiaoMingF]; }
    QFont lianBaiFont() const { return m_fonts[LianBaiF]; }
    QFont jiaBaiFont() const { return m_fonts[JiaBaiF]; }
    // The digits of numbered notation (简谱).
    QFont jianpuFont() const { return m_fonts[JianpuF]; }

    const QFontMetricsF &titleFontMetrics() const { return m_metrics[TitleF]; }
    const QFontMetricsF &lyricFontMetrics() const { return m_metrics[LyricF]; }
    const QFontMetricsF &scoreFontMetrics() const { return m_metrics[ScoreF]; }
    const QFontMetricsF &quPaiFontMetrics() const { return m_metrics[QuPaiF]; }
    const QFontMetricsF &diaoMingFontMetrics() const { return m_metrics[DiaoMingF]; }
    const QFontMetricsF &lianBaiFontMetrics() const { return m_metrics[LianBaiF]; }
    const QFontMetricsF &jiaBaiFontMetrics() const { return m_metrics[JiaBaiF]; }
    const QFontMetricsF &jianpuFontMetrics() const { return m_metrics[JianpuF]; }

    // ---- Colours (an invalid colour given to a setter is ignored) ----
    QColor titleColor() const { return m_colors[TitleColor]; }
    QColor lyricColor() const { return m_colors[LyricColor]; }
    QColor quPaiColor() const { return m_colors[QuPaiColor]; }
    QColor diaoMingColor() const { return m_colors[DiaoMingColor]; }
    QColor lianBaiColor() const { return m_colors[LianBaiColor]; }
    QColor jiaBaiColor() const { return m_colors[JiaBaiColor]; }
    QColor scoreColor() const { return m_colors[ScoreColor]; }
    QColor banColor() const { return m_colors[BanColor]; }
    QColor xiaoYanColor() const { return m_colors[XiaoYanColor]; }
    QColor zhongYanColor() const { return m_colors[ZhongYanColor]; }
    QColor qiangGeColor() const { return m_colors[QiangGeColor]; }
    QColor backgroundColor() const { return m_colors[BackgroundColor]; }

    // ---- Switches ----
    bool isBgTransparent() const { return m_ints[IsBgTransparent] != 0; }
    bool isHiddenSymbol() const { return m_ints[IsHiddenSymbol] != 0; }
    bool isLandscape() const { return m_ints[IsLandscape] != 0; }
    bool isLineBreakScoreOverflow() const { return m_ints[IsLineBreakScoreOverflow] != 0; }
    bool isLivePreview() const { return m_ints[IsLivePreview] != 0; }

    // ---- Spacing and columns ----
    int colWidth() const { return bounded(m_ints[ColWidth], 1, MaxWidth); }
    int lyricSpace() const { return bounded(m_ints[LyricSpace], -MaxSpace, MaxSpace); }
    int scoreSpace() const { return bounded(m_ints[ScoreSpace], -MaxSpace, MaxSpace); }
    int banYanSpace() const { return bounded(m_ints[BanYanSpace], -MaxSpace, MaxSpace); }
    int scoreAngle() const { return bounded(m_ints[ScoreAngle], -MaxAngle, MaxAngle); }
    int lyricScoreSpace() const { return bounded(m_ints[LyricScoreSpace], -MaxSpace, MaxSpace); }
    int scoreBanYanSpace() const { return bounded(m_ints[ScoreBanYanSpace], -MaxSpace, MaxSpace); }
    int mColWidth() const { return bounded(m_ints[MColWidth], 1, MaxWidth); }
    int titleWidth() const { return bounded(m_ints[TitleWidth], 1, MaxWidth); }
    // Where a title column starts; the codes are the stored values of
    // "titlePos".
    enum TitlePosition : int { TitleTop = 0, TitleCentre = 1, TitleBottom = 2 };
    TitlePosition titlePos() const;

    // ---- Numbered notation (简谱) ----
    // Space between two systems, beyond what their signs need.
    int jianpuSystemSpace() const { return bounded(m_ints[JianpuSystemSpace], -MaxSpace, MaxSpace); }
    // Whether 板 × and 眼 ○ stand above the notes.
    bool isJianpuBanYan() const { return m_ints[IsJianpuBanYan] != 0; }
    // Which notation the pages are in; the codes are the stored values of
    // "notation", anything else reads as gongche.
    enum NotationKind : int { GongcheNotation = 0, JianpuNotation = 1 };
    NotationKind notation() const
    {
        return m_ints[Notation] == JianpuNotation ? JianpuNotation : GongcheNotation;
    }

protected:
    // The eight fonts, in the order of their size and family keys.
    enum FontRole { TitleF, LyricF, ScoreF, QuPaiF, DiaoMingF, LianBaiF, JiaBaiF, JianpuF,
                    FontCount };

    static int bounded(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
    int fontSize(FontRole role) const
    {
        return bounded(m_ints[TitleFontSize + role], MinFontSize, MaxFontSize);
    }

    std::array<int, KeyCount> m_ints{};
    std::array<QColor, KeyCount> m_colors;
    std::array<QFont, FontCount> m_fonts;
    std::vector<QFontMetricsF> m_metrics;
};

// Everything that shapes the rendered score: page, margins, eight fonts with
// their sizes and metrics, colours, spacing and switches, kept in the
// [Export] section of the settings file and exchangeable as JSON schemes.
//
// One instance serves the whole program (instance()); the export dialog
// edits it, and each generation of pages lays out a snapshot() of it, which
// the writers of those pages read too. Setters change memory only; save()
// writes the 53 keys and flushes the file.
//
// Fonts carry a PIXEL size equal to the stored size, so one point of a font
// is one unit of the page on every device; the metrics are QFontMetricsF of
// those fonts and are rebuilt whenever a font or its size changes.
//
// Safe values. The file and above all a scheme can hold anything, and the
// renderer divides by column widths and loops until the content area is
// filled. Memory keeps the value as stored (so what the dialog allows is
// written back unchanged), but every getter returns a value the layout can
// live with:
//   - font sizes 1..1000;
//   - page width and height 1..20000;
//   - margins 0..(page side - 1), the second margin of a side also leaving
//     room for the first, so the content area is at least 1 x 1 (measured on
//     the page as oriented, i.e. after isLandscape);
//   - colWidth, titleWidth, mColWidth 1..20000;
//   - scoreAngle -360..360; the five spaces -10000..10000;
//   - titlePos outside 0..2 reads as 0 (top).
// When loading, a value that is not a number where a number is expected (or
// not true/false/a number where a switch is expected) reads as the key's
// default, and a colour other than #rgb or #rrggbb reads as the default
// colour; a family is taken as written (trimmed), an empty one reads as the
// default family. Numbers beyond +-1e9 are cut to that before they are kept.
class ExportConfig : public QObject, public ExportSettings
{
    Q_OBJECT

public:
    // The process-wide instance on DataPaths::settingsFile(), created on first
    // use. It saves quietly when the application is about to quit and is
    // deleted while the application object still exists.
    static ExportConfig *instance();

    // An instance of its own on the given INI file (tests, tools); loads it
    // immediately. Its destructor saves quietly.
    explicit ExportConfig(const QString &settingsPath, QObject *parent = nullptr);
    ~ExportConfig() override;

    // An instance that only reads the given INI file (the defaults when it is
    // missing) and keeps everything else in memory: save(), restoreDefaults(),
    // loadScheme() and the destructor never write to that file. For the
    // command line, which must leave the user's settings as they were.
    static std::unique_ptr<ExportConfig> inMemory(const QString &settingsPath);
    bool isInMemory() const { return m_section.isInMemory(); }

    ExportConfig(const ExportConfig &) = delete;
    ExportConfig &operator=(const ExportConfig &) = delete;


    // The 53 keys of the [Export] section, in save order.
    static QStringList keys();

    QString settingsPath() const;

    // Reads every key; see above for missing and unusable values.
    void load();
    // Writes the 53 keys, flushes the file, then emits configChanged().
    // False when the file could not be written (it then keeps its old
    // content; the values stay in use). In memory: keeps them there.
    // A key holding a value of applyValues() keeps what it had before.
    bool save();

    // Puts the given values in use, in memory only: keys it lacks (and
    // names that are no key) keep their value, a value is read as the file's
    // would be. save() (and so closing the export dialog or quitting)
    // writes each such key as it was before, unless it has been changed
    // since; saveScheme() makes them the user's own, and loadScheme() goes
    // over them. For the built-in page styles (ExportStyles).
    void applyValues(const QVariantMap &values);
    // A key's default as the file would hold it (number, switch, family or
    // #rrggbb colour); invalid for a name that is no key.
    static QVariant defaultValue(const QString &name);
    // Removes the whole [Export] section (unknown keys too), loads the
    // defaults and saves them. Other sections stay as they are.
    void restoreDefaults();

    // save() with applied values included, then writes every key of the [Export] section (unknown ones
    // too) as an indented JSON object with typed values, by the rule of a
    // file the user chose (SafeWrite::userFile()). False when the file could
    // not be written completely, with the cause in *why.
    bool saveScheme(const QString &path, SafeWrite::Failure *why = nullptr);
    // Stores the values in use, then every member of the JSON object under
    // its name (unknown ones too), syncs and loads: keys the scheme lacks
    // keep their current value. False, and nothing changed, when
    // the file cannot be read or does not hold a JSON object.
    bool loadScheme(const QString &path);


    struct Choice
    {
        QString label;
        QVariant value;
    };
    static QList<Choice> pageSizeChoices();
    static QList<Choice> orientationChoices();
    static QList<Choice> overflowChoices();
    static QList<Choice> titlePosChoices();

    void setPageWidth(int v) { m_ints[PageWidth] = v; }
    void setPageHeight(int v) { m_ints[PageHeight] = v; }
    // Any id but 31 (custom) also sets the page to that size in points,
    // portrait; an id that names no page size leaves the size alone.
    void setPageSizeId(int id);
    void setMarginTop(int v) { m_ints[MarginTop] = v; }
    void setMarginBottom(int v) { m_ints[MarginBottom] = v; }
    void setMarginLeft(int v) { m_ints[MarginLeft] = v; }
    void setMarginRight(int v) { m_ints[MarginRight] = v; }

    // A size setter applies the size to its font; a font setter takes the
    // font's family and applies the stored size. Both rebuild the metrics.
    void setTitleFontSize(int v) { setFontSize(TitleF, v); }
    void setLyricFontSize(int v) { setFontSize(LyricF, v); }
    void setScoreFontSize(int v) { setFontSize(ScoreF, v); }
    void setQuPaiFontSize(int v) { setFontSize(QuPaiF, v); }
    void setDiaoMingFontSize(int v) { setFontSize(DiaoMingF, v); }
    void setLianBaiFontSize(int v) { setFontSize(LianBaiF, v); }
    void setJiaBaiFontSize(int v) { setFontSize(JiaBaiF, v); }
    void setJianpuFontSize(int v) { setFontSize(JianpuF, v); }

    void setTitleFont(const QFont &f) { setFont(TitleF, f); }
    void setLyricFont(const QFont &f) { setFont(LyricF, f); }
    void setScoreFont(const QFont &f) { setFont(ScoreF, f); }
    void setQuPaiFont(const QFont &f) { setFont(QuPaiF, f); }
    void setDiaoMingFont(const QFont &f) { setFont(DiaoMingF, f); }
    void setLianBaiFont(const QFont &f) { setFont(LianBaiF, f); }
    void setJiaBaiFont(const QFont &f) { setFont(JiaBaiF, f); }
    void setJianpuFont(const QFont &f) { setFont(JianpuF, f); }

    void setTitleColor(const QColor &c) { setColor(TitleColor, c); }
    void setLyricColor(const QColor &c) { setColor(LyricColor, c); }
    void setQuPaiColor(const QColor &c) { setColor(QuPaiColor, c); }
    void setDiaoMingColor(const QColor &c) { setColor(DiaoMingColor, c); }
    void setLianBaiColor(const QColor &c) { setColor(LianBaiColor, c); }
    void setJiaBaiColor(const QColor &c) { setColor(JiaBaiColor, c); }
    void setScoreColor(const QColor &c) { setColor(ScoreColor, c); }
    void setBanColor(const QColor &c) { setColor(BanColor, c); }
    void setXiaoYanColor(const QColor &c) { setColor(XiaoYanColor, c); }
    void setZhongYanColor(const QColor &c) { setColor(ZhongYanColor, c); }
    void setQiangGeColor(const QColor &c) { setColor(QiangGeColor, c); }
    void setBackgroundColor(const QColor &c) { setColor(BackgroundColor, c); }

    void setIsBgTransparent(bool v) { m_ints[IsBgTransparent] = v; }
    void setIsHiddenSymbol(bool v) { m_ints[IsHiddenSymbol] = v; }
    void setIsLandscape(bool v) { m_ints[IsLandscape] = v; }
    void setIsLineBreakScoreOverflow(bool v) { m_ints[IsLineBreakScoreOverflow] = v; }
    void setIsLivePreview(bool v) { m_ints[IsLivePreview] = v; }

    void setColWidth(int v) { m_ints[ColWidth] = v; }
    void setLyricSpace(int v) { m_ints[LyricSpace] = v; }
    void setScoreSpace(int v) { m_ints[ScoreSpace] = v; }
    void setBanYanSpace(int v) { m_ints[BanYanSpace] = v; }
    void setScoreAngle(int v) { m_ints[ScoreAngle] = v; }
    void setLyricScoreSpace(int v) { m_ints[LyricScoreSpace] = v; }
    void setScoreBanYanSpace(int v) { m_ints[ScoreBanYanSpace] = v; }
    void setMColWidth(int v) { m_ints[MColWidth] = v; }
    void setTitleWidth(int v) { m_ints[TitleWidth] = v; }
    // Any value: one outside the positions reads as TitleTop.
    void setTitlePos(int v) { m_ints[TitlePos] = v; }
    void setJianpuSystemSpace(int v) { m_ints[JianpuSystemSpace] = v; }
    void setIsJianpuBanYan(bool v) { m_ints[IsJianpuBanYan] = v; }
    // Any value: one outside the kinds reads as GongcheNotation.
    void setNotation(int v) { m_ints[Notation] = v; }

    // The values as they are now, for a generation to lay out.
    ExportSettings snapshot() const { return *this; }

signals:
    // Emitted by save() (and so by restoreDefaults()) and by a successful
    // loadScheme().
    void configChanged();

private:
    void setFontSize(FontRole role, int size);
    void setFont(FontRole role, const QFont &font);
    void setColor(Key key, const QColor &color);
    void rebuildFont(FontRole role, const QString &family);
    // Puts the 53 values into the settings object; no sync, no signal.
    // Without withApplied, applied keys not changed since get their old value.
    void writeValues(bool withApplied);
    // One key from a stored value (text: the family as written).
    void readKey(int k, const QVariant &value, const QString &text);
    // What writeValues() stores for a key.
    QVariant valueOf(int k) const;
    // The final save at exit: nobody is told, listeners may be half gone.
    void saveQuietly();

    static void destroyInstance();

    ExportConfig(const QString &settingsPath, bool inMemory, QObject *parent);
    static QVariant defaultValue(int k);

    SettingsTable::Section m_section;
    // Keys holding a value of applyValues(): (value before, value applied).
    QMap<int, std::pair<QVariant, QVariant>> m_applied;
};
