// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the tests that drive the document model and its commands
// without a widget.
#include "document/EditCommands.h"
#include "document/PairedDocument.h"

#include <QString>
#include <QTextCursor>
#include <QTextDocument>

namespace DocumentTest {

inline QString lines(const QString &text)
{
    return QString(text).replace(QLatin1Char('\n'), QLatin1Char('|'));
}

inline QTextCursor cursorAt(QTextDocument *document, int position, int anchor)
{
    QTextCursor cursor(document);
    cursor.setPosition(anchor < 0 ? position : anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    return cursor;
}

// "type:<text>", "s-type:<text>" (score, exactly Shift), or a key: "bs",
// "del", with a modifier prefix "c-", "s-" or "cs-".
inline EditCommand *commandFor(PairedDocument *document, bool score, const QString &op)
{
    const int colon = int(op.indexOf(QLatin1Char(':')));
    const QString key = colon < 0 ? op : op.left(colon);
    Qt::KeyboardModifiers modifiers;
    if (key.startsWith(QLatin1String("cs-")))
        modifiers = Qt::ControlModifier | Qt::ShiftModifier;
    else if (key.startsWith(QLatin1String("c-")))
        modifiers = Qt::ControlModifier;
    else if (key.startsWith(QLatin1String("s-")))
        modifiers = Qt::ShiftModifier;
    if (colon >= 0) {
        const QString text = op.mid(colon + 1);
        if (score)
            return new InsertScoreCommand(document, text, modifiers);
        return new InsertLyricCommand(document, text);
    }
    const bool backward = key.endsWith(QLatin1String("bs"));
    if (score)
        return new DeleteScoreCommand(document, backward, modifiers);
    return new DeleteLyricCommand(document, backward, modifiers);
}

} // namespace DocumentTest
