#pragma once

#include <QString>

// A Prometheus text file for node_exporter's textfile collector. Each
// replace() writes the whole exposition to a temporary file in the same
// folder and renames it over the old one, so a reader sees the old file or
// the new one, never a part.
class PrometheusFile
{
public:
    explicit PrometheusFile(QString path) : m_path(std::move(path)) {}

    // False with a reason in error() when the file could not be replaced;
    // the old one is then left as it was.
    bool replace(const QString &exposition);

    const QString &path() const { return m_path; }
    const QString &error() const { return m_error; }

private:
    QString m_path;
    QString m_error;
};
