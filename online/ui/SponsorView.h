// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTextBrowser>

// Shows the sponsor page, HTML that comes from the network. It never fetches
// anything the page references (images, style sheets; remote or local files)
// and never navigates: a clicked web link opens in the desktop's browser.
class SponsorView : public QTextBrowser
{
    Q_OBJECT

public:
    explicit SponsorView(QWidget *parent = nullptr);

    QVariant loadResource(int type, const QUrl &name) override;

private:
    void openLink(const QUrl &url);
};
