#pragma once

#include "ThermoDisplay.h"

#include <functional>

class ConsoleContext;
class TSoftDet;

// One read of every thermostat: resets the log, reads input report A of each
// device object in turn, logs its seven raw values and hands the decoded
// display to the window. The window only applies what it is given.
class ReadCycle
{
public:
    using ResetLog = std::function<void()>;
    using Show = std::function<void(const ThermoDisplay &)>;

    ReadCycle(ConsoleContext &console, ResetLog resetLog, Show show);

    void run();

    // The seven values of input report A as the device object holds them
    // after a read. All seven are taken before anything is shown, so a
    // failure part-way leaves the display untouched.
    static ThermoRaw rawValues(TSoftDet &device);

private:
    bool readDevice(std::size_t position);

    ConsoleContext &m_console;
    ResetLog m_resetLog;
    Show m_show;
};
