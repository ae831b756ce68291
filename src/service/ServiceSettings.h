#pragma once

#include "ValueParser.h"

#include <QString>
#include <cstdint>

// What `serve` is told at start. The command line fills it; the service
// reads nothing else of it.
struct ServiceSettings
{
    std::int64_t intervalMs = 1000; // between two reads of one thermostat
    ValueParser::ListenAddress listen{QLatin1String(ValueParser::kDefaultListenHost),
                                      ValueParser::kDefaultListenPort, false};
    // The MQTT bridge; off while `mqtt` is empty. The password never comes
    // from the command line.
    QString mqtt; // mqtt://[USER@]HOST[:PORT] or mqtts://...
    QString mqttCa;
    QString mqttPasswordFile;
    QString mqttClientId; // empty: calidor- and the host name
    QString topicPrefix = QStringLiteral("calidor");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    bool noDiscovery = false;
    // The history; off while `historyPath` is empty.
    QString historyPath;
    int historyDays = 400;             // minute rows older than that are deleted
    std::int64_t historyFlushMs = 60000; // between two writes to disk

    // The web dashboard's TLS and users, in the exporters' format; empty:
    // plain HTTP, open for reading, closed for changes.
    QString webConfig;

    // Schedules: a ramp moves the thresholds at most once every so often;
    // the clock is taken as right without asking the system (--trust-clock,
    // --simulate).
    std::int64_t rampMinutes = 10;
    bool clockTrusted = false;

    // Which notices of `calidorctl set` concern these thermostats (see
    // ChangeNotice): empty for real ones, the state file for virtual ones.
    QString noticeScope;

    // The alert rules and channels (AlertsConfig's JSON); no alerts while empty.
    QString alertsConfig;
};
