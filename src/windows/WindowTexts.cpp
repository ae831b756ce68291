#include "WindowTexts.h"

QString WindowTexts::versionLabel(const QString &versionText)
{
    return QStringLiteral("Version béta ") + versionText;
}

QString WindowTexts::aboutCaption(const QString &versionText)
{
    // Eleven blanks before the product name and two after it.
    return QStringLiteral(" A propos") + QStringLiteral("           Calidor  Version béta ") + versionText;
}

QUrl WindowTexts::makerSite()
{
    // A reserved example domain: the maker's real address is not ours to give.
    return QUrl(QStringLiteral("http://www.velmora.example/"));
}

QString WindowTexts::webLinkText(const QUrl &site)
{
    return QStringLiteral("Cliquez ici pour visiter ") + site.toString() + QLatin1Char(' ');
}
