#pragma once

#include "Form_main.h"
#include "HexDumpView.h"
#include "ScriptedHidAgent.h"
#include "ScriptedPlatform.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// Waits for events the component posts to itself (closing an interface
// that went away happens from the event loop). Not a timing check: the
// limit only keeps a broken test from hanging.
inline bool waitUntil(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline QStringList logLines(const QString &text)
{
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the break that ends the last line
    return lines;
}

// A main window over the scripted component and the scripted desktop.
class FormMainTest : public ::testing::Test
{
protected:
    PlatformDoubles doubles;
    std::shared_ptr<ScriptedHidAgent> agent = std::make_shared<ScriptedHidAgent>();
    std::unique_ptr<Form_main> window;

    void create() { window = std::make_unique<Form_main>(scriptedPlatform(doubles), agent); }

    // A window loaded with one thermostat plugged in.
    void loadWithThermostat()
    {
        thermostat = agent->plug(QStringLiteral("Calidor QN52-W (virtual:1)"), 0x101);
        create();
        ASSERT_TRUE(window->load());
    }

    QStringList lines() const { return logLines(window->resultsText()); }

    // The log after its header line.
    QStringList linesAfterHeader() const
    {
        QStringList l = lines();
        if (!l.isEmpty())
            l.removeFirst();
        return l;
    }

    int thermostat = -1;
};
