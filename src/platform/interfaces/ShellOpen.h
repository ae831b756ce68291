#pragma once

#include <QUrl>

// Opens a web address in the user's default browser; never through a shell.
class ShellOpen
{
public:
    virtual ~ShellOpen() = default;
    virtual bool openUrl(const QUrl &url) = 0;
};
