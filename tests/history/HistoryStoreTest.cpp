#include "HistoryStore.h"

#include "HistoryTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace {

const QString kA = QStringLiteral("A1");
const QString kB = QStringLiteral("B2");

struct StepCase
{
    const char *name;
    std::int64_t from, to;
    int maxPoints;
    std::int64_t step;
};

const StepCase kSteps[] = {
    {"AnHourInMinutes", 0, 3600, 1000, 60},
    {"ADayToAThousandPoints", 0, 86400, 1000, 120},
    {"AYearToAThousandPoints", 0, 365 * 86400, 1000, 43200},
    {"FourHundredDaysToFiveThousandPoints", 0, 400 * 86400, 5000, 7200},
    {"TenYearsInWholeDays", 0, 3650LL * 86400, 1000, 4 * 86400},
    {"UnalignedEdgesCountTheirPartialSteps", 30, 90, 1, 120},
    {"NoPointsAskedStillGivesOne", 0, 60, 0, 60},
    {"AnEmptyRange", 100, 100, 10, 60},
};

class StepChoice : public ::testing::TestWithParam<StepCase>
{
};

TEST_P(StepChoice, GivesTheSmallestStepWithinTheCap)
{
    const StepCase &c = GetParam();
    const std::int64_t step = HistoryStore::chooseStep(c.from, c.to, c.maxPoints);
    EXPECT_EQ(step, c.step);
    if (c.to > c.from) {
        EXPECT_LE((c.to - 1) / step - c.from / step + 1, std::max(c.maxPoints, 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StepChoice, ::testing::ValuesIn(kSteps),
                         [](const auto &info) { return std::string(info.param.name); });

class HistoryStoreTest : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("h/history.sqlite")); }
    std::unique_ptr<HistoryStore> open(HistoryStore::Access access = HistoryStore::Access::ReadWrite)
    {
        QString notice, error;
        auto store = HistoryStore::open(path(), access, &notice, &error);
        m_notice = notice;
        m_error = error;
        return store;
    }
    QTemporaryDir m_dir;
    QString m_notice, m_error;
};

TEST_F(HistoryStoreTest, StepsAggregateMinutesAndWholeHoursAlike)
{
    auto store = open();
    ASSERT_TRUE(store) << m_error.toStdString();
    // Three hours and a bit of two thermostats, in batches as the writer makes
    // them, with a reading that differs every minute.
    std::mt19937 random(7);
    std::vector<MinuteRow> all;
    for (std::int64_t t = 0; t < 3 * 3600 + 1200; t += 600) {
        std::vector<MinuteRow> batch;
        for (std::int64_t m = t; m < t + 600; m += 60) {
            MinuteRow a =
                minuteAt(kA, m, 150 + int(random() % 100), 1 + int(random() % 60), int(random() % 1001));
            a.low = 100 + int(m / 60);
            batch.push_back(a);
            batch.push_back(minuteAt(kB, m, 900));
            all.push_back(a);
        }
        QString error;
        ASSERT_TRUE(store->append(batch, {}, &error)) << error.toStdString();
    }
    QString error;
    for (const int points : {1000, 4, 2}) {
        const auto range = store->range(kA, 0, 4 * 3600, points, &error);
        ASSERT_TRUE(range) << error.toStdString();
        ASSERT_LE(int(range->points.size()), points);
        for (const HistoryStore::Point &p : range->points) {
            // What the step's minutes say, computed here from the rows.
            std::int32_t min = 10000, max = -10000;
            std::int64_t sum = 0, reads = 0, relay = 0, n = 0, low = 0;
            for (const MinuteRow &r : all)
                if (r.t >= p.t && r.t < p.t + range->step) {
                    min = std::min(min, *r.temperatureMin);
                    max = std::max(max, *r.temperatureMax);
                    sum += r.temperatureSum;
                    reads += r.reads;
                    relay += *r.relayOnPermille;
                    low = *r.low;
                    ++n;
                }
            ASSERT_GT(n, 0) << p.t;
            EXPECT_DOUBLE_EQ(*p.temperatureMin, min / 10.0) << points << ' ' << p.t;
            EXPECT_DOUBLE_EQ(*p.temperatureMax, max / 10.0) << points << ' ' << p.t;
            EXPECT_NEAR(*p.temperatureMean, double(sum) / reads / 10.0, 1e-9) << points << ' ' << p.t;
            EXPECT_NEAR(*p.relayOnFraction, double(relay) / n / 1000.0, 1e-9) << points << ' ' << p.t;
            EXPECT_DOUBLE_EQ(*p.low, low / 10.0) << points << ' ' << p.t;
        }
        const std::int64_t expectedStep = points == 1000 ? 60 : points == 4 ? 3600 : 7200;
        EXPECT_EQ(range->step, expectedStep);
    }
    EXPECT_EQ(store->ids(), (QStringList{kA, kB}));
    EXPECT_FALSE(store->range(QStringLiteral("nobody"), 0, 60, 10, &error));
}

TEST_F(HistoryStoreTest, AMinuteWrittenTwiceAcrossARestartIsMergedAndAnImportNeverOverwrites)
{
    auto store = open();
    ASSERT_TRUE(store);
    QString error;
    MinuteRow first = minuteAt(kA, 600, 200, 20, 1000);
    MinuteRow second = minuteAt(kA, 600, 230, 10, 250);
    second.failures = 3;
    ASSERT_TRUE(store->append({first}, {}, &error));
    ASSERT_TRUE(store->append({second}, {}, &error));
    EXPECT_EQ(store->import({minuteAt(kA, 600, 500), minuteAt(kA, 660, 210)}, &error), 1);
    EXPECT_EQ(store->import({minuteAt(kA, 600, 500), minuteAt(kA, 660, 210)}, &error), 0);
    const auto range = store->range(kA, 600, 720, 10, &error);
    ASSERT_TRUE(range);
    ASSERT_EQ(range->points.size(), 2u);
    EXPECT_DOUBLE_EQ(*range->points[0].temperatureMin, 19.8);
    EXPECT_DOUBLE_EQ(*range->points[0].temperatureMax, 23.3);
    EXPECT_DOUBLE_EQ(*range->points[0].temperatureMean, 21.0);
    EXPECT_DOUBLE_EQ(*range->points[0].relayOnFraction, 0.75);
    EXPECT_EQ(sqliteAnswer(path(), "SELECT reads || '/' || failures FROM minutes WHERE t = 600"), "30/3");
}

TEST_F(HistoryStoreTest, AFileOfAnOlderSchemaGetsTheStepsItLacksAndKeepsItsRows)
{
    {
        auto store = open();
        ASSERT_TRUE(store);
        QString error;
        ASSERT_TRUE(store->append({minuteAt(kA, 600, 200)}, {}, &error)) << error.toStdString();
    }
    // Made back into a file of the first version.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE schedule; DROP TABLE alert_state; PRAGMA user_version=1;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    ASSERT_TRUE(open());
    EXPECT_EQ(sqliteAnswer(path(), "PRAGMA user_version"), std::to_string(HistoryStore::kSchemaVersion));
    EXPECT_EQ(
        sqliteAnswer(path(), "SELECT count(*) FROM sqlite_master WHERE name IN ('schedule', 'alert_state')"),
        "2");
    EXPECT_EQ(sqliteAnswer(path(), "SELECT count(*) FROM minutes"), "1");
}

// The service's writer and `calidorctl schedule` may make the file at the
// same moment: neither takes the other's half-made schema for damage.
TEST_F(HistoryStoreTest, TwoConnectionsMakingTheFileAtOnceBothOpenIt)
{
    for (int round = 0; round < 20; ++round) {
        const QString file = m_dir.filePath(QStringLiteral("race%1.sqlite").arg(round));
        QString notices[2], errors[2];
        bool opened[2] = {false, false};
        std::thread other([&] {
            opened[1] =
                HistoryStore::open(file, HistoryStore::Access::ReadWrite, &notices[1], &errors[1]) != nullptr;
        });
        opened[0] =
            HistoryStore::open(file, HistoryStore::Access::ReadWrite, &notices[0], &errors[0]) != nullptr;
        other.join();
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(opened[i]) << round << ": " << errors[i].toStdString();
            EXPECT_TRUE(notices[i].isEmpty()) << round << ": " << notices[i].toStdString();
        }
    }
}

// A new body starts from nothing written and keeps the pause; another
// connection (the command line beside the service) sees each change.
TEST_F(HistoryStoreTest, SchedulesAreKeptPerThermostatWithWhatWasWritten)
{
    auto store = open();
    ASSERT_TRUE(store);
    QString error;
    EXPECT_FALSE(store->pauseSchedule(kA, true, &error));
    EXPECT_TRUE(error.isEmpty());
    ASSERT_TRUE(store->setSchedule(kA, R"({"weekly":[]})", &error)) << error.toStdString();
    ASSERT_TRUE(store->pauseSchedule(kA, true, &error));
    ASSERT_TRUE(store->setScheduleApplied(kA, R"({"at":1})", &error));
    auto reader = open(HistoryStore::Access::ReadOnly);
    ASSERT_TRUE(reader);
    const auto kept = reader->schedule(kA);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->body, QByteArray(R"({"weekly":[]})"));
    EXPECT_TRUE(kept->paused);
    EXPECT_EQ(kept->applied, QByteArray(R"({"at":1})"));

    ASSERT_TRUE(store->setSchedule(kA, R"({"profile":{}})", &error));
    ASSERT_TRUE(store->setSchedule(kB, R"({"weekly":[1]})", &error));
    const auto both = reader->schedules();
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].body, QByteArray(R"({"profile":{}})"));
    EXPECT_TRUE(both[0].paused);
    EXPECT_TRUE(both[0].applied.isNull());
    EXPECT_EQ(both[1].id, kB);

    EXPECT_TRUE(store->clearSchedule(kA, &error));
    EXPECT_FALSE(store->clearSchedule(kA, &error));
    EXPECT_FALSE(reader->schedule(kA));
    EXPECT_FALSE(store->setScheduleApplied(kA, "{}", &error));
}

TEST_F(HistoryStoreTest, EventsComeWithTheServicesOwnAndTheLatestWhenCapped)
{
    auto store = open();
    ASSERT_TRUE(store);
    QString error;
    ASSERT_TRUE(
        store->append({},
                      {{{}, 5, QStringLiteral("service_started"), {}, {}},
                       {kA, 10, QStringLiteral("relay"), QStringLiteral("C-NO"), {}},
                       {kB, 11, QStringLiteral("relay"), QStringLiteral("C-NC"), {}},
                       {kA, 12, QStringLiteral("tl"), QStringLiteral("20.0 -> 21.0"), QStringLiteral("web")},
                       {kA, 99, QStringLiteral("unplugged"), {}, {}}},
                      &error));
    const std::vector<HistoryEvent> events = store->events(kA, 0, 99);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, QStringLiteral("service_started"));
    EXPECT_EQ(events[2].source, QStringLiteral("web"));
    EXPECT_EQ(events[2].detail, QStringLiteral("20.0 -> 21.0"));
    const std::vector<HistoryEvent> latest = store->events(kA, 0, 100, 2);
    ASSERT_EQ(latest.size(), 2u);
    EXPECT_EQ(latest[0].t, 12);
    EXPECT_EQ(latest[1].kind, QStringLiteral("unplugged"));
}

TEST_F(HistoryStoreTest, RetentionDeletesInSmallBatchesUpToTheCutoff)
{
    auto store = open();
    ASSERT_TRUE(store);
    QString error;
    std::vector<MinuteRow> rows;
    for (std::int64_t t = 0; t < 6 * 3600; t += 60)
        rows.push_back(minuteAt(kA, t, 200));
    ASSERT_TRUE(store->append(
        rows, {{kA, 100, QStringLiteral("relay"), {}, {}}, {kA, 5 * 3600, QStringLiteral("relay"), {}, {}}},
        &error));
    const std::int64_t cutoff = 4 * 3600;
    EXPECT_EQ(store->prune(cutoff, 100, &error), 100);
    int rounds = 1;
    while (store->prune(cutoff, 100, &error) > 0)
        ++rounds;
    EXPECT_EQ(rounds, 3); // 240 rows: 100, 100, 40
    EXPECT_EQ(sqliteAnswer(path(), "SELECT min(t) FROM minutes"), std::to_string(cutoff));
    EXPECT_EQ(sqliteAnswer(path(), "SELECT count(*) FROM event"), "1");
    EXPECT_EQ(sqliteAnswer(path(), "SELECT min(t) FROM hour"), std::to_string(cutoff));
    // Through the hours or the minutes, nothing before the cutoff is left.
    for (const int points : {1000, 3}) {
        const auto range = store->range(kA, 0, 6 * 3600, points, &error);
        ASSERT_TRUE(range);
        ASSERT_FALSE(range->points.empty());
        EXPECT_EQ(range->points.front().t, cutoff) << points;
    }
}

TEST_F(HistoryStoreTest, AReaderSeesWhatTheWriterCommittedAndCannotWrite)
{
    EXPECT_FALSE(open(HistoryStore::Access::ReadOnly));
    EXPECT_TRUE(m_error.contains(QStringLiteral("no history"))) << m_error.toStdString();
    auto writer = open();
    ASSERT_TRUE(writer);
    QString error;
    ASSERT_TRUE(writer->append({minuteAt(kA, 0, 200)}, {}, &error));
    auto reader = open(HistoryStore::Access::ReadOnly);
    ASSERT_TRUE(reader) << m_error.toStdString();
    ASSERT_TRUE(writer->append({minuteAt(kA, 60, 200)}, {}, &error));
    EXPECT_EQ(reader->range(kA, 0, 120, 10, &error)->points.size(), 2u);
    EXPECT_FALSE(reader->append({minuteAt(kA, 120, 200)}, {}, &error));
    EXPECT_EQ(reader->prune(1000, 10, &error), -1);
}

// The alert rules' one document: kept, replaced whole, read back by a
// reader; a reader cannot write it; a file of the first version has none.
TEST_F(HistoryStoreTest, TheAlertStateIsOneDocumentReplacedWhole)
{
    auto writer = open();
    ASSERT_TRUE(writer);
    QString error;
    EXPECT_FALSE(writer->alertState(&error));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_TRUE(writer->setAlertState(R"({"version":1})", &error)) << error.toStdString();
    ASSERT_TRUE(writer->setAlertState(QByteArray(R"({"devices":{"é":{}}})"), &error));
    auto reader = open(HistoryStore::Access::ReadOnly);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->alertState(&error), QByteArray(R"({"devices":{"é":{}}})"));
    EXPECT_EQ(sqliteAnswer(path(), "SELECT count(*) FROM alert_state"), "1");
    EXPECT_FALSE(reader->setAlertState("{}", &error));

    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE alert_state; PRAGMA user_version=1;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    error.clear();
    EXPECT_FALSE(open(HistoryStore::Access::ReadOnly)->alertState(&error));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

struct Damage
{
    const char *name;
    std::function<void(const QString &path)> damage;
    bool movedAside;
};

void overwrite(const QString &path, qint64 at, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(at);
    f.write(bytes);
}

const Damage kDamages[] = {
    {"NotADatabase", [](const QString &p) { overwrite(p, 0, QByteArray(3000, 'x')); }, true},
    {"PagesOverwritten", [](const QString &p) { overwrite(p, 2048, QByteArray(6000, '\xa5')); }, true},
    {"TruncatedToAHeader", [](const QString &p) { QFile::resize(p, 100); }, true},
    // A newer program's file is not ours to move: the history stays off.
    {"MadeByANewerVersion", [](const QString &p) { overwrite(p, 60, QByteArray("\x00\x00\x00\x63", 4)); },
     false},
};

class DamagedFile : public HistoryStoreTest, public ::testing::WithParamInterface<Damage>
{
};

TEST_P(DamagedFile, IsMovedAsideAndANewOneStarted)
{
    {
        auto store = open();
        ASSERT_TRUE(store);
        QString error;
        std::vector<MinuteRow> rows;
        for (std::int64_t t = 0; t < 3 * 3600; t += 60)
            rows.push_back(minuteAt(kA, t, 200));
        ASSERT_TRUE(store->append(rows, {}, &error));
    }
    ASSERT_FALSE(QFile::exists(path() + QStringLiteral("-wal"))); // checkpointed at close
    GetParam().damage(path());
    auto store = open();
    const QStringList aside =
        QDir(QFileInfo(path()).absolutePath()).entryList({QStringLiteral("history.sqlite.corrupt-*")});
    if (!GetParam().movedAside) {
        EXPECT_FALSE(store);
        EXPECT_TRUE(m_error.contains(QStringLiteral("newer"))) << m_error.toStdString();
        EXPECT_TRUE(aside.isEmpty());
        return;
    }
    ASSERT_TRUE(store) << m_error.toStdString();
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(m_notice.contains(QStringLiteral("moved aside to"))) << m_notice.toStdString();
    EXPECT_TRUE(m_notice.contains(aside.front())) << m_notice.toStdString();
    EXPECT_EQ(m_notice.count(QLatin1Char('\n')), 0);
    QString error;
    EXPECT_TRUE(store->ids().isEmpty());
    EXPECT_TRUE(store->append({minuteAt(kA, 0, 200)}, {}, &error)) << error.toStdString();
    EXPECT_EQ(sqliteAnswer(path(), "PRAGMA integrity_check"), "ok");
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedFile, ::testing::ValuesIn(kDamages),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
