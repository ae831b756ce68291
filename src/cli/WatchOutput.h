#pragma once

#include "CommandLine.h"
#include "PrometheusFile.h"

#include <QFile>
#include <QString>
#include <memory>
#include <optional>

// Where the rows of a watch go: standard output, or a file they are
// appended to, each row flushed as soon as it is written so `tail -f` and
// pipes see it at once. With the Prometheus format a file is not appended
// to but replaced whole at every interval.
class WatchOutput
{
public:
    // Standard output when `path` is empty. Null with a reason in `error`
    // when the file cannot be opened.
    static std::unique_ptr<WatchOutput> open(const QString &path, OutputFormat format, QString *error);

    // True when a header written now would start the file (or the stream):
    // a CSV log that is appended to keeps its one header line.
    bool startsEmpty() const { return m_startsEmpty; }

    // One whole row (or, for a replaced file, the whole new content).
    bool write(const QString &text);
    QString error() const;

private:
    WatchOutput() = default;

    QFile m_file;
    std::optional<PrometheusFile> m_replaced;
    bool m_startsEmpty = true;
};
