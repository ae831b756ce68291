#pragma once

#include "CommandLine.h"
#include "ExitCode.h"
#include "ThermostatLink.h"
#include "WatchOutput.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>

// `watch`: a reading every interval, each row written whole and flushed.
// When the thermostat cannot be read the loop says so once on standard
// error, keeps calidor_up 0 in a Prometheus output and goes on; when it
// comes back the rows go on. stop() ends it between two rows.
class WatchLoop : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>; // one line for standard error
    using Clock = std::function<QDateTime()>;

    WatchLoop(ThermostatLink &link, WatchOutput &output, const CliOptions &options, Notice notice,
              Clock clock = {}, QObject *parent = nullptr);

    void start();
    void stop();
    ExitCode exitCode() const { return m_exitCode; }
    std::int64_t rows() const { return m_rows; }

signals:
    void finished();

private:
    void tick();
    void unavailable(const QString &why, const QString &timestamp);
    bool write(const QString &text);

    ThermostatLink &m_link;
    WatchOutput &m_output;
    OutputFormat m_format;
    std::int64_t m_count;
    Notice m_notice;
    Clock m_clock;
    QTimer m_timer;
    std::int64_t m_rows = 0;
    bool m_absentTold = false;
    bool m_running = false;
    ExitCode m_exitCode = ExitCode::Ok;
};
