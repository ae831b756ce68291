#pragma once

#include <QString>
#include <optional>

// The kernel's virtual USB host controller: a USB/IP device is attached by
// handing one end of a stream socket to its sysfs file, and detached by port.
namespace VhciPort {

QString controllerFolder();
// The first free high-speed port listed in the controller's status file
// (a full-speed device goes on the USB 2 root hub).
std::optional<int> freePort(const QString &statusText);
// False with a reason when the kernel refuses.
bool attach(int port, int socketFd, unsigned devid, QString *why);
bool detach(int port, QString *why);

} // namespace VhciPort
