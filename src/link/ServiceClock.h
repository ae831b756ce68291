#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <cstdint>

// The time the service's rules go by: the history's minutes, the alert
// rules' durations, the schedules' steps. It is the system clock, except
// with --simulate, where a test may start it at a given moment and run it
// faster (CALIDORCTL_SIMULATE_CLOCK=START:SPEED, START in Unix seconds,
// SPEED a whole factor), so that days pass in seconds. Time then goes on
// from START at SPEED times the pace of the monotonic clock.
namespace ServiceClock {

// Milliseconds since the epoch.
std::int64_t nowMs();

// How many times faster than the monotonic clock it runs: 1 but in a
// simulated run. A span the service measures in real time (a few intervals
// between reads) is this many times longer in the rules' time.
std::int64_t speed();

// Sets the clock from the environment of a simulated run. False, with the
// reason, for a value that does not read; the system clock stays.
bool simulateFrom(const QProcessEnvironment &environment, QString *error);

// Back to the system clock (tests).
void useSystemClock();

} // namespace ServiceClock
