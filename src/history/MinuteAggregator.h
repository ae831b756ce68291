#pragma once

#include "ChangeOrigin.h"
#include "HistoryTypes.h"

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// Turns what the service sees, read by read, into minute rows and events.
// Pure: every call carries its own time (milliseconds since the epoch), so
// a test or the benchmark can run a day in a moment, and `calidorctl
// history import` folds an old watch log through the same rules.
//
// The relay's share of a minute counts only time that is known: from a read
// until the next one, at most `carryMs` after it; a thermostat that stops
// answering stops counting.
class MinuteAggregator
{
public:
    explicit MinuteAggregator(std::int64_t carryMs = 10000);

    void serviceStarted(std::int64_t ms);
    void serviceStopped(std::int64_t ms); // closes every open minute, even a partial one

    // A thermostat found, or gone. One that answers again after an unplug
    // nobody announced the return of is told plugged then.
    void plugged(const QString &id, std::int64_t ms);
    void unplugged(const QString &id, std::int64_t ms);
    // One read: a sample when it answered, nothing when it did not.
    void read(const QString &id, std::int64_t ms, const std::optional<HistorySample> &sample);
    // A change of setting of ours was written; the change the next reads show
    // (within carryMs) is told with this source rather than "thermostat".
    void configured(const QString &id, std::int64_t ms, const QString &source);

    // Closes the minutes that ended at or before `ms`.
    void advance(std::int64_t ms);

    struct Output
    {
        std::vector<MinuteRow> minutes;
        std::vector<HistoryEvent> events;
    };
    Output take(); // what was closed since the last take

    static constexpr std::int64_t kMinuteMs = 60000;
    // A read vouches for the relay's state, and a write of ours for the
    // change the reads show next, this long: a few intervals, in the time of
    // a clock that runs `speed` times faster than the intervals' own.
    static std::int64_t carryFor(std::int64_t intervalMs, std::int64_t speed = 1);

private:
    struct Member
    {
        bool open = false;
        MinuteRow row;
        std::int64_t relayOnMs = 0;
        std::int64_t relayKnownMs = 0;
        std::optional<bool> contact;    // as of contactSince
        std::int64_t contactSince = 0;  // accounted up to here
        std::int64_t contactReadMs = 0; // the read that told it
        std::optional<HistorySample> last;
        std::optional<bool> answering; // unknown until the first read
        bool unplugged = false;        // gone, and not back yet
    };

    Member &member(const QString &id);
    void roll(Member &m, const QString &id, std::int64_t ms);
    void account(Member &m, std::int64_t ms);
    void close(Member &m);
    void event(const QString &id, std::int64_t ms, const QString &kind, const QString &detail = {},
               const QString &source = {});
    void changes(Member &m, const QString &id, std::int64_t ms, const HistorySample &now);

    std::int64_t m_carryMs;
    std::map<QString, Member> m_members;
    ChangeOrigin m_origin;
    Output m_out;
};
