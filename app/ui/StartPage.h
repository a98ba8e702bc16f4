// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QScrollArea>

class QVBoxLayout;

// Stands in for the sponsor page while none is there (first start offline):
// new, open, the sample score, the recently opened scores, and a card of
// the lyric markup. It only asks; the main window does the opening.
class StartPage : public QScrollArea
{
    Q_OBJECT

public:
    explicit StartPage(QWidget *parent = nullptr);

    // Rebuilds the recent list from the stored one (most recent first).
    void refreshRecent();

signals:
    void newRequested();
    void openRequested();
    void sampleRequested();
    void recentRequested(const QString &path);

private:
    QWidget *buildStartColumn();
    QWidget *buildMarkupCard();

    QVBoxLayout *m_recentLayout = nullptr;
};
