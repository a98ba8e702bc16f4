// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ui/Settings.h"

#include "ui_Settings.h"

#include "editor/EditorConfig.h"

namespace {
constexpr int MinSize = 5;
constexpr int MaxSize = 80;
} // namespace

Settings::Settings(QWidget *parent, EditorConfig *config)
    : QDialog(parent)
    , ui(new Ui::Settings)
    , m_config(config ? config : EditorConfig::instance())
{
    ui->setupUi(this);

    ui->scoreFontBox->setSizeRange(MinSize, MaxSize);
    ui->scoreLineFontBox->setSizeRange(MinSize, MaxSize);
    ui->lyricFontBox->setSizeRange(MinSize, MaxSize);
    ui->lyricLineFontBox->setSizeRange(MinSize, MaxSize);

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
    EditorConfig *c = m_config;

    ui->scoreFontBox->setCurrentFont(c->scoreFont());
    ui->scoreFontBox->setSize(c->scoreFontSize());
    ui->scoreColorBox->setColor(c->scoreColor());
    ui->scoreBgColorBox->setColor(c->scoreBgColor());

    ui->scoreLineFontBox->setCurrentFont(c->scoreLineNumberFont());
    ui->scoreLineFontBox->setSize(c->scoreLineNumberFontSize());
    ui->scoreLineColorBox->setColor(c->scoreLineNumberColor());
    ui->scoreLineBgColorBox->setColor(c->scoreLineNumberBgColor());

    ui->lyricFontBox->setCurrentFont(c->lyricFont());
    ui->lyricFontBox->setSize(c->lyricFontSize());
    ui->lyricBgColorBox->setColor(c->lyricBgColor());
    ui->lyricColorBox->setColor(c->lyricColor());
    ui->titleColorBox->setColor(c->titleColor());
    ui->quPaiColorBox->setColor(c->quPaiColor());
    ui->jiaBaiColorBox->setColor(c->jiaBaiColor());
    ui->lianBaiColorBox->setColor(c->lianBaiColor());

    ui->lyricLineFontBox->setCurrentFont(c->lyricLineNumberFont());
    ui->lyricLineFontBox->setSize(c->lyricLineNumberFontSize());
    ui->lyricLineBgColorBox->setColor(c->lyricLineNumberBgColor());
    ui->lyricLineColorBox->setColor(c->lyricLineNumberColor());
    ui->commentColorBox->setColor(c->commentColor());
    ui->biaoDianColorBox->setColor(c->biaoDianColor());
    ui->breakSymbolColorBox->setColor(c->breakSymbolColor());
    ui->errorColorBox->setColor(c->errorColor());
}

void Settings::applyControls()
{
    EditorConfig *c = m_config;

    // Each font before its size: the font setter keeps the stored size.
    c->setScoreFont(ui->scoreFontBox->font());
    c->setScoreFontSize(ui->scoreFontBox->size());
    c->setScoreColor(ui->scoreColorBox->color());
    c->setScoreBgColor(ui->scoreBgColorBox->color());

    c->setScoreLineNumberFont(ui->scoreLineFontBox->font());
    c->setScoreLineNumberFontSize(ui->scoreLineFontBox->size());
    c->setScoreLineNumberColor(ui->scoreLineColorBox->color());
    c->setScoreLineNumberBgColor(ui->scoreLineBgColorBox->color());

    c->setLyricLineNumberFont(ui->lyricLineFontBox->font());
    c->setLyricLineNumberFontSize(ui->lyricLineFontBox->size());
    c->setLyricLineNumberColor(ui->lyricLineColorBox->color());
    c->setLyricLineNumberBgColor(ui->lyricLineBgColorBox->color());

    c->setLyricFont(ui->lyricFontBox->font());
    c->setLyricFontSize(ui->lyricFontBox->size());
    c->setLyricBgColor(ui->lyricBgColorBox->color());
    c->setLyricColor(ui->lyricColorBox->color());
    c->setTitleColor(ui->titleColorBox->color());
    c->setQuPaiColor(ui->quPaiColorBox->color());
    c->setJiaBaiColor(ui->jiaBaiColorBox->color());
    c->setLianBaiColor(ui->lianBaiColorBox->color());
    c->setCommentColor(ui->commentColorBox->color());
    c->setBiaoDianColor(ui->biaoDianColorBox->color());
    c->setBreakSymbolColor(ui->breakSymbolColorBox->color());
    c->setErrorColor(ui->errorColorBox->color());

    c->save();
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
