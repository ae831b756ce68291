#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// `calidorctl set` tells every running service which thermostat it is about
// to write, so that the service's history names the change `cli` rather
// than `thermostat` (a change none of ours made). Each service listens on
// an abstract Unix datagram socket named kPrefix + its pid: no file to
// leave behind, reachable from a user's shell by the system's service as by
// the user's own, and found by listing /proc/net/unix.
//
// A real thermostat's id names it for every program of the machine; the
// virtual ones of --simulate are the same only for processes that share a
// state file, so a notice about them carries that file as its scope, and a
// service takes only the notices of its own scope.
//
// Anyone on the machine may send one: a notice only names a thermostat,
// and only a change that then shows in a reading within a few seconds is
// named after it. At worst a forged one names such a change `cli`.
namespace ChangeNotice {

inline constexpr char kPrefix[] = "calidor/set-notices/";
inline constexpr int kMostBytes = 256;

struct Notice
{
    QString id;
    QString scope; // empty for real thermostats
    bool operator==(const Notice &) const = default;
};

// {"id":"SN1234"}, or {"id":"SIM0001","scope":"/run/user/1000/calidorctl-simulate.state"}
QByteArray encode(const Notice &notice);

// What a datagram says, or nothing for anything but a JSON object holding a
// string "id" of 1 to 128 characters and at most a string "scope", within
// kMostBytes.
std::optional<Notice> decode(const QByteArray &datagram);

// The names listening services have, as /proc/net/unix shows abstract
// sockets ("@" and the name), without the "@".
QStringList listeners(const QByteArray &procNetUnix);

// Sends the notice to every listening service; how many took it.
int announce(const Notice &notice);

} // namespace ChangeNotice
