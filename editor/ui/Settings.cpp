// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ui/Settings.h"

#include "ui_Settings.h"

#include "editor/EditorConfig.h"

#include <vector>

namespace {

constexpr int MinSize = 5;
constexpr int MaxSize = 80;

using C = EditorConfig;

// Each picker with the setting it shows and, once confirmed, stores.
struct FontField
{
    FontSizeBox *box;
    QFont (C::*font)() const;
    int (C::*size)() const;
    void (C::*setFont)(const QFont &);
    void (C::*setSize)(int);
};

struct ColorField
{
    ColorBox *box;
    QColor (C::*get)() const;
    void (C::*set)(const QColor &);
};

std::vector<FontField> fontFields(const Ui::Settings *ui)
{
    return {
        {ui->scoreFontBox, &C::scoreFont, &C::scoreFontSize, &C::setScoreFont,
         &C::setScoreFontSize},
        {ui->scoreLineFontBox, &C::scoreLineNumberFont, &C::scoreLineNumberFontSize,
         &C::setScoreLineNumberFont, &C::setScoreLineNumberFontSize},
        {ui->lyricLineFontBox, &C::lyricLineNumberFont, &C::lyricLineNumberFontSize,
         &C::setLyricLineNumberFont, &C::setLyricLineNumberFontSize},
        {ui->lyricFontBox, &C::lyricFont, &C::lyricFontSize, &C::setLyricFont,
         &C::setLyricFontSize},
    };
}

std::vector<ColorField> colorFields(const Ui::Settings *ui)
{
    return {
        {ui->scoreColorBox, &C::scoreColor, &C::setScoreColor},
        {ui->scoreBgColorBox, &C::scoreBgColor, &C::setScoreBgColor},
        {ui->scoreLineColorBox, &C::scoreLineNumberColor, &C::setScoreLineNumberColor},
        {ui->scoreLineBgColorBox, &C::scoreLineNumberBgColor, &C::setScoreLineNumberBgColor},
        {ui->lyricLineColorBox, &C::lyricLineNumberColor, &C::setLyricLineNumberColor},
        {ui->lyricLineBgColorBox, &C::lyricLineNumberBgColor, &C::setLyricLineNumberBgColor},
        {ui->lyricBgColorBox, &C::lyricBgColor, &C::setLyricBgColor},
        {ui->lyricColorBox, &C::lyricColor, &C::setLyricColor},
        {ui->titleColorBox, &C::titleColor, &C::setTitleColor},
        {ui->quPaiColorBox, &C::quPaiColor, &C::setQuPaiColor},
        {ui->jiaBaiColorBox, &C::jiaBaiColor, &C::setJiaBaiColor},
        {ui->lianBaiColorBox, &C::lianBaiColor, &C::setLianBaiColor},
        {ui->commentColorBox, &C::commentColor, &C::setCommentColor},
        {ui->biaoDianColorBox, &C::biaoDianColor, &C::setBiaoDianColor},
        {ui->breakSymbolColorBox, &C::breakSymbolColor, &C::setBreakSymbolColor},
        {ui->errorColorBox, &C::errorColor, &C::setErrorColor},
    };
}

} // namespace

Settings::Settings(QWidget *parent, EditorConfig *config)
    : QDialog(parent)
    , ui(new Ui::Settings)
    , m_config(config ? config : EditorConfig::instance())
{
    ui->setupUi(this);

    for (const FontField &f : fontFields(ui))
        f.box->setSizeRange(MinSize, MaxSize);

    // The pickers' own change signals stay unconnected: the controls are only
    // read back when the dialog is confirmed.
    loadControls();

    connect(ui->restoreBtn, &QPushButton::clicked, this, &Settings::onRestoreBtnClicked);
    connect(ui->cancelBtn, &QPushButton::clicked, this, &Settings::onCancelBtnClicked);
    connect(ui->submitBtn, &QPushButton::clicked, this, &Settings::onSubmitBtnClicked);
}

Settings::~Settings()
{
    delete ui;
}

void Settings::loadControls()
{
    const EditorConfig &c = *m_config;
    for (const FontField &f : fontFields(ui)) {
        f.box->setCurrentFont((c.*f.font)());
        f.box->setSize((c.*f.size)());
    }
    for (const ColorField &f : colorFields(ui))
        f.box->setColor((c.*f.get)());
}

void Settings::applyControls()
{
    EditorConfig &c = *m_config;
    // Each font before its size: the font setter keeps the stored size.
    for (const FontField &f : fontFields(ui)) {
        (c.*f.setFont)(f.box->font());
        (c.*f.setSize)(f.box->size());
    }
    for (const ColorField &f : colorFields(ui))
        (c.*f.set)(f.box->color());
    c.save();
}

void Settings::onRestoreBtnClicked()
{
    m_config->restoreDefaults();
    loadControls();
}

void Settings::onCancelBtnClicked()
{
    reject();
}

void Settings::onSubmitBtnClicked()
{
    applyControls();
    accept();
}
