#pragma once

// What calidorctl answers to the shell.
enum class ExitCode : int {
    Ok = 0,
    Device = 1,  // none found, cannot open, a transfer failed, read-back differs
    Usage = 2,   // bad command line
    Refused = 3, // values the thermostat must not be given; nothing was written
};

inline int toInt(ExitCode code)
{
    return static_cast<int>(code);
}
