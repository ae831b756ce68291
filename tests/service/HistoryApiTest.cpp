// The history's HTTP API, without a server: a real SQLite file written by
// the store, asked what a client may ask, hostile or not.
#include "HistoryApi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kId = QStringLiteral("SN1");
constexpr std::int64_t kNow = 1700000000;

struct Ask
{
    const char *name;
    const char *method;
    const char *path;
    HistoryApi::Query query;
    unsigned status;
    const char *contentType;
    const char *bodyHas; // a piece of the body
};

QPair<QString, QString> arg(const char *name, const char *value)
{
    return {QString::fromUtf8(name), QString::fromUtf8(value)};
}

const Ask kAsks[] = {
    {"TheThermostats",
     "GET",
     "/api/v1/thermostats",
     {},
     200,
     "application/json",
     "\"temperature_celsius\":21.5"},
    {"ADownThermostatHasNoReading",
     "GET",
     "/api/v1/thermostats",
     {},
     200,
     "application/json",
     "{\"id\":\"SN2\",\"read_at\":null,\"reading\":null,\"up\":false}"},
    {"TheLastHourByDefaultStep",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("from", "1699996400")},
     200,
     "application/json",
     "\"step_seconds\":60"},
    {"ISO8601Times",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("from", "2023-11-14T20:13:20Z"), arg("to", "2023-11-14T22:13:20Z"), arg("points", "2")},
     200,
     "application/json",
     "\"step_seconds\":7200"},
    {"Csv",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("format", "csv"), arg("from", "1699999880")},
     200,
     "text/csv; charset=utf-8",
     "t,temperature_min,temperature_mean,temperature_max,tl,th,relay_on_fraction\n"
     "1699999860,19.8,20,20.3,20,25,0.5\n1699999920,"},
    {"EventsWithTheirSource",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {},
     200,
     "application/json",
     "{\"detail\":\"20.0 -> 21.0\",\"kind\":\"tl\",\"source\":\"mqtt\",\"t\":1699999000}"},
    {"KnownButNotWrittenYet",
     "GET",
     "/api/v1/thermostats/SN2/history",
     {},
     200,
     "application/json",
     "\"series\":[]"},
    {"UnknownId",
     "GET",
     "/api/v1/thermostats/SN9/history",
     {},
     404,
     "text/plain; charset=utf-8",
     "no thermostat"},
    {"PathBelowAnId", "GET", "/api/v1/thermostats/SN1/history/x", {}, 404, "text/plain; charset=utf-8", ""},
    {"EmptyId", "GET", "/api/v1/thermostats//history", {}, 404, "text/plain; charset=utf-8", ""},
    {"Post", "POST", "/api/v1/thermostats/SN1/history", {}, 405, "text/plain; charset=utf-8", ""},
    {"TooManyPoints",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("points", "5001")},
     400,
     "text/plain; charset=utf-8",
     "points"},
    {"NoPoints",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("points", "0")},
     400,
     "text/plain; charset=utf-8",
     "points"},
    {"PointsNotANumber",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("points", "1e3")},
     400,
     "text/plain; charset=utf-8",
     "points"},
    {"BadTime",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("from", "yesterday")},
     400,
     "text/plain; charset=utf-8",
     "from"},
    {"HugeTime",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("to", "99999999999999999999")},
     400,
     "text/plain; charset=utf-8",
     "to"},
    {"Backwards",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("from", "200"), arg("to", "100")},
     400,
     "text/plain; charset=utf-8",
     "before"},
    {"UnknownParameter",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("drop", "table")},
     400,
     "text/plain; charset=utf-8",
     "unknown parameter drop"},
    {"TwiceTheSame",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("points", "5"), arg("points", "6")},
     400,
     "text/plain; charset=utf-8",
     "twice"},
    {"BadFormat",
     "GET",
     "/api/v1/thermostats/SN1/history",
     {arg("format", "xml")},
     400,
     "text/plain; charset=utf-8",
     "csv or json"},
    {"ParametersOnTheList",
     "GET",
     "/api/v1/thermostats",
     {arg("x", "1")},
     400,
     "text/plain; charset=utf-8",
     ""},
};

class HistoryApiTest : public ::testing::TestWithParam<Ask>
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        QString notice, error;
        auto store = HistoryStore::open(path(), HistoryStore::Access::ReadWrite, &notice, &error);
        ASSERT_TRUE(store) << error.toStdString();
        std::vector<MinuteRow> rows;
        for (std::int64_t t = kNow - 3 * 3600; t < kNow; t += 60) {
            MinuteRow r;
            r.id = kId;
            r.t = t;
            r.reads = 60;
            r.temperatureMin = 198;
            r.temperatureSum = 60 * 200;
            r.temperatureMax = 203;
            r.low = 200;
            r.high = 250;
            r.relayOnPermille = 500;
            rows.push_back(r);
        }
        ASSERT_TRUE(store->append(rows,
                                  {{kId, kNow - 1000, QStringLiteral("tl"), QStringLiteral("20.0 -> 21.0"),
                                    QStringLiteral("mqtt")}},
                                  &error));
    }
    static void TearDownTestSuite() { delete s_dir; }
    static QString path() { return s_dir->filePath(QStringLiteral("history.sqlite")); }

    static HistoryApi::States states()
    {
        ThermostatState up;
        up.id = kId;
        up.up = true;
        Reading r;
        r.id = kId;
        r.device = QStringLiteral("/dev/hidraw0");
        r.temperature = 215;
        r.low = 200;
        r.high = 250;
        up.reading = r;
        up.readAt = QDateTime::fromSecsSinceEpoch(kNow);
        ThermostatState down;
        down.id = QStringLiteral("SN2");
        return std::make_shared<const std::vector<ThermostatState>>(std::vector<ThermostatState>{up, down});
    }
    static QTemporaryDir *s_dir;
};

QTemporaryDir *HistoryApiTest::s_dir = nullptr;

TEST_P(HistoryApiTest, AnswersWhatItIsAsked)
{
    const Ask &a = GetParam();
    HistoryApi api(path());
    const auto answer = api.answer(a.method, a.path, a.query, states(), kNow);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, a.status) << answer->body.toStdString();
    EXPECT_EQ(answer->contentType, QByteArray(a.contentType));
    EXPECT_TRUE(answer->body.contains(a.bodyHas)) << answer->body.toStdString();
    if (a.status == 200 && answer->contentType == "application/json") {
        EXPECT_FALSE(QJsonDocument::fromJson(answer->body).isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HistoryApiTest, ::testing::ValuesIn(kAsks),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(HistoryApi, LeavesOtherPathsToTheExporterAndCapsThePoints)
{
    HistoryApi off({});
    EXPECT_FALSE(off.answer("GET", "/metrics", {}, {}, kNow));
    EXPECT_FALSE(off.answer("GET", "/api/v1/thermostatsX", {}, {}, kNow));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("h.sqlite"));
    QString notice, error;
    auto store = HistoryStore::open(file, HistoryStore::Access::ReadWrite, &notice, &error);
    std::vector<MinuteRow> rows;
    for (std::int64_t t = 0; t < 86400 * 10; t += 60)
        rows.push_back({kId, t, 1, 0, 200, 200, 200, 200, 250, 'A', 0, 0});
    ASSERT_TRUE(store->append(rows, {}, &error));
    HistoryApi api(file);
    for (const char *points : {"1", "7", "999", "5000"}) {
        const auto answer =
            api.answer("GET", "/api/v1/thermostats/SN1/history",
                       {arg("from", "0"), arg("to", "864000"), arg("points", points)}, {}, kNow);
        ASSERT_TRUE(answer);
        const QJsonObject o = QJsonDocument::fromJson(answer->body).object();
        EXPECT_LE(o[QStringLiteral("series")].toArray().size(), QByteArray(points).toInt()) << points;
        EXPECT_GT(o[QStringLiteral("series")].toArray().size(), 0) << points;
    }
}

} // namespace
