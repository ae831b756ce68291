#pragma once

#include "TextPrinter.h"

#include <QString>
#include <vector>

// Records each print request; answers `result` (true unless set).
class RecordingPrinter : public TextPrinter
{
public:
    struct Job
    {
        QString text;
        int copies;
    };

    bool printText(const QString &text, int copies) override
    {
        m_jobs.push_back({text, copies});
        return result;
    }

    const std::vector<Job> &jobs() const { return m_jobs; }

    bool result = true;

private:
    std::vector<Job> m_jobs;
};
