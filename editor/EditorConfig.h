// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SettingsTable.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QObject>
#include <QString>

#include <array>

// Fonts and colours of the two text panes, their gutters and the lyric
// highlighter, kept in the [Editor] section of the settings file.
//
// One instance serves the whole program (instance()); every pane listens to
// configChanged() and re-applies its appearance. Memory is authoritative
// after construction: setters change memory only, save() writes everything
// and notifies, and the instance saves once more when the program quits.
class EditorConfig : public QObject
{
    Q_OBJECT

public:
    // The process-wide instance on DataPaths::settingsFile(), created on first
    // use. It saves quietly when the application is about to quit and is
    // deleted while the application object still exists.
    static EditorConfig *instance();

    // An instance of its own on the given INI file (tests, tools); loads it
    // immediately. Its destructor saves quietly, like the shared one at exit.
    explicit EditorConfig(const QString &settingsPath, QObject *parent = nullptr);
    ~EditorConfig() override;

    EditorConfig(const EditorConfig &) = delete;
    EditorConfig &operator=(const EditorConfig &) = delete;

    // Point sizes are kept inside this range; anything else in the file or
    // passed to a size setter is clamped to it.
    static constexpr int MinFontSize = 1;
    static constexpr int MaxFontSize = 200;

    QString settingsPath() const;

    // Reads every key; missing or unusable values take their defaults.
    void load();
    // Writes every key, flushes the file, then emits configChanged().
    // False when the file could not be written (it keeps its old content).
    bool save();
    // Removes the whole [Editor] section (unknown keys too), loads the
    // defaults and saves them. Other sections of the file stay as they are.
    void restoreDefaults();

    // ---- Fonts (returned with their point size applied) and sizes ----
    QFont lyricLineNumberFont() const { return m_fonts[LyricLineNumberFont]; }
    int lyricLineNumberFontSize() const { return m_sizes[LyricLineNumberFont]; }
    QFont scoreLineNumberFont() const { return m_fonts[ScoreLineNumberFont]; }
    int scoreLineNumberFontSize() const { return m_sizes[ScoreLineNumberFont]; }
    QFont scoreFont() const { return m_fonts[ScoreFont]; }
    int scoreFontSize() const { return m_sizes[ScoreFont]; }
    QFont lyricFont() const { return m_fonts[LyricFont]; }
    int lyricFontSize() const { return m_sizes[LyricFont]; }

    // ---- Colours ----
    QColor lyricLineNumberColor() const { return m_colors[LyricLineNumberColor]; }
    QColor lyricLineNumberBgColor() const { return m_colors[LyricLineNumberBgColor]; }
    QColor scoreLineNumberColor() const { return m_colors[ScoreLineNumberColor]; }
    QColor scoreLineNumberBgColor() const { return m_colors[ScoreLineNumberBgColor]; }
    QColor scoreColor() const { return m_colors[ScoreColor]; }
    QColor scoreBgColor() const { return m_colors[ScoreBgColor]; }
    QColor lyricBgColor() const { return m_colors[LyricBgColor]; }
    QColor lyricColor() const { return m_colors[LyricColor]; }
    QColor titleColor() const { return m_colors[TitleColor]; }
    QColor jiaBaiColor() const { return m_colors[JiaBaiColor]; }
    QColor lianBaiColor() const { return m_colors[LianBaiColor]; }
    QColor quPaiColor() const { return m_colors[QuPaiColor]; }
    QColor commentColor() const { return m_colors[CommentColor]; }
    QColor biaoDianColor() const { return m_colors[BiaoDianColor]; }
    QColor breakSymbolColor() const { return m_colors[BreakSymbolColor]; }
    QColor errorColor() const { return m_colors[ErrorColor]; }

    // Metrics of the two gutter fonts; always describe the current fonts.
    QFontMetrics lyricLineNumberMetrics() const { return m_lyricLineNumberMetrics; }
    QFontMetrics scoreLineNumberMetrics() const { return m_scoreLineNumberMetrics; }

    // ---- Setters: memory only, no save, no signal ----
    // A font setter keeps the stored point size for that font; a size setter
    // applies the size to the stored font. Call the font setter first when
    // changing both.
    void setLyricLineNumberFont(const QFont &font) { setFont(LyricLineNumberFont, font); }
    void setLyricLineNumberFontSize(int size) { setFontSize(LyricLineNumberFont, size); }
    void setScoreLineNumberFont(const QFont &font) { setFont(ScoreLineNumberFont, font); }
    void setScoreLineNumberFontSize(int size) { setFontSize(ScoreLineNumberFont, size); }
    void setScoreFont(const QFont &font) { setFont(ScoreFont, font); }
    void setScoreFontSize(int size) { setFontSize(ScoreFont, size); }
    void setLyricFont(const QFont &font) { setFont(LyricFont, font); }
    void setLyricFontSize(int size) { setFontSize(LyricFont, size); }

    // An invalid colour is ignored: the stored colour stays.
    void setLyricLineNumberColor(const QColor &c) { setColor(LyricLineNumberColor, c); }
    void setLyricLineNumberBgColor(const QColor &c) { setColor(LyricLineNumberBgColor, c); }
    void setScoreLineNumberColor(const QColor &c) { setColor(ScoreLineNumberColor, c); }
    void setScoreLineNumberBgColor(const QColor &c) { setColor(ScoreLineNumberBgColor, c); }
    void setScoreColor(const QColor &c) { setColor(ScoreColor, c); }
    void setScoreBgColor(const QColor &c) { setColor(ScoreBgColor, c); }
    void setLyricBgColor(const QColor &c) { setColor(LyricBgColor, c); }
    void setLyricColor(const QColor &c) { setColor(LyricColor, c); }
    void setTitleColor(const QColor &c) { setColor(TitleColor, c); }
    void setJiaBaiColor(const QColor &c) { setColor(JiaBaiColor, c); }
    void setLianBaiColor(const QColor &c) { setColor(LianBaiColor, c); }
    void setQuPaiColor(const QColor &c) { setColor(QuPaiColor, c); }
    void setCommentColor(const QColor &c) { setColor(CommentColor, c); }
    void setBiaoDianColor(const QColor &c) { setColor(BiaoDianColor, c); }
    void setBreakSymbolColor(const QColor &c) { setColor(BreakSymbolColor, c); }
    void setErrorColor(const QColor &c) { setColor(ErrorColor, c); }

    // The 24 keys of the [Editor] section, in load and save order.
    static QStringList keys();

signals:
    // Emitted by save() (and so by restoreDefaults()) only.
    void configChanged();

private:
    enum FontRole {
        LyricLineNumberFont,
        ScoreLineNumberFont,
        ScoreFont,
        LyricFont,
        FontRoleCount
    };
    enum ColorRole {
        LyricLineNumberColor,
        LyricLineNumberBgColor,
        ScoreLineNumberColor,
        ScoreLineNumberBgColor,
        ScoreColor,
        ScoreBgColor,
        LyricBgColor,
        LyricColor,
        TitleColor,
        JiaBaiColor,
        LianBaiColor,
        QuPaiColor,
        CommentColor,
        BiaoDianColor,
        BreakSymbolColor,
        ErrorColor,
        ColorRoleCount
    };

    void setFont(FontRole role, const QFont &font);
    void setFontSize(FontRole role, int size);
    void setColor(ColorRole role, const QColor &color);
    void updateMetrics(FontRole role);
    // The final save at exit: nobody is told, listeners may be half gone.
    void saveQuietly();

    static void destroyInstance();

    SettingsTable::Section m_settings;
    std::array<QFont, FontRoleCount> m_fonts;
    std::array<int, FontRoleCount> m_sizes{};
    std::array<QColor, ColorRoleCount> m_colors;
    QFontMetrics m_lyricLineNumberMetrics;
    QFontMetrics m_scoreLineNumberMetrics;
};
