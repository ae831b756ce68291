#pragma once

#include "Platform.h"

#include <QString>

#include <memory>
#include <vector>

class TSoftDet;

// What the main window shares with the parts of its logic that live in
// their own classes (entry, sending): the device collection, the results
// log and the desktop services. Form_main implements it; tests may too.
class ConsoleContext
{
public:
    virtual ~ConsoleContext() = default;

    // The connected thermostats, in order of insertion (position 1 first).
    virtual const std::vector<std::shared_ptr<TSoftDet>> &Devices() const = 0;

    // One line of the results log; the line break is added here.
    virtual void AddToResults(const QString &line) = 0;

    // Text appended to the connection status box, without a line break.
    virtual void AddToResults_status(const QString &text) = 0;

    virtual const Platform &platform() const = 0;
};
