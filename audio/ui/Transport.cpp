// SPDX-License-Identifier: GPL-3.0-or-later
#include "Transport.h"

Transport::Transport(QWidget *parent)
    : QToolBar(parent)
{
}
