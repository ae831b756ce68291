#include "QtShellOpen.h"

#include <QDesktopServices>

bool QtShellOpen::openUrl(const QUrl &url)
{
    // Only web addresses: anything else (a local file, a command) is refused
    // rather than handed to the desktop to run.
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    return QDesktopServices::openUrl(url);
}
