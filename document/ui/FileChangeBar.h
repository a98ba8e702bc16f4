// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>

class QLabel;
class QPushButton;
class QToolButton;

// The thin bar above the panes of a paired editor that says its file was
// changed or removed on disk by someone else, with what can be done about
// it: a message bar, not a dialog, so that the user reads it and decides
// while the text stays usable.
class FileChangeBar : public QWidget
{
    Q_OBJECT

public:
    enum class Message { Modified, Deleted };

    explicit FileChangeBar(QWidget *parent = nullptr);

    // Shows the bar with this message and its buttons.
    void showMessage(Message message);
    Message message() const { return m_message; }

    QLabel *label() const { return m_label; }
    QPushButton *reloadButton() const { return m_reload; }
    QPushButton *keepButton() const { return m_keep; }
    QToolButton *closeButton() const { return m_close; }

signals:
    void reloadRequested();
    void keepRequested();
    // The removal was noted: the bar may go.
    void dismissed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The tint of the message, taken with the palette.
    void updateColours();

    Message m_message = Message::Modified;
    QLabel *m_icon;
    QLabel *m_label;
    QPushButton *m_reload;
    QPushButton *m_keep;
    QToolButton *m_close;
    QColor m_fill;
    QColor m_border;
};
