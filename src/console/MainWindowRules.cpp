#include "MainWindowRules.h"

#include <cstdint>
#include <limits>

namespace MainWindowRules {

QString caption(int major, int minor, int revision)
{
    return QStringLiteral("Calidor QN52-W") + QStringLiteral("   Version béta ") +
           QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
}

QString logHeader(const QString &shortDate)
{
    return QStringLiteral("Test results:  ") + shortDate;
}

QString retryMessage(const QString &appTitle)
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Impossible d'ouvrir le thermostat via le port USB : ") + crlf + crlf + appTitle +
           crlf + crlf + QStringLiteral("Merci de connecter votre thermostat puis cliquez sur OK,") + crlf +
           QStringLiteral("sinon cliquer sur Annuler pour quitter l'application");
}

QString saveFailedMessage(const QString &path, const QString &reason)
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Impossible d'enregistrer les résultats dans le fichier :") + crlf + path + crlf +
           crlf + QStringLiteral("Raison : ") + reason + QLatin1Char('.');
}

std::optional<QSize> memoSizeFor(QSize memo0, QSize form0, QSize formNow)
{
    const long long width = static_cast<long long>(memo0.width()) + formNow.width() - form0.width();
    const long long height = static_cast<long long>(memo0.height()) + formNow.height() - form0.height();
    constexpr long long limit = std::numeric_limits<std::int16_t>::max();
    if (width <= 0 || height <= 0 || width > limit || height > limit)
        return std::nullopt;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

} // namespace MainWindowRules
