// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "document/LayoutItem.h"
#include "export/ExportJob.h"
#include "render/ExportConfig.h"

#include <QByteArray>
#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QProgressDialog>

#include <vector>

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
    void onTitleFontChanged(const QFont &f, int size)
    {
        applyFont(f, size, &C::titleFont, &C::titleFontSize,
                  &C::setTitleFont, &C::setTitleFontSize);
    }
    void onLyricFontChanged(const QFont &f, int size)
    {
        applyFont(f, size, &C::lyricFont, &C::lyricFontSize,
                  &C::setLyricFont, &C::setLyricFontSize);
    }
    void onScoreFontChanged(const QFont &f, int size)
    {
        applyFont(f, size, &C::scoreFont, &C::scoreFontSize,
                  &C::setScoreFont, &C::setScoreFontSize);
    }
    void onQuPaiFontChanged(const QFont &f, int size)
    {
        applyFont(f, size, &C::quPaiFont, &C::quPaiFontSize,
                  &C::setQuPaiFont, &C::setQuPaiFontSize);
    }
    void onDiaoMingFontChanged(const QFont &f, int size)
    {
        applyFont(f, size, &C::diaoMingFont, &C::diaoMingFontSize,
                  &C::setDiaoMingFont, &C::setDiaoMingFontSize);
    }
    void onLianBaiFontChanged(const QFont &f, int size)
    {
        applyFont(f, size, &C::lianBaiFont, &C::lianBaiFontSize,
                  &C::setLianBaiFont, &C::setLianBaiFontSize);
    }
    void onJiaBaiFontChanged(const QFont &f, int size)
    {
        applyFont(f, size, &C::jiaBaiFont, &C::jiaBaiFontSize,
                  &C::setJiaBaiFont, &C::setJiaBaiFontSize);
    }

    void onTitleColorChanged(const QColor &c) { applyColor(c, &C::titleColor, &C::setTitleColor); }
    void onLyricColorChanged(const QColor &c) { applyColor(c, &C::lyricColor, &C::setLyricColor); }
    void onQuPaiColorChanged(const QColor &c) { applyColor(c, &C::quPaiColor, &C::setQuPaiColor); }
    void onDiaoMingColorChanged(const QColor &c)
    {
        applyColor(c, &C::diaoMingColor, &C::setDiaoMingColor);
    }
    void onLianBaiColorChanged(const QColor &c)
    {
        applyColor(c, &C::lianBaiColor, &C::setLianBaiColor);
    }
    void onJiaBaiColorChanged(const QColor &c)
    {
        applyColor(c, &C::jiaBaiColor, &C::setJiaBaiColor);
    }
    void onScoreColorChanged(const QColor &c) { applyColor(c, &C::scoreColor, &C::setScoreColor); }
    void onBanColorChanged(const QColor &c) { applyColor(c, &C::banColor, &C::setBanColor); }
    void onXiaoYanColorChanged(const QColor &c)
    {
        applyColor(c, &C::xiaoYanColor, &C::setXiaoYanColor);
    }
    void onZhongYanColorChanged(const QColor &c)
    {
        applyColor(c, &C::zhongYanColor, &C::setZhongYanColor);
    }
    void onQiangGeColorChanged(const QColor &c)
    {
        applyColor(c, &C::qiangGeColor, &C::setQiangGeColor);
    }
    void onBackgroundColorChanged(const QColor &c)
    {
        applyColor(c, &C::backgroundColor, &C::setBackgroundColor);
    }
    void onBgTransparentChanged(int state);
    void onHiddenSymbolChanged(int state);

    void onPageSizeChanged(int index);
    void onIsLandscapeChanged(int index);
    void onPageWidthChanged() { applyInt(&C::pageWidth, &C::setPageWidth); }
    void onPageHeightChanged() { applyInt(&C::pageHeight, &C::setPageHeight); }
    void onMarginTopChanged() { applyInt(&C::marginTop, &C::setMarginTop); }
    void onMarginRightChanged() { applyInt(&C::marginRight, &C::setMarginRight); }
    void onMarginBottomChanged() { applyInt(&C::marginBottom, &C::setMarginBottom); }
    void onMarginLeftChanged() { applyInt(&C::marginLeft, &C::setMarginLeft); }
    void onIsLineBreakScoreOverflowChanged(int index);
    void onColWidthChanged() { applyInt(&C::colWidth, &C::setColWidth); }
    void onLyricSpaceChanged() { applyInt(&C::lyricSpace, &C::setLyricSpace); }
    void onScoreSpaceChanged() { applyInt(&C::scoreSpace, &C::setScoreSpace); }
    void onBanYanSpaceChanged() { applyInt(&C::banYanSpace, &C::setBanYanSpace); }
    void onScoreAngleChanged() { applyInt(&C::scoreAngle, &C::setScoreAngle); }
    void onLyricScoreSpaceChanged() { applyInt(&C::lyricScoreSpace, &C::setLyricScoreSpace); }
    void onScoreBanYanSpaceChanged() { applyInt(&C::scoreBanYanSpace, &C::setScoreBanYanSpace); }
    void onMColWidthChanged() { applyInt(&C::mColWidth, &C::setMColWidth); }
    void onTitlePosChanged(int index);
    void onTitleWidthChanged() { applyInt(&C::titleWidth, &C::setTitleWidth); }

    void onFileTypeChanged(int index);
    // 记谱: gongche columns or numbered notation (简谱), for every page format.
    void onNotationChanged(int index);
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
    using C = ExportConfig;
    using IntGetter = int (ExportConfig::*)() const;
    using IntSetter = void (ExportConfig::*)(int);
    using ColorGetter = QColor (ExportConfig::*)() const;
    using ColorSetter = void (ExportConfig::*)(const QColor &);
    using FontGetter = QFont (ExportConfig::*)() const;
    using FontSetter = void (ExportConfig::*)(const QFont &);
    using BoolGetter = bool (ExportConfig::*)() const;
    using BoolSetter = void (ExportConfig::*)(bool);

    // Each number field with its range and the setting it shows.
    struct NumberBox
    {
        QLineEdit *box;
        int min;
        int max;
        IntGetter get;
    };
    std::vector<NumberBox> numberFields() const;

    void setupCombos();
    void setupStyleMenu();
    void showLayoutWarnings();
    void setupValidators();
    void connectControls();
    void applyInt(IntGetter get, IntSetter set);
    void applyColor(const QColor &color, ColorGetter get, ColorSetter set);
    void applyFont(const QFont &font, int size, FontGetter getFont, IntGetter getSize,
                   FontSetter setFont, IntSetter setSize);
    void applyBool(bool value, BoolGetter get, BoolSetter set);
    void fitPreview();
    // The music row's values: how numbered pages and the music formats read
    // the score.
    Music::Options musicOptions() const;
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
