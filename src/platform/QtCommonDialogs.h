#pragma once

#include "CommonDialogs.h"

#include <memory>

class QFileDialog;
class QPrinter;
class QWidget;

// QFileDialog for save-as and QPrintDialog for printing. The printer dialog
// configures the QPrinter shared with QtTextPrinter, so the printer the user
// picks is the one that prints.
class QtCommonDialogs : public CommonDialogs
{
public:
    explicit QtCommonDialogs(std::shared_ptr<QPrinter> printer);

    std::optional<QString> askSaveFileName(const QString &filter, int selectedFilter) override;
    std::optional<int> askPrintCopies() override;

    // The save-as dialog as shown, built but not run.
    static std::unique_ptr<QFileDialog> buildSaveDialog(const QString &filter, int selectedFilter,
                                                        QWidget *parent);

private:
    std::shared_ptr<QPrinter> m_printer;
};
