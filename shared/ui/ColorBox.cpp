// SPDX-License-Identifier: GPL-3.0-or-later
#include "shared/ui/ColorBox.h"

#include "shared/ui/DialogService.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>

namespace {

const char *const LineEditStyle =
    "QLineEdit { border: 1px solid #adadad; } "
    "QLineEdit:focus, QLineEdit:hover { border: 1px solid #608dfa; } "
    "QLineEdit:disabled { background-color: palette(window); }";

// Disabled, the swatch fades into the window as the greyed field beside it
// does: a bright swatch would look as if it could still be picked.
constexpr qreal DisabledStrength = 0.25;

QString swatchStyle(const QColor &color, const QColor &window)
{
    const auto mix = [](qreal c, qreal w) {
        return c * DisabledStrength + w * (1 - DisabledStrength);
    };
    const QColor faded = QColor::fromRgbF(mix(color.redF(), window.redF()),
                                          mix(color.greenF(), window.greenF()),
                                          mix(color.blueF(), window.blueF()));
    return QStringLiteral("QPushButton{ background-color: %1;} "
                          "QPushButton:disabled{ background-color: %2;}")
        .arg(color.name(), faded.name());
}

// The field admits only "#" and up to six digits; of those, the three- and
// six-digit forms name a colour.
QColor parseColor(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^#([0-9a-fA-F]{3}|[0-9a-fA-F]{6})$"));
    if (!form.match(text).hasMatch())
        return QColor();
    return QColor::fromString(text);
}

} // namespace

ColorBox::ColorBox(QWidget *parent)
    : QWidget(parent)
    , m_colorName(QStringLiteral("#ffffff"))
    , m_color(Qt::white)
{
    // A box built without a parent is a window of 640 x 480 at this point;
    // size its swatch as if it were the child it will become.
    const int baseHeight = isWindow() ? 30 : height();

    m_lineEdit = new QLineEdit(this);
    m_lineEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^#[0-9a-fA-F]{0,6}$")), m_lineEdit));
    m_lineEdit->setStyleSheet(QString::fromLatin1(LineEditStyle));
    m_lineEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_lineEdit->setText(m_colorName);

    m_pushButton = new QPushButton(this);
    m_pushButton->setAutoDefault(false);
    const int side = baseHeight - 4 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    // Square at the box's own height; it may grow taller with its row.
    m_pushButton->setFixedWidth(side);
    m_pushButton->setMinimumHeight(side);
    m_pushButton->resize(side, side);
    m_pushButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_pushButton->setStyleSheet(swatchStyle(m_color, palette().color(QPalette::Window)));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_lineEdit, 1);
    layout->addWidget(m_pushButton, 0);

    connect(m_pushButton, &QPushButton::clicked, this, &ColorBox::onPushButtonClicked);
    connect(m_lineEdit, &QLineEdit::editingFinished, this, &ColorBox::onLineEditChanged);
}

void ColorBox::setColor(const QColor &color)
{
    if (!color.isValid())
        return;
    showColor(color);
    m_lineEdit->setText(m_colorName);
}

void ColorBox::showColor(const QColor &color)
{
    m_color = color;
    m_colorName = color.name();
    m_pushButton->setStyleSheet(swatchStyle(m_color, palette().color(QPalette::Window)));
}

void ColorBox::onPushButtonClicked()
{
    const QColor chosen = Dialogs::getColor(m_color, this, tr("选择颜色"));
    if (!chosen.isValid())
        return;
    showColor(chosen);
    m_lineEdit->setText(m_colorName);
    emit colorChanged(m_color);
}

void ColorBox::onLineEditChanged()
{
    const QColor parsed = parseColor(m_lineEdit->text());
    if (parsed.isValid()) {
        // The field keeps what was typed (say the three-digit form).
        showColor(parsed);
        emit colorChanged(m_color);
        return;
    }
    // Put the last good name back before the warning opens: the warning takes
    // the focus, and the field must not report the bad text a second time.
    m_lineEdit->setText(m_colorName);
    Dialogs::warning(this, tr("警告"), tr("错误的颜色值!"));
    m_lineEdit->setText(m_colorName);
    m_lineEdit->setFocus();
}
