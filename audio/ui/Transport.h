// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QToolBar>

// The main window's playback controls (stub until built).
class Transport : public QToolBar
{
    Q_OBJECT

public:
    explicit Transport(QWidget *parent = nullptr);
};
