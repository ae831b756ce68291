#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <exception>

// The one error type of the program: a failure travels to the caller as a
// code, the source that raised it and a description, the way the device model
// and the HID access component report failures.
class ErrorRecord : public std::exception
{
public:
    ErrorRecord(std::int32_t code, QString source, QString description)
        : m_code(code), m_source(std::move(source)), m_description(std::move(description)),
          m_what((m_source + QStringLiteral(": ") + m_description).toUtf8())
    {
    }

    std::int32_t code() const noexcept { return m_code; }
    const QString &source() const noexcept { return m_source; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    std::int32_t m_code;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};
