// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"
#include "export/ExportJob.h"

#include <QByteArray>
#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QProgressDialog>

class ExportConfig;
class GenerateSVG;
class QLineEdit;


namespace Ui {
class Export;
}

// The export dialog: edits ExportConfig control by control, shows the first
// page of the current document as a live preview (with a line under it for
// what the layout could not set as asked), opens the full preview, applies
// the built-in styles, saves, imports and restores setting schemes, and
// runs the file writers
// with a progress dialog. Closing it saves the settings.
class Export : public QDialog
{
    Q_OBJECT

public:
    // items: the document's line list, fixed for the dialog's lifetime.
    // config: nullptr uses the process-wide ExportConfig; it must outlive
    // the dialog.
    Export(QWidget *parent, const LayoutItems &items, ExportConfig *config = nullptr);
    ~Export() override;

    Ui::Export *form() const { return ui; }
    ExportConfig *config() const { return m_config; }
    GenerateSVG *generator() const { return m_generator; }
    // Created on the first progress report of a full generation or a writer.
    QProgressDialog *progressDialog() const { return m_progress; }

    // Shows every setting in its control. Muted: no handler writes anything.
    void loadControls();

    // Regenerates the first page into the preview when live preview is on,
    // or always with force.
    void refreshPreview(bool force = false);
    // Puts a built-in page style (ExportStyles) in use, in memory only, and
    // shows it in the controls and the preview. False for an unknown id.
    bool applyStyle(const QString &id);

    // The SVG page the preview widget shows (empty before the first refresh
    // or when the generation produced no page).
    QByteArray previewPage() const { return m_previewPage; }

signals:
    // After every regeneration of the live preview.
    void previewRefreshed();

public slots:
    void onTitleFontChanged(const QFont &font, int size);
    void onLyricFontChanged(const QFont &font, int size);
    void onScoreFontChanged(const QFont &font, int size);
    void onQuPaiFontChanged(const QFont &font, int size);
    void onDiaoMingFontChanged(const QFont &font, int size);
    void onLianBaiFontChanged(const QFont &font, int size);
    void onJiaBaiFontChanged(const QFont &font, int size);

    void onTitleColorChanged(const QColor &color);
    void onLyricColorChanged(const QColor &color);
    void onQuPaiColorChanged(const QColor &color);
    void onDiaoMingColorChanged(const QColor &color);
    void onLianBaiColorChanged(const QColor &color);
    void onJiaBaiColorChanged(const QColor &color);
    void onScoreColorChanged(const QColor &color);
    void onBanColorChanged(const QColor &color);
    void onXiaoYanColorChanged(const QColor &color);
    void onZhongYanColorChanged(const QColor &color);
    void onQiangGeColorChanged(const QColor &color);
    void onBackgroundColorChanged(const QColor &color);
    void onBgTransparentChanged(int state);
    void onHiddenSymbolChanged(int state);

    void onPageSizeChanged(int index);
    void onIsLandscapeChanged(int index);
    void onPageWidthChanged();
    void onPageHeightChanged();
    void onMarginTopChanged();
    void onMarginRightChanged();
    void onMarginBottomChanged();
    void onMarginLeftChanged();
    void onIsLineBreakScoreOverflowChanged(int index);
    void onColWidthChanged();
    void onLyricSpaceChanged();
    void onScoreSpaceChanged();
    void onBanYanSpaceChanged();
    void onScoreAngleChanged();
    void onLyricScoreSpaceChanged();
    void onScoreBanYanSpaceChanged();
    void onMColWidthChanged();
    void onTitlePosChanged(int index);
    void onTitleWidthChanged();

    void onFileTypeChanged(int index);
    void onLivePreviewChanged(int state);
    void onPreviewAllBtnClicked();
    void onRestoreBtnClicked();
    void onSaveBtnClicked();
    void onImportBtnClicked();
    void onSubmitBtnClicked();

    void onProgressUpdate(int status, int value, int maxValue, const QString &winTitle,
                          const QString &tip);

public:
    // Saves the settings however the dialog is closed.
    void done(int result) override;

protected:
    // What the last generation could not set as asked: the generator's
    // list (a test seam).
    virtual QStringList layoutWarnings() const;

    // Swallows wheel events on the settings combos; refits the preview when
    // its frame is resized.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using IntGetter = int (ExportConfig::*)() const;
    using IntSetter = void (ExportConfig::*)(int);
    using ColorGetter = QColor (ExportConfig::*)() const;
    using ColorSetter = void (ExportConfig::*)(const QColor &);
    using FontGetter = QFont (ExportConfig::*)() const;
    using FontSetter = void (ExportConfig::*)(const QFont &);
    using BoolGetter = bool (ExportConfig::*)() const;
    using BoolSetter = void (ExportConfig::*)(bool);

    void setupCombos();
    void setupStyleMenu();
    void showLayoutWarnings();
    void setupValidators();
    void connectControls();
    void applyInt(QLineEdit *box, IntGetter get, IntSetter set);
    void applyColor(const QColor &color, ColorGetter get, ColorSetter set);
    void applyFont(const QFont &font, int size, FontGetter getFont, IntGetter getSize,
                   FontSetter setFont, IntSetter setSize);
    void applyBool(bool value, BoolGetter get, BoolSetter set);
    void fitPreview();
    // The format at index of the chooser (the current one when negative).
    const ExportFormats::Format &chosenFormat(int index = -1) const;
    // The sound, rendered by the job on a worker thread under a
    // cancellable progress dialog.
    ExportResult renderSound(const ExportRequest &request);

    Ui::Export *ui;
    ExportConfig *m_config;
    LayoutItems m_items;
    GenerateSVG *m_generator;
    QPointer<QProgressDialog> m_progress;
    QByteArray m_previewPage;
    bool m_muted = false;
    // Set while the live preview regenerates: a one-page preview is quick,
    // and a modal progress dialog flashing up would disable the form and
    // take the keyboard focus away from the field just edited.
    bool m_quietProgress = false;
};
