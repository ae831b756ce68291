#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

// A simulated QN52-W: it measures a temperature that follows a first-order
// model, switches its relay between TL and TH with hysteresis, keeps TL, TH
// and the relay mode written through output report B, and reports all of them
// in input report A. Time comes from an injectable clock and noise from a
// seeded generator, so a test gets the same run every time.
//
// Temperatures are tenths of a degree Celsius; on the wire they are 16-bit
// two's complement, so -55.0 °C travels as 64986.
//
// Relay: state 1 puts the common contact on C-NO, 0 on C-NC. The load wired
// to C-NO heats in mode A and cools in mode B:
//   mode A: C-NO when the temperature falls below TL, back to C-NC above TH;
//   mode B: C-NO when the temperature rises above TH, back to C-NC below TL.
// With a probe fault the thermostat cannot measure: it keeps its last good
// reading and releases the relay to C-NC.
class VirtualThermostat
{
public:
    using Clock = std::function<std::int64_t()>; // milliseconds, monotonic

    static constexpr std::uint16_t VendorId = 0x0925;
    static constexpr std::uint16_t ProductId = 0x5000;
    static constexpr std::uint8_t InputReportId = 1;  // report A
    static constexpr std::uint8_t OutputReportId = 2; // report B
    static constexpr int InputPayloadBytes = 10;
    static constexpr int OutputPayloadBytes = 7;
    static constexpr int ModeA = 65;
    static constexpr int ModeB = 66;
    static constexpr std::int64_t StepMs = 100; // simulation step

    enum ProbeStatus : int { ProbeOk = 0, ProbeShortCircuit = 1, ProbeMissing = 2, ProbeCrcError = 3 };

    // Without a clock the thermostat uses the process's monotonic clock.
    explicit VirtualThermostat(Clock clock = {}, std::uint32_t seed = 1);

    // The report descriptor: vendor page 0xFF00, usages 1-7 in input report 1,
    // usages 8-12 in output report 2.
    static std::vector<std::uint8_t> standardReportDescriptor();

    // --- identity, changeable so tests can plug other devices -------------
    std::uint16_t vendorId() const { return m_vendorId; }
    std::uint16_t productId() const { return m_productId; }
    QString productName() const { return m_productName; }
    QString serialNumber() const { return m_serial; }
    const std::vector<std::uint8_t> &reportDescriptor() const { return m_descriptor; }
    void setIdentity(std::uint16_t vendorId, std::uint16_t productId, const QString &productName);
    void setSerialNumber(const QString &serial) { m_serial = serial; }
    // The USB port it is plugged into, as sysfs names it ("1-2").
    QString usbPort() const { return m_usbPort; }
    void setUsbPort(const QString &port) { m_usbPort = port; }
    void setReportDescriptor(std::vector<std::uint8_t> descriptor) { m_descriptor = std::move(descriptor); }

    // --- the wire ----------------------------------------------------------
    // Report A with its ID byte, after bringing the simulation up to now.
    std::vector<std::uint8_t> inputReport();
    // Takes report B (ID byte first). False when the ID or the length is wrong;
    // then nothing changes. A mode other than A or B is ignored.
    bool acceptOutputReport(const std::vector<std::uint8_t> &report);

    // --- the model ---------------------------------------------------------
    void advance();                                       // brings the simulation up to the clock
    int temperature() const { return m_lastGoodReading; } // tenths, as reported
    double trueTemperature() const { return m_temperature; }
    void setTemperature(int tenths); // sets the probe's surroundings at once
    int ambient() const { return m_ambient; }
    void setAmbient(int tenths) { m_ambient = tenths; }
    int heaterTarget() const { return m_heaterTarget; }
    void setHeaterTarget(int tenths) { m_heaterTarget = tenths; }
    int coolerTarget() const { return m_coolerTarget; }
    void setCoolerTarget(int tenths) { m_coolerTarget = tenths; }
    std::int64_t timeConstantMs() const { return m_timeConstantMs; }
    void setTimeConstantMs(std::int64_t ms) { m_timeConstantMs = ms > 0 ? ms : 1; }
    int noiseAmplitude() const { return m_noise; }
    void setNoiseAmplitude(int tenths) { m_noise = tenths < 0 ? 0 : tenths; }

    int lowThreshold() const { return m_tl; }
    int highThreshold() const { return m_th; }
    int mode() const { return m_mode; }
    void setThresholds(int tl, int th)
    {
        m_tl = tl;
        m_th = th;
    }
    void setMode(int mode) { m_mode = mode; }
    int relayState() const { return m_relay; }
    int bootStatus() const { return m_bootStatus; }
    void setBootStatus(int status) { m_bootStatus = status; }
    int probeStatus() const { return m_probe; }
    void injectProbeStatus(int status) { m_probe = status; }

    // What the last report B carried for the boot loader, -1 before any.
    int lastBootStatusWritten() const { return m_lastBootStatus; }
    int lastBootValueWritten() const { return m_lastBootValue; }
    int outputReportsAccepted() const { return m_outputReports; }
    int inputReportsSent() const { return m_inputReports; }

    // --- sharing with other processes ----------------------------------------
    // `beforeReport` runs before each report A is made, `afterWrite` after
    // each report B is taken: the simulation of calidorctl keeps one
    // thermostat's settings in a file that every process of the user reads,
    // as every program on a machine sees one real thermostat. Both run on
    // the thread that moves the reports.
    using Hook = std::function<void(VirtualThermostat &)>;
    void setSharing(Hook beforeReport, Hook afterWrite)
    {
        m_beforeReport = std::move(beforeReport);
        m_afterWrite = std::move(afterWrite);
    }

    // --- faults the transport acts on ---------------------------------------
    // Atomic: a test or the simulation may switch them while another thread reads.
    bool stallReads() const { return m_stallReads; }
    void setStallReads(bool on) { m_stallReads = on; }
    bool failWrites() const { return m_failWrites; }
    void setFailWrites(bool on) { m_failWrites = on; }

private:
    void step(std::int64_t dtMs);
    void updateRelay(int reading);
    int measure();

    Clock m_clock;
    std::mt19937 m_random;
    std::int64_t m_lastTime = 0;

    std::uint16_t m_vendorId = VendorId;
    std::uint16_t m_productId = ProductId;
    QString m_productName = QStringLiteral("Calidor QN52-W (virtuel)");
    QString m_serial;
    QString m_usbPort;
    std::vector<std::uint8_t> m_descriptor;

    double m_temperature = 200.0;
    int m_lastGoodReading = 200;
    int m_ambient = 150; // a cool room, so the heater on C-NO has work to do
    int m_heaterTarget = 400;
    int m_coolerTarget = 0;
    std::int64_t m_timeConstantMs = 60000;
    int m_noise = 1;

    int m_tl = 180;
    int m_th = 220;
    int m_mode = ModeA;
    int m_relay = 0;
    int m_bootStatus = 0;
    int m_probe = ProbeOk;

    int m_lastBootStatus = -1;
    int m_lastBootValue = -1;
    int m_outputReports = 0;
    int m_inputReports = 0;

    Hook m_beforeReport;
    Hook m_afterWrite;
    std::atomic<bool> m_stallReads = false;
    std::atomic<bool> m_failWrites = false;
};
