#pragma once

#include "ThermoDisplay.h"

#include <functional>

class ConsoleContext;

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

private:
    bool readDevice(std::size_t position);

    ConsoleContext &m_console;
    ResetLog m_resetLog;
    Show m_show;
};
