#include "LocaleRegionalSettings.h"

LocaleRegionalSettings::LocaleRegionalSettings(const QLocale &locale) : m_locale(locale) {}

QChar LocaleRegionalSettings::decimalSeparator() const
{
    // A separator that is more than one code unit has no single-character
    // form; the point is the safe fallback then.
    const QString sep = m_locale.decimalPoint();
    return sep.size() == 1 ? sep.front() : QLatin1Char('.');
}

QString LocaleRegionalSettings::shortDate(const QDate &date) const
{
    return m_locale.toString(date, QLocale::ShortFormat);
}
