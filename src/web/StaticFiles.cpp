#include "StaticFiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <zlib.h>

// The resources of a static library are registered by hand.
static void initResources()
{
    Q_INIT_RESOURCE(web);
}

namespace {

QByteArray resource(const QString &name)
{
    QFile file(QStringLiteral(":/web/") + name);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

StaticFiles::StaticFiles(const QString &chartDir)
{
    initResources();
    add("/static/dashboard.js", "text/javascript; charset=utf-8", resource(QStringLiteral("dashboard.js")));
    add("/static/schedule.js", "text/javascript; charset=utf-8", resource(QStringLiteral("schedule.js")));
    add("/static/alerts.js", "text/javascript; charset=utf-8", resource(QStringLiteral("alerts.js")));
    add("/static/dashboard.css", "text/css; charset=utf-8", resource(QStringLiteral("dashboard.css")));
    add("/static/favicon.svg", "image/svg+xml", resource(QStringLiteral("favicon.svg")));
    m_page = resource(QStringLiteral("index.html"));

    // The URLs mirror where Debian keeps the library.
    for (const char *name : {"dygraph.min.js", "dygraph.min.css"}) {
        QFile file(chartDir + QLatin1Char('/') + QLatin1String(name));
        if (!file.open(QIODevice::ReadOnly)) {
            m_chartProblem =
                QStringLiteral("the web page draws no graph: %1 is missing (install libjs-dygraphs)")
                    .arg(file.fileName());
            continue;
        }
        const QByteArray type =
            QByteArray(name).endsWith(".js") ? "text/javascript; charset=utf-8" : "text/css; charset=utf-8";
        add(QByteArray("/javascript/dygraphs/") + name, type, file.readAll());
    }
}

void StaticFiles::add(const QByteArray &path, const QByteArray &contentType, const QByteArray &body)
{
    const QByteArray etag =
        '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().left(20) + '"';
    m_files[path] = File{contentType, body, gzip(body), etag};
}

const StaticFiles::File *StaticFiles::find(const QByteArray &path) const
{
    const auto it = m_files.find(path);
    return it == m_files.end() ? nullptr : &it->second;
}

QByteArray StaticFiles::page(const QString &language, const QString &canChange, const QByteArray &table) const
{
    QByteArray out = m_page;
    out.replace("@LANG@", language.toLatin1());
    out.replace("@CHANGE@", canChange.toLatin1());
    out.replace("@CHART@", m_chartProblem.isEmpty() ? "yes" : "no");
    out.replace("@TABLE@", table);
    return out;
}

QByteArray StaticFiles::gzip(const QByteArray &data, bool best)
{
    z_stream z{};
    // 16 + 15 window bits: a gzip wrapper rather than zlib's own.
    if (deflateInit2(&z, best ? Z_BEST_COMPRESSION : Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + 15, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(data.size()))),
                   Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int done = deflate(&z, Z_FINISH);
    out.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return done == Z_STREAM_END ? out : QByteArray();
}
