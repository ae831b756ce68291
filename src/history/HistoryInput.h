#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <cstdint>
#include <optional>

// What a person or an HTTP client gives when asking for history, checked the
// same way by the command line and the service.
namespace HistoryInput {

// $XDG_STATE_HOME/calidor/history.sqlite, else ~/.local/state/calidor/history.sqlite.
QString defaultPath(const QProcessEnvironment &environment);

// ISO 8601 (a time without an offset is local) or a Unix time in seconds.
std::optional<std::int64_t> time(const QString &text);

constexpr int kDefaultPoints = 1000;
constexpr int kMaxPoints = 5000;

struct Query
{
    std::int64_t from = 0, to = 0;
    int points = kDefaultPoints;
    QString error; // why the query is refused, one line
};
// [from, to): by default the last day up to `now` included; an empty text is not given.
Query query(const QString &from, const QString &to, const QString &points, std::int64_t now);

} // namespace HistoryInput
