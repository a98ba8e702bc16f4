// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Driving a KelvoEdit as a user would: shown, focused, keys sent to the
// pane that has the focus.

#include "document/PairedDocument.h"
#include "document/ui/KelvoEdit.h"
#include "editor/ui/LyricEdit.h"
#include "editor/ui/ScoreEdit.h"

#include <QApplication>
#include <QTextBlock>
#include <QUndoStack>
#include <QtTest>

namespace KelvoEditTest {

// Notation symbols by index, so that expected texts stay readable.
inline QString sym(int i)
{
    return QString::fromUcs4(std::u32string(1, char32_t(0xF0000 + i)).data(), 1);
}

inline void showAndFocus(KelvoEdit &edit, QWidget *pane)
{
    if (!edit.isVisible()) {
        edit.resize(900, 600);
        edit.show();
        edit.activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
    }
    pane->setFocus();
    QTRY_VERIFY(pane->hasFocus());
}

// Replaces both texts as a loaded document would be, with empty histories.
inline void setTexts(KelvoEdit &edit, const QString &lyric, const QString &score)
{
    edit.lyricEdit()->setPlainText(lyric);
    edit.scoreEdit()->setPlainText(score);
    edit.document()->undoStack()->clear();
}

inline void setCursor(QPlainTextEdit *pane, int position, int anchor = -1)
{
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(anchor < 0 ? position : anchor);
    if (anchor >= 0)
        cursor.setPosition(position, QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
}

// One character typed: Latin letters and digits with their key codes,
// everything else as a key event carrying the text (as an input method or
// a keyboard layout delivers an ideograph).
inline void typeChar(QWidget *pane, QChar c)
{
    if (c == QLatin1Char('\n')) {
        QTest::keyClick(pane, Qt::Key_Return);
    } else if (c.unicode() < 0x80 && c.isLetterOrNumber()) {
        QTest::keyClick(pane, char(c.unicode()));
    } else if (c == QLatin1Char(' ')) {
        QTest::keyClick(pane, Qt::Key_Space);
    } else {
        QTest::sendKeyEvent(QTest::Press, pane, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, pane, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

inline void typeText(QWidget *pane, const QString &text)
{
    for (QChar c : text)
        typeChar(pane, c);
}

// A step of a key script: "{BS}" "{C-BS}" "{CS-BS}" "{S-BS}" "{DEL}" "{C-DEL}"
// "{CS-DEL}" "{S-DEL}" "{RET}" "{S-RET}" "{HOME}" "{END}" "{LEFT}" "{RIGHT}"
// "{S-LEFT}" "{S-RIGHT}" "{UP}" "{DOWN}" "{TAB}" or literal text.
inline void runStep(QWidget *pane, const QString &step)
{
    struct Key
    {
        const char *name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    static const Key keys[] = {
        {"{BS}", Qt::Key_Backspace, Qt::NoModifier},
        {"{C-BS}", Qt::Key_Backspace, Qt::ControlModifier},
        {"{CS-BS}", Qt::Key_Backspace, Qt::ControlModifier | Qt::ShiftModifier},
        {"{S-BS}", Qt::Key_Backspace, Qt::ShiftModifier},
        {"{DEL}", Qt::Key_Delete, Qt::NoModifier},
        {"{C-DEL}", Qt::Key_Delete, Qt::ControlModifier},
        {"{CS-DEL}", Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier},
        {"{S-DEL}", Qt::Key_Delete, Qt::ShiftModifier},
        {"{RET}", Qt::Key_Return, Qt::NoModifier},
        {"{ENTER}", Qt::Key_Enter, Qt::KeypadModifier},
        {"{S-RET}", Qt::Key_Return, Qt::ShiftModifier},
        {"{HOME}", Qt::Key_Home, Qt::NoModifier},
        {"{END}", Qt::Key_End, Qt::NoModifier},
        {"{LEFT}", Qt::Key_Left, Qt::NoModifier},
        {"{RIGHT}", Qt::Key_Right, Qt::NoModifier},
        {"{S-LEFT}", Qt::Key_Left, Qt::ShiftModifier},
        {"{S-RIGHT}", Qt::Key_Right, Qt::ShiftModifier},
        {"{UP}", Qt::Key_Up, Qt::NoModifier},
        {"{DOWN}", Qt::Key_Down, Qt::NoModifier},
        {"{TAB}", Qt::Key_Tab, Qt::NoModifier},
        {"{SPACE}", Qt::Key_Space, Qt::NoModifier},
        {"{ESC}", Qt::Key_Escape, Qt::NoModifier},
        {"{C-Z}", Qt::Key_Z, Qt::ControlModifier},
        {"{CS-Z}", Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier},
        {"{C-C}", Qt::Key_C, Qt::ControlModifier},
        {"{C-X}", Qt::Key_X, Qt::ControlModifier},
        {"{C-V}", Qt::Key_V, Qt::ControlModifier},
    };
    for (const Key &k : keys) {
        if (step == QLatin1String(k.name)) {
            QTest::keyClick(pane, k.key, k.modifiers);
            return;
        }
    }
    typeText(pane, step);
}

inline void runSteps(QWidget *pane, const QStringList &steps)
{
    for (const QString &step : steps)
        runStep(pane, step);
}

// Score text with "|" for line breaks, for readable failure messages.
inline QString lines(const QPlainTextEdit *pane)
{
    return pane->toPlainText().replace(QLatin1Char('\n'), QLatin1Char('|'));
}

} // namespace KelvoEditTest
