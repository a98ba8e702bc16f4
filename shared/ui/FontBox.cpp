// SPDX-License-Identifier: GPL-3.0-or-later
#include "shared/ui/FontBox.h"

#include "fonts/FontRegistry.h"

#include <QComboBox>
#include <QFontComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QIntValidator>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QStringListModel>

namespace {

const char *const LineEditStyle =
    "QLineEdit { border: 1px solid #adadad; } "
    "QLineEdit:focus, QLineEdit:hover { border: 1px solid #608dfa; }";

// The size field and layout both pickers share. A box built without a parent
// is a 640 x 480 window at construction; size it as the child it will be.
QLineEdit *buildSizeField(QWidget *box, QWidget *list, QIntValidator *&validator)
{
    const int baseHeight = box->isWindow() ? 30 : box->height();

    list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Long family names must not set the width of the dialogs' grids.
    if (auto *combo = qobject_cast<QComboBox *>(list)) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(8);
    }

    auto *field = new QLineEdit(box);
    validator = new QIntValidator(5, 300, field);
    field->setValidator(validator);
    field->setText(QString::number(validator->bottom()));
    field->setStyleSheet(QString::fromLatin1(LineEditStyle));
    field->setMinimumWidth(int(1.2 * baseHeight));
    field->setMaximumWidth(int(1.6 * baseHeight));
    field->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list, 1);
    layout->addWidget(field, 0);
    return field;
}

void setRange(QLineEdit *field, QIntValidator *validator, int min, int max)
{
    validator->setRange(min, max);
    field->setPlaceholderText(QString::number(min) + QLatin1Char('~') + QString::number(max));
}

int sizeOf(const QLineEdit *field, const QIntValidator *validator)
{
    if (field->text().isEmpty())
        return validator->bottom();
    return field->text().toInt(); // 0 when not a number
}

QFont withSize(QFont font, const QLineEdit *field)
{
    const int value = field->text().toInt();
    if (value > 0)
        font.setPointSize(value);
    return font;
}

// Editing finished: bound the value to the range, showing the bounded value
// when it differs.
void boundField(QLineEdit *field, const QIntValidator *validator)
{
    if (field->text().isEmpty())
        return;
    const int value = field->text().toInt();
    const int bounded = qBound(validator->bottom(), value, validator->top());
    if (bounded != value)
        field->setText(QString::number(bounded));
}

} // namespace

// ---- FontBox ----

FontBox::FontBox(QWidget *parent)
    : QWidget(parent)
{
    m_comboBox = new QFontComboBox(this);
    m_comboBox->setEditable(false);
    m_lineEdit = buildSizeField(this, m_comboBox, m_validator);

    connect(m_lineEdit, &QLineEdit::editingFinished, this, &FontBox::onLineEditChanged);
    connect(m_comboBox, &QFontComboBox::currentFontChanged, this, &FontBox::onFontChanged);
}

void FontBox::setSizeRange(int min, int max) { setRange(m_lineEdit, m_validator, min, max); }

void FontBox::setSize(int size) { m_lineEdit->setText(QString::number(size)); }

int FontBox::size() const { return sizeOf(m_lineEdit, m_validator); }

void FontBox::setCurrentFont(const QFont &font)
{
    const QString before = m_comboBox->currentText();
    {
        // The list lands on whatever face draws the family (a substitute, or
        // a Latin fallback); only the final selection is a change.
        const QScopedValueRollback<bool> selecting(m_selecting, true);
        m_comboBox->setCurrentFont(font);
        showFamily(font.family());
    }
    if (m_comboBox->currentText() != before)
        onFontChanged();
}

QFont FontBox::font() const { return withSize(QFont(m_comboBox->currentText()), m_lineEdit); }

// A family the system draws through a substitute is not in the list under its
// own name. It is the user's choice all the same: list and select it by that
// name, so it is shown and stored as chosen.
void FontBox::showFamily(const QString &family)
{
    if (family.isEmpty() || m_comboBox->currentText() == family)
        return;
    int row = m_comboBox->findText(family, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (row < 0) {
        auto *model = qobject_cast<QStringListModel *>(m_comboBox->model());
        if (!model || !model->insertRows(0, 1))
            return;
        model->setData(model->index(0), family);
        row = 0;
    }
    m_comboBox->setCurrentIndex(row);
}

void FontBox::onLineEditChanged()
{
    boundField(m_lineEdit, m_validator);
    emit fontChanged(font(), size());
}

void FontBox::onFontChanged()
{
    if (!m_selecting)
        emit fontChanged(font(), size());
}

// ---- CustomFontBox ----

CustomFontBox::CustomFontBox(QWidget *parent)
    : QWidget(parent)
{
    m_comboBox = new QComboBox(this);
    m_comboBox->setEditable(false);
    const QStringList families = FontRegistry::instance().families();
    for (const QString &family : families)
        m_comboBox->addItem(QIcon(), family);
    m_lineEdit = buildSizeField(this, m_comboBox, m_validator);

    connect(m_lineEdit, &QLineEdit::editingFinished, this, &CustomFontBox::onLineEditChanged);
    connect(m_comboBox, &QComboBox::currentIndexChanged, this, &CustomFontBox::onFontChanged);
}

void CustomFontBox::setSizeRange(int min, int max) { setRange(m_lineEdit, m_validator, min, max); }

void CustomFontBox::setSize(int size) { m_lineEdit->setText(QString::number(size)); }

int CustomFontBox::size() const { return sizeOf(m_lineEdit, m_validator); }

void CustomFontBox::setCurrentFont(const QFont &font)
{
    const int index = m_comboBox->findText(font.family(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_comboBox->setCurrentIndex(index);
}

QFont CustomFontBox::font() const
{
    return withSize(QFont(m_comboBox->currentText()), m_lineEdit);
}

void CustomFontBox::onLineEditChanged()
{
    boundField(m_lineEdit, m_validator);
    emit fontChanged(font(), size());
}

void CustomFontBox::onFontChanged() { emit fontChanged(font(), size()); }
