#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// What the history keeps, in plain values: temperatures and thresholds in
// signed tenths of a degree, times in Unix seconds.

// One answered read of a thermostat, as the history needs it.
struct HistorySample
{
    std::int32_t temperature = 0;
    std::int32_t low = 0;  // TL
    std::int32_t high = 0; // TH
    std::optional<bool> contactOnNO;
    std::optional<char> mode; // 'A' or 'B'
    std::int32_t probeStatus = 0;
};

// One minute of one thermostat. A minute with no answered read keeps its
// failures and no values.
struct MinuteRow
{
    QString id;
    std::int64_t t = 0; // the minute's start
    std::int32_t reads = 0;
    std::int32_t failures = 0;
    std::optional<std::int32_t> temperatureMin;
    std::int64_t temperatureSum = 0; // over the answered reads: the mean is sum / reads
    std::optional<std::int32_t> temperatureMax;
    std::optional<std::int32_t> low;             // at the minute's end
    std::optional<std::int32_t> high;            // at the minute's end
    std::optional<char> mode;                    // at the minute's end
    std::optional<std::int32_t> relayOnPermille; // share of the known time on C-NO
    std::optional<std::int32_t> probeWorst;      // the highest probe status seen

    std::optional<double> temperatureMean() const
    {
        if (reads <= 0)
            return std::nullopt;
        return double(temperatureSum) / reads;
    }
    bool operator==(const MinuteRow &) const = default;
};

// Something that happened at a second.
struct HistoryEvent
{
    QString id; // empty: the service itself
    std::int64_t t = 0;
    QString kind;   // see HistoryEvents below
    QString detail; // "C-NO", "21.5 -> 22.0", a probe status...
    QString source; // for a change of setting: mqtt, web, schedule, cli or thermostat
    bool operator==(const HistoryEvent &) const = default;
};

namespace HistoryEvents {
inline const QString kRelay = QStringLiteral("relay");
inline const QString kTl = QStringLiteral("tl");
inline const QString kTh = QStringLiteral("th");
inline const QString kMode = QStringLiteral("mode");
inline const QString kPlugged = QStringLiteral("plugged");
inline const QString kUnplugged = QStringLiteral("unplugged");
inline const QString kNotAnswering = QStringLiteral("not_answering");
inline const QString kBack = QStringLiteral("back");
inline const QString kProbeFaultBegan = QStringLiteral("probe_fault_began");
inline const QString kProbeFaultEnded = QStringLiteral("probe_fault_ended");
inline const QString kServiceStarted = QStringLiteral("service_started");
inline const QString kServiceStopped = QStringLiteral("service_stopped");
// A change none of ours announced: the window, another program.
inline const QString kSourceThermostat = QStringLiteral("thermostat");
} // namespace HistoryEvents
