// Writes history as the service does, as fast as it can, until killed:
// two thermostats, a minute after another, flushed by the writer every
// FLUSH_MS and, every fifth minute, on demand; after each demanded flush it
// prints "flushed T", T the last minute handed over before it, so that the
// test that kills it knows what must have survived.
//
//   history_writer_probe PATH FLUSH_MS FIRST_MINUTE
#include "HistoryWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: history_writer_probe PATH FLUSH_MS FIRST_MINUTE\n");
        return 2;
    }
    HistoryWriter::Options options;
    options.path = QString::fromLocal8Bit(argv[1]);
    options.flushInterval = std::chrono::milliseconds(std::atol(argv[2]));
    options.retentionDays = 0;
    HistoryWriter writer(options,
                         [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    writer.start();
    for (std::int64_t t = std::atoll(argv[3]);; t += 60) {
        MinuteAggregator::Output out;
        for (const char *id : {"P1", "P2"}) {
            MinuteRow r;
            r.id = QString::fromLatin1(id);
            r.t = t;
            r.reads = 60;
            r.temperatureMin = 200;
            r.temperatureSum = 60 * 201;
            r.temperatureMax = 202;
            out.minutes.push_back(r);
            out.events.push_back({r.id, t + 1, QStringLiteral("relay"), QStringLiteral("C-NO"), {}});
        }
        writer.submit(std::move(out));
        if ((t / 60) % 5 == 4) {
            writer.flushNow();
            std::printf("flushed %lld\n", static_cast<long long>(t));
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}
