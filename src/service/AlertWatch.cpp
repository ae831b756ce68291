#include "AlertWatch.h"

#include "MinuteAggregator.h"
#include "ServiceClock.h"

#include <QJsonDocument>
#include <QMetaObject>
#include <QPointer>

AlertWatch::AlertWatch(Fleet &fleet, const AlertsConfig &config, std::int64_t intervalMs, Notice notice,
                       Clock clock, QObject *parent)
    : QObject(parent), m_fleet(fleet), m_notice(std::move(notice)),
      m_clock(clock ? std::move(clock)
                    : [] { return QDateTime::fromMSecsSinceEpoch(ServiceClock::nowMs(), Qt::UTC); }),
      m_incidents(config.rules), m_origin(MinuteAggregator::carryFor(intervalMs, ServiceClock::speed())),
      m_channels(config.channels.size())
{
    // The channels report from their own threads: their lines are written
    // from this one, as every other line of the service.
    QPointer<AlertWatch> self(this);
    m_sender = std::make_shared<AlertSender>(config.channels, [self](const QString &line) {
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
    connect(&m_fleet, &Fleet::configured, this, [this](const QString &id, const QString &source) {
        m_origin.configured(id, m_clock().toMSecsSinceEpoch(), source);
    });
    // Silence has no event of its own, nor has a reminder: the clock is asked.
    connect(&m_tick, &QTimer::timeout, this, [this] { tell(m_incidents.tick(m_clock())); });
    m_tick.start(1000);
}

AlertWatch::~AlertWatch() = default;

void AlertWatch::restore(const QByteArray &saved, Keep keep)
{
    const QJsonDocument document = QJsonDocument::fromJson(saved);
    m_incidents.restore(document.object(), m_clock());
    m_kept = m_incidents.save();
    m_keep = std::move(keep);
    if (m_board)
        m_board(m_incidents.open());
}

void AlertWatch::setBoard(Board board)
{
    m_board = std::move(board);
    if (m_board)
        m_board(m_incidents.open());
}

void AlertWatch::readDone(const QString &id, bool answered)
{
    const auto state = m_fleet.state(id);
    if (answered && state && state->reading) {
        const Reading &r = *state->reading;
        const QDateTime at = m_clock();
        tell(m_incidents.reading(at, r));
        const ChangeOrigin::Changes c = m_origin.read(id, at.toMSecsSinceEpoch(), {r.low, r.high, r.mode});
        if (!c.changes.empty())
            tell(m_incidents.thresholdsChanged(id, at, c.source, c.text()));
    } else if (!answered) {
        tell(m_incidents.unanswered(id, m_clock()));
    }
}

void AlertWatch::tell(const std::vector<Incidents::Notice> &notices)
{
    for (const Incidents::Notice &notice : notices) {
        const AlertMessage message = AlertMessage::fromNotice(notice);
        m_notice(QStringLiteral("alert: %1 (%2 %3)").arg(message.title, message.kind, message.phase));
        m_sender->send(message);
    }
    changed();
}

// The state is kept whenever it differs from what was kept, not only when
// something was told: a condition that began to hold counts across a restart.
void AlertWatch::changed()
{
    const QJsonObject now = m_incidents.save();
    if (now == m_kept)
        return;
    m_kept = now;
    if (m_keep)
        m_keep(QJsonDocument(now).toJson(QJsonDocument::Compact));
    if (m_board)
        m_board(m_incidents.open());
}
