#pragma once

#include "Reading.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// The alert rules as a state machine, fed with what the service sees and
// the time it saw it. Each incident is told once when it begins and once
// when it ends, with an optional reminder while it lasts.
//
// Flapping: a condition must hold for its whole delay before an incident
// begins, and must be gone for the same delay before it ends (a hold time,
// not a hysteresis band): a temperature that crosses the margin back and
// forth within that time stays one incident. Silence ends at the first
// answer. A change of the thresholds by the thermostat itself is an event:
// told once, never open.
class Incidents
{
public:
    enum class Kind { OutOfBand, Silent, ProbeFault, ForeignChange };
    enum class Phase { Begin, Reminder, End };

    struct Rules
    {
        std::int32_t marginTenths = 20; // outside TL - margin .. TH + margin
        std::int64_t bandSeconds = 600; // for this long
        std::int64_t silentSeconds = 120;
        std::int64_t probeSeconds = 60;
        std::int64_t reminderSeconds = 0; // 0: no reminder
    };

    struct Notice
    {
        QString id;
        Kind kind = Kind::OutOfBand;
        Phase phase = Phase::Begin;
        QDateTime at;
        QDateTime began;
        QString detail;
        bool operator==(const Notice &) const = default;
    };

    struct Open
    {
        QString id;
        Kind kind;
        QDateTime began;
        QString detail;
    };

    explicit Incidents(Rules rules) : m_rules(rules) {}

    std::vector<Notice> reading(const QDateTime &at, const Reading &reading);
    // A read that failed, or a thermostat that went away.
    std::vector<Notice> unanswered(const QString &id, const QDateTime &at);
    // `source` as the history records it: "thermostat" is a change nobody here made.
    std::vector<Notice> thresholdsChanged(const QString &id, const QDateTime &at, const QString &source,
                                          const QString &what);
    // Time passing without readings: silence and reminders.
    std::vector<Notice> tick(const QDateTime &now);

    std::vector<Open> open() const;

    // The state for the database; restore() takes back what save() gave,
    // skipping what it cannot read (a file after a power cut is not trusted).
    // Silence not yet told counts from `now`: while the service was away,
    // nobody asked the thermostat.
    QJsonObject save() const;
    void restore(const QJsonObject &saved, const QDateTime &now);

    static QString kindName(Kind kind);
    static QString phaseName(Phase phase);

private:
    struct Track
    {
        std::optional<QDateTime> badSince;
        std::optional<QDateTime> goodSince;
        bool open = false;
        QDateTime began;
        QDateTime lastTold;
        QString detail;
    };
    using Device = std::map<Kind, Track>;

    void update(const QString &id, Kind kind, bool bad, const QDateTime &at, const QString &detail,
                std::int64_t beginAfter, std::int64_t clearAfter, std::vector<Notice> *out);
    void remind(const QString &id, Kind kind, Track &track, const QDateTime &now, std::vector<Notice> *out);

    Rules m_rules;
    std::map<QString, Device> m_devices;
};
