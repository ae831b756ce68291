#include "ReadCycle.h"

#include "ConsoleContext.h"
#include "ErrorRecord.h"
#include "TSoftDet.h"
#include "ThermoFormat.h"

#include <exception>

using ThermoFormat::N;

ReadCycle::ReadCycle(ConsoleContext &console, ResetLog resetLog, Show show)
    : m_console(console), m_resetLog(std::move(resetLog)), m_show(std::move(show))
{
}

void ReadCycle::run()
{
    m_resetLog();
    // Index-based: a device event could in principle change the collection
    // while a report is being read.
    for (std::size_t i = 0; i < m_console.Devices().size(); ++i) {
        const std::int64_t position = static_cast<std::int64_t>(i) + 1;
        QString failure;
        try {
            if (readDevice(i))
                continue;
            failure =
                QStringLiteral("+ + + Unable to read from device") + N(position) + QStringLiteral("! + + +");
        } catch (const ErrorRecord &e) {
            // A failing component must not take the timer down with it: this
            // device's display stays as it was and the next tick tries again.
            failure = QStringLiteral("+ + + Unable to read from device") + N(position) +
                      QStringLiteral(": ") + e.source() + QStringLiteral(" - ") + e.description() +
                      QStringLiteral(" (0x") + ThermoFormat::hex(e.code()) + QStringLiteral(") + + +");
        } catch (const std::exception &e) {
            failure = QStringLiteral("+ + + Unable to read from device") + N(position) +
                      QStringLiteral(": ") + QString::fromLocal8Bit(e.what()) + QStringLiteral(" + + +");
        }
        m_console.platform().beeper->beep();
        m_console.AddToResults(failure);
    }
}

ThermoRaw ReadCycle::rawValues(TSoftDet &device)
{
    ThermoRaw raw;
    raw.InTempVar = device.InTempVar()->UnScaledValue();
    raw.InTempLowVar = device.InTempLowVar()->UnScaledValue();
    raw.InTempHighVar = device.InTempHighVar()->UnScaledValue();
    raw.InTempSwitchVar = device.InTempSwitchVar()->UnScaledValue();
    raw.InModeStatus = device.InModeStatus()->UnScaledValue();
    raw.InBootStatus = device.InBootStatus()->UnScaledValue();
    raw.InSondeStatus = device.InSondeStatus()->UnScaledValue();
    return raw;
}

bool ReadCycle::readDevice(std::size_t index)
{
    // Hold our own reference: the device must outlive this read.
    const std::shared_ptr<TSoftDet> device = m_console.Devices()[index];
    m_console.AddToResults(QString());
    m_console.AddToResults(QStringLiteral("Device #") + N(static_cast<std::int64_t>(index) + 1) +
                           QStringLiteral(":"));
    if (!device->ReadAllReports())
        return false;

    const ThermoRaw raw = rawValues(*device);

    m_console.AddToResults(QStringLiteral("  InTempVar ") + N(raw.InTempVar));
    m_console.AddToResults(QStringLiteral("  InTempLowVar ") + N(raw.InTempLowVar));
    m_console.AddToResults(QStringLiteral("  InTempHighVar ") + N(raw.InTempHighVar));
    m_console.AddToResults(QStringLiteral("  InTempSwitchVar ") + N(raw.InTempSwitchVar));
    m_console.AddToResults(QStringLiteral("  InModeStatus ") + N(raw.InModeStatus));
    m_console.AddToResults(QStringLiteral("  InBootStatus ") + N(raw.InBootStatus));
    m_console.AddToResults(QStringLiteral("  InSondeStatus ") + N(raw.InSondeStatus));

    m_show(ThermoDisplay::from(raw, m_console.platform().regional->decimalSeparator()));
    return true;
}
