// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QWidget>

class QComboBox;
class QFontComboBox;
class QIntValidator;
class QLineEdit;

// What both pickers share: a family list beside a point-size field.
class FontSizeBox : public QWidget
{
    Q_OBJECT

public:
    // The size field accepts min..max; its placeholder shows "min~max".
    void setSizeRange(int min, int max);
    // Shows a size without emitting anything.
    void setSize(int size);
    // The size field's value: the bottom of the range when empty, 0 when it is
    // not a number; not bounded by the range.
    int size() const;
    // Selects the font's family in the list.
    virtual void setCurrentFont(const QFont &font) = 0;
    // The selected family, as named rather than as resolved, with the size
    // applied (a size of 0 or less leaves the point size as it was).
    QFont font() const;

    QLineEdit *lineEdit() const { return m_lineEdit; }

signals:
    void fontChanged(QFont font, int size);

public slots:
    // Editing finished: the size is bounded to the range, and reported.
    void onLineEditChanged();

protected:
    using QWidget::QWidget;
    // Lays out list, this box's family list, with the size field beside it.
    void addSizeField(QComboBox *list);

private:
    QComboBox *m_list = nullptr;
    QLineEdit *m_lineEdit = nullptr;
    QIntValidator *m_validator = nullptr;
};

// A system font list with a point-size field. A size set from code is shown
// silently; a family selected from code, like one chosen by the user, changes
// the list's selection and so emits fontChanged().
class FontBox : public FontSizeBox
{
    Q_OBJECT

public:
    explicit FontBox(QWidget *parent = nullptr);

    // By its own name even when the system draws it with a substitute.
    void setCurrentFont(const QFont &font) override;

    QFontComboBox *fontComboBox() const { return m_comboBox; }

public slots:
    void onFontChanged();

private:
    void showFamily(const QString &family);

    QFontComboBox *m_comboBox = nullptr;
    bool m_selecting = false;
};

// The same picker, listing only the registered notation fonts (as registered
// when the box was built), in the registry's order.
class CustomFontBox : public FontSizeBox
{
    Q_OBJECT

public:
    explicit CustomFontBox(QWidget *parent = nullptr);

    // The item whose text equals the family exactly; with no such item the
    // selection stays.
    void setCurrentFont(const QFont &font) override;

    QComboBox *comboBox() const { return m_comboBox; }

public slots:
    void onFontChanged();

private:
    QComboBox *m_comboBox = nullptr;
};
