#include "HistoryWriter.h"

#include <QDateTime>

HistoryWriter::HistoryWriter(Options options, Notice notice)
    : m_options(std::move(options)), m_notice(std::move(notice))
{
    if (!m_options.now)
        m_options.now = [] { return QDateTime::currentSecsSinceEpoch(); };
}

HistoryWriter::~HistoryWriter()
{
    stop();
}

void HistoryWriter::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void HistoryWriter::submit(MinuteAggregator::Output batch)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (MinuteRow &r : batch.minutes)
        m_minutes.push_back(std::move(r));
    for (HistoryEvent &e : batch.events)
        m_events.push_back(std::move(e));
    // Bounded while the disk refuses: the oldest go first.
    std::size_t dropped = 0;
    for (; m_minutes.size() > kMaxMinutes; ++dropped)
        m_minutes.pop_front();
    for (; m_events.size() > kMaxEvents; ++dropped)
        m_events.pop_front();
    m_stats.dropped += dropped;
}

void HistoryWriter::saveAlertState(QByteArray state)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_alertState = std::move(state);
    }
    m_wake.notify_all();
}

// Called with the lock held; writes without it.
void HistoryWriter::writeAlertState(std::unique_lock<std::mutex> &lock)
{
    if (!m_alertState)
        return;
    QByteArray state = *m_alertState;
    lock.unlock();
    QString error;
    const bool written = ensureStore() && m_store->setAlertState(state, &error);
    if (!written && !m_alertFailTold && m_store)
        m_notice(QStringLiteral("history: cannot keep the alert state in %1: %2; trying again at every flush")
                     .arg(m_options.path, error));
    lock.lock();
    m_alertFailTold = !written;
    // A newer state given meanwhile waits for the next turn.
    if (written && m_alertState == state)
        m_alertState.reset();
}

void HistoryWriter::flushNow()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable())
        return;
    const std::uint64_t ticket = ++m_flushRequests;
    m_wake.notify_all();
    m_flushed.wait(lock, [&] { return m_flushesDone >= ticket || !m_thread.joinable(); });
}

void HistoryWriter::stop()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_store.reset();
}

HistoryWriter::Stats HistoryWriter::stats() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Stats s = m_stats;
    s.waitingMinutes = m_minutes.size();
    s.waitingEvents = m_events.size();
    return s;
}

bool HistoryWriter::ensureStore()
{
    if (m_store)
        return true;
    QString notice, error;
    m_store = HistoryStore::open(m_options.path, HistoryStore::Access::ReadWrite, &notice, &error);
    if (!notice.isEmpty())
        m_notice(notice);
    if (!m_store && !m_openTold) {
        m_notice(
            QStringLiteral("history: cannot open %1; keeping up to %2 minutes in memory and trying again")
                .arg(error)
                .arg(kMaxMinutes));
        m_openTold = true;
    }
    return m_store != nullptr;
}

void HistoryWriter::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    lock.unlock();
    ensureStore();
    prune();
    lock.lock();
    auto next = std::chrono::steady_clock::now() + m_options.flushInterval;
    while (true) {
        const bool woken = m_wake.wait_until(lock, next, [&] {
            return m_stopping || m_flushRequests != m_flushesDone || (m_alertState && !m_alertFailTold);
        });
        writeAlertState(lock);
        if (woken && !m_stopping && m_flushRequests == m_flushesDone)
            continue; // the alert state alone
        const bool stopping = m_stopping;
        const std::uint64_t served = m_flushRequests;
        flush(lock);
        m_flushesDone = served;
        m_flushed.notify_all();
        if (stopping)
            break;
        if (std::chrono::steady_clock::now() >= next)
            next = std::chrono::steady_clock::now() + m_options.flushInterval;
    }
}

// Called with the lock held; writes without it.
void HistoryWriter::flush(std::unique_lock<std::mutex> &lock)
{
    if (m_stats.dropped > 0 && !m_droppedTold) {
        m_droppedTold = true;
        const std::uint64_t dropped = m_stats.dropped;
        lock.unlock();
        m_notice(
            QStringLiteral("history: memory full while the disk refused; the oldest %1 rows were dropped")
                .arg(dropped));
        lock.lock();
    }
    if (m_minutes.empty() && m_events.empty())
        return;
    std::vector<MinuteRow> minutes(std::make_move_iterator(m_minutes.begin()),
                                   std::make_move_iterator(m_minutes.end()));
    std::vector<HistoryEvent> events(std::make_move_iterator(m_events.begin()),
                                     std::make_move_iterator(m_events.end()));
    m_minutes.clear();
    m_events.clear();
    const bool wasFailing = m_stats.failing;
    lock.unlock();

    QString error;
    const bool written = ensureStore() && m_store->append(minutes, events, &error);
    if (written && wasFailing)
        m_notice(QStringLiteral("history: writing to %1 again; %2 waiting minutes written")
                     .arg(m_options.path)
                     .arg(minutes.size()));
    else if (!written && !wasFailing && m_store)
        m_notice(QStringLiteral("history: cannot write to %1: %2; keeping up to %3 minutes in memory and "
                                "trying again at every flush")
                     .arg(m_options.path, error)
                     .arg(kMaxMinutes));
    if (written)
        prune();

    lock.lock();
    ++m_stats.flushes;
    m_stats.failing = !written;
    if (written) {
        m_stats.writtenMinutes += minutes.size();
        m_droppedTold = false;
        return;
    }
    // Back in front of what came meanwhile, in their order.
    m_minutes.insert(m_minutes.begin(), std::make_move_iterator(minutes.begin()),
                     std::make_move_iterator(minutes.end()));
    m_events.insert(m_events.begin(), std::make_move_iterator(events.begin()),
                    std::make_move_iterator(events.end()));
    lock.unlock();
    submit({});
    lock.lock();
}

// Once an hour, the rows past the retention go, a small batch per
// transaction so that no flush waits long behind them.
void HistoryWriter::prune()
{
    const std::int64_t now = m_options.now();
    if (!m_store || m_options.retentionDays <= 0 || now - m_lastPrune < 3600)
        return;
    m_lastPrune = now;
    const std::int64_t before = now - std::int64_t(m_options.retentionDays) * 86400;
    QString error;
    for (int i = 0; i < 100; ++i) {
        const int gone = m_store->prune(before, kPruneBatch, &error);
        if (gone < kPruneBatch)
            break;
    }
}
