#pragma once

#include "ConsoleContext.h"
#include "ScriptedPlatform.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <utility>
#include <vector>

class TSoftDet;

// The main window as the entry and send logic see it: a device collection
// the test fills, a results log kept as a list of lines, and the scripted
// desktop services.
class FakeConsoleContext : public ConsoleContext
{
public:
    // `boxes`: a message-box double of the test's own kind, if it needs one.
    explicit FakeConsoleContext(std::shared_ptr<ScriptedMessageBoxes> boxes = nullptr)
    {
        if (boxes)
            doubles.messageBoxes = std::move(boxes);
        m_platform = scriptedPlatform(doubles);
    }

    const std::vector<std::shared_ptr<TSoftDet>> &Devices() const override { return devices; }
    void AddToResults(const QString &line) override { log << line; }
    void AddToResults_status(const QString &text) override { status += text; }
    const Platform &platform() const override { return m_platform; }

    PlatformDoubles doubles;
    std::vector<std::shared_ptr<TSoftDet>> devices;
    QStringList log;
    QString status;

private:
    Platform m_platform;
};
