#pragma once

#include <QString>

// The pictures of the auxiliary windows and of the main window's toolbar,
// compiled into this library. A static library's resources are only
// registered once initWindowsResources() has run; the windows here call it
// themselves, other users (the toolbar) call it before loading a picture.
void initWindowsResources();

namespace WindowPictures {

// The splash background, 394 x 264.
inline QString splash()
{
    return QStringLiteral(":/windows/splash.png");
}

// The maker's logo.
inline QString logo()
{
    return QStringLiteral(":/windows/logo.png");
}

// Toolbar picture for the button with the given key, "A" to "E"; empty for
// any other key.
QString toolbar(const QString &key);

} // namespace WindowPictures
