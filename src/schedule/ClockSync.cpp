#include "ClockSync.h"

#include <QFileInfo>
#include <sys/timex.h>

namespace ClockSync {

Verdict judge(const Facts &facts)
{
    if (facts.trusted)
        return {true, QStringLiteral("the clock is trusted as set")};
    if (facts.timesyncFlag)
        return {true, QStringLiteral("systemd-timesyncd has synchronised the clock")};
    if (!facts.kernelState)
        return {false, QStringLiteral("waiting for the clock: its state cannot be read")};
    // TIME_ERROR, or the unsynchronised bit, until an NTP client steers it.
    if (*facts.kernelState == TIME_ERROR || (facts.kernelStatus & STA_UNSYNC))
        return {false, QStringLiteral("waiting for the clock to be synchronised")};
    return {true, QStringLiteral("the kernel's clock is synchronised")};
}

Facts read(const QString &flagPath)
{
    Facts facts;
    facts.timesyncFlag = QFileInfo::exists(flagPath);
    struct timex tx
    {
    }; // modes 0: only reads, needs no privilege
    const int state = adjtimex(&tx);
    if (state >= 0) {
        facts.kernelState = state;
        facts.kernelStatus = tx.status;
    }
    return facts;
}

} // namespace ClockSync
