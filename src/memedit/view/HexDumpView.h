#pragma once

#include "MemoryEditors.h"

#include <QAbstractScrollArea>

// Shows one of the two dumps of a MemoryEditors in a fixed-pitch font, with
// its colours and caret, and forwards clicks, focus, key-down codes and typed
// characters to that view's handlers. It holds no rules and never changes
// the text itself: no paste, cut, drop or undo of its own.
//
//     auto *Rt1 = new HexDumpView(&editors, MemoryEditors::View::Flash, Frame9);
//     Rt1->setObjectName("Rt1");
//
// The editors must outlive the widget.
class HexDumpView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    HexDumpView(MemoryEditors *editors, MemoryEditors::View view, QWidget *parent = nullptr);

    MemoryEditors::View view() const { return view_; }
    const DumpText &dump() const { return text_; }

    // Character index under a point of the viewport (the caret a click there
    // would set), and the rectangle of a character in viewport coordinates.
    int indexAt(const QPoint &viewportPoint) const;
    QRect characterRect(int index) const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    void onCharactersChanged(int position, int count);
    void onCaretMoved(int from, int to);
    void onTextReset();
    void updateIndexRange(int from, int to);
    void updateScrollBars();
    void ensureCaretVisible();
    int visibleLines() const;
    int lineHeight() const { return lineHeight_; }

    MemoryEditors *editors_;
    MemoryEditors::View view_;
    DumpText &text_;
    int charWidth_ = 8;
    int lineHeight_ = 16;
    int ascent_ = 12;
};
