#pragma once

#include "Reading.h"
#include "ThermostatLink.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

// `set`: the checks before anything is written, the write as the window's
// "Configuration" does it, and the read-back that decides success.
class SetCommand
{
public:
    struct Values
    {
        std::optional<std::int64_t> low;  // tenths
        std::optional<std::int64_t> high; // tenths
        std::optional<std::int16_t> mode; // 65 or 66
    };

    struct Plan
    {
        std::int32_t low = 0;
        std::int32_t high = 0;
        std::int16_t mode = 0;
    };

    // What `calidorctl set` was asked: the values as typed.
    struct Request
    {
        QString device; // --device; empty: the only thermostat
        std::optional<QString> tl;
        std::optional<QString> th;
        std::optional<QString> mode;
        bool dryRun = false;
    };

    // The values of --tl, --th and --mode, each checked on its own.
    static ThermostatLink::Failure parse(const Request &request, Values *values);

    // The values to write: those given, the others as the thermostat holds
    // them now. Refused unless TL lies strictly below TH.
    static ThermostatLink::Failure plan(const Values &values, const Reading &current, Plan *plan);

    // What reads back otherwise than written, one text per value.
    static QStringList differences(const Plan &plan, const Reading &readBack);

    // How many times, and how far apart, report A is read again before a
    // difference counts: a device may take a moment to store its settings.
    static constexpr int kReadBackAttempts = 10;
    static constexpr int kReadBackPauseMs = 100;

    // On an open link: the plan against what the thermostat holds now, the
    // writes and the read-back. With `skipUnchanged`, values the thermostat
    // already holds write nothing. `wanted` receives the plan; `written`
    // whether anything was written.
    static ThermostatLink::Failure apply(ThermostatLink &link, const Values &values, bool skipUnchanged,
                                         Plan *wanted, bool *written);

    // "TL 18.5 °C, TH 21 °C, mode A".
    static QString summary(const Plan &plan);

    SetCommand(ThermostatLink &link, Request request) : m_link(link), m_options(std::move(request)) {}

    // Runs the command; what to print goes to `out`, the failure is returned.
    ThermostatLink::Failure run(QString *out);

    // Called with the thermostat's id once it is open and the values are
    // checked, just before anything is written (not for --dry-run).
    void beforeWriting(std::function<void(const QString &id)> told) { m_beforeWriting = std::move(told); }

private:
    static ThermostatLink::Failure planNow(ThermostatLink &link, const Values &values, Plan *wanted,
                                           std::optional<Reading> *current);

    ThermostatLink &m_link;
    const Request m_options;
    std::function<void(const QString &id)> m_beforeWriting;
};
