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

} // namespace

// A box built without a parent is a 640 x 480 window at construction; size
// it as the child it will be.
void FontSizeBox::addSizeField(QComboBox *list)
{
    const int baseHeight = isWindow() ? 30 : height();
    m_list = list;
    list->setEditable(false);
    list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Long family names must not set the width of the dialogs' grids.
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(8);

    m_lineEdit = new QLineEdit(this);
    m_validator = new QIntValidator(5, 300, m_lineEdit);
    m_lineEdit->setValidator(m_validator);
    m_lineEdit->setText(QString::number(m_validator->bottom()));
    m_lineEdit->setStyleSheet(QString::fromLatin1(LineEditStyle));
    m_lineEdit->setMinimumWidth(int(1.2 * baseHeight));
    m_lineEdit->setMaximumWidth(int(1.6 * baseHeight));
    m_lineEdit->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list, 1);
    layout->addWidget(m_lineEdit, 0);
    connect(m_lineEdit, &QLineEdit::editingFinished, this, &FontSizeBox::onLineEditChanged);
}

void FontSizeBox::setSizeRange(int min, int max)
{
    m_validator->setRange(min, max);
    m_lineEdit->setPlaceholderText(QString::number(min) + QLatin1Char('~') + QString::number(max));
}

void FontSizeBox::setSize(int size) { m_lineEdit->setText(QString::number(size)); }

int FontSizeBox::size() const
{
    if (m_lineEdit->text().isEmpty())
        return m_validator->bottom();
    return m_lineEdit->text().toInt(); // 0 when not a number
}

QFont FontSizeBox::font() const
{
    QFont font(m_list->currentText());
    const int value = m_lineEdit->text().toInt();
    if (value > 0)
        font.setPointSize(value);
    return font;
}

void FontSizeBox::onLineEditChanged()
{
    if (!m_lineEdit->text().isEmpty()) {
        const int value = m_lineEdit->text().toInt();
        const int bounded = qBound(m_validator->bottom(), value, m_validator->top());
        if (bounded != value)
            m_lineEdit->setText(QString::number(bounded));
    }
    emit fontChanged(font(), size());
}

FontBox::FontBox(QWidget *parent)
    : FontSizeBox(parent)
    , m_comboBox(new QFontComboBox(this))
{
    addSizeField(m_comboBox);
    connect(m_comboBox, &QFontComboBox::currentFontChanged, this, &FontBox::onFontChanged);
}

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

void FontBox::onFontChanged()
{
    if (!m_selecting)
        emit fontChanged(font(), size());
}

CustomFontBox::CustomFontBox(QWidget *parent)
    : FontSizeBox(parent)
    , m_comboBox(new QComboBox(this))
{
    const QStringList families = FontRegistry::instance().families();
    for (const QString &family : families)
        m_comboBox->addItem(QIcon(), family);
    addSizeField(m_comboBox);
    connect(m_comboBox, &QComboBox::currentIndexChanged, this, &CustomFontBox::onFontChanged);
}

void CustomFontBox::setCurrentFont(const QFont &font)
{
    const int index = m_comboBox->findText(font.family(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_comboBox->setCurrentIndex(index);
}

void CustomFontBox::onFontChanged() { emit fontChanged(font(), size()); }
