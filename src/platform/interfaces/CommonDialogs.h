#pragma once

#include <QString>

#include <optional>

// The save-as and printer dialogs. An empty optional means the user cancelled.
class CommonDialogs
{
public:
    virtual ~CommonDialogs() = default;

    // `filter` in Qt's form ("Text files (*.txt);;All files (*)"), its
    // choices in the order shown; `selectedFilter` is the 0-based position of
    // the one preselected. Returns the chosen path.
    virtual std::optional<QString> askSaveFileName(const QString &filter, int selectedFilter) = 0;

    // Shows the printer dialog; returns the number of copies asked for.
    virtual std::optional<int> askPrintCopies() = 0;
};
