#pragma once

#include "ShellOpen.h"

#include <QUrl>
#include <vector>

// Records the addresses it was asked to open; answers `result`, so a test
// can play a desktop without a browser.
class RecordingShellOpen : public ShellOpen
{
public:
    bool openUrl(const QUrl &url) override
    {
        m_urls.push_back(url);
        return result;
    }

    const std::vector<QUrl> &urls() const { return m_urls; }

    bool result = true;

private:
    std::vector<QUrl> m_urls;
};
