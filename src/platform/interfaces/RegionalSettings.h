#pragma once

#include <QChar>
#include <QDate>
#include <QString>

// The user's decimal separator and short date format.
class RegionalSettings
{
public:
    virtual ~RegionalSettings() = default;
    virtual QChar decimalSeparator() const = 0;
    virtual QString shortDate(const QDate &date) const = 0;
};
