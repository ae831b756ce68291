// What the service answers over HTTP: the exposition of every thermostat,
// the landing page, and which request gets which status.
#include "HttpExporter.h"
#include "LandingPage.h"
#include "MetricsExposition.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

ThermostatState state(const char *id, bool up, bool read, int probe = 0)
{
    ThermostatState s;
    s.id = QString::fromUtf8(id);
    s.path = QStringLiteral("/dev/hidraw1");
    s.up = up;
    if (read) {
        Reading r;
        r.id = s.id;
        r.temperature = -125;
        r.low = 180;
        r.high = 220;
        r.contactOnNO = true;
        r.mode = 'B';
        r.probeStatus = probe;
        s.reading = r;
        s.readAt = QDateTime::fromMSecsSinceEpoch(1700000000250);
        s.reads = 41;
    }
    s.readErrors = up ? 0 : 3;
    return s;
}

TEST(Exposition, EveryThermostatUnderItsIdAndNoStaleValuesWhileDown)
{
    const QString text =
        QString::fromUtf8(MetricsExposition::render({state("A", true, true), state("B\"x", false, true),
                                                     state("C", false, false), state("D", true, true, 2)},
                                                    "1.1.0"));
    const auto has = [&text](const char *line) { return text.contains(QString::fromUtf8(line) + '\n'); };
    EXPECT_TRUE(has("calidor_up{id=\"A\"} 1"));
    EXPECT_TRUE(has("calidor_up{id=\"B\\\"x\"} 0"));
    EXPECT_TRUE(has("calidor_up{id=\"C\"} 0"));
    EXPECT_TRUE(has("calidor_temperature_celsius{id=\"A\"} -12.5"));
    EXPECT_TRUE(has("calidor_relay_mode{id=\"A\",mode=\"B\"} 1"));
    EXPECT_TRUE(has("calidor_relay_contact_no{id=\"A\"} 1"));
    EXPECT_FALSE(text.contains("calidor_temperature_celsius{id=\"B")); // down: no stale value
    // A probe fault: no temperature the probe did not measure, the rest as read.
    EXPECT_FALSE(text.contains("calidor_temperature_celsius{id=\"D"));
    EXPECT_TRUE(has("calidor_probe_status{id=\"D\"} 2"));
    EXPECT_TRUE(has("calidor_low_threshold_celsius{id=\"D\"} 18"));
    EXPECT_TRUE(has("# TYPE calidor_reads_total counter"));
    EXPECT_TRUE(has("calidor_reads_total{id=\"A\"} 41"));
    EXPECT_TRUE(has("calidor_read_errors_total{id=\"B\\\"x\"} 3"));
    EXPECT_TRUE(has("calidor_last_reading_timestamp_seconds{id=\"A\"} 1700000000.250"));
    EXPECT_FALSE(text.contains("calidor_last_reading_timestamp_seconds{id=\"C\"}"));
    EXPECT_TRUE(has("calidor_build_info{version=\"1.1.0\"} 1"));
    EXPECT_FALSE(text.contains("hidraw")); // the node is never a label

    // Each family's HELP and TYPE come once, before all of its samples.
    QStringList typed;
    QString current;
    static const QRegularExpression sample(QStringLiteral("^([a-z_]+)\\{"));
    for (const QString &line : text.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("# TYPE ")) {
            current = line.section(' ', 2, 2);
            EXPECT_FALSE(typed.contains(current)) << line.toStdString();
            typed << current;
        } else if (!line.startsWith('#')) {
            EXPECT_EQ(sample.match(line).captured(1), current) << line.toStdString();
        }
    }
    EXPECT_EQ(typed.size(), 12);
}

TEST(Exposition, RoutesOnlyTheTableOfPathsAndOnlyGetAndHead)
{
    const HttpExporter::Pages pages{"metrics\n", "<table>plain</table>", {QStringLiteral("SIM0001")}};
    const StaticFiles files;
    const struct
    {
        const char *method;
        const char *path;
        unsigned status;
        const char *body; // a piece of it
    } rows[] = {
        {"GET", "/metrics", 200, "metrics"},
        {"HEAD", "/metrics", 200, "metrics"},
        {"GET", "/", 200, "<table>plain</table>"},
        {"GET", "/thermostat/SIM0001", 200, "<table>plain</table>"},
        {"GET", "/thermostat/SIM0009", 404, ""},
        {"GET", "/thermostat/SIM0001/x", 404, ""},
        {"GET", "/static/dashboard.js", 200, "use strict"},
        {"POST", "/metrics", 405, "GET and HEAD"},
        {"DELETE", "/", 405, ""},
        {"PUT", "/static/dashboard.js", 405, ""},
        {"GET", "/metrics/", 404, ""},
        {"GET", "/../metrics", 404, ""},
        {"GET", "/static/../metrics", 404, ""},
        {"GET", "/static/%2e%2e/metrics", 404, ""},
        {"GET", "/index.html", 404, ""},
        {"GET", "/usr/share/javascript/dygraphs/dygraph.min.js", 404, ""},
        {"POST", "/nowhere", 404, ""},
        {"get", "/metrics", 405, ""},
    };
    for (const auto &row : rows) {
        const HttpExporter::Answer a =
            HttpExporter::route({row.method, row.path, {}, {}, false}, pages, files);
        EXPECT_EQ(a.status, row.status) << row.method << ' ' << row.path;
        EXPECT_TRUE(a.body.contains(row.body)) << row.method << ' ' << row.path;
        EXPECT_EQ(!a.allow.isEmpty(), row.status == 405) << row.method << ' ' << row.path;
    }
    EXPECT_EQ(HttpExporter::route({"GET", "/metrics", {}, {}, false}, pages, files).contentType,
              "text/plain; version=0.0.4; charset=utf-8");
    // The page says which language and whether changes can be made.
    const HttpExporter::Answer fr =
        HttpExporter::route({"GET", "/", "fr-FR,fr;q=0.9", {}, true}, pages, files);
    EXPECT_TRUE(fr.body.contains("lang=\"fr\" data-change=\"yes\"")) << fr.body.left(200).toStdString();
    const HttpExporter::Answer open = HttpExporter::route({"GET", "/", "en", {}, false}, pages, files);
    EXPECT_TRUE(open.body.contains("data-change=\"no-users\""));
    // A file the browser holds already is not sent again.
    const HttpExporter::Answer js =
        HttpExporter::route({"GET", "/static/dashboard.js", {}, {}, false}, pages, files);
    EXPECT_EQ(HttpExporter::route({"GET", "/static/dashboard.js", {}, js.etag, false}, pages, files).status,
              304u);
}

TEST(Exposition, TheLandingPageEscapesWhatADeviceSaid)
{
    ThermostatState hostile = state("<script>alert(1)</script>", true, true);
    hostile.path = QStringLiteral("/dev/<b>");
    const QString page = QString::fromUtf8(LandingPage::table({hostile, state("B", false, false)}, "1.1.0"));
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_FALSE(page.contains("<b>"));
    EXPECT_TRUE(page.contains("&lt;script&gt;"));
    EXPECT_TRUE(page.contains("-12.5 °C"));
    EXPECT_TRUE(page.contains("no reading yet"));
    EXPECT_TRUE(page.contains("href=\"/metrics\""));
}

} // namespace
