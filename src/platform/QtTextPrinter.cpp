#include "QtTextPrinter.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <memory>
#include <utility>

namespace {

std::unique_ptr<QTextDocument> layoutFor(const QString &text, QPrinter &printer)
{
    auto doc = std::make_unique<QTextDocument>();
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    doc->setDefaultFont(font);
    doc->documentLayout()->setPaintDevice(&printer);
    // The log's lines end with CR LF; a lone CR would show as a glyph.
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    doc->setPlainText(plain);
    doc->setPageSize(printer.pageLayout().paintRectPixels(printer.resolution()).size());
    return doc;
}

} // namespace

QtTextPrinter::QtTextPrinter(std::shared_ptr<QPrinter> printer) : m_printer(std::move(printer)) {}

QtTextPrinter::QtTextPrinter(const QString &pdfFile)
    : m_printer(std::make_shared<QPrinter>(QPrinter::HighResolution))
{
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setOutputFileName(pdfFile);
}

int QtTextPrinter::pagesPerCopy(const QString &text) const
{
    return layoutFor(text, *m_printer)->pageCount();
}

bool QtTextPrinter::printText(const QString &text, int copies)
{
    if (copies < 1)
        return false;
    m_printer->setCopyCount(1);
    std::unique_ptr<QTextDocument> doc = layoutFor(text, *m_printer);
    const QSizeF page = doc->pageSize();
    const int pages = doc->pageCount();

    QPainter painter;
    if (!painter.begin(m_printer.get()))
        return false;
    bool first = true;
    for (int copy = 0; copy < copies; ++copy) {
        for (int p = 0; p < pages; ++p) {
            if (!first && !m_printer->newPage()) {
                painter.end();
                return false;
            }
            first = false;
            painter.save();
            const QRectF slice(QPointF(0, p * page.height()), page);
            painter.translate(0, -slice.top());
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = slice;
            context.palette.setColor(QPalette::Text, Qt::black);
            doc->documentLayout()->draw(&painter, context);
            painter.restore();
        }
    }
    return painter.end();
}
