#include "HistoryCommand.h"

#include "HistoryFormat.h"
#include "HistoryInput.h"
#include "HistoryStore.h"
#include "WatchLogImport.h"

#include <QDateTime>
#include <QFile>

HistoryCommand::HistoryCommand(const CliOptions &options, Print out, Print error)
    : m_options(options), m_out(std::move(out)), m_error(std::move(error))
{
}

ExitCode HistoryCommand::run()
{
    if (m_options.service.historyPath.isEmpty()) {
        m_error(QStringLiteral("no history file given"));
        return ExitCode::Usage;
    }
    return m_options.importFile.isEmpty() ? show() : import();
}

ExitCode HistoryCommand::show()
{
    const HistoryInput::Query q = HistoryInput::query(m_options.from, m_options.to, m_options.points,
                                                      QDateTime::currentSecsSinceEpoch());
    if (!q.error.isEmpty()) {
        m_error(q.error);
        return ExitCode::Usage;
    }
    QString notice, error;
    const auto store =
        HistoryStore::open(m_options.service.historyPath, HistoryStore::Access::ReadOnly, &notice, &error);
    if (!store) {
        m_error(error);
        return ExitCode::Device;
    }
    QString id = m_options.device;
    if (id.isEmpty()) {
        const QStringList ids = store->ids();
        if (ids.size() != 1) {
            m_error(ids.isEmpty()
                        ? QStringLiteral("the history holds no thermostat yet")
                        : QStringLiteral("the history holds several thermostats (%1): pick one with --device")
                              .arg(ids.join(QStringLiteral(", "))));
            return ids.isEmpty() ? ExitCode::Device : ExitCode::Usage;
        }
        id = ids.front();
    }
    const auto range = store->range(id, q.from, q.to, q.points, &error);
    if (!range) {
        m_error(error);
        return ExitCode::Device;
    }
    const QByteArray text = m_options.format == OutputFormat::Json
                                ? HistoryFormat::json(id, *range, store->events(id, q.from, q.to))
                                : HistoryFormat::csv(*range);
    m_out(QString::fromUtf8(text));
    return ExitCode::Ok;
}

ExitCode HistoryCommand::import()
{
    QFile file(m_options.importFile);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error(QStringLiteral("%1: %2").arg(m_options.importFile, file.errorString()));
        return ExitCode::Device;
    }
    const WatchLogImport::Result log = WatchLogImport::parse(file.readAll());
    if (!log.error.isEmpty()) {
        m_error(QStringLiteral("%1: %2").arg(m_options.importFile, log.error));
        return ExitCode::Usage;
    }
    QString notice, error;
    const auto store =
        HistoryStore::open(m_options.service.historyPath, HistoryStore::Access::ReadWrite, &notice, &error);
    if (!notice.isEmpty())
        m_error(notice);
    if (!store) {
        m_error(error);
        return ExitCode::Device;
    }
    const int added = store->import(log.minutes, &error);
    if (added < 0) {
        m_error(QStringLiteral("%1: %2").arg(m_options.service.historyPath, error));
        return ExitCode::Device;
    }
    if (log.skipped > 0)
        m_error(QStringLiteral("%1: %2 rows skipped, the first at %3")
                    .arg(m_options.importFile)
                    .arg(log.skipped)
                    .arg(log.firstProblem));
    m_out(QStringLiteral("%1 readings in %2 minutes; %3 minutes added, %4 already kept\n")
              .arg(log.rows)
              .arg(log.minutes.size())
              .arg(added)
              .arg(qsizetype(log.minutes.size()) - added));
    return ExitCode::Ok;
}
