#include "ResultsLog.h"

#include <QTextCursor>
#include <QTextDocument>

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
        m_document.setPlainText(m_pending);
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

ResultsLog::Batch::Batch(ResultsLog &log) : m_log(log)
{
    ++m_log.m_batchDepth;
}

ResultsLog::Batch::~Batch()
{
    if (--m_log.m_batchDepth == 0)
        m_log.flush();
}
