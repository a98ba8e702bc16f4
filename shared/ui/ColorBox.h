// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QLineEdit;
class QPushButton;

// A hexadecimal colour field with a swatch button that opens the colour
// dialog. Colours set from code are shown silently; the user's choices are
// reported through colorChanged().
class ColorBox : public QWidget
{
    Q_OBJECT

public:
    explicit ColorBox(QWidget *parent = nullptr);

    // Shows the colour without emitting colorChanged(); an invalid colour is
    // ignored.
    void setColor(const QColor &color);
    // The last accepted colour.
    QColor color() const { return m_color; }

    QLineEdit *lineEdit() const { return m_lineEdit; }
    QPushButton *pushButton() const { return m_pushButton; }

signals:
    void colorChanged(QColor c);

public slots:
    // Swatch clicked: pick a colour in the colour dialog.
    void onPushButtonClicked();
    // Colour field's editing finished: accept a three- or six-digit colour,
    // otherwise warn and restore the last accepted name.
    void onLineEditChanged();

private:
    void showColor(const QColor &color);

    QLineEdit *m_lineEdit = nullptr;
    QPushButton *m_pushButton = nullptr;
    QString m_colorName;
    QColor m_color;
};
