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
// Anyone on the machine may send one: a notice only names a thermostat,
// and only a change that then shows in a reading within a few seconds is
// named after it. At worst a forged one names such a change `cli`.
namespace ChangeNotice {

inline constexpr char kPrefix[] = "calidor/set-notices/";
inline constexpr int kMostBytes = 256;

// {"id":"SN1234"}
QByteArray encode(const QString &id);

// The thermostat a datagram names, or nothing for anything but a JSON
// object holding one string "id" of 1 to 128 characters within kMostBytes.
std::optional<QString> decode(const QByteArray &datagram);

// The names listening services have, as /proc/net/unix shows abstract
// sockets ("@" and the name), without the "@".
QStringList listeners(const QByteArray &procNetUnix);

// Sends the notice to every listening service; how many took it.
int announce(const QString &id);

} // namespace ChangeNotice
