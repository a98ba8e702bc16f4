// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/Composition.h"
#include "input/SymbolDictionary.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

// The candidate window of the built-in input method: a small tool-tip window
// that floats under the score pane's text cursor while the user composes.
// The first row shows the typed letters cut into segments, the second the
// numbered candidates of the current page. The composition logic itself is
// Composition's; this class only shows it and keeps the window in step.
// It never edits a document: the commit operations hand back the chosen text
// and the caller inserts it.
class InputMethod : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PageSize = 6;
    static constexpr int RowGap = 6;
    static constexpr int CandidateGap = 20;
    static constexpr int TopMargin = 3;
    static constexpr int BottomMargin = 8;
    static constexpr int LeftMargin = 10;
    static constexpr int RightMargin = 10;
    static constexpr int MinimumWidth = 200;
    static constexpr int AnchorOffset = 10; // below the cursor
    static constexpr int ScreenMargin = 10; // kept free at the right and bottom

    // The one window of the process, created (and its dictionary loaded) on
    // first use and deleted while the application object still exists.
    static InputMethod *instance();
    // The window if instance() has created it, otherwise null. For callers
    // that would only tidy up an idle window (nothing to reset before the
    // first use).
    static InputMethod *existingInstance();

    // A window of its own (tests); the process-wide one is instance().
    // The dictionary file name is resolved as SymbolDictionary does.
    explicit InputMethod(const QString &dictionaryFileName = QStringLiteral("wordsdict.csv"),
                         int pageSize = PageSize);
    // A window on a given dictionary (tests: SymbolDictionary::fromFile).
    explicit InputMethod(SymbolDictionary dictionary, int pageSize = PageSize);
    ~InputMethod() override;

    // ---- Operations (each keeps the window in step) ----------------------

    // One typed letter, lowercased; starts a composition when idle. False
    // when the letter is ignored (six segments, suggestion mode).
    bool appendLetter(QChar letter);
    // Each letter of text in turn (a key event's text, or several in tests).
    bool appendLetter(const QString &text);
    // Backspace while composing; hides the window after the last letter.
    void removeLetter();
    // Beat-mark suggestions after the context symbol (Space while idle).
    void showSuggestions(const QString &contextSymbol);
    // The selected candidate (possibly empty); the window closes.
    QString commitCurrent();
    // Candidate number (1-based) of the current page; empty and no change
    // when there is no such candidate.
    QString selectByNumber(int number);
    // Drops the composition and hides the window.
    void reset();
    // Keys while the window is shown: comma/Up, period/Down (pages),
    // Left/Right (candidates), Backspace, Escape; everything else (Delete,
    // printable characters) does nothing.
    void handleKey(int key);

    // The score pane the window anchors to. Held through a guarded pointer:
    // the previous pane stays set after the last tab closes and is then
    // deleted, which simply makes the target unset again.
    void setTarget(QPlainTextEdit *target);
    QPlainTextEdit *target() const { return m_target.data(); }

    // ---- State, for the event filter and tests ---------------------------

    const Composition &composition() const { return m_composition; }
    const SymbolDictionary &dictionary() const { return m_dictionary; }
    bool isComposing() const { return m_composition.isActive(); }
    // "page/pages" as painted, e.g. "1/2".
    QString pageIndicatorText() const;

    QFont compositionFont() const { return m_compositionFont; }
    QFont candidateFont() const { return m_candidateFont; }
    QFont pageFont() const { return m_pageFont; }

    // The size the window takes for its current state.
    QSize preferredSize() const;
    // Where the window goes: (anchor x, anchor y + 10), shifted left and up
    // so that a window near the right or bottom screen edge stays inside it.
    // Only the screen's size counts, not its origin.
    static QPoint placement(const QPoint &anchor, const QSize &windowSize, const QSize &screenSize);
    // Bottom-left of the target's cursor rectangle in global coordinates, or
    // the mouse position without a (living) target.
    QPoint anchorPoint() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // After a change of composition or page: new size, new place.
    void resizeAndPlace();
    void showWindow();

    SymbolDictionary m_dictionary;
    Composition m_composition;
    QPointer<QPlainTextEdit> m_target;
    QFont m_compositionFont;
    QFont m_candidateFont;
    QFont m_pageFont;
};
