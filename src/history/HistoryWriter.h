#pragma once

#include "HistoryStore.h"
#include "MinuteAggregator.h"

#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// The history's store on a thread of its own: what the service hands over
// waits in memory and goes to disk in one transaction every flush interval,
// and at stop. Handing over only takes a lock around a few vector moves, so
// reading, HTTP and MQTT never wait for the disk.
//
// A write that fails (a full disk, a file that cannot be had) is told once;
// the rows wait in memory, at most kMaxMinutes minute rows and kMaxEvents
// events (the oldest go first past that, told once), and are written at the
// next flush that succeeds, which is told too.
class HistoryWriter
{
public:
    using Notice = std::function<void(const QString &line)>; // called on the writer's thread
    using Clock = std::function<std::int64_t()>;             // Unix seconds

    // About 3.5 days of four thermostats, some 2 MB.
    static constexpr std::size_t kMaxMinutes = 20000;
    static constexpr std::size_t kMaxEvents = 20000;
    static constexpr int kPruneBatch = 1000;

    struct Options
    {
        QString path;
        std::chrono::milliseconds flushInterval{60000};
        int retentionDays = 400;
        Clock now; // empty: the system clock
    };

    HistoryWriter(Options options, Notice notice);
    ~HistoryWriter(); // stop()
    HistoryWriter(const HistoryWriter &) = delete;
    HistoryWriter &operator=(const HistoryWriter &) = delete;

    void start();
    void submit(MinuteAggregator::Output batch);
    // The alert rules' state: the latest given goes to disk at once, in a
    // transaction of its own, not at the next flush. One that fails is
    // tried again at each flush until a newer one replaces it.
    void saveAlertState(QByteArray state);
    // Writes what waits now and returns once it is done (or failed).
    void flushNow();
    // A last flush, then the thread ends.
    void stop();

    struct Stats
    {
        std::size_t waitingMinutes = 0, waitingEvents = 0;
        std::uint64_t flushes = 0, writtenMinutes = 0, dropped = 0;
        bool failing = false;
    };
    Stats stats() const;

private:
    void run();
    void flush(std::unique_lock<std::mutex> &lock);
    bool ensureStore();
    void prune();
    void writeAlertState(std::unique_lock<std::mutex> &lock);

    Options m_options;
    Notice m_notice;
    std::unique_ptr<HistoryStore> m_store; // the writer thread's only
    mutable std::mutex m_mutex;
    std::condition_variable m_wake, m_flushed;
    std::deque<MinuteRow> m_minutes;
    std::deque<HistoryEvent> m_events;
    std::optional<QByteArray> m_alertState; // waiting to be written
    bool m_alertFailTold = false;
    std::uint64_t m_flushRequests = 0, m_flushesDone = 0;
    bool m_stopping = false;
    bool m_openTold = false;
    bool m_droppedTold = false;
    std::int64_t m_lastPrune = 0;
    Stats m_stats;
    std::thread m_thread;
};
