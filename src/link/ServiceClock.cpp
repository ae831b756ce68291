#include "ServiceClock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <atomic>
#include <mutex>

namespace {

struct Simulated
{
    std::int64_t startMs = 0;
    std::int64_t speed = 1;
    QElapsedTimer since;
};

std::atomic<bool> g_simulated{false};
std::mutex g_mutex;
Simulated g_clock;

} // namespace

namespace ServiceClock {

std::int64_t nowMs()
{
    if (!g_simulated.load(std::memory_order_acquire))
        return QDateTime::currentMSecsSinceEpoch();
    const std::lock_guard<std::mutex> lock(g_mutex);
    return g_clock.startMs + g_clock.since.elapsed() * g_clock.speed;
}

std::int64_t speed()
{
    if (!g_simulated.load(std::memory_order_acquire))
        return 1;
    const std::lock_guard<std::mutex> lock(g_mutex);
    return g_clock.speed;
}

bool simulateFrom(const QProcessEnvironment &environment, QString *error)
{
    const QString value = environment.value(QStringLiteral("CALIDORCTL_SIMULATE_CLOCK"));
    if (value.isEmpty())
        return true;
    const qsizetype colon = value.indexOf(QLatin1Char(':'));
    bool startOk = false, speedOk = false;
    const qint64 start = value.left(colon).toLongLong(&startOk);
    const qint64 speed = colon < 0 ? 0 : value.mid(colon + 1).toLongLong(&speedOk);
    if (!startOk || !speedOk || start < 0 || start > 32503680000LL || speed < 1 || speed > 1000000) {
        if (error)
            *error =
                QStringLiteral("CALIDORCTL_SIMULATE_CLOCK=\"%1\" is not START:SPEED (Unix seconds, a factor "
                               "from 1 to 1000000)")
                    .arg(value.left(64));
        return false;
    }
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_clock.startMs = start * 1000;
    g_clock.speed = speed;
    g_clock.since.start();
    g_simulated.store(true, std::memory_order_release);
    return true;
}

void useSystemClock()
{
    g_simulated.store(false, std::memory_order_release);
}

} // namespace ServiceClock
