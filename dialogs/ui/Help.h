#pragma once

#include <QDialog>

class QTextBrowser;

namespace Ui {
class Help;
}

// The input method's tutorial: a fixed rich-text page in a browser.
// Links open in the desktop's browser rather than inside the dialog.
class Help : public QDialog
{
    Q_OBJECT

public:
    explicit Help(QWidget *parent = nullptr);
    ~Help() override;

    QTextBrowser *textBrowser() const;

private:
    Ui::Help *ui;
};
