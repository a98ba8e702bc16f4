// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/ui/InputMethod.h"

#include "fonts/FontRegistry.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <utility>

namespace {

const QColor BorderColor(0x89, 0xB8, 0xD0);
const QColor NormalColor(0x00, 0x70, 0xDF);
const QColor AlertColor(0xFF, 0x2A, 0x00);
const QColor PageColor(0x78, 0x78, 0x78);

InputMethod *s_instance = nullptr;

// Runs from the application object's destructor, before it takes the
// window system down: a widget must not outlive it.
void destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

} // namespace

InputMethod *InputMethod::instance()
{
    if (!s_instance) {
        s_instance = new InputMethod();
        qAddPostRoutine(destroyInstance);
    }
    return s_instance;
}

InputMethod *InputMethod::existingInstance()
{
    return s_instance;
}

InputMethod::InputMethod(const QString &dictionaryFileName, int pageSize)
    : InputMethod(SymbolDictionary(dictionaryFileName), pageSize)
{
}

InputMethod::InputMethod(SymbolDictionary dictionary, int pageSize)
    : QWidget(nullptr, Qt::ToolTip)
    , m_dictionary(std::move(dictionary))
    , m_composition(&m_dictionary, pageSize)
    , m_compositionFont(QStringLiteral("console"), 12)
    , m_candidateFont(FontRegistry::instance().defaultFamily(), 16)
    , m_pageFont(QStringLiteral("console"), 8)
{
    // Showing a tool-tip window leaves the keyboard focus in the score pane.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    // The corners outside the rounded border blend with the white body.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    resize(preferredSize());
}

InputMethod::~InputMethod() = default;

// ---- Operations ----------------------------------------------------------

bool InputMethod::appendLetter(QChar letter)
{
    if (!m_composition.appendLetter(letter.toLower()))
        return false;
    resizeAndPlace();
    showWindow();
    update();
    return true;
}

bool InputMethod::appendLetter(const QString &text)
{
    bool accepted = false;
    for (const QChar letter : text)
        accepted = appendLetter(letter) || accepted;
    return accepted;
}

void InputMethod::removeLetter()
{
    m_composition.removeLetter();
    if (!m_composition.isActive()) {
        hide();
        return;
    }
    resizeAndPlace();
    update();
}

void InputMethod::showSuggestions(const QString &contextSymbol)
{
    m_composition.showSuggestions(contextSymbol);
    resizeAndPlace();
    showWindow();
    update();
}

QString InputMethod::commitCurrent()
{
    const QString text = m_composition.commitCurrent();
    hide();
    return text;
}

QString InputMethod::selectByNumber(int number)
{
    const QString text = m_composition.selectByNumber(number);
    // An out-of-range number keeps the composition; a valid one commits,
    // even when the candidate is the empty string.
    if (!m_composition.isActive())
        hide();
    return text;
}

void InputMethod::reset()
{
    m_composition.reset();
    hide();
}

void InputMethod::handleKey(int key)
{
    const int pageBefore = m_composition.page();
    switch (key) {
    case Qt::Key_Comma:
    case Qt::Key_Up:
        m_composition.previousPage();
        break;
    case Qt::Key_Period:
    case Qt::Key_Down:
        m_composition.nextPage();
        break;
    case Qt::Key_Left:
        m_composition.previousCandidate();
        break;
    case Qt::Key_Right:
        m_composition.nextCandidate();
        break;
    case Qt::Key_Backspace:
        removeLetter();
        return;
    case Qt::Key_Escape:
        reset();
        return;
    default:
        return;
    }
    if (m_composition.page() != pageBefore)
        resizeAndPlace();
    update();
}

void InputMethod::setTarget(QPlainTextEdit *target)
{
    m_target = target;
}

// ---- Size and place ------------------------------------------------------

QString InputMethod::pageIndicatorText() const
{
    return QString::number(m_composition.page() + 1) + QLatin1Char('/')
        + QString::number(m_composition.pageCount());
}

QSize InputMethod::preferredSize() const
{
    const QFontMetrics compositionMetrics(m_compositionFont);
    const QFontMetrics candidateMetrics(m_candidateFont);
    const QStringList page = m_composition.pageCandidates();
    const int labelAdvance = compositionMetrics.horizontalAdvance(QStringLiteral("0 "));
    int candidatesWidth = (int(page.size()) - 1) * CandidateGap;
    for (const QString &candidate : page)
        candidatesWidth += candidateMetrics.horizontalAdvance(candidate) + labelAdvance;
    const int compositionWidth =
        compositionMetrics.horizontalAdvance(m_composition.compositionString());
    const int width = std::max(std::max(candidatesWidth, compositionWidth) + LeftMargin + RightMargin,
                               MinimumWidth);
    const int height =
        compositionMetrics.height() + TopMargin + RowGap + candidateMetrics.height() + BottomMargin;
    return QSize(width, height);
}

QPoint InputMethod::placement(const QPoint &anchor, const QSize &windowSize, const QSize &screenSize)
{
    QPoint position(anchor.x(), anchor.y() + AnchorOffset);
    if (anchor.x() + windowSize.width() > screenSize.width() - ScreenMargin)
        position.setX(screenSize.width() - windowSize.width() - ScreenMargin);
    if (anchor.y() + AnchorOffset + windowSize.height() > screenSize.height())
        position.setY(screenSize.height() - windowSize.height() - ScreenMargin);
    return position;
}

QPoint InputMethod::anchorPoint() const
{
    // A pane deleted behind our back reads as null here, never as garbage.
    if (QPlainTextEdit *pane = m_target.data())
        return pane->viewport()->mapToGlobal(pane->cursorRect().bottomLeft());
    return QCursor::pos();
}

void InputMethod::resizeAndPlace()
{
    resize(preferredSize());
    const QScreen *screen = this->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize();
    move(screen ? placement(anchorPoint(), size(), screenSize)
                : anchorPoint() + QPoint(0, AnchorOffset));
}

void InputMethod::showWindow()
{
    if (isHidden())
        show();
}

// ---- Painting ------------------------------------------------------------

void InputMethod::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    painter.setPen(BorderColor);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(0, 0, width(), height()), 3, 3);

    painter.translate(LeftMargin, TopMargin);
    const QFontMetrics compositionMetrics(m_compositionFont);
    const QFontMetrics candidateMetrics(m_candidateFont);
    const QFontMetrics pageMetrics(m_pageFont);
    const int h1 = compositionMetrics.height();
    const int h2 = candidateMetrics.height();

    // First row: the segments, an incomplete one in the alert colour.
    painter.setFont(m_compositionFont);
    const QList<Segment> &segments = m_composition.segments();
    int x = 0;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        QString text = segments.at(i).text;
        if (i + 1 < segments.size())
            text += QLatin1Char('\'');
        painter.setPen(segments.at(i).complete ? NormalColor : AlertColor);
        painter.drawText(QPoint(x, h1), text);
        x += compositionMetrics.horizontalAdvance(text);
    }

    // Page indicator, ending 10 px from the right edge.
    const QString indicator = pageIndicatorText();
    painter.setFont(m_pageFont);
    painter.setPen(PageColor);
    painter.drawText(QPoint(width() - pageMetrics.horizontalAdvance(indicator) - LeftMargin
                                - RightMargin,
                            h1),
                     indicator);

    // Second row: "1 candidate  2 candidate ...", the selection in alert.
    painter.translate(0, h1 + RowGap);
    const QStringList page = m_composition.pageCandidates();
    x = 0;
    for (qsizetype j = 0; j < page.size(); ++j) {
        painter.setPen(j == m_composition.selection() ? AlertColor : NormalColor);
        const QString label = QString::number(j + 1) + QLatin1Char(' ');
        painter.setFont(m_compositionFont);
        painter.drawText(QPoint(x, (h1 + h2) / 2), label);
        const int labelWidth = compositionMetrics.horizontalAdvance(label);
        painter.setFont(m_candidateFont);
        painter.drawText(QPoint(x + labelWidth, h2), page.at(j));
        x += labelWidth + candidateMetrics.horizontalAdvance(page.at(j)) + CandidateGap;
    }
}
