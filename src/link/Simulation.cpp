#include "Simulation.h"

#include "ConfigSender.h"
#include "ThresholdEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

constexpr int kMostThermostats = 8;

int number(const QProcessEnvironment &environment, const char *name, int fallback)
{
    bool ok = false;
    const int value = environment.value(QLatin1String(name)).toInt(&ok);
    return ok ? value : fallback;
}

bool isMode(int code)
{
    return code == static_cast<int>(ThresholdEntry::RelayMode::A) ||
           code == static_cast<int>(ThresholdEntry::RelayMode::B);
}

} // namespace

Simulation::Simulation(const QProcessEnvironment &environment, QObject *parent)
    : QObject(parent), m_stateFile(stateFile(environment)), m_transport(std::make_shared<VirtualTransport>())
{
    const int count =
        std::clamp(number(environment, "CALIDORCTL_SIMULATE_THERMOSTATS", 1), 1, kMostThermostats);
    for (int i = 1; i <= count; ++i) {
        Unit unit;
        unit.serial = QStringLiteral("SIM%1").arg(i, 4, 10, QLatin1Char('0'));
        unit.thermostat = std::make_shared<VirtualThermostat>();
        unit.thermostat->setSerialNumber(unit.serial);
        unit.thermostat->setUsbPort(QStringLiteral("1-%1").arg(i));
        unit.thermostat->setStallReads(environment.value(QStringLiteral("CALIDORCTL_SIMULATE_STALL")) ==
                                       QLatin1String("1"));
        unit.thermostat->setFailWrites(environment.value(QStringLiteral("CALIDORCTL_SIMULATE_FAIL_WRITES")) ==
                                       QLatin1String("1"));
        m_units.push_back(unit);
    }
    for (Unit &unit : m_units) {
        pull(unit);
        unit.thermostat->setSharing([this, &unit](VirtualThermostat &) { pull(unit); },
                                    [this, &unit](VirtualThermostat &) { push(unit); });
    }
    m_transport->setRealStall(true);
    m_transport->setOpenFails(environment.value(QStringLiteral("CALIDORCTL_SIMULATE_OPEN_FAILS")) ==
                              QLatin1String("1"));

    for (const Unit &unit : m_units)
        m_transport->plug(unit.thermostat);
    stallLater(environment.value(QStringLiteral("CALIDORCTL_SIMULATE_STALL")));

    const int unplugAfter = number(environment, "CALIDORCTL_SIMULATE_UNPLUG_AFTER", -1);
    m_replugAfterMs = number(environment, "CALIDORCTL_SIMULATE_REPLUG_AFTER", -1);
    if (unplugAfter >= 0) {
        m_transport->unplugAfterReads(m_transport->paths().constFirst(), unplugAfter);
        connect(m_transport.get(), &HidTransport::deviceRemoved, this, &Simulation::replugLater);
    }
}

QString Simulation::stateFile(const QProcessEnvironment &environment)
{
    const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("calidorctl-simulate.state"));
    // Shared folder: one file per user.
    return QDir(QDir::tempPath()).filePath(QStringLiteral("calidorctl-simulate-%1.state").arg(::getuid()));
}

void Simulation::replugLater(const QString &path)
{
    Q_UNUSED(path);
    if (m_replugAfterMs < 0)
        return;
    // The first thermostat is the one that was pulled out; it comes back
    // under a new path, as a replugged device gets a new node.
    const std::shared_ptr<VirtualThermostat> thermostat = m_units.front().thermostat;
    QTimer::singleShot(m_replugAfterMs, this, [this, thermostat] { m_transport->plug(thermostat); });
}

void Simulation::stallLater(const QString &spec)
{
    const QStringList parts = spec.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return;
    bool okFrom = false, okFor = false;
    const int from = parts[1].toInt(&okFrom);
    const int length = parts[2].toInt(&okFor);
    if (!okFrom || !okFor || from < 0 || length < 0)
        return;
    for (const Unit &unit : m_units)
        if (unit.serial == parts[0]) {
            const std::shared_ptr<VirtualThermostat> t = unit.thermostat;
            QTimer::singleShot(from, this, [t] { t->setStallReads(true); });
            QTimer::singleShot(from + length, this, [t] { t->setStallReads(false); });
        }
}

std::map<QString, Simulation::Settings> Simulation::readState() const
{
    // One line per thermostat: serial, TL and TH in tenths, mode code.
    std::map<QString, Settings> out;
    QFile file(m_stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return out; // first run: the thermostats are as they left the factory
    while (!file.atEnd()) {
        const QStringList fields = QString::fromUtf8(file.readLine(256)).simplified().split(QLatin1Char(' '));
        if (fields.size() != 4)
            continue;
        bool ok1 = false, ok2 = false, ok3 = false;
        Settings s{fields[1].toInt(&ok1), fields[2].toInt(&ok2), fields[3].toInt(&ok3)};
        // A damaged file must not give the thermostat values it cannot hold.
        if (!ok1 || !ok2 || !ok3 || !ConfigSender::inThermostatRange(s.low) ||
            !ConfigSender::inThermostatRange(s.high) || !isMode(s.mode))
            continue;
        out[fields[0]] = s;
    }
    return out;
}

namespace {

std::optional<std::tuple<quint64, qint64, qint64>> statOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return std::tuple{static_cast<quint64>(st.st_ino),
                      static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                      static_cast<qint64>(st.st_size)};
}

} // namespace

void Simulation::pull(Unit &unit)
{
    const auto now = statOf(m_stateFile);
    const Stamp stamp = now ? Stamp{std::get<0>(*now), std::get<1>(*now), std::get<2>(*now)} : Stamp{};
    if (stamp == unit.seen)
        return;
    unit.seen = stamp;
    const std::map<QString, Settings> state = readState();
    const auto found = state.find(unit.serial);
    if (found == state.end())
        return;
    unit.thermostat->setThresholds(found->second.low, found->second.high);
    unit.thermostat->setMode(found->second.mode);
}

void Simulation::push(Unit &unit)
{
    const VirtualThermostat &t = *unit.thermostat;
    QString error;
    {
        // Another process may be writing its own thermostat's line: one at a time.
        const QByteArray lockPath = QFile::encodeName(m_stateFile + QStringLiteral(".lock"));
        const int lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock >= 0)
            ::flock(lock, LOCK_EX);
        std::map<QString, Settings> state = readState();
        state[unit.serial] = Settings{t.lowThreshold(), t.highThreshold(), t.mode()};
        QSaveFile file(m_stateFile);
        if (file.open(QIODevice::WriteOnly)) {
            for (const auto &[serial, s] : state)
                file.write(
                    QStringLiteral("%1 %2 %3 %4\n").arg(serial).arg(s.low).arg(s.high).arg(s.mode).toUtf8());
            if (!file.commit())
                error = file.errorString();
        } else {
            error = file.errorString();
        }
        if (lock >= 0)
            ::close(lock); // and with it the lock
    }
    if (const auto now = statOf(m_stateFile))
        unit.seen = Stamp{std::get<0>(*now), std::get<1>(*now), std::get<2>(*now)};
    if (!error.isEmpty()) {
        std::lock_guard<std::mutex> guard(m_errorMutex);
        if (m_writeError.isEmpty())
            m_writeError = error;
    }
}

bool Simulation::save(QString *error) const
{
    std::lock_guard<std::mutex> guard(m_errorMutex);
    if (m_writeError.isEmpty())
        return true;
    *error = m_writeError;
    return false;
}
