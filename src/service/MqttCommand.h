#pragma once

#include "SetCommand.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One command from the broker, checked as `calidorctl set` checks its
// options, except that a temperature may have any number of decimals and is
// rounded to a tenth (what programs converting from °F send). The payload
// is untrusted: any bytes, any length.
namespace MqttCommand {

// Longer payloads are refused unread: no temperature or mode needs more.
constexpr qsizetype kLongestPayload = 32;

struct Parsed
{
    std::optional<SetCommand::Values> values; // exactly one value set, when accepted
    QString shown;                            // the payload as text, for the result; empty when unfit to show
    QString error;                            // why refused
};

// `name`: tl, th or mode.
Parsed parse(const QString &name, const QByteArray &payload);

} // namespace MqttCommand
