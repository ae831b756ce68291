#include "ScheduleCommand.h"

#include "HistoryStore.h"
#include "Schedule.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr qint64 kMostBytes = 65536; // as the web API takes

} // namespace

ScheduleCommand::ScheduleCommand(const CliOptions &options, Print out, Print error)
    : m_options(options), m_out(std::move(out)), m_error(std::move(error))
{
}

ExitCode ScheduleCommand::run()
{
    const QString &action = m_options.scheduleAction;
    const QString &id = m_options.device;
    if (m_options.service.historyPath.isEmpty()) {
        m_error(QStringLiteral("schedules are kept in the history: give --history FILE"));
        return ExitCode::Usage;
    }
    QByteArray body;
    if (action == QLatin1String("set")) {
        QFile file(m_options.scheduleFile);
        if (!file.open(QIODevice::ReadOnly)) {
            m_error(QStringLiteral("%1: %2").arg(m_options.scheduleFile, file.errorString()));
            return ExitCode::Usage;
        }
        const QByteArray text = file.read(kMostBytes + 1);
        if (text.size() > kMostBytes) {
            m_error(QStringLiteral("%1: a schedule takes at most %2 bytes")
                        .arg(m_options.scheduleFile)
                        .arg(kMostBytes));
            return ExitCode::Refused;
        }
        const Schedule::Parsed parsed = Schedule::parse(text);
        if (!parsed.schedule) {
            m_error(QStringLiteral("%1: %2").arg(m_options.scheduleFile, parsed.error));
            return ExitCode::Refused;
        }
        body = QJsonDocument(parsed.schedule->toJson()).toJson(QJsonDocument::Compact);
    }
    const bool reading = action == QLatin1String("show");
    QString notice, error;
    const std::unique_ptr<HistoryStore> store = HistoryStore::open(
        m_options.service.historyPath,
        reading ? HistoryStore::Access::ReadOnly : HistoryStore::Access::ReadWrite, &notice, &error);
    if (!notice.isEmpty())
        m_error(notice);
    if (!store) {
        m_error(error);
        return ExitCode::Device;
    }
    bool done = true;
    if (reading) {
        const std::optional<HistoryStore::ScheduleRow> row = store->schedule(id);
        if (!row) {
            m_error(QStringLiteral("%1 has no schedule").arg(id));
            return ExitCode::Refused;
        }
        QJsonObject o = QJsonDocument::fromJson(row->body).object();
        o.insert(QStringLiteral("paused"), row->paused);
        m_out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)));
        return ExitCode::Ok;
    }
    if (action == QLatin1String("set"))
        done = store->setSchedule(id, body, &error);
    else if (action == QLatin1String("clear"))
        done = store->clearSchedule(id, &error);
    else
        done = store->pauseSchedule(id, action == QLatin1String("pause"), &error);
    if (!done) {
        m_error(error.isEmpty() ? QStringLiteral("%1 has no schedule").arg(id) : error);
        return error.isEmpty() ? ExitCode::Refused : ExitCode::Device;
    }
    return ExitCode::Ok;
}
