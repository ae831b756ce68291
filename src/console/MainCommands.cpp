#include "MainCommands.h"

namespace MainCommands {

Command forKey(const QString &key)
{
    if (key == QLatin1String("C"))
        return Command::WebSite;
    if (key == QLatin1String("D"))
        return Command::About;
    if (key == QLatin1String("E"))
        return Command::Quit;
    return Command::None;
}

} // namespace MainCommands
