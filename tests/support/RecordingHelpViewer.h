#pragma once

#include "HelpViewer.h"

#include <QStringList>

// Records which help files were asked for; answers `result`.
class RecordingHelpViewer : public HelpViewer
{
public:
    bool showContents(const QString &helpFile) override
    {
        m_files << helpFile;
        return result;
    }

    const QStringList &files() const { return m_files; }

    bool result = true;

private:
    QStringList m_files;
};
