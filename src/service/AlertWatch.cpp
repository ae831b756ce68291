#include "AlertWatch.h"

#include "ServiceClock.h"

#include <QMetaObject>
#include <QPointer>

AlertWatch::AlertWatch(Fleet &fleet, const AlertsConfig &config, Notice notice, Clock clock, QObject *parent)
    : QObject(parent), m_fleet(fleet), m_notice(std::move(notice)),
      m_clock(clock ? std::move(clock)
                    : [] { return QDateTime::fromMSecsSinceEpoch(ServiceClock::nowMs(), Qt::UTC); }),
      m_incidents(config.rules)
{
    // The channels report from their own threads: their lines are written
    // from this one, as every other line of the service.
    QPointer<AlertWatch> self(this);
    m_sender = std::make_unique<AlertSender>(config.channels, [self](const QString &line) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, line] {
                if (self)
                    self->m_notice(line);
            },
            Qt::QueuedConnection);
    });
    connect(&m_fleet, &Fleet::readDone, this, &AlertWatch::readDone);
    connect(&m_fleet, &Fleet::availabilityChanged, this, [this](const QString &id, bool up) {
        if (!up)
            tell(m_incidents.unanswered(id, m_clock()));
    });
    // Silence has no event of its own, nor has a reminder: the clock is asked.
    connect(&m_tick, &QTimer::timeout, this, [this] { tell(m_incidents.tick(m_clock())); });
    m_tick.start(1000);
}

AlertWatch::~AlertWatch() = default;

void AlertWatch::readDone(const QString &id, bool answered)
{
    const auto state = m_fleet.state(id);
    if (answered && state && state->reading)
        tell(m_incidents.reading(m_clock(), *state->reading));
    else if (!answered)
        tell(m_incidents.unanswered(id, m_clock()));
}

void AlertWatch::tell(const std::vector<Incidents::Notice> &notices)
{
    for (const Incidents::Notice &notice : notices) {
        const AlertMessage message = AlertMessage::fromNotice(notice);
        m_notice(QStringLiteral("alert: %1 (%2 %3)").arg(message.title, message.kind, message.phase));
        m_sender->send(message);
    }
}
