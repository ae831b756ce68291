#pragma once

#include <QByteArray>
#include <QString>
#include <map>

// Everything the dashboard serves that is not made from a reading: its own
// HTML, script and style (files of src/web/assets, built into the program
// as Qt resources) and the chart library from Debian's libjs-dygraphs, read
// once at start. A request finds a file only through the fixed table of
// paths below, never by joining its path to a folder. Each file is kept
// gzip-compressed too, for browsers that accept it.
class StaticFiles
{
public:
    static constexpr const char *kChartDir = "/usr/share/javascript/dygraphs";

    struct File
    {
        QByteArray contentType;
        QByteArray body;
        QByteArray gzip;
        QByteArray etag; // quoted, from the content
    };

    explicit StaticFiles(const QString &chartDir = QString::fromLatin1(kChartDir));

    // The file at that exact request path, or nothing.
    const File *find(const QByteArray &path) const;

    // Empty when the chart library was found; else one line saying what is missing.
    QString chartProblem() const { return m_chartProblem; }

    // The page of "/" and "/thermostat/ID": the one HTML file with the
    // language, what the viewer may do, and the no-script table put in.
    // `canChange` is "yes", or why not ("no-users").
    QByteArray page(const QString &language, const QString &canChange, const QByteArray &table) const;

    // Our own files once at start, at the best compression; an answer made
    // per request (JSON, CSV, metrics) faster, at zlib's default.
    static QByteArray gzip(const QByteArray &data, bool best = true);

private:
    void add(const QByteArray &path, const QByteArray &contentType, const QByteArray &body);

    std::map<QByteArray, File> m_files;
    QByteArray m_page;
    QString m_chartProblem;
};
