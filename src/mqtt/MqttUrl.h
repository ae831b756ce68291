#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The broker of --mqtt: mqtt://[USER@]HOST[:PORT] (1883) or
// mqtts://[USER@]HOST[:PORT] (8883, TLS). A password in the address is
// refused: it would show in the process list.
struct MqttUrl
{
    bool tls = false;
    QString host;
    std::uint16_t port = 0;
    QString user; // empty: no login

    static constexpr std::uint16_t kPlainPort = 1883;
    static constexpr std::uint16_t kTlsPort = 8883;

    struct Parsed;
    static Parsed parse(const QString &text);
};

struct MqttUrl::Parsed
{
    std::optional<MqttUrl> url;
    QString error; // the rule broken, when there is no url
};
