#pragma once

#include "RegionalSettings.h"

#include <QChar>
#include <QDate>
#include <QString>
#include <utility>

// A decimal separator and a short date format chosen by the test
// (French by default: ',' and dd/MM/yyyy).
class FixedRegionalSettings : public RegionalSettings
{
public:
    explicit FixedRegionalSettings(QChar separator = QLatin1Char(','),
                                   QString dateFormat = QStringLiteral("dd/MM/yyyy"))
        : m_separator(separator), m_dateFormat(std::move(dateFormat))
    {
    }

    QChar decimalSeparator() const override { return m_separator; }
    QString shortDate(const QDate &date) const override { return date.toString(m_dateFormat); }

    void setDecimalSeparator(QChar separator) { m_separator = separator; }
    void setDateFormat(const QString &format) { m_dateFormat = format; }

private:
    QChar m_separator;
    QString m_dateFormat;
};
