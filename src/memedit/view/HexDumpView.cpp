#include "HexDumpView.h"

#include "Cp1252.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace {

constexpr int Margin = 3;

// The desktop's virtual-key code of a key, as the handlers expect it.
int virtualKeyCode(const QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Clear:
        return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        break;
    }
    // Letters and digits share their codes with Qt.
    if ((e->key() >= Qt::Key_0 && e->key() <= Qt::Key_9) || (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z))
        return e->key();
    return 0;
}

} // namespace

HexDumpView::HexDumpView(MemoryEditors *editors, MemoryEditors::View view, QWidget *parent)
    : QAbstractScrollArea(parent), editors_(editors), view_(view), text_(editors->text(view))
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    setFont(font);
    const QFontMetrics fm(font);
    charWidth_ = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    lineHeight_ = std::max(1, fm.height());
    ascent_ = fm.ascent();

    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(true);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, Qt::white);
    viewport()->setPalette(pal);
    viewport()->setBackgroundRole(QPalette::Base);

    connect(&text_, &DumpText::charactersChanged, this, &HexDumpView::onCharactersChanged);
    connect(&text_, &DumpText::caretMoved, this, &HexDumpView::onCaretMoved);
    connect(&text_, &DumpText::textReset, this, &HexDumpView::onTextReset);
    updateScrollBars();
}

QSize HexDumpView::sizeHint() const
{
    return {2 * Margin + 60 * charWidth_ + verticalScrollBar()->sizeHint().width(), 12 * lineHeight_};
}

int HexDumpView::visibleLines() const
{
    return std::max(1, viewport()->height() / lineHeight_);
}

int HexDumpView::indexAt(const QPoint &point) const
{
    const int l =
        std::clamp(verticalScrollBar()->value() + point.y() / lineHeight_, 0, text_.lineCount() - 1);
    const int x = point.x() + horizontalScrollBar()->value() - Margin;
    // A click on the right half of a character puts the caret after it.
    const int column = std::max(0, (x + charWidth_ / 2) / charWidth_);
    return std::min(text_.lineStart(l) + column, text_.lineEnd(l));
}

QRect HexDumpView::characterRect(int index) const
{
    const int l = text_.lineFromChar(index);
    const int column = index - text_.lineStart(l);
    return {Margin + column * charWidth_ - horizontalScrollBar()->value(),
            (l - verticalScrollBar()->value()) * lineHeight_, charWidth_, lineHeight_};
}

bool HexDumpView::event(QEvent *e)
{
    // Tab is an editing key in the EEPROM view; elsewhere it moves the focus.
    if (e->type() == QEvent::KeyPress && view_ == MemoryEditors::View::Eeprom) {
        auto *ke = static_cast<QKeyEvent *>(e);
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
            keyPressEvent(ke);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void HexDumpView::paintEvent(QPaintEvent *e)
{
    QPainter painter(viewport());
    const QRect area = e->rect();
    const int first = verticalScrollBar()->value();
    const int top = std::max(0, area.top() / lineHeight_);
    const int bottom = area.bottom() / lineHeight_;
    const int xOffset = Margin - horizontalScrollBar()->value();
    for (int row = top; row <= bottom; ++row) {
        const int l = first + row;
        if (l >= text_.lineCount())
            break;
        const int start = text_.lineStart(l);
        const int y = row * lineHeight_ + ascent_;
        for (const DumpText::Run &run : text_.runs(start, text_.lineEnd(l))) {
            painter.setPen(QColor(QRgb(run.colour)));
            painter.drawText(xOffset + (run.start - start) * charWidth_, y,
                             text_.text().mid(run.start, run.length));
        }
    }
    if (hasFocus()) {
        const QRect caret = characterRect(text_.caret());
        painter.fillRect(caret.left(), caret.top(), 2, caret.height(), Qt::black);
    }
}

void HexDumpView::resizeEvent(QResizeEvent *e)
{
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

void HexDumpView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void HexDumpView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    text_.setCaret(indexAt(e->position().toPoint()));
    editors_->Click(view_);
    ensureCaretVisible();
}

void HexDumpView::mouseDoubleClickEvent(QMouseEvent *e)
{
    // No word selection: a double click is two clicks.
    mousePressEvent(e);
}

void HexDumpView::keyPressEvent(QKeyEvent *e)
{
    int keyCode = virtualKeyCode(e);
    const int shift = e->modifiers().testFlag(Qt::ShiftModifier) ? 1 : 0;
    if (keyCode != 0) {
        editors_->KeyDown(view_, keyCode, shift);
        if (keyCode == 0) {
            ensureCaretVisible();
            return;
        }
        if (text_.navigate(keyCode, visibleLines(), e->modifiers().testFlag(Qt::ControlModifier))) {
            ensureCaretVisible();
            return;
        }
    }
    // Ctrl or Alt alone make a command, not a character; both together are
    // AltGr on some desktops and do type one.
    const bool ctrl = e->modifiers().testFlag(Qt::ControlModifier);
    const bool alt = e->modifiers().testFlag(Qt::AltModifier);
    const QString typed = e->text();
    if (typed.size() == 1 && ctrl == alt) {
        if (const auto code = Cp1252::fromUnicode(typed.at(0))) {
            int keyAscii = *code;
            editors_->KeyPress(view_, keyAscii);
            ensureCaretVisible();
        }
    }
    // Nothing reaches the base class: the view never edits on its own.
}

void HexDumpView::focusInEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusInEvent(e);
    editors_->GotFocus(view_);
    ensureCaretVisible();
    updateIndexRange(text_.caret(), text_.caret());
}

void HexDumpView::focusOutEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusOutEvent(e);
    updateIndexRange(text_.caret(), text_.caret());
}

void HexDumpView::onCharactersChanged(int position, int count)
{
    updateIndexRange(position, position + count);
}

void HexDumpView::onCaretMoved(int from, int to)
{
    updateIndexRange(from, from);
    updateIndexRange(to, to);
}

void HexDumpView::onTextReset()
{
    updateScrollBars();
    viewport()->update();
}

void HexDumpView::updateIndexRange(int from, int to)
{
    // Only the lines that hold the changed characters are repainted.
    const int first = text_.lineFromChar(from);
    const int last = text_.lineFromChar(to);
    const int top = (first - verticalScrollBar()->value()) * lineHeight_;
    const int bottom = (last + 1 - verticalScrollBar()->value()) * lineHeight_;
    const QRect lines(0, top, viewport()->width(), bottom - top);
    if (lines.intersects(viewport()->rect()))
        viewport()->update(lines);
}

void HexDumpView::updateScrollBars()
{
    const int lines = text_.lineCount();
    const int page = visibleLines();
    verticalScrollBar()->setRange(0, std::max(0, lines - page));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    int widest = 0;
    for (int l = 0; l < std::min(lines, 4); ++l)
        widest = std::max(widest, text_.lineEnd(l) - text_.lineStart(l));
    const int contentWidth = 2 * Margin + (widest + 1) * charWidth_;
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(charWidth_);
}

void HexDumpView::ensureCaretVisible()
{
    const int l = text_.lineFromChar(text_.caret());
    QScrollBar *v = verticalScrollBar();
    if (l < v->value())
        v->setValue(l);
    else if (l >= v->value() + visibleLines())
        v->setValue(l - visibleLines() + 1);
    const int x = (text_.caret() - text_.lineStart(l)) * charWidth_ + Margin;
    QScrollBar *h = horizontalScrollBar();
    if (x < h->value())
        h->setValue(std::max(0, x - Margin));
    else if (x + charWidth_ > h->value() + viewport()->width())
        h->setValue(x + charWidth_ - viewport()->width());
}
