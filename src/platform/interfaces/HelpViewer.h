#pragma once

#include <QString>

// Opens the program's help document at its contents.
class HelpViewer
{
public:
    virtual ~HelpViewer() = default;
    // false when the document could not be shown.
    virtual bool showContents(const QString &helpFile) = 0;
};
