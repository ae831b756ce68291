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

    // While a batch is open, changes collect in memory and reach the
    // document in one edit when the batch closes. A read cycle resets the
    // log and writes ten lines every 100 ms; as one edit that costs a
    // fraction of eleven. Nothing is painted before the batch closes, so
    // what the user sees is the same.
    class Batch
    {
    public:
        explicit Batch(ResultsLog &log);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        ResultsLog &m_log;
    };

private:
    void flush();
    void replaceChanged(const QString &text);

    QTextDocument &m_document;
    int m_batchDepth = 0;
    bool m_pendingReset = false; // the pending text replaces the document
    QString m_pending;           // in the document's form ('\n' breaks)
};
