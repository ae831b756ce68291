#pragma once

#include <QString>

class QTextDocument;

// A log kept in a text document that a text box shows. Lines end with CR LF
// as far as anybody reading text() is concerned; inside the document they
// are paragraphs.
//
// Appending edits the end of the document in place rather than replacing
// the whole text, so an append costs the same however long the log is, and
// the text box's own caret and scroll position are left alone: the box
// keeps showing the beginning of the log.
class ResultsLog
{
public:
    // The document stays owned by the caller (usually the text box).
    explicit ResultsLog(QTextDocument &document);

    // Replaces everything by `text`, which may hold CR LF line breaks.
    void reset(const QString &text);

    // Appends `line` and a line break.
    void addLine(const QString &line);

    // Appends `text` as it is, without a line break.
    void append(const QString &text);

    // The whole text, line breaks as CR LF.
    QString text() const;

private:
    QTextDocument &m_document;
};
