#pragma once

#include "EmulatedThermostat.h"
#include "UsbThermostatFunction.h"
#include "UsbipSession.h"

#include <QString>
#include <memory>
#include <vector>

// Presents thermostats to the running kernel, each through /dev/uhid or as a
// USB device on vhci_hcd, and takes commands on a local control socket. One
// thread, one poll loop: the kernel's requests are answered in the order
// they come.
class KernelEmulator
{
public:
    struct Plan
    {
        EmulatedThermostat::Bus bus;
        QString serial;
    };
    KernelEmulator(const std::vector<Plan> &plans, QString controlPath);
    ~KernelEmulator();
    KernelEmulator(const KernelEmulator &) = delete;
    KernelEmulator &operator=(const KernelEmulator &) = delete;

    // Why this machine cannot run the emulator (not root, a module missing); empty when it can.
    static QString cannotRun(const std::vector<Plan> &plans);

    // Plugs every thermostat in and serves until SIGTERM, SIGINT or "quit".
    // Returns the exit status.
    int run();

    // One control command, one line of answer (JSON for "status").
    QString command(const QString &line);

private:
    struct Slot
    {
        std::unique_ptr<EmulatedThermostat> thermostat;
        std::unique_ptr<UsbThermostatFunction> function;
        std::unique_ptr<UsbipSession> session;
        int fd = -1; // /dev/uhid, or our end of the USB/IP socket
        int port = -1;
    };
    bool plug(Slot &slot, unsigned index, QString *why);
    void unplug(Slot &slot);
    void serveUhid(Slot &slot);
    void serveUsb(Slot &slot);
    void serveControl();
    QString status() const;

    std::vector<Slot> m_slots;
    QString m_controlPath;
    int m_control = -1;
    int m_signals = -1;
    bool m_quit = false;
};
