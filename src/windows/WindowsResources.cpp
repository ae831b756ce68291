#include "WindowsResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static bool registerWindowsResources()
{
    Q_INIT_RESOURCE(windows);
    return true;
}

void initWindowsResources()
{
    // Registering twice would add the files twice; once is enough.
    static const bool registered = registerWindowsResources();
    (void)registered;
}

namespace WindowPictures {

QString toolbar(const QString &key)
{
    if (key.size() != 1 || key < QLatin1String("A") || key > QLatin1String("E"))
        return QString();
    return QStringLiteral(":/windows/tb_%1.png").arg(key.toLower());
}

} // namespace WindowPictures
