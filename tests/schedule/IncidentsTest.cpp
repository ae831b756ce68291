#include "Incidents.h"

#include <QJsonDocument>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// From minute `from` to `to`, every `every` minutes: a reading at `value`
// tenths ('r'), the same every other minute and 0.2 °C lower between ('f'), a reading with a faulty probe
// ('p'), a failed read ('u'), time passing ('t'), the thresholds changed by the thermostat ('c') or by this
// service ('w'), a restart of the service ('R').
struct Span
{
    int from;
    int to;
    int every;
    char what;
    std::int32_t value = 0;
};

struct Row
{
    const char *name;
    std::int64_t reminderSeconds;
    std::vector<Span> script;
    std::vector<std::string> told; // "minute phase kind"
};

class IncidentScript : public testing::TestWithParam<Row>
{
};

TEST_P(IncidentScript, tellsEachIncidentOnce)
{
    Incidents::Rules rules; // 2 °C, 10 min; silent 2 min; probe 1 min
    rules.reminderSeconds = GetParam().reminderSeconds;
    auto incidents = std::make_unique<Incidents>(rules);
    const QDateTime zero = QDateTime::fromString(QStringLiteral("2026-12-01T00:00:00Z"), Qt::ISODate);
    std::vector<std::string> told;
    for (const Span &run : GetParam().script) {
        for (int minute = run.from; minute <= run.to; minute += run.every) {
            const QDateTime at = zero.addSecs(minute * 60LL);
            Reading reading;
            reading.id = QStringLiteral("T1");
            reading.low = 180;
            reading.high = 200;
            reading.temperature = run.value;
            std::vector<Incidents::Notice> notices;
            switch (run.what) {
            case 'f':
                reading.temperature = minute % 2 ? run.value - 2 : run.value;
                notices = incidents->reading(at, reading);
                break;
            case 'p':
                reading.probeStatus = 2;
                [[fallthrough]];
            case 'r':
                notices = incidents->reading(at, reading);
                break;
            case 'u':
                notices = incidents->unanswered(QStringLiteral("T1"), at);
                break;
            case 't':
                notices = incidents->tick(at);
                break;
            case 'c':
            case 'w':
                notices = incidents->thresholdsChanged(QStringLiteral("T1"), at,
                                                       run.what == 'c' ? QStringLiteral("thermostat")
                                                                       : QStringLiteral("web"),
                                                       QStringLiteral("TL 18 -> 17"));
                break;
            case 'R': {
                const QByteArray saved = QJsonDocument(incidents->save()).toJson();
                incidents = std::make_unique<Incidents>(rules);
                incidents->restore(QJsonDocument::fromJson(saved).object(), at);
                break;
            }
            }
            for (const auto &notice : notices) {
                EXPECT_EQ(notice.id, QStringLiteral("T1"));
                told.push_back(std::to_string(minute) + ' ' +
                               Incidents::phaseName(notice.phase).toStdString() + ' ' +
                               Incidents::kindName(notice.kind).toStdString());
            }
        }
    }
    EXPECT_EQ(told, GetParam().told);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IncidentScript,
    testing::Values(
        Row{"outOfBand",
            0,
            {{0, 15, 1, 'r', 250}, {16, 30, 1, 'r', 190}},
            {"10 begin out-of-band", "26 end out-of-band"}},
        // Just inside the margin (16 .. 22 °C) counts as inside.
        Row{"margin", 0, {{0, 30, 1, 'r', 220}, {31, 40, 1, 'r', 160}}, {}},
        // Out for 9 minutes, in for one, out again: never 10 minutes out.
        Row{"flapBefore", 0, {{0, 8, 1, 'r', 230}, {9, 9, 1, 'r', 210}, {10, 18, 1, 'r', 230}}, {}},
        // Once begun, a value crossing the margin each minute is the same incident.
        Row{"flapAfter",
            0,
            {{0, 10, 1, 'r', 230}, {11, 40, 1, 'f', 221}, {41, 60, 1, 'r', 190}},
            {"10 begin out-of-band", "51 end out-of-band"}},
        Row{"reminder",
            3600,
            {{0, 150, 5, 'r', 100}, {155, 170, 5, 'r', 190}},
            {"10 begin out-of-band", "70 reminder out-of-band", "130 reminder out-of-band",
             "165 end out-of-band"}},
        // The reminder comes from the clock too, without readings.
        Row{"reminderTick",
            3600,
            {{0, 10, 10, 'r', 100}, {11, 200, 1, 't'}},
            {"10 begin out-of-band", "70 reminder out-of-band", "130 reminder out-of-band",
             "190 reminder out-of-band"}},
        Row{"silent",
            0,
            {{0, 0, 1, 'r', 190},
             {1, 1, 1, 'u'},
             {2, 2, 1, 'r', 190},
             {3, 5, 1, 'u'},
             {6, 9, 1, 't'},
             {10, 10, 1, 'r', 190}},
            {"5 begin not-answering", "10 end not-answering"}},
        // A faulty probe's value is no temperature: no band incident.
        Row{"probe",
            0,
            {{0, 20, 1, 'p', -9999}, {21, 30, 1, 'r', 190}},
            {"1 begin probe-fault", "22 end probe-fault"}},
        Row{"foreignChange",
            0,
            {{0, 0, 1, 'w'}, {1, 1, 1, 'c'}, {2, 2, 1, 'c'}},
            {"1 begin thresholds-changed", "2 begin thresholds-changed"}},
        // A restart neither repeats the beginning nor forgets to end it.
        Row{"restartOpen",
            3600,
            {{0, 20, 1, 'r', 250},
             {21, 21, 1, 'R'},
             {22, 69, 1, 'r', 250},
             {70, 70, 1, 'R'},
             {71, 80, 1, 'r', 250},
             {81, 91, 1, 'r', 190}},
            {"10 begin out-of-band", "71 reminder out-of-band", "91 end out-of-band"}},
        // Silence while the service was away is not the thermostat's.
        Row{"restartSilent",
            0,
            {{0, 0, 1, 'r', 190},
             {1, 1, 1, 'u'},
             {2, 2, 1, 'R'},
             {3, 5, 1, 't'},
             {6, 6, 1, 'R'},
             {7, 8, 1, 't'},
             {9, 9, 1, 'r', 190}},
            {"4 begin not-answering", "9 end not-answering"}}),
    [](const testing::TestParamInfo<Row> &info) { return std::string(info.param.name); });

TEST(Incidents, restoreSkipsWhatItCannotRead)
{
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-01T00:00:00Z"), Qt::ISODate);
    for (const char *json :
         {"{}", R"({"version":2,"devices":{"T1":{"out-of-band":{"open":true}}}})",
          R"({"version":1,"devices":{"T1":{"out-of-band":{"open":true,"began":"yesterday","last_told":5}}}})",
          R"({"version":1,"devices":[1,2]})",
          R"({"version":1,"devices":{"T1":{"nonsense":{"open":true}}}})"}) {
        Incidents incidents({});
        incidents.restore(QJsonDocument::fromJson(json).object(), now);
        EXPECT_TRUE(incidents.open().empty()) << json;
        EXPECT_TRUE(incidents.tick(now.addDays(1)).empty()) << json;
    }
    Incidents incidents({});
    incidents.restore(QJsonDocument::fromJson(R"({"version":1,"devices":{"T1":{"out-of-band":{"open":true,
        "began":"2026-11-30T23:00:00Z","last_told":"2026-11-30T23:00:00Z","detail":"25 °C"}}}})")
                          .object(),
                      now);
    ASSERT_EQ(incidents.open().size(), 1u);
    EXPECT_EQ(incidents.open()[0].detail, QStringLiteral("25 °C"));
}

} // namespace
