// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPalette>

#include <functional>

class QLineEdit;

// Keeps a validated number field honest. An entry its validator does not
// accept (out of range, empty, a lone minus sign) is marked invalid while it
// is typed; leaving the field puts back the value in force, so the field
// never shows a number that is not the one used.
class NumberField : public QObject
{
    Q_OBJECT

public:
    // Guards field for its lifetime; inForce gives the value in force.
    static NumberField *guard(QLineEdit *field, std::function<int()> inForce);

    // Whether the field is marked as holding an unacceptable entry.
    static bool isMarkedInvalid(const QLineEdit *field);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    NumberField(QLineEdit *field, std::function<int()> inForce);
    void mark();

    QLineEdit *m_field;
    std::function<int()> m_inForce;
    QPalette m_normal;
};
