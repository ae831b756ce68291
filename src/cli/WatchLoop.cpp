#include "WatchLoop.h"

#include "ReadingFormat.h"

WatchLoop::WatchLoop(ThermostatLink &link, WatchOutput &output, const CliOptions &options, Notice notice,
                     Clock clock, QObject *parent)
    : QObject(parent), m_link(link), m_output(output), m_format(options.format), m_count(options.count),
      m_notice(std::move(notice)), m_clock(clock ? std::move(clock) : Clock(&QDateTime::currentDateTime))
{
    m_timer.setInterval(static_cast<int>(options.intervalMs));
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WatchLoop::tick);
    connect(&m_link, &ThermostatLink::lost, this, [this](const QString &path) {
        if (!m_absentTold)
            m_notice(QStringLiteral("%1 unplugged; waiting for it to come back").arg(path));
        m_absentTold = true;
    });
    connect(&m_link, &ThermostatLink::back, this, [this](const QString &path) {
        m_notice(QStringLiteral("thermostat back on %1").arg(path));
        m_absentTold = false;
    });
}

void WatchLoop::start()
{
    m_running = true;
    if (m_output.startsEmpty() && !write(ReadingFormat::header(m_format)))
        return;
    m_timer.start();
    tick();
}

void WatchLoop::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_timer.stop();
    emit finished();
}

bool WatchLoop::write(const QString &text)
{
    if (text.isEmpty() || m_output.write(text))
        return true;
    m_notice(m_output.error());
    m_exitCode = ExitCode::Device;
    stop();
    return false;
}

void WatchLoop::tick()
{
    if (!m_running)
        return;
    const QString timestamp = ReadingFormat::timestamp(m_clock());
    if (!m_link.isOpen()) {
        unavailable(QString(), timestamp);
        return;
    }
    ThermostatLink::Failure failure;
    const std::optional<Reading> reading = m_link.read(&failure);
    if (!reading) {
        unavailable(failure.message, timestamp);
        return;
    }
    m_absentTold = false;
    if (!write(ReadingFormat::row(m_format, timestamp, *reading)))
        return;
    ++m_rows;
    if (m_count > 0 && m_rows >= m_count)
        stop();
}

void WatchLoop::unavailable(const QString &why, const QString &timestamp)
{
    if (!m_absentTold && !why.isEmpty())
        m_notice(why + QStringLiteral("; waiting for the thermostat"));
    m_absentTold = true;
    // Monitoring must see the thermostat go down, not a stale reading.
    if (m_format == OutputFormat::Prometheus)
        write(ReadingFormat::prometheusDown(m_link.id(), timestamp));
}
