#pragma once

#include "HistoryTypes.h"

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// Who changed a thermostat's TL, TH or mode, as the next read shows it: one
// of ours (the source its write was made with: "web", "mqtt", ...) when the
// read comes within `carryMs` of that write, else the thermostat itself
// ("thermostat": its keys, the window, another program). The history's
// events and the alert rules ask this one rule. Pure: every call carries its
// own time (milliseconds since the epoch).
class ChangeOrigin
{
public:
    struct Settings
    {
        std::int32_t low = 0;  // TL, tenths
        std::int32_t high = 0; // TH, tenths
        std::optional<char> mode;
    };
    struct Change
    {
        QString kind;   // HistoryEvents::kTl, kTh or kMode
        QString detail; // "18.0 -> 19.5"
    };
    struct Changes
    {
        QString source; // empty when nothing changed
        std::vector<Change> changes;
        // One line: "TL 18.0 -> 19.5, mode A -> B".
        QString text() const;
    };

    explicit ChangeOrigin(std::int64_t carryMs) : m_carryMs(carryMs) {}

    // A write of ours reached the thermostat.
    void configured(const QString &id, std::int64_t ms, const QString &source);
    // An answered read: what differs from the read before, and who did it.
    // The first read of a thermostat changes nothing.
    Changes read(const QString &id, std::int64_t ms, const Settings &now);

private:
    struct Member
    {
        std::optional<Settings> last;
        QString pendingSource;
        std::int64_t pendingUntil = 0;
    };

    std::int64_t m_carryMs;
    std::map<QString, Member> m_members;
};
