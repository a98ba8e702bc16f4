// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QPointer>

class QTextBrowser;
class QUrl;

namespace Ui {
class Help;
}

// The input method's tutorial: a fixed rich-text page in a browser.
// Links open in the desktop's browser rather than inside the dialog; the
// link to the full guide opens the guide bundled with the program.
class Help : public QDialog
{
    Q_OBJECT

public:
    explicit Help(QWidget *parent = nullptr);
    ~Help() override;

    QTextBrowser *textBrowser() const;

    // The address of the link that opens the bundled guide.
    static QUrl guideLink();
    // The bundled guide (":/docs/guide.html").
    static QString bundledGuide();
    // Writes the bundled guide to the cache folder (once per program
    // version's text) so the desktop's browser can open it; empty when it
    // cannot be written.
    static QString guideFile();

    // Opens the guide in the desktop's browser; where there is none (or the
    // cache cannot be written), in a window of the dialog's own.
    void openGuide();
    // That window, once shown.
    QTextBrowser *guideWindow() const { return m_guideWindow; }

private:
    void onLinkClicked(const QUrl &url);

    Ui::Help *ui;
    QPointer<QTextBrowser> m_guideWindow;
};
