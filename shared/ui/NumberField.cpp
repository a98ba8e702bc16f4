// SPDX-License-Identifier: GPL-3.0-or-later
#include "shared/ui/NumberField.h"

#include <QEvent>
#include <QLineEdit>

namespace {
const char *const InvalidProperty = "numberFieldInvalid";
} // namespace

NumberField *NumberField::guard(QLineEdit *field, std::function<int()> inForce)
{
    return new NumberField(field, std::move(inForce));
}

bool NumberField::isMarkedInvalid(const QLineEdit *field)
{
    return field->property(InvalidProperty).toBool();
}

NumberField::NumberField(QLineEdit *field, std::function<int()> inForce)
    : QObject(field)
    , m_field(field)
    , m_inForce(std::move(inForce))
    , m_normal(field->palette())
{
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, &NumberField::mark);
    mark();
}

void NumberField::mark()
{
    const bool invalid = !m_field->hasAcceptableInput();
    if (invalid == isMarkedInvalid(m_field))
        return;
    m_field->setProperty(InvalidProperty, invalid);
    QPalette palette = m_normal;
    if (invalid) {
        // The negative colours of the usual desktop colour schemes.
        palette.setColor(QPalette::Base, QColor(0xf7, 0xe6, 0xe6));
        palette.setColor(QPalette::Text, QColor(0xbf, 0x03, 0x03));
    }
    m_field->setPalette(palette);
}

bool NumberField::eventFilter(QObject *watched, QEvent *event)
{
    // Before the field handles the focus loss itself: it then finds an
    // acceptable entry, the value in force, which changes nothing.
    if (watched == m_field && event->type() == QEvent::FocusOut && !m_field->hasAcceptableInput())
        m_field->setText(QString::number(m_inForce()));
    return QObject::eventFilter(watched, event);
}
