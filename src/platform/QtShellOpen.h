#pragma once

#include "ShellOpen.h"

// Hands a web address to the desktop's default browser.
class QtShellOpen : public ShellOpen
{
public:
    bool openUrl(const QUrl &url) override;
};
