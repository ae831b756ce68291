#pragma once

#include "RegionalSettings.h"

#include <QLocale>

// Decimal separator and short date of one given locale.
class LocaleRegionalSettings : public RegionalSettings
{
public:
    explicit LocaleRegionalSettings(const QLocale &locale);

    QChar decimalSeparator() const override;
    QString shortDate(const QDate &date) const override;

private:
    QLocale m_locale;
};
