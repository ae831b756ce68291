#include "QtCommonDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>
#include <utility>

QtCommonDialogs::QtCommonDialogs(std::shared_ptr<QPrinter> printer) : m_printer(std::move(printer)) {}

std::unique_ptr<QFileDialog> QtCommonDialogs::buildSaveDialog(const QString &filter, int selectedFilter,
                                                              QWidget *parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // The log file is replaced without a second question, as the save
    // button has always done; no extension is added to the typed name.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setNameFilter(filter);
    const QStringList filters = dialog->nameFilters();
    if (selectedFilter >= 0 && selectedFilter < filters.size())
        dialog->selectNameFilter(filters.at(selectedFilter));
    return dialog;
}

std::optional<QString> QtCommonDialogs::askSaveFileName(const QString &filter, int selectedFilter)
{
    std::unique_ptr<QFileDialog> dialog =
        buildSaveDialog(filter, selectedFilter, QApplication::activeWindow());
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return chosen.first();
}

std::optional<int> QtCommonDialogs::askPrintCopies()
{
    // Ranges are not offered: the whole log is always printed.
    QPrintDialog dialog(m_printer.get(), QApplication::activeWindow());
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return std::max(1, m_printer->copyCount());
}
