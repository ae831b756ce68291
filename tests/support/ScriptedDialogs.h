#pragma once

#include "CommonDialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

// Save-as and printer dialogs that answer from queues: a path or a cancel,
// a number of copies or a cancel. Every call is recorded.
//
// A dialog asked for with nothing queued is a fault in the test: it is
// reported with ADD_FAILURE() and answered as a cancel.
class ScriptedDialogs : public CommonDialogs
{
public:
    void queueSavePath(const QString &path) { m_savePaths.push_back({false, path}); }
    void queueSaveCancel() { m_savePaths.push_back({true, QString()}); }
    void queueCopies(int copies) { m_copies.emplace_back(copies); }
    void queuePrintCancel() { m_copies.emplace_back(std::nullopt); }

    std::optional<QString> askSaveFileName(const QString &filter, int selectedFilter) override
    {
        m_filters << filter;
        m_selectedFilters.push_back(selectedFilter);
        if (m_savePaths.empty()) {
            ADD_FAILURE() << "Unexpected save-as dialog";
            return std::nullopt;
        }
        const SaveAnswer answer = m_savePaths.front();
        m_savePaths.pop_front();
        if (answer.cancel)
            return std::nullopt;
        return answer.path;
    }

    std::optional<int> askPrintCopies() override
    {
        ++m_printAsks;
        if (m_copies.empty()) {
            ADD_FAILURE() << "Unexpected printer dialog";
            return std::nullopt;
        }
        auto answer = m_copies.front();
        m_copies.pop_front();
        return answer;
    }

    // Filters passed to the save-as dialog and the position preselected in
    // each, one per call.
    const QStringList &saveFilters() const { return m_filters; }
    const std::vector<int> &selectedSaveFilters() const { return m_selectedFilters; }
    int saveAsks() const { return static_cast<int>(m_filters.size()); }
    int printAsks() const { return m_printAsks; }

private:
    struct SaveAnswer
    {
        bool cancel;
        QString path;
    };
    std::deque<SaveAnswer> m_savePaths;
    std::deque<std::optional<int>> m_copies;
    QStringList m_filters;
    std::vector<int> m_selectedFilters;
    int m_printAsks = 0;
};
