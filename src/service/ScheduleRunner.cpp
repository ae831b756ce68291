#include "ScheduleRunner.h"

#include "HistoryTypes.h"
#include "ServiceClock.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

namespace {

constexpr int kTickMs = 1000;
constexpr int kReloadTicks = 5; // the store is read again every 5 s
constexpr std::int64_t kForGood = std::numeric_limits<std::int64_t>::max();

bool holds(const Reading &reading, const Schedule::Values &values)
{
    return reading.low == values.tl && reading.high == values.th &&
           (!values.mode || reading.mode == char(*values.mode));
}

} // namespace

QByteArray ScheduleRunner::Applied::toJson() const
{
    QJsonObject o{{QStringLiteral("at"), qint64(at)},
                  {QStringLiteral("tl"), values.tl},
                  {QStringLiteral("th"), values.th}};
    if (values.mode)
        o.insert(QStringLiteral("mode"), int(*values.mode));
    if (overriddenUntil)
        o.insert(QStringLiteral("overridden_until"),
                 *overriddenUntil == kForGood ? QJsonValue(true) : QJsonValue(qint64(*overriddenUntil)));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<ScheduleRunner::Applied> ScheduleRunner::Applied::fromJson(const QByteArray &json)
{
    // Written by us, but read back from a file that may have been cut short:
    // anything that does not read whole counts as nothing written.
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    const QJsonValue at = o.value(QStringLiteral("at")), tl = o.value(QStringLiteral("tl")),
                     th = o.value(QStringLiteral("th")), mode = o.value(QStringLiteral("mode")),
                     until = o.value(QStringLiteral("overridden_until"));
    if (!at.isDouble() || !tl.isDouble() || !th.isDouble())
        return std::nullopt;
    Applied a;
    a.at = at.toInteger();
    a.values.tl = tl.toInt();
    a.values.th = th.toInt();
    if (mode.toInt() == 65 || mode.toInt() == 66)
        a.values.mode = std::int16_t(mode.toInt());
    if (until.isBool() && until.toBool())
        a.overriddenUntil = kForGood;
    else if (until.isDouble())
        a.overriddenUntil = until.toInteger();
    return a;
}

ScheduleRunner::Decision ScheduleRunner::decide(const SchedulePlan &plan,
                                                const std::optional<Applied> &applied, bool paused,
                                                bool clockSynchronised, const QDateTime &now)
{
    Decision d;
    d.due = plan.due(now);
    if (applied && applied->overriddenUntil) {
        if (now.toSecsSinceEpoch() < *applied->overriddenUntil)
            return d;
        d.overrideOver = true;
    }
    if (paused || !clockSynchronised || !d.due.started)
        return d;
    d.write = !applied || applied->at != d.due.since.toSecsSinceEpoch() || applied->values != d.due.values;
    return d;
}

QString ScheduleRunner::Status::state() const
{
    if (!exists)
        return QStringLiteral("none");
    if (paused)
        return QStringLiteral("paused");
    return overridden ? QStringLiteral("overridden") : QStringLiteral("running");
}

ScheduleRunner::ScheduleRunner(Fleet &fleet, QString historyPath, std::int64_t rampSeconds,
                               ClockCheck clockCheck, Notice notice, Clock clock, QTimeZone zone,
                               QObject *parent)
    : QObject(parent), m_fleet(fleet), m_path(std::move(historyPath)), m_rampSeconds(rampSeconds),
      m_clockCheck(std::move(clockCheck)), m_notice(std::move(notice)),
      m_clock(clock ? std::move(clock) : Clock(&ServiceClock::nowMs)), m_zone(std::move(zone))
{
    connect(&m_fleet, &Fleet::configured, this, [this](const QString &id, const QString &source) {
        if (source != QLatin1String("schedule"))
            byHand(id, source);
    });
    connect(&m_fleet, &Fleet::readingChanged, this, &ScheduleRunner::readingChanged);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (++m_ticks % kReloadTicks == 0)
            reload();
        tick();
    });
    m_timer.setInterval(kTickMs);
}

ScheduleRunner::~ScheduleRunner() = default;

QDateTime ScheduleRunner::now() const
{
    return QDateTime::fromMSecsSinceEpoch(m_clock(), QTimeZone::utc());
}

HistoryStore *ScheduleRunner::store()
{
    if (!m_store && !m_path.isEmpty()) {
        QString notice, error;
        m_store = HistoryStore::open(m_path, HistoryStore::Access::ReadWrite, &notice, &error);
        if (!notice.isEmpty())
            m_notice(notice);
        if (!m_store)
            m_notice(QStringLiteral("schedules: %1").arg(error));
    }
    return m_store.get();
}

void ScheduleRunner::start()
{
    reload();
    tick();
    m_timer.start();
}

void ScheduleRunner::reload()
{
    HistoryStore *history = store();
    if (!history)
        return;
    std::map<QString, Entry> fresh;
    for (const HistoryStore::ScheduleRow &row : history->schedules()) {
        Entry entry;
        const auto old = m_entries.find(row.id);
        if (old != m_entries.end() && old->second.body == row.body) {
            entry = std::move(old->second); // the same schedule: its plan stays
        } else {
            const Schedule::Parsed parsed = Schedule::parse(row.body);
            if (!parsed.schedule) {
                // Put there by hand, past our checks: told, and left alone.
                if (old == m_entries.end() || old->second.told != parsed.error)
                    m_notice(QStringLiteral("schedule of %1 is not used: %2").arg(row.id, parsed.error));
                entry.told = parsed.error;
                entry.body = row.body;
                fresh.emplace(row.id, std::move(entry));
                continue;
            }
            entry.body = row.body;
            entry.plan = std::make_unique<SchedulePlan>(*parsed.schedule, m_zone, m_rampSeconds);
        }
        const bool wasPaused = entry.paused;
        entry.paused = row.paused;
        // What we wrote ourselves stays ours while a write is on its way.
        if (!entry.writing)
            entry.applied = Applied::fromJson(row.applied);
        if (old == m_entries.end() || old->second.body != row.body || wasPaused != row.paused)
            emit changed(row.id);
        fresh.emplace(row.id, std::move(entry));
    }
    for (const auto &[id, entry] : m_entries)
        if (!fresh.count(id))
            emit changed(id);
    m_entries = std::move(fresh);
}

void ScheduleRunner::tick()
{
    m_verdict = m_clockCheck ? m_clockCheck() : ClockSync::Verdict{true, {}};
    for (auto &[id, entry] : m_entries) {
        // One away or not answering is written to once it is back, with
        // what is due then.
        const std::optional<ThermostatState> state = m_fleet.state(id);
        if (entry.plan && !entry.writing && state && state->up)
            apply(id, entry);
    }
}

void ScheduleRunner::apply(const QString &id, Entry &entry)
{
    const Decision d = decide(*entry.plan, entry.applied, entry.paused, m_verdict.synchronised, now());
    if (d.overrideOver) {
        entry.applied->overriddenUntil.reset();
        save(id, entry);
        emit changed(id);
    }
    if (!d.write)
        return;
    SetCommand::Values values;
    values.low = d.due.values.tl;
    values.high = d.due.values.th;
    values.mode = d.due.values.mode;
    entry.writing = true;
    const Applied next{d.due.since.toSecsSinceEpoch(), d.due.values, std::nullopt};
    m_fleet.configure(id, values, QStringLiteral("schedule"), [this, id, next](const Fleet::Outcome &o) {
        const auto found = m_entries.find(id);
        if (found == m_entries.end())
            return; // cleared meanwhile
        Entry &e = found->second;
        e.writing = false;
        if (!o.ok) {
            // Tried again at the next tick: the pace, or a thermostat away.
            if (e.told != o.reason)
                m_notice(QStringLiteral("schedule of %1: %2").arg(id, o.reason));
            e.told = o.reason;
            return;
        }
        e.told.clear();
        e.applied = next;
        save(id, e);
        emit changed(id);
    });
}

void ScheduleRunner::save(const QString &id, const Entry &entry)
{
    HistoryStore *history = store();
    QString error;
    if (history && entry.applied && !history->setScheduleApplied(id, entry.applied->toJson(), &error) &&
        !error.isEmpty())
        m_notice(QStringLiteral("schedule of %1: %2").arg(id, error));
}

void ScheduleRunner::byHand(const QString &id, const QString &source)
{
    const auto found = m_entries.find(id);
    if (found == m_entries.end() || !found->second.plan)
        return;
    Entry &entry = found->second;
    const QDateTime at = now();
    const std::optional<QDateTime> until = entry.plan->overriddenUntil(at);
    if (!entry.applied) // nothing written yet: what is due now counts as done
        entry.applied = Applied{entry.plan->due(at).since.toSecsSinceEpoch(), entry.plan->due(at).values, {}};
    entry.applied->overriddenUntil = until ? until->toSecsSinceEpoch() : kForGood;
    save(id, entry);
    m_notice(
        QStringLiteral("schedule of %1: changed by %2, held until %3")
            .arg(id, source, until ? until->toString(Qt::ISODate) : QStringLiteral("the schedule changes")));
    emit changed(id);
}

void ScheduleRunner::readingChanged(const QString &id)
{
    const auto found = m_entries.find(id);
    if (found == m_entries.end() || found->second.writing || !found->second.applied ||
        found->second.applied->overriddenUntil || found->second.paused)
        return;
    const std::optional<ThermostatState> state = m_fleet.state(id);
    if (state && state->reading && !holds(*state->reading, found->second.applied->values))
        byHand(id, HistoryEvents::kSourceThermostat);
}

QStringList ScheduleRunner::ids() const
{
    QStringList out;
    for (const auto &[id, entry] : m_entries)
        out << id;
    return out;
}

ScheduleRunner::Status ScheduleRunner::status(const QString &id)
{
    Status s;
    s.clock = m_clockCheck ? m_clockCheck() : ClockSync::Verdict{true, {}};
    const auto found = m_entries.find(id);
    if (found == m_entries.end())
        return s;
    const Entry &entry = found->second;
    s.exists = true;
    s.body = entry.body;
    s.paused = entry.paused;
    if (!entry.plan)
        return s;
    const QDateTime at = now();
    const SchedulePlan::Due due = entry.plan->due(at);
    if (due.started)
        s.current = due.values;
    s.nextChange = due.next;
    if (entry.applied && entry.applied->overriddenUntil &&
        at.toSecsSinceEpoch() < *entry.applied->overriddenUntil) {
        s.overridden = true;
        s.overriddenUntil =
            *entry.applied->overriddenUntil == kForGood
                ? QDateTime()
                : QDateTime::fromSecsSinceEpoch(*entry.applied->overriddenUntil, QTimeZone::utc());
    }
    s.writesPerDay = entry.plan->writesPerDay(at);
    const Schedule &schedule = entry.plan->schedule();
    const QDateTime end = schedule.kind() == Schedule::Kind::Weekly
                              ? at.addDays(7)
                              : std::max(at, schedule.start().addSecs(schedule.profileSeconds())).addDays(1);
    std::vector<SchedulePlan::Change> band = entry.plan->band(at, end);
    // A long ramp has more writes than a graph has pixels: every n-th, and the last.
    if (band.size() > std::size_t(kMostPlanned)) {
        const std::size_t every = (band.size() + kMostPlanned - 2) / (kMostPlanned - 1);
        std::vector<SchedulePlan::Change> thin;
        for (std::size_t i = 0; i < band.size(); i += every)
            thin.push_back(band[i]);
        thin.push_back(band.back());
        band = std::move(thin);
    }
    s.planned = std::move(band);
    return s;
}

bool ScheduleRunner::set(const QString &id, const Schedule &schedule, QString *error)
{
    HistoryStore *history = store();
    if (!history) {
        *error = QStringLiteral("schedules are kept in the history, which is off or cannot be opened");
        return false;
    }
    const QByteArray body = QJsonDocument(schedule.toJson()).toJson(QJsonDocument::Compact);
    if (!history->setSchedule(id, body, error))
        return false;
    reload();
    tick();
    return true;
}

bool ScheduleRunner::clear(const QString &id, QString *error)
{
    HistoryStore *history = store();
    if (!history) {
        *error = QStringLiteral("schedules are kept in the history, which is off or cannot be opened");
        return false;
    }
    history->clearSchedule(id, error);
    if (!error->isEmpty())
        return false;
    reload();
    return true;
}

bool ScheduleRunner::setPaused(const QString &id, bool paused, QString *error)
{
    HistoryStore *history = store();
    if (!history) {
        *error = QStringLiteral("schedules are kept in the history, which is off or cannot be opened");
        return false;
    }
    if (!history->pauseSchedule(id, paused, error)) {
        if (error->isEmpty())
            *error = QStringLiteral("thermostat %1 has no schedule").arg(id);
        return false;
    }
    reload();
    tick();
    return true;
}
