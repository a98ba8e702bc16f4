// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ui/Export.h"

#include "ui_Export.h"

#include "shared/ui/DialogService.h"
#include "audio/PlaybackSettings.h"
#include "core/DataPaths.h"
#include "core/RecentFiles.h"
#include "core/SafeWrite.h"
#include "shared/ui/NumberField.h"
#include "render/ExportConfig.h"
#include "render/ExportStyles.h"
#include "export/ExportFormats.h"
#include "export/ExportJob.h"
#include "export/ExportWriters.h"
#include "fonts/FontRegistry.h"
#include "render/GenerateSVG.h"
#include "render/ui/PreviewWindow.h"
#include "music/Reading.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGraphicsOpacityEffect>
#include <QFontMetrics>
#include <QIcon>
#include <QIntValidator>
#include <QMenu>
#include <QProgressDialog>
#include <QScreen>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <QtMath>

#include <atomic>
#include <memory>

namespace {

// Shown while there is no page, so the widget never renders stale content.
const QByteArray EmptySvg =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\" height=\"1\" viewBox=\"0 0 1 1\"/>";

const QString SchemeFilter = QStringLiteral("JSON文件 (*.json)");

// Room left for a window manager's title bar and borders.
const QSize FrameAllowance(16, 48);

// How faint the page shows while the chosen format has no pages.
constexpr qreal FadedPage = 0.3;

} // namespace

Export::Export(QWidget *parent, const LayoutItems &items, ExportConfig *config)
    : QDialog(parent)
    , ui(new Ui::Export)
    , m_config(config ? config : ExportConfig::instance())
    , m_items(items)
    , m_generator(new GenerateSVG(m_config, this))
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    // The form's size suits a large screen; a smaller one (1366 x 768 less
    // a panel) gets what it has room for, and so does the minimum.
    if (const QScreen *screen = parent ? parent->screen() : this->screen()) {
        const QSize room = screen->availableGeometry().size() - FrameAllowance;
        setMinimumSize(minimumSize().boundedTo(room));
        resize(size().boundedTo(room));
    }
    // Shown while the page settings do not apply (see onFileTypeChanged).
    auto *fade = new QGraphicsOpacityEffect(ui->preViewWidget);
    fade->setOpacity(FadedPage);
    fade->setEnabled(false);
    ui->preViewWidget->setGraphicsEffect(fade);

    setupCombos();
    setupStyleMenu();
    setupValidators();
    ui->preViewFrame->installEventFilter(this);

    loadControls();
    connectControls();
    // The quality only means something for images; pdf is selected first.
    onFileTypeChanged(ui->fileTypeBox->currentIndex());

    // The settings column is as wide as its widest row, so nothing is cut
    // off and no horizontal scroll bar is needed.
    ui->scrollArea->setMinimumWidth(ui->scrollAreaWidgetContents->minimumSizeHint().width()
                                    + ui->scrollArea->verticalScrollBar()->sizeHint().width()
                                    + 2 * ui->scrollArea->frameWidth());

    refreshPreview(true);
}

Export::~Export()
{
    // QDialog's destructor hides the dialog, which moves focus out of a field;
    // its editingFinished (or a picker's change) must not reach the part of
    // this dialog that is already destroyed.
    const QList<QObject *> children = findChildren<QObject *>();
    for (QObject *child : children)
        QObject::disconnect(child, nullptr, this, nullptr);
    delete ui;
}

void Export::setupCombos()
{
    auto fill = [](QComboBox *box, const QList<ExportConfig::Choice> &choices) {
        for (const ExportConfig::Choice &choice : choices)
            box->addItem(choice.label, choice.value);
    };
    fill(ui->pageSizeBox, ExportConfig::pageSizeChoices());
    fill(ui->isLandscapeBox, ExportConfig::orientationChoices());
    fill(ui->isLineBreakScoreOverflowBox, ExportConfig::overflowChoices());
    fill(ui->titlePosBox, ExportConfig::titlePosChoices());
    ui->notationBox->addItem(tr("工尺谱"), int(ExportSettings::GongcheNotation));
    ui->notationBox->addItem(tr("简谱"), int(ExportSettings::JianpuNotation));

    // The page-size labels carry the sizes; the popup must show them whole.
    QAbstractItemView *view = ui->pageSizeBox->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + 2 * view->frameWidth()
                          + view->verticalScrollBar()->sizeHint().width());

    for (QComboBox *box : {ui->pageSizeBox, ui->isLandscapeBox, ui->isLineBreakScoreOverflowBox,
                           ui->titlePosBox, ui->notationBox}) {
        box->installEventFilter(this);
        // Scrolling the settings column must not take the focus to a combo
        // either.
        box->setFocusPolicy(Qt::StrongFocus);
    }

    // The rhythm starts as the transport plays it.
    for (int i = 0; i < Music::RhythmCount; ++i)
        ui->rhythmBox->addItem(Music::rhythmLabel(Music::Rhythm(i)));
    {
        QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
        ui->rhythmBox->setCurrentIndex(int(PlaybackSettings::load(settings).rhythm));
    }

    const QIcon icon(QStringLiteral(":/icons/resources/icons/export.png"));
    for (const ExportFormats::Format &format : ExportFormats::all())
        ui->fileTypeBox->addItem(icon, format.name);

    ui->dpiBox->addItems({tr("低（DPI=96）"), tr("中（DPI=160）"), tr("高（DPI=300）"),
                          tr("超高（DPI=600）")});
}

void Export::setupStyleMenu()
{
    auto *menu = new QMenu(ui->styleBtn);
    for (const ExportStyles::Style &style : ExportStyles::all()) {
        QAction *action = menu->addAction(style.label);
        action->setObjectName(QStringLiteral("style_") + style.id);
        action->setToolTip(style.description);
        action->setStatusTip(style.description);
        connect(action, &QAction::triggered, this, [this, id = style.id] { applyStyle(id); });
    }
    menu->setToolTipsVisible(true);
    ui->styleBtn->setMenu(menu);
}

bool Export::applyStyle(const QString &id)
{
    if (!ExportStyles::apply(*m_config, id))
        return false;
    loadControls();
    refreshPreview(true);
    return true;
}

std::vector<Export::NumberBox> Export::numberFields() const
{
    using C = ExportConfig;
    return {
        {ui->widthBox, 10, 10000, &C::pageWidth},
        {ui->heightBox, 10, 10000, &C::pageHeight},
        {ui->marginTopBox, 0, 10000, &C::marginTop},
        {ui->marginBottomBox, 0, 10000, &C::marginBottom},
        {ui->marginLeftBox, 0, 10000, &C::marginLeft},
        {ui->marginRightBox, 0, 10000, &C::marginRight},
        {ui->colWidthBox, 10, 10000, &C::colWidth},
        {ui->lyricSpaceBox, -200, 200, &C::lyricSpace},
        {ui->mColWidthBox, 10, 10000, &C::mColWidth},
        {ui->scoreBanYanSpaceBox, -200, 200, &C::scoreBanYanSpace},
        {ui->titleWidthBox, 10, 10000, &C::titleWidth},
        {ui->scoreSpaceBox, -200, 200, &C::scoreSpace},
        {ui->lyricScoreSpaceBox, -200, 200, &C::lyricScoreSpace},
        {ui->banYanSpaceBox, -200, 200, &C::banYanSpace},
        {ui->scoreAngleBox, -360, 360, &C::scoreAngle},
    };
}

void Export::setupValidators()
{
    for (const NumberBox &r : numberFields()) {
        r.box->setValidator(new QIntValidator(r.min, r.max, r.box));
        r.box->setPlaceholderText(QStringLiteral("%1~%2").arg(r.min).arg(r.max));
        // What the field shows once left is what the export uses.
        NumberField::guard(r.box, [config = m_config, key = r.get] { return (config->*key)(); });
    }
}

void Export::connectControls()
{
    connect(ui->titleFontBox, &FontBox::fontChanged, this, &Export::onTitleFontChanged);
    connect(ui->lyricFontBox, &FontBox::fontChanged, this, &Export::onLyricFontChanged);
    connect(ui->scoreFontBox, &CustomFontBox::fontChanged, this, &Export::onScoreFontChanged);
    connect(ui->quPaiFontBox, &FontBox::fontChanged, this, &Export::onQuPaiFontChanged);
    connect(ui->diaoMingFontBox, &FontBox::fontChanged, this, &Export::onDiaoMingFontChanged);
    connect(ui->lianBaiFontBox, &FontBox::fontChanged, this, &Export::onLianBaiFontChanged);
    connect(ui->jiaBaiFontBox, &FontBox::fontChanged, this, &Export::onJiaBaiFontChanged);

    connect(ui->titleColorBox, &ColorBox::colorChanged, this, &Export::onTitleColorChanged);
    connect(ui->lyricColorBox, &ColorBox::colorChanged, this, &Export::onLyricColorChanged);
    connect(ui->quPaiColorBox, &ColorBox::colorChanged, this, &Export::onQuPaiColorChanged);
    connect(ui->diaoMingColorBox, &ColorBox::colorChanged, this, &Export::onDiaoMingColorChanged);
    connect(ui->lianBaiColorBox, &ColorBox::colorChanged, this, &Export::onLianBaiColorChanged);
    connect(ui->jiaBaiColorBox, &ColorBox::colorChanged, this, &Export::onJiaBaiColorChanged);
    connect(ui->scoreColorBox, &ColorBox::colorChanged, this, &Export::onScoreColorChanged);
    connect(ui->banColorBox, &ColorBox::colorChanged, this, &Export::onBanColorChanged);
    connect(ui->xiaoYanColorBox, &ColorBox::colorChanged, this, &Export::onXiaoYanColorChanged);
    connect(ui->zhongYanColorBox, &ColorBox::colorChanged, this, &Export::onZhongYanColorChanged);
    connect(ui->qiangGeColorBox, &ColorBox::colorChanged, this, &Export::onQiangGeColorChanged);
    connect(ui->backgroundColorBox, &ColorBox::colorChanged, this,
            &Export::onBackgroundColorChanged);
    connect(ui->bgTransparentBox, &QCheckBox::stateChanged, this, &Export::onBgTransparentChanged);
    connect(ui->hiddenSymbolBox, &QCheckBox::stateChanged, this, &Export::onHiddenSymbolChanged);

    connect(ui->pageSizeBox, &QComboBox::currentIndexChanged, this, &Export::onPageSizeChanged);
    connect(ui->isLandscapeBox, &QComboBox::currentIndexChanged, this,
            &Export::onIsLandscapeChanged);
    connect(ui->widthBox, &QLineEdit::editingFinished, this, &Export::onPageWidthChanged);
    connect(ui->heightBox, &QLineEdit::editingFinished, this, &Export::onPageHeightChanged);
    connect(ui->marginTopBox, &QLineEdit::editingFinished, this, &Export::onMarginTopChanged);
    connect(ui->marginRightBox, &QLineEdit::editingFinished, this, &Export::onMarginRightChanged);
    connect(ui->marginBottomBox, &QLineEdit::editingFinished, this,
            &Export::onMarginBottomChanged);
    connect(ui->marginLeftBox, &QLineEdit::editingFinished, this, &Export::onMarginLeftChanged);
    connect(ui->isLineBreakScoreOverflowBox, &QComboBox::currentIndexChanged, this,
            &Export::onIsLineBreakScoreOverflowChanged);
    connect(ui->colWidthBox, &QLineEdit::editingFinished, this, &Export::onColWidthChanged);
    connect(ui->lyricSpaceBox, &QLineEdit::editingFinished, this, &Export::onLyricSpaceChanged);
    connect(ui->scoreSpaceBox, &QLineEdit::editingFinished, this, &Export::onScoreSpaceChanged);
    connect(ui->banYanSpaceBox, &QLineEdit::editingFinished, this, &Export::onBanYanSpaceChanged);
    connect(ui->scoreAngleBox, &QLineEdit::editingFinished, this, &Export::onScoreAngleChanged);
    connect(ui->lyricScoreSpaceBox, &QLineEdit::editingFinished, this,
            &Export::onLyricScoreSpaceChanged);
    connect(ui->scoreBanYanSpaceBox, &QLineEdit::editingFinished, this,
            &Export::onScoreBanYanSpaceChanged);
    connect(ui->mColWidthBox, &QLineEdit::editingFinished, this, &Export::onMColWidthChanged);
    connect(ui->titlePosBox, &QComboBox::currentIndexChanged, this, &Export::onTitlePosChanged);
    connect(ui->titleWidthBox, &QLineEdit::editingFinished, this, &Export::onTitleWidthChanged);

    connect(ui->fileTypeBox, &QComboBox::currentIndexChanged, this, &Export::onFileTypeChanged);
    connect(ui->notationBox, &QComboBox::currentIndexChanged, this, &Export::onNotationChanged);
    // Numbered pages are read as music: the row's values shape them too.
    const auto musicChanged = [this] {
        if (!m_muted && m_config->notation() == ExportSettings::JianpuNotation)
            refreshPreview();
    };
    connect(ui->tempoBox, &QSpinBox::valueChanged, this, musicChanged);
    connect(ui->transposeBox, &QSpinBox::valueChanged, this, musicChanged);
    connect(ui->rhythmBox, &QComboBox::currentIndexChanged, this, musicChanged);
    connect(ui->livePreviewBox, &QCheckBox::stateChanged, this, &Export::onLivePreviewChanged);
    connect(ui->previewAllBtn, &QPushButton::clicked, this, &Export::onPreviewAllBtnClicked);
    connect(ui->restoreBtn, &QPushButton::clicked, this, &Export::onRestoreBtnClicked);
    connect(ui->saveBtn, &QPushButton::clicked, this, &Export::onSaveBtnClicked);
    connect(ui->importBtn, &QPushButton::clicked, this, &Export::onImportBtnClicked);
    connect(ui->submitBtn, &QPushButton::clicked, this, &Export::onSubmitBtnClicked);

    connect(m_generator, &GenerateSVG::progressUpdate, this, &Export::onProgressUpdate);
}

void Export::loadControls()
{
    QScopedValueRollback<bool> mute(m_muted, true);
    ExportConfig &c = *m_config;

    const FontRegistry &registry = FontRegistry::instance();
    if (!registry.families().contains(c.scoreFont().family()))
        c.setScoreFont(QFont(registry.defaultFamily()));

    // Only the family goes to a picker: the config's fonts carry pixel sizes.
    auto showFont = [](auto *box, const QFont &font, int size) {
        box->setCurrentFont(QFont(font.family()));
        box->setSize(size);
    };
    showFont(ui->titleFontBox, c.titleFont(), c.titleFontSize());
    showFont(ui->lyricFontBox, c.lyricFont(), c.lyricFontSize());
    showFont(ui->scoreFontBox, c.scoreFont(), c.scoreFontSize());
    showFont(ui->quPaiFontBox, c.quPaiFont(), c.quPaiFontSize());
    showFont(ui->diaoMingFontBox, c.diaoMingFont(), c.diaoMingFontSize());
    showFont(ui->lianBaiFontBox, c.lianBaiFont(), c.lianBaiFontSize());
    showFont(ui->jiaBaiFontBox, c.jiaBaiFont(), c.jiaBaiFontSize());

    ui->titleColorBox->setColor(c.titleColor());
    ui->lyricColorBox->setColor(c.lyricColor());
    ui->quPaiColorBox->setColor(c.quPaiColor());
    ui->diaoMingColorBox->setColor(c.diaoMingColor());
    ui->lianBaiColorBox->setColor(c.lianBaiColor());
    ui->jiaBaiColorBox->setColor(c.jiaBaiColor());
    ui->scoreColorBox->setColor(c.scoreColor());
    ui->banColorBox->setColor(c.banColor());
    ui->xiaoYanColorBox->setColor(c.xiaoYanColor());
    ui->zhongYanColorBox->setColor(c.zhongYanColor());
    ui->qiangGeColorBox->setColor(c.qiangGeColor());
    ui->backgroundColorBox->setColor(c.backgroundColor());
    ui->bgTransparentBox->setChecked(c.isBgTransparent());
    ui->hiddenSymbolBox->setChecked(c.isHiddenSymbol());

    ui->pageSizeBox->setCurrentIndex(ui->pageSizeBox->findData(c.pageSizeId()));
    const bool custom = c.pageSizeId() == ExportConfig::CustomPageSizeId;
    ui->widthBox->setEnabled(custom);
    ui->heightBox->setEnabled(custom);

    ui->isLandscapeBox->setCurrentIndex(ui->isLandscapeBox->findData(c.isLandscape()));
    ui->isLineBreakScoreOverflowBox->setCurrentIndex(
        ui->isLineBreakScoreOverflowBox->findData(c.isLineBreakScoreOverflow()));
    ui->titlePosBox->setCurrentIndex(ui->titlePosBox->findData(c.titlePos()));
    ui->notationBox->setCurrentIndex(ui->notationBox->findData(int(c.notation())));

    for (const NumberBox &field : numberFields())
        field.box->setText(QString::number((c.*field.get)()));

    ui->livePreviewBox->setChecked(c.isLivePreview());
    // The music row follows the notation just shown.
    onFileTypeChanged(ui->fileTypeBox->currentIndex());
}

// ---- Change handlers ------------------------------------------------------

void Export::applyInt(IntGetter get, IntSetter set)
{
    QLineEdit *box = nullptr;
    for (const NumberBox &field : numberFields())
        if (field.get == get)
            box = field.box;
    if (m_muted || !box || !box->isEnabled())
        return;
    bool ok = false;
    int value = box->text().toInt(&ok);
    if (!ok)
        value = 0;
    if (value == (m_config->*get)())
        return;
    (m_config->*set)(value);
    refreshPreview();
}

void Export::applyColor(const QColor &color, ColorGetter get, ColorSetter set)
{
    if (m_muted || !color.isValid() || color == (m_config->*get)())
        return;
    (m_config->*set)(color);
    refreshPreview();
}

void Export::applyFont(const QFont &font, int size, FontGetter getFont, IntGetter getSize,
                       FontSetter setFont, IntSetter setSize)
{
    if (m_muted)
        return;
    const QString family = font.family();
    if (family == (m_config->*getFont)().family() && size == (m_config->*getSize)())
        return;
    (m_config->*setFont)(QFont(family));
    (m_config->*setSize)(size);
    refreshPreview();
}

void Export::applyBool(bool value, BoolGetter get, BoolSetter set)
{
    if (m_muted || value == (m_config->*get)())
        return;
    (m_config->*set)(value);
    refreshPreview();
}

void Export::onBgTransparentChanged(int state)
{
    applyBool(state == Qt::Checked, &ExportConfig::isBgTransparent,
              &ExportConfig::setIsBgTransparent);
}

void Export::onHiddenSymbolChanged(int state)
{
    applyBool(state == Qt::Checked, &ExportConfig::isHiddenSymbol,
              &ExportConfig::setIsHiddenSymbol);
}

void Export::onPageSizeChanged(int index)
{
    if (m_muted || index < 0)
        return;
    const int id = ui->pageSizeBox->itemData(index).toInt();
    if (id == m_config->pageSizeId())
        return;
    // A standard id also sets the page size in points (portrait).
    m_config->setPageSizeId(id);
    const bool custom = id == ExportConfig::CustomPageSizeId;
    ui->widthBox->setEnabled(custom);
    ui->heightBox->setEnabled(custom);
    // Custom keeps the current size until a width or height is entered.
    if (custom)
        return;
    ui->widthBox->setText(QString::number(m_config->pageWidth()));
    ui->heightBox->setText(QString::number(m_config->pageHeight()));
    refreshPreview();
}

void Export::onIsLandscapeChanged(int index)
{
    if (index < 0)
        return;
    applyBool(ui->isLandscapeBox->itemData(index).toBool(), &ExportConfig::isLandscape,
              &ExportConfig::setIsLandscape);
}

void Export::onIsLineBreakScoreOverflowChanged(int index)
{
    if (index < 0)
        return;
    applyBool(ui->isLineBreakScoreOverflowBox->itemData(index).toBool(),
              &ExportConfig::isLineBreakScoreOverflow, &ExportConfig::setIsLineBreakScoreOverflow);
}

void Export::onTitlePosChanged(int index)
{
    if (m_muted || index < 0)
        return;
    const int pos = ui->titlePosBox->itemData(index).toInt();
    if (pos == m_config->titlePos())
        return;
    m_config->setTitlePos(pos);
    refreshPreview();
}

Music::Options Export::musicOptions() const
{
    const auto rhythm = Music::Rhythm(
        qBound(0, ui->rhythmBox->currentIndex(), Music::RhythmCount - 1));
    return PlaybackSettings::musicOptions(ui->tempoBox->value(), ui->transposeBox->value(),
                                          rhythm, ui->ornamentsBox->isChecked());
}

void Export::onNotationChanged(int index)
{
    if (m_muted || index < 0)
        return;
    const int notation = ui->notationBox->itemData(index).toInt();
    if (notation == m_config->notation())
        return;
    m_config->setNotation(notation);
    onFileTypeChanged(ui->fileTypeBox->currentIndex());
    refreshPreview();
}

const ExportFormats::Format &Export::chosenFormat(int index) const
{
    const ExportFormats::Format *format = ExportFormats::find(
        ui->fileTypeBox->itemText(index < 0 ? ui->fileTypeBox->currentIndex() : index));
    return format ? *format : ExportFormats::fallback();
}

void Export::onFileTypeChanged(int index)
{
    const ExportFormats::Format &format = chosenFormat(index);
    const bool music = !format.paged;
    ui->dpiBox->setEnabled(format.takes(ExportFormats::Dpi));
    ui->dpiLabel->setEnabled(ui->dpiBox->isEnabled());
    // The music formats have no pages: the page settings, the page itself
    // and what works on them do not apply.
    const QList<QWidget *> pageControls = {ui->scrollAreaWidgetContents, ui->preViewFrame,
                                           ui->livePreviewBox, ui->previewAllBtn,
                                           ui->restoreBtn, ui->styleBtn, ui->saveBtn,
                                           ui->importBtn};
    for (QWidget *w : pageControls)
        w->setEnabled(!music);
    // A picture looks the same disabled: the page fades instead.
    ui->preViewWidget->graphicsEffect()->setEnabled(music);
    ui->notationLabel->setEnabled(!music);
    ui->notationBox->setEnabled(!music);
    // Numbered pages are the score read as music, with the row's tempo,
    // transposition and rhythm.
    const bool numbered = !music && m_config->notation() == ExportSettings::JianpuNotation;
    for (auto [label, box, option] :
         {std::tuple<QWidget *, QWidget *, ExportFormats::Option>{ui->tempoLabel, ui->tempoBox,
                                                                  ExportFormats::Tempo},
          {ui->transposeLabel, ui->transposeBox, ExportFormats::Transpose},
          {ui->rhythmLabel, ui->rhythmBox, ExportFormats::Rhythm}}) {
        label->setEnabled(numbered || format.takes(option));
        box->setEnabled(numbered || format.takes(option));
    }
    ui->ornamentsBox->setEnabled(format.takes(ExportFormats::NoOrnaments));
}

void Export::onLivePreviewChanged(int state)
{
    if (m_muted)
        return;
    const bool on = state == Qt::Checked;
    if (on == m_config->isLivePreview())
        return;
    m_config->setIsLivePreview(on);
    // Switching off keeps the page on screen as it is.
    if (on)
        refreshPreview();
}

// ---- Preview ----------------------------------------------------------------

void Export::refreshPreview(bool force)
{
    if (!m_config->isLivePreview() && !force)
        return;
    {
        QScopedValueRollback<bool> quiet(m_quietProgress, true);
        m_generator->clearPages();
        ExportJob::layPages(*m_generator, m_items, musicOptions(), true);
    }
    const QList<QByteArray> &pages = m_generator->pages();
    m_previewPage = pages.isEmpty() ? QByteArray() : pages.first();
    fitPreview();
    ui->preViewWidget->load(m_previewPage.isEmpty() ? EmptySvg : m_previewPage);
    showLayoutWarnings();
    emit previewRefreshed();
}

QStringList Export::layoutWarnings() const
{
    return m_generator->layoutWarnings();
}

void Export::showLayoutWarnings()
{
    QStringList warnings;
    for (const QString &warning : layoutWarnings())
        if (!warnings.contains(warning))
            warnings << warning;
    // One line whatever the number: the full list is the tooltip.
    ui->layoutWarningLabel->setText(warnings.isEmpty()
                                        ? QString()
                                        : tr("未能照设置排版：") + warnings.join(tr("；")));
    ui->layoutWarningLabel->setToolTip(warnings.join(QLatin1Char('\n')));
    ui->layoutWarningLabel->setVisible(!warnings.isEmpty());
}

void Export::fitPreview()
{
    const QSize page = m_config->pageSizePoints();
    const QRect inner = ui->preViewFrame->contentsRect();
    if (page.width() <= 0 || page.height() <= 0 || inner.isEmpty())
        return;
    const double scale = std::min(0.9 * inner.width() / page.width(),
                                  0.9 * inner.height() / page.height());
    const QSize size(qRound(page.width() * scale), qRound(page.height() * scale));
    ui->preViewWidget->setFixedSize(size);
    ui->preViewWidget->move(inner.x() + (inner.width() - size.width()) / 2,
                            inner.y() + (inner.height() - size.height()) / 2);
}

bool Export::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->preViewFrame && event->type() == QEvent::Resize)
        fitPreview();
    else if (event->type() == QEvent::Wheel
             && (watched == ui->pageSizeBox || watched == ui->isLandscapeBox
                 || watched == ui->isLineBreakScoreOverflowBox || watched == ui->titlePosBox
                 || watched == ui->notationBox))
        return true;
    return QDialog::eventFilter(watched, event);
}

// ---- Buttons ------------------------------------------------------------------

void Export::onPreviewAllBtnClicked()
{
    m_generator->clearPages();
    ExportJob::layPages(*m_generator, m_items, musicOptions());
    const QList<QByteArray> pages = m_generator->pages();
    // The generator always lays out at least one (blank) page; a document
    // without lines has nothing worth previewing all the same.
    if (pages.isEmpty() || m_items.isEmpty()) {
        Dialogs::warning(this, tr("警告"), tr("没有可预览的内容"));
        return;
    }
    auto window = std::make_unique<PreviewWindow>(this);
    window->setPages(pages);
    window->exec();
}

void Export::onRestoreBtnClicked()
{
    m_config->restoreDefaults();
    loadControls();
    refreshPreview(true);
}

void Export::onSaveBtnClicked()
{
    RecentFiles *recent = RecentFiles::instance();
    const QString path = Dialogs::getSaveFileName(
        this, tr("保存方案"), recent->lastDir(RecentFiles::SchemeKind), SchemeFilter,
        QStringLiteral("json"));
    if (path.isEmpty())
        return;
    recent->setLastDir(RecentFiles::SchemeKind, path);
    SafeWrite::Failure why;
    if (m_config->saveScheme(path, &why))
        Dialogs::information(this, tr("成功"), tr("保存成功！"));
    else
        Dialogs::warning(this, tr("错误"), SafeWrite::message(tr("保存失败"), why));
}

void Export::onImportBtnClicked()
{
    RecentFiles *recent = RecentFiles::instance();
    const QString path = Dialogs::getOpenFileName(this, tr("导入方案"),
                                                  recent->lastDir(RecentFiles::SchemeKind),
                                                  SchemeFilter);
    if (path.isEmpty())
        return;
    recent->setLastDir(RecentFiles::SchemeKind, path);
    if (!m_config->loadScheme(path)) {
        Dialogs::warning(this, tr("错误"), tr("导入失败，文件错误！"));
        return;
    }
    loadControls();
    refreshPreview(true);
    Dialogs::information(this, tr("成功"), tr("导入成功！"));
}

void Export::onSubmitBtnClicked()
{
    const ExportFormats::Format &format = chosenFormat();
    RecentFiles *recent = RecentFiles::instance();
    const QString startDir = recent->lastDir(RecentFiles::ExportKind);
    QString target;
    if (format.folder) {
        target = Dialogs::getExistingDirectory(this, format.caption, startDir);
    } else {
        // The preview has already read the document's title.
        const QString title = Dialogs::fileNameFrom(m_generator->title());
        target = Dialogs::getSaveFileName(this, format.caption, startDir, format.filter,
                                          format.suffix,
                                          title.isEmpty() ? ExportNames::defaultTitle() : title);
    }
    if (target.isEmpty())
        return;
    recent->setLastDir(RecentFiles::ExportKind,
                       format.folder ? target : QFileInfo(target).absolutePath());

    ExportRequest request;
    request.format = &format;
    request.target = target;
    request.items = m_items;
    request.config = m_config;
    const int index = ui->dpiBox->currentIndex();
    request.quality = (index >= 1 && index <= 3) ? index : 0;
    const auto rhythm = Music::Rhythm(
        qBound(0, ui->rhythmBox->currentIndex(), Music::RhythmCount - 1));
    request.music = musicOptions();
    if (format.needsSoundFont) {
        // The sound the transport plays: its SoundFont and instrument.
        QSettings settings(DataPaths::settingsFile(), QSettings::IniFormat);
        const PlaybackSettings playback = PlaybackSettings::load(settings);
        request.music = PlaybackSettings::musicOptions(ui->tempoBox->value(),
                                                       ui->transposeBox->value(), rhythm,
                                                       ui->ornamentsBox->isChecked(),
                                                       playback.instrument);
        request.soundFont = playback.soundFont;
    } else {
        // The pages are laid out by the dialog's generator, whose progress
        // the dialog shows.
        request.pages = m_generator;
    }
    const ExportResult result =
        format.needsSoundFont ? renderSound(request) : ExportJob::run(request);
    if (!ExportWriters::report(result))
        return;
    Dialogs::information(this, tr("成功"), tr("导出成功！"));
    accept();
}

ExportResult Export::renderSound(const ExportRequest &request)
{
    // Rendered on a worker thread; this one keeps the progress dialog
    // alive and its cancel button answering.
    constexpr int Steps = 1000;
    std::atomic<int> done{0};
    std::atomic<bool> cancel{false};
    onProgressUpdate(0, 0, Steps, tr("导出"), tr("正在生成 WAV 音频……"));
    m_progress->setCancelButtonText(tr("取消"));
    const QMetaObject::Connection cancelled =
        connect(m_progress, &QProgressDialog::canceled, this, [&cancel] { cancel = true; });
    QFutureWatcher<ExportResult> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcher<ExportResult>::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [this, &done] {
        if (m_progress && !m_progress->wasCanceled())
            m_progress->setValue(done);
    });
    tick.start(33);
    watcher.setFuture(QtConcurrent::run([request, &done, &cancel] {
        ExportProgress progress;
        progress.fraction = [&done, &cancel](double fraction) {
            done = int(fraction * Steps);
            return !cancel;
        };
        return ExportJob::run(request, progress);
    }));
    if (!watcher.isFinished())
        loop.exec();
    // The loop also ends when the application quits: the worker uses what
    // lives on this stack, so it is stopped and awaited before returning.
    if (!watcher.isFinished()) {
        cancel = true;
        watcher.waitForFinished();
    }
    tick.stop();
    disconnect(cancelled);
    const ExportResult result = watcher.result();
    if (m_progress)
        m_progress->setCancelButton(nullptr);
    onProgressUpdate(2, Steps, Steps, QString(), QString());
    return result;
}

// ---- Progress -----------------------------------------------------------------

void Export::onProgressUpdate(int status, int value, int maxValue, const QString &winTitle,
                              const QString &tip)
{
    if (m_quietProgress)
        return;
    if (!m_progress) {
        m_progress = new QProgressDialog(this);
        m_progress->setModal(true);
        m_progress->setCancelButton(nullptr);
        m_progress->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        m_progress->setRange(0, maxValue);
        m_progress->setMinimumDuration(0);
        // Only status 2 closes it.
        m_progress->setAutoReset(false);
        m_progress->setAutoClose(false);
    }
    switch (status) {
    case GenerateSVG::ProgressStart:
        setEnabled(false);
        // A window child may stay enabled while its parent is disabled.
        m_progress->setEnabled(true);
        m_progress->setLabelText(tip);
        m_progress->setWindowTitle(winTitle);
        m_progress->setRange(0, maxValue);
        m_progress->setValue(value);
        m_progress->show();
        break;
    case GenerateSVG::ProgressStep:
        m_progress->setValue(value);
        break;
    case GenerateSVG::ProgressEnd:
        m_progress->reset();
        m_progress->hide();
        setEnabled(true);
        break;
    default:
        break;
    }
}

void Export::done(int result)
{
    m_config->save();
    QDialog::done(result);
}
