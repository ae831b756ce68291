#pragma once

#include <QString>
#include <optional>

// Whether the system clock can be trusted to apply a schedule: a machine
// without a real-time clock boots at a wrong time until the network sets it.
namespace ClockSync {

inline constexpr const char *kTimesyncFlag = "/run/systemd/timesync/synchronized";

struct Facts
{
    bool timesyncFlag = false;      // systemd-timesyncd's flag file exists
    std::optional<int> kernelState; // adjtimex()'s answer; none: the call failed
    long kernelStatus = 0;          // its status bits (STA_UNSYNC among them)
    bool trusted = false;           // the administrator says the clock is right
};

struct Verdict
{
    bool synchronised = false;
    QString why; // one line, for the page and the log
};

Verdict judge(const Facts &facts);

// The facts of this machine now. `flagPath` is settable for tests.
Facts read(const QString &flagPath = QString::fromLatin1(kTimesyncFlag));

} // namespace ClockSync
