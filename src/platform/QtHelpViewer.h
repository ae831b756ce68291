#pragma once

#include "HelpViewer.h"

// Opens the HTML help document in the user's browser; its first section is
// the table of contents.
class QtHelpViewer : public HelpViewer
{
public:
    bool showContents(const QString &helpFile) override;
};
