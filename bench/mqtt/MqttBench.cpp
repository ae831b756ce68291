// The MQTT bridge's figures against a real mosquitto on a loopback port:
//  - from a change of a virtual thermostat's temperature to its state
//    message at a subscriber, and from a command's publication to the write
//    reaching the thermostat (median and maximum over 200 of each), with the
//    bridge and a Fleet in this process, reading every 100 ms;
//  - the processor time of `calidorctl --simulate serve --mqtt` with two
//    thermostats at --interval 1s over a minute (target: under 0.15 %).
//
//   mqtt_bench [--samples N] [--cpu-seconds S]   (S = 0 skips the CPU run)
#include "Fleet.h"
#include "MqttBridge.h"
#include "MqttClient.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kThermostats = 20; // 200 commands keep within 10 a minute each

sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

bool answers(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// Runs the event loop until `done` holds or `ms` pass; false on time-out.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    }
    return true;
}

void print(const char *what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("%-34s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %7.1f ms   max %7.1f ms   (%zu samples)\n", what, ms[ms.size() / 2], ms.back(),
                ms.size());
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> f = stat.readAll().split(')').last().trimmed().split(' ');
    // After the command name: state is field 3, utime 14 and stime 15.
    return (f.value(11).toDouble() + f.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int samples = 200;
    int cpuSecondsWanted = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--samples"))
            samples = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cpu-seconds"))
            cpuSecondsWanted = std::atoi(argv[i + 1]);
    }
    const QString mosquitto = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (mosquitto.isEmpty()) {
        std::printf("mosquitto is not installed: nothing measured\n");
        return 0;
    }
    QTemporaryDir dir;
    const int port = freePort();
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n")
                   .arg(port)
                   .toUtf8());
    conf.close();
    QProcess broker;
    broker.start(mosquitto, {QStringLiteral("-c"), conf.fileName()});
    if (!waitFor([port] { return answers(port); }, 5000)) {
        std::printf("mosquitto did not start\n");
        return 1;
    }

    // --- latencies, in this process ----------------------------------------
    auto transport = std::make_shared<VirtualTransport>();
    std::vector<std::shared_ptr<VirtualThermostat>> units;
    for (int i = 0; i < kThermostats; ++i) {
        auto t = std::make_shared<VirtualThermostat>();
        t->setSerialNumber(QStringLiteral("BENCH%1").arg(i, 2, 10, QLatin1Char('0')));
        t->setNoiseAmplitude(0);
        t->setTimeConstantMs(1000LL * 3600 * 24 * 365); // the temperature stays where it is put
        units.push_back(t);
        transport->plug(t);
    }
    const auto quiet = [](const QString &) {};
    Fleet fleet(transport, 100, quiet);
    MqttBridge::Settings settings;
    settings.client.host = QStringLiteral("127.0.0.1");
    settings.client.port = port;
    settings.client.clientId = QStringLiteral("bench-bridge");
    settings.topicPrefix = QStringLiteral("bench");
    settings.discovery = false;
    MqttBridge bridge(fleet, settings,
                      [](const QString &line) { std::printf("bridge: %s\n", qPrintable(line)); });
    QString error;
    fleet.start();
    if (!bridge.start(&error)) {
        std::printf("bridge: %s\n", qPrintable(error));
        return 1;
    }
    MqttClient::Settings subSettings;
    subSettings.host = settings.client.host;
    subSettings.port = port;
    subSettings.clientId = QStringLiteral("bench-subscriber");
    MqttClient sub(subSettings);
    QHash<QString, double> lastTemperature; // id -> °C of its last state message
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&sub, &MqttClient::connected,
                     [&sub] { sub.subscribe(QStringLiteral("bench/+/state")); });
    QObject::connect(&sub, &MqttClient::messageReceived,
                     [&](const QString &topic, const QByteArray &payload, bool) {
                         const QJsonObject o = QJsonDocument::fromJson(payload).object();
                         lastTemperature[topic.section(QLatin1Char('/'), 1, 1)] =
                             o.value(QStringLiteral("temperature_celsius")).toDouble();
                     });
    sub.start(&error);
    waitFor([&] { return sub.isConnected() && fleet.states().size() == std::size_t(kThermostats); }, 5000);
    waitFor([] { return false; }, 500); // the first states go by

    std::vector<double> changeMs;
    for (int i = 0; i < samples; ++i) {
        const int k = i % kThermostats;
        const int tenths = 100 + (i % 2 ? 37 : -37) + i; // never the value it had
        const QString id = units[k]->serialNumber();
        // A change comes at any moment of the read interval, not just after a read.
        waitFor([] { return false; }, std::rand() % 100);
        const qint64 t0 = clock.nsecsElapsed();
        units[k]->setTemperature(tenths);
        if (waitFor([&] { return qRound(lastTemperature.value(id) * 10) == tenths; }, 3000))
            changeMs.push_back((clock.nsecsElapsed() - t0) / 1e6);
    }

    std::vector<double> commandMs;
    for (int i = 0; i < samples; ++i) {
        const int k = i % kThermostats;
        const int tenths = 300 + i; // above TL, different every time
        const qint64 t0 = clock.nsecsElapsed();
        sub.publish(QStringLiteral("bench/%1/th/set").arg(units[k]->serialNumber()),
                    QByteArray::number(tenths / 10.0, 'f', 1), false);
        if (waitFor([&] { return units[k]->highThreshold() == tenths; }, 3000))
            commandMs.push_back((clock.nsecsElapsed() - t0) / 1e6);
    }
    std::printf("MQTT bridge, %d virtual thermostats read every 100 ms, mosquitto on loopback\n",
                kThermostats);
    print("temperature change -> state", changeMs);
    print("command -> write (300 ms gathering)", commandMs);
    sub.stop();
    bridge.stop();
    fleet.stop();

    // --- processor time of the whole service ----------------------------------
    if (cpuSecondsWanted > 0) {
        QProcess serve;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CALIDORCTL_SIMULATE_THERMOSTATS"), QStringLiteral("2"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.path());
        serve.setProcessEnvironment(env);
        serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        serve.start(QStringLiteral(CALIDORCTL_PATH),
                    {QStringLiteral("--simulate"), QStringLiteral("serve"), QStringLiteral("--listen"),
                     QStringLiteral("127.0.0.1:0"), QStringLiteral("--interval"), QStringLiteral("1s"),
                     QStringLiteral("--mqtt"), QStringLiteral("mqtt://127.0.0.1:%1").arg(port)});
        serve.waitForStarted();
        waitFor([] { return false; }, 3000); // start-up and the first publications
        const double before = cpuSeconds(serve.processId());
        waitFor([] { return false; }, cpuSecondsWanted * 1000);
        const double after = cpuSeconds(serve.processId());
        serve.terminate();
        serve.waitForFinished(3000);
        std::printf(
            "serve --mqtt, 2 thermostats, --interval 1s: %.3f %% of a core over %d s (target < 0.15 %%)\n",
            100.0 * (after - before) / cpuSecondsWanted, cpuSecondsWanted);
    }
    broker.terminate();
    broker.waitForFinished(3000);
    return 0;
}
