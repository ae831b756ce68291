#include "StaticFiles.h"

#include "Language.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

QByteArray gunzip(const QByteArray &data)
{
    z_stream z{};
    inflateInit2(&z, 16 + 15);
    QByteArray out(1 << 20, Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int done = inflate(&z, Z_FINISH);
    out.resize(static_cast<qsizetype>(z.total_out));
    inflateEnd(&z);
    return done == Z_STREAM_END ? out : QByteArray();
}

TEST(StaticFiles, OnlyTheTableIsServed)
{
    const StaticFiles files;
    for (const char *path : {"/static/dashboard.js", "/static/schedule.js", "/static/alerts.js",
                             "/static/dashboard.css", "/static/favicon.svg"}) {
        const StaticFiles::File *f = files.find(path);
        ASSERT_TRUE(f) << path;
        EXPECT_FALSE(f->body.isEmpty()) << path;
        EXPECT_EQ(gunzip(f->gzip), f->body) << path;
        EXPECT_LT(f->gzip.size(), f->body.size()) << path;
    }
    for (const char *path : {"/static/../index.html", "/static/%2e%2e/index.html", "/static/", "/static",
                             "/STATIC/dashboard.js", "/static/dashboard.js/", "/static//dashboard.js",
                             "/etc/passwd", "/javascript/dygraphs/dygraph.js", "/static/dashboard.js?x"})
        EXPECT_EQ(files.find(path), nullptr) << path;
}

TEST(StaticFiles, ChartLibraryFromDebianOrAClearLine)
{
    const StaticFiles installed;
    if (!installed.chartProblem().isEmpty())
        GTEST_SKIP() << installed.chartProblem().toStdString();
    EXPECT_TRUE(installed.find("/javascript/dygraphs/dygraph.min.js"));
    EXPECT_TRUE(installed.page("en", "yes", {}).contains("data-chart=\"yes\""));

    QTemporaryDir empty;
    const StaticFiles missing(empty.path());
    EXPECT_TRUE(missing.chartProblem().contains(QLatin1String("libjs-dygraphs")));
    EXPECT_FALSE(missing.find("/javascript/dygraphs/dygraph.min.js"));
    EXPECT_TRUE(missing.page("en", "yes", {}).contains("data-chart=\"no\""));
}

TEST(StaticFiles, PageCarriesLanguagePermissionAndTable)
{
    const StaticFiles files;
    const QByteArray page = files.page("fr", "no-users", "<table><tr><td>t1</td></tr></table>");
    EXPECT_TRUE(page.contains("<html lang=\"fr\" data-change=\"no-users\""));
    EXPECT_TRUE(page.contains("<td>t1</td>"));
    EXPECT_FALSE(page.contains('@'));
    // No inline script: the Content-Security-Policy forbids it.
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_FALSE(page.contains(" on"
                               "click="));
}

TEST(Language, FrenchOnlyWhenPreferred)
{
    const std::pair<const char *, const char *> rows[] = {
        {"", "en"},
        {"fr", "fr"},
        {"fr-FR,fr;q=0.9,en;q=0.8", "fr"},
        {"en-US,en;q=0.9,fr;q=0.8", "en"},
        {"de-DE,fr;q=0.7,en;q=0.5", "fr"},
        {"de-DE,en;q=0.7,fr;q=0.5", "en"},
        {"en;q=0.5,fr;q=0.5", "en"}, // a tie goes to the first named
        {"fr;q=0,en", "en"},
        {"fr;q=abc", "en"},
        {"*", "en"},
        {"FR-ca", "fr"},
    };
    for (const auto &[header, expected] : rows)
        EXPECT_EQ(Language::choose(header), QLatin1String(expected)) << header;
}

} // namespace
