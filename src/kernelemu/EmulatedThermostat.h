#pragma once

#include "VirtualThermostat.h"

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <vector>

// One thermostat as the kernel sees it: the virtual thermostat, the faults the
// checks switch on, and a record of what the kernel asked of it. The model is
// VirtualThermostat's own; this class only answers and counts.
class EmulatedThermostat
{
public:
    enum class Bus { Uhid, Usb };

    EmulatedThermostat(Bus bus, const QString &serial);

    Bus bus() const { return m_bus; }
    VirtualThermostat &model() { return m_model; }
    const VirtualThermostat &model() const { return m_model; }

    // What to do with a GET_REPORT from the kernel.
    struct Answer
    {
        enum Kind { Report, Refused, Ignored } kind = Refused;
        std::vector<std::uint8_t> report; // ID byte first, when kind is Report
    };
    Answer getInputReport(std::uint8_t reportId);
    // An output report from the kernel (interrupt OUT, SET_REPORT or uhid
    // output). False when the thermostat does not take it.
    bool takeOutputReport(const std::vector<std::uint8_t> &report);

    // Faults: refuse answers GET_REPORT with an error, ignore never answers
    // it, silent answers nothing at all.
    bool refuseGetReport = false;
    bool ignoreGetReport = false;
    bool silent = false;
    bool plugged = false;
    QString where; // the vhci port or the uhid device, for the record

    std::uint64_t getReports() const { return m_getReports; }
    std::uint64_t outputReports() const { return m_outputReports; }

    // The record the checks compare the program's output with.
    QJsonObject record() const;
    static QJsonObject decodeReport(const std::vector<std::uint8_t> &report);

private:
    Bus m_bus;
    VirtualThermostat m_model;
    std::uint64_t m_getReports = 0;
    std::uint64_t m_getReportsAnswered = 0;
    std::uint64_t m_outputReports = 0;
    std::uint64_t m_outputReportsRejected = 0;
    std::vector<std::uint8_t> m_lastReport;
    std::vector<std::uint8_t> m_lastOutput;
};
