#pragma once

#include "DumpFormat.h"

#include <QObject>
#include <QString>
#include <vector>

// The text of one hex-dump view with a colour per character, a caret and a
// selection: what a rich-text control would hold, without the control. The
// editing rules work on this; a view only shows it.
//
// Positions are 0-based character indices; line breaks are the two
// characters "\r\n". The caret p stands before T[p]. The selection is a run
// of characters starting at the caret; it is only non-empty inside a handler.
class DumpText : public QObject
{
    Q_OBJECT

public:
    enum class Region { Address, Data, Outside };

    struct Run
    {
        int start;
        int length;
        DumpColour colour;
    };

    explicit DumpText(const DumpFormat &format, QObject *parent = nullptr);

    const DumpFormat &format() const { return format_; }
    const QString &text() const { return text_; }
    int length() const { return static_cast<int>(text_.size()); }

    // T[q], or a null character when q lies outside the text, so the rules
    // can look one character past either end without a check of their own.
    QChar charAt(int q) const;
    DumpColour colourAt(int q) const;
    // One colour per character of text().
    const std::vector<DumpColour> &colours() const { return colours_; }
    // Colour runs of [from, to), clipped to the text.
    std::vector<Run> runs(int from, int to) const;

    // Filling. While the text is disabled, appends do not announce
    // themselves one by one; enabling it announces one reset.
    void clear();
    void reserve(int characters);
    void append(const QString &segment, DumpColour colour);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);

    int caret() const { return caret_; }
    // Clamped to 0..length(), as a text control clamps its caret.
    void setCaret(int p);
    int selectionLength() const { return selection_; }
    // Selects k characters from the caret, clipped to the text.
    void select(int k);
    void clearSelection() { selection_ = 0; }
    // Puts s in place of the selection, in one colour, and leaves the caret
    // after s with an empty selection.
    void replaceSelection(const QString &s, DumpColour colour);
    // Replace k characters at p with s: select them, then replaceSelection.
    void replace(int p, int k, const QString &s, DumpColour colour);

    // The view's line length L and the arithmetic the rules use with it:
    // line(q) = q div L, col(q) = q mod L.
    int lineLength() const { return lineLength_; }
    void setLineLength(int L);
    int line(int q) const;
    int column(int q) const;
    Region regionOfColumn(int column) const;
    // region(p): the region of T[p-1]; Address when p is at column 0.
    Region regionOfCaret(int p) const;

    // The control's own line-of-character query: the number of line breaks
    // before q. Independent of L; it is what L is measured with.
    int lineFromChar(int q) const;
    int lineCount() const;
    int lineStart(int lineIndex) const;
    // Index of the first character after the visible text of the line
    // (its line break, or the end of the text).
    int lineEnd(int lineIndex) const;
    // The smallest index i >= 1 on the second line; the length of the text
    // when it has one line only.
    int measureLineLength() const;

    // The control's own caret movement for the keys the rules leave alone:
    // Up 38, Down 40, Home 36, End 35, Page Up 33, Page Down 34. With
    // control, Home and End go to the ends of the text. Returns false for
    // any other key.
    bool navigate(int keyCode, int pageLines, bool control = false);

    // A handler that may have to give up half-way opens an edit; every
    // replacement until commitEdit() or rollbackEdit() is recorded, and a
    // rollback puts back text, colours and caret as they were.
    void beginEdit();
    void commitEdit();
    void rollbackEdit();

signals:
    // Characters [position, position + count) were replaced.
    void charactersChanged(int position, int count);
    void caretMoved(int from, int to);
    // Everything changed (the text was rebuilt).
    void textReset();

private:
    struct UndoStep
    {
        int position;
        int insertedLength;
        QString removedText;
        std::vector<DumpColour> removedColours;
    };

    void replaceRange(int p, int k, const QString &s, const std::vector<DumpColour> &colours);
    void ensureLineStarts() const;

    DumpFormat format_;
    QString text_;
    std::vector<DumpColour> colours_;
    int caret_ = 0;
    int selection_ = 0;
    int lineLength_;
    bool enabled_ = true;

    bool recording_ = false;
    int editCaret_ = 0;
    std::vector<UndoStep> undo_;

    mutable std::vector<int> lineStarts_;
    mutable bool lineStartsValid_ = false;
};
