#pragma once

#include "AlertSender.h"
#include "AlertsConfig.h"
#include "ChangeOrigin.h"
#include "Fleet.h"
#include "Incidents.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

// The alert rules over the fleet: every read, failed read and unplugging
// goes to Incidents with the time, and so does a change of TL, TH or mode
// that none of ours made (ChangeOrigin, the rule the history's events use);
// what it tells goes to the log and to every channel, sent off this thread.
// Thin: the rules are Incidents', the sending AlertSender's.
class AlertWatch : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>;
    using Clock = std::function<QDateTime()>;
    // Where the state goes at each change: the history's writer thread.
    using Keep = std::function<void(QByteArray state)>;
    // What is open, after each change.
    using Board = std::function<void(std::vector<Incidents::Open> open)>;

    AlertWatch(Fleet &fleet, const AlertsConfig &config, std::int64_t intervalMs, Notice notice,
               Clock clock = {}, QObject *parent = nullptr);
    ~AlertWatch() override;

    // The state kept by an earlier run (not trusted: what does not read is
    // skipped), then every change of it to `keep`. Before the fleet starts.
    void restore(const QByteArray &saved, Keep keep);
    void setBoard(Board board);

    std::vector<Incidents::Open> open() const { return m_incidents.open(); }
    std::shared_ptr<AlertSender> sender() const { return m_sender; }
    std::size_t channels() const { return m_channels; }

private:
    void tell(const std::vector<Incidents::Notice> &notices);
    void readDone(const QString &id, bool answered);
    void changed();

    Fleet &m_fleet;
    Notice m_notice;
    Clock m_clock;
    Incidents m_incidents;
    ChangeOrigin m_origin;
    std::shared_ptr<AlertSender> m_sender;
    std::size_t m_channels = 0;
    QTimer m_tick;
    Keep m_keep;
    Board m_board;
    QJsonObject m_kept; // what `keep` was last given
};
