#include "ResultsLog.h"

#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace {

// A text box paragraph ends with one separator; the log's own form is CR LF.
QString toDocument(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

} // namespace

ResultsLog::ResultsLog(QTextDocument &document) : m_document(document)
{
    // An undo history would grow with every line of every read cycle.
    m_document.setUndoRedoEnabled(false);
}

void ResultsLog::reset(const QString &text)
{
    m_pendingReset = true;
    m_pending = toDocument(text);
    if (m_batchDepth == 0)
        flush();
}

void ResultsLog::addLine(const QString &line)
{
    m_pending += toDocument(line);
    m_pending += QLatin1Char('\n');
    if (m_batchDepth == 0)
        flush();
}

void ResultsLog::append(const QString &text)
{
    m_pending += toDocument(text);
    if (m_batchDepth == 0)
        flush();
}

QString ResultsLog::text() const
{
    QString t = m_pendingReset ? m_pending : m_document.toPlainText() + m_pending;
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return t;
}

void ResultsLog::flush()
{
    if (m_pendingReset) {
        replaceChanged(m_pending);
    } else if (!m_pending.isEmpty()) {
        // One edit at the end of the document; the text box's own caret
        // and scroll position stay where they are.
        QTextCursor cursor(&m_document);
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(m_pending);
    }
    m_pendingReset = false;
    m_pending.clear();
}

void ResultsLog::replaceChanged(const QString &text)
{
    // A read cycle writes the same lines as the one before, with a value or
    // two changed. Replacing only the stretch that differs keeps the other
    // lines' layout: the text box lays out one line again, not all of them.
    // Compared in the document's own form, so a break or a no-break space
    // is compared as what it is.
    QString wanted = text;
    wanted.replace(QLatin1Char('\n'), QChar::ParagraphSeparator);
    const QString current = m_document.toRawText();
    const qsizetype shorter = std::min(current.size(), wanted.size());
    qsizetype prefix = 0;
    while (prefix < shorter && current[prefix] == wanted[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           current[current.size() - 1 - suffix] == wanted[wanted.size() - 1 - suffix])
        ++suffix;
    if (prefix == current.size() && prefix == wanted.size())
        return;
    QTextCursor cursor(&m_document);
    cursor.setPosition(static_cast<int>(prefix));
    cursor.setPosition(static_cast<int>(current.size() - suffix), QTextCursor::KeepAnchor);
    cursor.insertText(text.mid(prefix, wanted.size() - prefix - suffix));
}

ResultsLog::Batch::Batch(ResultsLog &log) : m_log(log)
{
    ++m_log.m_batchDepth;
}

ResultsLog::Batch::~Batch()
{
    if (--m_log.m_batchDepth == 0)
        m_log.flush();
}
