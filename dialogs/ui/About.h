// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QTextBrowser;

namespace Ui {
class About;
}

// What the program is, its features, version and contact addresses.
// Links open in the desktop's browser rather than inside the dialog.
class About : public QDialog
{
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);
    ~About() override;

    QTextBrowser *textBrowser() const;

private:
    Ui::About *ui;
};
