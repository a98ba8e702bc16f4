// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class EditorConfig;

namespace Ui {
class Settings;
}

// The editor appearance dialog: fonts and colours of both panes, their
// gutters and the lyric highlighting. Nothing changes until "确认" (apply
// everything and save) or "恢复默认" (defaults at once, dialog stays open);
// "取消" discards the controls.
class Settings : public QDialog
{
    Q_OBJECT

public:
    // config: the settings to edit (not owned); nullptr means the shared
    // EditorConfig::instance().
    explicit Settings(QWidget *parent = nullptr, EditorConfig *config = nullptr);
    ~Settings() override;

    Ui::Settings *form() const { return ui; }

    // Shows the current settings in every control.
    void loadControls();
    // Copies every control into the settings and saves (which notifies
    // every pane).
    void applyControls();

private slots:
    void onRestoreBtnClicked();
    void onCancelBtnClicked();
    void onSubmitBtnClicked();

private:
    Ui::Settings *ui;
    EditorConfig *m_config;
};
