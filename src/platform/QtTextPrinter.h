#pragma once

#include "TextPrinter.h"

#include <memory>

class QPrinter;

// Prints plain text in Courier New through a QPrinter. The copies are laid
// out by us, one after the other in a single job, each starting on a new
// page; the printer's own copy count is reset to 1 so that a driver that
// collates by itself does not multiply them again.
class QtTextPrinter : public TextPrinter
{
public:
    // Prints on the printer that the printer dialog configures.
    explicit QtTextPrinter(std::shared_ptr<QPrinter> printer);
    // Prints into a PDF file instead of a printer.
    explicit QtTextPrinter(const QString &pdfFile);

    bool printText(const QString &text, int copies) override;

    // Pages one copy of `text` takes on this printer.
    int pagesPerCopy(const QString &text) const;

private:
    std::shared_ptr<QPrinter> m_printer;
};
