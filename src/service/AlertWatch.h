#pragma once

#include "AlertSender.h"
#include "AlertsConfig.h"
#include "Fleet.h"
#include "Incidents.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

// The alert rules over the fleet: every read, failed read and unplugging
// goes to Incidents with the time; what it tells goes to the log and to
// every channel, sent off this thread. Thin: the rules are Incidents', the
// sending AlertSender's.
class AlertWatch : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>;
    using Clock = std::function<QDateTime()>;

    AlertWatch(Fleet &fleet, const AlertsConfig &config, Notice notice, Clock clock = {},
               QObject *parent = nullptr);
    ~AlertWatch() override;

    std::vector<Incidents::Open> open() const { return m_incidents.open(); }

private:
    void tell(const std::vector<Incidents::Notice> &notices);
    void readDone(const QString &id, bool answered);

    Fleet &m_fleet;
    Notice m_notice;
    Clock m_clock;
    Incidents m_incidents;
    std::unique_ptr<AlertSender> m_sender;
    QTimer m_tick;
};
