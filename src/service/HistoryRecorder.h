#pragma once

#include "Fleet.h"
#include "HistoryWriter.h"
#include "MinuteAggregator.h"
#include "ServiceSettings.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

// The fleet's signals, turned into the history: every read, every change of
// availability and every configuration goes through the aggregator, and
// whatever minutes and events it closes go to the writer, which takes them
// to disk on its own thread.
class HistoryRecorder : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>;
    using Clock = std::function<std::int64_t()>; // milliseconds since the epoch

    HistoryRecorder(Fleet &fleet, const ServiceSettings &settings, Notice notice, Clock clock = {},
                    QObject *parent = nullptr);
    ~HistoryRecorder() override; // stop()

    void start();
    // The partial minutes and "service stopped", then a last flush.
    void stop();

    static HistorySample sample(const Reading &reading);

    // The alert rules' state kept in the history at `path`, and the next one
    // to keep (written at once on the writer's thread).
    static std::optional<QByteArray> alertState(const QString &path, QString *error);
    void saveAlertState(QByteArray state);

private:
    void read(const QString &id, bool answered);
    void availability(const QString &id, bool up);
    void handOver();

    Fleet &m_fleet;
    Clock m_clock;
    MinuteAggregator m_aggregator;
    HistoryWriter m_writer;
    QTimer m_tick;
    std::map<QString, std::uint64_t> m_readErrors; // as last seen, to tell a failed read from an unplug
    bool m_running = false;
};
