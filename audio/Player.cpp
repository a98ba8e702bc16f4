// SPDX-License-Identifier: GPL-3.0-or-later
#include "Player.h"

struct Player::Engine
{
};

Player::Player(QObject *parent)
    : QObject(parent)
{
}

Player::~Player() = default;

bool Player::play(const QByteArray &, const QString &, int, QString *error)
{
    if (error)
        *error = QStringLiteral("没有可用的音频设备"); // stub
    return false;
}

void Player::pause() {}
void Player::resume() {}
void Player::stop() {}
bool Player::isActive() const { return false; }
bool Player::isPaused() const { return false; }
int Player::currentTick() const { return 0; }
void Player::setLoop(int, int) {}
void Player::setTempo(double) {}

QString Player::driverName()
{
    return QString(); // stub
}
