// The history's costs, printed side by side from one run:
//  - bytes written to disk (/proc/self/io write_bytes) for a simulated day of
//    four thermostats read every second, flushed every simulated minute as
//    the default --history-flush does, the clock injected so the day takes
//    seconds (target under 10 MB a day);
//  - for some minutes of real time, `calidorctl --simulate serve` over four
//    thermostats with its history, and a real Prometheus scraping it every
//    15 s: each one's bytes written per hour (target: ours at most a quarter);
//  - a year of minute rows of one thermostat queried to 1000 points, 50
//    times: median and maximum (target: median under 50 ms);
//  - serve's resident memory after a year of history queries, with history
//    and without (target: within 8 MB).
//
//   history_bench [--real-minutes N] (default 10; 0 skips the side by side)
#include "HistoryStore.h"
#include "HistoryWriter.h"
#include "MinuteAggregator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <fstream>
#include <random>
#include <string>

namespace {

long long writeBytes(const QString &pid)
{
    std::ifstream io(("/proc/" + pid + "/io").toStdString());
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "write_bytes:")
            return value;
    return -1;
}

long residentKb(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

long long fileBytes(const QString &path)
{
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}

// A room warming and cooling between its thresholds, 3 degrees apart, by
// a tenth every 20 s or so: its relay switches every ten minutes.
struct SimulatedThermostat
{
    std::int32_t temperature = 200;
    bool heating = true;
    HistorySample next(std::mt19937 &random)
    {
        if (random() % 20 == 0)
            temperature += heating ? 1 : -1;
        if (temperature >= 230)
            heating = false;
        if (temperature <= 200)
            heating = true;
        return {temperature, 200, 230, heating, 'A', 0};
    }
};

void simulatedDay(const QString &folder)
{
    const QString path = folder + QStringLiteral("/day.sqlite");
    std::int64_t nowMs =
        QDateTime::fromString(QStringLiteral("2026-01-05T00:00:00Z"), Qt::ISODate).toMSecsSinceEpoch();
    HistoryWriter writer({path, std::chrono::hours(24), 400, [&nowMs] { return nowMs / 1000; }},
                         [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    MinuteAggregator aggregator;
    std::mt19937 random(1);
    SimulatedThermostat thermostats[4];
    const QString ids[4] = {QStringLiteral("SN0001"), QStringLiteral("SN0002"), QStringLiteral("SN0003"),
                            QStringLiteral("SN0004")};
    const long long before = writeBytes(QStringLiteral("self"));
    QElapsedTimer took;
    took.start();
    writer.start();
    aggregator.serviceStarted(nowMs);
    for (int second = 0; second < 86400; ++second, nowMs += 1000) {
        for (int i = 0; i < 4; ++i)
            aggregator.read(ids[i], nowMs, thermostats[i].next(random));
        if (second % 60 == 59) {
            aggregator.advance(nowMs + 1000);
            writer.submit(aggregator.take());
            writer.flushNow(); // the default --history-flush: a minute
        }
    }
    aggregator.serviceStopped(nowMs);
    writer.submit(aggregator.take());
    writer.stop();
    const long long written = writeBytes(QStringLiteral("self")) - before;
    const long long size = fileBytes(path);
    std::printf(
        "simulated day, 4 thermostats read every second, flushed every minute, relays switching every "
        "10 min: %.2f MB written "
        "(target < 10 MB), in %.1f s; the file grew %.0f KB, about %.0f MB a year a thermostat\n",
        written / 1e6, took.elapsed() / 1000.0, size / 1e3, size * 365.0 / 4 / 1e6);
}

void yearOfRows(const QString &path, const QString &id)
{
    QString notice, error;
    auto store = HistoryStore::open(path, HistoryStore::Access::ReadWrite, &notice, &error);
    std::mt19937 random(2);
    SimulatedThermostat t;
    const std::int64_t start = QDateTime::currentSecsSinceEpoch() / 60 * 60 - 365LL * 86400;
    for (int day = 0; day < 365; ++day) {
        std::vector<MinuteRow> rows;
        for (int m = 0; m < 1440; ++m) {
            const HistorySample s = t.next(random);
            rows.push_back({id, start + (day * 1440LL + m) * 60, 60, 0, s.temperature - 2,
                            60LL * s.temperature, s.temperature + 2, s.low, s.high, 'A', int(random() % 1001),
                            0});
        }
        if (!store->append(rows,
                           {{id, rows.front().t + 3600, QStringLiteral("relay"), QStringLiteral("C-NO"), {}}},
                           &error)) {
            std::fprintf(stderr, "history_bench: %s\n", qPrintable(error));
            return;
        }
    }
}

void yearQueries(const QString &path, const QString &id)
{
    QString notice, error;
    auto store = HistoryStore::open(path, HistoryStore::Access::ReadOnly, &notice, &error);
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    std::vector<double> ms;
    std::size_t points = 0;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer took;
        took.start();
        const auto range = store->range(id, now - 365LL * 86400 - i * 60, now - i * 60, 1000, &error);
        const auto events = store->events(id, now - 365LL * 86400 - i * 60, now - i * 60);
        ms.push_back(took.nsecsElapsed() / 1e6);
        points = range ? range->points.size() : 0;
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "a year of minute rows (%s) queried to 1000 points, 50 times: median %.2f ms (target < 50 ms), "
        "max %.2f ms; %zu points\n",
        qPrintable(QFileInfo(path).fileName()), (ms[24] + ms[25]) / 2, ms.back(), points);
}

struct Serve
{
    std::unique_ptr<QProcess> process;
    int port = 0;
};

Serve startServe(const QStringList &history)
{
    Serve s;
    s.process = std::make_unique<QProcess>();
    s.process->setReadChannel(QProcess::StandardError);
    s.process->start(QStringLiteral(CALIDORCTL_PATH),
                     QStringList{QStringLiteral("--simulate"), QStringLiteral("serve"),
                                 QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")} +
                         history);
    QByteArray said;
    for (int i = 0; i < 100 && !said.contains("listening on"); ++i) {
        s.process->waitForReadyRead(100);
        said += s.process->readAllStandardError();
    }
    const int at = int(said.indexOf("http://127.0.0.1:"));
    if (at >= 0)
        s.port = std::atoi(said.constData() + at + 17);
    return s;
}

void stopServe(Serve &s)
{
    s.process->terminate();
    s.process->waitForFinished(10000);
}

std::size_t discard(char *, std::size_t size, std::size_t count, void *)
{
    return size * count;
}

void queries(int port, int count)
{
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &discard);
    std::mt19937 random(3);
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        const std::int64_t from = now - 365LL * 86400 + std::int64_t(random() % (300 * 86400));
        const std::string url = "http://127.0.0.1:" + std::to_string(port) +
                                "/api/v1/thermostats/SIM0001/history?from=" + std::to_string(from) +
                                "&points=" + std::to_string(1 + random() % 5000) +
                                (i % 2 ? "&format=csv" : "");
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_perform(curl);
    }
    curl_easy_cleanup(curl);
}

void memory(const QString &folder, const QString &year)
{
    const QString copy = folder + QStringLiteral("/memory.sqlite");
    QFile::copy(year, copy);
    long kb[2] = {0, 0};
    for (int on = 0; on < 2; ++on) {
        Serve s = startServe(on ? QStringList{QStringLiteral("--history"), copy}
                                : QStringList{QStringLiteral("--no-history")});
        if (!s.port) {
            std::fprintf(stderr, "history_bench: serve did not start\n");
            return;
        }
        queries(s.port, 500);
        QThread::sleep(2);
        kb[on] = residentKb(s.process->processId());
        stopServe(s);
    }
    std::printf("serve's resident memory after 500 queries of a year: %ld KB with history, %ld KB without: "
                "%+ld KB (target within 8192 KB)\n",
                kb[1], kb[0], kb[1] - kb[0]);
}

void sideBySide(const QString &folder, int minutes)
{
    const QString prometheus = QStringLiteral("/usr/bin/prometheus");
    if (!QFile::exists(prometheus)) {
        std::printf("side by side with Prometheus: skipped, %s is missing\n", qPrintable(prometheus));
        return;
    }
    Serve s = startServe({QStringLiteral("--history"), folder + QStringLiteral("/side.sqlite")});
    if (!s.port)
        return;
    QFile config(folder + QStringLiteral("/prometheus.yml"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("global:\n  scrape_interval: 15s\nscrape_configs:\n  - job_name: calidor\n"
                                "    static_configs:\n      - targets: ['127.0.0.1:%1']\n")
                     .arg(s.port)
                     .toUtf8());
    config.close();
    QProcess prom;
    prom.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    prom.setStandardOutputFile(QProcess::nullDevice());
    prom.start(prometheus,
               {QStringLiteral("--config.file=") + config.fileName(),
                QStringLiteral("--storage.tsdb.path=") + folder + QStringLiteral("/tsdb"),
                QStringLiteral("--web.listen-address=127.0.0.1:0"), QStringLiteral("--log.level=error")});
    prom.waitForStarted();
    QThread::sleep(20); // past both start-ups
    const QString servePid = QString::number(s.process->processId());
    const QString promPid = QString::number(prom.processId());
    const long long serve0 = writeBytes(servePid), prom0 = writeBytes(promPid);
    QThread::sleep(static_cast<unsigned long>(minutes) * 60);
    const double perHour = 60.0 / minutes;
    const double ours = (writeBytes(servePid) - serve0) * perHour,
                 theirs = (writeBytes(promPid) - prom0) * perHour;
    std::printf(
        "%d minutes of real time, 4 thermostats: serve with history %.0f KB/h, Prometheus scraping "
        "every 15 s %.0f KB/h: ours is %.2f of theirs (target <= 0.25), with per-minute min, mean, max "
        "and every event\n",
        minutes, ours / 1e3, theirs / 1e3, theirs > 0 ? ours / theirs : 0.0);
    prom.terminate();
    prom.waitForFinished(10000);
    stopServe(s);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int minutes = 10;
    for (int i = 1; i + 1 < argc; i += 2)
        if (!std::strcmp(argv[i], "--real-minutes"))
            minutes = std::max(0, std::atoi(argv[i + 1]));
    // On the disk, not in a tmpfs that writes nothing.
    QTemporaryDir folder(QDir::currentPath() + QStringLiteral("/history_bench.XXXXXX"));
    qputenv("XDG_RUNTIME_DIR", folder.path().toUtf8());
    qputenv("XDG_STATE_HOME", folder.path().toUtf8());
    qputenv("CALIDORCTL_SIMULATE_THERMOSTATS", "4");
    curl_global_init(CURL_GLOBAL_DEFAULT);
    simulatedDay(folder.path());
    const QString year = folder.path() + QStringLiteral("/year.sqlite");
    yearOfRows(year, QStringLiteral("SIM0001"));
    yearQueries(year, QStringLiteral("SIM0001"));
    memory(folder.path(), year);
    if (minutes > 0)
        sideBySide(folder.path(), minutes);
    curl_global_cleanup();
    return 0;
}
