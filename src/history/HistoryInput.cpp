#include "HistoryInput.h"

#include <QDateTime>
#include <QDir>

namespace HistoryInput {

QString defaultPath(const QProcessEnvironment &environment)
{
    QString state = environment.value(QStringLiteral("XDG_STATE_HOME"));
    // A relative XDG_STATE_HOME is to be ignored, as XDG says.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = environment.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.local/state");
    return state + QStringLiteral("/calidor/history.sqlite");
}

std::optional<std::int64_t> time(const QString &text)
{
    bool isNumber = false;
    const qlonglong seconds = text.toLongLong(&isNumber);
    // Ten thousand years either way is as far as QDateTime goes.
    if (isNumber)
        return std::abs(seconds) < 253402300800LL ? std::optional<std::int64_t>(seconds) : std::nullopt;
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime::fromString(text, Qt::ISODate);
    if (!when.isValid())
        return std::nullopt;
    return when.toSecsSinceEpoch();
}

Query query(const QString &from, const QString &to, const QString &points, std::int64_t now)
{
    Query q;
    // The end is not included: by default the current second is.
    q.to = now + 1;
    if (!to.isEmpty()) {
        const auto t = time(to);
        if (!t) {
            q.error = QStringLiteral("to: \"%1\" is neither ISO 8601 nor a Unix time").arg(to.left(40));
            return q;
        }
        q.to = *t;
    }
    q.from = q.to - 86400;
    if (!from.isEmpty()) {
        const auto t = time(from);
        if (!t) {
            q.error = QStringLiteral("from: \"%1\" is neither ISO 8601 nor a Unix time").arg(from.left(40));
            return q;
        }
        q.from = *t;
    }
    if (q.from >= q.to) {
        q.error = QStringLiteral("from must come before to");
        return q;
    }
    if (!points.isEmpty()) {
        bool ok = false;
        const int n = points.toInt(&ok);
        if (!ok || n < 1 || n > kMaxPoints) {
            q.error = QStringLiteral("points: a whole number from 1 to %1").arg(kMaxPoints);
            return q;
        }
        q.points = n;
    }
    return q;
}

} // namespace HistoryInput
