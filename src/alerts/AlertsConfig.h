#pragma once

#include "AlertChannel.h"
#include "Incidents.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The service's --alerts-config file, JSON:
//
//   {"channels": [
//      {"type": "ntfy", "url": "https://ntfy.example.org/cellar", "token_file": "ntfy-token"},
//      {"type": "webhook", "url": "http://127.0.0.1:8123/api/webhook/calidor"},
//      {"type": "email", "to": ["owner@example.org"], "from": "calidor@cellar.lan"}],
//    "rules": {"margin": 2, "band_minutes": 10, "silent_minutes": 2, "probe_minutes": 1, "reminder_hours":
//    0}}
//
// The rules are on with these defaults; "rules" only changes them. Secrets
// never sit in the command line: a token is read from `token_file`, a path
// taken as is when absolute, otherwise from the unit's credentials folder
// ($CREDENTIALS_DIRECTORY) when there is one, else beside this file. A
// password in a URL is refused for the same reason.
struct AlertsConfig
{
    std::vector<AlertChannel> channels;
    Incidents::Rules rules;

    struct Loaded;
    static Loaded parse(const QByteArray &json, const QString &folder, const QString &credentials);
    // A relative `path` is a name in the unit's credentials folder when
    // there is one (LoadCredential=alerts.json:/etc/calidor/alerts.json),
    // else relative to the working folder.
    static Loaded load(const QString &path, const QString &credentials);
    static Loaded load(const QString &path); // with $CREDENTIALS_DIRECTORY
};

struct AlertsConfig::Loaded
{
    std::optional<AlertsConfig> config;
    QString error; // "channel 2: ..."
};
