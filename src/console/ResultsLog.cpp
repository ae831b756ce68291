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

ResultsLog::ResultsLog(QTextDocument &document)
    : m_document(document)
{
    // An undo history would grow with every line of every read cycle.
    m_document.setUndoRedoEnabled(false);
}

void ResultsLog::reset(const QString &text)
{
    m_document.setPlainText(toDocument(text));
}

void ResultsLog::addLine(const QString &line)
{
    QTextCursor cursor(&m_document);
    cursor.movePosition(QTextCursor::End);
    const QString t = toDocument(line);
    if (!t.isEmpty())
        cursor.insertText(t);
    cursor.insertBlock();
}

void ResultsLog::append(const QString &text)
{
    if (text.isEmpty())
        return;
    QTextCursor cursor(&m_document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(toDocument(text));
}

QString ResultsLog::text() const
{
    QString t = m_document.toPlainText();
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return t;
}
