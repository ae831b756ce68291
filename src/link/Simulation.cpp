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
    load();
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

// One line per thermostat: serial, TL and TH in tenths, mode code.
void Simulation::load()
{
    QFile file(m_stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return; // first run: the thermostats start as they left the factory
    while (!file.atEnd()) {
        const QStringList fields = QString::fromUtf8(file.readLine()).simplified().split(QLatin1Char(' '));
        if (fields.size() != 4)
            continue;
        bool ok1 = false, ok2 = false, ok3 = false;
        const int tl = fields[1].toInt(&ok1);
        const int th = fields[2].toInt(&ok2);
        const int mode = fields[3].toInt(&ok3);
        // A damaged file must not give the thermostat values it cannot hold.
        if (!ok1 || !ok2 || !ok3 || !ConfigSender::inThermostatRange(tl) ||
            !ConfigSender::inThermostatRange(th) || !isMode(mode))
            continue;
        for (Unit &unit : m_units)
            if (unit.serial == fields[0]) {
                unit.thermostat->setThresholds(tl, th);
                unit.thermostat->setMode(mode);
            }
    }
}

bool Simulation::save(QString *error) const
{
    const bool changed = std::any_of(m_units.begin(), m_units.end(),
                                     [](const Unit &u) { return u.thermostat->outputReportsAccepted() > 0; });
    if (!changed)
        return true;
    QSaveFile file(m_stateFile);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    for (const Unit &unit : m_units) {
        const VirtualThermostat &t = *unit.thermostat;
        file.write(QStringLiteral("%1 %2 %3 %4\n")
                       .arg(unit.serial)
                       .arg(t.lowThreshold())
                       .arg(t.highThreshold())
                       .arg(t.mode())
                       .toUtf8());
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
